#pragma once

#include <QStringList>
#include <optional>

namespace mirelay {

// The program's options: `--jobs N` sets the output commands' worker threads for this run
// (default: the number of cores). Nothing on the command line is stored in the settings file.
struct CommandLine {
  unsigned batchWorkers = 0;
};

// The options, or nothing after printing why the arguments were refused.
std::optional<CommandLine> ParseCommandLine(const QStringList& arguments);

}  // namespace mirelay
