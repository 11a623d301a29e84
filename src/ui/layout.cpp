#include "ui/layout.h"

#include "buffer/grid_geometry.h"

namespace taktm {

MainLayout ComputeLayout(const LayoutInput& in) {
  const int w = in.client_width;
  const int h = in.client_height;
  const int s = in.status_height;
  const int t = in.toolbar_height;
  const int b = in.toolbar_bottom;
  MainLayout l;

  l.group_file = {5, b + 5, w / 3 - 5, h - s - t - 10};
  const int fw = l.group_file.width;
  const int fh = l.group_file.height;
  l.folder_combo = {5, 15, fw - 10, in.combo_height};
  const int tree_top = l.folder_combo.bottom() + 5;
  l.folder_tree = {5, tree_top, fw - 10, ((fh - tree_top) / 5) * 2 - 10};
  const int list_top = l.folder_tree.bottom() + 5;
  l.file_list = {5, list_top, fw - 10, fh - list_top - 5};

  l.group_chip = {l.group_file.right() + 5, b + 5, w / 5 - 5,
                  ((h - s - t) / 3) * 2 - 10};
  l.chip_list = {5, 15, l.group_chip.width - 10, l.group_chip.height - 20};

  l.group_command = {l.group_file.right() + 5, l.group_chip.bottom() + 5,
                     w / 5 - 5, (h - s - t) / 3 - 5};
  l.operation_list = {5, 15, l.group_command.width - 10,
                      l.group_command.height - 20};

  l.group_data = {l.group_chip.right() + 5, b + 5,
                  w - l.group_chip.right() - 10, h - s - t - 10};
  const GridGeometry grid =
      FormatGridGeometry(l.group_data.width, l.group_data.height);
  l.grid = {grid.left, grid.top, grid.width, grid.height};
  l.grid_column_width = grid.data_column_width;
  return l;
}

}  // namespace taktm
