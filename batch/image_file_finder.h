#pragma once

#include <memory>
#include <string>

namespace mirelay {

// Enumerates the image files of a folder: names whose extension (after the last ".", lowered)
// occurs anywhere in the extension list. Sub-folders and hidden entries are passed over.
class ImageFileFinder {
 public:
  explicit ImageFileFinder(std::string extensions);
  ~ImageFileFinder();
  ImageFileFinder(const ImageFileFinder&) = delete;
  ImageFileFinder& operator=(const ImageFileFinder&) = delete;
  ImageFileFinder(ImageFileFinder&&) = delete;
  ImageFileFinder& operator=(ImageFileFinder&&) = delete;

  // Starts a new search over "folder/*.*"; the first accepted file name, or "" when none.
  std::string FindFirstMatch(const std::string& pattern);
  // The next accepted file name of the open search, or "" when it is exhausted or none is open.
  std::string FindNextMatch();
  const std::string& Extensions() const { return extensions_; }
  void CloseSearch();

  // The entry test on a file name alone.
  bool Accepts(const std::string& name) const;

 private:
  // The folder's open directory stream; present only while a search is open.
  struct OpenSearch;

  // The next entry of the open search that survives the attribute filter, or "" at the end.
  std::string NextEntry();

  std::unique_ptr<OpenSearch> search_;
  std::string extensions_;
};

}  // namespace mirelay
