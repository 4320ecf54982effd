#include "files/input_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

#include "files/file_error.h"
#include "files/file_status.h"

namespace mirelay {

namespace {

[[noreturn]] void CannotOpen(const std::string& path, std::error_code cause) {
  throw FileError(FillMessage(kCannotOpenFile, path), "cannot open " + path, cause);
}

int OpenForReading(const std::string& path) {
  return ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
}

// Only a regular file is read: anything else in its place is refused, never waited on.
std::error_code IrregularCause(int descriptor) {
  struct stat info {};
  if (::fstat(descriptor, &info) != 0) return LastSystemError();
  if (S_ISDIR(info.st_mode)) return std::make_error_code(std::errc::is_a_directory);
  if (!S_ISREG(info.st_mode)) return std::make_error_code(std::errc::invalid_argument);
  return {};
}

int OpenRegularFile(const std::string& path) {
  const int descriptor = OpenForReading(path);
  if (descriptor < 0) CannotOpen(path, LastSystemError());
  const std::error_code cause = IrregularCause(descriptor);
  if (!cause) return descriptor;
  ::close(descriptor);
  CannotOpen(path, cause);
}

}  // namespace

InputFile::InputFile(const std::string& path) : path_(path), descriptor_(OpenRegularFile(path)) {}

std::optional<InputFile> InputFile::OpenIfPresent(const std::string& path) {
  // One open answers both questions: only a file that is there yet cannot be opened is an error.
  const int descriptor = OpenForReading(path);
  if (descriptor < 0) {
    const auto cause = LastSystemError();
    if (FileExists(path)) CannotOpen(path, cause);
    return std::nullopt;
  }
  InputFile file(path, descriptor);
  if (IrregularCause(descriptor)) return std::nullopt;
  return file;
}

InputFile::~InputFile() {
  if (descriptor_ >= 0) ::close(descriptor_);
}

InputFile::InputFile(InputFile&& other) noexcept
    : path_(std::move(other.path_)), descriptor_(std::exchange(other.descriptor_, -1)) {}

InputFile& InputFile::operator=(InputFile&& other) noexcept {
  if (this == &other) return *this;
  if (descriptor_ >= 0) ::close(descriptor_);
  path_ = std::move(other.path_);
  descriptor_ = std::exchange(other.descriptor_, -1);
  return *this;
}

std::vector<std::uint8_t> InputFile::ReadAt(std::uint64_t offset, std::size_t count) const {
  std::vector<std::uint8_t> bytes(count);
  std::size_t filled = 0;
  while (filled < count) {
    const auto got = ::pread(descriptor_, bytes.data() + filled, bytes.size() - filled,
                             static_cast<off_t>(offset + filled));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) CannotOpen(path_, LastSystemError());
    if (got == 0) break;
    filled += static_cast<std::size_t>(got);
  }
  bytes.resize(filled);
  return bytes;
}

std::vector<std::uint8_t> InputFile::ReadStart(std::size_t count) const { return ReadAt(0, count); }

std::optional<std::vector<std::uint8_t>> InputFile::ReadAll(std::size_t limit) const {
  struct stat info {};
  if (::fstat(descriptor_, &info) != 0) CannotOpen(path_, LastSystemError());
  if (static_cast<std::uint64_t>(info.st_size) > limit) return std::nullopt;
  // Sized from the file at once: growing by doubling touches every page twice on big inputs.
  auto bytes = ReadAt(0, static_cast<std::size_t>(info.st_size));
  constexpr std::size_t kMoreBytes = 1 << 16;
  for (auto more = ReadAt(bytes.size(), kMoreBytes); !more.empty();
       more = ReadAt(bytes.size(), kMoreBytes)) {
    bytes.insert(bytes.end(), more.begin(), more.end());
    if (bytes.size() > limit) return std::nullopt;
  }
  return bytes;
}

std::vector<std::uint8_t> ReadFileStart(const std::string& path, std::size_t count) {
  return InputFile(path).ReadStart(count);
}

}  // namespace mirelay
