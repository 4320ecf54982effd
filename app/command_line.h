#pragma once

#include <optional>
#include <string>
#include <vector>

namespace mirelay {

// The program's options: `--jobs N` sets the output commands' worker threads for this run
// (default: the number of cores); `--workspace DIR` works in DIR instead of the usual folder.
// Nothing on the command line is stored in the settings file.
struct CommandLine {
  unsigned batchWorkers = 0;
  std::string workspace;  // empty when not given
};

// The options, or nothing after printing why the arguments were refused. The arguments are the
// bytes the program was given, program name first: a folder's name need not be UTF-8, and Qt's
// decoded arguments would lose the bytes that are not.
std::optional<CommandLine> ParseCommandLine(const std::vector<std::string>& arguments);

}  // namespace mirelay
