#include "ui/shell_browser.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QGroupBox>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QTemporaryDir>

#include "support/spin_until.h"

namespace taktm {
namespace {

template <typename Pred>
bool SpinUntil(Pred done) {
  return testing::SpinUntil(done, 3000);
}

class ShellBrowserTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    QDir(dir_.path()).mkpath("deep/er/folder");
    for (const char* name : {"b.hex", "a.bin", "c.eep"}) {
      QFile f(dir_.filePath(QString("deep/er/folder/") + name));
      ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    box_.resize(300, 700);
    browser_ = new ShellBrowser(&box_);
    browser_->ShellTreeView1()->setGeometry(5, 40, 290, 200);
    browser_->ShellListView1()->setGeometry(5, 250, 290, 400);
    box_.show();
  }
  QString Folder() const { return dir_.filePath("deep/er/folder"); }

  QTemporaryDir dir_;
  QGroupBox box_;
  ShellBrowser* browser_ = nullptr;
};

TEST_F(ShellBrowserTest, DeepFolderIsSelectedShownAndListed) {
  EXPECT_FALSE(browser_->SelectFolder(dir_.filePath("missing")));
  ASSERT_TRUE(browser_->SelectFolder(Folder()));
  ASSERT_TRUE(SpinUntil([&] { return browser_->ItemCount() == 3; }));
  EXPECT_EQ(browser_->SelectedFolder(), Folder());
  QTreeView* tree = browser_->ShellTreeView1();
  ASSERT_TRUE(SpinUntil([&] {
    return tree->viewport()->rect().contains(
        tree->visualRect(tree->currentIndex()));
  }));
  // Sorted by name, full paths.
  EXPECT_EQ(browser_->ItemPath(0), (Folder() + "/a.bin").toStdString());
  EXPECT_EQ(browser_->ItemPath(2), (Folder() + "/c.eep").toStdString());
  EXPECT_EQ(browser_->ShellComboBox1()->currentData().toString(), Folder());
}

TEST_F(ShellBrowserTest, OnlyAReleaseOfMouseOrEnterPicksAFile) {
  ASSERT_TRUE(browser_->SelectFolder(Folder()));
  ASSERT_TRUE(SpinUntil([&] { return browser_->ItemCount() == 3; }));
  QTreeView* list = browser_->ShellListView1();
  int picks = 0;
  QObject::connect(browser_, &ShellBrowser::FilePicked, [&] { ++picks; });
  list->setFocus();
  list->setCurrentIndex(list->model()->index(1, 0, list->rootIndex()));
  EXPECT_TRUE(browser_->ItemSelected(1));
  EXPECT_FALSE(browser_->ItemSelected(0));

  QKeyEvent down_press(QEvent::KeyPress, Qt::Key_Down, Qt::NoModifier);
  QApplication::sendEvent(list, &down_press);
  QKeyEvent down_release(QEvent::KeyRelease, Qt::Key_Down, Qt::NoModifier);
  QApplication::sendEvent(list, &down_release);
  QKeyEvent enter_press(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
  QApplication::sendEvent(list, &enter_press);
  EXPECT_EQ(picks, 0);
  QKeyEvent enter_release(QEvent::KeyRelease, Qt::Key_Return, Qt::NoModifier);
  QApplication::sendEvent(list, &enter_release);
  EXPECT_EQ(picks, 1);

  const QPoint at = list->visualRect(list->currentIndex()).center();
  QMouseEvent right_release(QEvent::MouseButtonRelease, at,
                            list->viewport()->mapToGlobal(at), Qt::RightButton,
                            Qt::NoButton, Qt::NoModifier);
  QApplication::sendEvent(list->viewport(), &right_release);
  EXPECT_EQ(picks, 2);
}

}  // namespace
}  // namespace taktm
