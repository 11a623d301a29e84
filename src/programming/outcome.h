// Outcome: what the last thing the programmer did came to, as a kind the
// front-ends act on and the text the window shows for it. The core sets it
// wherever it sets the status line or raises a box, and announces each new
// one as a change (Aspect::kOutcome); the command line takes its verdict
// from it, never from the shown text.
#ifndef TAKT_PROGRAMMING_OUTCOME_H_
#define TAKT_PROGRAMMING_OUTCOME_H_

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace taktm {

enum class OutcomeKind {
  kNone,            // nothing has finished yet
  kAllRight,        // a verify run ended with every chunk right
  kSignatureRight,  // the signature read matches the chip chosen
  kSignatureWrong,  // it does not
  kVerifyMismatch,  // a chunk did not verify; `address` says which
  kCancelled,       // a write or verify had no image to send
  kImageTooLarge,   // the image is larger than the memory; cut to fit
  kMemoryTooLarge,  // the memory needs more reads than the queue holds
  kCommandRefused,  // a command longer than a frame; the queue cleared
  kRetryLimit,      // a command went out eight times unanswered
  kForeignAnswer,   // ... and the device answered another command
  kDeviceLost,      // the link watchdog fired
  kCalibration,     // the calibration bytes read; `text` lists them
};

// One differing byte of a chunk read back after a failed verify.
struct ByteMismatch {
  uint32_t address = 0;
  uint8_t expected = 0;  // the image's byte
  uint8_t actual = 0;    // the chip's
};

// What a failed verify's chunk held, read back from the chip.
struct MismatchDetails {
  uint32_t chunk_address = 0;
  uint32_t chunk_length = 0;
  // Bytes of the chunk the chip gave back and compared; fewer than
  // chunk_length when the device stopped sending data early.
  uint32_t read_back = 0;
  uint32_t differing_bytes = 0;
  uint32_t bits_cleared = 0;        // 1 in the image, 0 on the chip
  uint32_t bits_set = 0;            // 0 in the image, 1 on the chip
  std::vector<ByteMismatch> first;  // the first few differences
};

struct Outcome {
  OutcomeKind kind = OutcomeKind::kNone;
  std::string text;  // what the window shows for it (status line or box)
  std::optional<uint32_t> address;          // kVerifyMismatch
  std::optional<MismatchDetails> mismatch;  // once the chunk was read back
};

}  // namespace taktm

#endif  // TAKT_PROGRAMMING_OUTCOME_H_
