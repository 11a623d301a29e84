// The program's link core (CommandQueue, ReceiveParser) talking to the
// emulator over its pty, driven by a poll loop: what the program does
// without its windows. Replies are recorded; like the program, a signature
// or verify verdict of 0 empties the queue.
#ifndef TAKT_TESTS_DEVSIM_CORE_LINK_CLIENT_H_
#define TAKT_TESTS_DEVSIM_CORE_LINK_CLIENT_H_

#include <errno.h>
#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "harness/devsim_process.h"
#include "link/command_queue.h"
#include "link/link_host.h"
#include "link/receive_parser.h"

namespace taktm::testing {

using Bytes = std::vector<uint8_t>;

class CoreLinkClient : public LinkHost, public ReplyHandler {
 public:
  explicit CoreLinkClient(const std::string& port)
      : fd_(OpenRawPort(port)), queue_(*this), parser_(queue_, *this, *this) {}
  ~CoreLinkClient() override {
    if (fd_ >= 0) ::close(fd_);
  }

  bool ok() const { return fd_ >= 0; }
  CommandQueue& queue() { return queue_; }
  void Enqueue(const Bytes& command) {
    queue_.EnqueueCommand(command.data(),
                          static_cast<uint16_t>(command.size()));
  }
  void Enqueue(std::initializer_list<uint8_t> command) {
    queue_.EnqueueCommand(command);
  }

  // Runs the link until the queue is empty; false if `timeout` ran out first
  // or the port failed.
  bool RunUntilDone(
      std::chrono::milliseconds timeout = std::chrono::seconds(20)) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!queue_.empty()) {
      if (!Pump(deadline)) return false;
    }
    return true;
  }
  // Runs the link for `duration` whatever happens.
  void RunFor(std::chrono::milliseconds duration) {
    const auto deadline = std::chrono::steady_clock::now() + duration;
    while (Pump(deadline)) {
    }
  }

  // Replies dispatched, in order.
  const std::vector<Bytes>& replies() const { return replies_; }
  // Every byte received, in order.
  const Bytes& raw() const { return raw_; }
  int acks() const { return acks_; }
  int writes() const { return writes_; }
  bool port_failed() const { return port_failed_; }
  const std::vector<std::string>& warnings() const { return warnings_; }

  // LinkHost
  bool WriteData(const uint8_t* bytes, uint16_t count) override {
    ++writes_;
    return ::write(fd_, bytes, count) == count;
  }
  void RestartWatchdog() override { ++acks_; }
  void ShowWarning(const std::string& text) override {
    warnings_.push_back(text);
  }

  // ReplyHandler
  void DispatchReply(const ReplyRecord& reply, uint8_t length) override {
    replies_.emplace_back(reply.begin(), reply.begin() + length);
    const uint8_t op = reply[0];
    const bool signature_failed =
        op == 0x00 && length >= 2 && reply[2 + reply[1]] == 0;
    const bool verify_failed = (op == 0x0B || op == 0x0F) && reply[6] == 0;
    if (signature_failed || verify_failed) queue_.ClearQueue();
  }

 private:
  // One wait for input; false once the deadline passed or the port failed.
  bool Pump(std::chrono::steady_clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0 || port_failed_) return false;
    pollfd p{fd_, POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) return true;
    uint8_t buffer[4096];
    const ssize_t n = ::read(fd_, buffer, sizeof buffer);
    if (n <= 0) {
      port_failed_ = n == 0 || errno != EAGAIN;
      return !port_failed_;
    }
    raw_.insert(raw_.end(), buffer, buffer + n);
    parser_.Comm321ReceiveData(buffer, static_cast<size_t>(n));
    return true;
  }

  int fd_;
  CommandQueue queue_;
  ReceiveParser parser_;
  std::vector<Bytes> replies_;
  Bytes raw_;
  int acks_ = 0;
  int writes_ = 0;
  bool port_failed_ = false;
  std::vector<std::string> warnings_;
};

// The lines of a frame log that record commands ("RX ...").
inline std::vector<std::string> ReceivedCommands(const std::string& log_path) {
  std::vector<std::string> out;
  for (const std::string& line : ReadLines(log_path)) {
    if (line.rfind("RX ", 0) == 0) out.push_back(line.substr(3));
  }
  return out;
}

}  // namespace taktm::testing

#endif  // TAKT_TESTS_DEVSIM_CORE_LINK_CLIENT_H_
