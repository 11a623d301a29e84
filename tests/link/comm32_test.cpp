#include "link/comm32.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cstdio>
#include <random>

#include "support/fake_link_host.h"
#include "support/pty.h"
#include "support/spin_until.h"

namespace taktm {
namespace {

template <typename Pred>
bool SpinUntil(Pred done) {
  return testing::SpinUntil(done, 2000);
}

using testing::Bytes;
using testing::Pty;
using namespace std::chrono_literals;

std::string OpenError(TComm32& comm) {
  try {
    comm.OpenPort();
  } catch (const ECommsError& e) {
    return e.what();
  }
  return "";
}

TEST(Comm32OpenTest, EachFailureHasItsMessageAndLeavesThePortClosed) {
  QTemporaryDir dir;
  QFile file(dir.filePath("plain"));
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.close();

  struct Case {
    QString name;
    const char* message;
    bool bare;
  } cases[] = {
      {dir.filePath("absent"), kCannotOpenPort, true},
      {dir.filePath("plain"), kNotACommPort, false},
      {dir.path(), kNotACommPort, false},
      // A character device, not a port.
      {"/dev/null", kBadPortParameters, false},
  };
  for (const Case& c : cases) {
    TComm32 comm;
    comm.SetCommPort(c.name);
    // The error, and whether it says nothing about why (the window then
    // adds a line naming the port).
    std::string message;
    bool bare = false;
    try {
      comm.OpenPort();
    } catch (const ECommsError& e) {
      message = e.what();
      bare = e.bare_open_failure();
    }
    EXPECT_EQ(message, c.message) << c.name.toStdString();
    EXPECT_EQ(bare, c.bare) << c.name.toStdString();
    EXPECT_FALSE(comm.IsOpen());
    const uint8_t byte = 0;
    EXPECT_FALSE(comm.WriteData(&byte, 1));
  }
}

TEST(Comm32OpenTest, SecondOpenIsRefused) {
  Pty pty;
  ASSERT_TRUE(pty.ok());
  TComm32 comm;
  comm.SetCommPort(QString::fromStdString(pty.slave_name()));
  comm.SetBaudRate(56000);
  comm.SetParity(pOdd);
  ASSERT_EQ(OpenError(comm), "");
  EXPECT_TRUE(comm.IsOpen());
  EXPECT_EQ(OpenError(comm), kPortAlreadyOpen);
}

TEST(Comm32OpenTest, PortHeldByAnotherProcessCannotBeOpened) {
  Pty pty;
  ASSERT_TRUE(pty.ok());
  int out[2];
  ASSERT_EQ(::pipe(out), 0);
  const pid_t holder = ::fork();
  ASSERT_GE(holder, 0);
  if (holder == 0) {
    ::dup2(out[1], STDOUT_FILENO);
    ::execl(PORT_HOLDER, PORT_HOLDER, pty.slave_name().c_str(), nullptr);
    ::_exit(127);
  }
  ::close(out[1]);
  char line[8] = {};
  const ssize_t n = ::read(out[0], line, 5);
  ::close(out[0]);

  TComm32 comm;
  comm.SetCommPort(QString::fromStdString(pty.slave_name()));
  const std::string error = OpenError(comm);
  ::kill(holder, SIGKILL);
  ::waitpid(holder, nullptr, 0);

  ASSERT_EQ(n, 5);
  ASSERT_STREQ(line, "held\n");
  EXPECT_EQ(error, kCannotOpenPort);
  EXPECT_FALSE(comm.IsOpen());
}

TEST(Comm32Test, WriteBeforeOpenReturnsFalse) {
  TComm32 comm;
  const uint8_t frame[] = {0xD1, 0xE0, 0xEB, 0xEE, 0x01, 0x8B, 0xFF, 0xFF};
  EXPECT_FALSE(comm.WriteData(frame, sizeof frame));
  EXPECT_FALSE(comm.SetLineSignal(kSetRts));
}

class Comm32PtyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(pty_.ok());
    comm_.SetCommPort(QString::fromStdString(pty_.slave_name()));
    comm_.SetBaudRate(56000);
    ASSERT_TRUE(comm_.OpenPort());
  }
  Pty pty_;
  TComm32 comm_;
};

