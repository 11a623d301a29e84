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

// What a queued command is for, beyond its bytes. Set by whoever queues it
// and kept while the command moves through the queue, so that those who
// follow the queue need no books of their own on which entry is which.
enum class CommandTag : uint8_t {
  kPlain,
  kVerifyEnd,  // the SVC_END closing a verify run: answered, all verified
  kReadRest,   // the rest of a read the device answered in part
  kSerial,     // carries the serial number, stamped in
};

struct QueueEntry {
  std::vector<uint8_t> bytes;
  CommandTag tag = CommandTag::kPlain;
};

class CommandQueue;

// Told of every change of the queue, after the queue has changed (before
// for BeforeSend). A listener may change the queue from inside an event;
// listeners added or removed meanwhile take effect at the next event.
class QueueListener {
 public:
  // `entry` is now the last one.
  virtual void Appended(const QueueEntry& entry) { (void)entry; }
  // `entry` now stands right behind the head (it is the head when the queue
  // was empty).
  virtual void InsertedAfterHead(const QueueEntry& entry) { (void)entry; }
  // The head is about to go out. The listener may give it new bytes of the
  // same length (ReplaceEntry) or clear the queue: nothing is then sent.
  virtual void BeforeSend(CommandQueue& queue) { (void)queue; }
  // The head went out; `head_sends` counts this send.
  virtual void Sent(const QueueEntry& head, int head_sends) {
    (void)head;
    (void)head_sends;
  }
  // `entry` left the queue: `answered` by a reply to it (RemoveHead), or
  // not (ClearQueue: a failure, the retry limit, a loss), head first.
  virtual void Removed(const QueueEntry& entry, bool answered) {
    (void)entry;
    (void)answered;
  }

 protected:
  ~QueueListener() = default;
};

class CommandQueue {
 public:
  explicit CommandQueue(LinkHost& host) : host_(host) {}
  CommandQueue(const CommandQueue&) = delete;
  CommandQueue& operator=(const CommandQueue&) = delete;

  // Appends a copy of the command. A command of no bytes, or of more than a
  // frame carries (kMaxPayload), is refused whole: false, nothing queued.
  // Cutting it would send the device a different command.
  bool EnqueueCommand(const uint8_t* bytes, size_t length,
                      CommandTag tag = CommandTag::kPlain);
  bool EnqueueCommand(std::initializer_list<uint8_t> bytes);
  // Sends the head command as one frame and counts the send.
  void SendHead();
  // The head was answered: it leaves the queue.
  void RemoveHead();
  // Every entry leaves the queue unanswered, head first.
  void ClearQueue();

  bool empty() const { return entries_.empty(); }
  size_t count() const { return entries_.size(); }
  uint8_t HeadOpcode() const { return entries_.front().bytes.front(); }
  const std::vector<uint8_t>& entry(size_t i) const {
    return entries_[i].bytes;
  }
  CommandTag tag(size_t i) const { return entries_[i].tag; }
  uint64_t InsertsAfterHead() const { return inserts_after_head_; }
  // Puts a command right behind the head, to go out next (the rest of a
  // read the device answered in part); on an empty queue it becomes the
  // head.
  void InsertAfterHead(std::vector<uint8_t> bytes,
                       CommandTag tag = CommandTag::kPlain);
  // Gives a queued command new bytes of the same length and a tag: a
  // front-end that fills in part of a command at the last moment (before
  // it is sent).
  void ReplaceEntry(size_t i, std::vector<uint8_t> bytes, CommandTag tag) {
    if (i < entries_.size() && bytes.size() == entries_[i].bytes.size()) {
      entries_[i] = QueueEntry{std::move(bytes), tag};
    }
  }

  void AddListener(QueueListener* listener);
  void RemoveListener(QueueListener* listener);

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
  void TakeHead(bool answered);
  // Calls `event` on each listener, as the list stood when the event began
  // (skipping those removed since).
  template <typename Event>
  void Tell(Event event);

  LinkHost& host_;
  std::deque<QueueEntry> entries_;
  std::vector<QueueListener*> listeners_;
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
