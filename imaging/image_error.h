#pragma once

#include <cerrno>
#include <stdexcept>
#include <string>
#include <string_view>
#include <system_error>

namespace mirelay {

// A decoder or encoder failure carrying the fixed text the user (or the dispatch) sees.
class ImageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A file-system failure: a file that cannot be opened, created or written, with what the
// system said about it when it said something.
class FileError : public std::runtime_error {
 public:
  explicit FileError(const std::string& text, std::error_code code = {})
      : std::runtime_error(text), code_(code) {}
  std::error_code code() const { return code_; }

 private:
  std::error_code code_;
};

// errno as an error code, to be taken before anything else can change errno.
inline std::error_code LastSystemError() { return {errno, std::generic_category()}; }

inline constexpr std::string_view kCannotOpenFile = "ファイル %s は開けません";
inline constexpr std::string_view kCannotCreateFile = "ファイル %s を作成できません";
inline constexpr std::string_view kStreamWriteError = "ストリームへの書き込みエラー";
inline constexpr std::string_view kPictureTooLarge = "Picture too large";
inline constexpr std::string_view kFileTooLarge = "File larger than the picture size limit";

// Puts `argument` in place of the first "%s" of `pattern`.
inline std::string FillMessage(std::string_view pattern, std::string_view argument) {
  std::string text(pattern);
  if (auto at = text.find("%s"); at != std::string::npos) text.replace(at, 2, argument);
  return text;
}

}  // namespace mirelay
