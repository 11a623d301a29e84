// The about box: the device's about lines, an "Ok" button and the help link.
#ifndef TAKT_UI_ABOUT_BOX_H_
#define TAKT_UI_ABOUT_BOX_H_

#include <QDialog>
#include <QString>
#include <vector>

class QLabel;
class QPushButton;

namespace taktm {

class TUrl;

inline constexpr char kAboutLinePlaceholder[] = "Пока это неизвестная надпись!";
inline constexpr char kHelpFile[] = "help/ruka.htm";

// TForm7, "О программаторе": a fixed dialog whose text lines the device
// supplies; it grows or shrinks with their number.
class TForm7 : public QDialog {
  Q_OBJECT

 public:
  explicit TForm7(QWidget* parent = nullptr);

  // Replaces the lines with n placeholder lines 30 pixels apart and moves the
  // button and the link under them. With n = 0 the old lines go and
  // everything else stays where it was.
  void RebuildLines(int n);
  // Line i takes the text; ignored when line i does not exist.
  void SetLineText(int i, const QString& text);

  int LineCount() const { return static_cast<int>(lines_.size()); }
  QLabel* Line(int i) const;
  // The whole text of line i (its label may show it shortened); empty when
  // line i does not exist.
  QString LineText(int i) const;
  QPushButton* OkButton() const { return ok_button_; }
  TUrl* HelpLink() const { return help_link_; }
  // The window's height with its frame: as the last rebuild with lines set
  // it, else the client area plus whatever frame the window system drew.
  int OuterHeight() const;

 protected:
  void showEvent(QShowEvent* event) override;
  // The window system frames a shown window a moment later, without an
  // event of its own; by the time the box is moved into place or activated
  // the frame is known, and the outer height then follows it.
  void moveEvent(QMoveEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  void FormCreate();
  void SetOuterHeight(int height);
  // Sizes the client area so that, with the frame known now, the outer
  // height is the one the last rebuild asked for.
  void FitOuterHeight();
  // FitOuterHeight and centring again, when the frame changed the height.
  void FollowFrame();
  int FrameExtraHeight() const;
  void CentreOnScreen();

  std::vector<QLabel*> lines_;
  std::vector<QString> line_texts_;
  QPushButton* ok_button_ = nullptr;
  TUrl* help_link_ = nullptr;
  int outer_height_ = 0;
  bool outer_height_set_ = false;
};

}  // namespace taktm

#endif  // TAKT_UI_ABOUT_BOX_H_
