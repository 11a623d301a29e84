// An emulator catalogue with one 128 KiB chip that allows every operation the
// program carries out. The built-in DEMO-128K has no program memory verify,
// so a write on it is never verified; this one has the same sizes, bits and
// signature and also verifies.
#ifndef TAKT_TESTS_HARNESS_VERIFIABLE_CATALOGUE_H_
#define TAKT_TESTS_HARNESS_VERIFIABLE_CATALOGUE_H_

#include <cstdint>
#include <fstream>
#include <string>

namespace taktm::testing {

inline constexpr uint32_t kBigFlashSize = 131072;
inline constexpr int kBigLockBits = 4;

inline constexpr char kVerifiableCatalogue[] =
    "chip DEMO-128K\n"
    "flash 131072\n"
    "eeprom 4096\n"
    "operations 0 3 4 5 6 7 9 10 11 12 13 14 15 20\n"
    "signature 5A 80 04\n"
    "calibration B0 B1 B2\n"
    "f1 256\n"
    "lock LOCK0\n"
    "lock LOCK1\n"
    "lock LOCK2\n"
    "lock LOCK3\n"
    "fuse 1 CLK0\n"
    "fuse 1 CLK1\n"
    "fuse 0 CLK2\n"
    "fuse 0 BOOT0\n"
    "fuse 0 BOOT1\n"
    "fuse 0 WDT\n"
    "fuse 1 JTAG\n";

// Writes the catalogue to `path`; true when it was written whole.
inline bool WriteVerifiableCatalogue(const std::string& path) {
  std::ofstream out(path, std::ios::trunc);
  out << kVerifiableCatalogue;
  return static_cast<bool>(out.flush());
}

}  // namespace taktm::testing

#endif  // TAKT_TESTS_HARNESS_VERIFIABLE_CATALOGUE_H_
