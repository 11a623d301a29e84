#include "widgets/error_report.h"

#include <QGuiApplication>
#include <QMessageBox>
#include <utility>

#include "widgets/error_report_text.h"

namespace taktm {
namespace {

ErrorReporter& InstalledReporter() {
  static ErrorReporter reporter;
  return reporter;
}

}  // namespace

void ShowErrorReport(QWidget* parent, const QString& message) {
  const QString text =
      QString::fromStdString(WithFinalPeriod(message.toStdString()));
  if (const ErrorReporter& reporter = InstalledReporter()) {
    reporter(parent, text);
    return;
  }
  QMessageBox::critical(parent, QGuiApplication::applicationDisplayName(),
                        text);
}

ErrorReporter SetErrorReporter(ErrorReporter reporter) {
  return std::exchange(InstalledReporter(), std::move(reporter));
}

}  // namespace taktm
