#include "config/options.h"

namespace taktm {

std::string OptionValueName(int n) {
  if (n < 1 || n > kOptionCount) return {};
  return "Check" + std::to_string(n);
}

const char* GroupTitle(OptionGroup group) {
  switch (group) {
    case OptionGroup::kProgramWrite:
      return "Запись программ";
    case OptionGroup::kEepromWrite:
      return "Запись EEPROM";
    case OptionGroup::kFileFormats:
      return "Форматы файлов";
  }
  return "";
}

const char* HeadingTitle(OptionHeading heading) {
  switch (heading) {
    case OptionHeading::kNone:
      return "";
    case OptionHeading::kBeforeWrite:
      return "перед записью";
    case OptionHeading::kAfterWrite:
      return "после записи";
    case OptionHeading::kAdditional:
      return "дополнительно";
  }
  return "";
}

const OptionPlace* FindOptionPlace(int n) {
  for (const OptionPlace& place : kOptionPlaces) {
    if (OptionNumber(place.option) == n) return &place;
  }
  return nullptr;
}

}  // namespace taktm
