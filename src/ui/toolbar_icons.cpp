#include "ui/toolbar_icons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QtMath>
#include <functional>

namespace taktm {
namespace {

QIcon Draw(const std::function<void(QPainter&)>& paint) {
  QIcon icon;
  for (int size : {16, 24, 32}) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 32.0, size / 32.0);
    paint(p);
    icon.addPixmap(pixmap);
  }
  return icon;
}

}  // namespace

QIcon SaveBufferIcon() {
  return Draw([](QPainter& p) {
    p.setPen(QPen(QColor(20, 40, 90), 2));
    p.setBrush(QColor(60, 100, 180));
    p.drawRoundedRect(QRectF(4, 4, 24, 24), 2, 2);
    p.setBrush(QColor(235, 235, 235));
    p.drawRect(QRectF(9, 5, 14, 9));  // shutter
    p.setBrush(QColor(250, 250, 250));
    p.drawRect(QRectF(8, 18, 16, 10));  // label
    p.setPen(QPen(QColor(60, 100, 180), 1.5));
    p.drawLine(QPointF(11, 21), QPointF(21, 21));
    p.drawLine(QPointF(11, 24), QPointF(21, 24));
  });
}

QIcon SettingsIcon() {
  return Draw([](QPainter& p) {
    QPainterPath gear;
    const QPointF c(16, 16);
    for (int i = 0; i < 16; ++i) {
      const double a = i * M_PI / 8;
      const double r = (i % 2 == 0) ? 14 : 10.5;
      const QPointF pt(c.x() + r * qCos(a), c.y() + r * qSin(a));
      if (i == 0)
        gear.moveTo(pt);
      else
        gear.lineTo(pt);
    }
    gear.closeSubpath();
    gear.addEllipse(c, 4.5, 4.5);
    p.setPen(QPen(QColor(60, 60, 60), 1.5));
    p.setBrush(QColor(150, 150, 160));
    p.drawPath(gear);
  });
}

QIcon AboutIcon() {
  return Draw([](QPainter& p) {
    p.setPen(QPen(QColor(30, 80, 30), 2));
    p.setBrush(QColor(90, 170, 90));
    p.drawRoundedRect(QRectF(3, 9, 26, 17), 3, 3);  // the programmer
    p.setPen(QPen(QColor(200, 200, 200), 2));
    for (int x = 8; x <= 24; x += 4) p.drawLine(QPointF(x, 26), QPointF(x, 30));
    p.setPen(QColor(255, 255, 255));
    QFont f = p.font();
    f.setBold(true);
    f.setPixelSize(14);
    p.setFont(f);
    p.drawText(QRectF(3, 9, 26, 17), Qt::AlignCenter, QStringLiteral("?"));
  });
}

}  // namespace taktm
