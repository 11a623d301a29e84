#include <gtest/gtest.h>

#include <sstream>

#include "cli/byte_progress.h"
#include "cli/json_text.h"
#include "cli/progress_printer.h"
#include "programming/opcodes.h"

namespace taktm {
namespace {

TEST(JsonTextTest, EscapesAndKeepsOrder) {
  EXPECT_EQ(JsonString("a\"b\\c\n\r\t\x01"), "\"a\\\"b\\\\c\\n\\r\\t\\u0001\"");
  EXPECT_EQ(JsonString("Все верно."), "\"Все верно.\"");
  JsonObject bit;
  bit.AddNumber("index", 3).AddBool("ticked", false);
  JsonObject o;
  o.Add("command", "chips")
      .Add("names", std::vector<std::string>{"A", "B"})
      .Add("bits", std::vector<JsonObject>{bit})
      .AddNumber("exit", 0);
  EXPECT_EQ(o.Text(),
            "{\"command\":\"chips\",\"names\":[\"A\",\"B\"],"
            "\"bits\":[{\"index\":3,\"ticked\":false}],\"exit\":0}");
}

TEST(ProgressPrinterTest, SpeedAndDurationTexts) {
  EXPECT_EQ(SpeedText(511.6), "512 Б/с");
  EXPECT_EQ(SpeedText(4915.2), "4,8 КБ/с");
  EXPECT_EQ(SpeedText(1.5 * 1024 * 1024), "1,5 МБ/с");
  EXPECT_EQ(DurationText(7), "0:07");
  EXPECT_EQ(DurationText(750), "12:30");
  EXPECT_EQ(DurationText(3723), "1:02:03");
  EXPECT_EQ(FiguresText({100, 8192, std::nullopt}), "100/8192 байт");
  // 8092 bytes left at 2048 B/s: 3.95 s, shown as the next whole second.
  EXPECT_EQ(FiguresText({100, 8192, 2048.0}),
            "100/8192 байт, 2,0 КБ/с, осталось 0:04");
}

TEST(ProgressPrinterTest, PlainLinesAtEveryTenthInBytes) {
  std::ostringstream out;
  ProgressPrinter printer(out, false);
  printer.Begin("Читать");
  for (uint64_t done = 0; done <= 8192; done += 32) {
    printer.Update({done, 8192, done ? std::optional(2048.0) : std::nullopt},
                   0);
  }
  printer.End();
  const std::string text = out.str();
  EXPECT_EQ(text.find('\r'), std::string::npos);
  EXPECT_EQ(text.rfind("Читать: 0% (0/8192 байт)\n", 0), 0u);
  EXPECT_NE(text.find("Читать: 50% (4096/8192 байт, 2,0 КБ/с, осталось 0:02)"),
            std::string::npos);
  EXPECT_NE(text.find("Читать: 100% (8192/8192 байт, 2,0 КБ/с, осталось 0:00)"),
            std::string::npos);
  int lines = 0;
  for (char c : text) lines += c == '\n';
  EXPECT_EQ(lines, 11);
}

TEST(ProgressPrinterTest, BarRedrawnOnANewPercentOrEveryHalfSecond) {
  std::ostringstream out;
  ProgressPrinter printer(out, true, 10);
  printer.Begin("W");
  printer.Update({0, 0, std::nullopt}, 0);  // no data bytes: nothing
  EXPECT_EQ(out.str(), "");
  printer.Update({0, 400, std::nullopt}, 0);
  printer.Update({1, 400, 100.0}, 100);  // same percent, too soon
  printer.Update({1, 400, 90.0}, 600);   // same percent, the speed moved on
  printer.Update({200, 400, 100.0}, 700);
  printer.End();
  EXPECT_EQ(out.str(),
            "\rW [----------]   0% 0/400 байт"
            "\rW [----------]   0% 1/400 байт, 90 Б/с, осталось 0:05"
            "\rW [#####-----]  50% 200/400 байт, 100 Б/с, осталось 0:02\n");
  EXPECT_EQ(ProgressBar(3, 3, 4), "[####] 100%");
}

// A link host whose every frame written moves the clock on by one.
class TrackingHost : public LinkHost {
 public:
  bool WriteData(const uint8_t*, uint16_t) override {
    ++now;
    return true;
  }
  void RestartWatchdog() override {}
  void ShowWarning(const std::string&) override {}

