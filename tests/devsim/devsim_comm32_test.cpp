// The emulator behind the program's real serial port component: TComm32 on
// the pty, the link core on top, inside the Qt event loop.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <algorithm>
#include <random>

#include "devsim/core_link_client.h"
#include "harness/devsim_process.h"
#include "link/comm32.h"
#include "link/memory_command.h"

namespace taktm::testing {
namespace {

using ::testing::ElementsAreArray;

constexpr uint8_t kDemo8K = 2;
constexpr uint32_t kChunk = 224;

class Comm32Link : public LinkHost, public ReplyHandler {
 public:
  explicit Comm32Link(const std::string& port)
      : queue_(*this), parser_(queue_, *this, *this) {
    comm_.SetCommPort(QString::fromStdString(port));
    comm_.SetBaudRate(56000);
    comm_.OnReceiveData = [this](const uint8_t* bytes, uint16_t count) {
      parser_.Comm321ReceiveData(bytes, count);
    };
    comm_.OnError = [this](uint32_t) { port_failed_ = true; };
    try {
      open_ = comm_.OpenPort();
    } catch (const ECommsError&) {
      open_ = false;
    }
  }

  bool open() const { return open_; }
  bool port_failed() const { return port_failed_; }
  void Enqueue(const Bytes& c) {
    queue_.EnqueueCommand(c.data(), static_cast<uint16_t>(c.size()));
  }
  // Runs the event loop until the queue is empty or `ms` pass.
  bool RunUntilDone(int ms = 20000) {
    QDeadlineTimer deadline(ms);
    while (!queue_.empty() && !deadline.hasExpired() && !port_failed_) {
      QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return queue_.empty();
  }
  void RunFor(int ms) {
    QDeadlineTimer deadline(ms);
    while (!deadline.hasExpired()) {
      QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
  }
  const std::vector<Bytes>& replies() const { return replies_; }
  const std::vector<std::string>& warnings() const { return warnings_; }

  // Chained requests as the program's discovery makes them.
  std::function<void(const Bytes&)> on_reply;

  bool WriteData(const uint8_t* bytes, uint16_t count) override {
    return comm_.WriteData(bytes, count);
  }
  void RestartWatchdog() override {}
  void ShowWarning(const std::string& text) override {
    warnings_.push_back(text);
  }
  void DispatchReply(const ReplyRecord& reply, uint8_t length) override {
    const Bytes r(reply.begin(), reply.begin() + length);
    replies_.push_back(r);
    const bool failed = (r[0] == 0x00 && r[2 + r[1]] == 0) ||
                        ((r[0] == 0x0B || r[0] == 0x0F) && r[6] == 0);
    if (failed) queue_.ClearQueue();
    if (on_reply) on_reply(r);
  }

 private:
  TComm32 comm_;
  CommandQueue queue_;
  ReceiveParser parser_;
  bool open_ = false;
  bool port_failed_ = false;
  std::vector<Bytes> replies_;
  std::vector<std::string> warnings_;
};

Bytes DataCommand(uint8_t opcode, uint32_t address, const Bytes& image,
                  uint32_t count) {
  return EncodeMemoryCommand(opcode, address, static_cast<uint8_t>(count),
                             image.data() + address, count);
}

std::string Hex(const Bytes& bytes) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string s;
  for (uint8_t b : bytes) {
    if (!s.empty()) s += ' ';
    s += kHex[b >> 4];
    s += kHex[b & 15];
  }
  return s;
}

class DevsimComm32Test : public ::testing::Test {
 protected:
  void Start(std::vector<std::string> args = {}) {
    log_ = dir_.File("frames.log");
    args.insert(args.end(), {"--log", log_, "--memory-dir", dir_.File("mem")});
    devsim_ = std::make_unique<DevsimProcess>(args);
    ASSERT_FALSE(devsim_->port().empty());
    link_ = std::make_unique<Comm32Link>(devsim_->port());
    ASSERT_TRUE(link_->open());
  }

