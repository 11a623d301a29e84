// blank-check and checksum, and the --range of reads and verifies: the
// argument that names a memory or a file, the operation that reads it, the
// range's text, and the part of an image a range takes.
#ifndef TAKT_CLI_MEMORY_COMMANDS_H_
#define TAKT_CLI_MEMORY_COMMANDS_H_

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "cli/cli_args.h"

namespace taktm {

// blank-check takes flash|eeprom; checksum takes flash|eeprom or a FILE
// (whose image is summed without any device). Sets `options`; the usage
// error, empty when the word fits.
std::string TakeMemoryArgument(const std::string& word, CliOptions& options);

// The operation a command carries out on the device: its own, or the read
// of the memory that blank-check and checksum look at.
int OperationOf(const CliOptions& options);

// Whether the command talks to a device at all (checksum FILE does not).
bool NeedsDevice(const CliOptions& options);

// One number: decimal digits, or 0x and hexadecimal ones, within 64 bits.
std::optional<uint64_t> ParseNumber(std::string_view text);

// "START:LEN", each decimal or 0x hexadecimal, LEN at least 1, the end
// inside 32 bits. Nothing, with `error` set, when the text is wrong.
std::optional<AddressRange> ParseRange(const std::string& text,
                                       std::string* error);

// The refusal of a range that ends beyond `size` bytes, empty when it fits.
std::string RangeBeyond(const AddressRange& range, uint64_t size,
                        const std::string& what);

// "0x100..0x1FF (256 байт)".
std::string RangeText(const AddressRange& range);

// The memory's name in a message: "память программ" or "EEPROM".
const char* MemoryName(bool flash);

// The refusal of an image of `image` bytes larger than the `memory` bytes
// it is meant for, before a write or a verify.
std::string ImageTooLargeText(size_t image, uint32_t memory, bool flash,
                              bool write);

}  // namespace taktm

#endif  // TAKT_CLI_MEMORY_COMMANDS_H_
