// Which replies the emulator spoils, decided by counting replies so that a
// test sees the same faults at the same commands on every run. Noise bytes
// come from a generator seeded with --seed.
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
  uint64_t seed = 1;
};

// What happens to one reply.
struct ReplyFate {
  bool drop = false;
  bool corrupt = false;
  std::vector<uint8_t> noise;  // sent just before the reply
  bool silence_after = false;  // this is the last frame before silence
  bool hangup_after = false;   // the port closes after this reply
};

class FaultPlan {
 public:
  explicit FaultPlan(const FaultOptions& options)
      : options_(options), random_(options.seed) {}

  // Decides the fate of the next reply; call once per reply, in order.
  ReplyFate NextReply();
  // A wrong payload sum for `payload_sum`: never equal to it.
  uint8_t CorruptSum(uint8_t payload_sum);
  uint64_t replies() const { return replies_; }

 private:
  static bool Every(uint64_t n, uint64_t count) {
    return n > 0 && count % n == 0;
  }

  FaultOptions options_;
  std::mt19937_64 random_;  // fully specified by the standard: same bytes
  uint64_t replies_ = 0;
};

}  // namespace taktm::devsim

#endif  // TAKT_DEVSIM_FAULT_PLAN_H_
