// The production log: a file that only grows, one line per chip. Each line
// goes out in a single write to a file opened for appending, so the lines
// of several ports (or of several runs at once) never interleave, and it is
// on the disk before the run reports the chip done. A line is whole or
// absent: one that does not fit (a full disk, a file size limit) leaves the
// file as it was.
#ifndef TAKT_CLI_PRODUCTION_LOG_H_
#define TAKT_CLI_PRODUCTION_LOG_H_

#include <string>

namespace taktm {

class ProductionLog {
 public:
  ProductionLog() = default;
  ~ProductionLog();
  ProductionLog(const ProductionLog&) = delete;
  ProductionLog& operator=(const ProductionLog&) = delete;

  // Opens `path` for appending, creating it when missing; only a regular
  // file (or a link to one) is taken. The error text, empty on success.
  std::string Open(const std::string& path);
  bool is_open() const { return fd_ >= 0; }
  // Appends `line` (with its line feed) and flushes it to the disk. The
  // error text, empty on success; on failure nothing of the line is left.
  std::string Append(const std::string& line);

 private:
  int fd_ = -1;
  std::string path_;
};

}  // namespace taktm

#endif  // TAKT_CLI_PRODUCTION_LOG_H_
