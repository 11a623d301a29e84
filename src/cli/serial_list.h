// Pre-assigned serial numbers: a list file with one number a line (decimal,
// or hexadecimal after 0x; blank lines and '#' comments skipped), handed out
// in order. How many were handed out is kept beside the list, in
// "LIST.taken" (the count, in decimal, as the counter file keeps its next
// number), replaced under an exclusive lock on the list, so that no number
// is handed out twice, by two processes at once or after a crash: the
// count is on the disk before the number goes to a chip.
#ifndef TAKT_CLI_SERIAL_LIST_H_
#define TAKT_CLI_SERIAL_LIST_H_

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cli/record_stores.h"
#include "cli/serial_counter.h"

namespace taktm {

// The numbers of a list's text, in order. Nothing, with `error` naming the
// line (counted from 1), for a line that is not one number, a number above
// `max_value`, or one given twice. `shown` names the list in the error.
std::optional<std::vector<uint64_t>> ParseSerialList(std::string_view text,
                                                     uint64_t max_value,
                                                     const std::string& shown,
                                                     std::string* error);

// The number the list gives next, without taking it, after checking every
// line of the list and that the count can be kept.
CounterResult PeekList(const std::string& path, uint64_t max_value);

// Takes the next number of the list; `before` records it first (under the
// list's lock), and its error refuses it, the count left as it was.
CounterResult TakeFromList(const std::string& path, uint64_t max_value,
                           const BeforeTake& before = {});

class ListSerialSource : public SerialSource {
 public:
  // `max_value`: what the number's place holds; every number of the list
  // must fit it.
  ListSerialSource(std::string path, uint64_t max_value)
      : path_(std::move(path)), max_value_(max_value) {}
  CounterResult Peek() override { return PeekList(path_, max_value_); }
  CounterResult Take(uint64_t max_value, const BeforeTake& before) override {
    return TakeFromList(path_, std::min(max_value, max_value_), before);
  }
  std::string name() const override { return "\"" + path_ + "\""; }

 private:
  std::string path_;
  uint64_t max_value_;
};

}  // namespace taktm

#endif  // TAKT_CLI_SERIAL_LIST_H_
