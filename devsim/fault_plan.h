// Which replies the emulator spoils and how it misbehaves in time, decided by
// counting replies and commands so that a test sees the same faults at the
// same commands on every run. Noise bytes come from a generator seeded with
// --seed.
#ifndef TAKT_DEVSIM_FAULT_PLAN_H_
#define TAKT_DEVSIM_FAULT_PLAN_H_

#include <cstdint>
#include <random>
#include <vector>

namespace taktm::devsim {

struct FaultOptions {
  uint64_t silent_after = 0;   // replies before silence; 0 = never
  uint64_t hangup_after = 0;   // replies before closing the port; 0 = never
  uint64_t drop_every = 0;     // every n-th reply withheld; 0 = none
  uint64_t corrupt_every = 0;  // every n-th reply with a wrong payload sum
  uint64_t noise_every = 0;    // garbage before every n-th reply
  uint64_t cross_every = 0;    // an acknowledgement crosses every n-th command
  uint64_t double_every = 0;   // every n-th command answered twice
  bool reply_batch = false;    // replies to waiting commands before their acks
  int short_opcode = -1;       // this opcode's replies lose their last byte
  int lose_opcode = -1;        // every 2nd command of it lost, last reply again
  uint64_t withhold_ack_every = 0;  // no ack right after every n-th reply
  uint64_t seed = 1;
};

// What happens around one command, counted from 1 as they are handled.
struct CommandFate {
  bool cross = false;         // an acknowledgement goes out before handling it
  bool double_reply = false;  // its reply goes out twice
};

// What happens to one reply.
struct ReplyFate {
  bool drop = false;
  bool corrupt = false;
  std::vector<uint8_t> noise;  // sent just before the reply
  bool silence_after = false;  // this is the last frame before silence
  bool hangup_after = false;   // the port closes after this reply
  bool withhold_ack = false;   // the idle period, not the reply, brings its ack
};

class FaultPlan {
 public:
  explicit FaultPlan(const FaultOptions& options)
      : options_(options), random_(options.seed) {}

  // Decides the fate of the next reply; call once per reply, in order.
  ReplyFate NextReply();
  // Decides the fate of the next command handled; call once per command.
  CommandFate NextCommand();
  // A wrong payload sum for `payload_sum`: never equal to it.
  uint8_t CorruptSum(uint8_t payload_sum);
  uint64_t replies() const { return replies_; }
  uint64_t commands() const { return commands_; }

 private:
  static bool Every(uint64_t n, uint64_t count) {
    return n > 0 && count % n == 0;
  }

  FaultOptions options_;
  std::mt19937_64 random_;  // fully specified by the standard: same bytes
  uint64_t replies_ = 0;
  uint64_t commands_ = 0;
};

}  // namespace taktm::devsim

#endif  // TAKT_DEVSIM_FAULT_PLAN_H_
