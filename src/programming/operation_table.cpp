#include "programming/operation_table.h"

namespace taktm {
namespace {

using M = OperationMemory;
using A = OperationAction;
constexpr std::array<OperationRow, 21> kOperationTable = {{
    {OP_READ_SIGNATURE, "Читать сигнатуру", "signature", M::kNone, A::kRead, -1,
     std::nullopt, "прочитать и проверить сигнатуру", true},
    {OP_ENABLE_PROGRAMMING, "Разрешить прогр-ие", nullptr, M::kNone, A::kOther,
     -1, std::nullopt},
    {OP_DISABLE_PROGRAMMING, "Запретить прогр-ие", nullptr, M::kNone, A::kOther,
     -1, std::nullopt},
    {OP_READ_FUSES, "Читать FUSE биты", "read-fuses", M::kFuseBits, A::kRead,
     -1, std::nullopt, "прочитать FUSE биты"},
    {OP_WRITE_FUSES, "Записать FUSE биты", "write-fuses", M::kFuseBits,
     A::kWrite, -1, std::nullopt, "записать FUSE биты", true},
    {OP_READ_LOCKS, "Читать LOCK биты", "read-locks", M::kLockBits, A::kRead,
     -1, std::nullopt, "прочитать LOCK биты"},
    {OP_WRITE_LOCKS, "Записать LOCK биты", "write-locks", M::kLockBits,
     A::kWrite, -1, std::nullopt, "записать LOCK биты", true},
    {OP_ERASE_ALL, "Стереть все", "erase", M::kNone, A::kErase, -1,
     std::nullopt, "стереть все", true},
    {OP_ERASE_FLASH, "Стереть память программ", nullptr, M::kFlash, A::kErase,
     -1, std::nullopt},
    {OP_READ_FLASH, "Читать память программ", "read-flash", M::kFlash, A::kRead,
     -1, std::nullopt,
     "прочитать память программ в файл (.hex: Intel HEX,\n"
     ".srec/.s19/.s28/.s37/.mot: S-record)"},
    {OP_WRITE_FLASH, "Записать память программ", "write-flash", M::kFlash,
     A::kWrite, OP_VERIFY_FLASH, Option::kVerifyFlash,
     "записать память программ из файла", true},
    {OP_VERIFY_FLASH, "Сверить память программ", "verify-flash", M::kFlash,
     A::kVerify, OP_VERIFY_FLASH, std::nullopt,
     "сверить память программ с файлом", true},
    {OP_ERASE_EEPROM, "Стереть EEPROM", "erase-eeprom", M::kEeprom, A::kErase,
     -1, std::nullopt, "стереть EEPROM", true},
    {OP_READ_EEPROM, "Читать EEPROM", "read-eeprom", M::kEeprom, A::kRead, -1,
     std::nullopt, "прочитать EEPROM в файл (так же)"},
    {OP_WRITE_EEPROM, "Записать EEPROM", "write-eeprom", M::kEeprom, A::kWrite,
     OP_VERIFY_EEPROM, Option::kVerifyEeprom, "записать EEPROM из файла", true},
    {OP_VERIFY_EEPROM, "Сверить EEPROM", "verify-eeprom", M::kEeprom,
     A::kVerify, OP_VERIFY_EEPROM, std::nullopt, "сверить EEPROM с файлом",
     true},
    {OP_ERASE_RAM, "Стереть RAM", nullptr, M::kRam, A::kErase, -1,
     std::nullopt},
    {OP_READ_RAM, "Читать RAM", nullptr, M::kRam, A::kRead, -1, std::nullopt},
    {OP_WRITE_RAM, "Записать RAM", nullptr, M::kRam, A::kWrite, -1,
     std::nullopt},
    {OP_VERIFY_RAM, "Сверить RAM", nullptr, M::kRam, A::kVerify, -1,
     std::nullopt},
    {OP_READ_CALIBRATION, "Читать калибровочные байты", "calibration", M::kNone,
     A::kRead, -1, std::nullopt, "прочитать калибровочные байты", true},
}};

}  // namespace

const std::array<OperationRow, 21>& OperationTable() { return kOperationTable; }

const OperationRow* FindOperation(int code) {
  for (const OperationRow& row : kOperationTable) {
    if (row.code == code) return &row;
  }
  return nullptr;
}

const OperationRow* FindOperationByCommand(std::string_view command) {
  for (const OperationRow& row : kOperationTable) {
    if (row.command != nullptr && command == row.command) return &row;
  }
  return nullptr;
}

const char* OperationName(int code) {
  const OperationRow* row = FindOperation(code);
  return row != nullptr ? row->name : "";
}

bool TakesFile(const OperationRow& row) {
  return (row.memory == OperationMemory::kFlash ||
          row.memory == OperationMemory::kEeprom) &&
         (row.action == OperationAction::kRead || TakesImage(row));
}

bool TakesImage(const OperationRow& row) {
  return (row.memory == OperationMemory::kFlash ||
          row.memory == OperationMemory::kEeprom) &&
         (row.action == OperationAction::kWrite ||
          row.action == OperationAction::kVerify);
}

bool TakesRange(const OperationRow& row) {
  return (row.memory == OperationMemory::kFlash ||
          row.memory == OperationMemory::kEeprom) &&
         (row.action == OperationAction::kRead ||
          row.action == OperationAction::kVerify);
}

bool TakesBits(const OperationRow& row) {
  return (row.memory == OperationMemory::kFuseBits ||
          row.memory == OperationMemory::kLockBits) &&
         row.action == OperationAction::kWrite;
}

}  // namespace taktm
