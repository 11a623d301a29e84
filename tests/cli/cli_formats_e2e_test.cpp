// takt-m-cli and the formats of its files, against takt-m-devsim: what
// reaches the chip is the image the file describes, whatever its name, the
// window's stored options or the skipping of 0xFF chunks; standard input
// and output as the file "-".
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "buffer/intel_hex_writer.h"
#include "buffer/srec.h"
#include "harness/binutils_corpus.h"
#include "harness/cli_process.h"
#include "harness/devsim_process.h"
#include "harness/random_bytes.h"
#include "harness/temp_dir.h"

namespace taktm::testing {
namespace {

using Bytes = std::vector<uint8_t>;

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

class CliFormatsTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(::mkdir(File("mem").c_str(), 0700), 0); }
  void Start() {
    devsim_ = std::make_unique<DevsimProcess>(
        std::vector<std::string>{"--memory-dir", File("mem"), "--ack-ms", "2"});
    ASSERT_FALSE(devsim_->port().empty()) << "takt-m-devsim did not start";
  }
  void TearDown() override { devsim_.reset(); }

  std::string File(const std::string& name) const { return dir_.File(name); }
  Bytes Flash() const { return ReadBytes(File("mem/DEMO-8K.flash")); }
  // The chip holds `image` from address 0.
  void ExpectFlashStartsWith(const Bytes& image) const {
    const Bytes flash = Flash();
    ASSERT_GE(flash.size(), image.size());
    EXPECT_TRUE(std::equal(image.begin(), image.end(), flash.begin()));
  }

