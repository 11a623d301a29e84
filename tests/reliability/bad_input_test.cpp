// The bad-input corpus (tests/data/bad_input) loaded as working files, each
// with the outcome its manifest line expects: accepted (image size and
// SHA-256), refused (one warning naming the line, the too-long warning, or
// a reason without a line for ELF) or abandoned (nothing loaded, no
// message). The three large raw files are generated here rather than kept
// in the repository.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "buffer/buffer_editor.h"
#include "buffer/data_buffer.h"
#include "buffer/fake_buffer_host.h"
#include "buffer/working_file.h"
#include "harness/temp_dir.h"
#include "reliability/sha256.h"

namespace taktm::testing {
namespace {

struct Entry {
  std::string file;     // name in bad_input/, or gen:NAME
  std::string outcome;  // accepted, refused, abandoned
  std::string detail;   // SIZE:SHA256, a line number or "limit", or "-"
  std::string note;
};

std::vector<Entry> ReadManifest() {
  std::ifstream in(std::string(TAKT_DATA_DIR) + "/bad_input.manifest");
  std::vector<Entry> entries;
  for (std::string line; std::getline(in, line);) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream fields(line);
    Entry e;
    std::getline(fields, e.file, '\t');
    std::getline(fields, e.outcome, '\t');
    std::getline(fields, e.detail, '\t');
    std::getline(fields, e.note);
    entries.push_back(e);
  }
  return entries;
}

// The generated raw files: byte i is (7i + i/256) mod 256.
std::vector<uint8_t> Pattern(size_t n) {
  std::vector<uint8_t> bytes(n);
  for (size_t i = 0; i < n; ++i) {
    bytes[i] = static_cast<uint8_t>(i * 7 + (i >> 8));
  }
  return bytes;
}

class BadInputTest : public ::testing::TestWithParam<Entry> {};

TEST(BadInputManifestTest, HoldsAtLeastFortyFilesOfEachKindOfOutcome) {
  const std::vector<Entry> entries = ReadManifest();
  EXPECT_GE(entries.size(), 40u);
  for (const char* outcome : {"accepted", "refused", "abandoned"}) {
    EXPECT_TRUE(
        std::any_of(entries.begin(), entries.end(),
                    [&](const Entry& e) { return e.outcome == outcome; }))
        << outcome;
  }
}

TEST_P(BadInputTest, LoadsWithTheExpectedOutcome) {
  const Entry& e = GetParam();
  TempDir dir;
  std::string path = std::string(TAKT_DATA_DIR) + "/bad_input/" + e.file;
  if (e.file.rfind("gen:", 0) == 0) {
    const std::string name = e.file.substr(4);
    const size_t size = name == "raw_7ffff.bin"   ? 0x7FFFF
                        : name == "raw_80000.bin" ? 0x80000
                                                  : 600000;
    path = dir.File(name);
    const std::vector<uint8_t> bytes = Pattern(size);
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
  }

  FakeBufferHost host;  // both HEX options on
  // A raw name over content of another format: load the bytes as they are.
  host.answers = {Answer::kNo};
  DataBuffer buffer;
  buffer.Assign({1, 2, 3});  // whatever was loaded before
  BufferEditor editor(buffer, host);
  WorkingFileController working_file(editor, host);
  working_file.SetWorkingFile(path);
  const LoadOutcome outcome = working_file.LoadFile();
  EXPECT_TRUE(host.errors.empty()) << host.errors.front();

  if (e.outcome == "accepted") {
    EXPECT_EQ(outcome, LoadOutcome::kLoaded);
    EXPECT_TRUE(host.warnings.empty());
    const std::string expected =
        std::to_string(buffer.size()) + ":" + Sha256Hex(buffer.bytes());
    EXPECT_EQ(expected, e.detail) << "image size:SHA-256";
  } else if (e.outcome == "refused") {
    EXPECT_EQ(outcome, LoadOutcome::kRefused);
    ASSERT_EQ(host.warnings.size(), 1u);
    if (e.detail == "limit") {
      EXPECT_EQ(host.warnings[0], kTooLongWarning);
    } else if (e.detail == "-") {  // a refusal with a reason, no line (ELF)
      EXPECT_EQ(host.warnings[0].find("строка"), std::string::npos);
    } else {
      EXPECT_NE(host.warnings[0].find("строка " + e.detail + ":"),
                std::string::npos)
          << host.warnings[0];
    }
    EXPECT_TRUE(buffer.empty());
  } else {
    ASSERT_EQ(e.outcome, "abandoned");
    EXPECT_TRUE(outcome == LoadOutcome::kAbandoned ||
                outcome == LoadOutcome::kTooLarge)
        << static_cast<int>(outcome);
    EXPECT_TRUE(host.warnings.empty());
    EXPECT_TRUE(buffer.empty());
  }
}

std::string TestName(const ::testing::TestParamInfo<Entry>& info) {
  std::string name = info.param.file;
  for (char& c : name) {
    if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
  }
  return name;
}

INSTANTIATE_TEST_SUITE_P(Corpus, BadInputTest,
                         ::testing::ValuesIn(ReadManifest()), TestName);

}  // namespace
}  // namespace taktm::testing
