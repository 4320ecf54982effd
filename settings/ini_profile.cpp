#include "settings/ini_profile.h"

#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "files/file_error.h"
#include "files/input_file.h"
#include "files/output_file.h"
#include "settings/integer_parser.h"

namespace mirelay {

namespace {

constexpr std::string_view kCannotWrite = " に書き込めません";

struct Line {
  std::string text;
  std::string ending;  // "\n", "\r\n" or empty for a last line without one
};

std::string_view Trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

std::optional<std::string_view> SectionName(std::string_view line) {
  line = Trim(line);
  if (line.empty() || line.front() != '[') return std::nullopt;
  const auto close = line.find(']');
  if (close == std::string_view::npos) return std::nullopt;
  return Trim(line.substr(1, close - 1));
}

bool IsKeyLine(std::string_view line, std::string_view key) {
  const auto trimmed = Trim(line);
  if (trimmed.empty() || trimmed.front() == ';') return false;
  const auto equals = line.find('=');
  return equals != std::string_view::npos && SameName(Trim(line.substr(0, equals)), key);
}

// A file that is missing or cannot be read counts as empty. InputFile opens without blocking
// and takes regular files only, so a FIFO put in the file's place can never hang the window.
std::optional<std::string> ReadContent(const std::string& path) {
  try {
    const auto file = InputFile::OpenIfPresent(path);
    if (!file) return std::nullopt;
    const auto bytes = file->ReadAll(std::numeric_limits<std::size_t>::max());
    return std::string(bytes->begin(), bytes->end());
  } catch (const FileError&) {
    return std::nullopt;
  }
}

std::vector<Line> SplitLines(const std::string& content) {
  std::vector<Line> lines;
  std::size_t start = 0;
  while (start < content.size()) {
    const auto newline = content.find('\n', start);
    if (newline == std::string::npos) {
      lines.push_back({content.substr(start), ""});
      break;
    }
    const bool crlf = newline > start && content[newline - 1] == '\r';
    const auto end = crlf ? newline - 1 : newline;
    lines.push_back({content.substr(start, end - start), crlf ? "\r\n" : "\n"});
    start = newline + 1;
  }
  return lines;
}

// Index range [begin, end) of the section's body, if the section exists.
std::optional<std::pair<std::size_t, std::size_t>> FindSection(const std::vector<Line>& lines,
                                                               std::string_view section) {
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const auto name = SectionName(lines[i].text);
    if (!name || !SameName(*name, section)) continue;
    std::size_t end = i + 1;
    while (end < lines.size() && !SectionName(lines[end].text)) ++end;
    return std::pair{i + 1, end};
  }
  return std::nullopt;
}

std::string NewlineOf(const std::vector<Line>& lines) {
  for (const auto& line : lines) {
    if (!line.ending.empty()) return line.ending;
  }
  return "\n";
}

void PutKey(std::vector<Line>& lines, std::string_view section, const std::string& keyLine) {
  const auto newline = NewlineOf(lines);
  const auto body = FindSection(lines, section);
  if (!body) {
    if (!lines.empty() && lines.back().ending.empty()) lines.back().ending = newline;
    std::string header = "[";
    header.append(section).append("]");
    lines.push_back({std::move(header), newline});
    lines.push_back({keyLine, newline});
    return;
  }
  const auto key = keyLine.substr(0, keyLine.find('='));
  for (auto i = body->first; i < body->second; ++i) {
    if (IsKeyLine(lines[i].text, key)) {
      lines[i].text = keyLine;
      return;
    }
  }
  auto insertAt = body->first;
  for (auto i = body->first; i < body->second; ++i) {
    if (!Trim(lines[i].text).empty()) insertAt = i + 1;
  }
  if (insertAt > 0 && lines[insertAt - 1].ending.empty()) lines[insertAt - 1].ending = newline;
  lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(insertAt), Line{keyLine, newline});
}

}  // namespace

std::string IniProfile::ReadTextSetting(const std::string& section, const std::string& key,
                                        const std::string& fallback) const {
  const auto content = ReadContent(path_);
  if (!content) return fallback;
  const auto lines = SplitLines(*content);
  const auto body = FindSection(lines, section);
  if (!body) return fallback;
  for (auto i = body->first; i < body->second; ++i) {
    if (!IsKeyLine(lines[i].text, key)) continue;
    auto value = lines[i].text.substr(lines[i].text.find('=') + 1);
    if (value.size() > kMaxValueBytes) value.resize(kMaxValueBytes);
    return value;
  }
  return fallback;
}

std::int32_t IniProfile::ReadIntegerSetting(const std::string& section, const std::string& key,
                                            std::int32_t fallback) const {
  return ParseInteger(ReadTextSetting(section, key, "")).value_or(fallback);
}

void IniProfile::WriteTextSetting(const std::string& section, const std::string& key,
                                  const std::string& value) {
  auto lines = SplitLines(ReadContent(path_).value_or(""));
  PutKey(lines, section, key + "=" + value);
  std::string content;
  for (const auto& line : lines) content += line.text + line.ending;
  try {
    // The settings file may be a link into a synchronised folder, and its permissions the user's.
    WriteWholeFile(path_,
                   std::span(reinterpret_cast<const std::uint8_t*>(content.data()), content.size()),
                   ReplaceOptions{.followLinks = true, .keepMode = true, .flushFolder = true});
  } catch (const FileError& error) {
    throw FileError(path_ + std::string(kCannotWrite), "cannot write " + path_, error.code());
  }
}

void IniProfile::WriteIntegerSetting(const std::string& section, const std::string& key,
                                     std::int32_t value) {
  WriteTextSetting(section, key, std::to_string(value));
}

std::string SettingsFileFor(const std::string& executablePath) {
  const auto slash = executablePath.rfind('/');
  const auto dot = executablePath.rfind('.');
  const bool hasExtension = dot != std::string::npos && (slash == std::string::npos || dot > slash);
  return (hasExtension ? executablePath.substr(0, dot) : executablePath) + ".ini";
}

}  // namespace mirelay
