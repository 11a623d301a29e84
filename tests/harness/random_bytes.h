// Reproducible pseudo-random bytes for file images in tests and benchmarks.
#ifndef TAKT_TESTS_HARNESS_RANDOM_BYTES_H_
#define TAKT_TESTS_HARNESS_RANDOM_BYTES_H_

#include <cstddef>
#include <cstdint>
#include <vector>

namespace taktm::testing {

inline std::vector<uint8_t> RandomBytes(size_t n, uint32_t seed) {
  std::vector<uint8_t> bytes(n);
  uint32_t x = seed | 1;
  for (auto& b : bytes) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    b = static_cast<uint8_t>(x >> 24);
  }
  return bytes;
}

}  // namespace taktm::testing

#endif  // TAKT_TESTS_HARNESS_RANDOM_BYTES_H_
