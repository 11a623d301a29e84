#include <gtest/gtest.h>

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QEnterEvent>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include "widgets/urls.h"

namespace taktm {
namespace {

// Stands in for the desktop's handler of file URLs.
class FileOpener : public QObject {
  Q_OBJECT

 public:
  FileOpener() { QDesktopServices::setUrlHandler("file", this, "Open"); }
  ~FileOpener() override { QDesktopServices::unsetUrlHandler("file"); }
  Q_INVOKABLE void Open(const QUrl& url) { opened << url; }
  QList<QUrl> opened;
};

// Runs a test inside a fresh current directory.
class InTemporaryDir {
 public:
  InTemporaryDir() : previous_(QDir::currentPath()) {
    QDir::setCurrent(dir_.path());
  }
  ~InTemporaryDir() { QDir::setCurrent(previous_); }
  QString path() const { return dir_.path(); }

 private:
  QTemporaryDir dir_;
  QString previous_;
};

TEST(TUrlTest, CreationDefaults) {
  TUrl url;
  EXPECT_EQ(url.URL(), "");
  EXPECT_EQ(url.ActiveLinkColor(), QColor(0, 0, 255));
  EXPECT_EQ(url.ActiveLinkStyle(), TFontStyles{fsUnderline});
  EXPECT_EQ(url.FontColor(), QColor(0, 0, 128));
  EXPECT_TRUE(url.ShowHint());
  EXPECT_EQ(url.cursor().shape(), Qt::PointingHandCursor);
}

TEST(TUrlTest, CaptionAndHintFollowTheUrlUnlessTheOwnerSetThem) {
  TUrl url;
  url.SetURL("help/ruka.htm");  // empty caption and hint take the URL
  EXPECT_EQ(url.Caption(), "help/ruka.htm");
  EXPECT_EQ(url.Hint(), "help/ruka.htm");
  EXPECT_EQ(url.toolTip(), "help/ruka.htm");

  url.SetURL("help/other.htm");  // still reading the old URL: they follow
  EXPECT_EQ(url.Caption(), "help/other.htm");
  EXPECT_EQ(url.Hint(), "help/other.htm");

  url.SetCaption("Помощь");
  url.SetHint("Руководство");
  url.SetURL("help/third.htm");
  EXPECT_EQ(url.Caption(), "Помощь");
  EXPECT_EQ(url.Hint(), "Руководство");
  EXPECT_EQ(url.URL(), "help/third.htm");

  TUrl quiet;
  quiet.SetShowHint(false);
  quiet.SetURL("x.htm");
  EXPECT_EQ(quiet.Caption(), "x.htm");
  EXPECT_EQ(quiet.Hint(), "") << "hints not shown are left alone";
  EXPECT_EQ(quiet.toolTip(), "");
}

TEST(TUrlTest, HoverShowsTheActiveLookAndLeavingRestoresIt) {
  TUrl url;
  url.SetFontColor(QColor(0, 128, 0));
  url.SetFontStyle(fsBold);
  url.SetActiveLinkColor(QColor(255, 0, 0));
  std::vector<std::string> events;
  url.OnMouseEnter = [&](TUrl* sender) {
    events.push_back(sender->FontColor() == QColor(255, 0, 0) ? "enter red"
                                                              : "enter");
  };
  url.OnMouseLeave = [&](TUrl* sender) {
    events.push_back(sender->FontColor() == QColor(0, 128, 0) ? "leave green"
                                                              : "leave");
  };

  QEnterEvent enter(QPointF(1, 1), QPointF(1, 1), QPointF(1, 1));
  QApplication::sendEvent(&url, &enter);
  EXPECT_EQ(url.FontColor(), QColor(255, 0, 0));
  EXPECT_EQ(url.FontStyle(), TFontStyles{fsUnderline});
  QEvent leave(QEvent::Leave);
  QApplication::sendEvent(&url, &leave);
  EXPECT_EQ(url.FontColor(), QColor(0, 128, 0));
  EXPECT_EQ(url.FontStyle(), TFontStyles{fsBold});
  EXPECT_EQ(events, (std::vector<std::string>{"enter red", "leave green"}));
}

TEST(TUrlTest, ExecuteOpensAFileRelativeToTheCurrentDirectory) {
  InTemporaryDir cwd;
  FileOpener opener;
  TUrl url;
  std::vector<int> failures;
  url.OnUrlFailed = [&](TUrl*, const QString& failed, int code) {
    EXPECT_EQ(failed, url.URL());
    failures.push_back(code);
  };

  EXPECT_FALSE(url.Execute()) << "empty URL";
  EXPECT_TRUE(failures.empty());

  url.SetURL("help/ruka.htm");
  EXPECT_FALSE(url.Execute()) << "no such file";
  EXPECT_EQ(failures, std::vector<int>{kUrlFileNotFound});
  EXPECT_TRUE(opener.opened.isEmpty());

  ASSERT_TRUE(QDir(cwd.path()).mkpath("help"));
  QFile help(cwd.path() + "/help/ruka.htm");
  ASSERT_TRUE(help.open(QIODevice::WriteOnly));
  help.close();
  EXPECT_TRUE(url.Execute());
  ASSERT_EQ(opener.opened.size(), 1);
  EXPECT_EQ(
      opener.opened[0],
      QUrl::fromLocalFile(QDir(cwd.path()).absoluteFilePath("help/ruka.htm")));
  EXPECT_EQ(failures.size(), 1u);
}

TEST(TUrlTest, ClickOpensTheUrlUnlessTheOwnerHandlesIt) {
  InTemporaryDir cwd;
  FileOpener opener;
  QFile file(cwd.path() + "/a.htm");
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.close();
  TUrl url;
  url.SetURL("a.htm");
  url.resize(60, 20);

  QTest::mouseClick(&url, Qt::LeftButton);
  EXPECT_EQ(opener.opened.size(), 1);
  QTest::mouseClick(&url, Qt::RightButton);
  EXPECT_EQ(opener.opened.size(), 1) << "only the left button clicks";

  int owner_clicks = 0;
  url.OnClick = [&](TUrl*) { ++owner_clicks; };
  QTest::mouseClick(&url, Qt::LeftButton);
  EXPECT_EQ(owner_clicks, 1);
  EXPECT_EQ(opener.opened.size(), 1);
}

}  // namespace
}  // namespace taktm

#include "url_test.moc"
