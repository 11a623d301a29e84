#include "buffer/hex_grid_model.h"

#include <algorithm>
#include <climits>

namespace taktm {

namespace {

int DataRowsFor(const BufferEditor& editor) {
  return static_cast<int>(
      std::min<size_t>(editor.row_count() - 1, static_cast<size_t>(INT_MAX)));
}

}  // namespace

HexGridModel::HexGridModel(BufferEditor& editor, QObject* parent)
    : QAbstractTableModel(parent),
      editor_(editor),
      rows_(DataRowsFor(editor)) {}

int HexGridModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : rows_;
}

int HexGridModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : kBytesPerRow;
}

QVariant HexGridModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid()) return QVariant();
  if (role == Qt::DisplayRole || role == Qt::EditRole) {
    ++text_requests_;
    return QString::fromStdString(
        editor_.CellText(static_cast<size_t>(index.column()) + 1,
                         static_cast<size_t>(index.row()) + 1));
  }
  return QVariant();
}

QVariant HexGridModel::headerData(int section, Qt::Orientation,
                                  int role) const {
  if (role == Qt::DisplayRole) {
    return QString::fromStdString(HexLabel(static_cast<size_t>(section)));
  }
  if (role == Qt::BackgroundRole) return kFixedCellColour;
  return QVariant();
}

Qt::ItemFlags HexGridModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsEditable;
}

void HexGridModel::SyncRowCount() {
  const int rows = DataRowsFor(editor_);
  if (rows > rows_) {
    beginInsertRows(QModelIndex(), rows_, rows - 1);
    rows_ = rows;
    endInsertRows();
  } else if (rows < rows_) {
    beginRemoveRows(QModelIndex(), rows, rows_ - 1);
    rows_ = rows;
    endRemoveRows();
  }
}

}  // namespace taktm
