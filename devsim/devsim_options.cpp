#include "devsim_options.h"

#include <cerrno>
#include <cstdlib>
#include <functional>
#include <map>

namespace taktm::devsim {
namespace {

bool ToNumber(const std::string& text, uint64_t min, uint64_t max,
              uint64_t& value) {
  if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos)
    return false;
  errno = 0;
  const unsigned long long v = std::strtoull(text.c_str(), nullptr, 10);
  if (errno != 0 || v < min || v > max) return false;
  value = v;
  return true;
}

// An opcode in hexadecimal: "F3", "f3" or "0xF3".
bool ToOpcode(std::string text, int& opcode) {
  if (text.rfind("0x", 0) == 0 || text.rfind("0X", 0) == 0) text.erase(0, 2);
  if (text.empty() || text.size() > 2 ||
      text.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
    return false;
  opcode = static_cast<int>(std::strtoul(text.c_str(), nullptr, 16));
  return true;
}

}  // namespace

bool ParseDevsimOptions(const std::vector<std::string>& args,
                        DevsimOptions& options, std::string& error) {
  using Setter = std::function<bool(const std::string&)>;
  const auto number = [&](auto& field, uint64_t min, uint64_t max) {
    return Setter([&field, min, max](const std::string& v) {
      uint64_t n;
      if (!ToNumber(v, min, max, n)) return false;
      field = static_cast<std::remove_reference_t<decltype(field)>>(n);
      return true;
    });
  };
  const auto text = [](std::string& field) {
    return Setter([&field](const std::string& v) {
      field = v;
      return !v.empty();
    });
  };
  constexpr uint64_t kMany = UINT64_MAX;
  // Options that take a value, with the range the value must lie in.
  std::map<std::string, std::pair<Setter, std::string>> valued = {
      {"--link", {text(options.link_path), "a path"}},
      {"--chips", {text(options.chips_path), "a file"}},
      {"--memory-dir", {text(options.memory_dir), "a folder"}},
      {"--log", {text(options.log_path), "a file"}},
      {"--ack-ms", {number(options.ack_ms, 1, kMaxAckMs), "1 to 4999"}},
      {"--latency-ms", {number(options.latency_ms, 0, 600000), "0 to 600000"}},
      {"--silent-for",
       {number(options.silent_for_ms, 1, 3600000), "1 to 3600000"}},
      {"--baud", {number(options.baud, 50, 4000000), "50 to 4000000"}},
      {"--seed", {number(options.faults.seed, 0, kMany), "a number"}},
      {"--silent-after",
       {number(options.faults.silent_after, 1, kMany), "a count from 1"}},
      {"--hangup-after",
       {number(options.faults.hangup_after, 1, kMany), "a count from 1"}},
      {"--drop-replies",
       {number(options.faults.drop_every, 1, kMany), "a count from 1"}},
      {"--corrupt-replies",
       {number(options.faults.corrupt_every, 1, kMany), "a count from 1"}},
      {"--noise",
       {number(options.faults.noise_every, 1, kMany), "a count from 1"}},
      {"--cross-every",
       {number(options.faults.cross_every, 1, kMany), "a count from 1"}},
      {"--double-reply-every",
       {number(options.faults.double_every, 1, kMany), "a count from 1"}},
      {"--withhold-ack",
       {number(options.faults.withhold_ack_every, 1, kMany), "a count from 1"}},
      {"--max-read",
       {number(options.model.max_read_count, 1, kMaxReadCount), "1 to 249"}},
      {"--pad-replies", {number(options.pad_bytes, 1, 254), "1 to 254"}},
      {"--split-bytes", {number(options.split_bytes, 1, 262), "1 to 262"}},
      {"--split-gap-ms", {number(options.split_gap_ms, 0, 1000), "0 to 1000"}},
      {"--slow",
       {Setter([&](const std::string& v) {
          const size_t colon = v.find(':');
          uint64_t ms;
          if (colon == std::string::npos ||
              !ToOpcode(v.substr(0, colon), options.slow_opcode) ||
              !ToNumber(v.substr(colon + 1), 0, 600000, ms))
            return false;
          options.slow_ms = static_cast<uint32_t>(ms);
          return true;
        }),
        "OPCODE:MS, an opcode in hexadecimal and 0 to 600000 ms"}},
      {"--short-reply",
       {Setter([&](const std::string& v) {
          return ToOpcode(v, options.faults.short_opcode);
        }),
        "an opcode in hexadecimal (F3 or 0xF3)"}},
      {"--lose-command",
       {Setter([&](const std::string& v) {
          return ToOpcode(v, options.faults.lose_opcode);
        }),
        "an opcode in hexadecimal (F3 or 0xF3)"}},
      {"--parity",
       {Setter([&](const std::string& v) {
          if (v == "none")
            options.bits_per_byte = 10;
          else if (v == "odd" || v == "even" || v == "mark" || v == "space")
            options.bits_per_byte = 11;
          else
            return false;
          return true;
        }),
        "none, odd, even, mark or space"}},
  };
  const std::map<std::string, std::function<void()>> flags = {
      {"--flash-needs-erase", [&] { options.model.flash_needs_erase = true; }},
      {"--no-flash-needs-erase",
       [&] { options.model.flash_needs_erase = false; }},
      {"--wrong-signature", [&] { options.model.wrong_signature = true; }},
      {"--log-acks", [&] { options.log_acks = true; }},
      {"--reply-batch", [&] { options.faults.reply_batch = true; }},
      {"--ack-jitter", [&] { options.ack_jitter = true; }},
      {"--ack-on-receipt", [&] { options.ack_on_receipt = true; }},
      {"--help", [&] { options.help = true; }},
      {"-h", [&] { options.help = true; }},
  };
  for (size_t i = 0; i < args.size(); ++i) {
    std::string name = args[i];
    std::string value;
    bool has_value = false;
    if (const size_t eq = name.find('=');
        name.rfind("--", 0) == 0 && eq != std::string::npos) {
      value = name.substr(eq + 1), name = name.substr(0, eq), has_value = true;
    }
    if (auto flag = flags.find(name); flag != flags.end() && !has_value) {
      flag->second();
      continue;
    }
    auto option = valued.find(name);
    if (option == valued.end()) {
      error = "unknown option " + args[i];
      return false;
    }
    if (!has_value) {
      if (i + 1 >= args.size()) {
        error = name + " needs a value (" + option->second.second + ")";
        return false;
      }
      value = args[++i];
    }
    if (!option->second.first(value)) {
      error = name + ": \"" + value + "\" is not " + option->second.second;
      return false;
    }
  }
  return true;
}

const char* DevsimUsage() {
  return R"(usage: takt-m-devsim [options]
A virtual programmer on a pseudo-terminal. The first line printed is the name
of the port to open. See docs/devsim.md.

  --link PATH            also make PATH a symbolic link to the port
  --chips FILE           chip catalogue to use instead of the built-in one
  --memory-dir DIR       keep the memories in DIR (read at start, written
                         after every change)
  --[no-]flash-needs-erase
                         program memory writes only clear bits until an erase
                         (default on)
  --ack-ms MS            acknowledgement period while idle, 1..4999 (200)
  --log FILE             one line per frame received and sent
  --log-acks             also log acknowledgements as "TX ACK"
faults (replies are counted from 1; deterministic under --seed):
  --silent-after N       send nothing after the N-th reply (unplugged)
  --silent-for MS        ... and talk again after MS milliseconds
  --hangup-after N       close the port after the N-th reply and exit
  --drop-replies N       withhold every N-th reply
  --corrupt-replies N    send every N-th reply with a wrong payload sum
  --noise N              garbage bytes before every N-th reply
  --wrong-signature      the chip answers with a wrong signature
  --latency-ms MS        wait MS milliseconds before each reply
  --baud RATE            pace output (and input) at RATE bit/s
  --parity MODE          none (10 bits a byte) or odd/even/mark/space (11)
  --seed N               seed of the noise generator and of --ack-jitter (1)
timing faults (commands are counted from 1 as they are handled):
  --cross-every N        an acknowledgement goes out just before every N-th
                         command is handled (it crosses the command on the
                         line, so the program sends the command again)
  --double-reply-every N answer every N-th command twice, then acknowledge
  --reply-batch          when commands are waiting, send their replies first
                         and the acknowledgements after them
  --short-reply OPCODE   replies to OPCODE (hexadecimal) lose their last byte,
                         unless the command repeats the one just answered
  --lose-command OPCODE  every second command of OPCODE is lost on the line;
                         the device answers by repeating its last reply
  --withhold-ack N       after every N-th reply no acknowledgement follows;
                         the next one comes when the idle period is over
  --ack-jitter           each idle period is drawn from 1 to --ack-ms
  --ack-on-receipt       acknowledge as each command starts (room for the
                         next), and after a reply only when none waits
  --slow OPCODE:MS       replies to OPCODE take MS milliseconds instead of
                         --latency-ms (a long erase)
  --split-bytes N        output goes out N bytes at a time ...
  --split-gap-ms MS      ... MS milliseconds apart (5)
replies a device may give (allowed, unusual):
  --max-read N           read replies carry at most N data bytes (1..249)
  --pad-replies N        N zero bytes behind every reply's fields, as far
                         as the frame has room
)";
}

}  // namespace taktm::devsim
