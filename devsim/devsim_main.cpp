// takt-m-devsim: a virtual programmer on a pseudo-terminal. Prints the port
// name on its first line of output, then plays the device until SIGINT or
// SIGTERM (or a --hangup-after), and removes its --link on the way out.
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "chip_catalogue.h"
#include "device_loop.h"
#include "device_model.h"
#include "devsim_options.h"
#include "frame_log.h"
#include "memory_files.h"
#include "pty_port.h"

namespace {

int stop_pipe[2] = {-1, -1};

void OnStopSignal(int) {
  const char byte = 1;
  [[maybe_unused]] const ssize_t n = ::write(stop_pipe[1], &byte, 1);
}

bool InstallSignals() {
  if (::pipe(stop_pipe) != 0) return false;
  for (int fd : stop_pipe) {
    ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
  }
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  ::sigemptyset(&action.sa_mask);
  for (int sig : {SIGINT, SIGTERM, SIGHUP}) ::sigaction(sig, &action, nullptr);
  action.sa_handler = SIG_IGN;
  ::sigaction(SIGPIPE, &action, nullptr);
  return true;
}

int Fail(const std::string& message) {
  std::fprintf(stderr, "takt-m-devsim: %s\n", message.c_str());
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace taktm::devsim;
  DevsimOptions options;
  std::string error;
  if (!ParseDevsimOptions(std::vector<std::string>(argv + 1, argv + argc),
                          options, error)) {
    return Fail(error + " (see --help)");
  }
  if (options.help) {
    std::fputs(DevsimUsage(), stdout);
    return 0;
  }

  Catalogue catalogue = BuiltInCatalogue();
  if (!options.chips_path.empty() &&
      !LoadCatalogueFile(options.chips_path, catalogue, error)) {
    return Fail(error);
  }
  DeviceModel model(std::move(catalogue), options.model);
  MemoryFiles memory_files(options.memory_dir, model);
  if (!options.memory_dir.empty()) {
    if (!memory_files.Open(error)) return Fail(error);
    model.set_observer(&memory_files);
  }
  FrameLog log;
  if (!options.log_path.empty() && !log.Open(options.log_path)) {
    return Fail("cannot write " + options.log_path);
  }
  if (!InstallSignals()) return Fail("cannot install signal handlers");

  PtyPort port;
  if (!port.Open(error)) return Fail(error);
  if (!options.link_path.empty() && !port.MakeLink(options.link_path, error)) {
    return Fail(error);
  }
  std::printf("%s\n", port.name().c_str());
  std::fflush(stdout);

  DeviceLoop loop(options, model, log);
  loop.Run(port.master_fd(), stop_pipe[0]);
  if (!memory_files.ok())
    std::fprintf(stderr, "takt-m-devsim: %s\n", memory_files.error().c_str());
  port.RemoveLink();
  port.Close();
  return 0;
}
