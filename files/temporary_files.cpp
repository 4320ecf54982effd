#include "files/temporary_files.h"

#include <dirent.h>
#include <fcntl.h>
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

// The host and the process that wrote `name`, when it is named as this program's temporaries are.
bool WriterOf(std::string_view name, std::string_view& host, long& process) {
  if (!name.starts_with(kPrefix) || !name.ends_with(kSuffix)) return false;
  name.remove_prefix(kPrefix.size());
  name.remove_suffix(kSuffix.size());
  const auto counterDash = name.rfind('-');
  if (counterDash == std::string_view::npos || counterDash == 0) return false;
  const auto processDash = name.rfind('-', counterDash - 1);
  if (processDash == std::string_view::npos) return false;
  host = name.substr(0, processDash);
  long counter = 0;
  return ParseNumber(name.substr(processDash + 1, counterDash - processDash - 1), process) &&
         ParseNumber(name.substr(counterDash + 1), counter);
}

bool ProcessIsGone(long process) {
  return process > 0 && ::kill(static_cast<pid_t>(process), 0) != 0 && errno == ESRCH;
}

enum class LockResult { kTaken, kHeldElsewhere, kNoLocks };

// A write lock over the whole file, for the open file description rather than the process, so
// that it conflicts between threads of one process too and closing another descriptor of the
// file does not drop it.
LockResult LockWholeFile(int descriptor) {
  struct flock lock {};
  lock.l_type = F_WRLCK;
  lock.l_whence = SEEK_SET;
  for (;;) {
    if (::fcntl(descriptor, F_OFD_SETLK, &lock) == 0) return LockResult::kTaken;
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EACCES) return LockResult::kHeldElsewhere;
    return LockResult::kNoLocks;
  }
}

// Whether `path` still names the file open at `descriptor`.
bool StillNamed(int descriptor, const std::string& path) {
  struct stat opened {};
  struct stat named {};
  return ::fstat(descriptor, &opened) == 0 && ::lstat(path.c_str(), &named) == 0 &&
         opened.st_dev == named.st_dev && opened.st_ino == named.st_ino;
}

enum class Sweep { kRemoved, kLeft, kNoLocks };

// Removes the regular file at `path` when its lock is free, holding the lock meanwhile so that
// no other sweep can take the name in between, and only while the name is still that file's.
Sweep RemoveIfUnlocked(const std::string& path) {
  const int descriptor = ::open(path.c_str(), O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (descriptor < 0) return Sweep::kNoLocks;
  Sweep sweep = Sweep::kLeft;
  switch (LockWholeFile(descriptor)) {
    case LockResult::kTaken:
      if (StillNamed(descriptor, path) && ::unlink(path.c_str()) == 0) sweep = Sweep::kRemoved;
      break;
    case LockResult::kHeldElsewhere:
      break;
    case LockResult::kNoLocks:
      sweep = Sweep::kNoLocks;
      break;
  }
  ::close(descriptor);
  return sweep;
}

// One entry of the folder: true when it was removed.
bool RemoveIfStale(const std::string& folder, const char* name) {
  std::string_view host;
  long process = 0;
  if (!WriterOf(name, host, process)) return false;
  const std::string path = folder + (folder.ends_with('/') ? "" : "/") + name;
  struct stat info {};
  // Only files and links the program itself could have left; a link is removed, not followed.
  if (::lstat(path.c_str(), &info) != 0) return false;
  if (S_ISREG(info.st_mode)) {
    const Sweep sweep = RemoveIfUnlocked(path);
    if (sweep != Sweep::kNoLocks) return sweep == Sweep::kRemoved;
  } else if (!S_ISLNK(info.st_mode)) {
    return false;
  }
  // No lock to ask (a link, a file system without locks, a file we may not open): only this
  // host's process ids can speak for the writer.
  return host == HostTag() && ProcessIsGone(process) && ::unlink(path.c_str()) == 0;
}

}  // namespace

std::string TemporaryNameFor(const std::string& path) {
  static std::atomic<unsigned> counter{0};
  const auto slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? "" : path.substr(0, slash + 1);
  return folder + std::string(kPrefix) + HostTag() + "-" + std::to_string(::getpid()) + "-" +
         std::to_string(counter++) + std::string(kSuffix);
}

bool ClaimTemporary(int descriptor, const std::string& temporaryPath) {
  switch (LockWholeFile(descriptor)) {
    case LockResult::kTaken:
      // A sweep may have found the file in the moment before the lock and removed it.
      return StillNamed(descriptor, temporaryPath);
    case LockResult::kHeldElsewhere:
      return false;
    case LockResult::kNoLocks:
      return true;
  }
  return true;
}

int RemoveStaleTemporaries(const std::string& folder) {
  DIR* listing = ::opendir(folder.c_str());
  if (listing == nullptr) return 0;
  int removed = 0;
  while (const dirent* entry = ::readdir(listing)) {
    if (RemoveIfStale(folder, entry->d_name)) ++removed;
  }
  ::closedir(listing);
  return removed;
}

}  // namespace mirelay
