#include "ui/progress_window.h"

#include <gtest/gtest.h>

namespace taktm {
namespace {

TEST(ProgressWindowTest, FollowsTheQueueModel) {
  TForm5 form5;
  EXPECT_EQ(form5.size(), QSize(359, 89));
  EXPECT_EQ(form5.ProgressBar1()->geometry(), QRect(24, 40, 313, 16));
  EXPECT_EQ(form5.Label1()->text(), QString("Очередь команд"));
  EXPECT_FALSE(form5.isVisible());

  form5.Render({5, 5, true});
  EXPECT_TRUE(form5.isVisible());
  EXPECT_EQ(form5.ProgressBar1()->maximum(), 5);
  EXPECT_EQ(form5.ProgressBar1()->value(), 5);
  form5.Render({5, 2, true});
  EXPECT_EQ(form5.ProgressBar1()->value(), 2);
  form5.Render({5, 0, false});
  EXPECT_FALSE(form5.isVisible());
  // A maximum of 0 must not turn the bar into a busy indicator.
  form5.Render({0, 0, false});
  EXPECT_GT(form5.ProgressBar1()->maximum(), 0);
}

}  // namespace
}  // namespace taktm
