#include "programming/chip_programmer.h"

#include <algorithm>
#include <cstdio>
#include <utility>

#include "programming/operation_table.h"
#include "programming/programming_texts.h"
#include "programming/reply_contents.h"
#include "programming/reply_view.h"

namespace taktm {
namespace {

// Upper-case hexadecimal without leading zeros.
std::string Hex(uint32_t value) {
  char text[9];
  std::snprintf(text, sizeof text, "%X", static_cast<unsigned>(value));
  return text;
}

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
      fuse_bits_(host, Aspect::kFuseRows, Aspect::kFuseDialog) {}

// ---- Command builders -----------------------------------------------------

// A command the queue refuses (longer than a frame carries) fails the whole
// sequence it belongs to: the rest of it is dropped too, so that no later
// step can report success over the missing one.
void ChipProgrammer::Enqueue(const uint8_t* bytes, size_t length) {
  if (sequence_refused_) return;
  if (!queue_.EnqueueCommand(bytes, length)) {
    sequence_refused_ = true;
    Fail(kCommandRefused);
    return;
  }
  ++queued_total_;
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
  const uint8_t command[] = {opcode,
                             static_cast<uint8_t>(address),
                             static_cast<uint8_t>(address >> 8),
                             static_cast<uint8_t>(address >> 16),
                             static_cast<uint8_t>(address >> 24),
                             count};
  Enqueue(command, sizeof command);
  read_generation_ = buffer_.generation();
}

void ChipProgrammer::QueueData(uint8_t opcode, uint32_t address,
                               uint8_t count) {
  const size_t available =
      address < buffer_.size() ? buffer_.size() - address : 0;
  const uint8_t n = static_cast<uint8_t>(std::min<size_t>(count, available));
  std::array<uint8_t, 6 + 255> command;
  command[0] = opcode;
  for (int i = 0; i < 4; ++i) {
    command[1 + i] = static_cast<uint8_t>(address >> (8 * i));
  }
  command[5] = n;
  std::copy_n(buffer_.data() + (n > 0 ? address : 0), n, command.begin() + 6);
  Enqueue(command.data(), 6u + n);
}

// ---- Reply handling -------------------------------------------------------

bool ChipProgrammer::AnswersHead(const ReplyRecord& reply, uint8_t length,
                                 const std::vector<uint8_t>& head) {
  return ReplyAnswersCommand(reply, length, head);
}

void ChipProgrammer::DispatchReply(const ReplyRecord& record, uint8_t length) {
  sequence_refused_ = false;
  queue_.ResetUnansweredSends();
  // Verify runs whose closing SVC_END has left the queue unanswered are over.
  while (!verify_ends_.empty() && verify_ends_.front() < HeadNumber()) {
    verify_ends_.pop_front();
  }
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
  // Unless a failure emptied the queue, the parser now removes the head.
  if (!queue_.empty()) ++replied_total_;
}

void ChipProgrammer::HandleSignature(const ReplyView& reply) {
  const uint8_t n = reply.Byte(1);
  std::string text = ByteList(kSignatureLabel, reply, 2, reply.Carried(2, n));
  // Without its verdict byte a signature is not confirmed.
  signature_ok_ = reply.Byte(2u + n) != 0;
  if (signature_ok_) {
    SetStatus(text + kSignatureRight, status_error_);
  } else {
    Fail(text + kSignatureWrong);
  }
}

// A file loaded while a read runs replaces the image: the chip's bytes
// still arriving are dropped rather than mixed into the file's.
void ChipProgrammer::HandleData(const ReplyView& reply) {
  if (TakeReadBack(reply)) return;
  if (buffer_.generation() != read_generation_) return;
  const size_t carried = reply.Carried(6, reply.Byte(5));
  buffer_.WriteAt(reply.Word(1), reply.At(6), carried);
  host_.FormatGrid();
  if (!queue_.empty()) AskForTheRest(queue_.entry(0), carried);
}

// A read answered with fewer bytes than it asked for: the rest goes out
// next, before anything queued behind it (the run's SVC_END included).
void ChipProgrammer::AskForTheRest(const std::vector<uint8_t>& head,
                                   size_t carried) {
  if (head.size() != 6 || carried == 0 || carried >= head[5]) return;
  uint32_t address = 0;
  for (int i = 0; i < 4; ++i) address |= uint32_t{head[1 + i]} << (8 * i);
  address += static_cast<uint32_t>(carried);
  std::vector<uint8_t> rest = {head[0]};
  for (int i = 0; i < 4; ++i)
    rest.push_back(static_cast<uint8_t>(address >> (8 * i)));
  rest.push_back(static_cast<uint8_t>(head[5] - carried));
  // Commands are numbered in queue order: those behind move down by one.
  const uint64_t head_number = HeadNumber();
  queue_.InsertAfterHead(std::move(rest));  // `head` is not used after this
  ++queued_total_;
  for (uint64_t& end : verify_ends_) {
    if (end > head_number) ++end;
  }
  if (read_back_ && read_back_->number > head_number) ++read_back_->number;
}

void ChipProgrammer::HandleVerify(const ReplyView& reply) {
  if (reply.Byte(6) != 0) return;
  // The answered verify (the head) names the chunk to read back.
  const std::vector<uint8_t> verify =
      queue_.empty() ? std::vector<uint8_t>() : queue_.entry(0);
  Fail(kVerifyErrorBefore + Hex(reply.Word(1)) + kVerifyErrorAfter);
  ReadBack(verify);
}

void ChipProgrammer::HandleCalibration(const ReplyView& reply) {
  SetStatus(
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
  if (!verify_ends_.empty() && verify_ends_.front() == HeadNumber()) {
    verify_ends_.pop_front();
    SetStatus(kAllRight, status_error_);
  }
}

// A failed signature or verify: shown on the error colour; everything still
// queued is dropped.
void ChipProgrammer::Fail(std::string text) {
  SetStatus(std::move(text), true);
  queue_.ClearQueue();
  verify_ends_.clear();
}

int64_t ChipProgrammer::RemovedWithoutReply() const {
  return static_cast<int64_t>(queued_total_ - queue_.count() - replied_total_);
}

// ---- Discovery and chip selection ----------------------------------------

void ChipProgrammer::FormShow() {
  sequence_refused_ = false;
  QueueCommand(SVC_END);
  QueueCommand(SVC_GET_NAME);
}

void ChipProgrammer::ListBox1Click(int selected_row) {
  sequence_refused_ = false;
  QueueIndexed(SVC_SELECT_CHIP, static_cast<uint8_t>(selected_row));
  QueueCommand(SVC_GET_OPERATIONS);
  signature_ok_ = false;
  QueueCommand(SVC_GET_LOCK_COUNT);
  QueueCommand(SVC_GET_FUSE_COUNT);
  QueueCommand(SVC_GET_FLASH_SIZE);
  QueueCommand(SVC_GET_EEPROM_SIZE);
  QueueCommand(SVC_GET_SIZE_F1);
}

void ChipProgrammer::Timer2Timer() {
  sequence_refused_ = false;
  caption_ = kNotConnectedCaption;
  host_.Changed(Aspect::kCaption);
  queue_.ClearQueue();
  verify_ends_.clear();
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

void ChipProgrammer::ReportForeignAnswer() {
  // The read-back after a failed verify went unanswered: the failure stays.
  if (ReadBackDropped()) return;
  SetStatus(kForeignAnswer, true);
}

}  // namespace taktm
