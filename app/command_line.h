#pragma once

#include <QStringList>
#include <optional>
#include <string>

namespace mirelay {

// The program's options: `--jobs N` sets the output commands' worker threads for this run
// (default: the number of cores); `--workspace DIR` works in DIR instead of the usual folder.
// Nothing on the command line is stored in the settings file.
struct CommandLine {
  unsigned batchWorkers = 0;
  std::string workspace;  // empty when not given
};

// The options, or nothing after printing why the arguments were refused.
std::optional<CommandLine> ParseCommandLine(const QStringList& arguments);

}  // namespace mirelay
