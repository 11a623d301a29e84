// The emulator's event loop on the master end of the pseudo-terminal: reads
// commands, answers them through the device model, acknowledges after every
// reply and every --ack-ms while idle, and applies the fault options, those
// that spoil replies and those that misplace them in time (crossings,
// doubled replies, batched acknowledgements, short replies). It blocks in
// poll() between events, so an idle device costs no CPU.
#ifndef TAKT_DEVSIM_DEVICE_LOOP_H_
#define TAKT_DEVSIM_DEVICE_LOOP_H_

#include <chrono>
#include <cstdint>
#include <deque>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "device_model.h"
#include "devsim_options.h"
#include "fault_plan.h"
#include "frame_log.h"
#include "frame_reader.h"

namespace taktm::devsim {

class DeviceLoop {
 public:
  using Clock = std::chrono::steady_clock;

  DeviceLoop(const DevsimOptions& options, DeviceModel& model, FrameLog& log)
      : options_(options),
        model_(model),
        log_(log),
        faults_(options.faults),
        jitter_(options.faults.seed) {}

  // Runs until `stop_fd` becomes readable (a signal arrived) or the port is
  // hung up by --hangup-after. Returns true when it stopped by a hang-up.
  bool Run(int master_fd, int stop_fd);

 private:
  struct Command {
    std::vector<uint8_t> payload;
    Clock::time_point ready_at;  // when the last byte is in, on a paced wire
  };
  struct Reply {
    std::vector<uint8_t> payload;
    Clock::time_point due;
    bool twice = false;      // --double-reply-every
    bool shortened = false;  // --short-reply cut its last byte
    bool padded = false;     // --pad-replies added bytes behind its fields
    bool slow = false;       // --slow: its own latency
  };

  void CheckConnected(Clock::time_point now);
  void Disconnect();
  void ReadInput(Clock::time_point now);
  void Step(Clock::time_point now);
  void EmitReply(Clock::time_point now);
  void QueueFrame(const std::vector<uint8_t>& payload, bool corrupt,
                  Clock::time_point now);
  void QueueAck(Clock::time_point now);
  // The acknowledgement after a reply, or with --reply-batch after the
  // replies of every command that was waiting.
  void AcknowledgeReply(Clock::time_point now);
  void Flush(Clock::time_point now);
  Clock::time_point WireEnd(Clock::time_point now) const;
  // The idle period before the next acknowledgement (--ack-jitter draws it).
  Clock::duration IdlePeriod();
  // When the next slice of paced or split output may be written.
  Clock::time_point SliceDue(size_t bytes) const;
  bool Paced() const { return options_.baud != 0 || options_.split_bytes != 0; }
  Clock::duration WireTime(size_t bytes) const;
  bool Idle() const;
  // Bytes written to the port at once when output is paced.
  size_t SliceBytes() const;
  std::optional<std::chrono::nanoseconds> PollTimeout(
      Clock::time_point now) const;

  const DevsimOptions& options_;
  DeviceModel& model_;
  FrameLog& log_;
  FaultPlan faults_;
  std::mt19937_64 jitter_;  // --ack-jitter, seeded with --seed
  FrameReader reader_;

  int fd_ = -1;
  bool connected_ = false;  // someone holds the port open
  bool write_blocked_ = false;
  std::deque<Command> inbound_;
  std::optional<Reply> pending_;
  std::vector<uint8_t> last_command_;  // the command handled before
  std::vector<uint8_t> last_reply_;    // --lose-command repeats it
  uint64_t lose_count_ = 0;            // commands of --lose-command's opcode
  uint64_t acks_owed_ = 0;             // replies batched without their ack
  std::deque<uint8_t> out_;
  Clock::time_point wire_free_{};    // paced output: end of the last slice
  Clock::time_point split_next_{};   // split output: time of the next write
  Clock::time_point rx_wire_end_{};  // paced input: end of the last byte
  Clock::time_point next_ack_{};
  Clock::time_point next_connect_check_{};
  bool silent_ = false;
  std::optional<Clock::time_point> silent_until_;
  bool hangup_pending_ = false;
  std::optional<Clock::time_point> hangup_at_;
};

}  // namespace taktm::devsim

#endif  // TAKT_DEVSIM_DEVICE_LOOP_H_
