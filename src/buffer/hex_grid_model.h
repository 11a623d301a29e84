// The hex grid's table model: sixteen byte columns under a header row of
// column digits, with row labels in the vertical header. It answers only for
// the cells the view asks about (those being painted) and holds no copy of
// the buffer; the texts come from BufferEditor.
#ifndef TAKT_BUFFER_HEX_GRID_MODEL_H_
#define TAKT_BUFFER_HEX_GRID_MODEL_H_

#include <QAbstractTableModel>
#include <QColor>

#include "buffer/buffer_editor.h"

namespace taktm {

// The colour of the fixed header cells.
inline const QColor kFixedCellColour(255, 255, 166);

class HexGridModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  explicit HexGridModel(BufferEditor& editor, QObject* parent = nullptr);

  // Model row r is grid row r + 1 and model column c is grid column c + 1:
  // the grid's header row and row-label column are the view's headers.
  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation,
                      int role) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;

  // Brings the row count in line with the buffer's length.
  void SyncRowCount();

  // How many cell texts the view has asked for; shows that painting touches
  // only the visible rows.
  size_t text_requests() const { return text_requests_; }

 private:
  BufferEditor& editor_;
  int rows_;
  mutable size_t text_requests_ = 0;
};

}  // namespace taktm

#endif  // TAKT_BUFFER_HEX_GRID_MODEL_H_
