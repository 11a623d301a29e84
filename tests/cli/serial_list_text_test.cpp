// Serial numbers from a list of pre-assigned ones and as text by a
// template: the --serial text, the list's lines, the count of numbers taken
// beside the list, and the bytes a template makes.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "cli/cli_args.h"
#include "cli/file_roles.h"
#include "cli/gang_report.h"
#include "cli/log_line.h"
#include "cli/serial_form.h"
#include "cli/serial_list.h"
#include "cli/serial_text.h"
#include "cli/taker_process.h"
#include "harness/temp_dir.h"

namespace taktm::testing {
namespace {

using Bytes = std::vector<uint8_t>;

std::string ToHex(uint64_t value) {
  char text[24];
  std::snprintf(text, sizeof text, "%llX",
                static_cast<unsigned long long>(value));
  return text;
}

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// A taker of the list's numbers until it is exhausted, pausing between
// takes as a run writing its chip would: one looping without a pause would
// keep the lock from the others.
pid_t StartListTaker(const std::string& list, int* read_end) {
  return StartTaker(
      [&list] { return TakeFromList(list, UINT64_MAX); }, -1, read_end,
      std::chrono::milliseconds(2),
      [](const std::string& error) { return Contains(error, "исчерпан"); });
}

std::string Text(const std::string& form, uint64_t value) {
  std::string error;
  const std::optional<SerialTemplate> t = ParseSerialTemplate(form, &error);
  EXPECT_TRUE(t) << form << ": " << error;
  return t ? FormatSerialText(*t, value) : std::string();
}

TEST(SerialTextTest, TemplatesWithOneIntegerConversion) {
  EXPECT_EQ(Text("SN-%06d", 123), "SN-000123");
  EXPECT_EQ(Text("SN-%06d", 1234567), "SN-1234567");  // the field grows
  EXPECT_EQ(Text("%4d", 7), "   7");
  EXPECT_EQ(Text("ID%08X-A", 0xBEEF), "ID0000BEEF-A");
  EXPECT_EQ(Text("%x", 0xBEEF), "beef");
  EXPECT_EQ(Text("%u", 18446744073709551615u), "18446744073709551615");
  EXPECT_EQ(Text("100%% #%i", 0), "100% #0");
  std::string error;
  for (const char* bad : {"SN", "%d%d", "%d-%x", "%s", "%ld", "%lld", "%-5d",
                          "%+d", "% d", "%.3d", "%*d", "%123d", "%5", "%",
                          "SN-%", "%%", "\xd0\xa1%d", "\t%d", "%n"}) {
    EXPECT_FALSE(ParseSerialTemplate(bad, &error)) << bad;
    EXPECT_FALSE(error.empty()) << bad;
  }
}

TEST(SerialTextTest, TheWidthBoundsTheNumber) {
  std::string error;
  const SerialTemplate sn = *ParseSerialTemplate("SN-%06d", &error);
  EXPECT_EQ(MaxTextValue(sn, 9), 999999u);
  EXPECT_EQ(MaxTextValue(sn, 12), 999999999u);
  EXPECT_FALSE(MaxTextValue(sn, 8));  // not even SN-000000 fits
  EXPECT_EQ(MaxTextValue(*ParseSerialTemplate("%X", &error), 2), 255u);
  EXPECT_EQ(MaxTextValue(*ParseSerialTemplate("%d", &error), 40), UINT64_MAX);
  EXPECT_FALSE(MaxTextValue(*ParseSerialTemplate("ABC%d", &error), 3));

  // The bytes: the text, then 0x00 up to the width; nothing past it.
  SerialOption serial;
  serial.format = SerialFormat::kText;
  serial.text = "SN-%06d";
  serial.width = 12;
  EXPECT_EQ(*SerialBytes(serial, 42),
            (Bytes{'S', 'N', '-', '0', '0', '0', '0', '4', '2', 0, 0, 0}));
  EXPECT_EQ(SerialText(serial, 42), "SN-000042");
  serial.width = 9;
  EXPECT_EQ(SerialMaxValue(serial), 999999u);
  EXPECT_TRUE(SerialBytes(serial, 999999));
  EXPECT_FALSE(SerialBytes(serial, 1000000));
  // The other forms are shown as numbers.
  serial.format = SerialFormat::kDecimal;
  EXPECT_EQ(SerialText(serial, 42), "");
}

TEST(SerialTextTest, ListAndTextInTheSerialOption) {
  std::string error;
  auto serial = [&](const std::string& text) {
    const std::optional<SerialOption> s = ParseSerialOption(text, &error);
    EXPECT_TRUE(s) << text << ": " << error;
    return s.value_or(SerialOption{});
  };
  SerialOption s = serial("0x1FF0:list=C:\\line\\nums.txt:2:be");
  EXPECT_TRUE(s.list);
  EXPECT_EQ(s.file, "C:\\line\\nums.txt");
  EXPECT_EQ(s.width, 2);
  EXPECT_TRUE(s.big_endian);
  s = serial("0:list=nums:16:text=SN-%06d");
  EXPECT_TRUE(s.list);
  EXPECT_EQ(s.file, "nums");
  EXPECT_EQ(s.format, SerialFormat::kText);
  EXPECT_EQ(s.text, "SN-%06d");
  EXPECT_EQ(s.width, 16);
  s = serial("0:next:text=N=%d:step=2:5");  // '=' inside the template
  EXPECT_FALSE(s.list);
  EXPECT_EQ(s.text, "N=%d");
  EXPECT_EQ(s.step, 2u);
  EXPECT_EQ(serial("0:next.list").file, "next.list");
  const std::pair<const char*, const char*> refused[] = {
      {"0:list=:4", "файл списка"},
      {"0:list=n:step=2", "только для счётчика"},
      {"0:list=postgresql://db.line/takt", "только в файле"},
      {"0:n:text=SN-%06d", "нужна ширина"},
      {"0:n:8:text=SN-%06d", "не помещается в 8 байт"},
      {"0:n:16:text=A:%d", "двоеточия"},
      {"0:n:16:text=%d:be", "только для двоичного"},
      {"0:n:65:text=%d", "1..64 байт"},
      {"0:n:16:text=%s", "одно целое преобразование"},
      {"0:n:16:text=%d:dec", ""},  // two formats: "n:16:text=%d" is no file
  };
  for (const auto& [text, why] : refused) {
    const std::optional<SerialOption> s = ParseSerialOption(text, &error);
    EXPECT_FALSE(s) << text;
    EXPECT_TRUE(Contains(error, why)) << text << ": " << error;
  }
}

TEST(SerialListTest, LinesCommentsAndRefusalsByLine) {
  std::string error;
  EXPECT_EQ(*ParseSerialList("# batch 7\r\n0x00A1b2C3\r\n\n  1000  # spare\n"
                             "0XFF\n\t42",
                             UINT64_MAX, "l", &error),
            (std::vector<uint64_t>{0xA1B2C3, 1000, 0xFF, 42}));
  EXPECT_EQ(*ParseSerialList("", UINT64_MAX, "l", &error),
            std::vector<uint64_t>{});
  EXPECT_EQ(*ParseSerialList("18446744073709551615\n0xFFFFFFFFFFFFFFFE",
                             UINT64_MAX, "l", &error),
            (std::vector<uint64_t>{UINT64_MAX, UINT64_MAX - 1}));
  const std::pair<const char*, const char*> refused[] = {
      {"1\n2\n12a\n", "строка 3: не номер"},
      {"0x\n", "строка 1: не номер"},
      {"1\n-1\n", "строка 2: не номер"},
      {"1 2\n", "строка 1: не номер"},
      {"+5\n", "строка 1: не номер"},
      {"0x1_0\n", "строка 1: не номер"},
      {"18446744073709551616\n", "строка 1: не номер"},
      {"0x10000000000000000\n", "строка 1: не номер"},
      {"#\n255\n256\n", "строка 3: номер 256 не помещается"},
      {"0x10\n# 16\n\n16\n", "строка 4: номер 16 уже есть в строке 1"},
  };
  for (const auto& [text, why] : refused) {
    EXPECT_FALSE(ParseSerialList(text, 255, "l", &error)) << text;
    EXPECT_TRUE(Contains(error, why)) << text << ": " << error;
  }
}

class ListTakeTest : public ::testing::Test {
 protected:
  std::string Taken() const { return ReadText(list_ + ".taken"); }
  static std::string ReadText(const std::string& path) {
    std::ifstream in(path);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  TempDir dir_;
  std::string list_ = dir_.File("nums.txt");
};

TEST_F(ListTakeTest, NumbersGoInOrderAndTheCountIsKept) {
  std::ofstream(list_) << "# three\n0x10\n20\n0x30\n";
  EXPECT_EQ(PeekList(list_, UINT64_MAX).value, 0x10u);
  EXPECT_EQ(Taken(), "");  // looking takes nothing
  EXPECT_EQ(TakeFromList(list_, UINT64_MAX).value, 0x10u);
  EXPECT_EQ(Taken(), "1\n");
  // A refusal by the record written first leaves the count alone.
  const CounterResult refused =
      TakeFromList(list_, UINT64_MAX, [](uint64_t) { return "disk full"; });
  EXPECT_FALSE(refused.value);
  EXPECT_EQ(refused.error, "disk full");
  EXPECT_EQ(TakeFromList(list_, UINT64_MAX).value, 20u);
  // A number wider than the place is refused, the count left alone.
  EXPECT_FALSE(TakeFromList(list_, 0x2F).value);
  EXPECT_EQ(Taken(), "2\n");
  EXPECT_EQ(TakeFromList(list_, UINT64_MAX).value, 0x30u);
  for (const CounterResult& r :
       {PeekList(list_, UINT64_MAX), TakeFromList(list_, UINT64_MAX)}) {
    EXPECT_FALSE(r.value);
    EXPECT_TRUE(Contains(r.error, "исчерпан: выданы все его номера (3)"))
        << r.error;
  }
  EXPECT_EQ(Taken(), "3\n");
  // Numbers added at the end are given next.
  std::ofstream(list_, std::ios::app) << "0x40\n";
  EXPECT_EQ(TakeFromList(list_, UINT64_MAX).value, 0x40u);
}

TEST_F(ListTakeTest, ADamagedCountOrAShortenedListGivesNothing) {
  std::ofstream(list_) << "1\n2\n";
  std::ofstream(list_ + ".taken") << "x\n";
  EXPECT_TRUE(Contains(TakeFromList(list_, UINT64_MAX).error, "испорчен"));
  std::ofstream(list_ + ".taken", std::ios::trunc) << "5\n";
  EXPECT_TRUE(Contains(PeekList(list_, UINT64_MAX).error, "укоротили"));
  EXPECT_FALSE(TakeFromList(list_, UINT64_MAX).value);
  EXPECT_EQ(Taken(), "5\n");
  std::ofstream(list_, std::ios::trunc) << "1\n2\nz\n";
  std::ofstream(list_ + ".taken", std::ios::trunc) << "0\n";
  EXPECT_TRUE(Contains(TakeFromList(list_, UINT64_MAX).error, "строка 3"));
  EXPECT_EQ(Taken(), "0\n");
  EXPECT_TRUE(Contains(PeekList(dir_.File("none"), UINT64_MAX).error,
                       "не открывается"));
}

// A log or a trace on the list or on its count would overwrite what keeps
// numbers from being given twice.
// Four processes taking from one list at once until it runs out: every
// number of the list handed out exactly once.
TEST_F(ListTakeTest, ProcessesAtOnceShareNoNumberAndUseTheWholeList) {
  std::string text;
  std::set<uint64_t> listed;
  for (uint64_t i = 0; i < 200; ++i) {
    listed.insert(i * 7 + 3);
    text +=
        (i % 2 ? "0x" + ToHex(i * 7 + 3) : std::to_string(i * 7 + 3)) + "\n";
  }
  std::ofstream(list_) << text;
  std::vector<pid_t> pids;
  std::vector<int> fds(4);
  for (int& fd : fds) {
    pids.push_back(StartListTaker(list_, &fd));
    ASSERT_GT(pids.back(), 0);
  }
  const Collected collected = CollectNumbers(pids, fds);
  EXPECT_TRUE(collected.all_exited_zero);
  const std::multiset<uint64_t>& all = collected.numbers;
  EXPECT_EQ(all.size(), listed.size());
  EXPECT_EQ(std::set<uint64_t>(all.begin(), all.end()), listed);
  EXPECT_EQ(Taken(), "200\n");
}

// A taker killed at random moments, over and over (also while the count is
// being written and renamed): the count always stands past every number
// handed out, and no number is handed out twice.
TEST_F(ListTakeTest, AKillAtAnyMomentNeverGivesANumberTwice) {
  std::string text;
  for (uint64_t i = 0; i < 5000; ++i) text += std::to_string(i) + "\n";
  std::ofstream(list_) << text;
  std::mt19937 random(25);
  std::set<uint64_t> given;
  for (int round = 0; round < 25; ++round) {
    int fd = -1;
    const pid_t pid = StartListTaker(list_, &fd);
    ASSERT_GT(pid, 0);
    uint64_t first = 0;
    ASSERT_EQ(::read(fd, &first, sizeof first), ssize_t{sizeof first});
    EXPECT_TRUE(given.insert(first).second) << first << " given twice";
    std::this_thread::sleep_for(std::chrono::microseconds(random() % 20000));
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
    for (uint64_t v : ReadNumbers(fd)) {
      EXPECT_TRUE(given.insert(v).second) << v << " given twice";
    }
    ::close(fd);
    const CounterResult next = PeekList(list_, UINT64_MAX);
    ASSERT_TRUE(next.value) << "round " << round << ": " << next.error;
    EXPECT_GT(*next.value, *given.rbegin());
  }
}

TEST(SerialListRolesTest, TheListAndItsCountAreNoOtherFile) {
  TempDir dir;
  const std::string list = dir.File("lot.txt");
  std::ofstream(list) << "1\n";
  auto shared = [&](const std::string& flag, const std::string& file) {
    const ParsedArgs parsed = ParseCliArgs(
        {"--serial", "0x1FFC:list=" + list, flag, file, "write-flash", "fw"});
    EXPECT_TRUE(parsed.options) << parsed.error;
    return parsed.options ? SharedFileError(*parsed.options) : std::string();
  };
  EXPECT_EQ(shared("--log", list + ".taken"),
            "Один файл в двух ролях: \"" + list +
                ".taken\" — счёт выданных номеров списка (--serial) и журнал "
                "(--log)");
  EXPECT_TRUE(Contains(shared("--trace", list), "список номеров (--serial)"));
  EXPECT_EQ(shared("--log", dir.File("log.jsonl")), "");
}

TEST(SerialTextShownTest, LogLineAndGangLineShowTheText) {
  ChipRecord record;
  record.port = "p";
  record.command = "write-flash";
  record.serials = true;
  record.serial = 42;
  record.serial_template = "SN-%06d";
  EXPECT_TRUE(Contains(ChipRecordLine(record),
                       "\"serial\":\"SN-000042\",\"serial_used\":true"));
  record.started = true;
  EXPECT_TRUE(Contains(ChipRecordLine(record), "\"serial\":\"SN-000042\""));
  record.serial_template.clear();
  EXPECT_TRUE(Contains(ChipRecordLine(record), "\"serial\":42,"));
  PortResult port;
  port.port = "p";
  port.status = ExitStatus::kDeviceFailure;
  port.serial = 42;
  port.serial_text = "SN-000042";
  EXPECT_TRUE(
      Contains(PortResultLine(port, true), "№ SN-000042 не использован"));
}

}  // namespace
}  // namespace taktm::testing
