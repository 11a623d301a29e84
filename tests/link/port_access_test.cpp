#include "link/port_access.h"

#include <gtest/gtest.h>

namespace taktm {
namespace {

// Both kinds of refusal name the device, what to do, and the package's
// udev rule that opens USB adapters with no group change.
TEST(PortAccessTest, TheLineSaysWhatToDoAndNamesThePackagesRule) {
  const std::string group = PortAccessDeniedLine(
      {"/dev/ttyUSB0", "dialout", /*group_may_use=*/true, "anna"});
  EXPECT_EQ(group.rfind("Нет прав на чтение и запись /dev/ttyUSB0: порт "
                        "доступен группе dialout. Добавьте пользователя в "
                        "эту группу (sudo usermod -aG dialout anna)",
                        0),
            0u)
      << group;
  const std::string owner = PortAccessDeniedLine(
      {"/dev/ttyACM0", "root", /*group_may_use=*/false, "anna"});
  EXPECT_NE(owner.find("разрешены только владельцу"), std::string::npos);
  for (const std::string& line : {group, owner}) {
    EXPECT_NE(line.find("правилом udev 70-takt-m.rules"), std::string::npos)
        << line;
    EXPECT_EQ(line.find('\n'), std::string::npos);
  }
}

}  // namespace
}  // namespace taktm
