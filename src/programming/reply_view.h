// Bounded reading of a reply: only the bytes the reply carried count. Replies
// reach the handler only with every byte their row lists (reply_contents.h);
// should one not, a field beyond them reads as 0 and texts and byte lists
// stop at the reply's end, so nothing is read outside the reply.
#ifndef TAKT_PROGRAMMING_REPLY_VIEW_H_
#define TAKT_PROGRAMMING_REPLY_VIEW_H_

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>

#include "link/memory_command.h"
#include "link/receive_parser.h"
#include "programming/cp1251.h"

namespace taktm {

class ReplyView {
 public:
  ReplyView(const ReplyRecord& record, uint8_t length)
      : record_(record), length_(length) {}

  uint8_t opcode() const { return Byte(0); }
  uint8_t Byte(size_t i) const { return i < length_ ? record_[i] : 0; }
  // 4-byte little-endian integer at i.
  uint32_t Word(size_t i) const {
    const uint8_t bytes[4] = {Byte(i), Byte(i + 1), Byte(i + 2), Byte(i + 3)};
    return ReadLe32(bytes);
  }
  // How many of `wanted` bytes from i the reply really carried.
  size_t Carried(size_t i, size_t wanted) const {
    return i < length_ ? std::min(wanted, length_ - i) : 0;
  }
  const uint8_t* At(size_t i) const { return record_.data() + i; }
  // A text whose length byte is at i; decoded from Windows-1251.
  std::string Text(size_t i) const {
    return DecodeCp1251(At(i + 1), Carried(i + 1, Byte(i)));
  }

 private:
  const ReplyRecord& record_;
  const size_t length_;
};

}  // namespace taktm

#endif  // TAKT_PROGRAMMING_REPLY_VIEW_H_
