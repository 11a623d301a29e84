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
// The retry limit ended a command that the device answered with replies to
// another one (another address or count).
inline constexpr char kForeignAnswer[] = "Устройство ответило не на ту команду";
inline constexpr char kImageTooLarge[] =
    "Запишу только то, что войдет в микросхему!";
// A write or verify without an image to send (the reload failed, or the
// image is empty) stops before anything is queued; the status line says why
// and ends in one of these.
inline constexpr char kWriteCancelled[] = "Запись отменена!";
inline constexpr char kVerifyCancelled[] = "Сверка отменена!";
inline constexpr char kBufferEmpty[] = "Буфер пуст.";
// A memory size that would need more read commands than the queue holds.
inline constexpr char kMemoryTooLarge[] =
    "Размер памяти микросхемы слишком велик для чтения!";

// A command longer than a frame carries: the sequence stops, nothing of it
// goes out.
inline constexpr char kCommandRefused[] =
    "Команда слишком длинная для кадра! Очередь команд очищена.";

// Background of the status bar when a reply reports a failure.
struct Rgb {
  uint8_t red;
  uint8_t green;
  uint8_t blue;
};
inline constexpr Rgb kErrorColour = {255, 128, 128};

}  // namespace taktm

#endif  // TAKT_PROGRAMMING_PROGRAMMING_TEXTS_H_
