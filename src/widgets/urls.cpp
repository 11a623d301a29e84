#include "widgets/urls.h"

#include <QDesktopServices>
#include <QDir>
#include <QEnterEvent>
#include <QFileInfo>
#include <QMouseEvent>
#include <QPalette>
#include <QUrl>

namespace taktm {
namespace {

// "C:\..." parses with the scheme "c"; a real scheme is longer.
bool HasScheme(const QUrl& url) { return url.scheme().size() > 1; }

}  // namespace

TUrl::TUrl(QWidget* owner) : QLabel(owner) {
  SetFontColor(QColor(0, 0, 128));  // navy
  setCursor(Qt::PointingHandCursor);
  normal_color_ = FontColor();
  normal_style_ = FontStyle();
}

void TUrl::SetURL(const QString& url) {
  if (url == url_) return;
  if (show_hint_ && (hint_ == url_ || hint_.isEmpty())) SetHint(url);
  if (text() == url_ || text().isEmpty()) setText(url);
  url_ = url;
  update();
}

void TUrl::SetHint(const QString& hint) {
  hint_ = hint;
  ApplyHint();
}

void TUrl::SetShowHint(bool show) {
  show_hint_ = show;
  ApplyHint();
}

void TUrl::ApplyHint() { setToolTip(show_hint_ ? hint_ : QString()); }

QColor TUrl::FontColor() const { return palette().color(QPalette::WindowText); }

void TUrl::SetFontColor(const QColor& color) {
  QPalette p = palette();
  p.setColor(QPalette::WindowText, color);
  setPalette(p);
}

TFontStyles TUrl::FontStyle() const {
  const QFont& f = font();
  TFontStyles style = 0;
  if (f.bold()) style |= fsBold;
  if (f.italic()) style |= fsItalic;
  if (f.underline()) style |= fsUnderline;
  if (f.strikeOut()) style |= fsStrikeOut;
  return style;
}

void TUrl::SetFontStyle(TFontStyles style) {
  QFont f = font();
  f.setBold(style & fsBold);
  f.setItalic(style & fsItalic);
  f.setUnderline(style & fsUnderline);
  f.setStrikeOut(style & fsStrikeOut);
  setFont(f);
}

bool TUrl::Execute() {
  if (url_.isEmpty()) return false;
  const QUrl parsed(url_);
  QUrl target;
  if (HasScheme(parsed)) {
    target = parsed;
  } else {
    const QFileInfo file(QDir::current(), url_);
    if (!file.exists()) {
      Fail(kUrlFileNotFound);
      return false;
    }
    target = QUrl::fromLocalFile(file.absoluteFilePath());
  }
  if (!QDesktopServices::openUrl(target)) {
    Fail(kUrlNoAssociation);
    return false;
  }
  return true;
}

void TUrl::Fail(int error_code) {
  if (OnUrlFailed) OnUrlFailed(this, url_, error_code);
}

void TUrl::enterEvent(QEnterEvent* event) {
  normal_color_ = FontColor();
  normal_style_ = FontStyle();
  SetFontColor(active_link_color_);
  SetFontStyle(active_link_style_);
  QLabel::enterEvent(event);
  if (OnMouseEnter) OnMouseEnter(this);
}

void TUrl::leaveEvent(QEvent* event) {
  SetFontColor(normal_color_);
  SetFontStyle(normal_style_);
  QLabel::leaveEvent(event);
  if (OnMouseLeave) OnMouseLeave(this);
}

void TUrl::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) pressed_ = true;
  QLabel::mousePressEvent(event);
}

void TUrl::mouseReleaseEvent(QMouseEvent* event) {
  const bool clicked = pressed_ && event->button() == Qt::LeftButton &&
                       rect().contains(event->position().toPoint());
  if (event->button() == Qt::LeftButton) pressed_ = false;
  QLabel::mouseReleaseEvent(event);
  if (!clicked) return;
  if (OnClick) {
    OnClick(this);
  } else {
    Execute();
  }
}

}  // namespace taktm
