#pragma once

#include <cerrno>
#include <stdexcept>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>

namespace mirelay {

// A failure's words: the window shows `display` exactly as it always has, while mirelay-batch,
// which speaks English, says `english`.
struct ErrorWords {
  std::string_view display;
  std::string_view english;
};

// A decoder or encoder failure carrying the fixed text the user (or the dispatch) sees.
class ImageError : public std::runtime_error {
 public:
  // For a text that is English already.
  explicit ImageError(const std::string& text) : std::runtime_error(text), english_(text) {}
  ImageError(const std::string& display, std::string english)
      : std::runtime_error(display), english_(std::move(english)) {}
  explicit ImageError(ErrorWords words)
      : ImageError(std::string(words.display), std::string(words.english)) {}

  const std::string& English() const { return english_; }

 private:
  std::string english_;
};

// A file-system failure: a file that cannot be opened, created or written, with what the
// system said about it when it said something.
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

// Why something could not be done, kept past the error that said it.
struct FailureText {
  std::string display;
  std::string english;
};

inline FailureText PlainFailure(const std::string& english) { return {english, english}; }
inline FailureText FailureOf(const ImageError& error) { return {error.what(), error.English()}; }
inline FailureText FailureOf(const FileError& error) { return {error.what(), error.English()}; }

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
