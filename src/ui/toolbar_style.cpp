#include "ui/toolbar_style.h"

#include <QToolBar>

namespace taktm {

int FlushToolBarStyle::pixelMetric(PixelMetric metric,
                                   const QStyleOption* option,
                                   const QWidget* widget) const {
  switch (metric) {
    case PM_ToolBarItemMargin:
      return kToolBarInset;
    case PM_ToolBarFrameWidth:
    case PM_ToolBarItemSpacing:
      return 0;
    default:
      return QProxyStyle::pixelMetric(metric, option, widget);
  }
}

void MakeToolBarFlush(QToolBar* bar) {
  auto* style = new FlushToolBarStyle;
  style->setParent(bar);
  bar->setStyle(style);
}

}  // namespace taktm
