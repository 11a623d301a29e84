// DataBuffer: the one image of chip memory; index i is chip address i.
// Every write is bounded by the image's end, so no caller can write past it.
#ifndef TAKT_BUFFER_DATA_BUFFER_H_
#define TAKT_BUFFER_DATA_BUFFER_H_

#include <cstddef>
#include <cstdint>
#include <vector>

namespace taktm {

// Streams and images of this many bytes or more are refused.
inline constexpr size_t kBufferLimit = 0x80000;
// The warning that refuses them.
inline constexpr char kTooLongWarning[] =
    "Вряд ли Вы хотите запрограммировать\n\rфайл такой длины!";

class DataBuffer {
 public:
  size_t size() const { return bytes_.size(); }
  bool empty() const { return bytes_.empty(); }
  const uint8_t* data() const { return bytes_.data(); }
  const std::vector<uint8_t>& bytes() const { return bytes_; }
  uint8_t at(size_t i) const { return bytes_[i]; }

  // New bytes are 0; shrinking drops the tail.
  void Resize(size_t n) {
    bytes_.resize(n, 0);
    origin_ = 0;
  }
  void Clear() {
    bytes_.clear();
    origin_ = 0;
    ++generation_;
  }
  // `origin`: the first address the image's file placed a byte at (a raw
  // file loaded at an offset); the bytes below it are filler that a write
  // or verify leaves alone. Any other change of the whole image resets it.
  void Assign(std::vector<uint8_t> bytes, size_t origin = 0) {
    bytes_ = std::move(bytes);
    origin_ = origin;
    ++generation_;
  }
  size_t origin() const { return origin_; }
  // Changes whenever the image is emptied or replaced as a whole (a file
  // loaded), not when it is resized or written to: a read that is still
  // running can tell that its image is gone.
  uint64_t generation() const { return generation_; }
  // Copies up to `count` bytes to `address`, stopping at the image's end;
  // returns how many were stored.
  size_t WriteAt(size_t address, const uint8_t* bytes, size_t count);
  // Stores one byte; false (and nothing stored) past the end.
  bool Set(size_t i, uint8_t value);

  // BufferModified: set by a committed grid edit.
  bool modified() const { return modified_; }
  void set_modified(bool modified) { modified_ = modified; }

 private:
  std::vector<uint8_t> bytes_;
  bool modified_ = false;
  size_t origin_ = 0;
  uint64_t generation_ = 0;
};

}  // namespace taktm

#endif  // TAKT_BUFFER_DATA_BUFFER_H_
