#include "ui/main_window.h"

#include <QCloseEvent>
#include <QFileDialog>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMessageBox>
#include <QStyledItemDelegate>
#include <QThread>
#include <QToolButton>
#include <QToolTip>

#include "buffer/hex_grid.h"
#include "config/settings_dialog.h"
#include "programming/bit_dialogs.h"
#include "ui/about_box.h"
#include "ui/layout.h"
#include "ui/mismatch_button.h"
#include "ui/progress_window.h"
#include "ui/save_dialog.h"
#include "ui/shell_browser.h"
#include "ui/toolbar_icons.h"
#include "ui/toolbar_style.h"
#include "widgets/error_report.h"

namespace taktm {
namespace {

constexpr char kNoProgrammer[] = "Программатор не подключен";
constexpr int kListItemHeight = 13;
const QColor kWindowColour(230, 230, 210);
const QColor kErrorColour(255, 128, 128);

QString Q(const std::string& text) { return QString::fromStdString(text); }

// A window title shown exactly as given: Qt reads "[*]" in a title as the
// place of its modified mark and drops it, unless it is doubled.
QString LiteralTitle(const QString& title) {
  QString literal = title;
  return literal.replace(QStringLiteral("[*]"), QStringLiteral("[*][*]"));
}

// List box rows of a fixed height, whatever the style's own margins. A row
// too long for its list ends in an ellipsis and shows whole as a tooltip.
class FixedRowDelegate : public QStyledItemDelegate {
 public:
  FixedRowDelegate(int height, QObject* parent)
      : QStyledItemDelegate(parent), height_(height) {}
  QSize sizeHint(const QStyleOptionViewItem& option,
                 const QModelIndex& index) const override {
    QSize size = QStyledItemDelegate::sizeHint(option, index);
    size.setHeight(height_);
    return size;
  }
  bool helpEvent(QHelpEvent* event, QAbstractItemView* view,
                 const QStyleOptionViewItem& option,
                 const QModelIndex& index) override {
    if (event->type() != QEvent::ToolTip || !index.isValid()) {
      return QStyledItemDelegate::helpEvent(event, view, option, index);
    }
    if (sizeHint(option, index).width() > view->visualRect(index).width()) {
      QToolTip::showText(event->globalPos(),
                         index.data(Qt::DisplayRole).toString(), view);
    } else {
      QToolTip::hideText();
    }
    return true;
  }

