#include "programming/chip_programmer.h"

#include <algorithm>
#include <utility>

#include "link/memory_command.h"
#include "programming/operation_table.h"
#include "programming/programming_texts.h"
#include "programming/reply_contents.h"
#include "programming/reply_view.h"

namespace taktm {
namespace {

// The label followed by each of the n carried bytes after a blank.
std::string ByteList(const char* label, const ReplyView& reply, size_t from,
                     size_t n) {
  std::string text = label;
  for (size_t i = 0; i < n; ++i) {
    text += ' ';
    text += Hex(reply.Byte(from + i));
  }
  return text;
}

}  // namespace

ChipProgrammer::ChipProgrammer(CommandQueue& queue, DataBuffer& buffer,
                               ProgrammingHost& host)
    : queue_(queue),
      buffer_(buffer),
      host_(host),
      caption_(kNotConnectedCaption),
      lock_bits_(host, Aspect::kLockRows, Aspect::kLockDialog),
      fuse_bits_(host, Aspect::kFuseRows, Aspect::kFuseDialog) {
  queue_.AddListener(&unanswered_);
}

ChipProgrammer::~ChipProgrammer() { queue_.RemoveListener(&unanswered_); }

// ---- Command builders -----------------------------------------------------

// A command the queue refuses (longer than a frame carries) fails the whole
// sequence it belongs to: the rest of it is dropped too, so that no later
// step can report success over the missing one.
void ChipProgrammer::Enqueue(const uint8_t* bytes, size_t length) {
  if (sequence_refused_) return;
  if (!queue_.EnqueueCommand(bytes, length)) {
    sequence_refused_ = true;
    Fail(OutcomeKind::kCommandRefused, kCommandRefused);
  }
}

void ChipProgrammer::QueueCommand(uint8_t opcode) { Enqueue(&opcode, 1); }

void ChipProgrammer::QueueIndexed(uint8_t opcode, uint8_t index) {
  const uint8_t command[] = {opcode, index};
  Enqueue(command, sizeof command);
}

void ChipProgrammer::QueueBitState(uint8_t opcode, uint8_t index, bool ticked) {
  const uint8_t command[] = {opcode, index, static_cast<uint8_t>(ticked)};
  Enqueue(command, sizeof command);
}

void ChipProgrammer::QueueRead(uint8_t opcode, uint32_t address,
                               uint8_t count) {
  uint8_t command[kMemoryDataAt];
  PutMemoryHeader(command, opcode, address, count);
  Enqueue(command, sizeof command);
  read_generation_ = buffer_.generation();
}

void ChipProgrammer::QueueData(uint8_t opcode, uint32_t address,
                               uint8_t count) {
  const size_t available =
      address < buffer_.size() ? buffer_.size() - address : 0;
  const uint8_t n = static_cast<uint8_t>(std::min<size_t>(count, available));
  std::array<uint8_t, kMemoryDataAt + 255> command;
  PutMemoryHeader(command.data(), opcode, address, n);
  std::copy_n(buffer_.data() + (n > 0 ? address : 0), n,
              command.begin() + kMemoryDataAt);
  Enqueue(command.data(), kMemoryDataAt + n);
}

// ---- Reply handling -------------------------------------------------------

bool ChipProgrammer::AnswersHead(const ReplyRecord& reply, uint8_t length,
                                 const std::vector<uint8_t>& head) {
  return ReplyAnswersCommand(reply, length, head);
}

void ChipProgrammer::DispatchReply(const ReplyRecord& record, uint8_t length) {
  sequence_refused_ = false;
  queue_.ResetUnansweredSends();
  ReadBackDropped();
  const ReplyView reply(record, length);
  switch (reply.opcode()) {
    case OP_READ_SIGNATURE:
      HandleSignature(reply);
      break;
    case OP_READ_FUSES:
      HandleBitStates(reply, fuse_bits_);
      break;
    case OP_READ_LOCKS:
      HandleBitStates(reply, lock_bits_);
      break;
    case OP_READ_FLASH:
    case OP_READ_EEPROM:
      HandleData(reply);
      break;
    case OP_VERIFY_FLASH:
    case OP_VERIFY_EEPROM:
      HandleVerify(reply);
      break;
    case OP_READ_CALIBRATION:
      HandleCalibration(reply);
      break;
    case SVC_GET_SIZE_F1:
      size_f1_ = reply.Word(1);
      break;
    case SVC_GET_EEPROM_SIZE:
      eeprom_size_ = reply.Word(1);
      break;
    case SVC_GET_FLASH_SIZE:
      flash_size_ = reply.Word(1);
      break;
    case SVC_GET_LOCK_NAME:
      lock_bits_.SetRowCaption(reply.Byte(1), reply.Text(2));
      break;
    case SVC_GET_LOCK_COUNT:
      HandleBitCount(reply, lock_bits_, SVC_GET_LOCK_NAME);
      break;
    case SVC_GET_FUSE_NAME:
      fuse_bits_.SetRowCaption(reply.Byte(1), reply.Text(2));
      break;
    case SVC_GET_FUSE_COUNT:
      HandleBitCount(reply, fuse_bits_, SVC_GET_FUSE_NAME);
      break;
    case SVC_GET_OPERATIONS:
      HandleOperationMask(reply);
      break;
    case SVC_GET_CHIP_NAME:
      chip_rows_.push_back(reply.Text(1));
      host_.Changed(Aspect::kChipList);
      break;
    case SVC_GET_CHIP_COUNT:
      HandleChipCount(reply);
      break;
    case SVC_GET_INFO_LINE:
      if (reply.Byte(1) < info_line_count_) {
        host_.SetLineText(reply.Byte(1), reply.Text(2));
      }
      break;
    case SVC_GET_INFO_COUNT: {
      const uint8_t n = reply.Byte(1);
      info_line_count_ = n;
      host_.RebuildLines(n);
      for (int i = 0; i < n; ++i) {
        QueueIndexed(SVC_GET_INFO_LINE, static_cast<uint8_t>(i));
      }
      break;
    }
    case SVC_GET_NAME:
      caption_ = reply.Text(1);
      device_found_ = true;
      host_.Changed(Aspect::kCaption);
      QueueCommand(SVC_GET_INFO_COUNT);
      QueueCommand(SVC_GET_CHIP_COUNT);
      break;
    case SVC_END:
      HandleEnd();
      break;
    default:  // writes, erases, chip selection: not judged
      break;
  }
}

void ChipProgrammer::HandleSignature(const ReplyView& reply) {
  const uint8_t n = reply.Byte(1);
  std::string text = ByteList(kSignatureLabel, reply, 2, reply.Carried(2, n));
  // Without its verdict byte a signature is not confirmed.
  signature_ok_ = reply.Byte(2u + n) != 0;
  if (signature_ok_) {
    ShowOutcome(OutcomeKind::kSignatureRight, text + kSignatureRight,
                status_error_);
  } else {
    Fail(OutcomeKind::kSignatureWrong, text + kSignatureWrong);
  }
}

// A file loaded while a read runs replaces the image: the chip's bytes
// still arriving are dropped rather than mixed into the file's.
void ChipProgrammer::HandleData(const ReplyView& reply) {
  if (TakeReadBack(reply)) return;
  if (buffer_.generation() != read_generation_) return;
  const size_t carried =
      reply.Carried(kMemoryDataAt, reply.Byte(kMemoryCountAt));
  buffer_.WriteAt(reply.Word(kMemoryAddressAt), reply.At(kMemoryDataAt),
                  carried);
  host_.FormatGrid();
  if (!queue_.empty()) AskForTheRest(queue_.entry(0), carried);
}

// A read answered with fewer bytes than it asked for: the rest goes out
// next, before anything queued behind it (the run's SVC_END included).
void ChipProgrammer::AskForTheRest(const std::vector<uint8_t>& head,
                                   size_t carried) {
  const std::optional<MemoryCommand> read = DecodeMemoryCommand(head);
  if (!read || read->data_size != 0 || carried == 0 || carried >= read->count)
    return;
  std::vector<uint8_t> rest = EncodeMemoryCommand(
      read->opcode, read->address + static_cast<uint32_t>(carried),
      static_cast<uint8_t>(read->count - carried));
  // `head` is not used after this.
  queue_.InsertAfterHead(std::move(rest), CommandTag::kReadRest);
}

void ChipProgrammer::HandleVerify(const ReplyView& reply) {
  if (reply.Byte(6) != 0) return;
  // The answered verify (the head) names the chunk to read back.
  const std::vector<uint8_t> verify =
      queue_.empty() ? std::vector<uint8_t>() : queue_.entry(0);
  const uint32_t address = reply.Word(kMemoryAddressAt);
  Fail(OutcomeKind::kVerifyMismatch,
       kVerifyErrorBefore + Hex(address) + kVerifyErrorAfter, address);
  ReadBack(verify);
}

void ChipProgrammer::HandleCalibration(const ReplyView& reply) {
  ShowOutcome(
      OutcomeKind::kCalibration,
      ByteList(kCalibrationLabel, reply, 2, reply.Carried(2, reply.Byte(1))),
      status_error_);
}

void ChipProgrammer::HandleBitStates(const ReplyView& reply, BitRows& rows) {
  const size_t n = reply.Carried(2, reply.Byte(1));
  for (size_t i = 0; i < n && static_cast<int>(i) < rows.count(); ++i) {
    rows.SetRowTicked(static_cast<int>(i), reply.Byte(2 + i) != 0);
  }
}

void ChipProgrammer::HandleBitCount(const ReplyView& reply, BitRows& rows,
                                    uint8_t name_opcode) {
  rows.RebuildRows(reply.Byte(1));
  for (int i = 0; i < rows.count(); ++i) {
    QueueIndexed(name_opcode, static_cast<uint8_t>(i));
  }
}

void ChipProgrammer::HandleOperationMask(const ReplyView& reply) {
  const uint32_t mask = reply.Word(1);
  operation_rows_.clear();
  for (uint32_t code = 0; code < kOperationSlots; ++code) {
    if ((mask >> code & 1u) == 0) continue;
    operation_codes_[operation_rows_.size()] = static_cast<uint8_t>(code);
    operation_rows_.push_back(OperationName(static_cast<int>(code)));
  }
  host_.Changed(Aspect::kOperationList);
}

void ChipProgrammer::HandleChipCount(const ReplyView& reply) {
  const uint8_t n = reply.Byte(1);
  if (n == 0) return;
  chip_rows_.clear();
  host_.Changed(Aspect::kChipList);
  for (int i = 0; i < n; ++i) {
    QueueIndexed(SVC_GET_CHIP_NAME, static_cast<uint8_t>(i));
  }
}

void ChipProgrammer::HandleEnd() {
  // Success is claimed only once the run's last verify reply has come back
  // good: a bad one empties the queue, so this SVC_END is never answered.
  if (!queue_.empty() && queue_.tag(0) == CommandTag::kVerifyEnd) {
    ShowOutcome(OutcomeKind::kAllRight, kAllRight, status_error_);
  }
}

// A failed signature or verify: shown on the error colour; everything still
// queued is dropped.
void ChipProgrammer::Fail(OutcomeKind kind, std::string text,
                          std::optional<uint32_t> address) {
  ShowOutcome(kind, std::move(text), true, address);
  queue_.ClearQueue();
}

// ---- Discovery and chip selection ----------------------------------------

void ChipProgrammer::StartDiscovery() {
  sequence_refused_ = false;
  ResetOutcome();
  QueueCommand(SVC_END);
  QueueCommand(SVC_GET_NAME);
}

void ChipProgrammer::SelectChip(int chip) {
  sequence_refused_ = false;
  ResetOutcome();
  QueueIndexed(SVC_SELECT_CHIP, static_cast<uint8_t>(chip));
  QueueCommand(SVC_GET_OPERATIONS);
  signature_ok_ = false;
  QueueCommand(SVC_GET_LOCK_COUNT);
  QueueCommand(SVC_GET_FUSE_COUNT);
  QueueCommand(SVC_GET_FLASH_SIZE);
  QueueCommand(SVC_GET_EEPROM_SIZE);
  QueueCommand(SVC_GET_SIZE_F1);
}

void ChipProgrammer::DeviceLost() {
  sequence_refused_ = false;
  caption_ = kNotConnectedCaption;
  device_found_ = false;
  host_.Changed(Aspect::kCaption);
  SetOutcome(OutcomeKind::kDeviceLost, kNotConnectedCaption);
  queue_.ClearQueue();
  read_back_.reset();
  lock_bits_.ClearRows();
  ClearLists();
  QueueCommand(SVC_GET_NAME);
}

void ChipProgrammer::ClearLists() {
  chip_rows_.clear();
  host_.Changed(Aspect::kChipList);
  operation_rows_.clear();
  host_.Changed(Aspect::kOperationList);
}

bool ChipProgrammer::QueuesVerify(int code) {
  const OperationRow* row = FindOperation(code);
  if (row == nullptr || row->verify_code < 0) return false;
  if (row->verify_option && !host_.Check(*row->verify_option)) return false;
  return IsOperationAllowed(row->verify_code);
}

int ChipProgrammer::CodeOfRow(int row) const {
  if (row < 0 || row >= static_cast<int>(operation_rows_.size())) return -1;
  return operation_codes_[static_cast<size_t>(row)];
}

bool ChipProgrammer::IsOperationAllowed(int code) const {
  for (size_t k = 0; k < operation_rows_.size(); ++k) {
    if (operation_codes_[k] == code) return true;
  }
  return false;
}

// ---- Status line ----------------------------------------------------------

void ChipProgrammer::SetStatus(std::string text, bool error) {
  if (text != status_text_) last_mismatch_.reset();  // details of another
  status_text_ = std::move(text);
  status_error_ = error;
  host_.Changed(Aspect::kStatus);
}

void ChipProgrammer::SetStatusText(std::string text) {
  SetStatus(std::move(text), status_error_);
}

void ChipProgrammer::ResetStatusColour() { SetStatus(status_text_, false); }

// ---- Outcome -------------------------------------------------------------

void ChipProgrammer::ShowOutcome(OutcomeKind kind, std::string text, bool error,
                                 std::optional<uint32_t> address) {
  SetStatus(text, error);
  SetOutcome(kind, std::move(text), address);
}

void ChipProgrammer::SetOutcome(OutcomeKind kind, std::string text,
                                std::optional<uint32_t> address) {
  outcome_ = Outcome();
  outcome_.kind = kind;
  outcome_.text = std::move(text);
  outcome_.address = address;
  host_.Changed(Aspect::kOutcome);
}

void ChipProgrammer::ResetOutcome() {
  if (outcome_.kind != OutcomeKind::kNone) SetOutcome(OutcomeKind::kNone, "");
}

void ChipProgrammer::ReportRetryLimit(bool foreign_answer) {
  // The read-back after a failed verify went unanswered: the failure stays.
  if (ReadBackDropped()) return;
  if (foreign_answer) {
    ShowOutcome(OutcomeKind::kForeignAnswer, kForeignAnswer, true);
  } else {
    SetOutcome(OutcomeKind::kRetryLimit, kRetryLimitWarning);
  }
}

}  // namespace taktm
