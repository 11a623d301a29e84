#include "ui/app_core.h"

namespace taktm {

AppCore::AppCore(AppHost& host)
    : host_(host),
      editor_(buffer_, host),
      working_file_(editor_, host),
      queue_(host),
      programmer_(queue_, buffer_, *this),
      parser_(queue_, host, programmer_) {}

bool AppCore::LoadFile() {
  return working_file_.LoadFile() == LoadOutcome::kLoaded;
}

}  // namespace taktm
