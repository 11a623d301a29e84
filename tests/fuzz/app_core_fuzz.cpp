// libFuzzer target for the whole program core: an AppCore behind a host
// without windows, driven by an arbitrary mix of bytes from the device,
// replies built for the head command (so that deep states are reached),
// acknowledgements, the user's actions (discovery, chip and operation
// choices, the watchdog, bit dialog writes, grid key presses and refreshes,
// working files of any content) and arbitrary answers to modal questions.
// The build's sanitizers and checked containers catch any access outside
// the receive buffer, the reply record, the rows or the image; the checks
// below hold the core's own bounds after every step.
#include <fuzzer/FuzzedDataProvider.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "link/frame.h"
#include "session/app_core.h"

namespace taktm {
namespace {

void Require(bool ok) {
  if (!ok) std::abort();
}

class FuzzHost : public AppHost {
 public:
  explicit FuzzHost(FuzzedDataProvider& in) : in_(in), core_(*this) {}
  AppCore& core() { return core_; }

  // ---- LinkHost ----
  bool WriteData(const uint8_t* bytes, uint16_t count) override {
    Require(count > kFrameOverhead && count <= kMaxFrame);
    Require(bytes[4] == count - kFrameOverhead);
    Require(Sum8(bytes + 6, bytes[4]) == bytes[count - 1]);
    return in_.remaining_bytes() == 0 || in_.ConsumeIntegral<uint8_t>() != 0;
  }
  void RestartWatchdog() override {}
  void ShowWarning(const std::string& text) override { Require(!text.empty()); }
  void ProgressChanged() override {
    const ProgressModel& p = core_.queue().progress();
    Require(p.position >= 0 && p.maximum >= 0);
  }

  // ---- AppHost ----
  Answer AskYesNoCancel(const std::string&) override {
    return static_cast<Answer>(in_.ConsumeIntegralInRange<int>(0, 2));
  }
  Answer AskYesNo(const std::string&) override {
    return in_.ConsumeBool() ? Answer::kYes : Answer::kNo;
  }
  std::optional<std::string> PromptSaveFileName(const std::string&) override {
    return std::nullopt;  // no file is ever written
  }
  void ReportError(const std::string&) override {}
  void GridNeedsLayout() override {}
  void GridNeedsRefresh() override {}
  void Changed(Aspect) override {}
  void RebuildLines(int n) override {
    Require(n >= 0 && n <= 255);
    lines_ = n;
  }
  void SetLineText(int i, const std::string&) override {
    Require(i >= 0 && i < lines_);
  }
  bool Check(Option option) override {
    Require(OptionNumber(option) >= 1 && OptionNumber(option) <= kOptionCount);
    return in_.remaining_bytes() == 0 || in_.ConsumeBool();
  }

