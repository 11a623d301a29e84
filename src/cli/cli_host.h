// The front-end of takt-m-cli around the program core: a RecordingHost
// (AppCore on its port session, TComm32 and the 5,000 ms watchdog as the
// main window has them, but no windows). Warning boxes and error reports are
// recorded for the verdict and printed; questions are answered "No" (the
// command line never saves the buffer behind the user's back). The options
// are fixed for the run. A port that fails ends the run: it is not opened
// again.
#ifndef TAKT_CLI_CLI_HOST_H_
#define TAKT_CLI_CLI_HOST_H_

#include <QElapsedTimer>
#include <QString>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "config/options.h"
#include "link/comm32.h"
#include "session/app_core.h"
#include "session/port_session.h"
#include "session/recording_host.h"

namespace taktm {

struct PortSettings {
  QString port;
  uint32_t baud = 0;
  int32_t parity_index = -1;  // the settings dialog's list index
};

class CliHost : public RecordingHost {
 public:
  explicit CliHost(const OptionsModel& options);
  CliHost(const CliHost&) = delete;
  CliHost& operator=(const CliHost&) = delete;

  // Opens the port as the settings dialog does at start-up (RTS on, DTR
  // off) and starts the watchdog. Throws ECommsError.
  void Open(const PortSettings& settings);

  int watchdog_firings() const { return session_.watchdog_firings(); }
  bool port_failed() const { return session_.port_failed(); }
  // Milliseconds from `since` to the first frame handed to the port, or -1.
  int64_t first_write_ms() const { return first_write_ms_; }
  void set_clock(const QElapsedTimer* since) { since_ = since; }

  // Called with the bytes of every frame handed to the port (`sent`) and
  // of every chunk received, before the parser sees it.
  std::function<void(bool sent, const uint8_t*, size_t)> on_wire;
  // Called after whatever may end a wait: received bytes handled, the
  // watchdog fired, the port failed.
  std::function<void()> on_event;
  // Called when the core lays the grid out anew: after the buffer was
  // loaded (also the write's reload), emptied or resized.
  std::function<void()> on_buffer_replaced;

  // ---- LinkHost ----
  bool WriteData(const uint8_t* bytes, uint16_t count) override;

  // ---- AppHost ----
  void GridNeedsLayout() override {
    if (on_buffer_replaced) on_buffer_replaced();
  }
  void Changed(Aspect aspect) override;
  bool Check(Option option) override { return options_[option]; }

  // Every outcome the programmer announced, in order, for the verdict.
  const std::vector<Outcome>& outcomes() const { return outcomes_; }

 private:
  const OptionsModel options_;
  std::vector<Outcome> outcomes_;
  const QElapsedTimer* since_ = nullptr;
  int64_t first_write_ms_ = -1;
};

}  // namespace taktm

#endif  // TAKT_CLI_CLI_HOST_H_
