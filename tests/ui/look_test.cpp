// The windows as a user sees them: captions exactly as set, the window font
// keeping two hex digits inside a 17-pixel grid column, list rows 13 high,
// file names whole, and Russian from Qt's own texts and the file details.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QImage>
#include <QLibraryInfo>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QSettings>
#include <QStaticText>
#include <QTemporaryDir>
#include <QTimer>
#include <QWindow>
#include <memory>
#include <string>

#include "buffer/grid_text.h"
#include "buffer/hex_grid.h"
#include "config/settings_dialog.h"
#include "programming/bit_dialogs.h"
#include "programming/opcodes.h"
#include "support/spin_until.h"
#include "ui/about_box.h"
#include "ui/app_setup.h"
#include "ui/file_details.h"
#include "ui/main_window.h"
#include "ui/save_dialog.h"
#include "ui/shell_browser.h"
#include "widgets/error_report.h"

namespace taktm {
namespace {

template <typename Pred>
bool SpinUntil(Pred done) {
  return testing::SpinUntil(done, 3000);
}

// Qt appends an application display name to every window title once one is
// set; until then the display name follows the application name.
bool DisplayNameIsSet() {
  const QString name = QCoreApplication::applicationName();
  QCoreApplication::setApplicationName(QStringLiteral("probe-name"));
  const bool set =
      QGuiApplication::applicationDisplayName() != QStringLiteral("probe-name");
  QCoreApplication::setApplicationName(name);
  return set;
}

bool QtRussianInstalled() {
  return QFile::exists(QLibraryInfo::path(QLibraryInfo::TranslationsPath) +
                       QStringLiteral("/qtbase_ru.qm"));
}

// The title the window system is given for `w`.
QString ShownTitle(QWidget& w) {
  w.winId();
  return w.windowHandle() != nullptr ? w.windowHandle()->title() : QString();
}

// A reply as the link hands it over: opcode, then the text with its length.
void ReplyText(TForm1& form, uint8_t opcode, const std::string& cp1251) {
  ReplyRecord record{};
  record[0] = opcode;
  record[1] = static_cast<uint8_t>(cp1251.size());
  std::copy(cp1251.begin(), cp1251.end(), record.begin() + 2);
  form.core().programmer().DispatchReply(
      record, static_cast<uint8_t>(cp1251.size() + 2));
}

class LookTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    SetUpApplication(*QCoreApplication::instance());
  }

  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                       dir_.filePath("settings"));
    {
      QSettings store;
      store.setValue("ComPort", dir_.filePath("no-such-port"));
    }
    SetErrorReporter([](QWidget*, const QString&) {});
    form_ = std::make_unique<TForm1>();
  }
  void TearDown() override {
    form_.reset();
    SetErrorReporter(nullptr);
  }

  // The main window's client area at the design size.
  void DesignSize() {
    form_->resize(792, 573);
    form_->show();
    QApplication::processEvents();
  }

  QTemporaryDir dir_;
  std::unique_ptr<TForm1> form_;
};

TEST_F(LookTest, CaptionsAreExactlyWhatEachWindowSets) {
  EXPECT_FALSE(DisplayNameIsSet());

  EXPECT_EQ(ShownTitle(*form_), "Программатор не подключен");
  // "ТАКТ-М [*] 2.0" in Windows-1251; Qt would take "[*]" for its own mark.
  ReplyText(*form_, SVC_GET_NAME, "\xD2\xC0\xCA\xD2-\xCC [*] 2.0");
  EXPECT_EQ(ShownTitle(*form_), "ТАКТ-М [*] 2.0");
  form_->Timer2Timer();  // the device is lost
  EXPECT_EQ(ShownTitle(*form_), "Программатор не подключен");

  TForm3 settings(form_->Comm321(), form_->Timer2(), form_->Browser());
  TForm4 locks(form_->core().programmer());
  TForm6 fuses(form_->core().programmer());
  TForm7 about;
  EXPECT_EQ(ShownTitle(settings), "Настройки");
  EXPECT_EQ(ShownTitle(locks), "Lock биты");
  EXPECT_EQ(ShownTitle(fuses), "Fuse биты");
  EXPECT_EQ(ShownTitle(about), "О программаторе");
}