 private:
  int height_;
};

// The row selected in a list box, or -1 when none is.
int SelectedRow(const QListWidget* list) {
  const QList<QListWidgetItem*> items = list->selectedItems();
  return items.isEmpty() ? -1 : list->row(items.first());
}

bool IsEnter(const QEvent* event) {
  const int key = static_cast<const QKeyEvent*>(event)->key();
  return key == Qt::Key_Return || key == Qt::Key_Enter;
}

void AddGap(QToolBar* bar, int width) {
  auto* gap = new QWidget(bar);
  gap->setFixedWidth(width);
  bar->addWidget(gap);
}

}  // namespace

TForm1::TForm1(QWidget* parent, std::unique_ptr<TComm32> comm)
    : QMainWindow(parent), core_(*this), session_(core_, std::move(comm)) {
  setWindowTitle(kNoProgrammer);
  resize(800, 600);
  move(219, 122);
  QPalette pal = palette();
  pal.setColor(QPalette::Window, kWindowColour);
  setPalette(pal);

  BuildToolBar();
  status_bar1_ = statusBar();
  status_bar1_->setSizeGripEnabled(false);
  status_bar1_->setAutoFillBackground(true);
  status_panel_ = new QLabel(QStringLiteral("Строка состояния"), status_bar1_);
  status_bar1_->addWidget(status_panel_, 1);
  // No taller than the line beside it: the status bar keeps its height.
  mismatch_button_ = new MismatchButton(status_bar1_);
  mismatch_button_->setFixedHeight(status_panel_->sizeHint().height());
  status_bar1_->addPermanentWidget(mismatch_button_);

  auto* client = new QWidget(this);
  setCentralWidget(client);
  group_box1_ = new QGroupBox(QStringLiteral("Файл"), client);
  group_box2_ = new QGroupBox(QStringLiteral("Микросхема"), client);
  group_box3_ = new QGroupBox(QStringLiteral("Команда"), client);
  group_box4_ = new QGroupBox(QStringLiteral("Данные"), client);

  browser_ = new ShellBrowser(group_box1_);
  connect(browser_, &ShellBrowser::FilePicked, this, [this] {
    // The pick restarts Timer1 and runs its handler at once, which stops it.
    timer1_.stop();
    timer1_.start();
    timer1_.stop();
    core_.working_file().ShellListView1Click(*browser_);
  });

  list_box1_ = new QListWidget(group_box2_);
  list_box2_ = new QListWidget(group_box3_);
  for (QListWidget* list : {list_box1_, list_box2_}) {
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setItemDelegate(new FixedRowDelegate(kListItemHeight, list));
    list->setUniformItemSizes(true);
    list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    list->installEventFilter(this);
    list->viewport()->installEventFilter(this);
  }

  grid_ = new HexGrid(group_box4_, core_.editor());

  timer1_.setInterval(300);
  // A port lost or absent at start-up is opened again on the watchdog's
  // ticks until the window closes.
  session_.set_reopen_on_tick(true);

  FormResize();  // FormCreate lays the window out once at its design size
}

TForm1::~TForm1() { delete form3_; }

void TForm1::BuildToolBar() {
  tool_bar1_ = addToolBar(QStringLiteral("ToolBar1"));
  tool_bar1_->setMovable(false);
  tool_bar1_->setFloatable(false);
  tool_bar1_->setFixedHeight(29);
  tool_bar1_->setIconSize(QSize(22, 22));
  tool_bar1_->toggleViewAction()->setVisible(false);
  MakeToolBarFlush(tool_bar1_);
  // The bar's inset is the start of the first gap.
  AddGap(tool_bar1_, 17 - kToolBarInset);
  AddGap(tool_bar1_, 8);
  tool_bar1_->addAction(SaveBufferIcon(),
                        QStringLiteral("Сохранить буфер в файл"), this,
                        &TForm1::ToolButton5Click);
  AddGap(tool_bar1_, 70);
  tool_bar1_->addAction(SettingsIcon(), QStringLiteral("Настройки"), this,
                        &TForm1::ToolButton6Click);
  AddGap(tool_bar1_, 77);
  tool_bar1_->addAction(AboutIcon(), QStringLiteral("О программаторе"), this,
                        &TForm1::ToolButton8Click);
}

void TForm1::AttachSettings(TForm3* form3) { form3_ = form3; }

void TForm1::AttachWindows(TForm4* form4, TForm5* form5, TForm6* form6,
                           TForm7* form7) {
  form4_ = form4;
  form5_ = form5;
  form6_ = form6;
  form7_ = form7;
}

QGroupBox* TForm1::GroupBox(int n) const {
  switch (n) {
    case 1:
      return group_box1_;
    case 2:
      return group_box2_;
    case 3:
      return group_box3_;
    case 4:
      return group_box4_;
    default:
      return nullptr;
  }
}

// ---- layout, show, close ----

void TForm1::resizeEvent(QResizeEvent* event) {
  QMainWindow::resizeEvent(event);
  FormResize();
}

void TForm1::FormResize() {
  if (!layout_enabled_) return;
  LayoutInput in;
  in.client_width = width();
  in.client_height = height();
  in.status_height = status_bar1_->isVisible() || !isVisible()
                         ? status_bar1_->sizeHint().height()
                         : 0;
  in.toolbar_height = tool_bar1_->height();
  in.toolbar_bottom = tool_bar1_->geometry().bottom() + 1;
  in.combo_height = browser_->ShellComboBox1()->sizeHint().height();
  const MainLayout l = ComputeLayout(in);

  // Group boxes live in the central widget, which starts below the toolbar.
  const int dy = centralWidget()->geometry().top();
  auto place = [dy](QWidget* w, const Rect& r, int shift) {
    w->setGeometry(r.left, r.top - shift, r.width, r.height);
  };
  place(group_box1_, l.group_file, dy);
  place(browser_->ShellComboBox1(), l.folder_combo, 0);
  place(browser_->ShellTreeView1(), l.folder_tree, 0);
  place(browser_->ShellListView1(), l.file_list, 0);
  place(group_box2_, l.group_chip, dy);
  place(list_box1_, l.chip_list, 0);
  place(group_box3_, l.group_command, dy);
  place(list_box2_, l.operation_list, 0);
  place(group_box4_, l.group_data, dy);
  if (core_.editor().row_count() >= 2) grid_->FormatGrid();
}

void TForm1::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (!shown_once_) {
    shown_once_ = true;
    FormShow();
  }
}

