// The thirteen options of the settings dialog by name. Each id's number is
// the number of its check box and of its stored value ("Check1" ..
// "Check13"); the sequences, the working file and the command line read the
// options by these names.
#ifndef TAKT_PROGRAMMING_OPTION_ID_H_
#define TAKT_PROGRAMMING_OPTION_ID_H_

#include <array>

namespace taktm {

enum class Option {
  kReloadFlash = 1,   // "обновлять буфер" before a program write
  kEraseAll = 2,      // "стирать все"
  kVerifyFlash = 3,   // "верифицировать" program memory
  kReadHexFiles = 4,  // "понимать HEX-файлы"
  kReloadEeprom = 5,  // "обновлять буфер" before an EEPROM write
  kEraseEeprom = 6,   // "стирать EEPROM"
  kVerifyEeprom = 7,  // "верифицировать" EEPROM
  kSignatureAfterErase = 8,  // "проверять сигнатуру" after the erase
  kSignatureBeforeEeprom = 9,  // "проверять сигнатуру" before an EEPROM write
  kSignatureBeforeErase = 10,  // "проверять сигнатуру" before the erase
  kSetLockBits = 11,   // "ставить биты защиты"
  kReadEepFiles = 12,  // "понимать EEP-файлы"
  kRewriteFf = 13,     // "перезаписывать FF"
};

inline constexpr int kOptionCount = 13;

// 1 .. 13.
constexpr int OptionNumber(Option option) { return static_cast<int>(option); }

// Every option, in the order of its number.
inline constexpr std::array<Option, kOptionCount> kAllOptions = {
    Option::kReloadFlash,
    Option::kEraseAll,
    Option::kVerifyFlash,
    Option::kReadHexFiles,
    Option::kReloadEeprom,
    Option::kEraseEeprom,
    Option::kVerifyEeprom,
    Option::kSignatureAfterErase,
    Option::kSignatureBeforeEeprom,
    Option::kSignatureBeforeErase,
    Option::kSetLockBits,
    Option::kReadEepFiles,
    Option::kRewriteFf,
};

}  // namespace taktm

#endif  // TAKT_PROGRAMMING_OPTION_ID_H_
