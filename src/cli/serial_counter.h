// The serial number counter: a text file holding the next number in
// decimal. A number is taken under an exclusive lock on the file, and the
// next value is on the disk (a new file renamed over the old one, the
// folder flushed) before the number is handed out: a run killed at any
// moment either took no number or left it burnt, never to be given again.
#ifndef TAKT_CLI_SERIAL_COUNTER_H_
#define TAKT_CLI_SERIAL_COUNTER_H_

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace taktm {

struct CounterResult {
  std::optional<uint64_t> value;  // empty on failure
  std::string error;              // why, naming the file
};

// The number the counter would give next, without taking it, and whether a
// number can be taken at all (the folder takes the new file): the check
// made before anything reaches a chip.
CounterResult PeekCounter(const std::string& path);

// Called with the number about to be taken, under the counter's lock and
// before the counter moves: its record goes first, so that no number is
// ever taken without one. An error text refuses the number.
using BeforeTake = std::function<std::string(uint64_t number)>;

// Takes the next number, at most `max_value` (what fits the number's place),
// and moves the counter on by `step`; a larger number, or a next value past
// 64 bits, is refused and the counter left as it was, as it is when
// `before` gives an error.
CounterResult TakeSerial(const std::string& path, uint64_t max_value,
                         const BeforeTake& before = {}, uint64_t step = 1);

}  // namespace taktm

#endif  // TAKT_CLI_SERIAL_COUNTER_H_
