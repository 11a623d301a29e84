// ChipProgrammer: the device protocol above the link. It builds every
// command, handles every matched reply (DispatchReply), runs the discovery of
// the device and its chips, turns a chosen operation into its whole command
// sequence, and holds the state the windows render: caption, status line,
// chip and operation lists, and the lock and fuse bit rows. What each run
// came to is also kept as an Outcome, for front-ends that act on it rather
// than show it.
//
// The SVC_END that closes a verify run carries its tag in the queue; the
// commands the queue drops unanswered (retry limit, failures, loss) are
// counted as the queue reports them, to notice a queue emptied behind the
// programmer's back.
#ifndef TAKT_PROGRAMMING_CHIP_PROGRAMMER_H_
#define TAKT_PROGRAMMING_CHIP_PROGRAMMER_H_

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "buffer/data_buffer.h"
#include "link/command_queue.h"
#include "link/receive_parser.h"
#include "programming/bit_rows.h"
#include "programming/mismatch_details.h"
#include "programming/opcodes.h"
#include "programming/outcome.h"
#include "programming/programming_host.h"

namespace taktm {

enum class BitKind { kLock, kFuse };

class ReplyView;

class ChipProgrammer : public ReplyHandler {
 public:
  ChipProgrammer(CommandQueue& queue, DataBuffer& buffer,
                 ProgrammingHost& host);
  ~ChipProgrammer();
  ChipProgrammer(const ChipProgrammer&) = delete;
  ChipProgrammer& operator=(const ChipProgrammer&) = delete;

  // Command builders, one per command form; each appends one command.
  // Opcode alone.
  void QueueCommand(uint8_t opcode);
  // Opcode and a one-byte index (chip, bit, about line).
  void QueueIndexed(uint8_t opcode, uint8_t index);
  // OP_WRITE_FUSES: bit index and state, 1 = ticked.
  void QueueBitState(uint8_t opcode, uint8_t index, bool ticked);
  // A read: address (4 bytes, little-endian) and count.
  void QueueRead(uint8_t opcode, uint32_t address, uint8_t count);
  // A write or verify: address, count and the buffer's bytes from address
  // as they are now (the count is cut at the buffer's end).
  void QueueData(uint8_t opcode, uint32_t address, uint8_t count);

  // The reply handler; `length` is the number of bytes the reply carried,
  // at least what its row of the command table lists.
  void DispatchReply(const ReplyRecord& reply, uint8_t length) override;
  // The command table's part of the matching rule (reply_contents.h): the
  // echoed arguments and the row's bytes. Late copies are turned away by
  // the parser's ReplyMatcher before this is asked.
  bool AnswersHead(const ReplyRecord& reply, uint8_t length,
                   const std::vector<uint8_t>& head) override;

  // Reads and verifies of either memory cover only `length` bytes from
  // `start` (the command line's --range); nothing: the whole memory.
  struct ChunkRange {
    uint32_t start = 0;
    uint32_t length = 0;
  };
  void set_range(std::optional<ChunkRange> range) { range_ = range; }

  // What the front-ends ask for. Each of them but DeviceLost starts anew:
  // the outcome goes back to kNone, so that what an earlier run came to is
  // never taken for this one's.
  // Discovery: SVC_END, then SVC_GET_NAME.
  void StartDiscovery();
  // Chip `chip` of the chip list chosen; -1 when none is.
  void SelectChip(int chip);
  // Operation `code` (an opcode of the operation list) on chip `chip`:
  // re-selects the chip, then queues the operation's whole sequence. A code
  // the chip does not offer (or -1) only selects the chip again. A write or
  // verify whose image cannot be had (reload failed, empty image) queues
  // nothing at all.
  void RunOperation(int chip, int code);
  // The ticks of the lock or fuse rows written, as the dialog's "Записать"
  // does; the dialog hides.
  void WriteBits(BitKind kind);
  // The link watchdog fired: the device is lost.
  void DeviceLost();

  // The window's handlers, forwarded to the verbs above.
  void FormShow() { StartDiscovery(); }
  void ListBox1Click(int selected_row) { SelectChip(selected_row); }
  void ListBox2Click(int chip_row, int operation_row) {
    RunOperation(chip_row, CodeOfRow(operation_row));
  }
  void Timer2Timer() { DeviceLost(); }
  void Button1Click(BitKind kind) { WriteBits(kind); }

  // Chip state.
  bool IsOperationAllowed(int code) const;
  // Whether operation `code` ends with its verify step when chosen now: the
  // operation table's step, while its option is ticked and the chip allows
  // the verify.
  bool QueuesVerify(int code);
  const std::array<uint8_t, kOperationSlots>& OperationCodes() const {
    return operation_codes_;
  }
  bool SignatureOk() const { return signature_ok_; }
  uint32_t FlashSize() const { return flash_size_; }
  uint32_t EepromSize() const { return eeprom_size_; }
  uint32_t SizeF1() const { return size_f1_; }
  int LockBitCount() const { return lock_bits_.count(); }
  int FuseBitCount() const { return fuse_bits_.count(); }

