#include "fault_plan.h"

namespace taktm::devsim {

ReplyFate FaultPlan::NextReply() {
  ++replies_;
  ReplyFate fate;
  fate.drop = Every(options_.drop_every, replies_);
  fate.corrupt = !fate.drop && Every(options_.corrupt_every, replies_);
  if (Every(options_.noise_every, replies_)) {
    // 1 to 16 bytes, none of them 0xD1, so noise can never begin a preamble
    // and never hides the frame behind it.
    const size_t length = 1 + random_() % 16;
    for (size_t i = 0; i < length; ++i) {
      uint8_t b = static_cast<uint8_t>(random_());
      if (b == 0xD1) b = 0x2E;
      fate.noise.push_back(b);
    }
  }
  fate.silence_after =
      options_.silent_after > 0 && replies_ == options_.silent_after;
  fate.hangup_after =
      options_.hangup_after > 0 && replies_ == options_.hangup_after;
  fate.withhold_ack = Every(options_.withhold_ack_every, replies_);
  return fate;
}

CommandFate FaultPlan::NextCommand() {
  ++commands_;
  return {Every(options_.cross_every, commands_),
          Every(options_.double_every, commands_)};
}

uint8_t FaultPlan::CorruptSum(uint8_t payload_sum) {
  return static_cast<uint8_t>(payload_sum + 1 + random_() % 255);
}

}  // namespace taktm::devsim
