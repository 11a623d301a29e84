// The streams takt-m-cli writes to, and what it knows of the terminal.
#ifndef TAKT_CLI_CLI_STREAMS_H_
#define TAKT_CLI_CLI_STREAMS_H_

#include <functional>
#include <ostream>

namespace taktm {

struct CliStreams {
  std::ostream& out;     // results
  std::ostream& err;     // messages and progress
  bool err_is_terminal;  // progress as a bar redrawn in place
  // The width of that terminal, asked at each redraw; none: 80 columns.
  std::function<int()> err_columns = nullptr;
};

}  // namespace taktm

#endif  // TAKT_CLI_CLI_STREAMS_H_