  TempDir dir_;
  std::string log_;
  std::unique_ptr<DevsimProcess> devsim_;
  std::unique_ptr<Comm32Link> link_;
};

TEST_F(DevsimComm32Test, DiscoveryChainRunsInTheProgramsOrder) {
  Start();
  Comm32Link& link = *link_;
  link.on_reply = [&link](const Bytes& r) {
    if (r[0] == 0xFE) {
      link.Enqueue({0xFD});
      link.Enqueue({0xFB});
    } else if (r[0] == 0xFD || r[0] == 0xFB) {
      for (uint8_t i = 0; i < r[1]; ++i) {
        link.Enqueue({static_cast<uint8_t>(r[0] == 0xFD ? 0xFC : 0xFA), i});
      }
    }
  };
  link.Enqueue({0xFF});
  link.Enqueue({0xFE});
  ASSERT_TRUE(link.RunUntilDone());
  EXPECT_THAT(ReceivedCommands(log_),
              ElementsAreArray({"FF", "FE", "FD", "FB", "FC 00", "FC 01",
                                "FC 02", "FA 00", "FA 01", "FA 02", "FA 03"}));
  std::vector<std::string> chips;
  for (const Bytes& r : link.replies()) {
    if (r[0] == 0xFA) chips.emplace_back(r.begin() + 2, r.end());
  }
  EXPECT_THAT(chips,
              ElementsAreArray({"DEMO-1K", "DEMO-4K", "DEMO-8K", "DEMO-128K"}));
  EXPECT_TRUE(link.warnings().empty());
}

TEST_F(DevsimComm32Test, FullProgramMemoryWriteLandsInTheChip) {
  Start();
  std::mt19937 random(5);
  Bytes image(3000);
  for (uint8_t& b : image) b = static_cast<uint8_t>(random());
  std::fill(image.begin() + 448, image.begin() + 672, 0xFF);  // skipped chunk

  // The sequence of a write with every option on: signature, erase,
  // signature, data without all-0xFF chunks, verify, lock bits.
  std::vector<Bytes> sent = {{0xF9, kDemo8K}, {0x00}, {0x07}, {0x00}};
  for (uint8_t op : {0x0A, 0x0B}) {
    for (uint32_t a = 0; a < image.size(); a += kChunk) {
      const uint32_t n = std::min<uint32_t>(kChunk, image.size() - a);
      if (std::all_of(image.begin() + a, image.begin() + a + n,
                      [](uint8_t b) { return b == 0xFF; })) {
        continue;
      }
      sent.push_back(DataCommand(op, a, image, n));
    }
    sent.push_back({0xFF});
  }
  for (const Bytes& c : std::vector<Bytes>{{0x06, 0}, {0x06, 1}, {0xFF}})
    sent.push_back(c);
  for (const Bytes& c : sent) link_->Enqueue(c);
  ASSERT_TRUE(link_->RunUntilDone());

  std::vector<std::string> expected;
  for (const Bytes& c : sent) expected.push_back(Hex(c));
  EXPECT_EQ(ReceivedCommands(log_), expected);  // each sent exactly once
  Bytes chip = ReadBytes(dir_.File("mem/DEMO-8K.flash"));
  ASSERT_EQ(chip.size(), 8192u);
  EXPECT_TRUE(std::equal(image.begin(), image.end(), chip.begin()));
  EXPECT_TRUE(std::all_of(chip.begin() + 3000, chip.end(),
                          [](uint8_t b) { return b == 0xFF; }));
  EXPECT_EQ(ReadBytes(dir_.File("mem/DEMO-8K.locks")), (Bytes{1, 1}));
  for (const Bytes& r : link_->replies()) {
    if (r[0] == 0x0B || r[0] == 0x00) {
      EXPECT_EQ(r.back(), 1) << "verdict of " << Hex(r);
    }
  }

  // A verify of changed data fails at the first differing chunk and stops.
  Bytes changed = image;
  changed[2500] ^= 0x40;
  changed[2900] ^= 0x40;
  std::vector<Bytes> verify = {{0xF9, kDemo8K}};
  for (uint32_t a = 0; a < changed.size(); a += kChunk) {
    verify.push_back(DataCommand(
        0x0B, a, changed, std::min<uint32_t>(kChunk, changed.size() - a)));
  }
  verify.push_back({0xFF});
  for (const Bytes& c : verify) link_->Enqueue(c);
  ASSERT_TRUE(link_->RunUntilDone());
  EXPECT_EQ(link_->replies().back(),
            (Bytes{0x0B, 0xA0, 0x09, 0, 0, 224, 0}));  // 2464
  EXPECT_EQ(ReceivedCommands(log_).back(), Hex(verify[12]));
}

TEST_F(DevsimComm32Test, HangupIsSeenByTheSerialPort) {
  Start({"--hangup-after", "1"});
  link_->Enqueue({0xFF});
  link_->Enqueue({0xFE});
  link_->RunFor(1000);
  EXPECT_EQ(link_->replies().size(), 1u);
  EXPECT_TRUE(link_->port_failed());
  EXPECT_EQ(devsim_->WaitExit(std::chrono::seconds(5)), 0);
}

}  // namespace
}  // namespace taktm::testing
