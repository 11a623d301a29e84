// Where the hex grid sits in its group box and how wide its columns are.
// Pure arithmetic so that the numbers can be checked without a window.
#ifndef TAKT_BUFFER_GRID_GEOMETRY_H_
#define TAKT_BUFFER_GRID_GEOMETRY_H_

namespace taktm {

inline constexpr int kGridRowHeight = 15;  // header row included
inline constexpr int kRowLabelWidth = 32;  // column 0
inline constexpr int kGridLineWidth = 1;
// Room for the vertical scroll bar and the borders.
inline constexpr int kScrollBarAllowance = 17;

// Widths and heights are those of a cell without its grid line; each cell
// is followed by a 1-pixel line, so the pitch from one cell to the next is
// one more.
struct GridGeometry {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
  int row_height = 0;
  int label_width = 0;
  int data_column_width = 0;

  int row_pitch() const { return row_height + kGridLineWidth; }
  int label_pitch() const { return label_width + kGridLineWidth; }
  int data_column_pitch() const { return data_column_width + kGridLineWidth; }
};

// The grid inside a group box of the given outer size: at (5, 15), the box
// less 10 by less 20, data columns (width - 17 - 32) div 16 - 1 wide (the
// division truncates toward zero), so that the sixteen columns and their
// lines take (width - 49) div 16 each.
GridGeometry FormatGridGeometry(int box_width, int box_height);

}  // namespace taktm

#endif  // TAKT_BUFFER_GRID_GEOMETRY_H_
