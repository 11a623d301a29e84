// Opcodes of the programmer protocol as the device sees them.
#ifndef TAKT_DEVSIM_OPCODES_H_
#define TAKT_DEVSIM_OPCODES_H_

#include <cstdint>

namespace taktm::devsim {

enum Opcode : uint8_t {
  kReadSignature = 0x00,
  kEnableProgramming = 0x01,
  kDisableProgramming = 0x02,
  kReadFuses = 0x03,
  kWriteFuses = 0x04,
  kReadLocks = 0x05,
  kWriteLocks = 0x06,
  kEraseAll = 0x07,
  kEraseFlash = 0x08,
  kReadFlash = 0x09,
  kWriteFlash = 0x0A,
  kVerifyFlash = 0x0B,
  kEraseEeprom = 0x0C,
  kReadEeprom = 0x0D,
  kWriteEeprom = 0x0E,
  kVerifyEeprom = 0x0F,
  kReadCalibration = 0x14,
  kGetSizeF1 = 0xF1,
  kGetEepromSize = 0xF2,
  kGetFlashSize = 0xF3,
  kGetLockName = 0xF4,
  kGetLockCount = 0xF5,
  kGetFuseName = 0xF6,
  kGetFuseCount = 0xF7,
  kGetOperations = 0xF8,
  kSelectChip = 0xF9,
  kGetChipName = 0xFA,
  kGetChipCount = 0xFB,
  kGetInfoLine = 0xFC,
  kGetInfoCount = 0xFD,
  kGetName = 0xFE,
  kEnd = 0xFF,
};

}  // namespace taktm::devsim

#endif  // TAKT_DEVSIM_OPCODES_H_
