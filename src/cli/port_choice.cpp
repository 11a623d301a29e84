#include "cli/port_choice.h"

#include <algorithm>
#include <cctype>
#include <utility>

#include "programming/opcodes.h"
#include "programming/reply_contents.h"
#include "programming/reply_view.h"

namespace taktm {
namespace {

constexpr char kAuto[] = "auto";
constexpr char kUsbSerial[] = "usb-serial:";

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(c));
  return text;
}

std::string JoinNames(const std::vector<std::string>& names) {
  std::string text;
  for (const std::string& n : names) text += (text.empty() ? "" : ", ") + n;
  return text;
}

// `[...]` at `p` (just past '['): whether `c` is in the set; `p` moves past
// the closing ']'. Nothing when the bracket is not closed.
std::optional<bool> MatchSet(const std::string& pattern, size_t& p, char c) {
  size_t i = p;
  bool negate = false;
  if (i < pattern.size() && (pattern[i] == '!' || pattern[i] == '^')) {
    negate = true;
    ++i;
  }
  bool found = false;
  bool first = true;
  while (i < pattern.size() && (first || pattern[i] != ']')) {
    first = false;
    char low = pattern[i];
    if (low == '\\' && i + 1 < pattern.size()) low = pattern[++i];
    char high = low;
    if (i + 2 < pattern.size() && pattern[i + 1] == '-' &&
        pattern[i + 2] != ']') {
      high = pattern[i + 2];
      i += 2;
    }
    if (c >= low && c <= high) found = true;
    ++i;
  }
  if (i >= pattern.size()) return std::nullopt;
  p = i + 1;
  return found != negate;
}

bool Match(const std::string& pattern, size_t p, const std::string& name,
           size_t n) {
  while (p < pattern.size()) {
    const char pc = pattern[p];
    if (pc == '*') {
      while (p < pattern.size() && pattern[p] == '*') ++p;
      if (p == pattern.size()) return true;
      for (size_t k = n; k <= name.size(); ++k) {
        if (Match(pattern, p, name, k)) return true;
      }
      return false;
    }
    if (n >= name.size()) return false;
    if (pc == '?') {
      ++p;
    } else if (pc == '[') {
      size_t q = p + 1;
      const std::optional<bool> in = MatchSet(pattern, q, name[n]);
      if (!in) {  // an unclosed bracket is an ordinary character
        if (name[n] != '[') return false;
        ++p;
      } else {
        if (!*in) return false;
        p = q;
      }
    } else {
      char literal = pc;
      if (pc == '\\' && p + 1 < pattern.size()) literal = pattern[++p];
      if (name[n] != literal) return false;
      ++p;
    }
    ++n;
  }
  return n == name.size();
}

}  // namespace

PortSpec ParsePortSpec(const std::string& value) {
  if (value == kAuto) return {PortSpec::Kind::kAuto, {}};
  if (value.rfind(std::string(kAuto) + ":", 0) == 0) {
    return {PortSpec::Kind::kAuto, value.substr(sizeof kAuto)};
  }
  if (value.rfind(kUsbSerial, 0) == 0) {
    return {PortSpec::Kind::kUsbSerial, value.substr(sizeof kUsbSerial - 1)};
  }
  return {PortSpec::Kind::kName, value};
}

bool MatchesShellPattern(const std::string& pattern, const std::string& name) {
  return Match(pattern, 0, name, 0);
}

PortChoice ChooseAnswering(const std::string& port_option,
                           const std::vector<ProbeAnswer>& answers) {
  std::vector<std::string> answering;
  std::vector<std::string> probed;
  for (const ProbeAnswer& a : answers) {
    probed.push_back(a.port);
    if (a.device) answering.push_back(a.port + " (" + *a.device + ")");
  }
  PortChoice choice;
  if (answering.size() == 1) {
    for (const ProbeAnswer& a : answers) {
      if (a.device) choice.port = a.port;
    }
    return choice;
  }
  if (answering.empty()) {
    choice.status = ExitStatus::kNoDevice;
    choice.message =
        probed.empty() ? "Нет последовательных портов для --port " + port_option
                       : "Программатор не ответил ни на одном порту (--port " +
                             port_option + "): " + JoinNames(probed);
    return choice;
  }
  choice.status = ExitStatus::kUsage;
  choice.message = "Программатор ответил на нескольких портах (--port " +
                   port_option + "): " + JoinNames(answering) +
                   "; укажите порт или шаблон точнее";
  return choice;
}

PortChoice ChooseBySerialNumber(const std::string& serial,
                                const std::vector<SerialPortEntry>& ports) {
  PortChoice choice;
  for (const bool exact : {true, false}) {
    std::vector<std::string> found;
    for (const SerialPortEntry& p : ports) {
      if (p.serial_number.empty()) continue;
      if (exact ? p.serial_number == serial
                : Lower(p.serial_number) == Lower(serial)) {
        found.push_back(p.location);
      }
    }
    if (found.size() == 1) {
      choice.port = found.front();
      return choice;
    }
    if (found.size() > 1) {
      choice.status = ExitStatus::kUsage;
      choice.message = "USB серийный номер " + serial +
                       " у нескольких адаптеров: " + JoinNames(found);
      return choice;
    }
  }
  choice.status = ExitStatus::kNoDevice;
  choice.message = "Нет адаптера с USB серийным номером " + serial;
  return choice;
}

NameProbe::NameProbe(std::function<bool(const uint8_t*, uint16_t)> write)
    : write_(std::move(write)), queue_(*this), parser_(queue_, *this, *this) {
  queue_.EnqueueCommand({SVC_GET_NAME});
}

void NameProbe::Receive(const uint8_t* bytes, size_t count) {
  parser_.Comm321ReceiveData(bytes, count);
}

bool NameProbe::WriteData(const uint8_t* bytes, uint16_t count) {
  return write_(bytes, count);
}

void NameProbe::DispatchReply(const ReplyRecord& reply, uint8_t length) {
  device_ = ReplyView(reply, length).Text(1);
}

bool NameProbe::AnswersHead(const ReplyRecord& reply, uint8_t length,
                            const std::vector<uint8_t>& head) {
  return ReplyAnswersCommand(reply, length, head);
}

}  // namespace taktm
