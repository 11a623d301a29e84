// Finding the programmer's port: the --port words, shell patterns, the choice
// among answering ports and USB serial numbers, and the probe's own
// conversation (only the name asked for, on the device's acknowledgements).
#include "cli/port_choice.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "programming/opcodes.h"
#include "support/fake_link_host.h"

namespace taktm::testing {
namespace {

Bytes NameReply(const std::string& name) {
  Bytes payload = {SVC_GET_NAME, static_cast<uint8_t>(name.size())};
  payload.insert(payload.end(), name.begin(), name.end());
  return Frame(payload);
}

TEST(PortChoiceTest, PortWords) {
  EXPECT_EQ(ParsePortSpec("/dev/ttyUSB0").kind, PortSpec::Kind::kName);
  EXPECT_EQ(ParsePortSpec("COM3").kind, PortSpec::Kind::kName);
  EXPECT_EQ(ParsePortSpec("autox").kind, PortSpec::Kind::kName);
  const PortSpec every = ParsePortSpec("auto");
  EXPECT_EQ(every.kind, PortSpec::Kind::kAuto);
  EXPECT_EQ(every.text, "");
  const PortSpec some = ParsePortSpec("auto:/dev/ttyUSB*");
  EXPECT_EQ(some.kind, PortSpec::Kind::kAuto);
  EXPECT_EQ(some.text, "/dev/ttyUSB*");
  const PortSpec usb = ParsePortSpec("usb-serial:A50285BI");
  EXPECT_EQ(usb.kind, PortSpec::Kind::kUsbSerial);
  EXPECT_EQ(usb.text, "A50285BI");
}

TEST(PortChoiceTest, ShellPatterns) {
  EXPECT_TRUE(MatchesShellPattern("/dev/ttyUSB*", "/dev/ttyUSB0"));
  EXPECT_TRUE(MatchesShellPattern("/dev/ttyUSB*", "/dev/ttyUSB"));
  EXPECT_FALSE(MatchesShellPattern("/dev/ttyUSB*", "/dev/ttyACM0"));
  EXPECT_TRUE(MatchesShellPattern("/tmp/*/port?", "/tmp/a/b/port1"));
  EXPECT_FALSE(MatchesShellPattern("/tmp/*/port?", "/tmp/a/port12"));
  EXPECT_TRUE(MatchesShellPattern("COM[1-4]", "COM3"));
  EXPECT_FALSE(MatchesShellPattern("COM[1-4]", "COM5"));
  EXPECT_TRUE(MatchesShellPattern("COM[!1-4]", "COM5"));
  EXPECT_FALSE(MatchesShellPattern("COM[!1-4]", "COM2"));
  EXPECT_TRUE(MatchesShellPattern("a\\*b", "a*b"));
  EXPECT_FALSE(MatchesShellPattern("a\\*b", "axb"));
  EXPECT_TRUE(MatchesShellPattern("a[b", "a[b"));  // unclosed: a character
  EXPECT_TRUE(MatchesShellPattern("*", ""));
  EXPECT_FALSE(MatchesShellPattern("?", ""));
  EXPECT_TRUE(MatchesShellPattern("**x**", "abxcd"));
}

TEST(PortChoiceTest, OneAnsweringPortIsChosen) {
  const PortChoice one = ChooseAnswering(
      "auto", {{"/dev/a", std::nullopt}, {"/dev/b", "ТАКТ-М"}, {"/dev/c", {}}});
  EXPECT_EQ(one.status, ExitStatus::kOk);
  EXPECT_EQ(one.port, "/dev/b");

  const PortChoice none =
      ChooseAnswering("auto:/dev/x*", {{"/dev/xa", {}}, {"/dev/xb", {}}});
  EXPECT_EQ(none.status, ExitStatus::kNoDevice);
  EXPECT_NE(none.message.find("/dev/xa, /dev/xb"), std::string::npos);
  EXPECT_NE(none.message.find("auto:/dev/x*"), std::string::npos);
  EXPECT_EQ(ChooseAnswering("auto", {}).status, ExitStatus::kNoDevice);

  const PortChoice several = ChooseAnswering(
      "auto", {{"/dev/a", "ТАКТ-М"}, {"/dev/b", {}}, {"/dev/c", "Другой"}});
  EXPECT_EQ(several.status, ExitStatus::kUsage);
  EXPECT_TRUE(several.port.empty());
  EXPECT_NE(several.message.find("/dev/a (ТАКТ-М), /dev/c (Другой)"),
            std::string::npos)
      << several.message;
}

TEST(PortChoiceTest, AdapterByUsbSerialNumber) {
  std::vector<SerialPortEntry> ports(4);
  ports[0].location = "/dev/ttyUSB0";
  ports[0].serial_number = "A50285BI";
  ports[1].location = "/dev/ttyUSB1";
  ports[1].serial_number = "a50285bj";
  ports[2].location = "/dev/ttyS0";  // no USB serial number at all
  ports[3].location = "/dev/ttyUSB2";
  ports[3].serial_number = "0001";
  EXPECT_EQ(ChooseBySerialNumber("A50285BI", ports).port, "/dev/ttyUSB0");
  EXPECT_EQ(ChooseBySerialNumber("A50285BJ", ports).port, "/dev/ttyUSB1");
  EXPECT_EQ(ChooseBySerialNumber("nope", ports).status, ExitStatus::kNoDevice);
  EXPECT_EQ(ChooseBySerialNumber("", ports).status, ExitStatus::kNoDevice);
  // Cheap adapters may share one number: never a guess between them.
  ports.push_back(ports[3]);
  ports.back().location = "/dev/ttyUSB3";
  const PortChoice twice = ChooseBySerialNumber("0001", ports);
  EXPECT_EQ(twice.status, ExitStatus::kUsage);
  EXPECT_NE(twice.message.find("/dev/ttyUSB2, /dev/ttyUSB3"),
            std::string::npos);
}

TEST(NameProbeTest, AsksOnlyForTheNameOnAcknowledgements) {
  std::vector<Bytes> sent;
  NameProbe probe([&](const uint8_t* bytes, uint16_t count) {
    sent.emplace_back(bytes, bytes + count);
    return true;
  });
  EXPECT_TRUE(sent.empty());  // nothing before the device shows itself
  const Bytes noise = {0x13, 0xD1, 0xE0, 0x00, 0xFF, 0x42, 0xD1};
  probe.Receive(noise.data(), noise.size());
  EXPECT_TRUE(sent.empty());
  const Bytes ack = Frame({});
  probe.Receive(ack.data(), ack.size());
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0], Frame({SVC_GET_NAME}));
  // A reply to another command is no name.
  const Bytes other = Frame({SVC_GET_CHIP_COUNT, 3});
  probe.Receive(other.data(), other.size());
  EXPECT_FALSE(probe.device());
  // Asked again on a later acknowledgement (when, is the link's rule).
  for (int i = 0; i < 8 && sent.size() < 2; ++i) {
    probe.Receive(ack.data(), ack.size());
  }
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_EQ(sent[1], sent[0]);
  const Bytes reply = NameReply("TAKT");
  probe.Receive(reply.data(), reply.size());
  EXPECT_EQ(probe.device(), "TAKT");
  // Answered: nothing more goes out.
  for (int i = 0; i < 8; ++i) probe.Receive(ack.data(), ack.size());
  EXPECT_EQ(sent.size(), 2u);
}

TEST(NameProbeTest, AGarbageStreamNeverAnswers) {
  int sends = 0;
  NameProbe probe([&](const uint8_t*, uint16_t) { return ++sends, true; });
  uint32_t x = 12345;
  for (int i = 0; i < 20000; ++i) {
    x = x * 1103515245u + 12345u;
    const uint8_t byte = static_cast<uint8_t>(x >> 16);
    probe.Receive(&byte, 1);
  }
  EXPECT_FALSE(probe.device());
}

}  // namespace
}  // namespace taktm::testing
