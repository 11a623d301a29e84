// GoogleTest entry point for tests that need a Qt application object (an
// event loop for the serial port, widgets on the offscreen platform).
#include <gtest/gtest.h>

#include <QApplication>
#include <QTemporaryDir>
#include <memory>

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
  }
  // Qt warns on every start without a private runtime folder, also when the
  // build lists the tests; ctest gives one, a run by hand gets its own
  // (mode 0700), removed after the application object.
  std::unique_ptr<QTemporaryDir> runtime;
  if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
    runtime = std::make_unique<QTemporaryDir>();
    if (runtime->isValid())
      qputenv("XDG_RUNTIME_DIR", runtime->path().toUtf8());
  }
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
