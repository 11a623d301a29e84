#include "cli/frame_trace.h"

#include <algorithm>
#include <cstdio>

#include "link/frame.h"

namespace taktm {
namespace {

// How many bytes at the end of `bytes` could begin a preamble.
size_t PreamblePrefixAtEnd(const std::vector<uint8_t>& bytes) {
  for (size_t keep = std::min<size_t>(3, bytes.size()); keep > 0; --keep) {
    if (std::equal(bytes.end() - static_cast<ptrdiff_t>(keep), bytes.end(),
                   kPreamble.begin())) {
      return keep;
    }
  }
  return 0;
}

}  // namespace

void FrameTrace::Line(const std::string& port, int64_t us,
                      const char* direction, const uint8_t* bytes,
                      size_t count) {
  char time[32];
  std::snprintf(time, sizeof time, "%10lld.%03lld",
                static_cast<long long>(us / 1000),
                static_cast<long long>(us % 1000));
  text_ += time;
  if (!port.empty()) text_ += " " + port;
  text_ += " ";
  text_ += direction;
  for (size_t i = 0; i < count; ++i) {
    char hex[4];
    std::snprintf(hex, sizeof hex, " %02X", bytes[i]);
    text_ += hex;
  }
  text_ += '\n';
}

void FrameTrace::Sent(const std::string& port, int64_t us, const uint8_t* bytes,
                      size_t count) {
  Line(port, us, "TX", bytes, count);
}

void FrameTrace::Received(const std::string& port, int64_t us,
                          const uint8_t* bytes, size_t count) {
  Pending& p = pending_[port];
  if (p.bytes.empty()) p.us = us;
  p.bytes.insert(p.bytes.end(), bytes, bytes + count);
  std::vector<uint8_t>& b = p.bytes;
  size_t at = 0;
  for (;;) {
    // Bytes before a preamble are noise.
    const auto preamble =
        std::search(b.begin() + static_cast<ptrdiff_t>(at), b.end(),
                    kPreamble.begin(), kPreamble.end());
    size_t start = static_cast<size_t>(preamble - b.begin());
    if (preamble == b.end()) {
      std::vector<uint8_t> rest(b.begin() + static_cast<ptrdiff_t>(at),
                                b.end());
      start = b.size() - PreamblePrefixAtEnd(rest);
    }
    if (start > at) {
      Line(port, us, "RX ??", b.data() + at, start - at);
      at = start;
    }
    if (b.size() - at < 6) break;  // a header still to come
    const uint8_t* frame = b.data() + at;
    if (Sum8(frame, 5) != frame[5]) {  // no header after all: one byte noise
      Line(port, us, "RX ??", frame, 1);
      ++at;
      continue;
    }
    const size_t size = size_t{frame[4]} + kFrameOverhead;
    if (b.size() - at < size) break;  // its rest is still to come
    Line(port, us, "RX", frame, size);
    at += size;
  }
  b.erase(b.begin(), b.begin() + static_cast<ptrdiff_t>(at));
  p.us = us;
}

std::string FrameTrace::Text() const {
  std::string text = text_;
  FrameTrace rest;
  for (const auto& [port, pending] : pending_) {
    if (!pending.bytes.empty()) {
      rest.Line(port, pending.us, "RX ??", pending.bytes.data(),
                pending.bytes.size());
    }
  }
  return text + rest.text_;
}

}  // namespace taktm
