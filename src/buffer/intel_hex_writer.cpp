#include "buffer/intel_hex_writer.h"

#include <algorithm>

#include "buffer/record_text.h"

namespace taktm {
namespace {

// One record: count, address, type, data and the two's complement checksum.
void AppendRecord(std::string& out, uint16_t address, uint8_t type,
                  const uint8_t* data, size_t count) {
  uint8_t sum = 0;
  auto put = [&](uint8_t byte) {
    AppendHexByte(out, byte);
    sum = static_cast<uint8_t>(sum + byte);
  };
  out += ':';
  put(static_cast<uint8_t>(count));
  put(static_cast<uint8_t>(address >> 8));
  put(static_cast<uint8_t>(address));
  put(type);
  for (size_t i = 0; i < count; ++i) put(data[i]);
  AppendHexByte(out, static_cast<uint8_t>(-sum));
  out += "\r\n";
}

}  // namespace

std::string WriteIntelHex(const uint8_t* data, size_t size) {
  std::string out;
  // 2 * 16 data digits plus 13 characters of frame per record.
  out.reserve((size / kHexRecordBytes + 2) * 45);
  uint64_t page = 0;
  for (uint64_t a = 0; a < size; a += kHexRecordBytes) {
    if (a >> 16 != page) {
      page = a >> 16;
      const uint8_t upper[] = {static_cast<uint8_t>(page >> 8),
                               static_cast<uint8_t>(page)};
      AppendRecord(out, 0, 4, upper, 2);
    }
    const size_t n = std::min<uint64_t>(kHexRecordBytes, size - a);
    AppendRecord(out, static_cast<uint16_t>(a), 0, data + a, n);
  }
  AppendRecord(out, 0, 1, nullptr, 0);
  return out;
}

}  // namespace taktm
