#include "session/app_core.h"

namespace taktm {

AppCore::AppCore(AppHost& host)
    : host_(host),
      editor_(buffer_, *this),
      working_file_(editor_, *this),
      queue_(queue_host_),
      programmer_(queue_, buffer_, *this),
      parser_(queue_, host, programmer_) {}

void AppCore::QueueHost::ShowRetryWarning(const std::string& text) {
  core_.programmer_.ReportRetryLimit(core_.queue_.LimitAfterForeignReply());
  core_.host_.ShowRetryWarning(text);
}

ReloadResult AppCore::ReloadWorkingFile() {
  ReloadOutcome outcome = working_file_.ReloadFile();
  return {outcome.loaded, std::move(outcome.why)};
}

}  // namespace taktm
