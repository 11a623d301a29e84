// The progress of a run as takt-m-cli prints it, in data bytes with the
// speed and the time left: a bar redrawn in place on a terminal, within the
// terminal's width, plain lines at every tenth otherwise (logs, pipes and
// dumb terminals get no carriage returns). No escape codes either way.
#ifndef TAKT_CLI_PROGRESS_PRINTER_H_
#define TAKT_CLI_PROGRESS_PRINTER_H_

#include <cstdint>
#include <functional>
#include <optional>
#include <ostream>
#include <string>

namespace taktm {

struct ProgressFigures {
  uint64_t done = 0;
  uint64_t total = 0;
  std::optional<double> bytes_per_second;  // unknown before the first byte
};

// "[#####-----]  50%": `width` cells for `done` of `total`.
std::string ProgressBar(uint64_t done, uint64_t total, int width);
// "512 Б/с", "4,8 КБ/с", "1,2 МБ/с".
std::string SpeedText(double bytes_per_second);
// "0:07", "12:30", "1:02:03".
std::string DurationText(int64_t seconds);
// "2240/8192 байт, 4,8 КБ/с, осталось 0:02"; speed and time left once the
// speed is known.
std::string FiguresText(const ProgressFigures& figures);
// The bar's line for `label` within `columns` terminal columns, the last
// column left free (a terminal may wrap once it is written): the full line
// with a bar of `bar_cells` cells when it fits, else with a shorter bar
// (ten cells at least), else without the bar, then without the speed and
// the time left, then without the label; a terminal narrower still gets
// the start of the percentage and the bytes.
std::string FitBarLine(const std::string& label, const ProgressFigures& figures,
                       int bar_cells, int columns);

// Columns assumed when the terminal does not tell its width.
inline constexpr int kDefaultColumns = 80;

class ProgressPrinter {
 public:
  // `columns` gives the terminal's width at each redraw (it may be
  // resized meanwhile); none, or one that gives 0, means kDefaultColumns.
  ProgressPrinter(std::ostream& out, bool terminal, int width = 30,
                  std::function<int()> columns = nullptr)
      : out_(out), terminal_(terminal), width_(width), columns_(columns) {}

  // Starts the progress of one operation.
  void Begin(const std::string& label);
  // Prints the figures when they say something new; nothing while no data
  // bytes are queued. On a terminal the bar is redrawn when the percentage
  // changes and at least every half second for the speed.
  void Update(const ProgressFigures& figures, int64_t now_ms);
  // Ends the bar's line; nothing when nothing was printed.
  void End();

 private:
  std::ostream& out_;
  const bool terminal_;
  const int width_;
  const std::function<int()> columns_;
  std::string label_;
  bool active_ = false;
  bool printed_ = false;
  int last_percent_ = -1;
  int last_tenth_ = -1;
  int64_t last_draw_ms_ = 0;
  size_t last_length_ = 0;  // code points of the bar's line last drawn
};

}  // namespace taktm

#endif  // TAKT_CLI_PROGRESS_PRINTER_H_
