#include "widgets/error_report_text.h"

namespace taktm {

std::string WithFinalPeriod(std::string_view message) {
  std::string text(message);
  // Every byte of a multi-byte UTF-8 character is >= 0x80, so looking at the
  // last byte alone sorts any non-ASCII character after the period.
  if (!text.empty() && static_cast<unsigned char>(text.back()) > '.') {
    text += '.';
  }
  return text;
}

}  // namespace taktm
