// TUrl: a static text that acts as a hyperlink.
#ifndef TAKT_WIDGETS_URLS_H_
#define TAKT_WIDGETS_URLS_H_

#include <QColor>
#include <QLabel>
#include <QString>
#include <functional>

namespace taktm {

// Font styles as a set of bits.
enum TFontStyle : unsigned {
  fsBold = 1,
  fsItalic = 2,
  fsUnderline = 4,
  fsStrikeOut = 8,
};
using TFontStyles = unsigned;

// Error codes handed to OnUrlFailed, numbered like the shell's own.
inline constexpr int kUrlFileNotFound = 2;
inline constexpr int kUrlNoAssociation = 31;

// A label that opens its URL with the desktop's handler when clicked and
// takes the active link look while the mouse is over it. A URL without a
// scheme is a file path relative to the current directory.
class TUrl : public QLabel {
  Q_OBJECT

 public:
  using TNotifyEvent = std::function<void(TUrl* sender)>;
  using TUrlFailedEvent =
      std::function<void(TUrl* sender, const QString& url, int error_code)>;

  explicit TUrl(QWidget* owner = nullptr);

  const QString& URL() const { return url_; }
  // A caption or hint that still reads the old URL, or is empty, follows the
  // new URL; one the owner set to something else is kept.
  void SetURL(const QString& url);

  const QColor& ActiveLinkColor() const { return active_link_color_; }
  void SetActiveLinkColor(const QColor& color) { active_link_color_ = color; }
  TFontStyles ActiveLinkStyle() const { return active_link_style_; }
  void SetActiveLinkStyle(TFontStyles style) { active_link_style_ = style; }

  QString Caption() const { return text(); }
  void SetCaption(const QString& caption) { setText(caption); }
  const QString& Hint() const { return hint_; }
  void SetHint(const QString& hint);
  bool ShowHint() const { return show_hint_; }
  void SetShowHint(bool show);

  QColor FontColor() const;
  void SetFontColor(const QColor& color);
  TFontStyles FontStyle() const;
  void SetFontStyle(TFontStyles style);

  // Opens the URL; true on success. On failure raises OnUrlFailed (when the
  // URL is not empty) and returns false.
  bool Execute();

  TNotifyEvent OnMouseEnter;
  TNotifyEvent OnMouseLeave;
  // The owner's click handler; when assigned, a click runs it instead of
  // Execute.
  TNotifyEvent OnClick;
  TUrlFailedEvent OnUrlFailed;

 protected:
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  void Fail(int error_code);
  void ApplyHint();

  QString url_;
  QColor active_link_color_{0, 0, 255};
  TFontStyles active_link_style_ = fsUnderline;
  QString hint_;
  bool show_hint_ = true;
  bool pressed_ = false;
  // The look before the mouse entered, put back when it leaves.
  QColor normal_color_;
  TFontStyles normal_style_ = 0;
};

}  // namespace taktm

#endif  // TAKT_WIDGETS_URLS_H_
