// The application's standard error report: a critical message box captioned
// with the application's title.
#ifndef TAKT_WIDGETS_ERROR_REPORT_H_
#define TAKT_WIDGETS_ERROR_REPORT_H_

#include <QString>
#include <functional>

class QWidget;

namespace taktm {

// Shows the message with the final-period rule applied. Modal.
void ShowErrorReport(QWidget* parent, const QString& message);

// Receives the text exactly as the box would show it. Tests (and anything
// that must not block) install one; an empty reporter restores the box.
using ErrorReporter =
    std::function<void(QWidget* parent, const QString& shown_text)>;
// Returns the reporter that was installed before.
ErrorReporter SetErrorReporter(ErrorReporter reporter);

}  // namespace taktm

#endif  // TAKT_WIDGETS_ERROR_REPORT_H_
