#include "config/settings_dialog.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSerialPortInfo>
#include <QSettings>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <memory>
#include <vector>

#include "config/default_port.h"
#include "config/folder_tree.h"
#include "config/options.h"
#include "config/port_description.h"
#include "config/port_name_validator.h"
#include "link/comm32.h"
#include "support/pty.h"
#include "widgets/error_report.h"
#include "widgets/ysEdit.h"

namespace taktm {
namespace {

// Records the modem-line calls in their order.
class RecordingComm : public TComm32 {
 public:
  bool SetLineSignal(int escape_code) override {
    line_signals.push_back(escape_code);
    return TComm32::SetLineSignal(escape_code);
  }
  std::vector<int> line_signals;
};

class FakeTree : public FolderTree {
 public:
  bool SelectFolder(const QString& path) override {
    selected_paths << path;
    if (!accepts) return false;
    folder = path;
    return true;
  }
  QString SelectedFolder() const override { return folder; }

  bool accepts = true;
  QString folder;
  QStringList selected_paths;
};

// Every test gets a settings folder of its own and answers every error box
// by recording its text.
class SettingsDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                       dir_.path());
    // The first-run port is looked for in a folder without devices.
    SetDeviceFolder(dir_.filePath(QStringLiteral("dev")).toStdString());
    previous_reporter_ =
        SetErrorReporter([this](QWidget*, const QString& text) {
          errors_ << text;
          if (on_error_) on_error_();
        });
    timer2_.setInterval(5000);
  }
  void TearDown() override {
    dialog_.reset();
    SetErrorReporter(previous_reporter_);
    SetDeviceFolder("/dev");
  }

  static QString FirstRunPort() {
    return QString::fromStdString(DefaultComPort());
  }
  // The start-up box of a port that does not open, naming it.
  static QString PortError(const QString& port) {
    return "Невозможно открыть порт!\n\rПорт: " + port +
           ". Другой порт задаётся в «Настройки → Связь» и действует со "
           "следующего запуска.";
  }
  static QSettings Store() {
    return QSettings(QSettings::NativeFormat, QSettings::UserScope, "ZARVENTIK",
                     "TAKT-M");
  }
  static void Preset(std::initializer_list<std::pair<QString, QVariant>> kv) {
    QSettings store = Store();
    for (const auto& [key, value] : kv) store.setValue(key, value);
    store.sync();
  }

  TForm3& Create() {
    dialog_ = std::make_unique<TForm3>(comm_, timer2_, tree_);
    return *dialog_;
  }

  QTemporaryDir dir_;
  RecordingComm comm_;
  QTimer timer2_;
  FakeTree tree_;
  QStringList errors_;
  std::function<void()> on_error_;
  std::unique_ptr<TForm3> dialog_;

 private:
  ErrorReporter previous_reporter_;
};

TEST_F(SettingsDialogTest, FirstRunStoresThePortDefaultsAndAtCloseTheRest) {
  bool timer_ran_at_open = false;
  QString port_at_open;
  uint32_t rate_at_open = 0;
  on_error_ = [&] {
    timer_ran_at_open = timer2_.isActive();
    port_at_open = comm_.CommPort();
    rate_at_open = comm_.BaudRate();
  };
  TForm3& form = Create();

  // The port part ran before the open: watchdog on, settings applied.
  EXPECT_EQ(errors_, QStringList{PortError(FirstRunPort())});
  EXPECT_TRUE(timer_ran_at_open);
  EXPECT_EQ(port_at_open, FirstRunPort());
  EXPECT_EQ(rate_at_open, 56000u);
  EXPECT_EQ(comm_.Parity(), pNone);
  EXPECT_TRUE(comm_.line_signals.empty());  // skipped after the failed open

  QSettings store = Store();
  EXPECT_EQ(store.value("ComPort").toString(), FirstRunPort());
  EXPECT_EQ(store.value("Bitrate").toInt(), 56000);
  EXPECT_EQ(store.value("Parity").toInt(), -1);
  EXPECT_EQ(store.allKeys().size(), 3) << "only the port values at start-up";

  EXPECT_EQ(form.PortField()->currentText(), FirstRunPort());
  EXPECT_EQ(form.SpeedField()->Value(), 56000);
  EXPECT_EQ(form.ParityField()->currentIndex(), -1);
  EXPECT_EQ(form.ParityField()->currentText(), "Чет");
  for (int n = 1; n <= 13; ++n) EXPECT_TRUE(form.OptionTicked(n)) << n;
  EXPECT_TRUE(tree_.selected_paths.isEmpty());

  tree_.folder = dir_.path();
  form.FormDestroy();
  store.sync();
  EXPECT_EQ(store.value("Path").toString(), dir_.path());
  for (int n = 1; n <= 13; ++n) {
    EXPECT_EQ(store.value(QString("Check%1").arg(n)).toInt(), 1) << n;
  }
  EXPECT_EQ(errors_.size(), 1);

  // The store runs once: the destruction after it writes nothing more.
  form.CheckBox(3)->setChecked(false);
  dialog_.reset();
  store.sync();
  EXPECT_EQ(store.value("Check3").toInt(), 1);
}

