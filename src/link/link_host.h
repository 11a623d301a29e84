// What the link core needs from the platform around it: the serial port, the
// link watchdog timer, a modal warning box and a repaint of the queue
// progress window. The main window implements it; unit tests fake it.
#ifndef TAKT_LINK_LINK_HOST_H_
#define TAKT_LINK_LINK_HOST_H_

#include <cstdint>
#include <string>

namespace taktm {

class LinkHost {
 public:
  virtual ~LinkHost() = default;
  // Hands one complete frame to the serial port; false when it was not taken.
  virtual bool WriteData(const uint8_t* bytes, uint16_t count) = 0;
  // Stops the 5,000 ms link watchdog and starts it again.
  virtual void RestartWatchdog() = 0;
  // Modal warning with a single OK button; returns when it is closed.
  virtual void ShowWarning(const std::string& text) = 0;
  // The retry limit's warning. It is raised from inside the receive handler;
  // a front-end with an event loop opens the box only after the handler has
  // returned, so that the bytes arriving meanwhile are handled in order and
  // their acknowledgements keep feeding the watchdog.
  virtual void ShowRetryWarning(const std::string& text) { ShowWarning(text); }
  // The queue's progress model changed (maximum, position or visibility).
  virtual void ProgressChanged() {}
};

}  // namespace taktm

#endif  // TAKT_LINK_LINK_HOST_H_
