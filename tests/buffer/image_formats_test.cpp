// The S-record and ELF readers, the S-record writer and the format rule:
// files made by binutils load to exactly objcopy's bytes, and damaged or
// unsuitable files are refused whole, with the line or the reason.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "buffer/data_buffer.h"
#include "buffer/elf_reader.h"
#include "buffer/image_format.h"
#include "buffer/srec.h"
#include "harness/random_bytes.h"
#include "harness/temp_dir.h"
#ifndef _WIN32
#include "harness/binutils_corpus.h"
#endif

namespace taktm {
namespace {

using Bytes = std::vector<uint8_t>;

std::string_view View(const Bytes& b) {
  return std::string_view(reinterpret_cast<const char*>(b.data()), b.size());
}

#ifndef _WIN32
TEST(ImageFormatsTest, BinutilsFilesLoadToObjcopysBytes) {
  testing::TempDir dir;
  const auto corpus =
      testing::MakeBinutilsCorpus(dir, TAKT_OBJCOPY, TAKT_LD, 21, false);
  ASSERT_EQ(corpus.size(), 13u);
  for (const testing::CorpusFile& f : corpus) {
    SCOPED_TRACE(f.what);
    const Bytes bytes = testing::ReadFile(f.path);
    const ImageFormat content = FormatOfContent(View(bytes));
    // The name and the content agree on every file of the corpus.
    EXPECT_EQ(content, FormatOfName(f.path, true, true));
    const ImageResult r = ReadImageAs(content, View(bytes));
    if (!f.loadable) {
      EXPECT_EQ(r.status, ImageStatus::kRefused);
      EXPECT_NE(r.warning.find("нет загружаемых данных"), std::string::npos);
      EXPECT_TRUE(r.image.empty());
      continue;
    }
    ASSERT_EQ(r.status, ImageStatus::kImage) << r.warning;
    EXPECT_EQ(r.image, f.image);
  }
}

// What the writer makes, objcopy reads to the same bytes.
TEST(ImageFormatsTest, WrittenSrecReadsBackHereAndInObjcopy) {
  testing::TempDir dir;
  for (const size_t size : {size_t{1}, size_t{17}, size_t{70000}}) {
    SCOPED_TRACE(size);
    Bytes image = testing::RandomBytes(size, static_cast<uint32_t>(size));
    const std::string text = WriteSrec(image.data(), image.size());
    const ImageResult r = ReadSrec(text);
    ASSERT_EQ(r.status, ImageStatus::kImage) << r.warning;
    EXPECT_EQ(r.image, image);
    EXPECT_EQ(FormatOfContent(text), ImageFormat::kSrec);
    const std::string path = dir.File("w" + std::to_string(size) + ".srec");
    testing::WriteFile(path, text);
    EXPECT_EQ(testing::FlatImage(TAKT_OBJCOPY, "srec", path, 0), image);
  }
}
#endif

// Builds an S-record line with a correct checksum unless told otherwise.
std::string Rec(char type, uint32_t address, int address_bytes,
                const Bytes& data, int sum_error = 0) {
  Bytes b = {static_cast<uint8_t>(address_bytes + data.size() + 1)};
  for (int i = address_bytes - 1; i >= 0; --i) {
    b.push_back(static_cast<uint8_t>(address >> (8 * i)));
  }
  b.insert(b.end(), data.begin(), data.end());
  uint8_t sum = 0;
  for (uint8_t x : b) sum = static_cast<uint8_t>(sum + x);
  b.push_back(static_cast<uint8_t>(~sum + sum_error));
  std::string line = std::string("S") + type;
  for (uint8_t x : b) {
    char two[3];
    std::snprintf(two, sizeof two, "%02X", x);
    line += two;
  }
  return line + "\r\n";
}

TEST(ImageFormatsTest, SrecRecordsOfEveryKindMakeTheImage) {
  const std::string text =
      Rec('0', 0, 2, {'h', 'i'}) + "\r\n" + Rec('1', 0x0002, 2, {1, 2}) +
      Rec('2', 0x000006, 3, {3}) + Rec('3', 0x00000008, 4, {4, 5}) +
      Rec('5', 3, 2, {}) + Rec('9', 0, 2, {}) +
      "anything after the end is not read\n";
  const ImageResult r = ReadSrec(text);
  ASSERT_EQ(r.status, ImageStatus::kImage) << r.warning;
  EXPECT_EQ(r.image, (Bytes{0xFF, 0xFF, 1, 2, 0xFF, 0xFF, 3, 0xFF, 4, 5}));
  // Lower-case digits and LF line ends are read too.
  std::string lower = Rec('1', 0, 2, {0xAB}) + Rec('9', 0, 2, {});
  for (char& c : lower) c = static_cast<char>(std::tolower(c));
  lower[0] = 'S';
  lower[lower.find("\r\n") + 2] = 'S';
  EXPECT_EQ(ReadSrec(lower).image, (Bytes{0xAB}));
}

TEST(ImageFormatsTest, DamagedSrecIsRefusedWholeWithItsLine) {
  const std::string good = Rec('1', 0, 2, {1, 2, 3});
  const struct {
    std::string text;
    size_t line;
    const char* why;
  } cases[] = {
      {good + Rec('1', 3, 2, {4}, 1) + Rec('9', 0, 2, {}), 2,
       "контрольная сумма"},
      {good + "S1040003G4F4\r\n" + Rec('9', 0, 2, {}), 2, "недопустимый"},
      {good + "S105000304F4\r\n" + Rec('9', 0, 2, {}), 2, "длина"},
      {good + "\r\n:00000001FF\r\n", 3, "не запись"},
      {good + Rec('4', 0, 2, {}), 2, "не запись"},
      {good + Rec('5', 2, 2, {}) + Rec('9', 0, 2, {}), 2, "число записей"},
      {good + Rec('1', 3, 2, {4}), 2, "нет записи конца"},
      {good + Rec('9', 0, 2, {7}), 2, "длина"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    const ImageResult r = ReadSrec(c.text);
    EXPECT_EQ(r.status, ImageStatus::kRefused);
    EXPECT_EQ(r.line, c.line);
    EXPECT_NE(r.warning.find("строка " + std::to_string(c.line) + ":"),
              std::string::npos)
        << r.warning;
    EXPECT_NE(r.warning.find(c.why), std::string::npos) << r.warning;
    EXPECT_TRUE(r.image.empty());
  }
  // An image reaching the buffer limit is refused with the usual warning.
  const ImageResult big =
      ReadSrec(Rec('2', kBufferLimit - 1, 3, {1}) + Rec('8', 0, 3, {}));
  EXPECT_EQ(big.status, ImageStatus::kRefused);
  EXPECT_EQ(big.warning, kTooLongWarning);
  EXPECT_TRUE(big.image.empty());
}

// A minimal ELF file: header, program headers, then the segments' bytes.
struct Seg {
  uint32_t type;
  uint64_t paddr;
  Bytes bytes;
  uint64_t memsz_extra = 0;
};

Bytes MakeElf(bool wide, bool big, const std::vector<Seg>& segs) {
  const size_t eh = wide ? 64 : 52;
  const size_t ph = wide ? 56 : 32;
  Bytes f(eh + ph * segs.size(), 0);
  auto put = [&](size_t at, uint64_t v, int n) {
    for (int i = 0; i < n; ++i) {
      f[at + (big ? n - 1 - i : i)] = static_cast<uint8_t>(v >> (8 * i));
    }
  };
  std::memcpy(f.data(),
              "\x7F"
              "ELF",
              4);
  f[4] = wide ? 2 : 1;
  f[5] = big ? 2 : 1;
  f[6] = 1;
  put(16, 2, 2);  // ET_EXEC
  put(wide ? 32 : 28, eh, wide ? 8 : 4);
  put(wide ? 54 : 42, ph, 2);
  put(wide ? 56 : 44, segs.size(), 2);
  for (size_t i = 0; i < segs.size(); ++i) {
    const size_t p = eh + i * ph;
    const Seg& s = segs[i];
    const uint64_t offset = f.size();
    f.insert(f.end(), s.bytes.begin(), s.bytes.end());
    put(p, s.type, 4);
    if (wide) {
      put(p + 8, offset, 8);
      put(p + 16, s.paddr + 0x8000, 8);  // a virtual address elsewhere
      put(p + 24, s.paddr, 8);
      put(p + 32, s.bytes.size(), 8);
      put(p + 40, s.bytes.size() + s.memsz_extra, 8);
    } else {
      put(p + 4, offset, 4);
      put(p + 8, s.paddr + 0x8000, 4);
      put(p + 12, s.paddr, 4);
      put(p + 16, s.bytes.size(), 4);
      put(p + 20, s.bytes.size() + s.memsz_extra, 4);
    }
  }
  return f;
}

TEST(ImageFormatsTest, ElfPlacesFileBytesAtPhysicalAddresses) {
  for (const bool wide : {false, true}) {
    for (const bool big : {false, true}) {
      SCOPED_TRACE(std::to_string(wide) + std::to_string(big));
      const Bytes elf = MakeElf(wide, big,
                                {{1, 4, {1, 2}, 16},  // memory-only tail
                                 {4, 0, {9, 9}},      // a note: not loaded
                                 {1, 1, {7}},
                                 {1, 40, {}, 8}});  // nothing in the file
      const ImageResult r = ReadElf(View(elf));
      ASSERT_EQ(r.status, ImageStatus::kImage) << r.warning;
      EXPECT_EQ(r.image, (Bytes{0xFF, 7, 0xFF, 0xFF, 1, 2}));
      EXPECT_EQ(FormatOfContent(View(elf)), ImageFormat::kElf);
    }
  }
}

TEST(ImageFormatsTest, UnsuitableElfIsRefusedWithTheReason) {
  const Bytes good = MakeElf(false, false, {{1, 0, {1, 2, 3}}});
  Bytes cut_segment = good;
  cut_segment.pop_back();
  Bytes bad_class = good;
  bad_class[4] = 3;
  const struct {
    Bytes file;
    const char* why;
  } cases[] = {
      {Bytes{'E', 'L', 'F'}, "не ELF"},
      {Bytes(good.begin(), good.begin() + 40), "обрезан"},
      {cut_segment, "обрезан"},
      {bad_class, "разрядность"},
      {MakeElf(true, true, {}), "нет загружаемых данных"},
      {MakeElf(true, false, {{1, 0, {}, 4}}), "нет загружаемых данных"},
      {MakeElf(false, true, {{1, kElfAddressLimit - 1, {1, 2}}}), "16 МиБ"},
      {MakeElf(true, false, {{1, ~uint64_t{0}, {1, 2}}}), "16 МиБ"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.why);
    const ImageResult r = ReadElf(View(c.file));
    EXPECT_EQ(r.status, ImageStatus::kRefused);
    EXPECT_NE(r.warning.find(c.why), std::string::npos) << r.warning;
    EXPECT_TRUE(r.image.empty());
  }
}

TEST(ImageFormatsTest, ContentDecidesWhenEveryLineIsARecord) {
  const std::string hex = ":0200000001FEFF\r\n\r\n  :00000001FF  \r\n";
  EXPECT_EQ(FormatOfContent(hex), ImageFormat::kIntelHex);
  EXPECT_EQ(FormatOfContent("S1040000FFFB\nS9030000FC\n"), ImageFormat::kSrec);
  EXPECT_EQ(FormatOfContent(hex + "# note\n"), ImageFormat::kRaw);
  EXPECT_EQ(FormatOfContent(hex + "S9030000FC\n"), ImageFormat::kRaw);
  EXPECT_EQ(FormatOfContent(":00000001F\n"), ImageFormat::kRaw);  // odd
  EXPECT_EQ(FormatOfContent("\r\n\n"), ImageFormat::kRaw);
  EXPECT_EQ(FormatOfContent(""), ImageFormat::kRaw);
  EXPECT_EQ(FormatOfContent(std::string("\x7F"
                                        "ELF",
                                        4)),
            ImageFormat::kElf);

  // The name counts only where the content is no known format, and a raw
  // name over a known format is a question.
  EXPECT_EQ(FormatOfName("/a.b/fw.S19", true, true), ImageFormat::kSrec);
  EXPECT_EQ(FormatOfName("fw.ihx", false, true), ImageFormat::kRaw);
  EXPECT_EQ(SaveFormatOfName("fw.elf", true, true), ImageFormat::kRaw);
  const FormatDecision asked =
      DecideFormat(ImageFormat::kRaw, ImageFormat::kSrec);
  EXPECT_TRUE(asked.ask);
  EXPECT_EQ(asked.format, ImageFormat::kSrec);
  const FormatDecision by_content =
      DecideFormat(ImageFormat::kIntelHex, ImageFormat::kSrec);
  EXPECT_FALSE(by_content.ask);
  EXPECT_EQ(by_content.format, ImageFormat::kSrec);
  EXPECT_EQ(DecideFormat(ImageFormat::kElf, ImageFormat::kRaw).format,
            ImageFormat::kElf);  // and the ELF reader refuses it
}

}  // namespace
}  // namespace taktm
