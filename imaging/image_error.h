#pragma once

#include <stdexcept>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>

#include "files/file_error.h"

namespace mirelay {

// What went wrong, told apart by kind; the texts are for showing only.
enum class FailureKind {
  kBadInput,         // the file is no picture this program reads
  kNotFound,         // an input is gone
  kPictureTooLarge,  // the picture would pass the picture cap
  kFileTooLarge,     // the file is larger than the picture cap, so it is refused unread
  kStopped,          // the caller asked the work to stop
  kOutOfMemory,
  kFileError,       // the file system refused; the error code says why
  kNoOutputFormat,  // the save code names no format, so nothing is written
  kProgramFault,    // none of the above: a fault of the program, never of an input
};

inline constexpr std::string_view kPictureTooLarge = "Picture too large";
inline constexpr std::string_view kFileTooLarge = "File larger than the picture size limit";
// The text of the error that ends a decode or an encode its caller no longer wants.
inline constexpr std::string_view kStopped = "Stopped on request";

// A failure's words: the window shows `display` exactly as it always has, while mirelay-batch,
// which speaks English, says `english`.
struct ErrorWords {
  std::string_view display;
  std::string_view english;
};

// A decoder or encoder failure carrying the fixed text the user (or the dispatch) sees.
class ImageError : public std::runtime_error {
 public:
  // A bad input, for a text that is English already.
  explicit ImageError(const std::string& text) : ImageError(text, text) {}
  ImageError(const std::string& display, std::string english,
             FailureKind kind = FailureKind::kBadInput)
      : std::runtime_error(display), english_(std::move(english)), kind_(kind) {}
  explicit ImageError(ErrorWords words)
      : ImageError(std::string(words.display), std::string(words.english)) {}
  // The error of a limit or of a stop (kPictureTooLarge, kFileTooLarge or kStopped), with its
  // text.
  explicit ImageError(FailureKind kind)
      : ImageError(std::string(LimitText(kind)), std::string(LimitText(kind)), kind) {}

  FailureKind Kind() const { return kind_; }
  const std::string& English() const { return english_; }

 private:
  static constexpr std::string_view LimitText(FailureKind kind) {
    if (kind == FailureKind::kPictureTooLarge) return kPictureTooLarge;
    return kind == FailureKind::kFileTooLarge ? kFileTooLarge : kStopped;
  }

  std::string english_;
  FailureKind kind_;
};

// Why something could not be done, kept past the error that said it.
struct Failure {
  FailureKind kind = FailureKind::kBadInput;
  std::string display;   // the window's words
  std::string english;   // the command's words
  std::error_code code;  // the system's cause, for a file error
};

inline Failure PlainFailure(FailureKind kind, const std::string& english) {
  return {kind, english, english, {}};
}
inline Failure FailureOf(const ImageError& error) {
  return {error.Kind(), error.what(), error.English(), {}};
}
inline Failure FailureOf(const FileError& error) {
  return {FailureKind::kFileError, error.what(), error.English(), error.code()};
}

}  // namespace mirelay
