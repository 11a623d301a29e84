#include "widgets/ysEdit.h"

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QKeySequence>
#include <QMenu>
#include <QMouseEvent>
#include <memory>

#include "widgets/int_text.h"

namespace taktm {

// ---------------------------------------------------------------------------
// TysCustomEdit

TysCustomEdit::TysCustomEdit(QWidget* parent) : QLineEdit(parent) {
  SetAlignment(taLeftJustify);
}

void TysCustomEdit::SetAlignment(TAlignment alignment) {
  alignment_ = alignment;
  // Qt::AlignLeft and Qt::AlignRight are mirrored under a right-to-left
  // layout, which is the swap the alignment asks for.
  switch (alignment) {
    case taLeftJustify:
      setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
      break;
    case taRightJustify:
      setAlignment(Qt::AlignRight | Qt::AlignVCenter);
      break;
    case taCenter:
      setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
      break;
  }
}

// ---------------------------------------------------------------------------
// TysNumEdit

QAction* TysNumEdit::FindPasteAction(const QMenu& menu) {
  // The line edit's own menu names its paste action by its (translated)
  // caption, followed by the shortcut.
  const QString caption = QLineEdit::tr("&Paste");
  for (QAction* action : menu.actions()) {
    if (action->objectName() == QLatin1String("edit-paste") ||
        action->text().startsWith(caption)) {
      return action;
    }
  }
  return nullptr;
}

TysNumEdit::TysNumEdit(QWidget* parent) : TysCustomEdit(parent) {
  SetAlignment(taRightJustify);
  // A drop would insert text past the key filter.
  setAcceptDrops(false);
  connect(this, &QLineEdit::textChanged, this, [this] { Change(); });
}

void TysNumEdit::SetValue(int32_t value) {
  if (value == value_) return;
  ApplyUpdate(value, digits_);
}

void TysNumEdit::SetDigits(int digits) {
  if (digits == digits_) return;
  ApplyUpdate(value_, digits);
}

void TysNumEdit::ApplyUpdate(int32_t value, int digits) {
  const bool was_updating = updating_;
  updating_ = true;
  value_ = value;
  digits_ = digits;
  UpdateText();
  updating_ = was_updating;
}

void TysNumEdit::WriteOwnText(const QString& new_text) {
  if (new_text == text()) return;
  const bool was_updating = updating_;
  updating_ = true;
  setText(new_text);
  updating_ = was_updating;
}

void TysNumEdit::Paste(QClipboard::Mode mode) {
  if (!isEnabled()) return;
  const QString pasted = QGuiApplication::clipboard()->text(mode);
  SetValue(ValueFromPastedText(pasted));
  const bool was_updating = updating_;
  updating_ = true;
  UpdateText();
  updating_ = was_updating;
}

void TysNumEdit::Change() {
  if (!updating_) value_ = GetValue();
  if (OnChange) OnChange(this);
}

void TysNumEdit::Beep() { QApplication::beep(); }

bool TysNumEdit::AcceptsAll(const QString& typed) const {
  for (QChar c : typed) {
    // Keys without a printable character (Backspace, Delete, arrows) are
    // editing keys and always pass.
    if (!c.isPrint()) continue;
    if (!IsValidChar(c)) return false;
  }
  return true;
}

void TysNumEdit::keyPressEvent(QKeyEvent* event) {
  if (event->matches(QKeySequence::Paste)) {
    Paste();
    event->accept();
    return;
  }
  const Qt::KeyboardModifiers shortcut_modifiers =
      Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier;
  if (!(event->modifiers() & shortcut_modifiers) &&
      !AcceptsAll(event->text())) {
    Beep();
    event->accept();
    return;
  }
  TysCustomEdit::keyPressEvent(event);
}

void TysNumEdit::inputMethodEvent(QInputMethodEvent* event) {
  if (!AcceptsAll(event->commitString())) {
    Beep();
    event->accept();
    return;
  }
  TysCustomEdit::inputMethodEvent(event);
}

void TysNumEdit::mouseReleaseEvent(QMouseEvent* event) {
  // The middle button pastes the selection on systems that have one; it
  // replaces the value like any other paste.
  if (event->button() == Qt::MiddleButton &&
      QGuiApplication::clipboard()->supportsSelection()) {
    if (rect().contains(event->position().toPoint())) {
      Paste(QClipboard::Selection);
    }
    event->accept();
    return;
  }
  TysCustomEdit::mouseReleaseEvent(event);
}

void TysNumEdit::contextMenuEvent(QContextMenuEvent* event) {
  std::unique_ptr<QMenu> menu(createStandardContextMenu());
  if (QAction* paste = FindPasteAction(*menu)) {
    disconnect(paste, &QAction::triggered, nullptr, nullptr);
    connect(paste, &QAction::triggered, this, [this] { Paste(); });
  }
  menu->exec(event->globalPos());
}

// ---------------------------------------------------------------------------
// TysIntEdit

TysIntEdit::TysIntEdit(QWidget* parent) : TysNumEdit(parent) {
  UpdateText();  // a new box shows 0
}

bool TysIntEdit::IsValidChar(QChar c) const {
  return IsIntEditChar(c.unicode());
}

void TysIntEdit::UpdateText() {
  WriteOwnText(QString::fromStdString(PaddedInt(Value(), Digits())));
}

void TysIntEdit::Change() {
  // The box's own text (zero padding in front of a sign included) stands for
  // the value as it is; only text the user changed is read back.
  if (!updating()) SetValue(Int32OrZero(text().toStdString()));
  TysNumEdit::Change();
}

int32_t TysIntEdit::ValueFromPastedText(const QString& text) const {
  // A copied number often carries a line end or blanks around it.
  return Int32OrZero(text.trimmed().toStdString());
}

}  // namespace taktm