TEST_F(Comm32PtyTest, ReceivedBytesArriveCompleteAndInOrder) {
  Bytes received;
  int calls = 0;
  comm_.OnReceiveData = [&](const uint8_t* b, uint16_t n) {
    EXPECT_GT(n, 0);
    received.insert(received.end(), b, b + n);
    ++calls;
  };
  Bytes sent(20000);
  std::mt19937 rng(7);
  for (uint8_t& b : sent) b = static_cast<uint8_t>(rng());
  size_t at = 0;
  while (at < sent.size()) {
    const size_t n = std::min<size_t>(1 + rng() % 700, sent.size() - at);
    ASSERT_TRUE(pty_.Write(Bytes(sent.begin() + at, sent.begin() + at + n)));
    at += n;
    if (rng() % 4 == 0) QCoreApplication::processEvents();
  }
  ASSERT_TRUE(SpinUntil([&] { return received.size() >= sent.size(); }));
  EXPECT_EQ(received, sent);
  EXPECT_GT(calls, 0);
}

TEST_F(Comm32PtyTest, FramesWrittenBackToBackLeaveInOrder) {
  const Bytes a = testing::Frame({0xFF});
  const Bytes b = testing::Frame({0xFC, 0x03});
  ASSERT_TRUE(comm_.WriteData(a.data(), static_cast<uint16_t>(a.size())));
  ASSERT_TRUE(comm_.WriteData(b.data(), static_cast<uint16_t>(b.size())));
  Bytes out;
  SpinUntil([&] {
    Bytes more = pty_.Read(1, 5ms);
    out.insert(out.end(), more.begin(), more.end());
    return out.size() >= a.size() + b.size();
  });
  EXPECT_EQ(out, testing::Concat({a, b}));
}

TEST_F(Comm32PtyTest, ModemLinesOfAPtyFailWithoutFailingThePort) {
  int hangups = 0;
  comm_.OnRequestHangup = [&](TComm32*) { ++hangups; };
  EXPECT_FALSE(comm_.SetLineSignal(kSetRts));
  EXPECT_FALSE(comm_.SetLineSignal(kClearDtr));
  QCoreApplication::processEvents();
  EXPECT_EQ(hangups, 0);
  const uint8_t byte = 0x55;
  EXPECT_TRUE(comm_.WriteData(&byte, 1));
}

TEST_F(Comm32PtyTest, VanishedDeviceRaisesHangupOnceAndStopsWrites) {
  int hangups = 0;
  comm_.OnRequestHangup = [&](TComm32* sender) {
    EXPECT_EQ(sender, &comm_);
    ++hangups;
  };
  pty_.Close();
  EXPECT_TRUE(SpinUntil([&] { return hangups > 0; }));
  for (int i = 0; i < 20; ++i) QCoreApplication::processEvents();
  EXPECT_EQ(hangups, 1);
  const uint8_t byte = 0x55;
  EXPECT_FALSE(comm_.WriteData(&byte, 1));
  EXPECT_TRUE(comm_.IsOpen());  // marked open, but it carries nothing
  EXPECT_TRUE(comm_.NeedsOpening());
  EXPECT_EQ(OpenError(comm_), kCannotOpenPort);  // the device is still gone
  EXPECT_TRUE(comm_.NeedsOpening());
}

// The device comes back on a new pseudo-terminal (an adapter plugged in
// again): the failed port opens again and carries bytes both ways.
TEST_F(Comm32PtyTest, FailedPortOpensAgainWhenTheDeviceIsBack) {
  Bytes received;
  comm_.OnReceiveData = [&](const uint8_t* b, uint16_t n) {
    received.insert(received.end(), b, b + n);
  };
  pty_.Close();
  ASSERT_TRUE(SpinUntil([&] { return comm_.NeedsOpening(); }));

  Pty back;
  ASSERT_TRUE(back.ok() && back.MakeRaw());
  comm_.SetCommPort(QString::fromStdString(back.slave_name()));
  ASSERT_EQ(OpenError(comm_), "");
  EXPECT_FALSE(comm_.NeedsOpening());
  EXPECT_EQ(OpenError(comm_), kPortAlreadyOpen);  // a working port stays

  const Bytes frame = testing::Frame({0xFE});
  ASSERT_TRUE(
      comm_.WriteData(frame.data(), static_cast<uint16_t>(frame.size())));
  Bytes out;
  SpinUntil([&] {
    Bytes more = back.Read(1, 5ms);
    out.insert(out.end(), more.begin(), more.end());
    return out.size() >= frame.size();
  });
  EXPECT_EQ(out, frame);
  ASSERT_TRUE(back.Write(testing::Ack()));
  ASSERT_TRUE(SpinUntil([&] { return received.size() >= 7; }));
  EXPECT_EQ(received, testing::Ack());
}

}  // namespace
}  // namespace taktm
