#include "cli/input_list.h"

#include <string_view>

#include "files/stream_text.h"

namespace mirelay::cli {

std::vector<std::string> ReadInputList(const std::string& source, bool nullSeparated) {
  const std::string text = ReadToEnd(source);
  const char separator = nullSeparated ? '\0' : '\n';
  std::vector<std::string> paths;
  std::string_view rest(text);
  while (!rest.empty()) {
    const auto end = rest.find(separator);
    const auto entry = rest.substr(0, end);
    if (!entry.empty()) paths.emplace_back(entry);
    if (end == std::string_view::npos) break;
    rest.remove_prefix(end + 1);
  }
  return paths;
}

}  // namespace mirelay::cli
