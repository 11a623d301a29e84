#include "ui/shell_browser.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileSystemModel>
#include <QGroupBox>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QThread>

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

// The folder is restored at start-up, before the event loop runs, while the
// model has read none of the folders above it; a slow start (windows being
// built, a busy machine) passes before the model delivers their rows. Once
// they arrive and are sorted, the tree has the folder selected and in view,
// below a crowd of sibling folders.
TEST(ShellBrowserStartTest, RestoredFolderIsInViewAfterASlowStart) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  for (int i = 0; i < 300; ++i) {
    QDir(dir.path()).mkpath(QString("a%1").arg(i, 3, 10, QChar('0')));
  }
  const QString folder = dir.filePath("zz/restored");
  QDir().mkpath(folder);
  QFile(folder + "/image.bin").open(QIODevice::WriteOnly);

  QGroupBox box;
  box.resize(300, 700);
  auto* browser = new ShellBrowser(&box);
  QTreeView* tree = browser->ShellTreeView1();
  tree->setGeometry(5, 40, 290, 200);
  browser->ShellListView1()->setGeometry(5, 250, 290, 400);
  ASSERT_TRUE(browser->SelectFolder(folder));
  QThread::msleep(3500);
  box.show();

  auto* model = static_cast<QFileSystemModel*>(tree->model());
  // All siblings read and sorted: "zz" is last.
  ASSERT_TRUE(SpinUntil([&] {
    return browser->ItemCount() == 1 &&
           model->index(dir.filePath("zz")).row() == 300;
  }));
  EXPECT_EQ(browser->SelectedFolder(), folder);
  EXPECT_TRUE(SpinUntil([&] {
    return tree->viewport()->rect().contains(
        tree->visualRect(tree->currentIndex()));
  })) << "current row at y "
      << tree->visualRect(tree->currentIndex()).y();
}

// Once the user scrolls the tree, folders appearing later no longer pull it
// back to the folder the program chose.
TEST_F(ShellBrowserTest, UserScrollingEndsTheReveal) {
  for (int i = 0; i < 100; ++i) {
    QDir(dir_.path()).mkpath(QString("a%1").arg(i, 3, 10, QChar('0')));
  }
  ASSERT_TRUE(browser_->SelectFolder(Folder()));
  QTreeView* tree = browser_->ShellTreeView1();
  auto* model = static_cast<QFileSystemModel*>(tree->model());
  ASSERT_TRUE(SpinUntil([&] {
    return model->rowCount(model->index(dir_.path())) == 101 &&
           tree->viewport()->rect().contains(
               tree->visualRect(tree->currentIndex()));
  }));
  tree->verticalScrollBar()->triggerAction(QAbstractSlider::SliderToMinimum);
  const int top = tree->verticalScrollBar()->value();
  QDir(dir_.path()).mkpath("a050x");
  SpinUntil([&] { return model->rowCount(model->index(dir_.path())) == 102; });
  for (int i = 0; i < 10; ++i) QApplication::processEvents();
  EXPECT_EQ(tree->verticalScrollBar()->value(), top);
  EXPECT_EQ(browser_->SelectedFolder(), Folder());
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
