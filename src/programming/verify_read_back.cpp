// After a failed verify the chunk the device called wrong is read back, so
// that the user learns which bytes and bits differ. The read goes out before
// anything queued later; its bytes go into the comparison, never into the
// buffer, and the status line keeps the failure's text.
#include "link/memory_command.h"
#include "programming/chip_programmer.h"
#include "programming/reply_view.h"

namespace taktm {

void ChipProgrammer::ReadBack(const std::vector<uint8_t>& verify_command) {
  last_mismatch_.reset();
  read_back_.reset();
  std::optional<ChunkReadBack> chunk = ChunkReadBack::ForVerify(verify_command);
  // A chip that does not allow the read is not asked for it.
  if (!chunk || !IsOperationAllowed(chunk->read_opcode())) return;
  // The parser removes the head once this reply is handled: the answered
  // verify stands there again for it, with the read right behind.
  Enqueue(verify_command.data(), verify_command.size());
  const std::vector<uint8_t> read = chunk->ReadCommand();
  Enqueue(read.data(), read.size());
  if (queue_.count() != 2) return;  // refused: nothing to wait for
  queue_.SetTag(1, CommandTag::kReadBack);
  read_back_ = PendingReadBack{std::move(*chunk), status_text_};
}

bool ChipProgrammer::TakeReadBack(const ReplyView& reply) {
  if (!read_back_ || queue_.empty() || queue_.tag(0) != CommandTag::kReadBack) {
    return false;
  }
  const size_t carried =
      reply.Carried(kMemoryDataAt, reply.Byte(kMemoryCountAt));
  read_back_->chunk.Take(reply.Word(kMemoryAddressAt), reply.At(kMemoryDataAt),
                         carried);
  if (!read_back_->chunk.complete() && carried > 0) {
    // A short reply: the rest is asked for next, as for any read.
    const size_t before = queue_.count();
    AskForTheRest(queue_.entry(0), carried);
    if (queue_.count() > before) {
      queue_.SetTag(1, CommandTag::kReadBack);
      return true;
    }
  }
  // Complete, or the device sends no more: what arrived is compared. The
  // details belong to the failure shown; a line changed meanwhile drops them.
  if (status_text_ == read_back_->status) {
    last_mismatch_ = read_back_->chunk.Details();
    host_.Changed(Aspect::kStatus);
    if (outcome_.kind == OutcomeKind::kVerifyMismatch) {
      outcome_.mismatch = last_mismatch_;
      host_.Changed(Aspect::kOutcome);
    }
  }
  read_back_.reset();
  return true;
}

// Only while a read-back is pending, when the queue is short: a failure
// emptied it before.
bool ChipProgrammer::ReadBackDropped() {
  if (!read_back_) return false;
  for (size_t i = 0; i < queue_.count(); ++i) {
    if (queue_.tag(i) == CommandTag::kReadBack) return false;
  }
  read_back_.reset();
  return true;
}

}  // namespace taktm