void TForm1::FormShow() { core_.programmer().FormShow(); }

void TForm1::closeEvent(QCloseEvent* event) {
  if (closing_ || FormClose()) {
    event->accept();
  } else {
    event->ignore();
  }
}

bool TForm1::FormClose() {
  if (core_.buffer().modified()) {
    switch (AskYesNoCancel(kUnsavedDataPrompt)) {
      case Answer::kYes:
        // Unsaved edits are never dropped: a save that did not happen
        // keeps the window open.
        if (core_.working_file().ToolButton5Click() != SaveOutcome::kSaved) {
          return false;
        }
        break;
      case Answer::kNo:
        break;
      case Answer::kCancel:
        return false;
    }
  }
  closing_ = true;
  session_.set_reopen_on_tick(false);
  if (form3_ != nullptr) {
    form3_->FormDestroy();
    delete form3_;
    form3_ = nullptr;
  }
  Comm321().SetLineSignal(kClearRts);
  Comm321().SetLineSignal(kClearDtr);
  QThread::msleep(500);
  Timer2().stop();
  layout_enabled_ = false;
  timer1_.stop();
  core_.buffer().Clear();
  for (QWidget* w :
       std::initializer_list<QWidget*>{form4_, form5_, form6_, form7_}) {
    if (w != nullptr) w->hide();
  }
  return true;
}

// ---- toolbar and timers ----

void TForm1::ToolButton5Click() { core_.working_file().ToolButton5Click(); }

void TForm1::ToolButton6Click() {
  if (form3_ != nullptr) form3_->exec();
}

void TForm1::ToolButton8Click() {
  if (form7_ != nullptr) form7_->exec();
}

void TForm1::Timer2Timer() { session_.Tick(); }

// ---- list boxes ----

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
  const QEvent::Type type = event->type();
  if (watched == list_box1_->viewport() && type == QEvent::MouseButtonRelease) {
    core_.programmer().ListBox1Click(SelectedRow(list_box1_));
  } else if (watched == list_box1_ && type == QEvent::KeyRelease &&
             IsEnter(event)) {
    core_.programmer().ListBox1Click(SelectedRow(list_box1_));
  } else if ((watched == list_box2_->viewport() &&
              type == QEvent::MouseButtonRelease) ||
             (watched == list_box2_ && type == QEvent::KeyPress &&
              IsEnter(event))) {
    core_.programmer().ListBox2Click(SelectedRow(list_box1_),
                                     SelectedRow(list_box2_));
  }
  return QMainWindow::eventFilter(watched, event);
}

// ---- rendering the core's state ----

void TForm1::Changed(Aspect aspect) {
  ChipProgrammer& p = core_.programmer();
  switch (aspect) {
    case Aspect::kCaption:
      RenderCaption();
      break;
    case Aspect::kStatus:
      RenderStatus();
      break;
    case Aspect::kChipList:
      RenderList(list_box1_, p.chip_rows());
      break;
    case Aspect::kOperationList:
      RenderList(list_box2_, p.operation_rows());
      break;
    case Aspect::kLockRows:
    case Aspect::kLockDialog:
      if (form4_ != nullptr) form4_->Render();
      break;
    case Aspect::kFuseRows:
    case Aspect::kFuseDialog:
      if (form6_ != nullptr) form6_->Render();
      break;
    case Aspect::kOutcome:  // shown through the status line and the boxes
      break;
  }
}

void TForm1::RenderCaption() {
  const std::string& caption = core_.programmer().caption();
  setWindowTitle(LiteralTitle(Q(caption)));
}

