#include "ui/mismatch_button.h"

#include <string>

#include "programming/mismatch_details.h"

namespace taktm {

MismatchButton::MismatchButton(QWidget* parent) : QToolButton(parent) {
  setText(QStringLiteral("Подробнее…"));
  setToolTip(QStringLiteral("Байты блока, не прошедшего сверку"));
  setAutoRaise(true);
  setFocusPolicy(Qt::NoFocus);
  hide();
  connect(this, &QToolButton::clicked, this, [this] { ShowBox(); });
}

void MismatchButton::Render(const std::optional<MismatchDetails>& details) {
  details_ = details;
  setVisible(details_.has_value());
}

// Not modal: the link and the window go on while the user reads.
void MismatchButton::ShowBox() {
  if (!details_) return;
  std::string text;
  for (const std::string& line : MismatchLines(*details_)) {
    if (!text.empty()) text += '\n';
    text += line;
  }
  if (box_ != nullptr) box_->close();
  box_ = new QMessageBox(
      QMessageBox::Information, QStringLiteral("Подробности сверки"),
      QString::fromStdString(text), QMessageBox::Ok, window());
  box_->setAttribute(Qt::WA_DeleteOnClose);
  box_->setWindowModality(Qt::NonModal);
  box_->show();
}

}  // namespace taktm
