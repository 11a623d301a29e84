#include "harness/headless_host.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QString>
#include <QTimer>
#include <cstdio>

namespace taktm::testing {

HeadlessHost::HeadlessHost(const std::string& port) {
  checks_.fill(true);  // every option is on by default
  core_.queue().AddListener(&counts_);
  session_.on_receive = [this](const uint8_t* bytes, uint16_t count) {
    if (on_receive) on_receive(bytes, count);
  };
  TComm32& comm = session_.comm();
  comm.SetCommPort(QString::fromStdString(port));
  comm.SetBaudRate(56000);
  comm.SetParity(pNone);
  try {
    session_.Open();
    open_ = true;
  } catch (const ECommsError& error) {
    open_error_ = error.what();
  }
}

HeadlessHost::~HeadlessHost() { core_.queue().RemoveListener(&counts_); }

bool HeadlessHost::RunUntil(const std::function<bool()>& done, int ms) {
  const QDeadlineTimer deadline(ms);
  QTimer wake;  // ends the last wait at the deadline
  wake.setSingleShot(true);
  wake.start(ms);
  while (!done()) {
    if (deadline.hasExpired()) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents |
                                    QEventLoop::WaitForMoreEvents);
  }
  return true;
}

bool HeadlessHost::DiscoverSingleChip(int ms) {
  FormShow();
  if (!RunUntil(
          [this] {
            return programmer().chip_rows().size() == 1 && queue().empty();
          },
          ms)) {
    return false;
  }
  programmer().SelectChip(0);
  return RunUntilIdle(ms);
}

bool HeadlessHost::ReadyWithSingleChip(const std::string& port, int ms) {
  if (port.empty()) {
    std::fprintf(stderr, "takt-m-devsim did not start\n");
    return false;
  }
  if (!open()) {
    std::fprintf(stderr, "port: %s\n", open_error().c_str());
    return false;
  }
  if (!DiscoverSingleChip(ms)) {
    std::fprintf(stderr, "discovery did not finish\n");
    return false;
  }
  return true;
}

bool HeadlessHost::WriteData(const uint8_t* bytes, uint16_t count) {
  if (on_write) on_write(bytes, count);
  return session_.comm().WriteData(bytes, count);
}

void HeadlessHost::Changed(Aspect aspect) {
  if (aspect == Aspect::kStatus) {
    status_history_.push_back(core_.programmer().status_text());
  }
}

}  // namespace taktm::testing
