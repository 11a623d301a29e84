// The progress of a run as takt-m-cli prints it from the queue's progress
// model: a bar redrawn in place on a terminal, plain lines at every tenth
// otherwise (logs and pipes get no carriage returns).
#ifndef TAKT_CLI_PROGRESS_PRINTER_H_
#define TAKT_CLI_PROGRESS_PRINTER_H_

#include <ostream>
#include <string>

namespace taktm {

// "[#####-----]  50%": `width` cells for `done` of `total`.
std::string ProgressBar(long done, long total, int width);

class ProgressPrinter {
 public:
  ProgressPrinter(std::ostream& out, bool terminal, int width = 40)
      : out_(out), terminal_(terminal), width_(width) {}

  // Starts the progress of one operation.
  void Begin(const std::string& label);
  // The queue's progress model: `maximum` commands, `position` still queued.
  void Update(int maximum, int position);
  // Ends the bar's line; nothing when nothing was printed.
  void End();

 private:
  std::ostream& out_;
  const bool terminal_;
  const int width_;
  std::string label_;
  bool active_ = false;
  bool printed_ = false;
  int last_percent_ = -1;
  int last_tenth_ = -1;
};

}  // namespace taktm

#endif  // TAKT_CLI_PROGRESS_PRINTER_H_
