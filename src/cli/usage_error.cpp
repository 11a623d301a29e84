#include "cli/usage_error.h"

#include "cli/json_text.h"
#include "cli/run_verdict.h"

namespace taktm {

std::string UsageErrorJson(const std::string& message) {
  JsonObject o;
  o.Add("status", ExitStatusName(ExitStatus::kUsage))
      .AddNumber("exit", static_cast<int>(ExitStatus::kUsage))
      .Add("message", message);
  return o.Text();
}

}  // namespace taktm