// A store that is a pipe held the window in its first open for ever. Now
// it says so once and starts with the defaults, port included, and the
// pipe stays.
TEST_F(SettingsDialogTest, AStoreThatIsAPipeNeverHoldsTheStartUp) {
  const QString folder = dir_.filePath(QStringLiteral("ZARVENTIK"));
  ASSERT_TRUE(QDir().mkpath(folder));
  const QString store = folder + QStringLiteral("/TAKT-M.conf");
  ASSERT_EQ(::mkfifo(store.toLocal8Bit().constData(), 0600), 0);
  TForm3& form = Create();
  EXPECT_EQ(errors_, (QStringList{QStringLiteral("Хранилище настроек %1 не "
                                                 "читается; действуют "
                                                 "значения по умолчанию.")
                                      .arg(store),
                                  PortError(FirstRunPort())}));
  EXPECT_EQ(comm_.CommPort(), FirstRunPort());
  EXPECT_EQ(comm_.BaudRate(), 56000u);
  for (int n = 1; n <= 13; ++n) EXPECT_TRUE(form.OptionTicked(n)) << n;
  EXPECT_FALSE(QFileInfo(store).isFile());
}

// On a machine with USB serial adapters the first run starts with the first
// one present, not with a port name that cannot exist there.
TEST_F(SettingsDialogTest, FirstRunPortIsTheFirstUsbSerialPortPresent) {
#ifdef Q_OS_WIN
  GTEST_SKIP() << "Windows starts with COM1";
#endif
  ASSERT_TRUE(QDir(dir_.path()).mkpath("dev"));
  for (const char* name : {"ttyS0", "ttyACM0", "ttyUSB3", "ttyUSB1"}) {
    QFile(dir_.filePath(QString("dev/") + name)).open(QIODevice::WriteOnly);
  }
  TForm3& form = Create();
  const QString expected = dir_.filePath("dev/ttyUSB1");
  EXPECT_EQ(form.PortField()->currentText(), expected);
  EXPECT_EQ(comm_.CommPort(), expected);
  EXPECT_EQ(Store().value("ComPort").toString(), expected);
}

TEST_F(SettingsDialogTest, StoredValuesAreLoadedAndThePortOpensWithThem) {
  testing::Pty pty;
  ASSERT_TRUE(pty.ok());
  QTemporaryDir folder;
  Preset({{"ComPort", QString::fromStdString(pty.slave_name())},
          {"Bitrate", 19200},
          {"Parity", 1},
          {"Path", folder.path()},
          {"Check2", 0},
          {"Check7", 5},
          {"Check13", 0}});
  const QStringList keys_before = Store().allKeys();

  TForm3& form = Create();

  EXPECT_TRUE(errors_.isEmpty()) << errors_.join("\n").toStdString();
  EXPECT_EQ(form.PortField()->currentText(),
            QString::fromStdString(pty.slave_name()));
  EXPECT_EQ(comm_.CommPort(), QString::fromStdString(pty.slave_name()));
  EXPECT_EQ(comm_.BaudRate(), 19200u);
  EXPECT_EQ(form.ParityField()->currentText(), "Чет");
  EXPECT_EQ(form.ParityField()->currentIndex(), 1);
  EXPECT_EQ(comm_.Parity(), pOdd);
  EXPECT_TRUE(comm_.IsOpen());
  EXPECT_EQ(comm_.line_signals, (std::vector<int>{kSetRts, kClearDtr}));
  EXPECT_EQ(tree_.selected_paths, QStringList{folder.path()});
  EXPECT_FALSE(form.OptionTicked(2));
  EXPECT_TRUE(form.OptionTicked(7));  // 5 reads as ticked
  EXPECT_FALSE(form.OptionTicked(13));
  EXPECT_TRUE(form.OptionTicked(1));  // missing values leave the box ticked
  EXPECT_EQ(Store().allKeys(), keys_before) << "nothing written at start-up";

  form.FormDestroy();
  QSettings store = Store();
  EXPECT_EQ(store.value("Check7").toInt(), 1);  // written back as 1
  EXPECT_EQ(store.value("Check2").toInt(), 0);
  EXPECT_EQ(store.value("Path").toString(), folder.path());
}

