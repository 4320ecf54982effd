#include "settings/ini_profile.h"

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

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

std::optional<std::string> ReadAll(int descriptor) {
  std::string content;
  char chunk[1 << 16];
  for (;;) {
    const auto got = ::read(descriptor, chunk, sizeof chunk);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return std::nullopt;
    if (got == 0) return content;
    content.append(chunk, static_cast<std::size_t>(got));
  }
}

// A file that is missing or cannot be read counts as empty. Opened without blocking and checked
// afterwards, so a FIFO put in the file's place can never hang the window.
std::optional<std::string> ReadContent(const std::string& path) {
  const int descriptor = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (descriptor < 0) return std::nullopt;
  std::optional<std::string> content;
  struct stat info {};
  if (::fstat(descriptor, &info) == 0 && S_ISREG(info.st_mode)) content = ReadAll(descriptor);
  ::close(descriptor);
  return content;
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

bool WriteAll(int descriptor, const std::string& content) {
  std::size_t written = 0;
  while (written < content.size()) {
    const auto put = ::write(descriptor, content.data() + written, content.size() - written);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) return false;
    written += static_cast<std::size_t>(put);
  }
  return true;
}

// The file a path finally names, following links one hop at a time so that a link to a file
// not yet created names that file too; nothing for a loop.
std::optional<std::string> FollowLinks(std::string path) {
  constexpr int kMaxHops = 40;
  for (int hop = 0; hop <= kMaxHops; ++hop) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return path;
    std::string target(PATH_MAX, '\0');
    const auto length = ::readlink(path.c_str(), target.data(), target.size());
    if (length <= 0 || static_cast<std::size_t>(length) >= target.size()) return std::nullopt;
    target.resize(static_cast<std::size_t>(length));
    path = target.front() == '/' ? target : path.substr(0, path.rfind('/') + 1) + target;
  }
  return std::nullopt;
}

// A new file beside `path` under a name nobody can guess, created exclusively and never through a
// link, so nothing planted in the folder can redirect the write. Not mkstemp: its fixed mode 0600
// would bypass the umask, which gives a new settings file its permissions.
int CreateTemporaryBeside(const std::string& path, std::string& temporary) {
  constexpr int kAttempts = 100;
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    std::uint64_t random = 0;
    if (::getrandom(&random, sizeof random, 0) != sizeof random) return -1;
    char suffix[17];
    std::snprintf(suffix, sizeof suffix, "%016llx", static_cast<unsigned long long>(random));
    temporary = path + ".tmp-" + suffix;
    const int descriptor =
        ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (descriptor >= 0 || errno != EEXIST) return descriptor;
  }
  return -1;
}

// Replaces the file by writing a sibling and renaming it, so a failure never leaves half a file.
// A link stays a link: the file it leads to is the one replaced.
bool ReplaceFile(const std::string& linkOrFile, const std::string& content) {
  const auto resolved = FollowLinks(linkOrFile);
  if (!resolved) return false;
  const std::string& path = *resolved;
  struct stat info {};
  const bool exists = ::stat(path.c_str(), &info) == 0;
  // A read-only file stays read-only even for a user (root) whom the system would let write.
  if (exists &&
      (!S_ISREG(info.st_mode) || (info.st_mode & 0222) == 0 || ::access(path.c_str(), W_OK) != 0)) {
    return false;
  }
  std::string temporary;
  const int descriptor = CreateTemporaryBeside(path, temporary);
  if (descriptor < 0) return false;
  bool ok = WriteAll(descriptor, content);
  if (exists) ok = ok && ::fchmod(descriptor, info.st_mode & 07777) == 0;
  ok = ::close(descriptor) == 0 && ok;
  ok = ok && std::rename(temporary.c_str(), path.c_str()) == 0;
  if (!ok) ::unlink(temporary.c_str());
  return ok;
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
  if (!ReplaceFile(path_, content)) throw ProfileWriteError(path_ + std::string(kCannotWrite));
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
