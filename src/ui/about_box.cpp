#include "ui/about_box.h"

#include <QFontMetrics>
#include <QGuiApplication>
#include <QLabel>
#include <QMoveEvent>
#include <QPalette>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <algorithm>

#include "widgets/urls.h"

namespace taktm {
namespace {

constexpr int kClientWidth = 415;
constexpr int kClientHeight = 250;
constexpr int kLineLeft = 30;
constexpr int kLineTop = 40;
constexpr int kLineSpacing = 30;
constexpr int kLineRightMargin = 10;
constexpr int kButtonTopBelowLines = 60;
constexpr int kButtonHeight = 25;
constexpr int kHeightBelowButton = 45;

}  // namespace

TForm7::TForm7(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("О программаторе"));
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);
  QPalette p = palette();
  p.setColor(QPalette::Window, QColor(255, 251, 240));  // cream
  setPalette(p);
  setAutoFillBackground(true);

  ok_button_ = new QPushButton(QStringLiteral("Ok"), this);
  ok_button_->setObjectName(QStringLiteral("Button1"));
  ok_button_->setGeometry(208, 216, 75, kButtonHeight);
  ok_button_->setDefault(true);
  connect(ok_button_, &QPushButton::clicked, this, &QDialog::accept);

  help_link_ = new TUrl(this);
  help_link_->setObjectName(QStringLiteral("Url1"));
  help_link_->SetCaption(QStringLiteral("Помощь"));
  help_link_->SetURL(QString::fromUtf8(kHelpFile));
  help_link_->SetHint(QString::fromUtf8(kHelpFile));
  help_link_->SetFontColor(QColor(0, 0, 255));
  help_link_->SetFontStyle(fsUnderline);
  help_link_->SetActiveLinkColor(QColor(0, 0, 255));
  help_link_->SetActiveLinkStyle(fsUnderline);
  help_link_->setGeometry(128, 224, 47, 17);
  // Keep the caption whole whatever the platform's font.
  help_link_->resize(std::max(47, help_link_->sizeHint().width()),
                     std::max(17, help_link_->sizeHint().height()));

  setFixedSize(kClientWidth, kClientHeight);
  FormCreate();
}

void TForm7::FormCreate() {
  lines_.clear();
  line_texts_.clear();
}

QLabel* TForm7::Line(int i) const {
  if (i < 0 || i >= LineCount()) return nullptr;
  return lines_[static_cast<size_t>(i)];
}

void TForm7::RebuildLines(int n) {
  for (QLabel* line : lines_) {
    line->setParent(nullptr);
    delete line;
  }
  lines_.clear();
  line_texts_.clear();
  if (n <= 0) return;

  lines_.reserve(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) {
    auto* line = new QLabel(QString::fromUtf8(kAboutLinePlaceholder), this);
    line->move(kLineLeft, kLineTop + kLineSpacing * i);
    line->adjustSize();
    line->show();
    lines_.push_back(line);
    line_texts_.push_back(line->text());
  }
  const int button_top = kButtonTopBelowLines + kLineSpacing * n;
  ok_button_->move(ok_button_->x(), button_top);
  help_link_->move(help_link_->x(), button_top);
  SetOuterHeight(button_top + kButtonHeight + kHeightBelowButton);
}

void TForm7::SetLineText(int i, const QString& text) {
  if (i < 0 || i >= LineCount()) return;
  line_texts_[static_cast<size_t>(i)] = text;
  QLabel* line = lines_[static_cast<size_t>(i)];
  // A device line wider than the box is shortened with an ellipsis rather
  // than cut by the edge; the whole text shows as the line's tooltip.
  const int room = kClientWidth - kLineLeft - kLineRightMargin;
  const QFontMetrics metrics(line->font());
  if (metrics.horizontalAdvance(text) > room) {
    line->setText(metrics.elidedText(text, Qt::ElideRight, room));
    line->setToolTip(text);
  } else {
    line->setText(text);
    line->setToolTip(QString());
  }
  line->adjustSize();
}

QString TForm7::LineText(int i) const {
  if (i < 0 || i >= LineCount()) return QString();
  return line_texts_[static_cast<size_t>(i)];
}

int TForm7::FrameExtraHeight() const {
  // Known only once the window system has framed the shown window; until
  // then the frame counts as nothing.
  return std::max(0, frameGeometry().height() - geometry().height());
}

int TForm7::OuterHeight() const {
  return outer_height_set_ ? outer_height_ : height() + FrameExtraHeight();
}

void TForm7::SetOuterHeight(int height) {
  outer_height_ = height;
  outer_height_set_ = true;
  FitOuterHeight();
}

void TForm7::FitOuterHeight() {
  setFixedSize(kClientWidth, std::max(1, outer_height_ - FrameExtraHeight()));
}

void TForm7::CentreOnScreen() {
  const QScreen* screen =
      this->screen() ? this->screen() : QGuiApplication::primaryScreen();
  if (screen == nullptr) return;
  QRect frame = frameGeometry();
  frame.moveCenter(screen->availableGeometry().center());
  move(frame.topLeft());
}

void TForm7::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  // The frame may be known now: keep the outer height the lines asked for.
  if (outer_height_set_) FitOuterHeight();
  CentreOnScreen();
}

void TForm7::FollowFrame() {
  if (isVisible() && outer_height_set_ &&
      frameGeometry().height() != outer_height_) {
    FitOuterHeight();
    CentreOnScreen();
  }
}

void TForm7::moveEvent(QMoveEvent* event) {
  QDialog::moveEvent(event);
  FollowFrame();
}

void TForm7::changeEvent(QEvent* event) {
  QDialog::changeEvent(event);
  if (event->type() == QEvent::ActivationChange) FollowFrame();
}

}  // namespace taktm
