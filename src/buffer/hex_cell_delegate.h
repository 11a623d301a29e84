// Paints the hex grid's cells and gives them their in-place editor: at most
// two hex digits, where only Enter commits (through the grid) and leaving the
// cell any other way stores nothing.
#ifndef TAKT_BUFFER_HEX_CELL_DELEGATE_H_
#define TAKT_BUFFER_HEX_CELL_DELEGATE_H_

#include <QLineEdit>
#include <QPointer>
#include <QStaticText>
#include <QStyledItemDelegate>
#include <array>

namespace taktm {

class HexGrid;

class HexCellDelegate : public QStyledItemDelegate {
  Q_OBJECT

 public:
  explicit HexCellDelegate(HexGrid* grid);

  QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                        const QModelIndex& index) const override;
  void setEditorData(QWidget* editor, const QModelIndex& index) const override;
  // Deliberately empty: the view calls it whenever an editor loses the cell
  // (arrow keys, a click elsewhere, focus going away), and none of those
  // may store anything.
  void setModelData(QWidget* editor, QAbstractItemModel* model,
                    const QModelIndex& index) const override;
  void updateEditorGeometry(QWidget* editor, const QStyleOptionViewItem& option,
                            const QModelIndex& index) const override;
  // Plain text, never elided, without the style's margins: at most two
  // pixels in from the left and less when the font's widest pair needs the
  // room, so that two digits fit a 17-pixel column beside its grid line.
  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override;

  // The open cell editor, or nullptr.
  QLineEdit* active_editor() const { return editor_.data(); }

 protected:
  // The key filter of the cell editor.
  bool eventFilter(QObject* object, QEvent* event) override;

 private:
  HexGrid* grid_;
  mutable QPointer<QLineEdit> editor_;
  // The 256 two-digit texts, laid out once: a cell is then one glyph run.
  mutable std::array<QStaticText, 256> byte_texts_;
  mutable QFont byte_font_;
  mutable int widest_text_ = 0;  // the widest of them, in whole pixels

  static constexpr int kMaxTextIndent = 2;

  // Lays the 256 texts out again when the font changed.
  void PrepareTexts(const QFont& font) const;
  // How far in from a cell's left edge the digits start in a cell of the
  // given width, with the font of the last paint.
  int TextIndent(int cell_width) const;
};

}  // namespace taktm

#endif  // TAKT_BUFFER_HEX_CELL_DELEGATE_H_
