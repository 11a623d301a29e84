#include "memory_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace taktm::devsim {
namespace {

constexpr MemoryKind kKinds[] = {MemoryKind::kFlash, MemoryKind::kEeprom,
                                 MemoryKind::kFuses, MemoryKind::kLocks};

const char* Suffix(MemoryKind kind) {
  switch (kind) {
    case MemoryKind::kFlash:
      return ".flash";
    case MemoryKind::kEeprom:
      return ".eeprom";
    case MemoryKind::kFuses:
      return ".fuses";
    case MemoryKind::kLocks:
      break;
  }
  return ".locks";
}

}  // namespace

std::string MemoryFiles::PathOf(size_t chip, MemoryKind kind) const {
  return dir_ + "/" + FileStem(model_.catalogue().chips[chip].name) +
         Suffix(kind);
}

bool MemoryFiles::Open(std::string& error) {
  if (::mkdir(dir_.c_str(), 0777) != 0 && errno != EEXIST) {
    error = "cannot create " + dir_ + ": " + std::strerror(errno);
    return false;
  }
  for (size_t chip = 0; chip < model_.catalogue().chips.size(); ++chip) {
    for (MemoryKind kind : kKinds) {
      std::vector<uint8_t>& memory = model_.chip_state(chip).Of(kind);
      const std::string path = PathOf(chip, kind);
      const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
      if (fd >= 0) {
        size_t done = 0;
        while (done < memory.size()) {
          const ssize_t n =
              ::read(fd, memory.data() + done, memory.size() - done);
          if (n < 0 && errno == EINTR) continue;
          if (n <= 0) break;
          done += static_cast<size_t>(n);
        }
        ::close(fd);
        if (kind == MemoryKind::kFuses || kind == MemoryKind::kLocks) {
          for (uint8_t& bit : memory) bit = bit != 0 ? 1 : 0;
        }
      } else if (errno != ENOENT) {
        error = "cannot read " + path + ": " + std::strerror(errno);
        return false;
      }
      if (!Write(chip, kind, 0, static_cast<uint32_t>(memory.size()), true)) {
        error = error_;
        return false;
      }
    }
  }
  return true;
}

void MemoryFiles::MemoryChanged(size_t chip, MemoryKind kind, uint32_t offset,
                                uint32_t count) {
  Write(chip, kind, offset, count, false);
}

bool MemoryFiles::Write(size_t chip, MemoryKind kind, uint32_t offset,
                        uint32_t count, bool truncate) {
  const std::vector<uint8_t>& memory = model_.chip_state(chip).Of(kind);
  const std::string path = PathOf(chip, kind);
  const int fd =
      ::open(path.c_str(),
             O_WRONLY | O_CREAT | O_CLOEXEC | (truncate ? O_TRUNC : 0), 0666);
  bool ok = fd >= 0;
  size_t done = 0;
  while (ok && done < count) {
    const ssize_t n = ::pwrite(fd, memory.data() + offset + done, count - done,
                               offset + done);
    if (n < 0 && errno == EINTR) continue;
    ok = n > 0;
    if (ok) done += static_cast<size_t>(n);
  }
  if (!ok) error_ = "cannot write " + path + ": " + std::strerror(errno);
  if (fd >= 0 && ::close(fd) != 0 && ok) {
    ok = false;
    error_ = "cannot write " + path + ": " + std::strerror(errno);
  }
  return ok;
}

}  // namespace taktm::devsim
