#include "app/command_line.h"

#include <QCommandLineParser>
#include <QFile>
#include <algorithm>
#include <cstdio>
#include <thread>

namespace mirelay {

std::optional<CommandLine> ParseCommandLine(const QStringList& arguments) {
  QCommandLineParser parser;
  const QCommandLineOption jobs("jobs", "Worker threads of the output commands.", "N");
  const QCommandLineOption workspace("workspace",
                                     "Folder holding base/, part/, out/ and the settings.", "DIR");
  parser.addOption(jobs);
  parser.addOption(workspace);
  CommandLine options{std::max(1u, std::thread::hardware_concurrency()), {}};
  QString refusal;
  if (!parser.parse(arguments)) {
    refusal = parser.errorText();
  } else if (!parser.positionalArguments().isEmpty()) {
    refusal = QStringLiteral("unexpected argument '%1'").arg(parser.positionalArguments().first());
  } else if (parser.isSet(workspace) && parser.value(workspace).isEmpty()) {
    refusal = QStringLiteral("--workspace needs a folder");
  } else if (parser.isSet(jobs)) {
    bool isNumber = false;
    options.batchWorkers = parser.value(jobs).toUInt(&isNumber);
    if (!isNumber || options.batchWorkers == 0) {
      refusal = QStringLiteral("--jobs needs a whole number of at least 1");
    }
  }
  if (parser.isSet(workspace))
    options.workspace = QFile::encodeName(parser.value(workspace)).toStdString();
  if (refusal.isEmpty()) return options;
  std::fprintf(stderr, "mirelay: %s\nusage: mirelay [--jobs N] [--workspace DIR]\n",
               refusal.toLocal8Bit().constData());
  return std::nullopt;
}

}  // namespace mirelay
