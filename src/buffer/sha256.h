// SHA-256 of a run of bytes, for the fingerprints of the images a run
// writes (the log names each memory's image by it).
#ifndef TAKT_BUFFER_SHA256_H_
#define TAKT_BUFFER_SHA256_H_

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace taktm {

class Sha256 {
 public:
  Sha256();
  void Update(const uint8_t* bytes, size_t count);
  // The digest; the object is spent after it.
  std::array<uint8_t, 32> Finish();

 private:
  void Block(const uint8_t* block);

  std::array<uint32_t, 8> state_;
  std::array<uint8_t, 64> pending_{};
  size_t pending_count_ = 0;
  uint64_t total_ = 0;  // bytes taken so far
};

// The digest of `count` bytes as 64 lower-case hex digits.
std::string Sha256Hex(const uint8_t* bytes, size_t count);

}  // namespace taktm

#endif  // TAKT_BUFFER_SHA256_H_
