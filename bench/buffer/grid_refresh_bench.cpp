// The cost of one grid refresh after a 224-byte data reply into a 512 KiB
// buffer, as a fraction of the 40 ms the reply's 224 data bytes take on a
// 56,000 bit/s line (10 bits a byte). The grid is the real widget on the
// offscreen platform, wired as the main window wires it.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QGroupBox>
#include <QScrollBar>
#include <vector>

#include "buffer/hex_grid.h"
#include "buffer/null_buffer_host.h"

namespace taktm {
namespace {

constexpr size_t kBufferSize = 512 * 1024;
constexpr size_t kReply = 224;
constexpr double kLineSeconds = kReply * 10 / 56000.0;  // 40 ms

struct Screen {
  Screen() {
    window.resize(800, 600);
    box = new QGroupBox("Данные", &window);
    box->setGeometry(427, 34, 360, 515);
    host.on_layout = [this] { grid->FormatGrid(); };
    host.on_refresh = [this] { grid->RefreshGrid(); };
    grid = new HexGrid(box, editor);
    editor.ResizeBuffer(kBufferSize);
    window.show();
    QApplication::processEvents();
  }
  DataBuffer buffer;
  NullBufferHost host;
  BufferEditor editor{buffer, host};
  QWidget window;
  QGroupBox* box;
  HexGrid* grid = nullptr;
};

void Report(benchmark::State& state, double seconds) {
  const double per_refresh = seconds / static_cast<double>(state.iterations());
  state.counters["us_per_reply"] = per_refresh * 1e6;
  state.counters["pct_of_40ms"] = per_refresh / kLineSeconds * 100;
}

// A read in progress: replies land at consecutive addresses, one FormatGrid
// each, while the grid shows the top of the buffer. Painting is left to the
// event loop, as in the program; `paint` forces it after every reply.
void RunReplies(benchmark::State& state, bool into_view, bool paint) {
  Screen screen;
  std::vector<uint8_t> reply(kReply);
  size_t address = into_view ? 0 : 0x1000;
  uint8_t fill = 0;
  double seconds = 0;
  for (auto _ : state) {
    for (auto& b : reply) b = ++fill;
    const auto t0 = std::chrono::steady_clock::now();
    screen.buffer.WriteAt(address, reply.data(), reply.size());
    screen.editor.FormatGrid();
    if (paint) screen.grid->viewport()->repaint();
    seconds +=
        std::chrono::duration<double>(std::chrono::steady_clock::now() - t0)
            .count();
    if (!into_view) {
      address += kReply;
      if (address + kReply > kBufferSize) address = 0x1000;
    } else {
      address = (address + kReply) % (16 * 20);  // stay in the top rows
    }
    QApplication::processEvents();  // the loop paints between replies
  }
  Report(state, seconds);
}

void BM_RefreshAfterReplyOutOfView(benchmark::State& state) {
  RunReplies(state, false, false);
}
BENCHMARK(BM_RefreshAfterReplyOutOfView);

void BM_RefreshAfterReplyIntoView(benchmark::State& state) {
  RunReplies(state, true, false);
}
BENCHMARK(BM_RefreshAfterReplyIntoView);

void BM_RefreshAndPaintAfterReplyIntoView(benchmark::State& state) {
  RunReplies(state, true, true);
}
BENCHMARK(BM_RefreshAndPaintAfterReplyIntoView);

// Scrolling through the largest file's rows a page at a time, painting each.
void BM_ScrollPage(benchmark::State& state) {
  Screen screen;
  screen.editor.ResizeBuffer(0x7FFFF);
  QScrollBar* bar = screen.grid->verticalScrollBar();
  int value = 0;
  for (auto _ : state) {
    value = (value + bar->pageStep()) % (bar->maximum() + 1);
    bar->setValue(value);
    screen.grid->viewport()->repaint();
  }
}
BENCHMARK(BM_ScrollPage)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace taktm

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
  }
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
