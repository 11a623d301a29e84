// A serial number written as text by a template with one integer
// conversion ("SN-%06d"): the template read and checked, and a number put
// through it. Only printable ASCII, so that the chip holds one byte a
// character whatever the machine's locale.
#ifndef TAKT_CLI_SERIAL_TEXT_H_
#define TAKT_CLI_SERIAL_TEXT_H_

#include <cstdint>
#include <optional>
#include <string>

namespace taktm {

struct SerialTemplate {
  std::string prefix;     // the text before the conversion, "%%" made "%"
  std::string suffix;     // and after it
  int min_digits = 0;     // the conversion's field width (%06d: 6)
  bool zero_pad = false;  // '0' fills the field, else spaces
  int base = 10;          // 16 for %x and %X
  bool upper = false;     // %X: A-F
};

// Reads "TEXT%[0][W]CONV TEXT" with CONV one of d, i, u, x, X and W at most
// two digits. Nothing, with `error` set, for no conversion or more than one,
// any other conversion, flag, precision or length, or a character that is
// not printable ASCII.
std::optional<SerialTemplate> ParseSerialTemplate(const std::string& text,
                                                  std::string* error);

// The number put through the template.
std::string FormatSerialText(const SerialTemplate& form, uint64_t value);

// The text of `text_template` for the number; empty when the template is
// not sound.
std::string SerialTemplateText(const std::string& text_template,
                               uint64_t value);

// The largest number whose text takes at most `width` bytes; nothing when
// not even 0 fits.
std::optional<uint64_t> MaxTextValue(const SerialTemplate& form, int width);

}  // namespace taktm

#endif  // TAKT_CLI_SERIAL_TEXT_H_
