#include "cli/port_report.h"

#include <algorithm>

namespace taktm {

std::string OneLine(std::string text) {
  for (char& c : text) {
    if (c == '\n') c = ' ';
  }
  text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
  return text;
}

JsonObject PortJson(const PortResult& r, bool in_gang) {
  JsonObject json = r.facts;
  if (r.serial) {
    if (r.serial_text.empty()) {
      json.AddRaw("serial", std::to_string(*r.serial));
    } else {
      json.Add("serial", r.serial_text);
    }
    json.AddBool("serial_used", r.status == ExitStatus::kOk);
  }
  if (in_gang) json.AddNumber("duration_ms", r.ms);
  json.Add("status", ExitStatusName(r.status))
      .AddNumber("exit", static_cast<int>(r.status));
  if (!r.failure.empty()) json.Add("message", r.message);
  if (!r.warnings.empty()) json.Add("warnings", r.warnings);
  json.AddNumber("first_frame_ms", r.first_frame_ms);
  return json;
}

void PrintPortResult(const PortResult& r, const CliOptions& options,
                     std::ostream& out, std::ostream& err) {
  if (options.json) {
    out << PortJson(r, false).Text() << '\n';
    return;
  }
  if (!options.quiet) {
    for (const std::string& line : r.lines) out << line << '\n';
  }
  if (r.status != ExitStatus::kOk && !r.failure.empty()) {
    err << "takt-m-cli: " << OneLine(r.failure) << '\n';
    if (!r.detail.empty()) err << "takt-m-cli: " << OneLine(r.detail) << '\n';
  }
}

}  // namespace taktm
