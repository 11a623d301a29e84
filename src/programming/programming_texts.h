// The program's own texts shown by the chip programming core.
#ifndef TAKT_PROGRAMMING_PROGRAMMING_TEXTS_H_
#define TAKT_PROGRAMMING_PROGRAMMING_TEXTS_H_

#include <cstdint>

namespace taktm {

inline constexpr char kNotConnectedCaption[] = "Программатор не подключен";
inline constexpr char kSignatureLabel[] = "Сигнатура:";
inline constexpr char kSignatureRight[] = " верна";
inline constexpr char kSignatureWrong[] = " не верна!";
inline constexpr char kCalibrationLabel[] = "Калибровочные байты:";
// %X stands for the address of the first chunk that did not verify.
inline constexpr char kVerifyErrorBefore[] = "Ошибка по адресу ";
inline constexpr char kVerifyErrorAfter[] =
    ". Попробуйте программировать снова!";
inline constexpr char kAllRight[] = "Все верно.";
inline constexpr char kImageTooLarge[] =
    "Запишу только то, что войдет в микросхему!";
// A write whose reload of the working file did not load stops before it
// touches the chip.
inline constexpr char kReloadFailed[] =
    "Рабочий файл не загружен. Запись отменена!";
// A memory size that would need more read commands than the queue holds.
inline constexpr char kMemoryTooLarge[] =
    "Размер памяти микросхемы слишком велик для чтения!";

// Background of the status bar when a reply reports a failure.
struct Rgb {
  uint8_t red;
  uint8_t green;
  uint8_t blue;
};
inline constexpr Rgb kErrorColour = {255, 128, 128};

}  // namespace taktm

#endif  // TAKT_PROGRAMMING_PROGRAMMING_TEXTS_H_
