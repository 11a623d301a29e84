#include "buffer/hex_cell_delegate.h"

#include <QKeyEvent>
#include <QPainter>
#include <QRegularExpressionValidator>

#include "buffer/grid_text.h"
#include "buffer/hex_grid.h"

namespace taktm {

HexCellDelegate::HexCellDelegate(HexGrid* grid)
    : QStyledItemDelegate(grid), grid_(grid) {}

QWidget* HexCellDelegate::createEditor(QWidget* parent,
                                       const QStyleOptionViewItem&,
                                       const QModelIndex&) const {
  auto* line = new QLineEdit(parent);
  line->setFrame(false);
  line->setMaxLength(kCellEditMaxLength);
  line->setTextMargins(1, 0, 0, 0);
  line->setValidator(new QRegularExpressionValidator(
      QRegularExpression("[0-9A-Fa-f]{0,2}"), line));
  editor_ = line;
  return line;
}

void HexCellDelegate::setEditorData(QWidget* editor,
                                    const QModelIndex& index) const {
  auto* line = static_cast<QLineEdit*>(editor);
  line->setText(index.data(Qt::EditRole).toString());
  line->selectAll();  // a typed digit replaces the cell's text
}

void HexCellDelegate::setModelData(QWidget*, QAbstractItemModel*,
                                   const QModelIndex&) const {}

void HexCellDelegate::updateEditorGeometry(QWidget* editor,
                                           const QStyleOptionViewItem& option,
                                           const QModelIndex&) const {
  editor->setGeometry(option.rect);
}

void HexCellDelegate::paint(QPainter* painter,
                            const QStyleOptionViewItem& option,
                            const QModelIndex& index) const {
  const bool selected = option.state & QStyle::State_Selected;
  if (selected) painter->fillRect(option.rect, option.palette.highlight());
  painter->setPen(selected ? option.palette.highlightedText().color()
                           : option.palette.text().color());
  const QString text = index.data(Qt::DisplayRole).toString();
  const std::optional<uint32_t> value =
      text.size() == 2 ? HexTextToInt(text.toStdString()) : std::nullopt;
  if (value) {
    if (byte_font_ != option.font) {
      byte_font_ = option.font;
      for (QStaticText& t : byte_texts_) t = QStaticText();
    }
    QStaticText& cached = byte_texts_[*value & 0xFF];
    if (cached.text().isEmpty()) {
      cached.setText(text);
      cached.setTextFormat(Qt::PlainText);
      cached.prepare(QTransform(), option.font);
    }
    const int y =
        option.rect.top() +
        (option.rect.height() - static_cast<int>(cached.size().height())) / 2;
    painter->setFont(option.font);
    painter->drawStaticText(option.rect.left() + 2, y, cached);
  } else if (!text.isEmpty()) {
    painter->drawText(option.rect.adjusted(2, 0, 0, 0),
                      Qt::AlignLeft | Qt::AlignVCenter, text);
  }
  if (option.state & QStyle::State_HasFocus) {
    painter->setPen(QPen(option.palette.text().color(), 1, Qt::DotLine));
    painter->drawRect(option.rect.adjusted(0, 0, -1, -1));
  }
}

bool HexCellDelegate::eventFilter(QObject* object, QEvent* event) {
  auto* line = qobject_cast<QLineEdit*>(object);
  if (line && event->type() == QEvent::KeyPress) {
    auto* key = static_cast<QKeyEvent*>(event);
    switch (ClassifyKey(*key, true, grid_->editor())) {
      case KeyVerdict::kCommit:
        grid_->CommitCurrentCell(line->text());
        return true;
      case KeyVerdict::kDrop:
        return true;
      case KeyVerdict::kPass:
        break;
    }
  }
  return QStyledItemDelegate::eventFilter(object, event);
}

}  // namespace taktm
