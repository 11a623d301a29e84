// The rows of a lock or fuse bits dialog: one per bit as the device numbers
// them, each with the bit's name and whether it is ticked, plus whether the
// dialog is to be shown and whether its "Записать" button is enabled. The
// dialog widget renders this model and forwards the user's ticks to it.
#ifndef TAKT_PROGRAMMING_BIT_ROWS_H_
#define TAKT_PROGRAMMING_BIT_ROWS_H_

#include <string>
#include <vector>

#include "programming/programming_host.h"

namespace taktm {

class BitRows {
 public:
  struct Row {
    std::string caption;
    bool ticked = false;
  };

  BitRows(ProgrammingHost& host, Aspect rows_aspect, Aspect dialog_aspect)
      : host_(host), rows_aspect_(rows_aspect), dialog_aspect_(dialog_aspect) {}
  BitRows(const BitRows&) = delete;
  BitRows& operator=(const BitRows&) = delete;

  // Removes every row; the count becomes 0.
  void ClearRows();
  // Replaces the rows with n unticked rows without captions (n = 0..255).
  void RebuildRows(int n);
  // Both ignore a row index outside the rows.
  void SetRowCaption(int i, std::string text);
  void SetRowTicked(int i, bool ticked);

  // LockBitCount or FuseBitCount: always the number of rows.
  int count() const { return static_cast<int>(rows_.size()); }
  const Row& row(int i) const { return rows_[static_cast<size_t>(i)]; }

  // Counts the rebuilds, so that a view notices one that kept the count.
  int rebuilds() const { return rebuilds_; }

  // Shows the dialog (non-modal) with "Записать" enabled or disabled.
  void Show(bool write_enabled);
  void Hide();
  bool shown() const { return shown_; }
  bool write_enabled() const { return write_enabled_; }
  // Counts the show requests, so that a view raises a dialog already shown.
  int show_requests() const { return show_requests_; }

 private:
  ProgrammingHost& host_;
  const Aspect rows_aspect_;
  const Aspect dialog_aspect_;
  std::vector<Row> rows_;
  int rebuilds_ = 0;
  bool shown_ = false;
  bool write_enabled_ = true;
  int show_requests_ = 0;
};

}  // namespace taktm

#endif  // TAKT_PROGRAMMING_BIT_ROWS_H_
