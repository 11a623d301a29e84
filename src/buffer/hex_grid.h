// HexGrid: the hex grid editor inside the main window's "Данные" group box.
// 17 columns (row labels, then sixteen bytes), a header row, yellow fixed
// cells, two-digit upper-case bytes, a vertical scroll bar only, in-place
// editing with the hex key filter. Everything it shows and every commit goes
// through BufferEditor; it repaints only cells that BufferEditor reports as
// changed in the visible rows.
#ifndef TAKT_BUFFER_HEX_GRID_H_
#define TAKT_BUFFER_HEX_GRID_H_

#include <QGroupBox>
#include <QTableView>

#include "buffer/buffer_editor.h"
#include "buffer/grid_geometry.h"

class QLineEdit;

namespace taktm {

class HexCellDelegate;
class HexGridModel;

class HexGrid : public QTableView {
  Q_OBJECT

 public:
  HexGrid(QGroupBox* parent, BufferEditor& editor);

  // Lays the grid out in its group box (at (5, 15), the box less 10 by less
  // 20, rows 15 high, column 0 32 wide, data columns (width - 49) div 16 - 1
  // wide, each cell followed by its 1-pixel grid line), takes the buffer's
  // row count and refreshes. The main window calls
  // it from BufferHost::GridNeedsLayout and from its own resize handler.
  void FormatGrid();
  // Repaints what BufferEditor says changed in the visible rows; nothing
  // when the visible rows are those of the last refresh and the cache holds.
  // The main window calls it from BufferHost::GridNeedsRefresh.
  void RefreshGrid();

  // The grid rows at least partly in view.
  GridWindow VisibleWindow() const;
  GridCell CurrentCell() const;
  void SetCurrentCell(GridCell cell);
  const GridGeometry& geometry_numbers() const { return geometry_; }
  QLineEdit* cell_editor() const;
  HexGridModel* hex_model() const { return model_; }
  BufferEditor& editor() const { return editor_; }

  // Enter in the grid or in its cell editor: commits `text` to the current
  // cell and moves the cursor as BufferEditor says.
  void CommitCurrentCell(const QString& text);

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void currentChanged(const QModelIndex& current,
                      const QModelIndex& previous) override;
  void scrollContentsBy(int dx, int dy) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  BufferEditor& editor_;
  HexGridModel* model_;
  HexCellDelegate* delegate_;
  GridGeometry geometry_;
  bool constructed_ = false;  // no host calls while the window is being built
};

enum class KeyVerdict { kCommit, kPass, kDrop };

// The key filter shared by the grid and its cell editor. Enter commits;
// navigation, Escape, Tab and the copy and select-all shortcuts pass; of the
// characters only hex digits pass (BufferEditor decides), so Backspace and
// every other control character are dropped; Delete works inside the editor
// only.
KeyVerdict ClassifyKey(const QKeyEvent& event, bool in_editor,
                       BufferEditor& editor);

}  // namespace taktm

#endif  // TAKT_BUFFER_HEX_GRID_H_
