#include <gtest/gtest.h>

#include "cli/gang_report.h"
#include "cli/log_line.h"

namespace taktm {
namespace {

using std::chrono::milliseconds;
using std::chrono::system_clock;

TEST(GangReportTest, WorstStatusFollowsTheOrderOfTheStatuses) {
  EXPECT_EQ(WorstStatus({}), ExitStatus::kOk);
  EXPECT_EQ(WorstStatus({ExitStatus::kOk, ExitStatus::kNoDevice,
                         ExitStatus::kWrongSignature, ExitStatus::kOk}),
            ExitStatus::kWrongSignature);
  EXPECT_EQ(WorstStatus({ExitStatus::kFileError, ExitStatus::kDeviceFailure}),
            ExitStatus::kFileError);
}

TEST(GangReportTest, LinesAndSummary) {
  PortResult ok{"/dev/ttyUSB0", "DEMO-8K", ExitStatus::kOk,
                "Все верно.",   16360,     16360,
                2449,           1000,      ""};
  PortResult burnt{"/dev/ttyUSB1",
                   "DEMO-8K",
                   ExitStatus::kNoDevice,
                   "Программатор не отвечает",
                   4480,
                   16360,
                   5120,
                   1001,
                   ""};
  PortResult early{"/dev/ttyUSB2",
                   "",
                   ExitStatus::kNoDevice,
                   "Невозможно открыть порт!",
                   0,
                   0,
                   0,
                   std::nullopt,
                   ""};
  EXPECT_EQ(PortResultLine(ok, true),
            "/dev/ttyUSB0\tDEMO-8K\tok\t16360/16360 байт\t2,4 с\t№ 1000\t"
            "Все верно.");
  EXPECT_EQ(PortResultLine(burnt, true),
            "/dev/ttyUSB1\tDEMO-8K\tno-device\t4480/16360 байт\t5,1 с\t"
            "№ 1001 не использован\tПрограмматор не отвечает");
  EXPECT_EQ(PortResultLine(early, true),
            "/dev/ttyUSB2\t-\tno-device\t0/0 байт\t0,0 с\t-\t"
            "Невозможно открыть порт!");
  EXPECT_EQ(PortResultLine(early, false),
            "/dev/ttyUSB2\t-\tno-device\t0/0 байт\t0,0 с\t"
            "Невозможно открыть порт!");
  EXPECT_EQ(GangSummary({ok, ok}), "Итого: успешно 2 из 2");
  EXPECT_EQ(GangSummary({ok, burnt, early}),
            "Итого: успешно 1 из 3; код выхода 3 (no-device)");
}

TEST(LogLineTest, UtcTimes) {
  EXPECT_EQ(UtcTimeText(system_clock::time_point{}),
            "1970-01-01T00:00:00.000Z");
  EXPECT_EQ(UtcTimeText(system_clock::time_point{milliseconds(1709251199999)}),
            "2024-02-29T23:59:59.999Z");
  EXPECT_EQ(UtcTimeText(system_clock::time_point{milliseconds(951868800000)}),
            "2000-03-01T00:00:00.000Z");
  EXPECT_EQ(UtcTimeText(system_clock::time_point{milliseconds(-1)}),
            "1969-12-31T23:59:59.999Z");
}

TEST(LogLineTest, OneObjectOnOneLine) {
  ChipRecord r;
  r.time = system_clock::time_point{milliseconds(1709251199999)};
  r.port = "/dev/ttyUSB0";
  r.device = "ТАКТ-М";
  r.chip = "DEMO-8K";
  r.command = "write-flash";
  r.file = "/srv/fw \"v2\".hex";
  r.sha256 = "ab";
  r.serials = true;
  r.serial = 18446744073709551615u;
  r.status = ExitStatus::kVerifyMismatch;
  r.message = "Ошибка по адресу 380.\nПопробуйте";
  r.address = 0x380;
  r.bytes = 1120;
  r.duration_ms = 2345;
  EXPECT_EQ(ChipRecordLine(r),
            "{\"time\":\"2024-02-29T23:59:59.999Z\",\"port\":\"/dev/ttyUSB0\","
            "\"device\":\"ТАКТ-М\",\"chip\":\"DEMO-8K\",\"command\":"
            "\"write-flash\",\"file\":\"/srv/fw \\\"v2\\\".hex\",\"sha256\":"
            "\"ab\",\"serial\":18446744073709551615,\"serial_used\":false,"
            "\"status\":\"verify-mismatch\",\"exit\":5,\"address\":896,"
            "\"address_hex\":\"380\",\"message\":\"Ошибка по адресу "
            "380.\\nПопробуйте\",\"bytes\":1120,\"duration_ms\":2345}\n");
  // A chip that never took a number says so; without --serial, nothing.
  r.serial.reset();
  r.status = ExitStatus::kOk;
  r.address.reset();
  r.message.clear();
  EXPECT_NE(ChipRecordLine(r).find("\"serial\":null,\"status\":\"ok\""),
            std::string::npos);
  r.serials = false;
  EXPECT_EQ(ChipRecordLine(r).find("serial"), std::string::npos);
}

// The pair a number leaves: the line as it is taken, and the closing line
// of a run a signal stopped, which says whether the number went out.
TEST(LogLineTest, StartedAndInterruptedLines) {
  ChipRecord r;
  r.started = true;
  r.time = system_clock::time_point{milliseconds(0)};
  r.port = "/dev/ttyUSB0";
  r.chip = "DEMO-8K";
  r.command = "write-flash";
  r.serials = true;
  r.serial = 1001;
  r.status = ExitStatus::kDeviceFailure;  // no verdict yet: not shown
  r.bytes = 5;
  EXPECT_EQ(ChipRecordLine(r),
            "{\"time\":\"1970-01-01T00:00:00.000Z\",\"port\":\"/dev/ttyUSB0\","
            "\"chip\":\"DEMO-8K\",\"command\":\"write-flash\",\"serial\":1001,"
            "\"status\":\"started\"}\n");
  r.started = false;
  r.status = ExitStatus::kTerminated;
  r.serial_sent = true;
  r.signal = "SIGTERM";
  r.message = "Прервано сигналом SIGTERM";
  EXPECT_NE(
      ChipRecordLine(r).find(
          "\"serial\":1001,\"serial_used\":false,\"serial_sent\":true,"
          "\"status\":\"interrupted\",\"exit\":143,\"signal\":\"SIGTERM\","),
      std::string::npos)
      << ChipRecordLine(r);
  EXPECT_STREQ(ExitStatusName(ExitStatus::kInterrupted), "interrupted");
  EXPECT_STREQ(ExitStatusName(ExitStatus::kHangup), "interrupted");
  // A stopped run outranks every verdict in the exit status.
  EXPECT_EQ(WorstStatus({ExitStatus::kFileError, ExitStatus::kHangup}),
            ExitStatus::kHangup);
}

}  // namespace
}  // namespace taktm
