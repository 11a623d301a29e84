// The lock and fuse dialogs on the offscreen platform: geometry, keys and
// mouse, and what they queue.
#include "programming/bit_dialogs.h"

#include <gtest/gtest.h>

#include <QTest>

#include "support/fake_link_host.h"

namespace taktm {
namespace {

using testing::Bytes;

// Forwards every change to both dialogs, as the main window does.
class DialogHost : public ProgrammingHost {
 public:
  void Changed(Aspect aspect) override {
    if (aspect == Aspect::kLockRows || aspect == Aspect::kLockDialog) {
      if (form4 != nullptr) form4->Render();
    } else if (aspect == Aspect::kFuseRows || aspect == Aspect::kFuseDialog) {
      if (form6 != nullptr) form6->Render();
    }
  }
  void RebuildLines(int) override {}
  void SetLineText(int, const std::string&) override {}
  void ResizeBuffer(size_t) override {}
  void FormatGrid() override {}
  ReloadResult ReloadWorkingFile() override { return {}; }
  bool Check(Option) override { return true; }
  void ShowWarning(const std::string&) override {}

  TForm4* form4 = nullptr;
  TForm6* form6 = nullptr;
};

class BitDialogsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    host_.form4 = &form4_;
    host_.form6 = &form6_;
  }
  std::vector<Bytes> Queued() const {
    std::vector<Bytes> out;
    for (size_t i = 0; i < queue_.count(); ++i) out.push_back(queue_.entry(i));
    return out;
  }
  // Three lock rows, rows 0 and 2 ticked, the dialog shown for writing.
  void ShowLocksForWriting() {
    programmer_.lock_bits().RebuildRows(3);
    programmer_.lock_bits().SetRowTicked(0, true);
    programmer_.lock_bits().SetRowTicked(2, true);
    programmer_.lock_bits().Show(true);
  }
  static void Enter(QWidget* w) {
    QTest::keyPress(w, Qt::Key_Return);
    QTest::keyRelease(w, Qt::Key_Return);
  }

  testing::FakeLinkHost link_;
  CommandQueue queue_{link_};
  DataBuffer buffer_;
  DialogHost host_;
  ChipProgrammer programmer_{queue_, buffer_, host_};
  TForm4 form4_{programmer_};
  TForm6 form6_{programmer_};
};

TEST_F(BitDialogsTest, GeometryFollowsTheRows) {
  EXPECT_EQ(form4_.windowTitle(), "Lock биты");
  EXPECT_EQ(form6_.windowTitle(), "Fuse биты");
  EXPECT_EQ(form4_.size(), QSize(192, 43));
  EXPECT_EQ(form6_.size(), QSize(336, 43));
  EXPECT_EQ(form4_.button1()->geometry(), QRect(56, 16, 75, 25));
  EXPECT_EQ(form6_.button1()->geometry(), QRect(136, 16, 75, 25));
  EXPECT_EQ(form4_.palette().color(QPalette::Window), QColor(210, 192, 192));
  EXPECT_EQ(form6_.palette().color(QPalette::Window), QColor(220, 192, 192));

  programmer_.lock_bits().RebuildRows(3);
  ASSERT_EQ(form4_.rows().size(), 3u);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(form4_.rows()[i]->pos(), QPoint(20, 25 + 20 * i));
    EXPECT_EQ(form4_.rows()[i]->text(), "");
    EXPECT_FALSE(form4_.rows()[i]->isChecked());
  }
  EXPECT_EQ(form4_.frameGeometry().height(), 160);
  EXPECT_EQ(form4_.width(), 192);
  EXPECT_EQ(form4_.button1()->y(), 100);
  programmer_.lock_bits().SetRowCaption(1, "BLB01");
  EXPECT_EQ(form4_.rows()[1]->text(), "BLB01");

  programmer_.fuse_bits().RebuildRows(0);
  EXPECT_TRUE(form6_.rows().empty());
  EXPECT_EQ(form6_.frameGeometry().height(), 100);
  EXPECT_EQ(form6_.button1()->y(), 40);
  EXPECT_EQ(form6_.width(), 336);
}