TEST_F(LookTest, WindowFontIsElevenPixelsAndListRowsThirteenHigh) {
  EXPECT_EQ(QApplication::font().pixelSize(), 11);
  EXPECT_EQ(form_->ListBox1()->font().pixelSize(), 11);
  for (const char* chip : {"DEMO-1K", "DEMO-8K"}) {
    ReplyText(*form_, SVC_GET_CHIP_NAME, chip);
  }
  DesignSize();
  QListWidget* chips = form_->ListBox1();
  ASSERT_EQ(chips->count(), 2);
  EXPECT_EQ(chips->visualItemRect(chips->item(0)).height(), 13);
  EXPECT_EQ(chips->visualItemRect(chips->item(1)).top(),
            chips->visualItemRect(chips->item(0)).top() + 13);
  // Also with a face whose lines are taller (the desktop's usual 12 pixels).
  QFont taller(QStringLiteral("DejaVu Sans"));
  taller.setPixelSize(12);
  chips->setFont(taller);
  chips->doItemsLayout();
  EXPECT_EQ(chips->visualItemRect(chips->item(1)).height(), 13);
}

// Every byte value drawn in its cell keeps all its pixels there: none lost
// under the grid line, none spilt into the next cell.
TEST_F(LookTest, TwoDigitsFitTheirCellsAtTheDesignSize) {
  DesignSize();
  HexGrid* grid = form_->StringGrid1();
  // A 17-pixel cell and its grid line.
  ASSERT_EQ(grid->columnWidth(0), 18);
  ASSERT_EQ(grid->visualRect(grid->model()->index(0, 0)).width(), 17);

  // 256 values in 16 rows and one more row, whose empty cell takes the
  // cursor so that no data cell is highlighted.
  form_->core().editor().ResizeBuffer(257);
  for (int v = 0; v < 256; ++v) form_->core().buffer().Set(v, uint8_t(v));
  grid->FormatGrid();
  grid->SetCurrentCell(GridCell{5, 17});
  grid->clearSelection();
  const QImage shot = grid->viewport()->grab().toImage();
  auto dark = [](QRgb p) { return qGray(p) < 96; };

  for (int v = 0; v < 256; ++v) {
    const QString text = QString::fromStdString(ByteToHexText(uint8_t(v)));
    QImage alone(48, 32, QImage::Format_RGB32);
    alone.fill(Qt::white);
    {
      QPainter p(&alone);
      p.setFont(grid->font());
      p.setPen(Qt::black);
      QStaticText st(text);
      st.prepare(QTransform(), grid->font());
      p.drawStaticText(8, 8, st);
    }
    int expected = 0;
    for (int y = 0; y < alone.height(); ++y) {
      for (int x = 0; x < alone.width(); ++x)
        expected += dark(alone.pixel(x, y));
    }
    ASSERT_GT(expected, 0);

    const QRect cell = grid->visualRect(grid->model()->index(v / 16, v % 16));
    ASSERT_TRUE(shot.rect().contains(cell)) << v;
    int inside = 0;
    for (int y = cell.top(); y <= cell.bottom(); ++y) {
      for (int x = cell.left(); x <= cell.right(); ++x) {
        inside += dark(shot.pixel(x, y));
      }
    }
    EXPECT_EQ(inside, expected)
        << text.toStdString() << " in a " << cell.width() << "-pixel cell";
  }
}

