#include "cli/serial_form.h"

#include "cli/db_uri.h"
#include "cli/serial_stamp.h"
#include "cli/serial_text.h"

namespace taktm {

int SerialWidthLimit(SerialFormat format) {
  switch (format) {
    case SerialFormat::kBinary:
      return kMaxBinarySerialWidth;
    case SerialFormat::kDecimal:
      return kMaxDecimalSerialWidth;
    case SerialFormat::kText:
      break;
  }
  return kMaxTextSerialWidth;
}

std::string SerialWidthUnit(SerialFormat format) {
  return format == SerialFormat::kDecimal ? "цифр" : "байт";
}

std::string FinishSerialForm(bool width_given, SerialOption* serial) {
  constexpr std::string_view kList = "list=";
  if (serial->file.rfind(kList, 0) == 0) {
    serial->list = true;
    serial->file.erase(0, kList.size());
    if (serial->file.empty()) return "Не указан файл списка номеров (list=)";
    if (IsDatabaseUri(serial->file)) {
      return "Список номеров (list=) — только в файле, не в базе данных";
    }
    if (serial->step != 1) {
      return "Шаг номера (:step=) — только для счётчика, не для списка";
    }
  }
  // The fields are split at colons: a template with one, or given twice,
  // would end up in the file's name.
  if (serial->file.find(":text=") != std::string::npos) {
    return "В шаблоне номера (text=) не может быть двоеточия, и формат "
           "номера задаётся один раз";
  }
  if (serial->format != SerialFormat::kText) return {};
  if (serial->big_endian) {
    return "Порядок байтов (be) — только для двоичного номера (bin)";
  }
  std::string error;
  const std::optional<SerialTemplate> form =
      ParseSerialTemplate(serial->text, &error);
  if (!form) return error;
  if (!width_given) {
    return "Для шаблона номера (text=) нужна ширина в байтах, например "
           "0x1FF0:serial.txt:16:text=SN-%06d";
  }
  if (!MaxTextValue(*form, serial->width)) {
    return "Текст номера по шаблону \"" + serial->text + "\" не помещается в " +
           std::to_string(serial->width) + " байт";
  }
  return {};
}

std::string TakenPathOf(const std::string& list) { return list + ".taken"; }

std::optional<std::vector<uint8_t>> SerialBytes(const SerialOption& serial,
                                                uint64_t value) {
  if (serial.format != SerialFormat::kText) {
    return EncodeSerial(value, serial.width, serial.format, serial.big_endian);
  }
  std::string error;
  const std::optional<SerialTemplate> form =
      ParseSerialTemplate(serial.text, &error);
  if (!form) return std::nullopt;
  const std::string text = FormatSerialText(*form, value);
  if (serial.width < 0 || text.size() > static_cast<size_t>(serial.width)) {
    return std::nullopt;
  }
  std::vector<uint8_t> bytes(text.begin(), text.end());
  bytes.resize(static_cast<size_t>(serial.width), 0x00);
  return bytes;
}

uint64_t SerialMaxValue(const SerialOption& serial) {
  if (serial.format != SerialFormat::kText) {
    return MaxSerialValue(serial.width, serial.format);
  }
  std::string error;
  const std::optional<SerialTemplate> form =
      ParseSerialTemplate(serial.text, &error);
  if (!form) return 0;
  return MaxTextValue(*form, serial.width).value_or(0);
}

std::string SerialText(const SerialOption& serial, uint64_t value) {
  if (serial.format != SerialFormat::kText) return {};
  return SerialTemplateText(serial.text, value);
}

}  // namespace taktm
