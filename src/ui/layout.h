// The main window's proportional layout as a pure function: the file browser
// takes the left third, the chip and operation lists the next fifth (two
// thirds and one third of the height), the hex grid the rest, with 5-pixel
// gaps.
#ifndef TAKT_UI_LAYOUT_H_
#define TAKT_UI_LAYOUT_H_

namespace taktm {

struct Rect {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
  int right() const { return left + width; }
  int bottom() const { return top + height; }
  bool operator==(const Rect&) const = default;
};

struct LayoutInput {
  int client_width = 0;    // W
  int client_height = 0;   // H
  int status_height = 0;   // S
  int toolbar_height = 0;  // T
  int toolbar_bottom = 0;  // B
  int combo_height = 22;   // the folder combo box's own height
};

struct MainLayout {
  Rect group_file;    // "Файл"
  Rect folder_combo;  // inside "Файл"
  Rect folder_tree;
  Rect file_list;
  Rect group_chip;            // "Микросхема"
  Rect chip_list;             // inside "Микросхема"
  Rect group_command;         // "Команда"
  Rect operation_list;        // inside "Команда"
  Rect group_data;            // "Данные"
  Rect grid;                  // inside "Данные"
  int grid_column_width = 0;  // data columns 1..16
};

MainLayout ComputeLayout(const LayoutInput& in);

}  // namespace taktm

#endif  // TAKT_UI_LAYOUT_H_
