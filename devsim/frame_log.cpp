#include "frame_log.h"

namespace taktm::devsim {

std::string HexBytes(const std::vector<uint8_t>& bytes) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string text;
  for (uint8_t b : bytes) {
    if (!text.empty()) text.push_back(' ');
    text.push_back(kHex[b >> 4]);
    text.push_back(kHex[b & 15]);
  }
  return text;
}

FrameLog::~FrameLog() {
  if (file_) std::fclose(file_);
}

bool FrameLog::Open(const std::string& path) {
  file_ = std::fopen(path.c_str(), "we");
  return file_ != nullptr;
}

void FrameLog::Frame(const char* direction, const char* tag,
                     const std::vector<uint8_t>& bytes) {
  if (!file_) return;
  std::string line = direction;
  if (*tag) line += std::string(" ") + tag;
  if (!bytes.empty()) {
    line += ' ';
    line += HexBytes(bytes);
  }
  Line(line);
}

void FrameLog::Line(const std::string& text) {
  if (!file_) return;
  std::fputs(text.c_str(), file_);
  std::fputc('\n', file_);
  std::fflush(file_);
}

}  // namespace taktm::devsim
