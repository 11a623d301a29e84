#include "config/settings_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHash>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QPushButton>
#include <QScreen>
#include <QSerialPortInfo>
#include <QShowEvent>
#include <QSignalBlocker>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>

#include "config/default_port.h"
#include "config/folder_tree.h"
#include "config/parity.h"
#include "config/port_description.h"
#include "config/port_name_validator.h"
#include "config/settings_store.h"
#include "link/comm32.h"
#include "session/port_session.h"
#include "widgets/error_report.h"
#include "widgets/ysEdit.h"

namespace taktm {
namespace {

constexpr int kClientWidth = 400;
constexpr int kClientHeight = 300;
constexpr int kButtonWidth = 75;
constexpr int kButtonHeight = 25;
constexpr int kButtonTop = 264;
// Room kept free under the tab pages' content for the two buttons, which
// lie over the tab control's lower right corner.
constexpr int kButtonClearance = kClientHeight - kButtonTop + 4;
constexpr int kProgrammingTab = 1;

QString Utf8(const char* text) { return QString::fromUtf8(text); }

QLabel* Heading(const char* text, QWidget* parent) {
  auto* label = new QLabel(Utf8(text), parent);
  QFont font = label->font();
  font.setItalic(true);
  label->setFont(font);
  QPalette p = label->palette();
  p.setColor(QPalette::WindowText, QColor(40, 72, 40));
  label->setPalette(p);
  return label;
}

// A port that does not open at start-up, most often a first start with no
// programmer plugged in: a bare "Невозможно открыть порт!" gets a second
// line naming the port and where another is set. An error that already
// explains itself (no rights, not a serial port) is shown as it is.
QString StartupPortError(const ECommsError& error, const QString& port) {
  const QString text = QString::fromUtf8(error.what());
  if (!error.bare_open_failure()) return text;
  const QString named = port.isEmpty() ? QStringLiteral("Порт не задан.")
                                       : QStringLiteral("Порт: %1.").arg(port);
  return text + QStringLiteral("\n\r") + named +
         QStringLiteral(
             " Другой порт задаётся в «Настройки → Связь» и действует со "
             "следующего запуска.");
}

// The store's problems go to the error report the moment they are met.
StoreProblemSink ReportTo(QWidget* parent) {
  return [parent](const QString& problem) { ShowErrorReport(parent, problem); };
}

}  // namespace

TForm3::TForm3(TComm32& comm, QTimer& timer2, FolderTree& tree, QWidget* parent)
    : QDialog(parent), comm_(comm), timer2_(timer2), tree_(tree) {
  setWindowTitle(QStringLiteral("Настройки"));
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);
  QPalette p = palette();
  p.setColor(QPalette::Window, QColor(192, 210, 192));
  setPalette(p);
  setAutoFillBackground(true);
  setFixedSize(kClientWidth, kClientHeight);

  page_control_ = new QTabWidget(this);
  page_control_->setObjectName(QStringLiteral("PageControl1"));
  BuildLinkTab();
  BuildProgrammingTab();
  BuildFilesTab();
  page_control_->setCurrentIndex(kProgrammingTab);

  cancel_button_ = new QPushButton(QStringLiteral("Отменить"), this);
  cancel_button_->setObjectName(QStringLiteral("Button2"));
  cancel_button_->setGeometry(224, kButtonTop, kButtonWidth, kButtonHeight);
  cancel_button_->setAutoDefault(false);
  connect(cancel_button_, &QPushButton::clicked, this, &QDialog::reject);

  save_button_ = new QPushButton(QStringLiteral("Сохранить"), this);
  save_button_->setObjectName(QStringLiteral("Button1"));
  save_button_->setGeometry(312, kButtonTop, kButtonWidth, kButtonHeight);
  save_button_->setDefault(true);
  connect(save_button_, &QPushButton::clicked, this,
          [this] { Button1Click(); });

  FormCreate();
}

TForm3::~TForm3() { FormDestroy(); }

// ---------------------------------------------------------------------------
// Building the tabs

