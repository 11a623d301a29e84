// A front-end without windows around the real program core: a RecordingHost
// (AppCore on its port session, the real serial port component TComm32 and a
// real 5,000 ms QTimer as the link watchdog). Modal boxes are recorded and
// answered at once with what the test set beforehand; the settings options
// come from a settable array. Every wait spins the Qt event loop until a
// predicate holds or a deadline passes.
#ifndef TAKT_TESTS_HARNESS_HEADLESS_HOST_H_
#define TAKT_TESTS_HARNESS_HEADLESS_HOST_H_

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "link/comm32.h"
#include "session/app_core.h"
#include "session/port_session.h"
#include "session/recording_host.h"

namespace taktm::testing {

inline constexpr int kWatchdogMs = kWatchdogIntervalMs;

class HeadlessHost : public RecordingHost {
 public:
  // Opens `port` as the program does (56,000 bit/s, no parity, RTS on, DTR
  // off) and starts the watchdog, as the settings dialog does at start-up.
  explicit HeadlessHost(const std::string& port);
  ~HeadlessHost() override;
  HeadlessHost(const HeadlessHost&) = delete;
  HeadlessHost& operator=(const HeadlessHost&) = delete;

  bool open() const { return open_; }
  const std::string& open_error() const { return open_error_; }
  const std::vector<uint32_t>& port_errors() const {
    return session_.port_errors();
  }

  // The main window being shown: SVC_END, then SVC_GET_NAME.
  void FormShow() { core_.programmer().StartDiscovery(); }

  // Options Check1 .. Check13 as the settings dialog would have them ticked.
  void SetCheck(int n, bool ticked) {
    checks_.at(static_cast<size_t>(n)) = ticked;
  }

  // Every text the status line has shown, in order.
  const std::vector<std::string>& status_history() const {
    return status_history_;
  }

  // Hooks for measurements: every chunk received, every frame written.
  std::function<void(const uint8_t*, uint16_t)> on_receive;
  std::function<void(const uint8_t*, uint16_t)> on_write;

  // Spins the event loop until `done` holds (true) or `ms` pass (false).
  // Blocks in the event loop between events rather than polling.
  bool RunUntil(const std::function<bool()>& done, int ms);
  // Runs the event loop for `ms` whatever happens.
  void RunFor(int ms) {
    RunUntil([] { return false; }, ms);
  }
  // Until the queue has drained (the last reply handled).
  bool RunUntilIdle(int ms) {
    return RunUntil([this] { return queue().empty(); }, ms);
  }
  // Start-up, discovery of a device with one chip, and its selection; false
  // when any step does not finish within `ms` each.
  bool DiscoverSingleChip(int ms);
  // The same for a benchmark, which reports instead of asserting: says on
  // standard error whether the emulator did not start (`port` empty), the
  // port did not open or discovery did not finish.
  bool ReadyWithSingleChip(const std::string& port, int ms);

  // Frames handed to the port, and commands that left the queue (answered,
  // or dropped by a failure, the retry limit or a loss).
  int64_t frames_sent() const { return counts_.frames_sent; }
  int64_t commands_done() const { return counts_.commands_done; }

  // ---- LinkHost ----
  bool WriteData(const uint8_t* bytes, uint16_t count) override;

  // ---- AppHost ----
  void GridNeedsLayout() override {}
  void Changed(Aspect aspect) override;
  bool Check(Option option) override {
    return checks_[static_cast<size_t>(OptionNumber(option))];
  }

 private:
  bool open_ = false;
  std::string open_error_;
  std::array<bool, 14> checks_{};
  std::vector<std::string> status_history_;
  // Counted as the queue reports its sends and removals.
  struct Counts final : QueueListener {
    void Sent(const QueueEntry&, int) override { ++frames_sent; }
    void Removed(const QueueEntry&, bool) override { ++commands_done; }
    int64_t frames_sent = 0;
    int64_t commands_done = 0;
  };
  Counts counts_;
};

}  // namespace taktm::testing

#endif  // TAKT_TESTS_HARNESS_HEADLESS_HOST_H_
