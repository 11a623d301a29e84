// The status bar's "Подробнее…" button: shown while the core holds the
// details of the failed verify the status line reports, it opens a box with
// them (the chunk, the differing bytes, the bits lost and gained, the hint).
// The status line itself keeps its text.
#ifndef TAKT_UI_MISMATCH_BUTTON_H_
#define TAKT_UI_MISMATCH_BUTTON_H_

#include <QMessageBox>
#include <QPointer>
#include <QToolButton>
#include <optional>

#include "programming/outcome.h"

namespace taktm {

class MismatchButton : public QToolButton {
 public:
  explicit MismatchButton(QWidget* parent);

  // Shows the button for these details, hides it when there are none.
  void Render(const std::optional<MismatchDetails>& details);
  // The box the last click opened, while it is open.
  QMessageBox* box() const { return box_; }

 private:
  void ShowBox();

  std::optional<MismatchDetails> details_;
  QPointer<QMessageBox> box_;
};

}  // namespace taktm

#endif  // TAKT_UI_MISMATCH_BUTTON_H_