TEST_F(SettingsDialogTest, ParityIndexSetsTheLineParityOrLeavesItAlone) {
  struct Case {
    int stored;
    int selected;
    TParity parity;
    const char* text;
  } cases[] = {
      {0, 0, pNone, "Нет"},
      {1, 1, pOdd, "Чет"},
      {2, 2, pEven, "Нечет"},
      {3, 3, pSpace, "0"},
      {4, 4, pMark, "1"},
      // No item selected: the port keeps what it had (pMark here), and the
      // field reads "Чет" as on a first run.
      {-1, -1, pMark, "Чет"},
      {7, -1, pMark, "Чет"},
      {-5, -1, pMark, "Чет"},
  };
  for (const Case& c : cases) {
    Preset({{"Parity", c.stored}});
    comm_.SetParity(pMark);
    TForm3& form = Create();
    EXPECT_EQ(form.ParityField()->currentIndex(), c.selected) << c.stored;
    EXPECT_EQ(form.ParityField()->currentText(), QString::fromUtf8(c.text))
        << c.stored;
    EXPECT_EQ(comm_.Parity(), c.parity) << c.stored;
    // The stored index stays as it was: nothing is written at start-up.
    EXPECT_EQ(Store().value("Parity").toInt(), c.stored);
    dialog_.reset();
  }
}

TEST_F(SettingsDialogTest, ValuesOfTheWrongTypeAreReportedAndSkipped) {
  Preset({{"ComPort", QStringList{"COM3", "COM4"}},
          {"Bitrate", "fast"},
          {"Parity", "2x"},
          {"Check3", "yes"},
          {"Check5", 0}});
  TForm3& form = Create();

  ASSERT_EQ(errors_.size(), 5) << errors_.join("\n").toStdString();
  EXPECT_TRUE(errors_[0].contains("\"ComPort\"")) << errors_[0].toStdString();
  EXPECT_TRUE(errors_[1].contains("\"Bitrate\""));
  EXPECT_TRUE(errors_[2].contains("\"Parity\""));
  EXPECT_EQ(errors_[3], PortError(FirstRunPort()));
  EXPECT_TRUE(errors_[4].contains("\"Check3\""));
  EXPECT_TRUE(errors_[1].endsWith("."));

  // Each field keeps its value and the port gets it; the load goes on.
  EXPECT_EQ(form.PortField()->currentText(), FirstRunPort());
  EXPECT_EQ(comm_.CommPort(), FirstRunPort());
  EXPECT_EQ(form.SpeedField()->Value(), 56000);
  EXPECT_EQ(comm_.BaudRate(), 56000u);
  EXPECT_EQ(form.ParityField()->currentIndex(), -1);
  EXPECT_TRUE(form.OptionTicked(3));
  EXPECT_FALSE(form.OptionTicked(5));
  // A value that is present is never overwritten at start-up.
  EXPECT_EQ(Store().value("Bitrate").toString(), "fast");
}

TEST_F(SettingsDialogTest, NumbersKeptAsTextAreReadAsNumbers) {
  // The per-user file keeps every number as text; that is no wrong type.
  Preset({{"Bitrate", "115200"}, {"Parity", "-1"}, {"Check4", "0"}});
  TForm3& form = Create();
  EXPECT_EQ(errors_, QStringList{PortError(FirstRunPort())});
  EXPECT_EQ(form.SpeedField()->Value(), 115200);
  EXPECT_FALSE(form.OptionTicked(4));
}

