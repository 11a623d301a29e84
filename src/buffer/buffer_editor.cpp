#include "buffer/buffer_editor.h"

#include <utility>

namespace taktm {

void BufferEditor::ResizeBuffer(size_t n) {
  buffer_.Resize(n);
  FormatGrid();
}

StreamLoad BufferEditor::LoadBufferFromStream(std::istream& stream) {
  stream.clear();
  stream.seekg(0, std::ios::end);
  const std::streamoff end = stream.tellg();
  std::vector<uint8_t> bytes;
  if (end >= 0) {
    if (static_cast<uint64_t>(end) >= kBufferLimit) {
      host_.ShowWarning(kTooLongWarning);
      return StreamLoad::kTooLarge;
    }
    bytes.resize(static_cast<size_t>(end));
    stream.seekg(0, std::ios::beg);
    stream.read(reinterpret_cast<char*>(bytes.data()),
                static_cast<std::streamsize>(bytes.size()));
    if (static_cast<size_t>(stream.gcount()) != bytes.size()) {
      return StreamLoad::kReadError;
    }
  } else {
    // Not seekable: read to the end, but never more than the limit.
    stream.clear();
    char chunk[4096];
    while (stream.read(chunk, sizeof(chunk)) || stream.gcount() > 0) {
      bytes.insert(bytes.end(), chunk, chunk + stream.gcount());
      if (bytes.size() >= kBufferLimit) {
        host_.ShowWarning(kTooLongWarning);
        return StreamLoad::kTooLarge;
      }
    }
    if (stream.bad()) return StreamLoad::kReadError;
  }
  return LoadBufferFromImage(std::move(bytes));
}

StreamLoad BufferEditor::LoadBufferFromStream(const uint8_t* bytes,
                                              size_t size) {
  if (size >= kBufferLimit) {
    host_.ShowWarning(kTooLongWarning);
    return StreamLoad::kTooLarge;
  }
  return LoadBufferFromImage(std::vector<uint8_t>(bytes, bytes + size));
}

StreamLoad BufferEditor::LoadBufferFromImage(std::vector<uint8_t> image,
                                             size_t origin) {
  if (image.size() >= kBufferLimit) {
    host_.ShowWarning(kTooLongWarning);
    return StreamLoad::kTooLarge;
  }
  buffer_.Assign(std::move(image), origin);
  FormatGrid();
  return StreamLoad::kLoaded;
}

void BufferEditor::EmptyBuffer() {
  buffer_.Clear();
  FormatGrid();
}

void BufferEditor::FormatGrid() {
  InvalidateRefreshCache();
  host_.GridNeedsLayout();
}

int BufferEditor::CellValue(size_t col, size_t row) const {
  const size_t i = (row - 1) * kBytesPerRow + (col - 1);
  return i < buffer_.size() ? buffer_.at(i) : -1;
}

GridRefresh BufferEditor::RefreshGrid(GridWindow window) {
  GridRefresh refresh;
  if (cache_ == window) return refresh;
  cache_ = window;
  if (window.top < 1 || window.count < 0) {
    shadow_window_ = GridWindow{};
    shadow_.clear();
    refresh.whole_window = true;
    return refresh;
  }
  const size_t top = static_cast<size_t>(window.top);
  const size_t count = static_cast<size_t>(window.count);
  if (!(shadow_window_ == window)) {
    shadow_window_ = window;
    shadow_.resize(count * kBytesPerRow);
    for (size_t r = 0; r < count; ++r) {
      for (size_t c = 1; c <= kBytesPerRow; ++c) {
        shadow_[r * kBytesPerRow + c - 1] =
            static_cast<int16_t>(CellValue(c, top + r));
      }
    }
    refresh.whole_window = true;
    return refresh;
  }
  for (size_t r = 0; r < count; ++r) {
    for (size_t c = 1; c <= kBytesPerRow; ++c) {
      const int16_t value = static_cast<int16_t>(CellValue(c, top + r));
      int16_t& shown = shadow_[r * kBytesPerRow + c - 1];
      if (shown != value) {
        shown = value;
        refresh.cells.push_back(GridCell{c, top + r});
      }
    }
  }
  return refresh;
}

void BufferEditor::StringGrid1SelectCell(GridCell) {
  InvalidateRefreshCache();
  host_.GridNeedsRefresh();
}

KeyPressResult BufferEditor::StringGrid1KeyPress(char32_t key, GridCell current,
                                                 std::string_view cell_text) {
  KeyPressResult result;
  if (key == kEnterKey && current.row >= 1 && current.col >= 1 &&
      current.col <= kBytesPerRow) {
    const size_t i = (current.row - 1) * kBytesPerRow + (current.col - 1);
    const std::optional<uint32_t> value = HexTextToInt(cell_text);
    if (value && i < buffer_.size()) {
      buffer_.Set(i, static_cast<uint8_t>(*value & 0xFF));
      buffer_.set_modified(true);
      result.committed = true;
    }
    GridCell next = current;
    if (current.col + 1 < kGridColumns) {
      next.col = current.col + 1;
    } else {
      next.col = 1;
      if (current.row + 1 < row_count()) next.row = current.row + 1;
    }
    result.move_to = next;
  }
  result.pass = HexDigitValue(key) >= 0;
  return result;
}

std::string BufferEditor::CellText(size_t col, size_t row) const {
  if (row == 0) return col == 0 ? std::string() : HexLabel(col - 1);
  if (col == 0) return HexLabel(row - 1);
  const int value = CellValue(col, row);
  return value < 0 ? std::string() : ByteToHexText(static_cast<uint8_t>(value));
}

}  // namespace taktm
