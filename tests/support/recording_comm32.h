// A serial port component that records its modem-line calls instead of
// setting the lines; everything else is the real TComm32.
#ifndef TAKT_TESTS_SUPPORT_RECORDING_COMM32_H_
#define TAKT_TESTS_SUPPORT_RECORDING_COMM32_H_

#include <vector>

#include "link/comm32.h"

namespace taktm::testing {

class RecordingComm32 : public TComm32 {
 public:
  explicit RecordingComm32(std::vector<int>* calls) : calls_(calls) {}
  bool SetLineSignal(int code) override {
    calls_->push_back(code);
    return true;
  }

 private:
  std::vector<int>* calls_;
};

}  // namespace taktm::testing

#endif  // TAKT_TESTS_SUPPORT_RECORDING_COMM32_H_