  // What the windows render.
  const std::string& caption() const { return caption_; }
  // The device has said its name since it was last lost.
  bool DeviceFound() const { return device_found_; }
  const std::string& status_text() const { return status_text_; }
  bool status_error() const { return status_error_; }
  // What the chunk of the last failed verify held, once read back from the
  // chip; kept while the status line shows that failure.
  const std::optional<MismatchDetails>& last_mismatch() const {
    return last_mismatch_;
  }
  const std::vector<std::string>& chip_rows() const { return chip_rows_; }
  const std::vector<std::string>& operation_rows() const {
    return operation_rows_;
  }
  BitRows& bits(BitKind kind) {
    return kind == BitKind::kLock ? lock_bits_ : fuse_bits_;
  }
  BitRows& lock_bits() { return lock_bits_; }
  BitRows& fuse_bits() { return fuse_bits_; }

  // The status line as other parts write it (the file pick): text, and the
  // window's own colour back in place of the error colour.
  void SetStatusText(std::string text);
  void ResetStatusColour();
  // The retry limit emptied the queue (its warning box follows). When the
  // device answered another command instead (`foreign_answer`), the status
  // line says so, in the error colour.
  void ReportRetryLimit(bool foreign_answer);

  // What the last thing done came to; each new one is announced as
  // Aspect::kOutcome.
  const Outcome& outcome() const { return outcome_; }

 private:
  void Enqueue(const uint8_t* bytes, size_t length);
  void SetStatus(std::string text, bool error);
  // The status line showing `text` for outcome `kind`.
  void ShowOutcome(OutcomeKind kind, std::string text, bool error,
                   std::optional<uint32_t> address = std::nullopt);
  void SetOutcome(OutcomeKind kind, std::string text,
                  std::optional<uint32_t> address = std::nullopt);
  void ResetOutcome();
  // The operation code of list row `row`; -1 for no row.
  int CodeOfRow(int row) const;
  void ClearStatus() { SetStatus("", status_error_); }
  void ClearLists();

  // Reply handlers.
  void HandleSignature(const ReplyView& reply);
  void HandleData(const ReplyView& reply);
  void AskForTheRest(const std::vector<uint8_t>& head, size_t carried);
  void HandleVerify(const ReplyView& reply);
  void HandleCalibration(const ReplyView& reply);
  void HandleBitStates(const ReplyView& reply, BitRows& rows);
  void HandleBitCount(const ReplyView& reply, BitRows& rows,
                      uint8_t name_opcode);
  void HandleOperationMask(const ReplyView& reply);
  void HandleChipCount(const ReplyView& reply);
  void HandleEnd();
  void Fail(OutcomeKind kind, std::string text,
            std::optional<uint32_t> address = std::nullopt);
  // The read-back of a failed verify's chunk (verify_read_back.cpp): queued
  // first, its replies taken aside, and whether it left the queue unanswered.
  void ReadBack(const std::vector<uint8_t>& verify_command);
  bool TakeReadBack(const ReplyView& reply);
  bool ReadBackDropped();

  // Operation sequences.
  void ShowBitDialog(BitRows& rows, bool write_enabled, uint8_t read_opcode);
  void ReadMemory(uint8_t opcode, uint32_t size);
  void WriteFlash();
  void WriteEeprom();
  void VerifyAlone(uint8_t opcode, uint32_t size);
  bool PrepareImage(int code);
  bool WarnIfTooLarge(uint32_t size, int64_t cuts_before);
  void QueueChunks(uint8_t opcode, uint32_t limit, bool skip_all_ff);
  void MarkVerifyEnd();

  // Commands removed from the queue without a reply handled here.
  int64_t RemovedWithoutReply() const { return unanswered_.removed; }
  struct UnansweredCount final : QueueListener {
    void Removed(const QueueEntry&, bool answered) override {
      if (!answered) ++removed;
    }
    int64_t removed = 0;
  };

  CommandQueue& queue_;
  DataBuffer& buffer_;
  ProgrammingHost& host_;

  std::array<uint8_t, kOperationSlots> operation_codes_{};
  bool signature_ok_ = false;
  uint32_t flash_size_ = 0;
  std::optional<ChunkRange> range_;
  uint32_t eeprom_size_ = 0;
  uint32_t size_f1_ = 0;

  std::string caption_;
  bool device_found_ = false;
  std::string status_text_;
  bool status_error_ = false;
  Outcome outcome_;
  std::vector<std::string> chip_rows_;
  std::vector<std::string> operation_rows_;
  BitRows lock_bits_;
  BitRows fuse_bits_;
  int info_line_count_ = 0;

  bool sequence_refused_ = false;  // a command of this sequence was refused
  UnansweredCount unanswered_;
  // The image the running read fills (DataBuffer::generation).
  uint64_t read_generation_ = 0;
  // The read-back under way (its commands tagged kReadBack) and the
  // failure it explains.
  struct PendingReadBack {
    ChunkReadBack chunk;
    std::string status;
  };
  std::optional<PendingReadBack> read_back_;
  std::optional<MismatchDetails> last_mismatch_;
};

}  // namespace taktm

#endif  // TAKT_PROGRAMMING_CHIP_PROGRAMMER_H_
