#pragma once

#include <dirent.h>

#include <string>

namespace mirelay {

// Enumerates the image files of a folder: names whose extension (after the last ".", lowered)
// occurs anywhere in the extension list. Sub-folders and hidden entries are passed over.
class TFnd {
 public:
  explicit TFnd(std::string extensions);
  ~TFnd();
  TFnd(const TFnd&) = delete;
  TFnd& operator=(const TFnd&) = delete;

  // Starts a new search over "folder/*.*"; the first accepted file name, or "" when none.
  std::string FindFirstMatch(const std::string& pattern);
  // The next accepted file name of the open search, or "" when it is exhausted or none is open.
  std::string FindNextMatch();
  const std::string& GetExtensions() const { return FExtensions; }
  void CloseSearch();

  // The entry test on a file name alone.
  bool Accepts(const std::string& name) const;

 private:
  // The next entry that survives the attribute filter, or "" at the end.
  std::string NextEntry();

  bool FActive = false;
  struct SearchRecord {
    DIR* handle = nullptr;
    std::string folder;
  } FSearchRec;
  int FAttr = 0;
  std::string FExtensions;
};

}  // namespace mirelay
