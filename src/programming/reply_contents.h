// Whether a reply's contents answer a command, by the command table: the
// opcode, the arguments the reply echoes (address and count of verifies,
// the address of reads, whose count may be smaller than asked but not 0,
// the bit index of lock and fuse names, the line index of about lines) and
// every byte its row lists (a count's bytes, a text's characters, a
// verdict). A reply cut short answers nothing; longer replies
// are taken and their extra bytes ignored.
#ifndef TAKT_PROGRAMMING_REPLY_CONTENTS_H_
#define TAKT_PROGRAMMING_REPLY_CONTENTS_H_

#include <cstddef>
#include <cstdint>
#include <vector>

#include "link/reply_matcher.h"

namespace taktm {

// The bytes a reply must carry by its row, reading its own count or text
// length where the row has one; 0 when even those are missing.
size_t RowLength(const ReplyRecord& reply, uint8_t length);

bool ReplyAnswersCommand(const ReplyRecord& reply, uint8_t length,
                         const std::vector<uint8_t>& command);

}  // namespace taktm

#endif  // TAKT_PROGRAMMING_REPLY_CONTENTS_H_
