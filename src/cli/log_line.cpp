#include "cli/log_line.h"

#include <cstdio>

#include "cli/json_text.h"
#include "cli/mismatch_report.h"
#include "cli/serial_text.h"
#include "link/memory_command.h"

namespace taktm {
namespace {

// The number, or its text under a template.
void AddSerial(JsonObject& o, const ChipRecord& r) {
  const std::string text =
      r.serial_template.empty()
          ? std::string()
          : SerialTemplateText(r.serial_template, *r.serial);
  if (text.empty()) {
    o.AddRaw("serial", std::to_string(*r.serial));
  } else {
    o.Add("serial", text);
  }
}

}  // namespace

std::string UtcTimeText(std::chrono::system_clock::time_point time) {
  using std::chrono::duration_cast;
  using std::chrono::milliseconds;
  const int64_t ms =
      duration_cast<milliseconds>(time.time_since_epoch()).count();
  int64_t seconds = ms / 1000;
  int64_t rest = ms % 1000;
  if (rest < 0) {
    rest += 1000;
    --seconds;
  }
  // Days since 1970-01-01 to a civil date (proleptic Gregorian calendar),
  // so that no time zone or locale of the machine has a say.
  int64_t days = seconds / 86400;
  int64_t of_day = seconds % 86400;
  if (of_day < 0) {
    of_day += 86400;
    --days;
  }
  const int64_t z = days + 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  const int64_t day = doy - (153 * mp + 2) / 5 + 1;
  const int64_t month = mp < 10 ? mp + 3 : mp - 9;
  const int64_t year = yoe + era * 400 + (month <= 2 ? 1 : 0);
  char text[96];
  std::snprintf(
      text, sizeof text, "%04lld-%02lld-%02lldT%02lld:%02lld:%02lld.%03lldZ",
      static_cast<long long>(year), static_cast<long long>(month),
      static_cast<long long>(day), static_cast<long long>(of_day / 3600),
      static_cast<long long>(of_day / 60 % 60),
      static_cast<long long>(of_day % 60), static_cast<long long>(rest));
  return text;
}

std::string ChipRecordLine(const ChipRecord& r) {
  JsonObject o;
  o.Add("time", UtcTimeText(r.time)).Add("port", r.port);
  if (!r.device.empty()) o.Add("device", r.device);
  if (!r.chip.empty()) o.Add("chip", r.chip);
  o.Add("command", r.command);
  if (r.images.empty()) {
    if (!r.file.empty()) o.Add("file", r.file);
    if (!r.sha256.empty()) o.Add("sha256", r.sha256);
  } else {
    std::vector<JsonObject> images;
    for (const ChipRecord::Image& image : r.images) {
      JsonObject i;
      i.Add("memory", image.memory).Add("file", image.file);
      if (!image.sha256.empty()) i.Add("sha256", image.sha256);
      images.push_back(i);
    }
    o.Add("images", images);
  }
  if (r.fuses) o.Add("fuses", *r.fuses);
  if (r.locks) o.Add("locks", *r.locks);
  if (r.started) {
    if (r.serial) AddSerial(o, r);
    return o.Add("status", "started").Text() + "\n";
  }
  if (r.serials) {
    if (r.serial) {
      AddSerial(o, r);
      o.AddBool("serial_used", r.status == ExitStatus::kOk);
      if (r.serial_sent) o.AddBool("serial_sent", *r.serial_sent);
    } else {
      o.AddRaw("serial", "null");
    }
  }
  o.Add("status", ExitStatusName(r.status))
      .AddNumber("exit", static_cast<int>(r.status));
  if (!r.signal.empty()) o.Add("signal", r.signal);
  if (!r.step.empty()) o.Add("step", r.step);
  if (r.address) {
    o.AddNumber("address", *r.address).Add("address_hex", Hex(*r.address));
  }
  // A member readers of older lines pass over.
  if (r.mismatch) o.Add("mismatches", MismatchJson(*r.mismatch));
  if (!r.message.empty()) o.Add("message", r.message);
  o.AddNumber("bytes", static_cast<int64_t>(r.bytes))
      .AddNumber("duration_ms", r.duration_ms);
  return o.Text() + "\n";
}

}  // namespace taktm
