// The command line of takt-m-cli: commands, port settings, the write options
// of the settings dialog as flags, output modes. Pure: words in, options or a
// usage error out.
#ifndef TAKT_CLI_CLI_ARGS_H_
#define TAKT_CLI_CLI_ARGS_H_

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "buffer/image_format.h"
#include "config/options.h"
#include "programming/opcodes.h"

namespace taktm {

// A command that carries out an operation is the operation's code: every
// word of the operation table is a command (a word added there needs no
// name here); the names below are those the runner treats apart. The
// command line's own commands come after every operation code.
enum class CliCommand : int {
  kSignature = OP_READ_SIGNATURE,
  kReadFuses = OP_READ_FUSES,
  kWriteFuses = OP_WRITE_FUSES,
  kReadLocks = OP_READ_LOCKS,
  kWriteLocks = OP_WRITE_LOCKS,
  kErase = OP_ERASE_ALL,
  kReadFlash = OP_READ_FLASH,
  kWriteFlash = OP_WRITE_FLASH,
  kVerifyFlash = OP_VERIFY_FLASH,
  kEraseEeprom = OP_ERASE_EEPROM,
  kReadEeprom = OP_READ_EEPROM,
  kWriteEeprom = OP_WRITE_EEPROM,
  kVerifyEeprom = OP_VERIFY_EEPROM,
  kCalibration = OP_READ_CALIBRATION,
  kHelp = 0x100,
  kVersion,
  kPorts,
  kInfo,
  kChips,
  kOps,
  kBlankCheck,
  kChecksum,
  kProgram,
};

// The memory blank-check and checksum look at; kNone for checksum FILE.
enum class MemoryTarget { kNone, kFlash, kEeprom };

// --range: `length` bytes from `start`.
struct AddressRange {
  uint32_t start = 0;
  uint32_t length = 0;
};

// What a command needs and which operation of the device list carries it out
// (command_table.h).
struct CommandEntry {
  CliCommand command;
  const char* name;
  int operation;    // operation code, -1 for none
  bool needs_chip;  // the chip must be selected first
  bool takes_file;  // FILE argument
  bool takes_bits;  // BITS argument
  bool file_is_input;
  const char* argument;  // the usage text's name of its argument, or nullptr
  const char* usage;     // the usage text's lines; nullptr: not listed
  bool several_ports;    // runs on several ports at once
  bool takes_range;      // --range applies
};

const std::vector<CommandEntry>& CommandTable();
const CommandEntry& EntryOf(CliCommand command);
// The command word carrying out operation `code`, or nullptr.
const char* CommandForOperation(int code);

inline constexpr uint32_t kDefaultTimeoutSeconds = 600;
// How long --port auto waits for programmers to answer: long enough for a
// device idling at the slowest pace it may (4.9 s between acknowledgements)
// to be asked and to answer.
inline constexpr int kDefaultProbeMs = 5500;

// How a serial number is written into the image: `width` bytes at
// `address`, little-endian binary, ASCII decimal digits (zero-padded to
// `width`), or the text of a template (padded with 0x00 bytes); the next
// number comes from the counter in `file`, or from the list in it.
enum class SerialFormat { kBinary, kDecimal, kText };

struct SerialOption {
  uint32_t address = 0;
  std::string file;
  int width = 4;
  SerialFormat format = SerialFormat::kBinary;
  bool big_endian = false;  // binary, most significant byte first (":be")
  uint64_t step = 1;        // the counter moves on by this (":step=N")
  bool list = false;        // `file` lists the numbers ("list=FILE")
  std::string text;         // the template of kText ("text=SN-%06d")
  // The memory named before ADDR ("eeprom:", "flash:"); none: the
  // command's own (program: flash).
  MemoryTarget memory = MemoryTarget::kNone;
};

inline constexpr int kMaxBinarySerialWidth = 8;    // a 64-bit counter
inline constexpr int kMaxDecimalSerialWidth = 20;  // its decimal digits
inline constexpr int kMaxTextSerialWidth = 64;     // a text's bytes

// "ADDR:[list=]FILE[:WIDTH][:FORMAT][:be|le][:step=N]": ADDR decimal or 0x
// hexadecimal, FORMAT "bin", "dec" or "text=TEMPLATE" (WIDTH then needed).
// FILE may itself hold colons (C:\...); the optional fields are taken from
// the right, in any order. Nothing, with `error` set, when the text is
// wrong.
std::optional<SerialOption> ParseSerialOption(const std::string& text,
                                              std::string* error);

struct CliOptions {
  CliCommand command = CliCommand::kHelp;
  std::string file;  // read-*, write-*, verify-*
  std::string bits;  // write-fuses, write-locks
  // Every --port, in order (a comma list counts as several); `port` is the
  // first of them, the one the stored settings give way to.
  std::vector<std::string> ports;
  std::optional<std::string> port;
  std::optional<int32_t> baud;
  // Index of the settings dialog's "Девятый бит" list giving the parity asked
  // for, so that it goes through the same mapping as a stored value.
  std::optional<int32_t> parity_index;
  std::optional<std::string> chip;
  // The settings dialog's options the flags set; the rest come from the
  // store.
  OptionOverrides option_flags;
  bool quiet = false;
  bool json = false;
  uint32_t timeout_seconds = kDefaultTimeoutSeconds;
  std::optional<SerialOption> serial;  // --serial
  std::string log;                     // --log: the production log
  // --format: the file's format; none for `auto` (decided by content).
  std::optional<ImageFormat> format;
  uint32_t offset = 0;    // --offset: where a raw image starts
  bool defaults = false;  // --defaults: the stored settings are not read
  // A database counter's name (--serial-name) and the station a database
  // log names (--station, else the host name).
  std::optional<std::string> serial_name;
  std::optional<std::string> station;
  MemoryTarget memory = MemoryTarget::kNone;  // blank-check, checksum
  std::optional<AddressRange> range;          // --range
  std::string trace;                          // --trace: the frames of the run
  bool probe = false;                         // ports --probe
  int probe_ms = kDefaultProbeMs;  // --probe-ms: the search's deadline
  // program: what it writes (program_args.h).
  std::string flash_file;            // --flash
  std::string eeprom_file;           // --eeprom
  std::optional<std::string> fuses;  // --fuses BITS
  std::optional<std::string> locks;  // --locks BITS
};

struct ParsedArgs {
  std::optional<CliOptions> options;  // empty on a usage error
  std::string error;                  // the usage error
};

// `args` without the program name.
ParsedArgs ParseCliArgs(const std::vector<std::string>& args);

// The list index whose mapping gives the parity named `name` (none, odd,
// even, mark, space), or nothing for another word.
std::optional<int32_t> ParityIndexForName(const std::string& name);

// The row of the chip list that `entry` names: a decimal index below the row
// count, else a name (exact, then ignoring ASCII case); -1 when none does,
// kAmbiguousChip when the name fits more than one row (a device may list a
// name twice; taking the first could program the wrong chip).
inline constexpr int kAmbiguousChip = -2;
int FindChipRow(const std::string& entry, const std::vector<std::string>& rows);

// The ticks that BITS asks for, one per bit: a comma-separated list of bit
// names or indices to tick (the rest unticked), or "-" for none ticked.
// Nothing, with `error` set, for a word that names no bit.
std::optional<std::vector<bool>> ParseBitTicks(
    const std::string& entry, const std::vector<std::string>& names,
    std::string* error);

// The usage text printed by --help and after a usage error.
std::string UsageText();

}  // namespace taktm

#endif  // TAKT_CLI_CLI_ARGS_H_
