#pragma once

#include <string>
#include <string_view>

namespace mirelay {

// A file that one writer creates and then only appends to. Each Append is a single write at the
// end, so a reader meanwhile sees whole appends, and at most a cut last one after a crash.
class AppendFile {
 public:
  // Creates the file, refusing a name already taken. FileError when it cannot.
  explicit AppendFile(std::string path);
  ~AppendFile();
  AppendFile(const AppendFile&) = delete;
  AppendFile& operator=(const AppendFile&) = delete;

  // FileError("ストリームへの書き込みエラー") when the bytes cannot all be written.
  void Append(std::string_view bytes);
  // What was appended, on the disk; FileError when the disk says no.
  void Flush();

  const std::string& Path() const { return path_; }

 private:
  std::string path_;
  int descriptor_ = -1;
};

}  // namespace mirelay
