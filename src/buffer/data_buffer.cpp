#include "buffer/data_buffer.h"

#include <algorithm>
#include <cstring>

namespace taktm {

size_t DataBuffer::WriteAt(size_t address, const uint8_t* bytes, size_t count) {
  if (address >= bytes_.size()) return 0;
  const size_t n = std::min(count, bytes_.size() - address);
  if (n > 0) std::memcpy(bytes_.data() + address, bytes, n);
  return n;
}

bool DataBuffer::Set(size_t i, uint8_t value) {
  if (i >= bytes_.size()) return false;
  bytes_[i] = value;
  return true;
}

}  // namespace taktm
