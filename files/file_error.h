#pragma once

#include <cerrno>
#include <stdexcept>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>

namespace mirelay {

// A file-system failure: a file that cannot be opened, created, read or written, with what the
// system said about it when it said something. The window shows what(); mirelay-batch, which
// speaks English, says English().
class FileError : public std::runtime_error {
 public:
  // `english` names the file and what could not be done to it ("cannot create out/a.png").
  FileError(const std::string& display, std::string english, std::error_code code = {})
      : std::runtime_error(display), english_(std::move(english)), code_(code) {}
  std::error_code code() const { return code_; }
  // The English words followed by the system's cause: "cannot create out/a.png: Is a directory".
  std::string English() const { return code_ ? english_ + ": " + code_.message() : english_; }

 private:
  std::string english_;
  std::error_code code_;
};

// errno as an error code, to be taken before anything else can change errno.
inline std::error_code LastSystemError() { return {errno, std::generic_category()}; }

inline constexpr std::string_view kCannotOpenFile = "ファイル %s は開けません";
inline constexpr std::string_view kCannotCreateFile = "ファイル %s を作成できません";
inline constexpr std::string_view kStreamWriteError = "ストリームへの書き込みエラー";

// Puts `argument` in place of the first "%s" of `pattern`.
inline std::string FillMessage(std::string_view pattern, std::string_view argument) {
  std::string text(pattern);
  if (auto at = text.find("%s"); at != std::string::npos) text.replace(at, 2, argument);
  return text;
}

}  // namespace mirelay
