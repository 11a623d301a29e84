// Image files made by the system's binutils from random images: S-record
// files by objcopy (record lengths, forced S3, addresses past 64 KiB) and
// ELF executables by ld from a linker script (32/64-bit, both byte orders,
// one and two loadable segments, a physical address apart from the
// virtual one), each with objcopy's own flat reading of it as the truth.
// The scripts name their program headers, so that no segment carries the
// file's own headers (objcopy's flat image holds sections only).
// Plus a relocatable file made by objcopy from a binary, which has no
// loadable segment. POSIX only (the tools run through the shell).
#ifndef TAKT_TESTS_HARNESS_BINUTILS_CORPUS_H_
#define TAKT_TESTS_HARNESS_BINUTILS_CORPUS_H_

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "harness/random_bytes.h"
#include "harness/temp_dir.h"

namespace taktm::testing {

struct CorpusFile {
  std::string path;
  std::string what;
  bool loadable = true;  // false: the program must refuse it
  // The image the program must load: 0xFF up to the lowest address, then
  // `objcopy -O binary --gap-fill 0xFF` of the file.
  std::vector<uint8_t> image;
};

// Runs a tool; what it says goes to `log` (in the test's own folder).
inline bool RunTool(const std::string& command, const std::string& log) {
  const int status = std::system((command + " >>'" + log + "' 2>&1").c_str());
  EXPECT_EQ(status, 0) << command << "\n" << ReadText(log);
  return status == 0;
}

// objcopy's flat image of `path` (read as `input_format`), placed at `base`.
inline std::vector<uint8_t> FlatImage(const std::string& objcopy,
                                      const std::string& input_format,
                                      const std::string& path, uint32_t base) {
  const std::string flat = path + ".flat";
  RunTool(objcopy + " -I " + input_format + " -O binary --gap-fill 0xFF '" +
              path + "' '" + flat + "'",
          path + ".log");
  std::vector<uint8_t> image(base, 0xFF);
  const std::vector<uint8_t> bytes = ReadFile(flat);
  image.insert(image.end(), bytes.begin(), bytes.end());
  return image;
}

// `small` keeps every image below 8 KiB (a chip's flash in the tests).
inline std::vector<CorpusFile> MakeBinutilsCorpus(const TempDir& dir,
                                                  const std::string& objcopy,
                                                  const std::string& ld,
                                                  uint32_t seed, bool small) {
  std::vector<CorpusFile> files;
  const std::string log = dir.File("tools.log");
  const std::string a = dir.File("a.bin");
  const std::string b = dir.File("b.bin");
  WriteFile(a, RandomBytes(3000, seed));
  WriteFile(b, RandomBytes(700, seed + 1));

  struct Srec {
    const char* name;
    const char* options;
    uint32_t base;
  };
  std::vector<Srec> srecs = {{"plain.srec", "", 0x300},
                             {"len7.s19", "--srec-len 7", 0x10},
                             {"forced.s37", "--srec-forceS3", 0x200}};
  if (!small) srecs.push_back({"high.s28", "--srec-len 64", 0x12340});
  for (const Srec& s : srecs) {
    CorpusFile f;
    f.path = dir.File(s.name);
    f.what = std::string("objcopy -O srec ") + s.options;
    RunTool(objcopy + " -I binary -O srec " + s.options +
                " --change-addresses " + std::to_string(s.base) + " '" + a +
                "' '" + f.path + "'",
            log);
    f.image = FlatImage(objcopy, "srec", f.path, s.base);
    files.push_back(f);
  }

  const std::string one = dir.File("one.ld");
  WriteFile(one, std::string("PHDRS { one PT_LOAD; }\n"
                             "SECTIONS {\n"
                             "  .image 0x240 : { *a.bin(.data) } :one\n"
                             "  /DISCARD/ : { *(*) }\n"
                             "}\n"));
  const std::string two = dir.File("two.ld");
  WriteFile(two,
            std::string("PHDRS { one PT_LOAD; two PT_LOAD; }\n"
                        "SECTIONS {\n"
                        "  .one 0x100 : { *a.bin(.data) } :one\n"
                        "  .two 0x4000 : AT(0x1800) { *b.bin(.data) } :two\n"
                        "  /DISCARD/ : { *(*) }\n"
                        "}\n"));
  for (const char* format :
       {"elf32-i386", "elf64-x86-64", "elf32-big", "elf64-big"}) {
    for (const bool two_segments : {false, true}) {
      CorpusFile f;
      f.path =
          dir.File(std::string(format) + (two_segments ? "-2" : "-1") + ".elf");
      f.what = std::string("ld --oformat ") + format +
               (two_segments ? ", two segments" : ", one segment");
      RunTool(ld + " -T '" + (two_segments ? two : one) + "' --oformat " +
                  format + " -e 0 -o '" + f.path + "' -b binary '" + a + "'" +
                  (two_segments ? " '" + b + "'" : std::string()),
              log);
      f.image =
          FlatImage(objcopy, format, f.path, two_segments ? 0x100 : 0x240);
      files.push_back(f);
    }
  }

  CorpusFile relocatable;
  relocatable.path = dir.File("relocatable.elf");
  relocatable.what = "objcopy -I binary -O elf32-i386 (no loadable segment)";
  relocatable.loadable = false;
  RunTool(objcopy + " -I binary -O elf32-i386 '" + a + "' '" +
              relocatable.path + "'",
          log);
  files.push_back(relocatable);
  return files;
}

}  // namespace taktm::testing

#endif  // TAKT_TESTS_HARNESS_BINUTILS_CORPUS_H_
