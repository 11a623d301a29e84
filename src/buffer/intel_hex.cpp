#include "buffer/intel_hex.h"

#include <array>
#include <iterator>

#include "buffer/data_buffer.h"

namespace taktm {

namespace {

enum RecordType : uint8_t {
  kData = 0,
  kEndOfFile = 1,
  kExtendedSegmentAddress = 2,
  kExtendedLinearAddress = 4,
};

// Digit values by character; 0xFF for anything that is not a hex digit.
constexpr std::array<uint8_t, 256> MakeDigitTable() {
  std::array<uint8_t, 256> table{};
  for (auto& v : table) v = 0xFF;
  for (int c = '0'; c <= '9'; ++c) table[c] = static_cast<uint8_t>(c - '0');
  for (int c = 'A'; c <= 'F'; ++c)
    table[c] = static_cast<uint8_t>(c - 'A' + 10);
  for (int c = 'a'; c <= 'f'; ++c)
    table[c] = static_cast<uint8_t>(c - 'a' + 10);
  return table;
}
constexpr std::array<uint8_t, 256> kDigit = MakeDigitTable();

std::string FaultWarning(HexFault fault, size_t line) {
  std::string text =
      "Ошибка в HEX-файле, строка " + std::to_string(line) + ":\n\r";
  switch (fault) {
    case HexFault::kBadCharacter:
      return text + "недопустимый символ!";
    case HexFault::kBadChecksum:
      return text + "неверная контрольная сумма!";
    case HexFault::kBadRecord:
      return text + "неверная запись адреса!";
    default:
      return kTooLongWarning;
  }
}

class Reader {
 public:
  explicit Reader(std::string_view text) : text_(text) {}

  IntelHexResult Read();

 private:
  enum class Got { kByte, kEnd, kBad };

  // Passes over everything up to and including the next ":", counting lines.
  bool ScanToStartMark();
  // Two digits, high nibble first.
  Got ReadByte(uint8_t& value);
  IntelHexResult Refuse(HexFault fault);
  // Extends the image with 0xFF so that `last` is inside it.
  void FillTo(uint64_t last);

  std::string_view text_;
  size_t pos_ = 0;
  size_t line_ = 1;
  size_t record_line_ = 1;
  std::vector<uint8_t> image_;
};

bool Reader::ScanToStartMark() {
  while (pos_ < text_.size()) {
    const char c = text_[pos_++];
    if (c == ':') return true;
    if (c == '\n' ||
        (c == '\r' && (pos_ == text_.size() || text_[pos_] != '\n'))) {
      ++line_;
    }
  }
  return false;
}

Reader::Got Reader::ReadByte(uint8_t& value) {
  if (pos_ >= text_.size()) return Got::kEnd;
  const uint8_t high = kDigit[static_cast<unsigned char>(text_[pos_])];
  if (high == 0xFF) return Got::kBad;
  if (pos_ + 1 >= text_.size()) return Got::kEnd;
  const uint8_t low = kDigit[static_cast<unsigned char>(text_[pos_ + 1])];
  if (low == 0xFF) return Got::kBad;
  pos_ += 2;
  value = static_cast<uint8_t>(high << 4 | low);
  return Got::kByte;
}

IntelHexResult Reader::Refuse(HexFault fault) {
  IntelHexResult result;
  result.status = HexStatus::kRefused;
  result.fault = fault;
  result.line = record_line_;
  result.warning = FaultWarning(fault, record_line_);
  return result;
}

void Reader::FillTo(uint64_t last) {
  if (last >= image_.size()) image_.resize(static_cast<size_t>(last) + 1, 0xFF);
}

IntelHexResult Reader::Read() {
  // Base of the data records, and whether offsets wrap inside a 64 KiB
  // segment (type 2) or run on linearly (type 4, and files without either).
  uint64_t base = 0;
  bool segmented = false;
  IntelHexResult abandoned;  // status kAbandoned, empty image

  while (ScanToStartMark()) {
    record_line_ = line_;
    uint8_t header[4];
    for (uint8_t& b : header) {
      const Got got = ReadByte(b);
      if (got == Got::kEnd) return abandoned;
      if (got == Got::kBad) return Refuse(HexFault::kBadCharacter);
    }
    const uint8_t count = header[0];
    const uint32_t offset = static_cast<uint32_t>(header[1]) << 8 | header[2];
    const uint8_t type = header[3];
    uint8_t sum =
        static_cast<uint8_t>(header[0] + header[1] + header[2] + header[3]);

    if (type == kData) {
      // The highest address the record reaches; a record of no bytes still
      // extends the image up to just below its address.
      uint64_t last;
      if (segmented && offset + count > 0x10000) {
        last = base + 0xFFFF;
      } else {
        last = base + offset + count;
        if (last == 0) {
          last = UINT64_MAX;  // nothing to fill
        } else {
          --last;
        }
      }
      if (last != UINT64_MAX) {
        if (last >= kBufferLimit - 1) return Refuse(HexFault::kTooLarge);
        FillTo(last);
      }
    }

    uint8_t data[255];
    for (uint8_t j = 0; j < count; ++j) {
      const Got got = ReadByte(data[j]);
      if (got == Got::kEnd) return abandoned;
      if (got == Got::kBad) return Refuse(HexFault::kBadCharacter);
      sum = static_cast<uint8_t>(sum + data[j]);
    }

    uint8_t checksum = 0;
    const Got got = ReadByte(checksum);
    if (got == Got::kEnd) {
      // An end-of-file record cut off in its checksum still ends the file.
      if (type != kEndOfFile) return abandoned;
    } else if (got == Got::kBad) {
      return Refuse(HexFault::kBadCharacter);
    } else if (static_cast<uint8_t>(sum + checksum) != 0) {
      return Refuse(HexFault::kBadChecksum);
    }

    switch (type) {
      case kData:
        for (uint32_t j = 0; j < count; ++j) {
          const uint32_t address =
              segmented ? (offset + j) & 0xFFFF : offset + j;
          image_[static_cast<size_t>(base + address)] = data[j];
        }
        break;
      case kEndOfFile: {
        IntelHexResult result;
        result.status = HexStatus::kImage;
        result.image = std::move(image_);
        return result;
      }
      case kExtendedSegmentAddress:
      case kExtendedLinearAddress: {
        if (count != 2) return Refuse(HexFault::kBadRecord);
        const uint64_t value = static_cast<uint64_t>(data[0]) << 8 | data[1];
        segmented = type == kExtendedSegmentAddress;
        base = segmented ? value << 4 : value << 16;
        break;
      }
      default:
        break;  // start addresses and unknown types carry nothing for us
    }
  }
  return abandoned;
}

}  // namespace

IntelHexResult ReadIntelHex(std::string_view text) {
  return Reader(text).Read();
}

IntelHexResult ReadIntelHex(std::istream& input) {
  input.clear();
  input.seekg(0, std::ios::beg);
  const std::string text{std::istreambuf_iterator<char>(input),
                         std::istreambuf_iterator<char>()};
  return ReadIntelHex(std::string_view(text));
}

}  // namespace taktm
