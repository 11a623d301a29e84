#include "ui/layout.h"

#include <gtest/gtest.h>

namespace taktm {
namespace {

TEST(LayoutTest, ReferenceClientAreaGivesTheDrawnRectangles) {
  const MainLayout l = ComputeLayout({792, 573, 19, 29, 29, 22});
  EXPECT_EQ(l.group_file, (Rect{5, 34, 259, 515}));
  EXPECT_EQ(l.group_chip, (Rect{269, 34, 153, 340}));
  EXPECT_EQ(l.group_command, (Rect{269, 379, 153, 170}));
  EXPECT_EQ(l.group_data, (Rect{427, 34, 360, 515}));
  EXPECT_EQ(l.grid, (Rect{5, 15, 350, 495}));
  EXPECT_EQ(l.grid_column_width, 17);
  EXPECT_EQ(l.folder_combo, (Rect{5, 15, 249, 22}));
  EXPECT_EQ(l.folder_tree, (Rect{5, 42, 249, 178}));
  EXPECT_EQ(l.file_list, (Rect{5, 225, 249, 285}));
  EXPECT_EQ(l.chip_list, (Rect{5, 15, 143, 320}));
  EXPECT_EQ(l.operation_list, (Rect{5, 15, 143, 150}));
}

TEST(LayoutTest, BottomsLineUpFivePixelsAboveTheStatusBar) {
  for (int w : {640, 800, 1277, 1920}) {
    for (int h : {480, 573, 1000, 1041}) {
      const MainLayout l = ComputeLayout({w, h, 19, 29, 29, 22});
      const int bar_top = h - 19;
      EXPECT_EQ(l.group_file.bottom(), bar_top - 5) << w << "x" << h;
      EXPECT_EQ(l.group_data.bottom(), bar_top - 5) << w << "x" << h;
      EXPECT_EQ(l.group_data.right(), w - 5) << w << "x" << h;
      // The command box may end a pixel or two short: thirds truncate.
      EXPECT_LE(l.group_command.bottom(), bar_top - 5);
      EXPECT_GE(l.group_command.bottom(), bar_top - 7);
    }
  }
}

}  // namespace
}  // namespace taktm
