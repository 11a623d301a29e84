#include "cli/port_probe.h"

#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <memory>

#include "cli/port_listing.h"
#include "config/parity.h"
#include "link/comm32.h"
#include "session/port_session.h"

#ifndef Q_OS_WIN
#include <glob.h>
#endif

namespace taktm {
namespace {

struct Probe {
  std::string port;
  TComm32 comm;
  std::unique_ptr<NameProbe> probe;
  bool failed = false;
  bool decided() const { return failed || probe->device().has_value(); }
};

}  // namespace

std::vector<std::string> ProbeCandidates(const std::string& pattern) {
  std::vector<std::string> names;
  for (const SerialPortEntry& port : ListSerialPorts()) {
    if (pattern.empty() || MatchesShellPattern(pattern, port.location) ||
        MatchesShellPattern(pattern, port.name)) {
      names.push_back(port.location);
    }
  }
#ifndef Q_OS_WIN
  if (!pattern.empty()) {
    glob_t found{};
    if (::glob(pattern.c_str(), 0, nullptr, &found) == 0) {
      for (size_t i = 0; i < found.gl_pathc; ++i) {
        names.emplace_back(found.gl_pathv[i]);
      }
    }
    ::globfree(&found);
  }
#endif
  std::sort(names.begin(), names.end());
  names.erase(std::unique(names.begin(), names.end()), names.end());
  return names;
}

std::vector<ProbeAnswer> ProbePorts(const std::vector<std::string>& ports,
                                    const PortSettings& line, int deadline_ms) {
  QEventLoop loop;
  std::vector<std::unique_ptr<Probe>> probes;
  auto all_decided = [&probes] {
    return std::all_of(probes.begin(), probes.end(),
                       [](const auto& p) { return p->decided(); });
  };
  auto check = [&] {
    if (all_decided()) loop.quit();
  };
  for (const std::string& name : ports) {
    auto p = std::make_unique<Probe>();
    Probe* probe = p.get();
    probe->port = name;
    probe->probe = std::make_unique<NameProbe>(
        [probe](const uint8_t* bytes, uint16_t count) {
          return probe->comm.WriteData(bytes, count);
        });
    probe->comm.SetCommPort(QString::fromStdString(name));
    probe->comm.SetBaudRate(line.baud);
    if (const auto code = ParityCodeForIndex(line.parity_index)) {
      probe->comm.SetParity(static_cast<TParity>(*code));
    }
    probe->comm.SetFlowControl(fcNone);
    probe->comm.OnReceiveData = [probe, &check](const uint8_t* bytes,
                                                uint16_t count) {
      probe->probe->Receive(bytes, count);
      check();
    };
    probe->comm.OnError = [probe, &check](uint32_t) {
      probe->failed = true;
      check();
    };
    try {
      OpenPortWithLines(probe->comm);
    } catch (const ECommsError&) {
      probe->failed = true;  // busy, absent or not ours: no programmer here
    }
    probes.push_back(std::move(p));
  }
  if (!all_decided()) {
    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, &loop, &QEventLoop::quit);
    deadline.start(deadline_ms);
    loop.exec();
  }
  std::vector<ProbeAnswer> answers;
  for (const auto& p : probes) {
    answers.push_back({p->port, p->failed ? std::nullopt : p->probe->device()});
    // Lines down as a finished run leaves them.
    if (p->comm.IsOpen()) {
      p->comm.SetLineSignal(kClearRts);
      p->comm.SetLineSignal(kClearDtr);
    }
  }
  return answers;
}

PortChoice ResolvePort(const std::string& value, const PortSettings& line,
                       int deadline_ms) {
  const PortSpec wanted = ParsePortSpec(value);
  switch (wanted.kind) {
    case PortSpec::Kind::kName:
      return {value, ExitStatus::kOk, {}};
    case PortSpec::Kind::kUsbSerial:
      return ChooseBySerialNumber(wanted.text, ListSerialPorts());
    case PortSpec::Kind::kAuto:
      break;
  }
  return ChooseAnswering(
      value, ProbePorts(ProbeCandidates(wanted.text), line, deadline_ms));
}

PortChoice ResolvePorts(std::vector<std::string>& ports,
                        const PortSettings& line, int deadline_ms) {
  for (size_t i = 0; i < ports.size(); ++i) {
    if (ParsePortSpec(ports[i]).kind == PortSpec::Kind::kName) continue;
    PortChoice choice = ResolvePort(ports[i], line, deadline_ms);
    if (choice.status != ExitStatus::kOk) return choice;
    for (size_t j = 0; j < ports.size(); ++j) {
      if (j != i && ports[j] == choice.port) {
        return {
            {},
            ExitStatus::kUsage,
            "Порт " + choice.port + " указан дважды (--port " + ports[i] + ")"};
      }
    }
    ports[i] = choice.port;
  }
  return {};
}

}  // namespace taktm
