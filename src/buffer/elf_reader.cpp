#include "buffer/elf_reader.h"

#include <algorithm>
#include <string>
#include <vector>

namespace taktm {
namespace {

constexpr uint32_t kPtLoad = 1;

ImageResult Refuse(const std::string& why) {
  ImageResult r;
  r.status = ImageStatus::kRefused;
  r.warning = "Файл ELF не загружен:\n\r" + why;
  return r;
}

// Fields read in the file's byte order; every read is bounds-checked.
class Fields {
 public:
  Fields(std::string_view bytes, bool big) : bytes_(bytes), big_(big) {}

  bool Has(uint64_t offset, uint64_t size) const {
    return offset <= bytes_.size() && size <= bytes_.size() - offset;
  }
  uint64_t Read(uint64_t offset, int size) const {
    uint64_t v = 0;
    for (int i = 0; i < size; ++i) {
      const int k = big_ ? i : size - 1 - i;
      v = v << 8 |
          static_cast<uint8_t>(bytes_[static_cast<size_t>(offset) + k]);
    }
    return v;
  }

 private:
  std::string_view bytes_;
  bool big_;
};

struct Segment {
  uint64_t offset;
  uint64_t address;
  uint64_t size;
};

}  // namespace

bool HasElfMagic(std::string_view bytes) {
  return bytes.size() >= 4 && bytes.substr(0, 4) == std::string_view(
                                                        "\x7F"
                                                        "ELF",
                                                        4);
}

ImageResult ReadElf(std::string_view bytes) {
  if (!HasElfMagic(bytes)) return Refuse("это не ELF-файл.");
  if (bytes.size() < 16) return Refuse("файл обрезан.");
  const uint8_t elf_class = static_cast<uint8_t>(bytes[4]);
  const uint8_t data = static_cast<uint8_t>(bytes[5]);
  if (elf_class != 1 && elf_class != 2) {
    return Refuse("неизвестная разрядность файла.");
  }
  if (data != 1 && data != 2) return Refuse("неизвестный порядок байтов.");
  const bool wide = elf_class == 2;
  const Fields f(bytes, data == 2);
  const uint64_t header_size = wide ? 64 : 52;
  if (!f.Has(0, header_size)) return Refuse("файл обрезан.");
  const uint64_t phoff = wide ? f.Read(32, 8) : f.Read(28, 4);
  const uint64_t phentsize = f.Read(wide ? 54 : 42, 2);
  const uint64_t phnum = f.Read(wide ? 56 : 44, 2);
  const uint64_t entry_min = wide ? 56 : 32;
  if (phnum == 0 || phoff == 0) {
    return Refuse("в файле нет загружаемых данных (объектный файл?).");
  }
  if (phentsize < entry_min) return Refuse("неверный заголовок сегментов.");
  if (!f.Has(phoff, phentsize * phnum)) return Refuse("файл обрезан.");

  std::vector<Segment> segments;
  uint64_t end = 0;
  for (uint64_t i = 0; i < phnum; ++i) {
    const uint64_t ph = phoff + i * phentsize;
    if (f.Read(ph, 4) != kPtLoad) continue;
    Segment s;
    if (wide) {
      s.offset = f.Read(ph + 8, 8);
      s.address = f.Read(ph + 24, 8);  // p_paddr
      s.size = f.Read(ph + 32, 8);     // p_filesz
    } else {
      s.offset = f.Read(ph + 4, 4);
      s.address = f.Read(ph + 12, 4);
      s.size = f.Read(ph + 16, 4);
    }
    if (s.size == 0) continue;
    if (!f.Has(s.offset, s.size)) return Refuse("файл обрезан.");
    if (s.address >= kElfAddressLimit ||
        s.size > kElfAddressLimit - s.address) {
      return Refuse("данные лежат за пределом 16 МиБ.");
    }
    end = std::max(end, s.address + s.size);
    segments.push_back(s);
  }
  if (segments.empty()) {
    return Refuse("в файле нет загружаемых данных (объектный файл?).");
  }
  ImageResult r;
  r.status = ImageStatus::kImage;
  r.image.assign(static_cast<size_t>(end), 0xFF);
  for (const Segment& s : segments) {
    for (uint64_t k = 0; k < s.size; ++k) {
      r.image[static_cast<size_t>(s.address + k)] =
          static_cast<uint8_t>(bytes[static_cast<size_t>(s.offset + k)]);
    }
  }
  return r;
}

}  // namespace taktm
