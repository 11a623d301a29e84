// The details of a failed verify: the chunk the device called wrong is read
// back from the chip (without touching the image in the buffer) and compared
// with the bytes the verify sent, byte by byte and bit by bit.
#ifndef TAKT_PROGRAMMING_MISMATCH_DETAILS_H_
#define TAKT_PROGRAMMING_MISMATCH_DETAILS_H_

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "programming/outcome.h"

namespace taktm {

// How many differing bytes are listed one by one.
inline constexpr size_t kMismatchesListed = 8;

// Programming a flash or EEPROM cell can only clear bits; only the erase
// sets them. A chip written over old contents keeps the old zeros, so it
// shows bits that are 1 in the image and 0 on the chip, and never the other
// way round.
inline constexpr char kUnerasedHint[] =
    "Только сброшенные биты: микросхема, вероятно, не стерта.";

// Compares `n` bytes of the image with the chip's, the first at `address`.
// chunk_length and read_back are left to the caller.
MismatchDetails CompareBytes(uint32_t address, const uint8_t* image,
                             const uint8_t* chip, size_t n);

// Whether the differences are only bits the chip lost (1 in the image, 0 on
// the chip): the mark of a chip written without an erase.
bool OnlyClearedBits(const MismatchDetails& details);

// The details in words, for the window's box and the command line: the
// chunk, the counts, one line per listed byte, the hint when it applies.
std::vector<std::string> MismatchLines(const MismatchDetails& details);

// The read-back of one failed verify's chunk: the read command to send, the
// chip's bytes as its replies (possibly several, when the device sends
// fewer bytes than asked) bring them, and the comparison at the end.
class ChunkReadBack {
 public:
  // From the verify command the device answered as wrong (opcode, 4-byte
  // address, count, the image's bytes); nothing when it is not one.
  static std::optional<ChunkReadBack> ForVerify(
      const std::vector<uint8_t>& verify_command);

  // The read of the same memory, address and length.
  std::vector<uint8_t> ReadCommand() const;
  uint8_t read_opcode() const { return read_opcode_; }
  // Takes the bytes of a reply that begins at `address`; bytes outside the
  // chunk or out of order are not taken.
  void Take(uint32_t address, const uint8_t* bytes, size_t n);
  bool complete() const { return chip_.size() == image_.size(); }
  // The comparison of what has been read back so far.
  MismatchDetails Details() const;

 private:
  uint8_t read_opcode_ = 0;
  uint32_t address_ = 0;
  std::vector<uint8_t> image_;
  std::vector<uint8_t> chip_;
};

}  // namespace taktm

#endif  // TAKT_PROGRAMMING_MISMATCH_DETAILS_H_
