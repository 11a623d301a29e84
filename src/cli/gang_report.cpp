#include "cli/gang_report.h"

#include <algorithm>

#include "cli/port_report.h"

namespace taktm {

ExitStatus WorstStatus(const std::vector<ExitStatus>& statuses) {
  ExitStatus worst = ExitStatus::kOk;
  for (const ExitStatus s : statuses) {
    if (static_cast<int>(s) > static_cast<int>(worst)) worst = s;
  }
  return worst;
}

std::string SecondsText(int64_t ms) {
  const int64_t tenths = (std::max<int64_t>(ms, 0) + 50) / 100;
  return std::to_string(tenths / 10) + "," + std::to_string(tenths % 10) + " с";
}

std::string PortResultLine(const PortResult& r, bool serials) {
  std::string line =
      r.port + "\t" + (r.chip.empty() ? "-" : r.chip) + "\t" +
      ExitStatusName(r.status) + "\t" + std::to_string(r.bytes_done) + "/" +
      std::to_string(r.bytes_total) + " байт\t" + SecondsText(r.ms);
  if (serials) {
    line += "\t";
    if (!r.serial) {
      line += "-";
    } else {
      line += "№ " + (r.serial_text.empty() ? std::to_string(*r.serial)
                                            : r.serial_text);
      if (r.status != ExitStatus::kOk) line += " не использован";
    }
  }
  if (!r.message.empty()) line += "\t" + r.message;
  return line;
}

std::string GangSummary(const std::vector<PortResult>& results) {
  std::vector<ExitStatus> statuses;
  for (const PortResult& r : results) statuses.push_back(r.status);
  const auto ok = std::count(statuses.begin(), statuses.end(), ExitStatus::kOk);
  const ExitStatus worst = WorstStatus(statuses);
  std::string text = "Итого: успешно " + std::to_string(ok) + " из " +
                     std::to_string(results.size());
  if (worst != ExitStatus::kOk) {
    text += "; код выхода " + std::to_string(static_cast<int>(worst)) + " (" +
            ExitStatusName(worst) + ")";
  }
  return text;
}

std::string GangJson(const std::vector<PortResult>& results) {
  std::string array;
  for (const PortResult& r : results) {
    if (!array.empty()) array += ',';
    array += PortJson(r, true).Text();
  }
  return "[" + array + "]";
}

}  // namespace taktm
