// The "Девятый бит" list and the line parity each of its items selects.
#ifndef TAKT_CONFIG_PARITY_H_
#define TAKT_CONFIG_PARITY_H_

#include <array>
#include <optional>

namespace taktm {

// Items of the list, in list order (index 0 .. 4).
inline constexpr std::array<const char*, 5> kParityItems = {"Нет", "Чет",
                                                            "Нечет", "0", "1"};
// The text the list shows before any item is picked (no item selected).
inline constexpr char kParityInitialText[] = "Чет";

// Line parity codes as the serial port component numbers them (its TParity).
inline constexpr int kParityCodeNone = 0;
inline constexpr int kParityCodeOdd = 1;
inline constexpr int kParityCodeEven = 2;
inline constexpr int kParityCodeMark = 3;
inline constexpr int kParityCodeSpace = 4;

// The parity code to set on the port for the list's selected index, or
// nothing when the port's own parity is to be left alone (no item selected,
// -1, or any index outside the list). The crossings are deliberate: devices
// and stored settings rely on them (index 1 "Чет" is odd parity, 2 "Нечет"
// even, 3 "0" space, 4 "1" mark).
std::optional<int> ParityCodeForIndex(int index);

}  // namespace taktm

#endif  // TAKT_CONFIG_PARITY_H_
