// The operation list's handler: each chosen operation becomes its whole
// command sequence, queued at once; replies that report a failure later stop
// the rest by emptying the queue.
#include <algorithm>

#include "programming/chip_programmer.h"
#include "programming/programming_texts.h"

namespace taktm {
namespace {

// The queue counts its entries in 16 bits; a read run must fit beside the
// chip selection and its closing SVC_END.
constexpr uint64_t kMaxReadChunks = 0xFFFF - 2;

}  // namespace

// The operation is found by its code, not by where the list shows it.
void ChipProgrammer::RunOperation(int chip, int operation) {
  sequence_refused_ = false;
  ResetOutcome();
  ResetStatusColour();
  const bool chosen = IsOperationAllowed(operation);
  const int code = chosen ? operation : -1;
  if (!PrepareImage(code)) return;
  QueueIndexed(SVC_SELECT_CHIP, static_cast<uint8_t>(chip));
  if (!chosen) return;  // no operation chosen: the chip is only selected again
  switch (code) {
    case OP_READ_SIGNATURE:
      ClearStatus();
      QueueCommand(OP_READ_SIGNATURE);
      break;
    case OP_ERASE_ALL:
      ClearStatus();
      QueueCommand(OP_ERASE_ALL);
      break;
    case OP_ERASE_EEPROM:
      QueueCommand(OP_ERASE_EEPROM);
      break;
    case OP_READ_CALIBRATION:
      ClearStatus();
      QueueCommand(OP_READ_CALIBRATION);
      break;
    case OP_READ_FUSES:
      ShowBitDialog(fuse_bits_, false, OP_READ_FUSES);
      break;
    case OP_WRITE_FUSES:
      ShowBitDialog(fuse_bits_, true, 0);
      break;
    case OP_READ_LOCKS:
      ShowBitDialog(lock_bits_, false, OP_READ_LOCKS);
      break;
    case OP_WRITE_LOCKS:
      ShowBitDialog(lock_bits_, true, 0);
      break;
    case OP_READ_FLASH:
      ReadMemory(OP_READ_FLASH, flash_size_);
      break;
    case OP_READ_EEPROM:
      ReadMemory(OP_READ_EEPROM, eeprom_size_);
      break;
    case OP_WRITE_FLASH:
      WriteFlash();
      break;
    case OP_WRITE_EEPROM:
      WriteEeprom();
      break;
    case OP_VERIFY_FLASH:
      VerifyAlone(OP_VERIFY_FLASH, flash_size_);
      break;
    case OP_VERIFY_EEPROM:
      VerifyAlone(OP_VERIFY_EEPROM, eeprom_size_);
      break;
    default:  // named by the device but carried out by no sequence
      break;
  }
}

// Reads show the dialog with "Записать" disabled and queue the read; writes
// enable it and leave the queuing to the button.
void ChipProgrammer::ShowBitDialog(BitRows& rows, bool write_enabled,
                                   uint8_t read_opcode) {
  ClearStatus();
  rows.Show(write_enabled);
  if (!write_enabled) QueueCommand(read_opcode);
}

void ChipProgrammer::WriteBits(BitKind kind) {
  sequence_refused_ = false;
  BitRows& rows = bits(kind);
  if (!rows.write_enabled()) return;  // a disabled button is not reached
  ResetOutcome();
  for (int i = 0; i < rows.count(); ++i) {
    const uint8_t index = static_cast<uint8_t>(i);
    if (kind == BitKind::kFuse) {
      QueueBitState(OP_WRITE_FUSES, index, rows.row(i).ticked);
    } else if (rows.row(i).ticked) {
      QueueIndexed(OP_WRITE_LOCKS, index);
    }
  }
  rows.Hide();
}

void ChipProgrammer::ReadMemory(uint8_t opcode, uint32_t size) {
  ClearStatus();
  if ((uint64_t{size} + kChunkSize - 1) / kChunkSize > kMaxReadChunks) {
    ShowOutcome(OutcomeKind::kMemoryTooLarge, kMemoryTooLarge, true);
    return;
  }
  host_.ResizeBuffer(size);
  const uint64_t from = range_ ? range_->start : 0;
  const uint64_t to =
      range_ ? std::min<uint64_t>(size, from + range_->length) : size;
  for (uint64_t a = from; a < to; a += kChunkSize) {
    QueueRead(opcode, static_cast<uint32_t>(a),
              static_cast<uint8_t>(std::min<uint64_t>(kChunkSize, to - a)));
  }
  QueueCommand(SVC_END);
}

void ChipProgrammer::WriteFlash() {
  const int64_t cuts = RemovedWithoutReply();
  if (host_.Check(Option::kSignatureBeforeErase) &&
      IsOperationAllowed(OP_READ_SIGNATURE)) {
    ClearStatus();
    QueueCommand(OP_READ_SIGNATURE);
  }
  const bool erases =
      host_.Check(Option::kEraseAll) && IsOperationAllowed(OP_ERASE_ALL);
  if (erases) {
    ClearStatus();
    QueueCommand(OP_ERASE_ALL);
  }
  if (host_.Check(Option::kSignatureAfterErase) &&
      IsOperationAllowed(OP_READ_SIGNATURE)) {
    ClearStatus();
    QueueCommand(OP_READ_SIGNATURE);
  }
  ClearStatus();
  if (!WarnIfTooLarge(flash_size_, cuts)) return;
  const uint32_t limit =
      static_cast<uint32_t>(std::min<size_t>(flash_size_, buffer_.size()));
  // A chunk of 0xFF may be passed over only when this sequence has just
  // erased the chip: without the erase the chip may still hold old bytes
  // there, and a skipped write with a skipped verify would call it right.
  const bool skip_all_ff = erases && !host_.Check(Option::kRewriteFf);
  QueueChunks(OP_WRITE_FLASH, limit, skip_all_ff);
  QueueCommand(SVC_END);
  if (QueuesVerify(OP_WRITE_FLASH)) {
    QueueChunks(OP_VERIFY_FLASH, limit, skip_all_ff);
    QueueCommand(SVC_END);
    if (limit > buffer_.origin()) MarkVerifyEnd();
  }
  if (host_.Check(Option::kSetLockBits) && IsOperationAllowed(OP_WRITE_LOCKS)) {
    for (int i = 0; i < lock_bits_.count(); ++i) {
      QueueIndexed(OP_WRITE_LOCKS, static_cast<uint8_t>(i));
    }
    QueueCommand(SVC_END);
  }
}

void ChipProgrammer::WriteEeprom() {
  const int64_t cuts = RemovedWithoutReply();
  if (host_.Check(Option::kSignatureBeforeEeprom) &&
      IsOperationAllowed(OP_READ_SIGNATURE)) {
    ClearStatus();
    QueueCommand(OP_READ_SIGNATURE);
  }
  if (host_.Check(Option::kEraseEeprom) &&
      IsOperationAllowed(OP_ERASE_EEPROM)) {
    QueueCommand(OP_ERASE_EEPROM);
  }
  ClearStatus();
  if (!WarnIfTooLarge(eeprom_size_, cuts)) return;
  const uint32_t limit =
      static_cast<uint32_t>(std::min<size_t>(eeprom_size_, buffer_.size()));
  QueueChunks(OP_WRITE_EEPROM, limit, false);
  const bool verify = QueuesVerify(OP_WRITE_EEPROM);
  if (verify) {
    QueueCommand(SVC_END);
    QueueChunks(OP_VERIFY_EEPROM, limit, false);
  }
  QueueCommand(SVC_END);
  if (verify && limit > buffer_.origin()) MarkVerifyEnd();
}

// Verifying alone never skips a chunk. The line is cleared so that an
// earlier "Все верно." does not stand for this run before it has finished;
// with nothing to compare (a memory size of 0) no success is claimed at all.
void ChipProgrammer::VerifyAlone(uint8_t opcode, uint32_t size) {
  ClearStatus();
  const uint32_t limit =
      static_cast<uint32_t>(std::min<size_t>(size, buffer_.size()));
  if (range_) {  // only the image's bytes inside the range are compared
    const uint64_t from = std::max<uint64_t>(range_->start, buffer_.origin());
    const uint64_t to =
        std::min<uint64_t>(limit, uint64_t{range_->start} + range_->length);
    for (uint64_t a = from; a < to; a += kChunkSize) {
      QueueData(opcode, static_cast<uint32_t>(a),
                static_cast<uint8_t>(std::min<uint64_t>(kChunkSize, to - a)));
    }
    QueueCommand(SVC_END);
    if (from < to) MarkVerifyEnd();
    return;
  }
  QueueChunks(opcode, limit, false);
  QueueCommand(SVC_END);
  if (limit > buffer_.origin()) MarkVerifyEnd();
}

// A write or verify gets its image before the chip selection is queued:
// the reload of the working file (when its option is on) and a check that
// the image is not empty. Without an image nothing at all is queued, so a
// missing, refused or emptied file never leads to an erase, and the buffer
// and BufferModified stay as they were.
bool ChipProgrammer::PrepareImage(int code) {
  bool reload = false;
  const char* cancelled = kWriteCancelled;
  switch (code) {
    case OP_WRITE_FLASH:
      reload = host_.Check(Option::kReloadFlash);
      break;
    case OP_WRITE_EEPROM:
      reload = host_.Check(Option::kReloadEeprom);
      break;
    case OP_VERIFY_FLASH:
    case OP_VERIFY_EEPROM:
      cancelled = kVerifyCancelled;
      break;
    default:
      return true;
  }
  if (reload) {
    const ReloadResult result = host_.ReloadWorkingFile();
    if (!result.loaded) {
      ShowOutcome(OutcomeKind::kCancelled, result.why + " " + cancelled, true);
      return false;
    }
    buffer_.set_modified(false);
  }
  if (buffer_.empty()) {
    ShowOutcome(OutcomeKind::kCancelled,
                std::string(kBufferEmpty) + " " + cancelled, true);
    return false;
  }
  return true;
}

// Warns when the image is larger than the memory. While the box is open the
// link runs on; if the queue was emptied meanwhile (a wrong signature, the
// retry limit, loss of the device) the sequence stops here, so no data goes
// to a chip whose checks failed.
bool ChipProgrammer::WarnIfTooLarge(uint32_t size, int64_t cuts_before) {
  if (buffer_.size() <= size) return true;
  SetOutcome(OutcomeKind::kImageTooLarge, kImageTooLarge);
  host_.ShowWarning(kImageTooLarge);
  return RemovedWithoutReply() == cuts_before;
}

// The chunks run from the image's origin: below it the image holds only
// the filler of a file placed higher up, which must not overwrite or be
// compared with what the chip holds there (a bootloader).
void ChipProgrammer::QueueChunks(uint8_t opcode, uint32_t limit,
                                 bool skip_all_ff) {
  for (uint64_t a = buffer_.origin(); a < limit; a += kChunkSize) {
    const size_t n = std::min<uint64_t>(kChunkSize, limit - a);
    if (skip_all_ff) {
      const uint8_t* chunk = buffer_.data() + a;
      if (std::all_of(chunk, chunk + n, [](uint8_t b) { return b == 0xFF; })) {
        continue;
      }
    }
    QueueData(opcode, static_cast<uint32_t>(a), static_cast<uint8_t>(n));
  }
}

// Tags the SVC_END just queued (none when the sequence was refused).
void ChipProgrammer::MarkVerifyEnd() {
  const size_t n = queue_.count();
  if (n > 0 && queue_.entry(n - 1) == std::vector<uint8_t>{SVC_END}) {
    queue_.SetTag(n - 1, CommandTag::kVerifyEnd);
  }
}

}  // namespace taktm
