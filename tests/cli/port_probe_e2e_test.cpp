// --port auto:PATTERN against takt-m-devsim among pseudo-terminals where
// nobody answers or a peer writes noise: the one answering programmer is
// found and used; none and several are refused with the names probed.
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "harness/cli_process.h"
#include "harness/devsim_process.h"
#include "harness/temp_dir.h"
#include "support/pty.h"

namespace taktm::testing {
namespace {

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// A line whose other end writes random bytes until stopped.
class NoisyPeer {
 public:
  NoisyPeer() {
    ok_ = pty_.ok() && pty_.MakeRaw();
    thread_ = std::thread([this] {
      std::mt19937 random(7);
      while (!stop_) {
        std::vector<uint8_t> noise(48);
        for (uint8_t& b : noise) b = static_cast<uint8_t>(random());
        pty_.Write(noise);  // a full line's buffer only drops the noise
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
      }
    });
  }
  ~NoisyPeer() {
    stop_ = true;
    thread_.join();
  }
  bool ok() const { return ok_; }
  const std::string& name() const { return pty_.slave_name(); }

 private:
  Pty pty_;
  bool ok_ = false;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

class PortProbeE2eTest : public ::testing::Test {
 protected:
  std::string File(const std::string& name) const { return dir_.File(name); }
  // A device at `link`, its frames logged beside it.
  void StartDevice(const std::string& link) {
    devices_.push_back(std::make_unique<DevsimProcess>(std::vector<std::string>{
        "--link", File(link), "--memory-dir", File(link + ".mem"), "--log",
        File(link + ".frames"), "--ack-ms", "20"}));
    ASSERT_FALSE(devices_.back()->port().empty());
  }
  void Link(const std::string& target, const std::string& link) {
    ASSERT_EQ(::symlink(target.c_str(), File(link).c_str()), 0);
  }
  // A silent line: a pty whose other end nobody reads or writes.
  void AddSilent(const std::string& link) {
    silent_.push_back(std::make_unique<Pty>());
    ASSERT_TRUE(silent_.back()->ok() && silent_.back()->MakeRaw());
    Link(silent_.back()->slave_name(), link);
  }
  void AddNoisy(const std::string& link) {
    noisy_.push_back(std::make_unique<NoisyPeer>());
    ASSERT_TRUE(noisy_.back()->ok());
    Link(noisy_.back()->name(), link);
  }
  CliResult Cli(const std::vector<std::string>& args) {
    return RunCliProcess(args, File("cfg"), 60000);
  }
  std::string Pattern() const { return "auto:" + File("port*"); }

  TempDir dir_;
  std::vector<std::unique_ptr<Pty>> silent_;
  std::vector<std::unique_ptr<NoisyPeer>> noisy_;
  std::vector<std::unique_ptr<DevsimProcess>> devices_;
};

TEST_F(PortProbeE2eTest, FindsTheOneAnsweringAmongSilentAndNoisyLines) {
  AddSilent("port0");
  AddNoisy("port1");
  StartDevice("port2");
  AddSilent("port3");
  AddNoisy("other");  // outside the pattern: never probed
  const CliResult r = Cli({"--port", Pattern(), "--probe-ms", "2000", "chips"});
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_TRUE(Contains(r.err, "порт " + File("port2"))) << r.err;
  EXPECT_TRUE(Contains(r.out, "DEMO-8K")) << r.out;
  const CliResult json =
      Cli({"--json", "--port", Pattern(), "--probe-ms", "2000", "info"});
  EXPECT_EQ(json.status, 0) << json.err;
  EXPECT_TRUE(Contains(json.out, "\"port\":\"" + File("port2") + "\""))
      << json.out;
  // The silent lines were sent nothing: no acknowledgement, no question.
  for (const auto& pty : silent_) {
    EXPECT_TRUE(pty->Read(1, std::chrono::milliseconds(50)).empty());
  }
}

TEST_F(PortProbeE2eTest, NoneAnsweringIsNoProgrammer) {
  AddSilent("port0");
  AddNoisy("port1");
  const CliResult r = Cli({"--port", Pattern(), "--probe-ms", "800", "info"});
  EXPECT_EQ(r.status, 3) << r.out << r.err;
  EXPECT_TRUE(Contains(r.err, "Программатор не ответил ни на одном порту"))
      << r.err;
  EXPECT_TRUE(Contains(r.err, File("port0") + ", " + File("port1"))) << r.err;
  // Nothing matches at all.
  const CliResult empty =
      Cli({"--port", "auto:" + File("none*"), "--probe-ms", "800", "info"});
  EXPECT_EQ(empty.status, 3) << empty.err;
  // No adapter has this USB serial number: nothing is opened.
  const CliResult usb = Cli({"--port", "usb-serial:NO-SUCH-ADAPTER", "info"});
  EXPECT_EQ(usb.status, 3) << usb.err;
  EXPECT_TRUE(
      Contains(usb.err, "Нет адаптера с USB серийным номером NO-SUCH-ADAPTER"))
      << usb.err;
}

TEST_F(PortProbeE2eTest, SeveralAnsweringAreRefusedWithTheirNames) {
  StartDevice("port0");
  AddSilent("port1");
  StartDevice("port2");
  const CliResult r = Cli({"--json", "--port", Pattern(), "--probe-ms", "2000",
                           "write-flash", File("absent.bin")});
  EXPECT_EQ(r.status, 2) << r.out << r.err;
  EXPECT_TRUE(Contains(r.out, "\"status\":\"usage\"")) << r.out;
  EXPECT_TRUE(Contains(r.out, File("port0") + " (")) << r.out;
  EXPECT_TRUE(Contains(r.out, File("port2") + " (")) << r.out;
  // Each device was only asked its name.
  for (const char* device : {"port0", "port2"}) {
    int asked = 0;
    for (const std::string& line :
         ReadLines(File(std::string(device) + ".frames"))) {
      if (line.rfind("RX ", 0) != 0) continue;
      EXPECT_EQ(line, "RX FE") << device;
      ++asked;
    }
    EXPECT_GE(asked, 1) << device;
  }
}

}  // namespace
}  // namespace taktm::testing
