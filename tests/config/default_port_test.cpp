#include "config/default_port.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "harness/temp_dir.h"

namespace taktm {
namespace {

TEST(DefaultPortTest, FirstUsbAdapterByNumberThenModemClassThenTtyUsb0) {
  // Numbers, not text order: ttyUSB2 comes before ttyUSB10.
  EXPECT_EQ(ChooseDefaultPort({"ttyS0", "ttyUSB10", "ttyACM0", "ttyUSB2"}),
            "/dev/ttyUSB2");
  EXPECT_EQ(ChooseDefaultPort({"ttyACM3", "ttyS1", "ttyACM1", "tty"}),
            "/dev/ttyACM1");
  // Names that only look alike are no ports.
  EXPECT_EQ(ChooseDefaultPort({"ttyUSB", "ttyUSBx", "ttyUSB1a", "xttyACM0",
                               "ttyUSB99999999999"}),
            "/dev/ttyUSB0");
  EXPECT_EQ(ChooseDefaultPort({}), "/dev/ttyUSB0");
  EXPECT_EQ(ChooseDefaultPort({"ttyACM0"}, "/tmp/d"), "/tmp/d/ttyACM0");
}

TEST(DefaultPortTest, LooksInTheDeviceFolder) {
#ifdef _WIN32
  EXPECT_EQ(DefaultComPort(), "COM1");
#else
  testing::TempDir dir;
  const std::string folder = dir.path().string();
  SetDeviceFolder(folder);
  EXPECT_EQ(DefaultComPort(), folder + "/ttyUSB0");
  std::ofstream(dir.File("ttyACM4"));
  std::ofstream(dir.File("ttyACM2"));
  EXPECT_EQ(DefaultComPort(), folder + "/ttyACM2");
  SetDeviceFolder(folder + "/missing");  // unreadable: the fallback
  EXPECT_EQ(DefaultComPort(), folder + "/missing/ttyUSB0");
  SetDeviceFolder("/dev");
#endif
}

}  // namespace
}  // namespace taktm
