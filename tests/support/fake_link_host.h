// Records what the link core asks of its platform, for unit tests.
#ifndef TAKT_TESTS_SUPPORT_FAKE_LINK_HOST_H_
#define TAKT_TESTS_SUPPORT_FAKE_LINK_HOST_H_

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "link/link_host.h"
#include "link/receive_parser.h"

namespace taktm::testing {

using Bytes = std::vector<uint8_t>;

class FakeLinkHost : public LinkHost {
 public:
  bool WriteData(const uint8_t* bytes, uint16_t count) override {
    writes.emplace_back(bytes, bytes + count);
    return true;
  }
  void RestartWatchdog() override { ++watchdog_restarts; }
  void ShowWarning(const std::string& text) override {
    warnings.push_back(text);
    if (on_warning) on_warning();
  }
  void ProgressChanged() override { ++progress_changes; }

  std::vector<Bytes> writes;
  std::vector<std::string> warnings;
  int watchdog_restarts = 0;
  int progress_changes = 0;
  std::function<void()> on_warning;  // runs "inside" the modal box
};

class RecordingReplyHandler : public ReplyHandler {
 public:
  void DispatchReply(const ReplyRecord& reply, uint8_t length) override {
    replies.emplace_back(reply.begin(), reply.begin() + length);
    if (on_reply) on_reply(reply, length);
  }
  bool AnswersHead(const ReplyRecord& reply, uint8_t length,
                   const std::vector<uint8_t>& head) override {
    return answers ? answers(reply, length, head)
                   : ReplyHandler::AnswersHead(reply, length, head);
  }
  std::vector<Bytes> replies;
  std::function<void(const ReplyRecord&, uint8_t)> on_reply;
  // Replaces the opcode-only rule when set.
  std::function<bool(const ReplyRecord&, uint8_t, const std::vector<uint8_t>&)>
      answers;
};

// A complete frame around `payload`.
inline Bytes Frame(const Bytes& payload) {
  Bytes f = {0xD1, 0xE0, 0xEB, 0xEE, static_cast<uint8_t>(payload.size())};
  uint8_t sum = 0;
  for (uint8_t b : f) sum = static_cast<uint8_t>(sum + b);
  f.push_back(sum);
  uint8_t psum = 0;
  for (uint8_t b : payload) {
    f.push_back(b);
    psum = static_cast<uint8_t>(psum + b);
  }
  f.push_back(psum);
  return f;
}

inline Bytes Ack() { return Frame({}); }

inline Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

}  // namespace taktm::testing

#endif  // TAKT_TESTS_SUPPORT_FAKE_LINK_HOST_H_
