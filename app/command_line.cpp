#include "app/command_line.h"

#include <QCommandLineParser>
#include <algorithm>
#include <cstdio>
#include <thread>

namespace mirelay {

std::optional<CommandLine> ParseCommandLine(const QStringList& arguments) {
  QCommandLineParser parser;
  const QCommandLineOption jobs("jobs", "Worker threads of the output commands.", "N");
  parser.addOption(jobs);
  CommandLine options{std::max(1u, std::thread::hardware_concurrency())};
  QString refusal;
  if (!parser.parse(arguments)) {
    refusal = parser.errorText();
  } else if (!parser.positionalArguments().isEmpty()) {
    refusal = QStringLiteral("unexpected argument '%1'").arg(parser.positionalArguments().first());
  } else if (parser.isSet(jobs)) {
    bool isNumber = false;
    options.batchWorkers = parser.value(jobs).toUInt(&isNumber);
    if (!isNumber || options.batchWorkers == 0) {
      refusal = QStringLiteral("--jobs needs a whole number of at least 1");
    }
  }
  if (refusal.isEmpty()) return options;
  std::fprintf(stderr, "mirelay: %s\nusage: mirelay [--jobs N]\n",
               refusal.toLocal8Bit().constData());
  return std::nullopt;
}

}  // namespace mirelay
