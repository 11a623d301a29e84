// The toolbar's own spacing: no room between its items, so that the gaps the
// main window puts between its buttons are the whole distance between them,
// and an inset of kToolBarInset pixels all round, which keeps the buttons
// (and their hover frames) off the bar's top and bottom lines. The style's
// own metrics would add four pixels before the first item and one between
// any two.
#ifndef TAKT_UI_TOOLBAR_STYLE_H_
#define TAKT_UI_TOOLBAR_STYLE_H_

#include <QProxyStyle>

class QToolBar;

namespace taktm {

inline constexpr int kToolBarInset = 3;

class FlushToolBarStyle : public QProxyStyle {
 public:
  // Follows whatever style the application has.
  FlushToolBarStyle() = default;
  int pixelMetric(PixelMetric metric, const QStyleOption* option,
                  const QWidget* widget) const override;
};

// Gives `bar` the flush spacing; the style lives as long as the bar.
void MakeToolBarFlush(QToolBar* bar);

}  // namespace taktm

#endif  // TAKT_UI_TOOLBAR_STYLE_H_
