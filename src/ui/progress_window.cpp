#include "ui/progress_window.h"

#include <QGuiApplication>
#include <QPalette>
#include <QScreen>

namespace taktm {

TForm5::TForm5(QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint |
                          Qt::WindowDoesNotAcceptFocus),
      label1_(new QLabel(QStringLiteral("Очередь команд"), this)),
      progress_bar1_(new QProgressBar(this)) {
  setAttribute(Qt::WA_ShowWithoutActivating);
  setFixedSize(359, 89);
  QPalette pal = palette();
  pal.setColor(QPalette::Window, QColor(220, 220, 192));
  setPalette(pal);
  setAutoFillBackground(true);

  label1_->move(136, 16);
  label1_->adjustSize();
  progress_bar1_->setGeometry(24, 40, 313, 16);
  progress_bar1_->setMinimum(0);
  progress_bar1_->setMaximum(1);
  progress_bar1_->setValue(0);
  progress_bar1_->setTextVisible(false);

  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect area = screen->availableGeometry();
    move(area.center() - rect().center());
  }
}

void TForm5::Render(const ProgressModel& progress) {
  // A maximum of 0 would turn the bar into a busy indicator; keep it at 1.
  progress_bar1_->setMaximum(progress.maximum > 0 ? progress.maximum : 1);
  progress_bar1_->setValue(progress.position);
  if (progress.visible != isVisible()) setVisible(progress.visible);
}

}  // namespace taktm
