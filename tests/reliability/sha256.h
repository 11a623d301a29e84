// SHA-256 of a byte string as 64 lower-case hex digits, for comparing loaded
// images with the digests in the bad-input manifest.
#ifndef TAKT_TESTS_RELIABILITY_SHA256_H_
#define TAKT_TESTS_RELIABILITY_SHA256_H_

#include <cstdint>
#include <string>
#include <vector>

#include "buffer/sha256.h"

namespace taktm::testing {

inline std::string Sha256Hex(const std::vector<uint8_t>& message) {
  return taktm::Sha256Hex(message.data(), message.size());
}

}  // namespace taktm::testing

#endif  // TAKT_TESTS_RELIABILITY_SHA256_H_
