// Runs the event loop until a condition holds or a time limit passes; for
// tests that wait on Qt events (a port, a file system model, a repaint).
#ifndef TAKT_TESTS_SUPPORT_SPIN_UNTIL_H_
#define TAKT_TESTS_SUPPORT_SPIN_UNTIL_H_

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>

namespace taktm::testing {

// True when `done` held before `ms` milliseconds had passed.
template <typename Pred>
bool SpinUntil(Pred done, int ms) {
  QDeadlineTimer deadline(ms);
  while (!done() && !deadline.hasExpired()) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  }
  return done();
}

}  // namespace taktm::testing

#endif  // TAKT_TESTS_SUPPORT_SPIN_UNTIL_H_
