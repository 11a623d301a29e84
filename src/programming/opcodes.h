// The programmer's command set: operation codes 0..20 and the service
// opcodes 0xF1..0xFF.
#ifndef TAKT_PROGRAMMING_OPCODES_H_
#define TAKT_PROGRAMMING_OPCODES_H_

#include <array>
#include <cstddef>
#include <cstdint>

namespace taktm {

// Operation codes; each is also the opcode of the command that carries it out.
inline constexpr uint8_t OP_READ_SIGNATURE = 0x00;
inline constexpr uint8_t OP_ENABLE_PROGRAMMING = 0x01;
inline constexpr uint8_t OP_DISABLE_PROGRAMMING = 0x02;
inline constexpr uint8_t OP_READ_FUSES = 0x03;
inline constexpr uint8_t OP_WRITE_FUSES = 0x04;
inline constexpr uint8_t OP_READ_LOCKS = 0x05;
inline constexpr uint8_t OP_WRITE_LOCKS = 0x06;
inline constexpr uint8_t OP_ERASE_ALL = 0x07;
inline constexpr uint8_t OP_ERASE_FLASH = 0x08;
inline constexpr uint8_t OP_READ_FLASH = 0x09;
inline constexpr uint8_t OP_WRITE_FLASH = 0x0A;
inline constexpr uint8_t OP_VERIFY_FLASH = 0x0B;
inline constexpr uint8_t OP_ERASE_EEPROM = 0x0C;
inline constexpr uint8_t OP_READ_EEPROM = 0x0D;
inline constexpr uint8_t OP_WRITE_EEPROM = 0x0E;
inline constexpr uint8_t OP_VERIFY_EEPROM = 0x0F;
inline constexpr uint8_t OP_ERASE_RAM = 0x10;
inline constexpr uint8_t OP_READ_RAM = 0x11;
inline constexpr uint8_t OP_WRITE_RAM = 0x12;
inline constexpr uint8_t OP_VERIFY_RAM = 0x13;
inline constexpr uint8_t OP_READ_CALIBRATION = 0x14;

// Service opcodes: discovery, chip selection and the end of a run.
inline constexpr uint8_t SVC_GET_SIZE_F1 = 0xF1;
inline constexpr uint8_t SVC_GET_EEPROM_SIZE = 0xF2;
inline constexpr uint8_t SVC_GET_FLASH_SIZE = 0xF3;
inline constexpr uint8_t SVC_GET_LOCK_NAME = 0xF4;
inline constexpr uint8_t SVC_GET_LOCK_COUNT = 0xF5;
inline constexpr uint8_t SVC_GET_FUSE_NAME = 0xF6;
inline constexpr uint8_t SVC_GET_FUSE_COUNT = 0xF7;
inline constexpr uint8_t SVC_GET_OPERATIONS = 0xF8;
inline constexpr uint8_t SVC_SELECT_CHIP = 0xF9;
inline constexpr uint8_t SVC_GET_CHIP_NAME = 0xFA;
inline constexpr uint8_t SVC_GET_CHIP_COUNT = 0xFB;
inline constexpr uint8_t SVC_GET_INFO_LINE = 0xFC;
inline constexpr uint8_t SVC_GET_INFO_COUNT = 0xFD;
inline constexpr uint8_t SVC_GET_NAME = 0xFE;
inline constexpr uint8_t SVC_END = 0xFF;

// The device's mask of operations has 32 bits; codes 21..31 name no
// operation (programming/operation_table.h describes the others).
inline constexpr size_t kOperationSlots = 32;

// Memory runs are cut into chunks of this many bytes: with the 6-byte header
// a data command (230 bytes) fits the frame's one-byte length.
inline constexpr uint32_t kChunkSize = 224;

}  // namespace taktm

#endif  // TAKT_PROGRAMMING_OPCODES_H_
