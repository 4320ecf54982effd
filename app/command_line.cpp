#include "app/command_line.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <thread>

namespace mirelay {

namespace {

std::optional<unsigned> WorkerCount(const std::string& text) {
  unsigned count = 0;
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, count);
  if (error != std::errc() || stop != end || count == 0) return std::nullopt;
  return count;
}

// Why `arguments` cannot be taken, or an empty text after filling `options`.
std::string Read(const std::vector<std::string>& arguments, CommandLine& options) {
  for (std::size_t i = 1; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    const auto equals = argument.find('=');
    const std::string name = argument.substr(0, equals);
    const bool takesValue = name == "--jobs" || name == "--workspace";
    std::optional<std::string> value;
    if (equals != std::string::npos) {
      value = argument.substr(equals + 1);
    } else if (takesValue && i + 1 < arguments.size()) {
      value = arguments[++i];
    }
    if (name == "--jobs") {
      const auto count = value ? WorkerCount(*value) : std::nullopt;
      if (!count) return "--jobs needs a whole number of at least 1";
      options.batchWorkers = *count;
    } else if (name == "--workspace") {
      if (!value || value->empty()) return "--workspace needs a folder";
      options.workspace = *value;
    } else {
      return (argument.starts_with('-') ? "unknown option '" : "unexpected argument '") + argument +
             "'";
    }
  }
  return {};
}

}  // namespace

std::optional<CommandLine> ParseCommandLine(const std::vector<std::string>& arguments) {
  CommandLine options{std::max(1u, std::thread::hardware_concurrency()), {}};
  const std::string refusal = Read(arguments, options);
  if (refusal.empty()) return options;
  std::fprintf(stderr, "mirelay: %s\nusage: mirelay [--jobs N] [--workspace DIR]\n",
               refusal.c_str());
  return std::nullopt;
}

}  // namespace mirelay