  CommandQueue* queue = nullptr;
  int64_t now = 0;
};

TEST(ByteProgressTest, CountsTheDataBytesOfAnsweredMemoryCommandsOnly) {
  TrackingHost host;
  CommandQueue queue(host);
  // Made after the queue it follows, so that it leaves that queue first.
  ByteProgress progress{[&host] { return host.now; }};
  host.queue = &queue;
  queue.EnqueueCommand({SVC_SELECT_CHIP, 2});
  queue.EnqueueCommand({OP_ERASE_ALL});
  const std::vector<uint8_t> write = {OP_WRITE_FLASH, 0, 0, 0, 0, 3, 1, 2, 3};
  queue.EnqueueCommand(write.data(), static_cast<uint16_t>(write.size()));
  queue.EnqueueCommand({OP_READ_FLASH, 0, 1, 0, 0, 200});  // reads ask for it
  queue.EnqueueCommand({SVC_END});
  progress.Start(queue);
  EXPECT_EQ(progress.total(), 203u);

  auto answer = [&] {
    queue.SendHead();
    queue.ResetUnansweredSends();
    queue.RemoveHead();
  };
  answer();  // select
  answer();  // erase: no data bytes, and the clock has not started
  EXPECT_EQ(progress.done(), 0u);
  EXPECT_FALSE(progress.BytesPerSecond(1000));
  answer();  // the write, sent at 3
  EXPECT_EQ(progress.done(), 3u);
  EXPECT_DOUBLE_EQ(*progress.BytesPerSecond(1003), 3.0);
  // Appended later: counted in.
  queue.EnqueueCommand({OP_VERIFY_EEPROM, 0, 0, 0, 0, 16, 0});
  EXPECT_EQ(progress.total(), 203u + 16u);
  // The read goes out and the queue is cleared (retry limit, a failed
  // verify): the head may count, nothing that was never sent does.
  queue.SendHead();
  queue.ClearQueue();
  EXPECT_GE(progress.done(), 3u);
  EXPECT_LE(progress.done(), 203u);
}

// A read answered in part: its rest goes in behind it and the bytes asked
// move there, so the total stays and nothing is counted twice.
TEST(ByteProgressTest, ReadAnsweredInPartCountsEachByteOnce) {
  TrackingHost host;
  CommandQueue queue(host);
  // Made after the queue it follows, so that it leaves that queue first.
  ByteProgress progress{[&host] { return host.now; }};
  host.queue = &queue;
  queue.EnqueueCommand({OP_READ_FLASH, 0, 0, 0, 0, 200});
  queue.EnqueueCommand({SVC_END});
  progress.Start(queue);
  queue.SendHead();
  queue.InsertAfterHead({OP_READ_FLASH, 80, 0, 0, 0, 120});
  queue.RemoveHead();
  EXPECT_EQ(progress.done(), 80u);
  EXPECT_EQ(progress.total(), 200u);
  queue.SendHead();
  queue.RemoveHead();
  EXPECT_EQ(progress.done(), 200u);
}

TEST(ByteProgressTest, DataBytesOfEachCommand) {
  EXPECT_EQ(DataBytesOf({OP_VERIFY_FLASH, 0, 0, 0, 0, 224}), 224u);
  EXPECT_EQ(DataBytesOf({OP_WRITE_EEPROM, 0, 0, 0, 0, 9}), 9u);
  EXPECT_EQ(DataBytesOf({OP_WRITE_FUSES, 1, 1}), 0u);
  EXPECT_EQ(DataBytesOf({OP_READ_FLASH, 0}), 0u);  // cut short: no count
  EXPECT_EQ(DataBytesOf({SVC_GET_CHIP_NAME, 0, 0, 0, 0, 5}), 0u);
}

}  // namespace
}  // namespace taktm