  CliResult Cli(std::vector<std::string> args) {
    args.insert(args.begin(), {"--port", devsim_->port(), "--chip", "DEMO-8K"});
    return RunCliProcess(args, File("cfg"));
  }
  void WriteStore(const std::string& ini) {
    ASSERT_EQ(std::system(("mkdir -p '" + File("cfg/ZARVENTIK") + "'").c_str()),
              0);
    std::ofstream(File("cfg/ZARVENTIK/TAKT-M.conf")) << ini;
  }
  // A shell line with the program's path and the test's settings folder.
  int Shell(const std::string& line) {
    const std::string command =
        "XDG_CONFIG_HOME='" + File("cfg") + "'; export XDG_CONFIG_HOME; CLI='" +
        TAKT_CLI_PATH + "'; PORT='" + devsim_->port() + "'; " + line;
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  TempDir dir_;
  std::unique_ptr<DevsimProcess> devsim_;
};

TEST_F(CliFormatsTest, EveryBinutilsFileWritesItsImage) {
  ASSERT_NO_FATAL_FAILURE(Start());
  const auto corpus =
      MakeBinutilsCorpus(dir_, TAKT_OBJCOPY, TAKT_LD, 7, /*small=*/true);
  for (const CorpusFile& f : corpus) {
    SCOPED_TRACE(f.what);
    const CliResult r = Cli({"--json", "write-flash", f.path});
    if (!f.loadable) {
      EXPECT_EQ(r.status, 6);
      EXPECT_TRUE(Contains(r.out, "нет загружаемых данных")) << r.out;
      continue;
    }
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_TRUE(Contains(r.out, Contains(f.path, ".elf")
                                    ? "\"format\":\"elf\""
                                    : "\"format\":\"srec\""))
        << r.out;
    ExpectFlashStartsWith(f.image);
  }
}

// A HEX file named .ihx was written as its ASCII text.
TEST_F(CliFormatsTest, AnIhxFileIsWrittenAsTheImageItDescribes) {
  ASSERT_NO_FATAL_FAILURE(Start());
  const Bytes image = RandomBytes(1000, 11);
  WriteFile(File("firmware.ihx"), WriteIntelHex(image.data(), image.size()));
  const CliResult r = Cli({"write-flash", File("firmware.ihx")});
  ASSERT_EQ(r.status, 0) << r.err;
  ExpectFlashStartsWith(image);
  // And a read saved under the name is Intel HEX again.
  ASSERT_EQ(Cli({"read-flash", File("back.ihx")}).status, 0);
  EXPECT_EQ(ReadText(File("back.ihx")).rfind(":10000000", 0), 0u);
}

// The window's "понимать HEX-файлы" unticked made the command line write a
// .hex file's text.
TEST_F(CliFormatsTest, StoredCheck4OffDoesNotDecideTheFormat) {
  ASSERT_NO_FATAL_FAILURE(Start());
  ASSERT_NO_FATAL_FAILURE(WriteStore("[General]\nCheck4=0\nCheck12=0\n"));
  const Bytes image = RandomBytes(700, 12);
  WriteFile(File("fw.hex"), WriteIntelHex(image.data(), image.size()));
  const CliResult r = Cli({"--json", "write-flash", File("fw.hex")});
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_TRUE(Contains(r.out, "\"format\":\"ihex\"")) << r.out;
  EXPECT_TRUE(Contains(r.out, "\"settings\":\"stored\""));
  EXPECT_TRUE(Contains(r.out, "\"Check4\":false")) << r.out;
  ExpectFlashStartsWith(image);
  const CliResult defaults =
      Cli({"--json", "--defaults", "verify-flash", File("fw.hex")});
  ASSERT_EQ(defaults.status, 0) << defaults.out;
  EXPECT_TRUE(Contains(defaults.out, "\"settings\":\"defaults\""));
  EXPECT_TRUE(Contains(defaults.out, "\"Check4\":true")) << defaults.out;
}

// With "перезаписывать FF" off and no erase, the 0xFF chunks were neither
// written nor verified: old bytes stayed under "Все верно." and exit 0.
TEST_F(CliFormatsTest, SkippingFFWithoutAnEraseStillWritesEveryChunk) {
  // The first chunk is blank on the chip, the rest holds old bytes.
  Bytes old(8192, 0x3C);
  std::fill(old.begin(), old.begin() + 224, 0xFF);
  WriteFile(File("mem/DEMO-8K.flash"), old);
  ASSERT_NO_FATAL_FAILURE(Start());
  Bytes image(8192, 0xFF);
  std::fill(image.begin(), image.begin() + 224, 0x5A);
  WriteFile(File("sparse.bin"), image);
  // Programming cannot set bits back without an erase: the verify of every
  // chunk finds the old bytes and says so.
  const CliResult kept =
      Cli({"--no-erase", "--skip-ff", "write-flash", File("sparse.bin")});
  EXPECT_EQ(kept.status, 5) << kept.out << kept.err;
  EXPECT_FALSE(Contains(kept.out, "Все верно."));
  // With the erase in the same write the skip is safe, and taken.
  const CliResult erased = Cli(
      {"--erase", "--skip-ff", "--json", "write-flash", File("sparse.bin")});
  ASSERT_EQ(erased.status, 0) << erased.out;
  EXPECT_EQ(Flash(), image);
}

TEST_F(CliFormatsTest, ARawNameOverHexContentIsRefusedUnlessTold) {
  ASSERT_NO_FATAL_FAILURE(Start());
  const Bytes image = RandomBytes(300, 14);
  const std::string text = WriteSrec(image.data(), image.size());
  WriteFile(File("fw.bin"), text);
  const CliResult refused = Cli({"write-flash", File("fw.bin")});
  EXPECT_EQ(refused.status, 6);
  EXPECT_TRUE(Contains(refused.err, "S-record")) << refused.err;
  EXPECT_TRUE(Contains(refused.err, "--format raw"));
  EXPECT_TRUE(Contains(refused.err, "--format srec"));
  EXPECT_EQ(Flash(), Bytes(8192, 0xFF));  // nothing was written

  ASSERT_EQ(Cli({"--format", "srec", "write-flash", File("fw.bin")}).status, 0);
  ExpectFlashStartsWith(image);
  ASSERT_EQ(Cli({"--format=raw", "write-flash", File("fw.bin")}).status, 0);
  ExpectFlashStartsWith(Bytes(text.begin(), text.end()));

  // A format with its own addresses refuses an offset.
  EXPECT_EQ(
      Cli({"--offset", "16", "--format", "srec", "write-flash", File("fw.bin")})
          .status,
      2);
  EXPECT_EQ(Cli({"--offset", "16", "write-flash", File("fw.srec.txt")}).status,
            6);  // no such file
  WriteFile(File("fw.s19"), text);
  EXPECT_EQ(Cli({"--offset", "16", "write-flash", File("fw.s19")}).status, 2);
}

// A bootloader and an application from separate files: the application
// placed with --offset leaves the bootloader's bytes alone.
TEST_F(CliFormatsTest, AnOffsetImageLeavesWhatLiesBelowIt) {
  ASSERT_NO_FATAL_FAILURE(Start());
  const Bytes boot = RandomBytes(0x400, 17);
  const Bytes app = RandomBytes(3000, 18);
  WriteFile(File("boot.bin"), boot);
  WriteFile(File("app.bin"), app);
  ASSERT_EQ(Cli({"write-flash", File("boot.bin")}).status, 0);
  const CliResult placed = Cli({"--no-erase", "--offset", "0x400", "--json",
                                "write-flash", File("app.bin")});
  ASSERT_EQ(placed.status, 0) << placed.out;
  EXPECT_TRUE(Contains(placed.out, "\"offset\":1024")) << placed.out;
  EXPECT_TRUE(Contains(placed.out, "\"bytes\":4024")) << placed.out;
  Bytes both = boot;
  both.insert(both.end(), app.begin(), app.end());
  ExpectFlashStartsWith(both);
  EXPECT_EQ(Cli({"--offset=1024", "verify-flash", File("app.bin")}).status, 0);
  EXPECT_EQ(Cli({"verify-flash", File("boot.bin")}).status, 0);
}

TEST_F(CliFormatsTest, StandardInputAndOutputAsTheFile) {
  ASSERT_NO_FATAL_FAILURE(Start());
  const Bytes image = RandomBytes(8192, 15);
  WriteFile(File("image.bin"), image);
  WriteFile(File("fw.hex"), WriteIntelHex(image.data(), image.size()));
  EXPECT_EQ(Shell("cat '" + File("fw.hex") +
                  "' | \"$CLI\" --port \"$PORT\" --chip DEMO-8K write-flash - "
                  ">'" +
                  File("write.out") + "' 2>'" + File("write.err") + "'"),
            0)
      << ReadText(File("write.err"));
  EXPECT_EQ(Flash(), image);
  EXPECT_EQ(Shell("\"$CLI\" --port \"$PORT\" --chip DEMO-8K read-flash - "
                  "2>'" +
                  File("read.err") + "' | cmp - '" + File("image.bin") + "'"),
            0);
  EXPECT_TRUE(Contains(ReadText(File("read.err")), "Прочитано 8192 байт"));
  // The format given is the format written; empty input is refused.
  EXPECT_EQ(Shell("\"$CLI\" --port \"$PORT\" --chip DEMO-8K --format srec "
                  "read-flash - 2>'" +
                  File("srec.err") + "' >'" + File("out.srec") + "'"),
            0);
  EXPECT_EQ(ReadSrec(ReadText(File("out.srec"))).image, image);
  EXPECT_EQ(Shell("printf '' | \"$CLI\" --port \"$PORT\" --chip DEMO-8K "
                  "verify-flash - 2>'" +
                  File("empty.err") + "'"),
            6);
  EXPECT_TRUE(Contains(ReadText(File("empty.err")), "Стандартный ввод пуст"));
}

// A name that is not valid UTF-8 reaches the file system byte for byte.
TEST_F(CliFormatsTest, NamesThatAreNotUtf8Work) {
  ASSERT_NO_FATAL_FAILURE(Start());
  const Bytes image = RandomBytes(500, 16);
  const std::string name = File("fw\xFF\xFE.bin");
  WriteFile(name, image);
  const CliResult r = Cli({"write-flash", name});
  ASSERT_EQ(r.status, 0) << r.err;
  ExpectFlashStartsWith(image);
  const std::string out = File("back\xE9.hex");
  ASSERT_EQ(Cli({"read-flash", out}).status, 0);
  EXPECT_EQ(ReadText(out).rfind(":10000000", 0), 0u);
}

}  // namespace
}  // namespace taktm::testing
