#include "cli/serial_text.h"

#include <algorithm>

namespace taktm {
namespace {

std::optional<SerialTemplate> Refuse(std::string* error, std::string why) {
  *error = std::move(why);
  return std::nullopt;
}

std::string Digits(uint64_t value, int base, bool upper) {
  const char* digits = upper ? "0123456789ABCDEF" : "0123456789abcdef";
  std::string text;
  do {
    text.insert(text.begin(), digits[value % static_cast<uint64_t>(base)]);
    value /= static_cast<uint64_t>(base);
  } while (value != 0);
  return text;
}

}  // namespace

std::optional<SerialTemplate> ParseSerialTemplate(const std::string& text,
                                                  std::string* error) {
  const std::string named = "Шаблон номера \"" + text + "\"";
  SerialTemplate form;
  bool converted = false;
  for (size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c < 0x20 || c > 0x7E) {
      return Refuse(error, named + ": только печатные символы ASCII");
    }
    std::string& part = converted ? form.suffix : form.prefix;
    if (c != '%') {
      part += static_cast<char>(c);
      continue;
    }
    if (i + 1 < text.size() && text[i + 1] == '%') {
      part += '%';
      ++i;
      continue;
    }
    if (converted) {
      return Refuse(error, named + ": больше одного преобразования");
    }
    size_t j = i + 1;
    if (j < text.size() && text[j] == '0') {
      form.zero_pad = true;
      ++j;
    }
    const size_t width_from = j;
    while (j < text.size() && text[j] >= '0' && text[j] <= '9') ++j;
    const std::string width = text.substr(width_from, j - width_from);
    const char conversion = j < text.size() ? text[j] : '\0';
    if (width.size() > 2 ||
        std::string("diuxX").find(conversion) == std::string::npos ||
        conversion == '\0') {
      return Refuse(error, named +
                               ": нужно одно целое преобразование %d, %u, "
                               "%x или %X, с шириной (%06d) или без неё");
    }
    form.min_digits = width.empty() ? 0 : std::stoi(width);
    form.base = conversion == 'x' || conversion == 'X' ? 16 : 10;
    form.upper = conversion == 'X';
    converted = true;
    i = j;
  }
  if (!converted) {
    return Refuse(error, named + ": нет преобразования для номера (%d)");
  }
  return form;
}

std::string FormatSerialText(const SerialTemplate& form, uint64_t value) {
  std::string field = Digits(value, form.base, form.upper);
  if (field.size() < static_cast<size_t>(form.min_digits)) {
    field.insert(0, static_cast<size_t>(form.min_digits) - field.size(),
                 form.zero_pad ? '0' : ' ');
  }
  return form.prefix + field + form.suffix;
}

std::string SerialTemplateText(const std::string& text_template,
                               uint64_t value) {
  std::string error;
  const std::optional<SerialTemplate> form =
      ParseSerialTemplate(text_template, &error);
  return form ? FormatSerialText(*form, value) : std::string();
}

std::optional<uint64_t> MaxTextValue(const SerialTemplate& form, int width) {
  const int64_t room = int64_t{width} -
                       static_cast<int64_t>(form.prefix.size()) -
                       static_cast<int64_t>(form.suffix.size());
  if (room < std::max(form.min_digits, 1)) return std::nullopt;
  uint64_t max = 0;
  const auto base = static_cast<uint64_t>(form.base);
  for (int64_t i = 0; i < room; ++i) {
    if (max > (UINT64_MAX - (base - 1)) / base) return UINT64_MAX;
    max = max * base + (base - 1);
  }
  return max;
}

}  // namespace taktm
