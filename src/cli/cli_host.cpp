#include "cli/cli_host.h"

#include "config/parity.h"

namespace taktm {

CliHost::CliHost(const OptionsModel& options) : options_(options) {
  session_.on_event = [this] {
    if (on_event) on_event();
  };
  session_.on_receive = [this](const uint8_t* bytes, uint16_t count) {
    if (on_wire) on_wire(false, bytes, count);
  };
}

void CliHost::Open(const PortSettings& settings) {
  TComm32& comm = session_.comm();
  comm.SetCommPort(settings.port);
  comm.SetBaudRate(settings.baud);
  if (const auto code = ParityCodeForIndex(settings.parity_index)) {
    comm.SetParity(static_cast<TParity>(*code));
  }
  session_.Open();
}

bool CliHost::WriteData(const uint8_t* bytes, uint16_t count) {
  if (first_write_ms_ < 0 && since_ != nullptr) {
    first_write_ms_ = since_->elapsed();
  }
  if (on_wire) on_wire(true, bytes, count);
  return session_.comm().WriteData(bytes, count);
}

void CliHost::Changed(Aspect aspect) {
  if (aspect == Aspect::kOutcome) {
    outcomes_.push_back(core().programmer().outcome());
  }
}

}  // namespace taktm
