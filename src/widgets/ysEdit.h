// Edit boxes with key filtering: the single-line base with an alignment, the
// abstract numeric box and the integer box (the settings dialog's speed).
#ifndef TAKT_WIDGETS_YSEDIT_H_
#define TAKT_WIDGETS_YSEDIT_H_

#include <QClipboard>
#include <QLineEdit>
#include <cstdint>
#include <functional>

class QAction;
class QMenu;

namespace taktm {

// A single-line edit box with an alignment (left when created). Under a
// right-to-left layout left and right swap, centre stays centre.
class TysCustomEdit : public QLineEdit {
  Q_OBJECT

 public:
  enum TAlignment { taLeftJustify, taRightJustify, taCenter };

  explicit TysCustomEdit(QWidget* parent = nullptr);

  TAlignment Alignment() const { return alignment_; }

 protected:
  void SetAlignment(TAlignment alignment);

 private:
  TAlignment alignment_ = taLeftJustify;
};

// The abstract numeric box: right-aligned, keeps `Value` and a minimum
// number of characters `Digits`, refuses (with a beep) the characters its
// concrete box does not accept, and replaces its value on paste.
class TysNumEdit : public TysCustomEdit {
  Q_OBJECT

 public:
  using TNotifyEvent = std::function<void(TysNumEdit* sender)>;

  explicit TysNumEdit(QWidget* parent = nullptr);

  int32_t Value() const { return value_; }
  void SetValue(int32_t value);
  int Digits() const { return digits_; }
  void SetDigits(int digits);
  QString TextValue() const { return text(); }

  // Raised after every change of the text.
  TNotifyEvent OnChange;

  // Replaces the value with the clipboard text read as a number (0 when it is
  // not one); the clipboard text itself never enters the box. Ignored while
  // the box is disabled.
  void Paste(QClipboard::Mode mode = QClipboard::Clipboard);

  // The paste entry of a standard edit menu, which the box reroutes to
  // Paste; nullptr when there is none.
  static QAction* FindPasteAction(const QMenu& menu);

 protected:
  virtual bool IsValidChar(QChar c) const = 0;
  virtual void UpdateText() = 0;
  virtual int32_t GetValue() const = 0;
  // Parses the text into the value as the concrete box reads it; the number
  // box itself only raises OnChange.
  virtual void Change();
  // The system's default beep; a test can count it.
  virtual void Beep();

  // True while the box writes its own text.
  bool updating() const { return updating_; }
  // Writes the text under the updating flag; leaves the text (and the caret)
  // alone when it already reads so.
  void WriteOwnText(const QString& text);
  // Reads the clipboard text as the concrete box's value.
  virtual int32_t ValueFromPastedText(const QString& text) const = 0;

  void keyPressEvent(QKeyEvent* event) override;
  void inputMethodEvent(QInputMethodEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;

 private:
  bool AcceptsAll(const QString& typed) const;
  void ApplyUpdate(int32_t value, int digits);

  int32_t value_ = 0;
  int digits_ = 0;
  bool updating_ = false;
};

// The integer box: accepts "+", "-", digits and control keys; its text is a
// signed 32-bit number, and text that is not one counts as 0.
class TysIntEdit : public TysNumEdit {
  Q_OBJECT

 public:
  explicit TysIntEdit(QWidget* parent = nullptr);

 protected:
  bool IsValidChar(QChar c) const override;
  void UpdateText() override;
  int32_t GetValue() const override { return Value(); }
  void Change() override;
  int32_t ValueFromPastedText(const QString& text) const override;
};

}  // namespace taktm

#endif  // TAKT_WIDGETS_YSEDIT_H_