TEST_F(LookTest, FileNamesAreWholeAtTheDesignSize) {
  const QString folder = dir_.filePath("files");
  QDir().mkpath(folder);
  for (const char* name :
       {"big.hex", "прошивка-контроллера-версия-2.bin", "a.eep"}) {
    QFile f(folder + "/" + QString::fromUtf8(name));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(QByteArray(600000, 'x'));
  }
  DesignSize();
  ASSERT_TRUE(form_->Browser().SelectFolder(folder));
  ASSERT_TRUE(SpinUntil([&] { return form_->Browser().ItemCount() == 3; }));
  QApplication::processEvents();

  QTreeView* list = form_->Browser().ShellListView1();
  const QModelIndex root = list->rootIndex();
  for (int row = 0; row < 3; ++row) {
    const QModelIndex name = list->model()->index(row, 0, root);
    EXPECT_GE(list->visualRect(name).width(),
              list->sizeHintForIndex(name).width())
        << name.data().toString().toStdString();
  }
  EXPECT_GE(list->header()->sectionSize(0), list->header()->sectionSizeHint(0));
}

TEST_F(LookTest, FileDetailsReadInRussian) {
  const QString folder = dir_.filePath("details");
  QDir(folder).mkpath("sub");
  QFile f(folder + "/image.bin");
  ASSERT_TRUE(f.open(QIODevice::ReadWrite));
  f.write(QByteArray(600000, '\0'));
  ASSERT_TRUE(f.setFileTime(QDateTime(QDate(2026, 12, 9), QTime(14, 5)),
                            QFileDevice::FileModificationTime));
  f.close();

  QFileSystemModel model;
  model.setRootPath(folder);
  const QModelIndex file = model.index(folder + "/image.bin");
  const QModelIndex sub = model.index(folder + "/sub");
  ASSERT_TRUE(SpinUntil([&] { return model.size(file) == 600000; }));

  EXPECT_EQ(LocalDetailText(model, file.siblingAtColumn(1)), "586 КБ");
  EXPECT_EQ(LocalDetailText(model, file.siblingAtColumn(3)),
            "09.12.2026 14:05");
  EXPECT_EQ(LocalDetailText(model, sub.siblingAtColumn(2)), "Папка");
  EXPECT_EQ(LocalDetailText(model, file), std::nullopt);  // the name
  EXPECT_EQ(FileSizeText(0), "0 КБ");
  EXPECT_EQ(FileSizeText(1), "1 КБ");
  EXPECT_EQ(FileSizeText(1024), "1 КБ");

  // The file browser's list shows the same.
  form_->Browser().SelectFolder(folder);
  QTreeView* list = form_->Browser().ShellListView1();
  ASSERT_TRUE(SpinUntil([&] { return form_->Browser().ItemCount() == 1; }));
  const QModelIndex shown = list->model()->index(0, 1, list->rootIndex());
  ASSERT_TRUE(SpinUntil([&] { return shown.data().toString() == "586 КБ"; }))
      << shown.data().toString().toStdString();
  EXPECT_EQ(shown.siblingAtColumn(3).data().toString(), "09.12.2026 14:05");
}

TEST_F(LookTest, QtsOwnTextsAreRussian) {
  if (!QtRussianInstalled()) {
    GTEST_SKIP() << "Qt's Russian catalogue (qt6-translations-l10n) is not "
                    "installed";
  }
  QLineEdit edit;
  std::unique_ptr<QMenu> menu(edit.createStandardContextMenu());
  ASSERT_FALSE(menu->actions().isEmpty());
  EXPECT_EQ(menu->actions().first()->text().section('\t', 0, 0),
            "&Отменить действие");

  const QString preset = dir_.filePath("image.bin");
  const std::unique_ptr<QFileDialog> save = MakeSaveDialog(nullptr, preset);
  EXPECT_EQ(save->windowTitle(), "Сохранить как");
  EXPECT_EQ(save->labelText(QFileDialog::FileName), "&Имя файла:");
  EXPECT_EQ(save->labelText(QFileDialog::Reject), "Отмена");
  EXPECT_EQ(save->selectedFiles(), QStringList{preset});
  EXPECT_NE(qobject_cast<LocalFileDetails*>(save->proxyModel()), nullptr);
}

}  // namespace
}  // namespace taktm