TEST_F(BitDialogsTest, ShownNonModalCentredAndReplacedInPlace) {
  ShowLocksForWriting();
  ASSERT_TRUE(form4_.isVisible());
  EXPECT_FALSE(form4_.isModal());
  const QRect screen = form4_.screen()->availableGeometry();
  EXPECT_LE(
      (form4_.frameGeometry().center() - screen.center()).manhattanLength(), 2);
  programmer_.lock_bits().RebuildRows(5);  // a count reply while shown
  EXPECT_TRUE(form4_.isVisible());
  EXPECT_EQ(form4_.rows().size(), 5u);
  EXPECT_EQ(form4_.frameGeometry().height(), 200);
}

TEST_F(BitDialogsTest, AnyMouseButtonReleasedOnWriteWrites) {
  ShowLocksForWriting();
  // Through the window, as the window system delivers it.
  const QPoint at = form4_.button1()->geometry().center();
  QTest::mousePress(form4_.windowHandle(), Qt::RightButton, {}, at);
  EXPECT_TRUE(queue_.empty());
  QTest::mouseRelease(form4_.windowHandle(), Qt::RightButton, {}, at);
  EXPECT_EQ(Queued(), (std::vector<Bytes>{{0x06, 0}, {0x06, 2}}));
  EXPECT_FALSE(form4_.isVisible());
  ASSERT_EQ(form4_.rows().size(), 3u);  // hiding keeps the rows and ticks
  EXPECT_TRUE(form4_.rows()[2]->isChecked());

  queue_.ClearQueue();
  programmer_.fuse_bits().RebuildRows(3);
  programmer_.fuse_bits().Show(true);
  QTest::mouseClick(form6_.rows()[1], Qt::LeftButton, {},
                    QPoint(6, 8));  // the user ticks its box
  EXPECT_TRUE(programmer_.fuse_bits().row(1).ticked);
  QTest::mouseClick(form6_.button1(), Qt::LeftButton);
  EXPECT_EQ(Queued(),
            (std::vector<Bytes>{{0x04, 0, 0}, {0x04, 1, 1}, {0x04, 2, 0}}));
}

TEST_F(BitDialogsTest, KeysOnTheWriteButton) {
  ShowLocksForWriting();
  QTest::keyClick(form4_.button1(), Qt::Key_Space);
  EXPECT_TRUE(queue_.empty());
  EXPECT_TRUE(form4_.isVisible());
  QTest::keyRelease(form4_.button1(), Qt::Key_Return);  // pressed elsewhere
  EXPECT_TRUE(queue_.empty());
  EXPECT_TRUE(form4_.isVisible());
  Enter(form4_.button1());
  EXPECT_EQ(queue_.count(), 2u);
  EXPECT_FALSE(form4_.isVisible());
}

TEST_F(BitDialogsTest, EnterOnARowOrTheDialogHidesWithoutWriting) {
  ShowLocksForWriting();
  Enter(form4_.rows()[1]);
  EXPECT_FALSE(form4_.isVisible());
  EXPECT_FALSE(programmer_.lock_bits().shown());
  programmer_.lock_bits().Show(true);
  QTest::keyClick(&form4_, Qt::Key_Escape);  // does nothing
  EXPECT_TRUE(form4_.isVisible());
  Enter(&form4_);
  EXPECT_FALSE(form4_.isVisible());
  programmer_.lock_bits().Show(true);
  form4_.close();  // the close box
  EXPECT_FALSE(programmer_.lock_bits().shown());
  EXPECT_TRUE(queue_.empty());
}

TEST_F(BitDialogsTest, ReadShowsDisabledAndTicksArriveWhileShown) {
  programmer_.fuse_bits().RebuildRows(2);
  programmer_.fuse_bits().Show(false);
  EXPECT_TRUE(form6_.isVisible());
  EXPECT_FALSE(form6_.button1()->isEnabled());
  QTest::mouseClick(form6_.button1(), Qt::LeftButton);
  EXPECT_TRUE(queue_.empty());
  programmer_.fuse_bits().SetRowTicked(1, true);  // the read reply
  EXPECT_TRUE(form6_.rows()[1]->isChecked());
}

TEST_F(BitDialogsTest, LossEmptiesOnlyTheLockDialog) {
  ShowLocksForWriting();
  programmer_.fuse_bits().RebuildRows(2);
  programmer_.fuse_bits().SetRowTicked(0, true);
  programmer_.Timer2Timer();
  EXPECT_TRUE(form4_.rows().empty());
  EXPECT_EQ(form4_.frameGeometry().height(), 160);  // size stays
  ASSERT_EQ(form6_.rows().size(), 2u);
  EXPECT_TRUE(form6_.rows()[0]->isChecked());
}

}  // namespace
}  // namespace taktm
