// Text rule of the application's standard error report.
#ifndef TAKT_WIDGETS_ERROR_REPORT_TEXT_H_
#define TAKT_WIDGETS_ERROR_REPORT_TEXT_H_

#include <string>
#include <string_view>

namespace taktm {

// The message as the error report shows it (UTF-8): a final "." is added when
// the last character sorts after "." (a digit, a letter, Cyrillic included),
// not after "!", "." or ")".
std::string WithFinalPeriod(std::string_view message);

}  // namespace taktm

#endif  // TAKT_WIDGETS_ERROR_REPORT_TEXT_H_
