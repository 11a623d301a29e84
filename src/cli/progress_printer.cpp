#include "cli/progress_printer.h"

#include <algorithm>
#include <cstdio>

namespace taktm {

std::string ProgressBar(long done, long total, int width) {
  const long percent =
      total > 0 ? std::clamp(done * 100 / total, 0L, 100L) : 100;
  const long filled =
      total > 0 ? std::clamp(done * width / total, 0L, static_cast<long>(width))
                : width;
  std::string bar = "[";
  bar.append(static_cast<size_t>(filled), '#');
  bar.append(static_cast<size_t>(width - filled), '-');
  char tail[8];
  std::snprintf(tail, sizeof tail, "] %3ld%%", percent);
  return bar + tail;
}

void ProgressPrinter::Begin(const std::string& label) {
  End();
  label_ = label;
  active_ = true;
  last_percent_ = -1;
  last_tenth_ = -1;
}

void ProgressPrinter::Update(int maximum, int position) {
  if (!active_ || maximum <= 0) return;
  const long done = std::max(0, maximum - position);
  const int percent = static_cast<int>(done * 100 / maximum);
  if (terminal_) {
    if (percent == last_percent_) return;
    last_percent_ = percent;
    out_ << '\r' << label_ << ' ' << ProgressBar(done, maximum, width_) << ' '
         << done << '/' << maximum << std::flush;
    printed_ = true;
  } else {
    const int tenth = percent / 10;
    if (tenth <= last_tenth_) return;
    last_tenth_ = tenth;
    out_ << label_ << ": " << tenth * 10 << "% (" << done << '/' << maximum
         << ")\n"
         << std::flush;
    printed_ = true;
  }
}

void ProgressPrinter::End() {
  if (active_ && printed_ && terminal_) out_ << '\n' << std::flush;
  active_ = false;
  printed_ = false;
}

}  // namespace taktm
