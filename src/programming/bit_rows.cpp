#include "programming/bit_rows.h"

#include <utility>

namespace taktm {

void BitRows::ClearRows() {
  rows_.clear();
  host_.Changed(rows_aspect_);
}

void BitRows::RebuildRows(int n) {
  rows_.assign(n > 0 ? static_cast<size_t>(n) : 0, Row{});
  ++rebuilds_;
  host_.Changed(rows_aspect_);
}

void BitRows::SetRowCaption(int i, std::string text) {
  if (i < 0 || i >= count()) return;
  rows_[static_cast<size_t>(i)].caption = std::move(text);
  host_.Changed(rows_aspect_);
}

void BitRows::SetRowTicked(int i, bool ticked) {
  if (i < 0 || i >= count()) return;
  rows_[static_cast<size_t>(i)].ticked = ticked;
  host_.Changed(rows_aspect_);
}

void BitRows::Show(bool write_enabled) {
  shown_ = true;
  write_enabled_ = write_enabled;
  ++show_requests_;
  host_.Changed(dialog_aspect_);
}

void BitRows::Hide() {
  if (!shown_) return;
  shown_ = false;
  host_.Changed(dialog_aspect_);
}

}  // namespace taktm
