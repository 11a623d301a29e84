#include "app/app_icon.h"

#include <QSize>
#include <QString>

namespace taktm {

QIcon ApplicationIcon() {
  QIcon icon;
  for (int size : {16, 24, 32, 48, 64, 128, 256}) {
    icon.addFile(QStringLiteral(":/icons/takt-m-%1.png").arg(size),
                 QSize(size, size));
  }
  return icon;
}

}  // namespace taktm
