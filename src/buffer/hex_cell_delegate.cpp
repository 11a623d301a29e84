#include "buffer/hex_cell_delegate.h"

#include <QKeyEvent>
#include <QPainter>
#include <QRegularExpressionValidator>
#include <algorithm>
#include <cmath>

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

void HexCellDelegate::PrepareTexts(const QFont& font) const {
  if (byte_font_ == font && widest_text_ > 0) return;
  byte_font_ = font;
  widest_text_ = 0;
  for (size_t b = 0; b < byte_texts_.size(); ++b) {
    QStaticText& t = byte_texts_[b];
    t = QStaticText(
        QString::fromStdString(ByteToHexText(static_cast<uint8_t>(b))));
    t.setTextFormat(Qt::PlainText);
    t.prepare(QTransform(), font);
    widest_text_ =
        std::max(widest_text_, static_cast<int>(std::ceil(t.size().width())));
  }
}

int HexCellDelegate::TextIndent(int cell_width) const {
  return std::clamp((cell_width - widest_text_) / 2, 0, kMaxTextIndent);
}

void HexCellDelegate::paint(QPainter* painter,
                            const QStyleOptionViewItem& option,
                            const QModelIndex& index) const {
  const bool selected = option.state & QStyle::State_Selected;
  if (selected) painter->fillRect(option.rect, option.palette.highlight());
  painter->setPen(selected ? option.palette.highlightedText().color()
                           : option.palette.text().color());
  painter->setFont(option.font);
  PrepareTexts(option.font);
  // The style's text margins would push the second digit onto the grid
  // line: the text goes straight into the cell's own pixels.
  const int left = option.rect.left() + TextIndent(option.rect.width());
  const QString text = index.data(Qt::DisplayRole).toString();
  const std::optional<uint32_t> value =
      text.size() == 2 ? HexTextToInt(text.toStdString()) : std::nullopt;
  if (value) {
    const QStaticText& cached = byte_texts_[*value & 0xFF];
    const int y =
        option.rect.top() +
        (option.rect.height() - static_cast<int>(cached.size().height())) / 2;
    painter->drawStaticText(left, y, cached);
  } else if (!text.isEmpty()) {
    painter->drawText(
        QRect(left, option.rect.top(), option.rect.right() - left + 1,
              option.rect.height()),
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