TEST_F(SettingsDialogTest, RefusedWritesAreReportedNamingTheValues) {
  // The store's folder cannot be made: a file stands where it would go.
  QFile blocker(dir_.filePath("ZARVENTIK"));
  ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
  blocker.close();

  TForm3& form = Create();
  ASSERT_EQ(errors_.size(), 2) << errors_.join("\n").toStdString();
  EXPECT_TRUE(errors_[0].contains("ComPort, Bitrate, Parity"))
      << errors_[0].toStdString();
  EXPECT_EQ(errors_[1], PortError(FirstRunPort()));
  EXPECT_EQ(form.SpeedField()->Value(), 56000);  // defaults still apply

  form.Button1Click();
  ASSERT_EQ(errors_.size(), 3);
  EXPECT_TRUE(errors_[2].contains("ComPort, Bitrate, Parity"));

  form.FormDestroy();
  ASSERT_EQ(errors_.size(), 4);
  EXPECT_TRUE(errors_[3].contains("Path, Check1, Check2"));
  EXPECT_TRUE(errors_[3].contains("Check13"));
}

TEST_F(SettingsDialogTest, StoredFolderIsRestoredOnlyWhenItCanBeShown) {
  QTemporaryDir folder;
  const QString gone = folder.path() + "/deleted";
  Preset({{"Path", gone}, {"Check6", 0}});
  Create();
  EXPECT_TRUE(tree_.selected_paths.isEmpty()) << "a deleted folder is ignored";
  EXPECT_EQ(errors_.size(), 1);  // the port only
  tree_.folder = dir_.path();    // where the main window put the tree
  dialog_->FormDestroy();
  EXPECT_EQ(Store().value("Path").toString(), dir_.path());
  dialog_.reset();
  errors_.clear();

  // A folder that exists but that the tree refuses is reported; the options
  // are restored all the same.
  Preset({{"Path", folder.path()}, {"Check6", 0}});
  tree_.accepts = false;
  TForm3& form = Create();
  ASSERT_EQ(errors_.size(), 2);
  EXPECT_TRUE(errors_[1].contains(folder.path())) << errors_[1].toStdString();
  EXPECT_FALSE(form.OptionTicked(6));
}

TEST_F(SettingsDialogTest, SaveStoresThePortFieldsButLeavesThePortInUse) {
  TForm3& form = Create();
  form.PortField()->setEditText("/dev/ttyS7");
  form.SpeedField()->SetValue(115200);
  form.ParityField()->setCurrentIndex(3);
  form.CheckBox(9)->setChecked(false);
  form.open();
  form.Button1Click();

  EXPECT_EQ(form.result(), QDialog::Accepted);
  EXPECT_FALSE(form.isVisible());
  QSettings store = Store();
  EXPECT_EQ(store.value("ComPort").toString(), "/dev/ttyS7");
  EXPECT_EQ(store.value("Bitrate").toInt(), 115200);
  EXPECT_EQ(store.value("Parity").toInt(), 3);
  EXPECT_FALSE(store.contains("Check9")) << "options are stored at close";
  EXPECT_EQ(comm_.CommPort(), FirstRunPort());
  EXPECT_EQ(comm_.BaudRate(), 56000u);
}

// The boxes show the model and edit it: stored values reach both, a click
// reaches the model at once.
TEST_F(SettingsDialogTest, CheckBoxesRenderAndEditTheOptions) {
  Preset({{"Check6", 0}, {"Check12", 0}});
  TForm3& form = Create();
  for (const OptionPlace& place : kOptionPlaces) {
    EXPECT_EQ(form.CheckBox(place.option)->isChecked(),
              form.options()[place.option])
        << OptionNumber(place.option);
  }
  EXPECT_FALSE(form.CheckBox(Option::kEraseEeprom)->isChecked());
  EXPECT_FALSE(form.options()[Option::kReadEepFiles]);
  EXPECT_TRUE(form.options()[Option::kRewriteFf]);

  form.open();
  QTest::mouseClick(form.CheckBox(Option::kRewriteFf), Qt::LeftButton);
  EXPECT_FALSE(form.options()[Option::kRewriteFf]);
  QTest::mouseClick(form.CheckBox(Option::kEraseEeprom), Qt::LeftButton);
  EXPECT_TRUE(form.options()[Option::kEraseEeprom]);
  form.reject();
  form.FormDestroy();
  EXPECT_EQ(Store().value("Check13").toInt(), 0);
  EXPECT_EQ(Store().value("Check6").toInt(), 1);
}

