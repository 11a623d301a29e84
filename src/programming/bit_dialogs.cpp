#include "programming/bit_dialogs.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QMoveEvent>
#include <QPalette>
#include <QScreen>
#include <QString>
#include <algorithm>

namespace taktm {
namespace {

// Client height before any rows and the first rows' geometry.
constexpr int kInitialHeight = 43;
constexpr int kInitialButtonTop = 16;
constexpr int kRowLeft = 20;
constexpr int kFirstRowTop = 25;
constexpr int kRowPitch = 20;
constexpr int kRowHeight = 17;
// Outer height and button top with n rows: base + pitch * n.
constexpr int kOuterHeightBase = 100;
constexpr int kButtonTopBase = 40;

bool IsEnter(int key) { return key == Qt::Key_Return || key == Qt::Key_Enter; }

}  // namespace

BitDialog::BitDialog(ChipProgrammer& programmer, const Look& look,
                     QWidget* parent)
    : QWidget(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint |
                          Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                          Qt::WindowSystemMenuHint),
      programmer_(programmer),
      look_(look),
      button1_(new QPushButton(QStringLiteral("Записать"), this)) {
  setWindowTitle(QString::fromUtf8(look.caption));
  QPalette pal = palette();
  pal.setColor(QPalette::Window, look.background);
  setPalette(pal);
  setAutoFillBackground(true);
  setFocusPolicy(Qt::StrongFocus);
  setFixedSize(look.client_width, kInitialHeight);
  // The button acts on release only: no clicked() connection, and Space is
  // swallowed by the filter.
  button1_->setGeometry(look.button_left, kInitialButtonTop, 75, 25);
  button1_->setAutoDefault(false);
  button1_->installEventFilter(this);
  seen_rebuilds_ = model().rebuilds();
  seen_show_requests_ = model().show_requests();
}

void BitDialog::Render() {
  const BitRows& m = model();
  if (m.rebuilds() != seen_rebuilds_) {
    seen_rebuilds_ = m.rebuilds();
    RebuildRows(m.count());
  } else if (m.count() != static_cast<int>(rows_.size())) {
    ClearRows();  // emptied on loss of the device: size and button stay
  }
  for (size_t i = 0; i < rows_.size(); ++i) {
    const BitRows::Row& row = m.row(static_cast<int>(i));
    rows_[i]->setText(QString::fromStdString(row.caption));
    rows_[i]->setChecked(row.ticked);
  }
  button1_->setEnabled(m.write_enabled());

  if (m.shown()) {
    if (!isVisible()) {
      CentreOnScreen();
      show();
    }
    if (m.show_requests() != seen_show_requests_) {
      raise();
      activateWindow();
    }
  } else if (isVisible()) {
    enter_down_ = false;
    hide();
  }
  seen_show_requests_ = m.show_requests();
}

void BitDialog::ClearRows() {
  for (QCheckBox* row : rows_) {
    row->hide();
    row->deleteLater();
  }
  rows_.clear();
}

void BitDialog::RebuildRows(int n) {
  ClearRows();
  for (int i = 0; i < n; ++i) {
    auto* row = new QCheckBox(this);
    row->setGeometry(kRowLeft, kFirstRowTop + kRowPitch * i,
                     frameGeometry().width(), kRowHeight);
    // Key releases on a row go to the dialog's own handler.
    row->installEventFilter(this);
    connect(row, &QCheckBox::clicked, this,
            [this, i](bool checked) { model().SetRowTicked(i, checked); });
    row->show();
    rows_.push_back(row);
  }
  LayOut();
}

// Height and button follow the rows; the outer height includes the title
// bar and borders, which are known only once the window system framed it.
void BitDialog::LayOut() {
  const int n = static_cast<int>(rows_.size());
  const int frame_extra = frameGeometry().height() - height();
  setFixedSize(look_.client_width,
               kOuterHeightBase + kRowPitch * n - frame_extra);
  button1_->move(look_.button_left, kButtonTopBase + kRowPitch * n);
  for (QCheckBox* row : rows_) {
    row->resize(frameGeometry().width(), kRowHeight);
  }
}

void BitDialog::CentreOnScreen() {
  QScreen* s =
      screen() != nullptr ? screen() : QGuiApplication::primaryScreen();
  if (s == nullptr) return;
  const QRect area = s->availableGeometry();
  const QRect frame = frameGeometry();
  move(area.center() - QPoint(frame.width() / 2, frame.height() / 2));
}

void BitDialog::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (model().rebuilds() > 0) LayOut();  // now with the real frame
}

void BitDialog::moveEvent(QMoveEvent* event) {
  QWidget::moveEvent(event);
  const int n = static_cast<int>(rows_.size());
  const int outer = kOuterHeightBase + kRowPitch * n;
  if (isVisible() && model().rebuilds() > 0 &&
      frameGeometry().height() != outer) {
    LayOut();
  }
}

void BitDialog::closeEvent(QCloseEvent* event) {
  enter_down_ = false;
  model().Hide();
  QWidget::closeEvent(event);
}

bool BitDialog::EnterReleaseCounts(const QKeyEvent* event) {
  if (event->isAutoRepeat()) return false;
  const bool counts = enter_down_;
  enter_down_ = false;
  return counts;
}

bool BitDialog::eventFilter(QObject* watched, QEvent* event) {
  const bool on_button = watched == button1_;
  const bool on_row = !on_button && std::find(rows_.begin(), rows_.end(),
                                              watched) != rows_.end();
  if (!on_button && !on_row) return QWidget::eventFilter(watched, event);

  switch (event->type()) {
    case QEvent::MouseButtonRelease: {
      const auto* mouse = static_cast<QMouseEvent*>(event);
      if (on_button && button1_->isEnabled() &&
          button1_->rect().contains(mouse->position().toPoint())) {
        Button1MouseUp();
      }
      return false;  // the button still leaves its pressed look
    }
    case QEvent::KeyPress: {
      const auto* key = static_cast<QKeyEvent*>(event);
      if (IsEnter(key->key())) {
        if (!key->isAutoRepeat()) enter_down_ = true;
        return true;
      }
      return on_button && key->key() == Qt::Key_Space;  // no click action
    }
    case QEvent::KeyRelease: {
      const auto* key = static_cast<QKeyEvent*>(event);
      if (IsEnter(key->key())) {
        if (EnterReleaseCounts(key)) {
          if (on_button) {
            Button1KeyUp();
          } else {
            FormKeyUp();
          }
        }
        return true;
      }
      return on_button && key->key() == Qt::Key_Space;
    }
    default:
      return false;
  }
}

void BitDialog::keyPressEvent(QKeyEvent* event) {
  if (IsEnter(event->key())) {
    if (!event->isAutoRepeat()) enter_down_ = true;
    return;
  }
  QWidget::keyPressEvent(event);  // Escape does nothing here
}

void BitDialog::keyReleaseEvent(QKeyEvent* event) {
  if (IsEnter(event->key())) {
    if (EnterReleaseCounts(event)) FormKeyUp();
    return;
  }
  QWidget::keyReleaseEvent(event);
}

TForm4::TForm4(ChipProgrammer& programmer, QWidget* parent)
    : BitDialog(programmer,
                {BitKind::kLock, "Lock биты", 192, 56, QColor(210, 192, 192)},
                parent) {}

TForm6::TForm6(ChipProgrammer& programmer, QWidget* parent)
    : BitDialog(programmer,
                {BitKind::kFuse, "Fuse биты", 336, 136, QColor(220, 192, 192)},
                parent) {}

}  // namespace taktm
