#include "config/parity.h"

namespace taktm {

std::optional<int> ParityCodeForIndex(int index) {
  switch (index) {
    case 0:
      return kParityCodeNone;
    case 1:
      return kParityCodeOdd;
    case 2:
      return kParityCodeEven;
    case 3:
      return kParityCodeSpace;
    case 4:
      return kParityCodeMark;
    default:
      return std::nullopt;
  }
}

}  // namespace taktm
