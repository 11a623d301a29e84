// The pseudo-terminal the emulator plays the device on, and the optional
// symbolic link that gives it a fixed name.
#ifndef TAKT_DEVSIM_PTY_PORT_H_
#define TAKT_DEVSIM_PTY_PORT_H_

#include <string>

namespace taktm::devsim {

class PtyPort {
 public:
  PtyPort() = default;
  ~PtyPort();
  PtyPort(const PtyPort&) = delete;
  PtyPort& operator=(const PtyPort&) = delete;

  // Opens the master end (non-blocking) and puts the line in raw mode, so
  // that no byte is echoed or translated before the program sets it up.
  bool Open(std::string& error);
  // Makes `path` a symbolic link to the port; an old link there is
  // replaced, any other file is left alone and reported.
  bool MakeLink(const std::string& path, std::string& error);
  // Removes the link if it still points to this port.
  void RemoveLink();
  void Close();

  int master_fd() const { return master_; }
  const std::string& name() const { return name_; }

 private:
  int master_ = -1;
  std::string name_;
  std::string link_;
};

}  // namespace taktm::devsim

#endif  // TAKT_DEVSIM_PTY_PORT_H_
