#include "buffer/hex_grid.h"

#include <QAbstractButton>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QScrollBar>
#include <algorithm>

#include "buffer/hex_cell_delegate.h"
#include "buffer/hex_grid_model.h"

namespace taktm {

namespace {

// Only the headers and the corner carry the style sheet: a style sheet on
// the view itself would route the painting of every cell through it.
constexpr char kHeaderStyle[] =
    "QHeaderView::section { background-color: rgb(255, 255, 166);"
    " color: black; padding: 0px 0px 0px 2px; border: none;"
    " border-right: 1px solid #a0a0a0; border-bottom: 1px solid #a0a0a0; }";
constexpr char kCornerStyle[] =
    "background-color: rgb(255, 255, 166); border: none;"
    " border-right: 1px solid #a0a0a0; border-bottom: 1px solid #a0a0a0;";

}  // namespace

KeyVerdict ClassifyKey(const QKeyEvent& event, bool in_editor,
                       BufferEditor& editor) {
  switch (event.key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
      return KeyVerdict::kCommit;
    case Qt::Key_Escape:
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
      return KeyVerdict::kPass;
    case Qt::Key_Delete:
      return in_editor ? KeyVerdict::kPass : KeyVerdict::kDrop;
    default:
      break;
  }
  if (event.modifiers() & (Qt::ControlModifier | Qt::AltModifier)) {
    return event.matches(QKeySequence::Copy) ||
                   event.matches(QKeySequence::SelectAll) ||
                   event.text().isEmpty()
               ? KeyVerdict::kPass
               : KeyVerdict::kDrop;
  }
  const QString text = event.text();
  if (text.isEmpty()) return KeyVerdict::kPass;
  const QList<uint> chars = text.toUcs4();
  if (chars.size() != 1) return KeyVerdict::kDrop;
  const KeyPressResult r = editor.StringGrid1KeyPress(
      static_cast<char32_t>(chars[0]), GridCell{}, std::string_view());
  return r.pass ? KeyVerdict::kPass : KeyVerdict::kDrop;
}

HexGrid::HexGrid(QGroupBox* parent, BufferEditor& editor)
    : QTableView(parent),
      editor_(editor),
      model_(new HexGridModel(editor, this)),
      delegate_(new HexCellDelegate(this)) {
  setModel(model_);
  setItemDelegate(delegate_);
  horizontalHeader()->setStyleSheet(kHeaderStyle);
  verticalHeader()->setStyleSheet(kHeaderStyle);
  // The corner cell above the row labels is the view's only button.
  if (auto* corner = findChild<QAbstractButton*>()) {
    corner->setStyleSheet(kCornerStyle);
  }

  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
  setSelectionMode(QAbstractItemView::ExtendedSelection);
  setSelectionBehavior(QAbstractItemView::SelectItems);
  setEditTriggers(QAbstractItemView::DoubleClicked |
                  QAbstractItemView::EditKeyPressed |
                  QAbstractItemView::AnyKeyPressed);
  setShowGrid(true);
  setWordWrap(false);
  setTextElideMode(Qt::ElideNone);
  setTabKeyNavigation(false);
  setCornerButtonEnabled(false);

  for (QHeaderView* header : {horizontalHeader(), verticalHeader()}) {
    header->setMinimumSectionSize(0);
    header->setSectionResizeMode(QHeaderView::Fixed);
    header->setSectionsClickable(false);
    header->setHighlightSections(false);
    header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  }
  // Sections hold a cell and the grid line after it: the view draws the
  // line inside the section, the headers their border likewise.
  verticalHeader()->setDefaultSectionSize(kGridRowHeight + kGridLineWidth);
  verticalHeader()->setFixedWidth(kRowLabelWidth + kGridLineWidth);
  horizontalHeader()->setFixedHeight(kGridRowHeight + kGridLineWidth);

  FormatGrid();
  setCurrentIndex(model_->index(0, 0));
  constructed_ = true;
}

void HexGrid::FormatGrid() {
  const QWidget* box = parentWidget();
  geometry_ = box ? FormatGridGeometry(box->width(), box->height())
                  : FormatGridGeometry(width() + 10, height() + 20);
  const QRect rect(geometry_.left, geometry_.top, std::max(geometry_.width, 0),
                   std::max(geometry_.height, 0));
  if (geometry() != rect) setGeometry(rect);
  const int column_width = std::max(geometry_.data_column_pitch(), 0);
  if (horizontalHeader()->defaultSectionSize() != column_width) {
    horizontalHeader()->setDefaultSectionSize(column_width);
    for (int c = 0; c < kBytesPerRow; ++c) setColumnWidth(c, column_width);
  }
  model_->SyncRowCount();
  if (!currentIndex().isValid() && model_->rowCount() > 0) {
    setCurrentIndex(model_->index(0, 0));
  }
  RefreshGrid();
}

GridWindow HexGrid::VisibleWindow() const {
  const int rows = model_->rowCount();
  const int first = rowAt(0);
  if (rows == 0 || first < 0) return GridWindow{1, 0};
  int last = rowAt(std::max(viewport()->height() - 1, 0));
  if (last < 0) last = rows - 1;
  return GridWindow{first + 1, last - first + 1};
}

void HexGrid::RefreshGrid() {
  const GridRefresh refresh = editor_.RefreshGrid(VisibleWindow());
  if (refresh.whole_window) {
    viewport()->update();
    return;
  }
  // One repaint request for the span of changed cells; the event loop
  // paints it once, however many replies arrived meanwhile.
  if (refresh.cells.empty()) return;
  size_t first_row = refresh.cells.front().row, last_row = first_row;
  size_t first_col = refresh.cells.front().col, last_col = first_col;
  for (const GridCell& cell : refresh.cells) {
    first_row = std::min(first_row, cell.row);
    last_row = std::max(last_row, cell.row);
    first_col = std::min(first_col, cell.col);
    last_col = std::max(last_col, cell.col);
  }
  const QRect changed =
      visualRect(model_->index(static_cast<int>(first_row) - 1,
                               static_cast<int>(first_col) - 1)) |
      visualRect(model_->index(static_cast<int>(last_row) - 1,
                               static_cast<int>(last_col) - 1));
  if (!changed.isEmpty()) viewport()->update(changed);
}

GridCell HexGrid::CurrentCell() const {
  const QModelIndex index = currentIndex();
  if (!index.isValid()) return GridCell{};
  return GridCell{static_cast<size_t>(index.column()) + 1,
                  static_cast<size_t>(index.row()) + 1};
}

void HexGrid::SetCurrentCell(GridCell cell) {
  setCurrentIndex(model_->index(static_cast<int>(cell.row) - 1,
                                static_cast<int>(cell.col) - 1));
}

QLineEdit* HexGrid::cell_editor() const {
  // A closed editor lives on until its deferred deletion.
  return state() == EditingState ? delegate_->active_editor() : nullptr;
}

void HexGrid::CommitCurrentCell(const QString& text) {
  if (!currentIndex().isValid()) return;
  const GridCell cell = CurrentCell();
  const KeyPressResult r =
      editor_.StringGrid1KeyPress(kEnterKey, cell, text.toStdString());
  if (QLineEdit* open = cell_editor()) {
    closeEditor(open, QAbstractItemDelegate::NoHint);
  }
  if (r.move_to && !(*r.move_to == cell)) {
    SetCurrentCell(*r.move_to);  // the selection refreshes the grid
  } else {
    editor_.StringGrid1SelectCell(cell);
  }
  // The host routes the refresh here; doing it directly as well keeps the
  // committed cell right even before the main window is wired.
  RefreshGrid();
}

void HexGrid::keyPressEvent(QKeyEvent* event) {
  switch (ClassifyKey(*event, false, editor_)) {
    case KeyVerdict::kCommit:
      CommitCurrentCell(
          model_->data(currentIndex(), Qt::DisplayRole).toString());
      event->accept();
      return;
    case KeyVerdict::kDrop:
      event->accept();
      return;
    case KeyVerdict::kPass:
      QTableView::keyPressEvent(event);
      return;
  }
}

void HexGrid::currentChanged(const QModelIndex& current,
                             const QModelIndex& previous) {
  QTableView::currentChanged(current, previous);
  if (current.isValid() && constructed_) {
    editor_.StringGrid1SelectCell(CurrentCell());
  }
  RefreshGrid();
}

void HexGrid::scrollContentsBy(int dx, int dy) {
  QTableView::scrollContentsBy(dx, dy);
  RefreshGrid();
}

void HexGrid::resizeEvent(QResizeEvent* event) {
  QTableView::resizeEvent(event);
  RefreshGrid();
}

}  // namespace taktm