void TForm3::BuildLinkTab() {
  auto* page = new QWidget;
  page->setObjectName(QStringLiteral("TabSheet1"));
  auto* group = new QGroupBox(QStringLiteral("Настройки порта"), page);
  group->setObjectName(QStringLiteral("GroupBox1"));
  auto* grid = new QGridLayout(group);
  grid->setHorizontalSpacing(12);

  port_field_ = new QComboBox(group);
  port_field_->setObjectName(QStringLiteral("ComboBox2"));
  port_field_->setEditable(true);
  port_field_->setInsertPolicy(QComboBox::NoInsert);
  port_field_->setValidator(
      new PortNameValidator(kPortNamesInCapitals, port_field_));
  port_field_->setEditText(QString::fromStdString(DefaultComPort()));

  speed_field_ = new TysIntEdit(group);
  speed_field_->setObjectName(QStringLiteral("ysIntEdit1"));
  speed_field_->SetDigits(0);
  speed_field_->SetValue(kDefaultBitrate);

  parity_field_ = new QComboBox(group);
  parity_field_->setObjectName(QStringLiteral("ComboBox1"));
  parity_field_->setEditable(true);
  parity_field_->setInsertPolicy(QComboBox::NoInsert);
  for (const char* item : kParityItems) parity_field_->addItem(Utf8(item));
  SelectParityItem(kNoParityIndex);

  const struct {
    const char* caption;
    QWidget* field;
  } rows[] = {{"Порт", port_field_},
              {"Скорость", speed_field_},
              {"Девятый бит", parity_field_}};
  int row = 0;
  for (const auto& r : rows) {
    auto* label = new QLabel(Utf8(r.caption), group);
    label->setBuddy(r.field);
    r.field->setMinimumWidth(170);
    grid->addWidget(label, row, 0);
    grid->addWidget(r.field, row, 1);
    ++row;
  }

  auto* layout = new QVBoxLayout(page);
  layout->setContentsMargins(8, 8, 8, kButtonClearance);
  layout->addWidget(group, 0, Qt::AlignLeft | Qt::AlignTop);
  layout->addStretch(1);
  page_control_->addTab(page, QStringLiteral("Связь"));
}

QGroupBox* TForm3::BuildOptionGroup(OptionGroup group_id, QWidget* parent) {
  auto* group = new QGroupBox(Utf8(GroupTitle(group_id)), parent);
  auto* column = new QVBoxLayout(group);
  column->setSpacing(1);
  column->setContentsMargins(4, 4, 4, 6);
  bool first = true;
  OptionHeading heading = OptionHeading::kNone;
  for (const OptionPlace& place : kOptionPlaces) {
    if (place.group != group_id) continue;
    if (place.heading != OptionHeading::kNone &&
        (first || place.heading != heading)) {
      column->addWidget(Heading(HeadingTitle(place.heading), group));
    }
    heading = place.heading;
    first = false;
    const int n = OptionNumber(place.option);
    auto* box = new QCheckBox(Utf8(place.caption), group);
    box->setObjectName(QStringLiteral("CheckBox%1").arg(n));
    box->setChecked(options_.Ticked(place.option));
    connect(box, &QCheckBox::toggled, this,
            [this, option = place.option](bool ticked) {
              options_.SetTicked(option, ticked);
            });
    check_boxes_[static_cast<size_t>(n - 1)] = box;
    auto* row = new QHBoxLayout;
    // Boxes under a heading stand indented below it.
    row->addSpacing(heading == OptionHeading::kNone ? 0 : 6);
    row->addWidget(box);
    column->addLayout(row);
  }
  return group;
}

void TForm3::BuildProgrammingTab() {
  auto* page = new QWidget;
  page->setObjectName(QStringLiteral("TabSheet2"));
  QGroupBox* flash = BuildOptionGroup(OptionGroup::kProgramWrite, page);
  flash->setObjectName(QStringLiteral("GroupBox2"));
  QGroupBox* eeprom = BuildOptionGroup(OptionGroup::kEepromWrite, page);
  eeprom->setObjectName(QStringLiteral("GroupBox3"));

  // The left group may reach the bottom: the buttons lie under the right
  // group only, which is shorter.
  auto* layout = new QHBoxLayout(page);
  layout->setContentsMargins(4, 6, 4, 6);
  layout->setSpacing(4);
  layout->addWidget(flash, 1, Qt::AlignTop);
  layout->addWidget(eeprom, 1, Qt::AlignTop);
  page_control_->addTab(page, QStringLiteral("Программирование"));
}

void TForm3::BuildFilesTab() {
  auto* page = new QWidget;
  page->setObjectName(QStringLiteral("TabSheet3"));
  QGroupBox* formats = BuildOptionGroup(OptionGroup::kFileFormats, page);
  formats->setObjectName(QStringLiteral("GroupBox4"));
  auto* layout = new QVBoxLayout(page);
  layout->setContentsMargins(8, 8, 8, kButtonClearance);
  layout->addWidget(formats, 0, Qt::AlignLeft | Qt::AlignTop);
  layout->addStretch(1);
  page_control_->addTab(page, QStringLiteral("Файлы"));
}

void TForm3::SelectParityItem(int index) {
  if (index >= 0 && index < parity_field_->count()) {
    parity_field_->setCurrentIndex(index);
    return;
  }
  // "Чет" shows, but no item is selected until the user picks one; an
  // editable list clears its text when it loses its selection.
  parity_field_->setCurrentIndex(kNoParityIndex);
  parity_field_->setEditText(Utf8(kParityInitialText));
}

