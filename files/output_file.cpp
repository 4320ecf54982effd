#include "files/output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <optional>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "files/durability.h"
#include "files/file_error.h"
#include "files/temporary_files.h"

namespace mirelay {

namespace {

constexpr std::size_t kWriteBufferBytes = 1 << 16;

[[noreturn]] void CannotCreate(const std::string& path, std::error_code cause) {
  throw FileError(FillMessage(kCannotCreateFile, path), "cannot create " + path, cause);
}

[[noreturn]] void CannotWrite(const std::string& path, std::error_code cause) {
  throw FileError(std::string(kStreamWriteError), "cannot write " + path, cause);
}

// `path` names the file in the error: the final name, not the temporary one written.
void WriteAll(int descriptor, std::span<const std::uint8_t> bytes, const std::string& path) {
  std::size_t written = 0;
  while (written < bytes.size()) {
    const auto put = ::write(descriptor, bytes.data() + written, bytes.size() - written);
    if (put < 0 && errno == EINTR) continue;
    if (put < 0) CannotWrite(path, LastSystemError());
    if (put == 0) CannotWrite(path, {});
    written += static_cast<std::size_t>(put);
  }
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

// Why what stands at `path` may not be replaced; nothing when it may (or nothing stands there).
// Returns the mode to keep through `keptMode`.
std::error_code InTheWay(const std::string& path, ReplaceOptions options, mode_t& keptMode) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return {};
  if (S_ISDIR(info.st_mode)) return std::make_error_code(std::errc::is_a_directory);
  if (!S_ISREG(info.st_mode)) return std::make_error_code(std::errc::file_exists);
  if (!options.keepMode) return {};
  // A read-only file stays read-only even for a user (root) whom the system would let write.
  if ((info.st_mode & 0222) == 0 || ::access(path.c_str(), W_OK) != 0) {
    return std::make_error_code(std::errc::permission_denied);
  }
  keptMode = info.st_mode & 07777;
  return {};
}

// O_EXCL refuses any name already taken, a planted link included, so nothing is written through
// one. A name taken by a file left from a killed process that had the same id (ids are reused,
// and each container has its own), or one a sweep took before it could be claimed, is stepped
// over rather than failing the output. 0666 leaves the permissions to the umask.
int CreateTemporaryFor(const std::string& path, std::string& temporaryPath) {
  constexpr int kAttempts = 100;
  for (int attempt = 1;; ++attempt) {
    temporaryPath = TemporaryNameFor(path);
    const int descriptor =
        ::open(temporaryPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (descriptor >= 0 && ClaimTemporary(descriptor, temporaryPath)) return descriptor;
    if (descriptor >= 0) {
      ::close(descriptor);
      errno = EEXIST;
    }
    if (errno != EEXIST || attempt == kAttempts) return -1;
  }
}

std::string FolderOf(const std::string& path) {
  const auto slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

OutputFile::OutputFile(std::string path, ReplaceOptions options)
    : path_(std::move(path)), options_(options) {
  if (options.followLinks) {
    auto resolved = FollowLinks(path_);
    if (!resolved)
      CannotCreate(path_, std::make_error_code(std::errc::too_many_symbolic_link_levels));
    path_ = std::move(*resolved);
  }
  mode_t keptMode = 0;
  if (const auto cause = InTheWay(path_, options, keptMode)) CannotCreate(path_, cause);
  descriptor_ = CreateTemporaryFor(path_, temporaryPath_);
  if (descriptor_ < 0) CannotCreate(path_, LastSystemError());
  // The claim's lock lives as long as a descriptor of the file stays open: this one keeps it
  // from Close() to the rename.
  lockDescriptor_ = ::fcntl(descriptor_, F_DUPFD_CLOEXEC, 0);
  if (lockDescriptor_ < 0) {
    const auto cause = LastSystemError();
    Discard();
    CannotCreate(path_, cause);
  }
  if (keptMode != 0 && ::fchmod(descriptor_, keptMode) != 0) {
    const auto cause = LastSystemError();
    Discard();
    CannotCreate(path_, cause);
  }
  buffer_.reserve(kWriteBufferBytes);
}

OutputFile::~OutputFile() { Discard(); }

// Unlinked before its lock goes, so no sweep can find the file free under its name.
void OutputFile::Discard() noexcept {
  if (!renamed_ && !temporaryPath_.empty()) ::unlink(temporaryPath_.c_str());
  temporaryPath_.clear();
  if (descriptor_ >= 0) ::close(std::exchange(descriptor_, -1));
  if (lockDescriptor_ >= 0) ::close(std::exchange(lockDescriptor_, -1));
}

OutputFile::OutputFile(OutputFile&& other) noexcept
    : path_(std::move(other.path_)),
      temporaryPath_(std::exchange(other.temporaryPath_, std::string())),
      options_(other.options_),
      descriptor_(std::exchange(other.descriptor_, -1)),
      lockDescriptor_(std::exchange(other.lockDescriptor_, -1)),
      written_(other.written_),
      writebackStarted_(other.writebackStarted_),
      renamed_(other.renamed_),
      buffer_(std::move(other.buffer_)) {}

OutputFile& OutputFile::operator=(OutputFile&& other) noexcept {
  if (this == &other) return *this;
  Discard();
  path_ = std::move(other.path_);
  temporaryPath_ = std::exchange(other.temporaryPath_, std::string());
  options_ = other.options_;
  descriptor_ = std::exchange(other.descriptor_, -1);
  lockDescriptor_ = std::exchange(other.lockDescriptor_, -1);
  written_ = other.written_;
  writebackStarted_ = other.writebackStarted_;
  renamed_ = other.renamed_;
  buffer_ = std::move(other.buffer_);
  return *this;
}

void OutputFile::Write(std::span<const std::uint8_t> bytes) {
  if (buffer_.size() + bytes.size() > kWriteBufferBytes) Flush();
  if (bytes.size() >= kWriteBufferBytes) {
    WriteOut(bytes);
    return;
  }
  buffer_.insert(buffer_.end(), bytes.begin(), bytes.end());
}

void OutputFile::Flush() {
  WriteOut(buffer_);
  buffer_.clear();
}

// The disk starts on each megabyte as soon as it is written, while the encoder goes on with the
// next, so the flush before the rename waits for the last megabyte only.
void OutputFile::WriteOut(std::span<const std::uint8_t> bytes) {
  constexpr std::uint64_t kWritebackBytes = 1 << 20;
  WriteAll(descriptor_, bytes, path_);
  written_ += bytes.size();
  if (options_.flushData && written_ - writebackStarted_ >= kWritebackBytes) {
    StartWriteback(descriptor_, writebackStarted_, written_ - writebackStarted_);
    writebackStarted_ = written_;
  }
}

void OutputFile::Close() {
  if (descriptor_ < 0) return;
  Flush();
  if (options_.flushData) FlushFileData(descriptor_, path_);
  if (::close(std::exchange(descriptor_, -1)) != 0) CannotWrite(path_, LastSystemError());
}

void OutputFile::Commit() {
  Close();
  if (const auto cause = RenameFile(temporaryPath_, path_)) CannotCreate(path_, cause);
  renamed_ = true;
  ::close(std::exchange(lockDescriptor_, -1));
  if (options_.flushFolder) FlushFolder(FolderOf(path_));
}

void WriteWholeFile(const std::string& path, std::span<const std::uint8_t> bytes,
                    ReplaceOptions options) {
  OutputFile file(path, options);
  file.Write(bytes);
  file.Commit();
}

}  // namespace mirelay
