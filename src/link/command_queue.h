// The FIFO of commands for the programmer. The head goes out once per
// acknowledgement and stays until a reply with its opcode arrives; the eighth
// send without such a reply clears the queue with a warning.
#ifndef TAKT_LINK_COMMAND_QUEUE_H_
#define TAKT_LINK_COMMAND_QUEUE_H_

#include <cstddef>
#include <cstdint>
#include <deque>
#include <initializer_list>
#include <vector>

#include "link/frame.h"
#include "link/link_host.h"

namespace taktm {

inline constexpr int kSendLimit = 8;
inline constexpr char kRetryLimitWarning[] =
    "Не могу выполнить команду!\n\rОчередь команд очищена.";

// What the queue progress window shows.
struct ProgressModel {
  int maximum = 0;
  int position = 0;
  bool visible = false;
};

class CommandQueue {
 public:
  explicit CommandQueue(LinkHost& host) : host_(host) {}
  CommandQueue(const CommandQueue&) = delete;
  CommandQueue& operator=(const CommandQueue&) = delete;

  // Appends a copy of the command. A command of no bytes, or of more than a
  // frame carries (kMaxPayload), is refused whole: false, nothing queued.
  // Cutting it would send the device a different command.
  bool EnqueueCommand(const uint8_t* bytes, size_t length);
  bool EnqueueCommand(std::initializer_list<uint8_t> bytes);
  // Sends the head command as one frame and counts the send.
  void SendHead();
  void RemoveHead();
  void ClearQueue();

  bool empty() const { return entries_.empty(); }
  size_t count() const { return entries_.size(); }
  uint8_t HeadOpcode() const { return entries_.front().front(); }
  const std::vector<uint8_t>& entry(size_t i) const { return entries_[i]; }
  // Puts a command right behind the head, to go out next (the rest of a
  // read the device answered in part); on an empty queue it becomes the
  // head. Counted, so that whoever mirrors the queue can tell it from an
  // append.
  void InsertAfterHead(std::vector<uint8_t> bytes);
  uint64_t InsertsAfterHead() const { return inserts_after_head_; }
  // Gives a queued command new bytes of the same length: a front-end that
  // fills in part of a command at the last moment (before it is sent).
  void ReplaceEntry(size_t i, std::vector<uint8_t> bytes) {
    if (i < entries_.size() && bytes.size() == entries_[i].size()) {
      entries_[i] = std::move(bytes);
    }
  }

  int UnansweredSends() const { return unanswered_sends_; }
  // How often the current head has gone out; a device that received every
  // send answers it that many times.
  int HeadSends() const { return head_sends_; }
  // Frames sent since the queue was made, and the number of the frame that
  // first carried the current head (0 while it has not gone out): a reply
  // received before that frame left cannot answer the head.
  uint64_t SendsTotal() const { return sends_total_; }
  uint64_t HeadFirstSend() const { return head_first_send_; }
  // A matched reply resets the counter.
  void ResetUnansweredSends() { unanswered_sends_ = 0; }
  // The device answered the head with a reply of its opcode that did not fit
  // it (another address or count): remembered until the head leaves, so
  // that the retry limit can say the device answered another command.
  void NoteForeignReply() { head_answered_otherwise_ = true; }
  // Whether the head the retry limit dropped last had such replies; read by
  // the host when the retry warning is raised.
  bool LimitAfterForeignReply() const { return limit_after_foreign_reply_; }

  const ProgressModel& progress() const { return progress_; }
  const TransmitFrame& transmit_frame() const { return transmit_frame_; }

 private:
  void SetProgress(int maximum, int position, bool visible);

  LinkHost& host_;
  std::deque<std::vector<uint8_t>> entries_;
  int unanswered_sends_ = 0;
  int head_sends_ = 0;
  uint64_t sends_total_ = 0;
  uint64_t head_first_send_ = 0;
  uint64_t inserts_after_head_ = 0;
  bool head_answered_otherwise_ = false;
  bool limit_after_foreign_reply_ = false;
  ProgressModel progress_;
  TransmitFrame transmit_frame_;
};

}  // namespace taktm

#endif  // TAKT_LINK_COMMAND_QUEUE_H_
