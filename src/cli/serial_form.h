// What a --serial option's form makes of a number: the bytes at the
// number's place, the largest number that fits there, and the text the log
// and --json show for it; and the checks of the form's parts that the
// option's reader leaves to it (the list, the text template).
#ifndef TAKT_CLI_SERIAL_FORM_H_
#define TAKT_CLI_SERIAL_FORM_H_

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "cli/cli_args.h"

namespace taktm {

// The widest place a format takes (in bytes, or digits for decimal), and
// the unit a message counts it in.
int SerialWidthLimit(SerialFormat format);
std::string SerialWidthUnit(SerialFormat format);

// Takes the "list=" off the file, and checks the template, the width it
// needs and the parts that do not go with a list or a text. The error text,
// empty when the form is sound.
std::string FinishSerialForm(bool width_given, SerialOption* serial);

// The file beside a list (list=FILE) that keeps the count of its numbers
// taken.
std::string TakenPathOf(const std::string& list);

// The number's bytes in the option's form: a text is padded with 0x00 up
// to the width. Nothing when it does not fit.
std::optional<std::vector<uint8_t>> SerialBytes(const SerialOption& serial,
                                                uint64_t value);

// The largest number the option's place holds.
uint64_t SerialMaxValue(const SerialOption& serial);

// The text a template makes of the number; empty for the other formats,
// whose number is shown as a number.
std::string SerialText(const SerialOption& serial, uint64_t value);

}  // namespace taktm

#endif  // TAKT_CLI_SERIAL_FORM_H_
