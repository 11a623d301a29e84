// takt-m-cli: the programmer from the command line, on the program's own core
// and serial port component, without windows.
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QStringList>
#include <iostream>
#include <string>
#include <vector>

#include "cli/cli_args.h"
#include "cli/cli_runner.h"
#include "cli/db_records.h"
#include "cli/short_options.h"
#include "cli/terminal.h"
#include "cli/usage_error.h"

int main(int argc, char** argv) {
  QElapsedTimer clock;
  clock.start();
  QCoreApplication app(argc, argv);
  taktm::UseUtf8Console();
#ifdef _WIN32
  // argv is in the ANSI code page there; the wide command line keeps every
  // name, and the file layer takes UTF-8.
  std::vector<std::string> args;
  const QStringList wide = QCoreApplication::arguments();
  for (qsizetype i = 1; i < wide.size(); ++i)
    args.push_back(wide[i].toStdString());
#else
  std::vector<std::string> args(argv + 1, argv + argc);
#endif
  // The database's tables made ahead of the first run.
  if (!args.empty() && args[0] == "db-init") {
    if (args.size() != 2) {
      std::cerr << "takt-m-cli: нужно: takt-m-cli db-init postgresql://…\n";
      return static_cast<int>(taktm::ExitStatus::kUsage);
    }
    const std::string error = taktm::InitDatabase(args[1]);
    if (!error.empty()) {
      std::cerr << "takt-m-cli: " << error << '\n';
      return static_cast<int>(taktm::ExitStatus::kFileError);
    }
    return 0;
  }
  const taktm::ParsedArgs parsed = taktm::ParseCliArgs(args);
  if (!parsed.options) {
    // --json promises an object for every failure, this one included.
    if (taktm::AsksForJson(args)) {
      std::cout << taktm::UsageErrorJson(parsed.error) << '\n';
    } else {
      std::cerr << "takt-m-cli: " << parsed.error
                << "\nСправка: takt-m-cli --help\n";
    }
    return static_cast<int>(taktm::ExitStatus::kUsage);
  }
  if (parsed.options->command == taktm::CliCommand::kHelp) {
    std::cout << taktm::UsageText();
    return 0;
  }
  if (parsed.options->command == taktm::CliCommand::kVersion) {
    std::cout << "takt-m-cli " << TAKT_VERSION << '\n';
    return 0;
  }
  const taktm::CliStreams streams{
      std::cout, std::cerr, taktm::RedrawsInPlace(STDERR_FILENO),
      [] { return taktm::TerminalColumns(STDERR_FILENO); }};
  return static_cast<int>(taktm::RunCli(*parsed.options, streams, clock));
}