 private:
  FuzzedDataProvider& in_;
  AppCore core_;
  int lines_ = 0;
};

// One frame around `payload` (0..255 bytes).
std::vector<uint8_t> Frame(const std::vector<uint8_t>& payload) {
  std::vector<uint8_t> f = {0xD1, 0xE0, 0xEB, 0xEE,
                            static_cast<uint8_t>(payload.size())};
  f.push_back(Sum8(f.data(), 5));
  f.insert(f.end(), payload.begin(), payload.end());
  f.push_back(Sum8(payload.data(), payload.size()));
  return f;
}

// A folder of this process for the working files, removed at exit. The
// name lives on the heap for good: the exit handler, registered while the
// name is being built, would otherwise run after its destructor.
const std::string& TempFolder() {
  static const std::string* const folder = [] {
    std::string pattern = (getenv("TMPDIR") ? getenv("TMPDIR") : "/tmp") +
                          std::string("/takt-fuzz-XXXXXX");
    if (!::mkdtemp(pattern.data())) std::abort();
    auto* name = new std::string(pattern);
    std::atexit([] {
      std::error_code ignored;
      std::filesystem::remove_all(TempFolder(), ignored);
    });
    return name;
  }();
  return *folder;
}

// Every queued command is 1 to 255 bytes.
void CheckCommand(const std::vector<uint8_t>& command) {
  Require(!command.empty() && command.size() <= kMaxPayload);
}

// After each step: the parser's counters, the newest and oldest commands,
// the bit rows and the grid. The whole queue is walked once at the end.
void CheckBounds(AppCore& core) {
  Require(core.parser().fill_count() <= kReceiveBufferSize);
  Require(core.parser().scan_position() <= core.parser().fill_count());
  const CommandQueue& queue = core.queue();
  if (!queue.empty()) {
    CheckCommand(queue.entry(0));
    CheckCommand(queue.entry(queue.count() - 1));
  }
  ChipProgrammer& p = core.programmer();
  Require(p.LockBitCount() <= 255 && p.FuseBitCount() <= 255);
  Require(core.editor().row_count() >= 2);
}

void CheckQueue(const CommandQueue& queue) {
  for (size_t i = 0; i < queue.count(); ++i) CheckCommand(queue.entry(i));
}

}  // namespace
}  // namespace taktm

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace taktm;
  FuzzedDataProvider in(data, size);
  FuzzHost host(in);
  AppCore& core = host.core();
  ChipProgrammer& programmer = core.programmer();

  for (int step = 0; step < 400 && in.remaining_bytes() > 0; ++step) {
    switch (in.ConsumeIntegralInRange<int>(0, 12)) {
      case 0: {  // raw bytes from the device, in one chunk
        const std::vector<uint8_t> chunk =
            in.ConsumeBytes<uint8_t>(in.ConsumeIntegralInRange<size_t>(1, 400));
        // The serial port never delivers an empty chunk.
        if (!chunk.empty()) {
          core.parser().Comm321ReceiveData(chunk.data(), chunk.size());
        }
        break;
      }
      case 1:
      case 2:
      case 3: {  // the device answers the head command, then acknowledges
        // A reply answers only a command that has gone out: an
        // acknowledgement of its own sends the head first when it has not.
        if (!core.queue().empty() && core.queue().HeadSends() == 0 &&
            in.ConsumeBool()) {
          const std::vector<uint8_t> ack = Frame({});
          core.parser().Comm321ReceiveData(ack.data(), ack.size());
        }
        std::vector<uint8_t> payload = {core.queue().empty()
                                            ? in.ConsumeIntegral<uint8_t>()
                                            : core.queue().HeadOpcode()};
        // Often with the arguments the head's reply echoes (an address and
        // a count, an index), so that reads, verifies and names complete.
        if (!core.queue().empty() && in.ConsumeBool()) {
          const std::vector<uint8_t>& head = core.queue().entry(0);
          payload.insert(payload.end(), head.begin() + 1,
                         head.begin() + std::min<size_t>(head.size(), 6));
        }
        const std::vector<uint8_t> rest =
            in.ConsumeBytes<uint8_t>(in.ConsumeIntegralInRange<size_t>(0, 254));
        payload.insert(payload.end(), rest.begin(), rest.end());
        std::vector<uint8_t> bytes = Frame(payload);
        if (in.ConsumeBool()) {
          const std::vector<uint8_t> ack = Frame({});
          bytes.insert(bytes.end(), ack.begin(), ack.end());
        }
        core.parser().Comm321ReceiveData(bytes.data(), bytes.size());
        break;
      }
      case 4: {  // an acknowledgement alone
        const std::vector<uint8_t> ack = Frame({});
        core.parser().Comm321ReceiveData(ack.data(), ack.size());
        break;
      }
      case 5:
        programmer.FormShow();
        break;
      case 6:
        programmer.ListBox1Click(in.ConsumeIntegralInRange<int>(
            -1, static_cast<int>(programmer.chip_rows().size()) + 1));
        break;
      case 7:
        // A device may claim a memory of up to 14 MiB, whose operation
        // queues some 65,000 commands; a user does not queue dozens of
        // those behind each other, and the run would only grow slow.
        if (core.queue().count() > 70000) break;
        programmer.ListBox2Click(
            in.ConsumeIntegralInRange<int>(
                -1, static_cast<int>(programmer.chip_rows().size()) + 1),
            in.ConsumeIntegralInRange<int>(
                -1, static_cast<int>(programmer.operation_rows().size()) + 1));
        break;
      case 8:
        programmer.Timer2Timer();
        break;
      case 9: {  // ticks in a bit dialog, then "Записать"
        const BitKind kind = in.ConsumeBool() ? BitKind::kLock : BitKind::kFuse;
        BitRows& rows = programmer.bits(kind);
        for (int n = in.ConsumeIntegralInRange<int>(0, 4); n > 0; --n) {
          rows.SetRowTicked(in.ConsumeIntegralInRange<int>(-1, rows.count()),
                            in.ConsumeBool());
        }
        programmer.Button1Click(kind);
        break;
      }
      case 10: {  // a key in the grid, on any cell, with any typed text
        const GridCell cell{in.ConsumeIntegralInRange<size_t>(0, 18),
                            in.ConsumeIntegralInRange<size_t>(
                                0, core.editor().row_count() + 1)};
        const char32_t key =
            in.ConsumeBool() ? kEnterKey : in.ConsumeIntegral<uint8_t>();
        const std::string text = in.ConsumeRandomLengthString(4);
        core.editor().StringGrid1KeyPress(key, cell, text);
        break;
      }
      case 11: {  // the grid shows some rows
        const long top = in.ConsumeIntegralInRange<long>(
            -1, static_cast<long>(core.editor().row_count()) + 2);
        core.editor().RefreshGrid(
            {top, in.ConsumeIntegralInRange<long>(-1, 40)});
        break;
      }
      case 12: {  // a working file of any content, raw or Intel HEX
        static const char* const kNames[] = {"w.bin", "w.hex", "w.eep",
                                             "missing.bin"};
        const std::string path =
            TempFolder() + "/" + kNames[in.ConsumeIntegralInRange<int>(0, 3)];
        if (path.find("missing") == std::string::npos) {
          std::ofstream out(path, std::ios::binary | std::ios::trunc);
          out << in.ConsumeRandomLengthString(2048);
        }
        core.working_file().SetWorkingFile(path);
        break;
      }
    }
    CheckBounds(core);
  }
  CheckQueue(core.queue());
  return 0;
}