void TForm3::RefreshPortList() {
  QStringList names;
  QHash<QString, QString> tips;  // what each port tells beside its name
  for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
    const QString name =
        kPortNamesInCapitals ? info.portName() : info.systemLocation();
    names << name;
    PortFacts facts;
    facts.description = info.description().toStdString();
    facts.manufacturer = info.manufacturer().toStdString();
    facts.serial_number = info.serialNumber().toStdString();
    if (info.hasVendorIdentifier()) facts.vendor_id = info.vendorIdentifier();
    if (info.hasProductIdentifier()) {
      facts.product_id = info.productIdentifier();
    }
    tips.insert(name, QString::fromStdString(PortDescriptionText(facts)));
  }
  names.sort();
  names.removeDuplicates();
  // The field keeps its text exactly; the list only offers what is present.
  const QString current = port_field_->currentText();
  const QSignalBlocker block(port_field_);
  port_field_->clear();
  port_field_->addItems(names);
  for (int i = 0; i < names.size(); ++i) {
    if (!tips.value(names[i]).isEmpty()) {
      port_field_->setItemData(i, tips.value(names[i]), Qt::ToolTipRole);
    }
  }
  port_field_->setCurrentIndex(port_field_->findText(current));
  port_field_->setEditText(current);
}

// ---------------------------------------------------------------------------
// Start-up load, save, close-time store

QWidget* TForm3::ReportParent() {
  return parentWidget() != nullptr ? parentWidget() : this;
}

void TForm3::FormCreate() {
  RefreshPortList();
  // The watchdog runs from here on, before the port is even opened.
  timer2_.start();
  ReadRegistry();
  page_control_->setGeometry(0, 0, kClientWidth, kClientHeight);
  cancel_button_->raise();
  save_button_->raise();

  // The one error box of a port that does not open: the watchdog's ticks
  // try it again quietly.
  try {
    OpenPortWithLines(comm_);
  } catch (const ECommsError& error) {
    ShowErrorReport(ReportParent(), StartupPortError(error, comm_.CommPort()));
  }
  // Restored whether or not the port opened, so that the close-time store
  // never overwrites them with the defaults.
  RestorePathAndOptions();
}

void TForm3::ReadRegistry() {
  SettingsStore store(ReportTo(ReportParent()));

  QString port;
  switch (store.ReadString(kComPortValue, &port)) {
    case StoreRead::kRead:
      port_field_->setEditText(port);
      break;
    case StoreRead::kMissing:
      store.WriteString(kComPortValue, port_field_->currentText());
      break;
    case StoreRead::kWrongType:
      break;
  }
  comm_.SetCommPort(port_field_->currentText());

  int32_t bitrate = 0;
  switch (store.ReadInt(kBitrateValue, &bitrate)) {
    case StoreRead::kRead:
      speed_field_->SetValue(bitrate);
      break;
    case StoreRead::kMissing:
      store.WriteInt(kBitrateValue, speed_field_->Value());
      break;
    case StoreRead::kWrongType:
      break;
  }
  comm_.SetBaudRate(static_cast<uint32_t>(speed_field_->Value()));

  int32_t parity = kNoParityIndex;
  switch (store.ReadInt(kParityValue, &parity)) {
    case StoreRead::kRead:
      SelectParityItem(parity);
      break;
    case StoreRead::kMissing:
      store.WriteInt(kParityValue, parity_field_->currentIndex());
      break;
    case StoreRead::kWrongType:
      break;
  }
  if (auto code = ParityCodeForIndex(parity_field_->currentIndex())) {
    comm_.SetParity(static_cast<TParity>(*code));
  }
  store.Close();
}

void TForm3::RestorePathAndOptions() {
  SettingsStore store(ReportTo(ReportParent()));
  QString path;
  if (store.ReadString(kPathValue, &path) == StoreRead::kRead &&
      !path.isEmpty() && QFileInfo(path).isDir()) {
    if (!tree_.SelectFolder(path)) {
      ShowErrorReport(ReportParent(),
                      QStringLiteral("Не удалось показать в дереве папок "
                                     "сохранённую папку \"%1\"")
                          .arg(path));
    }
  }
  store.ReadOptions(&options_);
  store.Close();
  RenderOptions();
}

void TForm3::RenderOptions() {
  for (const Option option : kAllOptions) {
    CheckBox(OptionNumber(option))->setChecked(options_.Ticked(option));
  }
}

void TForm3::WriteRegistry() {
  SettingsStore store(ReportTo(ReportParent()));
  store.WriteString(kComPortValue, port_field_->currentText());
  store.WriteInt(kBitrateValue, speed_field_->Value());
  store.WriteInt(kParityValue, parity_field_->currentIndex());
  store.Close();
}

void TForm3::Button1Click() {
  WriteRegistry();
  accept();
}

void TForm3::FormDestroy() {
  if (stored_at_close_) return;
  stored_at_close_ = true;
  SettingsStore store(ReportTo(ReportParent()));
  store.WriteString(kPathValue, tree_.SelectedFolder());
  store.WriteOptions(options_);
  store.Close();
}

// ---------------------------------------------------------------------------

bool TForm3::OptionTicked(int n) const {
  return n >= 1 && n <= kOptionCount && options_.Ticked(static_cast<Option>(n));
}

QCheckBox* TForm3::CheckBox(int n) const {
  if (n < 1 || n > kOptionCount) return nullptr;
  return check_boxes_[static_cast<size_t>(n - 1)];
}

void TForm3::showEvent(QShowEvent* event) {
  RefreshPortList();
  QDialog::showEvent(event);
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    QRect frame = frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    move(frame.topLeft());
  }
}

}  // namespace taktm
