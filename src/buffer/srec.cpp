#include "buffer/srec.h"

#include <algorithm>
#include <vector>

#include "buffer/data_buffer.h"
#include "buffer/grid_text.h"
#include "buffer/record_text.h"

namespace taktm {
namespace {

ImageResult Refuse(size_t line, const char* why) {
  ImageResult r;
  r.status = ImageStatus::kRefused;
  r.line = line;
  r.warning =
      "Ошибка в файле S-record, строка " + std::to_string(line) + ":\n\r" + why;
  return r;
}

// Address bytes of each record type; 0 for a type that does not exist.
int AddressBytes(char type) {
  switch (type) {
    case '0':
    case '1':
    case '5':
    case '9':
      return 2;
    case '2':
    case '6':
    case '8':
      return 3;
    case '3':
    case '7':
      return 4;
    default:
      return 0;
  }
}

}  // namespace

ImageResult ReadSrec(std::string_view text) {
  std::vector<uint8_t> image;
  uint64_t data_records = 0;
  size_t line_no = 0;
  size_t pos = 0;
  while (pos < text.size()) {
    ++line_no;
    size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) end = text.size();
    const std::string_view line = TrimBlanks(text.substr(pos, end - pos));
    pos = end + 1;
    if (line.empty()) continue;
    if (line.size() < 2 || line[0] != 'S' || AddressBytes(line[1]) == 0) {
      return Refuse(line_no, "это не запись S-record!");
    }
    const char type = line[1];
    const std::string_view digits = line.substr(2);
    if (digits.size() % 2 != 0)
      return Refuse(line_no, "неверная длина записи!");
    std::vector<uint8_t> bytes(digits.size() / 2);
    for (size_t i = 0; i < bytes.size(); ++i) {
      const int high = HexDigitValue(static_cast<unsigned char>(digits[2 * i]));
      const int low =
          HexDigitValue(static_cast<unsigned char>(digits[2 * i + 1]));
      if (high < 0 || low < 0) return Refuse(line_no, "недопустимый символ!");
      bytes[i] = static_cast<uint8_t>(high << 4 | low);
    }
    const int address_bytes = AddressBytes(type);
    // The count covers address, data and checksum.
    if (bytes.empty() || bytes[0] + size_t{1} != bytes.size() ||
        bytes[0] < address_bytes + 1) {
      return Refuse(line_no, "неверная длина записи!");
    }
    uint8_t sum = 0;
    for (size_t i = 0; i + 1 < bytes.size(); ++i) {
      sum = static_cast<uint8_t>(sum + bytes[i]);
    }
    if (static_cast<uint8_t>(~sum) != bytes.back()) {
      return Refuse(line_no, "неверная контрольная сумма!");
    }
    uint64_t address = 0;
    for (int i = 0; i < address_bytes; ++i)
      address = address << 8 | bytes[1 + i];
    const size_t first = 1 + static_cast<size_t>(address_bytes);
    const size_t count = bytes.size() - 1 - first;
    switch (type) {
      case '1':
      case '2':
      case '3': {
        ++data_records;
        if (count == 0) break;
        if (address + count >= kBufferLimit) {
          ImageResult r = Refuse(line_no, "");
          r.warning = kTooLongWarning;
          return r;
        }
        if (address + count > image.size()) {
          image.resize(static_cast<size_t>(address + count), 0xFF);
        }
        for (size_t i = 0; i < count; ++i) {
          image[static_cast<size_t>(address) + i] = bytes[first + i];
        }
        break;
      }
      case '5':
      case '6':
        if (count != 0 ||
            address != (data_records & (type == '5' ? 0xFFFF : 0xFFFFFF))) {
          return Refuse(line_no, "число записей не совпадает!");
        }
        break;
      case '7':
      case '8':
      case '9': {
        if (count != 0) return Refuse(line_no, "неверная длина записи!");
        ImageResult r;
        r.status = ImageStatus::kImage;
        r.image = std::move(image);
        return r;
      }
      default:
        break;  // S0: the header names the file, nothing for the image
    }
  }
  return Refuse(line_no == 0 ? 1 : line_no, "нет записи конца файла!");
}

namespace {

void AppendRecord(std::string& out, char type, uint32_t address,
                  int address_bytes, const uint8_t* data, size_t count) {
  uint8_t sum = 0;
  auto put = [&](uint8_t byte) {
    AppendHexByte(out, byte);
    sum = static_cast<uint8_t>(sum + byte);
  };
  out += 'S';
  out += type;
  put(static_cast<uint8_t>(address_bytes + count + 1));
  for (int i = address_bytes - 1; i >= 0; --i) {
    put(static_cast<uint8_t>(address >> (8 * i)));
  }
  for (size_t i = 0; i < count; ++i) put(data[i]);
  AppendHexByte(out, static_cast<uint8_t>(~sum));
  out += "\r\n";
}

}  // namespace

std::string WriteSrec(const uint8_t* data, size_t size) {
  constexpr size_t kRecordBytes = 16;
  std::string out;
  out.reserve((size / kRecordBytes + 3) * 48);
  static const uint8_t kHeader[] = {'T', 'A', 'K', 'T', '-', 'M'};
  AppendRecord(out, '0', 0, 2, kHeader, sizeof kHeader);
  int width = 2;
  uint64_t records = 0;
  for (uint64_t a = 0; a < size; a += kRecordBytes) {
    const size_t n = static_cast<size_t>(
        std::min<uint64_t>(kRecordBytes, uint64_t{size} - a));
    if (a + n > 0x1000000) {
      width = 4;
    } else if (a + n > 0x10000 && width < 3) {
      width = 3;
    }
    AppendRecord(out, static_cast<char>('1' + width - 2),
                 static_cast<uint32_t>(a), width, data + a, n);
    ++records;
  }
  if (records <= 0xFFFF) {
    AppendRecord(out, '5', static_cast<uint32_t>(records), 2, nullptr, 0);
  } else if (records <= 0xFFFFFF) {
    AppendRecord(out, '6', static_cast<uint32_t>(records), 3, nullptr, 0);
  }
  AppendRecord(out, static_cast<char>('9' - (width - 2)), 0, width, nullptr, 0);
  return out;
}

}  // namespace taktm
