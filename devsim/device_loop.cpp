#include "device_loop.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "link/frame.h"

namespace taktm::devsim {
namespace {

using std::chrono::milliseconds;
using std::chrono::nanoseconds;

// Paced output goes out in slices of about this much wire time.
constexpr nanoseconds kSliceTime = milliseconds(2);
// The longest the emulator takes to notice that the program opened the port.
constexpr milliseconds kConnectCheck = milliseconds(100);
// After --hangup-after, the time the program gets to read the last reply.
constexpr milliseconds kHangupGrace = milliseconds(100);

}  // namespace

DeviceLoop::Clock::duration DeviceLoop::WireTime(size_t bytes) const {
  if (options_.baud == 0) return Clock::duration::zero();
  const auto ns = static_cast<int64_t>(bytes) * options_.bits_per_byte *
                  1'000'000'000LL / options_.baud;
  return std::chrono::duration_cast<Clock::duration>(nanoseconds(ns));
}

DeviceLoop::Clock::time_point DeviceLoop::WireEnd(Clock::time_point now) const {
  if (options_.baud == 0) return now;
  return std::max(wire_free_, now) + WireTime(out_.size());
}

DeviceLoop::Clock::duration DeviceLoop::IdlePeriod() {
  if (!options_.ack_jitter) return milliseconds(options_.ack_ms);
  return milliseconds(1 + jitter_() % options_.ack_ms);
}

DeviceLoop::Clock::time_point DeviceLoop::SliceDue(size_t bytes) const {
  const Clock::time_point wire = wire_free_ + WireTime(bytes);
  return options_.split_bytes != 0 ? std::max(wire, split_next_) : wire;
}

bool DeviceLoop::Idle() const {
  return connected_ && !silent_ && !hangup_pending_ && !pending_ &&
         inbound_.empty() && out_.empty();
}

void DeviceLoop::CheckConnected(Clock::time_point now) {
  pollfd p{fd_, POLLIN, 0};
  const bool hung_up = ::poll(&p, 1, 0) >= 0 && (p.revents & POLLHUP) != 0;
  if (hung_up) {
    if (connected_) Disconnect();
    // Look for the program once per acknowledgement period, and at least
    // every 100 ms: it sends nothing before its first acknowledgement, and a
    // program that reopens its port finds the device at once.
    next_connect_check_ =
        now + std::min(milliseconds(options_.ack_ms), kConnectCheck);
    return;
  }
  if (!connected_) {
    connected_ = true;
    next_ack_ = now;  // greet the program at once
  }
}

void DeviceLoop::Disconnect() {
  // What was on its way is lost, as on a cable with nobody listening.
  connected_ = false;
  write_blocked_ = false;
  acks_owed_ = 0;
  out_.clear();
  reader_.Clear();
}

void DeviceLoop::ReadInput(Clock::time_point now) {
  uint8_t buffer[4096];
  for (;;) {
    const ssize_t n = ::read(fd_, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno == EAGAIN) return;
    if (n <= 0) {  // EIO: the program closed the port
      Disconnect();
      next_connect_check_ = now;
      return;
    }
    if (silent_) continue;  // unplugged: nothing reaches the device
    Clock::time_point ready = now;
    if (options_.baud != 0) {
      rx_wire_end_ =
          std::max(rx_wire_end_, now) + WireTime(static_cast<size_t>(n));
      ready = rx_wire_end_;
    }
    for (ReceivedFrame& frame : reader_.Feed(buffer, static_cast<size_t>(n))) {
      if (!frame.sum_ok) {
        log_.Frame("RX", "BADSUM", frame.payload);
        continue;
      }
      log_.Frame("RX", "", frame.payload);
      inbound_.push_back({std::move(frame.payload), ready});
    }
  }
}

void DeviceLoop::QueueFrame(const std::vector<uint8_t>& payload, bool corrupt,
                            Clock::time_point now) {
  if (!connected_) return;
  TransmitFrame frame;
  const size_t size =
      LayOutFrame(payload.data(), static_cast<uint8_t>(payload.size()), frame);
  if (corrupt)
    frame.bytes[size - 1] = faults_.CorruptSum(frame.bytes[size - 1]);
  if (out_.empty()) wire_free_ = std::max(wire_free_, now);
  out_.insert(out_.end(), frame.bytes.begin(), frame.bytes.begin() + size);
}

void DeviceLoop::QueueAck(Clock::time_point now) {
  QueueFrame({}, false, now);
  if (options_.log_acks) log_.Line("TX ACK");
  next_ack_ = WireEnd(now) + IdlePeriod();
}

void DeviceLoop::AcknowledgeReply(Clock::time_point now) {
  if (options_.ack_on_receipt && !inbound_.empty()) {
    // Its room is taken by the command waiting; starting it acknowledges.
    log_.Line("NO ACK");
    return;
  }
  if (options_.faults.reply_batch && !inbound_.empty()) {
    ++acks_owed_;  // the next command's reply goes out first
    return;
  }
  const uint64_t acks = acks_owed_ + 1;
  acks_owed_ = 0;
  if (acks > 1) log_.Line("BATCH " + std::to_string(acks));
  for (uint64_t i = 0; i < acks; ++i) QueueAck(now);
}

void DeviceLoop::EmitReply(Clock::time_point now) {
  const Reply reply = std::move(*pending_);
  const std::vector<uint8_t>& payload = reply.payload;
  pending_.reset();
  const ReplyFate fate = faults_.NextReply();
  if (!fate.noise.empty()) {
    log_.Frame("TX", "NOISE", fate.noise);
    if (connected_) {
      if (out_.empty()) wire_free_ = std::max(wire_free_, now);
      out_.insert(out_.end(), fate.noise.begin(), fate.noise.end());
    }
  }
  if (fate.drop) {
    log_.Frame("TX", "DROPPED", payload);
  } else {
    std::string tags = fate.corrupt      ? "CORRUPT"
                       : reply.shortened ? "SHORT"
                                         : "";
    for (const auto& [on, tag] :
         {std::pair{reply.padded, "PADDED"}, std::pair{reply.slow, "SLOW"}}) {
      if (on) tags += tags.empty() ? tag : std::string(" ") + tag;
    }
    log_.Frame("TX", tags.c_str(), payload);
    QueueFrame(payload, fate.corrupt, now);
    if (reply.twice) {
      log_.Frame("TX", "DOUBLE", payload);
      QueueFrame(payload, false, now);
    }
  }
  if (fate.hangup_after) {
    hangup_pending_ = true;
    return;
  }
  if (fate.silence_after) {
    silent_ = true;
    if (options_.silent_for_ms > 0) {
      silent_until_ = WireEnd(now) + milliseconds(options_.silent_for_ms);
    }
    inbound_.clear();
    reader_.Clear();
    acks_owed_ = 0;
    log_.Line("SILENT");
    return;
  }
  if (fate.withhold_ack) {
    // Ready again, but the device says so only when its idle period is up.
    log_.Line("NO ACK");
    next_ack_ = WireEnd(now) + IdlePeriod();
    return;
  }
  AcknowledgeReply(now);  // reply, then acknowledgement: ready for more
}

void DeviceLoop::Step(Clock::time_point now) {
  if (silent_ && silent_until_ && now >= *silent_until_) {
    silent_ = false;
    silent_until_.reset();
    log_.Line("TALKING");
    next_ack_ = now;
  }
  if (!pending_ && !inbound_.empty() && now >= inbound_.front().ready_at) {
    const Command command = std::move(inbound_.front());
    inbound_.pop_front();
    const CommandFate fate = faults_.NextCommand();
    if (options_.ack_on_receipt) {
      // Taken from the input into the work: room for the next command.
      QueueFrame({}, false, now);
      log_.Line("TX EARLY ACK");
    }
    if (fate.cross) {
      // An idle acknowledgement that left just as the command came in. The
      // reply comes when the command has been handled, as on a real
      // device, whether or not the program sends the command again.
      QueueFrame({}, false, now);
      log_.Line("TX CROSS");
    }
    const bool slow = options_.slow_opcode == command.payload[0];
    // A command lost on the line reaches the device as a damaged frame,
    // which this device answers by repeating its last reply.
    const bool lost = options_.faults.lose_opcode == command.payload[0] &&
                      ++lose_count_ % 2 == 0;
    if (lost) log_.Frame("LOST", "", command.payload);
    Reply reply{
        lost ? last_reply_
             : model_.HandleCommand(command.payload.data(),
                                    command.payload.size()),
        now + milliseconds(slow ? options_.slow_ms : options_.latency_ms),
        fate.double_reply,
        false,
        false,
        slow};
    // A reply of the opcode alone is never cut: it would become an
    // acknowledgement.
    if (options_.faults.short_opcode == command.payload[0] &&
        reply.payload.size() > 1 && command.payload != last_command_) {
      reply.payload.pop_back();
      reply.shortened = true;
    }
    if (options_.pad_bytes > 0 && !reply.shortened &&
        reply.payload.size() < 255) {
      const size_t room = 255 - reply.payload.size();
      reply.payload.resize(
          reply.payload.size() + std::min<size_t>(options_.pad_bytes, room),
          0x00);
      reply.padded = true;
    }
    last_command_ = command.payload;
    if (!reply.payload.empty()) last_reply_ = reply.payload;
    pending_ = std::move(reply);
  }
  if (pending_ && now >= pending_->due) EmitReply(now);
  if (Idle() && now >= next_ack_) QueueAck(now);
}

size_t DeviceLoop::SliceBytes() const {
  if (options_.split_bytes != 0) return options_.split_bytes;
  if (options_.baud == 0) return out_.size();
  return std::max<size_t>(
      1, static_cast<size_t>(kSliceTime.count() * options_.baud /
                             options_.bits_per_byte / 1'000'000'000LL));
}

void DeviceLoop::Flush(Clock::time_point now) {
  if (!connected_ || write_blocked_) return;
  const size_t slice = SliceBytes();
  uint8_t chunk[4096];
  while (!out_.empty()) {
    const size_t k = std::min({slice, out_.size(), sizeof chunk});
    if (Paced() && now < SliceDue(k)) return;
    std::copy_n(out_.begin(), k, chunk);
    const ssize_t n = ::write(fd_, chunk, k);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      write_blocked_ =
          errno == EAGAIN;  // anything else shows up as EIO on read
      return;
    }
    out_.erase(out_.begin(), out_.begin() + n);
    wire_free_ += WireTime(static_cast<size_t>(n));
    if (options_.split_bytes != 0 && out_.empty()) {
      // Split output takes longer than its wire time: the idle period
      // begins when the last piece has left, as on the device it plays.
      next_ack_ = std::max(next_ack_, now + IdlePeriod());
    }
    if (options_.split_bytes != 0) {
      split_next_ = now + milliseconds(options_.split_gap_ms);
      if (options_.split_gap_ms > 0) return;
    }
    if (static_cast<size_t>(n) < k) {
      write_blocked_ = true;
      return;
    }
  }
}

std::optional<std::chrono::nanoseconds> DeviceLoop::PollTimeout(
    Clock::time_point now) const {
  std::optional<Clock::time_point> wake;
  const auto consider = [&wake](Clock::time_point t) {
    if (!wake || t < *wake) wake = t;
  };
  if (Idle()) consider(next_ack_);
  if (pending_) consider(pending_->due);
  if (!pending_ && !inbound_.empty()) consider(inbound_.front().ready_at);
  if (connected_ && !out_.empty() && !write_blocked_ && Paced()) {
    // The next slice leaves when its last byte's wire time has come, and
    // split output when its gap is over.
    consider(SliceDue(std::min({SliceBytes(), out_.size(), size_t{4096}})));
  }
  if (!connected_) consider(next_connect_check_);
  if (silent_until_) consider(*silent_until_);
  if (hangup_at_) consider(*hangup_at_);
  if (hangup_pending_ && out_.empty() && !hangup_at_) consider(now);
  if (!wake) return std::nullopt;  // nothing to do until input or a signal
  if (*wake <= now) return std::chrono::nanoseconds(0);
  // The exact time left: rounding to whole milliseconds would add up to a
  // millisecond to every paced command and reply.
  return std::min<std::chrono::nanoseconds>(*wake - now,
                                            std::chrono::seconds(60));
}

bool DeviceLoop::Run(int master_fd, int stop_fd) {
  fd_ = master_fd;
  if (options_.split_bytes != 0) {
    log_.Line("SPLIT " + std::to_string(options_.split_bytes) + " BYTES " +
              std::to_string(options_.split_gap_ms) + " MS");
  }
  CheckConnected(Clock::now());
  for (;;) {
    Clock::time_point now = Clock::now();
    if (!connected_ && now >= next_connect_check_) CheckConnected(now);
    Step(now);
    Flush(now);
    if (hangup_pending_ && out_.empty()) {
      if (!hangup_at_) hangup_at_ = now + kHangupGrace;
      if (now >= *hangup_at_) {
        log_.Line("HANGUP");
        return true;
      }
    }
    short events = POLLIN;
    if (write_blocked_) events |= POLLOUT;
    pollfd fds[2] = {{stop_fd, POLLIN, 0}, {connected_ ? fd_ : -1, events, 0}};
    const std::optional<std::chrono::nanoseconds> wait = PollTimeout(now);
    timespec ts{};
    if (wait) {
      ts.tv_sec = static_cast<time_t>(wait->count() / 1'000'000'000);
      ts.tv_nsec = static_cast<long>(wait->count() % 1'000'000'000);
    }
    if (::ppoll(fds, 2, wait ? &ts : nullptr, nullptr) < 0 && errno != EINTR) {
      return false;
    }
    if (fds[0].revents != 0) return false;
    now = Clock::now();
    if (fds[1].revents & POLLOUT) write_blocked_ = false;
    if (fds[1].revents & (POLLIN | POLLHUP | POLLERR)) {
      ReadInput(now);
      if (connected_ && (fds[1].revents & POLLHUP)) CheckConnected(now);
    }
  }
}

}  // namespace taktm::devsim
