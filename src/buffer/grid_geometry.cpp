#include "buffer/grid_geometry.h"

#include "buffer/grid_text.h"

namespace taktm {

GridGeometry FormatGridGeometry(int box_width, int box_height) {
  GridGeometry g;
  g.left = 5;
  g.top = 15;
  g.width = box_width - 10;
  g.height = box_height - 20;
  g.row_height = kGridRowHeight;
  g.label_width = kRowLabelWidth;
  g.data_column_width =
      (g.width - kScrollBarAllowance - kRowLabelWidth) / kBytesPerRow -
      kGridLineWidth;
  return g;
}

}  // namespace taktm
