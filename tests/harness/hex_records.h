// Builds Intel HEX text for tests and benchmarks: single records with their
// checksums, and whole images split into records with address records.
#ifndef TAKT_TESTS_HARNESS_HEX_RECORDS_H_
#define TAKT_TESTS_HARNESS_HEX_RECORDS_H_

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace taktm::testing {

// One record line with its checksum, upper case, ending in CR LF.
inline std::string HexRecord(uint16_t address, uint8_t type,
                             const std::vector<uint8_t>& data = {}) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::vector<uint8_t> bytes = {static_cast<uint8_t>(data.size()),
                                static_cast<uint8_t>(address >> 8),
                                static_cast<uint8_t>(address & 0xFF), type};
  bytes.insert(bytes.end(), data.begin(), data.end());
  uint8_t sum = 0;
  for (uint8_t b : bytes) sum = static_cast<uint8_t>(sum + b);
  bytes.push_back(static_cast<uint8_t>(-sum));
  std::string line = ":";
  for (uint8_t b : bytes) {
    line += kDigits[b >> 4];
    line += kDigits[b & 0x0F];
  }
  return line + "\r\n";
}

inline std::string EndOfFileRecord() { return HexRecord(0, 1); }

// The image as data records of `per_record` bytes. The first third of each
// 64 KiB segment is addressed through extended segment records (type 2), the
// rest through extended linear records (type 4), so that a reader meets both.
inline std::string ImageToHex(const std::vector<uint8_t>& image,
                              size_t per_record = 16) {
  std::string text;
  text.reserve(image.size() * 2 + image.size() / per_record * 14 + 64);
  long current_base = -1;
  bool current_segmented = false;
  for (size_t at = 0; at < image.size(); at += per_record) {
    const size_t n = std::min(per_record, image.size() - at);
    const size_t base = at & ~size_t{0xFFFF};
    const bool segmented = (at & 0xFFFF) < 0x5000;
    if (static_cast<long>(base) != current_base ||
        segmented != current_segmented) {
      const uint16_t value =
          static_cast<uint16_t>(segmented ? base >> 4 : base >> 16);
      text += HexRecord(0, segmented ? 2 : 4,
                        {static_cast<uint8_t>(value >> 8),
                         static_cast<uint8_t>(value & 0xFF)});
      current_base = static_cast<long>(base);
      current_segmented = segmented;
    }
    text += HexRecord(
        static_cast<uint16_t>(at & 0xFFFF), 0,
        std::vector<uint8_t>(image.begin() + at, image.begin() + at + n));
  }
  return text + EndOfFileRecord();
}

}  // namespace taktm::testing

#endif  // TAKT_TESTS_HARNESS_HEX_RECORDS_H_