TEST_F(SettingsDialogTest, CancelStoresNothingAndKeepsTheEdits) {
  TForm3& form = Create();
  form.open();
  form.CheckBox(2)->setChecked(false);  // "стирать все"
  form.SpeedField()->SetValue(9600);
  QTest::mouseClick(form.CancelButton(), Qt::LeftButton);

  EXPECT_EQ(form.result(), QDialog::Rejected);
  EXPECT_EQ(Store().value("Bitrate").toInt(), 56000);
  // The edits stay in the dialog and the option counts at once...
  EXPECT_EQ(form.SpeedField()->Value(), 9600);
  EXPECT_FALSE(form.OptionTicked(2));
  // ...and is stored when the program closes.
  form.FormDestroy();
  EXPECT_EQ(Store().value("Check2").toInt(), 0);
}

TEST_F(SettingsDialogTest, EnterSavesAndEscapeCancels) {
  TForm3& form = Create();
  form.open();
  form.SpeedField()->setFocus();
  form.SpeedField()->SetValue(38400);
  QTest::keyClick(form.SpeedField(), Qt::Key_Escape);
  EXPECT_EQ(form.result(), QDialog::Rejected);
  EXPECT_EQ(Store().value("Bitrate").toInt(), 56000);

  form.open();
  QTest::keyClick(form.SpeedField(), Qt::Key_Return);
  EXPECT_EQ(form.result(), QDialog::Accepted);
  EXPECT_EQ(Store().value("Bitrate").toInt(), 38400);
}

TEST_F(SettingsDialogTest, PortFieldKeepsTheCaseOfDevicePaths) {
  TForm3& form = Create();
  QLineEdit* edit = form.PortField()->lineEdit();
  ASSERT_NE(edit, nullptr);
  edit->selectAll();
  QTest::keyClicks(edit, "/dev/ttyUSB0");
  if (kPortNamesInCapitals) {
    EXPECT_EQ(form.PortField()->currentText(), "/DEV/TTYUSB0");
  } else {
    EXPECT_EQ(form.PortField()->currentText(), "/dev/ttyUSB0");
  }

  // Where port names are capitals, typed letters become capitals.
  PortNameValidator capitals(true);
  PortNameValidator as_typed(false);
  QString typed = "com3";
  int pos = 0;
  EXPECT_EQ(capitals.validate(typed, pos), QValidator::Acceptable);
  EXPECT_EQ(typed, "COM3");
  typed = "/dev/ttyACM0";
  as_typed.validate(typed, pos);
  EXPECT_EQ(typed, "/dev/ttyACM0");
}

// The "Порт" list offers the ports present each time the dialog opens; a
// name typed by hand, of a port not present, stays as typed.
TEST_F(SettingsDialogTest, PortListOffersThePortsPresentAndKeepsTypedNames) {
  TForm3& form = Create();
  QComboBox* field = form.PortField();
  field->setEditText("/dev/takt-m");
  form.show();
  QStringList present;
  for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
    present << (kPortNamesInCapitals ? info.portName() : info.systemLocation());
  }
  present.sort();
  present.removeDuplicates();
  QStringList offered;
  for (int i = 0; i < field->count(); ++i) offered << field->itemText(i);
  EXPECT_EQ(offered, present);
  // Each port tells what it is in its tooltip; the item stays its name.
  for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
    const int i = field->findText(kPortNamesInCapitals ? info.portName()
                                                       : info.systemLocation());
    PortFacts facts;
    facts.description = info.description().toStdString();
    facts.manufacturer = info.manufacturer().toStdString();
    facts.serial_number = info.serialNumber().toStdString();
    if (info.hasVendorIdentifier()) facts.vendor_id = info.vendorIdentifier();
    if (info.hasProductIdentifier())
      facts.product_id = info.productIdentifier();
    EXPECT_EQ(field->itemData(i, Qt::ToolTipRole).toString().toStdString(),
              PortDescriptionText(facts));
  }
  EXPECT_EQ(field->currentText(), "/dev/takt-m");
  form.hide();
  if (!present.isEmpty()) {
    field->setCurrentIndex(present.size() - 1);
    EXPECT_EQ(field->currentText(), present.back());
  }
}

