#include "cli/progress_printer.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "cli/utf8_text.h"

namespace taktm {
namespace {

constexpr int64_t kRedrawMs = 500;
constexpr int kShortestBar = 10;

int PercentOf(uint64_t done, uint64_t total) {
  if (total == 0) return 100;
  return static_cast<int>(std::min<uint64_t>(done, total) * 100 / total);
}

// One decimal with a comma, as Russian writes it.
std::string OneDecimal(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", value);
  std::string s = text;
  std::replace(s.begin(), s.end(), '.', ',');
  return s;
}

}  // namespace

std::string ProgressBar(uint64_t done, uint64_t total, int width) {
  const uint64_t cells = static_cast<uint64_t>(width);
  const uint64_t filled =
      total > 0 ? std::min<uint64_t>(done, total) * cells / total : cells;
  std::string bar = "[";
  bar.append(filled, '#');
  bar.append(cells - filled, '-');
  char tail[8];
  std::snprintf(tail, sizeof tail, "] %3d%%", PercentOf(done, total));
  return bar + tail;
}

std::string SpeedText(double bytes_per_second) {
  if (bytes_per_second < 1024) {
    return std::to_string(std::lround(bytes_per_second)) + " Б/с";
  }
  if (bytes_per_second < 1024.0 * 1024) {
    return OneDecimal(bytes_per_second / 1024) + " КБ/с";
  }
  return OneDecimal(bytes_per_second / (1024.0 * 1024)) + " МБ/с";
}

std::string DurationText(int64_t seconds) {
  seconds = std::max<int64_t>(seconds, 0);
  char text[32];
  if (seconds >= 3600) {
    std::snprintf(text, sizeof text, "%lld:%02lld:%02lld",
                  static_cast<long long>(seconds / 3600),
                  static_cast<long long>(seconds / 60 % 60),
                  static_cast<long long>(seconds % 60));
  } else {
    std::snprintf(text, sizeof text, "%lld:%02lld",
                  static_cast<long long>(seconds / 60),
                  static_cast<long long>(seconds % 60));
  }
  return text;
}

std::string FiguresText(const ProgressFigures& f) {
  std::string text =
      std::to_string(f.done) + "/" + std::to_string(f.total) + " байт";
  if (f.bytes_per_second && *f.bytes_per_second > 0) {
    const uint64_t left = f.total > f.done ? f.total - f.done : 0;
    const auto seconds = static_cast<int64_t>(
        std::ceil(static_cast<double>(left) / *f.bytes_per_second));
    text += ", " + SpeedText(*f.bytes_per_second) + ", осталось " +
            DurationText(seconds);
  }
  return text;
}

std::string FitBarLine(const std::string& label, const ProgressFigures& f,
                       int bar_cells, int columns) {
  const size_t room = columns > 1 ? static_cast<size_t>(columns - 1) : 1;
  auto fits = [room](const std::string& line) {
    return CodePointCount(line) <= room;
  };
  const std::string figures = FiguresText(f);
  for (int cells = bar_cells; cells >= std::min(bar_cells, kShortestBar);
       --cells) {
    const std::string line =
        label + ' ' + ProgressBar(f.done, f.total, cells) + ' ' + figures;
    if (fits(line)) return line;
  }
  char percent[8];
  std::snprintf(percent, sizeof percent, "%3d%%", PercentOf(f.done, f.total));
  const std::string bytes =
      std::to_string(f.done) + "/" + std::to_string(f.total) + " байт";
  for (const std::string& line : {label + ' ' + percent + ' ' + figures,
                                  label + ' ' + percent + ' ' + bytes,
                                  std::string(percent) + ' ' + bytes}) {
    if (fits(line)) return line;
  }
  // Cut to the room at a letter's start, never inside one.
  std::string cut;
  size_t points = 0;
  for (const char c : std::string(percent) + ' ' + bytes) {
    if ((static_cast<unsigned char>(c) & 0xC0) != 0x80 && points++ == room) {
      break;
    }
    cut += c;
  }
  return cut;
}

void ProgressPrinter::Begin(const std::string& label) {
  End();
  label_ = label;
  active_ = true;
  last_percent_ = -1;
  last_tenth_ = -1;
}

void ProgressPrinter::Update(const ProgressFigures& figures, int64_t now_ms) {
  if (!active_ || figures.total == 0) return;
  const int percent = PercentOf(figures.done, figures.total);
  if (terminal_) {
    if (percent == last_percent_ && now_ms - last_draw_ms_ < kRedrawMs) {
      return;
    }
    last_percent_ = percent;
    last_draw_ms_ = now_ms;
    const int columns = columns_ ? columns_() : 0;
    const int fit = columns > 0 ? columns : kDefaultColumns;
    std::string line = FitBarLine(label_, figures, width_, fit);
    // Spaces, not a terminal's erase code, clear what a longer line before
    // left behind; never beyond the room, should the terminal have narrowed.
    const size_t length = CodePointCount(line);
    const size_t room = static_cast<size_t>(std::max(fit - 1, 1));
    if (length < last_length_) {
      line.append(std::min(last_length_, room) - std::min(length, room), ' ');
    }
    last_length_ = length;
    out_ << '\r' << line << std::flush;
    printed_ = true;
  } else {
    const int tenth = percent / 10;
    if (tenth <= last_tenth_) return;
    last_tenth_ = tenth;
    out_ << label_ << ": " << tenth * 10 << "% (" << FiguresText(figures)
         << ")\n"
         << std::flush;
    printed_ = true;
  }
}

void ProgressPrinter::End() {
  if (active_ && printed_ && terminal_) out_ << '\n' << std::flush;
  active_ = false;
  printed_ = false;
  last_length_ = 0;
}

}  // namespace taktm
