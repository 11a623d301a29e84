#include "cli/ports_command.h"

#include <optional>
#include <string>
#include <vector>

#include "cli/port_listing.h"
#include "cli/port_probe.h"
#include "cli/port_report.h"

namespace taktm {

PortResult ListPorts(const CliOptions& options, const StoredSettings& settings,
                     const CliStreams& streams) {
  PortResult result;
  result.facts.Add("command", EntryOf(CliCommand::kPorts).name);
  const std::vector<SerialPortEntry> ports = ListSerialPorts();
  // --probe: which ports a programmer answers on, asked all at once.
  std::vector<ProbeAnswer> answers;
  if (options.probe) {
    std::vector<std::string> locations;
    for (const SerialPortEntry& port : ports) {
      locations.push_back(port.location);
    }
    answers = ProbePorts(locations, settings.port, options.probe_ms);
  }
  std::vector<JsonObject> list;
  for (size_t i = 0; i < ports.size(); ++i) {
    const SerialPortEntry& port = ports[i];
    const std::optional<std::string> device =
        i < answers.size() ? answers[i].device : std::nullopt;
    result.lines.push_back(PortLine(port) +
                           (options.probe ? "\t" + device.value_or("-") : ""));
    JsonObject o;
    o.Add("name", port.name).Add("location", port.location);
    if (device) o.Add("programmer", *device);
    if (!port.description.empty()) o.Add("description", port.description);
    if (!port.manufacturer.empty()) o.Add("manufacturer", port.manufacturer);
    if (!port.serial_number.empty()) {
      o.Add("serial_number", port.serial_number);
    }
    if (port.vendor_id) o.Add("vendor_id", UsbIdText(*port.vendor_id));
    if (port.product_id) o.Add("product_id", UsbIdText(*port.product_id));
    list.push_back(o);
  }
  if (ports.empty() && !options.quiet && !options.json) {
    streams.err << "takt-m-cli: последовательных портов не найдено\n";
  }
  result.facts.Add("ports", list);
  result.warnings = settings.problems;
  return result;
}

ExitStatus RunPortsCommand(const CliOptions& options,
                           const StoredSettings& settings,
                           const CliStreams& streams) {
  const PortResult result = ListPorts(options, settings, streams);
  PrintPortResult(result, options, streams.out, streams.err);
  streams.out.flush();
  return result.status;
}

}  // namespace taktm