void TForm1::RenderStatus() {
  ChipProgrammer& p = core_.programmer();
  status_panel_->setText(Q(p.status_text()));
  mismatch_button_->Render(p.last_mismatch());
  QPalette pal = status_bar1_->palette();
  pal.setColor(QPalette::Window,
               p.status_error() ? kErrorColour : kWindowColour);
  status_bar1_->setPalette(pal);
}

void TForm1::RenderList(QListWidget* list,
                        const std::vector<std::string>& rows) {
  // Rows arrive one reply at a time: append what is new and keep the
  // selection, rebuild only when earlier rows changed.
  const int shown = list->count();
  bool prefix = shown <= static_cast<int>(rows.size());
  for (int i = 0; prefix && i < shown; ++i) {
    prefix = list->item(i)->text() == Q(rows[static_cast<size_t>(i)]);
  }
  if (!prefix) list->clear();
  for (size_t i = static_cast<size_t>(list->count()); i < rows.size(); ++i) {
    // The lists are narrow at the design size and cut long names; the
    // tooltip shows the whole one.
    auto* item = new QListWidgetItem(Q(rows[i]));
    item->setToolTip(item->text());
    list->addItem(item);
  }
}

// ---- LinkHost ----

bool TForm1::WriteData(const uint8_t* bytes, uint16_t count) {
  return Comm321().WriteData(bytes, count);
}

void TForm1::RestartWatchdog() {
  if (!closing_) session_.RestartWatchdog();
}

void TForm1::ShowWarning(const std::string& text) {
  if (session_.receiving()) {
    // The retry limit is reached inside the receive handler, and the port
    // hands over no byte while its handler runs: the box opens once the
    // handler has returned, so that what arrives meanwhile is handled in
    // order and its acknowledgements keep Timer2 from firing.
    QTimer::singleShot(0, this, [this, text] { ShowWarning(text); });
    return;
  }
  QMessageBox box(QMessageBox::Warning, QStringLiteral("Warning"), Q(text),
                  QMessageBox::Ok, this);
  box.exec();
}

void TForm1::ProgressChanged() {
  if (form5_ != nullptr) form5_->Render(core_.queue().progress());
}

// ---- AppHost ----

Answer TForm1::AskYesNoCancel(const std::string& text) {
  QMessageBox box(QMessageBox::Question, QStringLiteral("Confirm"), Q(text),
                  QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel,
                  this);
  box.setEscapeButton(QMessageBox::Cancel);
  switch (box.exec()) {
    case QMessageBox::Yes:
      return Answer::kYes;
    case QMessageBox::No:
      return Answer::kNo;
    default:
      return Answer::kCancel;
  }
}

Answer TForm1::AskYesNo(const std::string& text) {
  QMessageBox box(QMessageBox::Question, QStringLiteral("Confirm"), Q(text),
                  QMessageBox::Yes | QMessageBox::No, this);
  // Escape and the title bar's close both answer No: a file is replaced
  // only on an explicit Yes.
  box.setEscapeButton(QMessageBox::No);
  return box.exec() == QMessageBox::Yes ? Answer::kYes : Answer::kNo;
}

std::optional<std::string> TForm1::PromptSaveFileName(
    const std::string& file_name) {
  const std::unique_ptr<QFileDialog> dialog =
      MakeSaveDialog(this, QFile::decodeName(file_name.c_str()));
  if (dialog->exec() != QDialog::Accepted) return std::nullopt;
  const QStringList files = dialog->selectedFiles();
  const QString chosen = files.isEmpty() ? QString() : files.first();
  if (chosen.isEmpty()) return std::nullopt;
  return QFile::encodeName(chosen).toStdString();
}

void TForm1::ReportError(const std::string& text) {
  ShowErrorReport(this, Q(text));
}

void TForm1::GridNeedsLayout() { grid_->FormatGrid(); }

void TForm1::GridNeedsRefresh() { grid_->RefreshGrid(); }

void TForm1::RebuildLines(int n) {
  if (form7_ != nullptr) form7_->RebuildLines(n);
}

void TForm1::SetLineText(int i, const std::string& text) {
  if (form7_ != nullptr) form7_->SetLineText(i, Q(text));
}

bool TForm1::Check(Option option) {
  // Every option is ticked until the settings dialog says otherwise.
  return form3_ == nullptr || form3_->options().Ticked(option);
}

}  // namespace taktm
