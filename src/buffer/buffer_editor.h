// BufferEditor: the grid logic over the DataBuffer. It sizes and loads the
// buffer, says which rows the hex grid has and what each cell shows, keeps
// the refresh cache that limits repainting to cells whose text changed, and
// applies the cell-commit rules of the grid's key filter. The widget that
// draws the grid (HexGrid) asks it everything and decides nothing.
#ifndef TAKT_BUFFER_BUFFER_EDITOR_H_
#define TAKT_BUFFER_BUFFER_EDITOR_H_

#include <cstddef>
#include <cstdint>
#include <istream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "buffer/buffer_host.h"
#include "buffer/data_buffer.h"
#include "buffer/grid_text.h"

namespace taktm {

// The cell editor takes at most this many characters.
inline constexpr int kCellEditMaxLength = 2;
inline constexpr char32_t kEnterKey = 13;

// A grid cell; row 0 and column 0 are the headers, data cells start at (1, 1).
struct GridCell {
  size_t col = 1;
  size_t row = 1;
  bool operator==(const GridCell&) const = default;
};

// The rows the grid shows: the first visible grid row (1 or more) and how many
// rows are at least partly visible.
struct GridWindow {
  long top = -1;
  long count = -1;
  bool operator==(const GridWindow&) const = default;
};

// What a refresh has to repaint: nothing, every visible row, or single cells.
struct GridRefresh {
  bool whole_window = false;
  std::vector<GridCell> cells;
  bool empty() const { return !whole_window && cells.empty(); }
};

struct KeyPressResult {
  bool pass = false;                // the character goes on to the cell editor
  bool committed = false;           // Enter stored a byte
  std::optional<GridCell> move_to;  // where Enter moves the cursor
};

enum class StreamLoad { kLoaded, kTooLarge, kReadError };

class BufferEditor {
 public:
  BufferEditor(DataBuffer& buffer, BufferHost& host)
      : buffer_(buffer), host_(host) {}
  BufferEditor(const BufferEditor&) = delete;
  BufferEditor& operator=(const BufferEditor&) = delete;

  DataBuffer& buffer() { return buffer_; }
  const DataBuffer& buffer() const { return buffer_; }
  // Grid rows, header included; always GridRowsFor(buffer length).
  size_t row_count() const { return GridRowsFor(buffer_.size()); }

  // New length (new bytes 0), then FormatGrid. No limit: a chip's memory may
  // be larger than any file.
  void ResizeBuffer(size_t n);
  // Replaces the buffer with the whole stream, then FormatGrid. A stream of
  // kBufferLimit bytes or more is refused with kTooLongWarning; a refused or
  // failed read leaves buffer and grid as they were. BufferModified is not
  // touched.
  StreamLoad LoadBufferFromStream(std::istream& stream);
  StreamLoad LoadBufferFromStream(const uint8_t* bytes, size_t size);
  StreamLoad LoadBufferFromImage(std::vector<uint8_t> image, size_t origin = 0);
  // Empties the buffer and shows the two-row empty grid (start of a load).
  void EmptyBuffer();

  // Invalidates the refresh cache and has the grid laid out and refreshed.
  void FormatGrid();
  // What to repaint so that `window` shows the buffer: nothing when the
  // cache holds this window, every row when the window moved, else only the
  // cells whose text changed since the last refresh. Never looks at rows
  // outside the window.
  GridRefresh RefreshGrid(GridWindow window);
  void InvalidateRefreshCache() { cache_ = GridWindow{}; }
  GridWindow refresh_cache() const { return cache_; }
  // A cell was selected: the refresh redraws what the selection left.
  void StringGrid1SelectCell(GridCell cell);

  // The key filter of the grid and its cell editor. Enter commits
  // `cell_text` (the text typed so far, or the text shown) into the byte of
  // `current` and moves the cursor; hex digits pass; every other character
  // is dropped. Enter past the buffer's end stores nothing: the grid never
  // grows the buffer.
  KeyPressResult StringGrid1KeyPress(char32_t key, GridCell current,
                                     std::string_view cell_text);

  // What a cell shows: headers, row labels, two-digit bytes, or empty text
  // past the buffer's end.
  std::string CellText(size_t col, size_t row) const;

 private:
  // The byte a data cell shows, or -1 for an empty cell.
  int CellValue(size_t col, size_t row) const;

  DataBuffer& buffer_;
  BufferHost& host_;
  GridWindow cache_;
  // Values of the cells last drawn for shadow_window_, row by row.
  GridWindow shadow_window_;
  std::vector<int16_t> shadow_;
};

}  // namespace taktm

#endif  // TAKT_BUFFER_BUFFER_EDITOR_H_