TEST_F(SettingsDialogTest, LayoutKeepsEveryCaptionWholeAndClearOfTheButtons) {
  TForm3& form = Create();
  form.show();
  QApplication::processEvents();

  EXPECT_EQ(form.windowTitle(), "Настройки");
  EXPECT_EQ(form.size(), QSize(400, 300));
  EXPECT_EQ(form.PageControl()->geometry(), QRect(0, 0, 400, 300));
  EXPECT_EQ(form.CancelButton()->text(), "Отменить");
  EXPECT_EQ(form.CancelButton()->geometry(), QRect(224, 264, 75, 25));
  EXPECT_EQ(form.SaveButton()->text(), "Сохранить");
  EXPECT_EQ(form.SaveButton()->geometry(), QRect(312, 264, 75, 25));
  EXPECT_TRUE(form.SaveButton()->isDefault());
  ASSERT_EQ(form.PageControl()->count(), 3);
  EXPECT_EQ(form.PageControl()->tabText(0), "Связь");
  EXPECT_EQ(form.PageControl()->tabText(1), "Программирование");
  EXPECT_EQ(form.PageControl()->tabText(2), "Файлы");
  EXPECT_EQ(form.PageControl()->currentIndex(), 1) << "first opening";

  const QRect buttons =
      form.CancelButton()->geometry().united(form.SaveButton()->geometry());
  for (int tab = 0; tab < 3; ++tab) {
    form.PageControl()->setCurrentIndex(tab);
    QApplication::processEvents();
    QWidget* page = form.PageControl()->widget(tab);
    for (QWidget* w : page->findChildren<QWidget*>()) {
      if (!w->isVisible()) continue;
      const QString what = w->objectName() + " " + w->metaObject()->className();
      if (auto* label = qobject_cast<QLabel*>(w)) {
        EXPECT_GE(label->width(), label->sizeHint().width())
            << label->text().toStdString();
      }
      if (auto* box = qobject_cast<QCheckBox*>(w)) {
        EXPECT_GE(box->width(), box->sizeHint().width())
            << box->text().toStdString();
      }
      if (qobject_cast<QGroupBox*>(w) != nullptr) {
        const QRect in_form(w->mapTo(&form, QPoint(0, 0)), w->size());
        EXPECT_FALSE(in_form.intersects(buttons)) << what.toStdString();
        EXPECT_TRUE(QRect(0, 0, 400, 300).contains(in_form))
            << what.toStdString();
      }
    }
  }

  // Every option box sits in its group, under its caption.
  for (const OptionPlace& place : kOptionPlaces) {
    QCheckBox* box = form.CheckBox(place.option);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->text(), QString::fromUtf8(place.caption));
    auto* group = qobject_cast<QGroupBox*>(box->parentWidget());
    ASSERT_NE(group, nullptr);
    EXPECT_EQ(group->title(), QString::fromUtf8(GroupTitle(place.group)));
  }
  // Headings of the program memory group, top to bottom, above their boxes.
  auto* flash = qobject_cast<QGroupBox*>(form.CheckBox(1)->parentWidget());
  std::vector<std::pair<int, QString>> headings;
  for (QLabel* label : flash->findChildren<QLabel*>()) {
    headings.emplace_back(label->y(), label->text());
  }
  std::sort(headings.begin(), headings.end());
  ASSERT_EQ(headings.size(), 3u);
  EXPECT_EQ(headings[0].second, "перед записью");
  EXPECT_EQ(headings[1].second, "после записи");
  EXPECT_EQ(headings[2].second, "дополнительно");
  EXPECT_LT(headings[1].first, form.CheckBox(3)->y());
  EXPECT_GT(headings[1].first, form.CheckBox(8)->y());

  // The tab last shown stays selected at the next opening.
  form.PageControl()->setCurrentIndex(2);
  form.hide();
  form.show();
  EXPECT_EQ(form.PageControl()->currentIndex(), 2);
}

}  // namespace
}  // namespace taktm
