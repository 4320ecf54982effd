#include "files/temporary_files.h"

#include <dirent.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <charconv>
#include <string_view>
#include <system_error>

namespace mirelay {

namespace {

constexpr std::string_view kPrefix = ".mirelay-";
constexpr std::string_view kSuffix = ".tmp";

// The host name as it can stand in a file name.
const std::string& HostTag() {
  static const std::string tag = [] {
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0 || name[0] == '\0') return std::string("host");
    std::string text(name);
    for (char& c : text) {
      const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                         (c >= '0' && c <= '9') || c == '.' || c == '_';
      if (!plain) c = '_';
    }
    return text;
  }();
  return tag;
}

bool ParseNumber(std::string_view text, long& value) {
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  return error == std::errc() && end == text.data() + text.size() && !text.empty();
}

// The process that wrote `name`, when the name is one of this host's temporary files.
bool WriterOf(std::string_view name, long& process) {
  if (!name.starts_with(kPrefix) || !name.ends_with(kSuffix)) return false;
  name.remove_prefix(kPrefix.size());
  name.remove_suffix(kSuffix.size());
  const auto counterDash = name.rfind('-');
  if (counterDash == std::string_view::npos) return false;
  const auto processDash = name.rfind('-', counterDash - 1);
  long counter = 0;
  return processDash != std::string_view::npos && name.substr(0, processDash) == HostTag() &&
         ParseNumber(name.substr(processDash + 1, counterDash - processDash - 1), process) &&
         ParseNumber(name.substr(counterDash + 1), counter);
}

bool ProcessIsGone(long process) {
  return process > 0 && ::kill(static_cast<pid_t>(process), 0) != 0 && errno == ESRCH;
}

}  // namespace

std::string TemporaryNameFor(const std::string& path) {
  static std::atomic<unsigned> counter{0};
  const auto slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? "" : path.substr(0, slash + 1);
  return folder + std::string(kPrefix) + HostTag() + "-" + std::to_string(::getpid()) + "-" +
         std::to_string(counter++) + std::string(kSuffix);
}

int RemoveStaleTemporaries(const std::string& folder) {
  DIR* listing = ::opendir(folder.c_str());
  if (listing == nullptr) return 0;
  int removed = 0;
  while (const dirent* entry = ::readdir(listing)) {
    long process = 0;
    if (!WriterOf(entry->d_name, process) || !ProcessIsGone(process)) continue;
    const std::string path = folder + (folder.ends_with('/') ? "" : "/") + entry->d_name;
    struct stat info {};
    // Only files and links the program itself could have left; a link is removed, not followed.
    if (::lstat(path.c_str(), &info) == 0 && (S_ISREG(info.st_mode) || S_ISLNK(info.st_mode)) &&
        ::unlink(path.c_str()) == 0) {
      ++removed;
    }
  }
  ::closedir(listing);
  return removed;
}

}  // namespace mirelay
