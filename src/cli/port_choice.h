// Which port --port names when it names none outright: "auto" (the one port
// a programmer answers on), "auto:PATTERN" (the same among the names that
// match a shell pattern) or "usb-serial:XXXX" (the adapter with that USB
// serial number). The probe's conversation is here too: it sends only the
// discovery's first command, which changes nothing on the device.
#ifndef TAKT_CLI_PORT_CHOICE_H_
#define TAKT_CLI_PORT_CHOICE_H_

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "cli/port_listing.h"
#include "cli/run_verdict.h"
#include "link/command_queue.h"
#include "link/link_host.h"
#include "link/receive_parser.h"

namespace taktm {

struct PortSpec {
  enum class Kind { kName, kAuto, kUsbSerial };
  Kind kind = Kind::kName;
  std::string text;  // the name, the pattern (empty: every port) or serial
};

PortSpec ParsePortSpec(const std::string& value);

// Whether `name` matches the shell pattern `pattern`: `*` any run of
// characters, `?` one character, `[abc]`, `[a-z]` and `[!abc]` one of a set,
// `\` quotes the next character. Unlike a shell, `*` also crosses `/`, so
// that "/dev/tty*" matches a link's whole path.
bool MatchesShellPattern(const std::string& pattern, const std::string& name);

// The answer of one probed port: the programmer's name, or nothing.
struct ProbeAnswer {
  std::string port;
  std::optional<std::string> device;
};

// The port chosen, or the refusal (status and message).
struct PortChoice {
  std::string port;
  ExitStatus status = ExitStatus::kOk;
  std::string message;
};

// One answering port is chosen; none is "no programmer" (exit 3), several
// a usage error (exit 2): the user must narrow the pattern.
PortChoice ChooseAnswering(const std::string& port_option,
                           const std::vector<ProbeAnswer>& answers);

// The adapter whose USB serial number is `serial` (exactly, or ignoring
// ASCII case when no port has it exactly).
PortChoice ChooseBySerialNumber(const std::string& serial,
                                const std::vector<SerialPortEntry>& ports);

// The probe of one port: the discovery's first command, SVC_GET_NAME, sent on
// the device's acknowledgements through the program's own queue and reply
// rules; the name once a reply has answered it. Bytes go out through
// `write`.
class NameProbe : private LinkHost, private ReplyHandler {
 public:
  explicit NameProbe(std::function<bool(const uint8_t*, uint16_t)> write);
  NameProbe(const NameProbe&) = delete;
  NameProbe& operator=(const NameProbe&) = delete;

  void Receive(const uint8_t* bytes, size_t count);
  const std::optional<std::string>& device() const { return device_; }
  // Frames written so far (each is a copy of the one command).
  uint64_t sends() const { return queue_.SendsTotal(); }

 private:
  bool WriteData(const uint8_t* bytes, uint16_t count) override;
  void RestartWatchdog() override {}
  void ShowWarning(const std::string&) override {}
  void DispatchReply(const ReplyRecord& reply, uint8_t length) override;
  bool AnswersHead(const ReplyRecord& reply, uint8_t length,
                   const std::vector<uint8_t>& head) override;

  std::function<bool(const uint8_t*, uint16_t)> write_;
  CommandQueue queue_;
  ReceiveParser parser_;
  std::optional<std::string> device_;
};

}  // namespace taktm

#endif  // TAKT_CLI_PORT_CHOICE_H_
