#include "batch/image_file_finder.h"

#include <dirent.h>

#include <utility>

#include "files/file_status.h"

namespace mirelay {

struct ImageFileFinder::OpenSearch {
  explicit OpenSearch(std::string folder)
      : stream(::opendir(folder.c_str())), folder(std::move(folder)) {}
  ~OpenSearch() {
    if (stream != nullptr) ::closedir(stream);
  }
  OpenSearch(const OpenSearch&) = delete;
  OpenSearch& operator=(const OpenSearch&) = delete;
  OpenSearch(OpenSearch&&) = delete;
  OpenSearch& operator=(OpenSearch&&) = delete;

  DIR* const stream;
  const std::string folder;
};

ImageFileFinder::ImageFileFinder(std::string extensions) : extensions_(std::move(extensions)) {}

ImageFileFinder::~ImageFileFinder() = default;

bool ImageFileFinder::Accepts(const std::string& name) const {
  const auto dot = name.rfind('.');
  if (dot == std::string::npos || dot + 1 == name.size()) return false;
  std::string extension = name.substr(dot + 1);
  for (char& c : extension) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return extensions_.find(extension) != std::string::npos;
}

std::string ImageFileFinder::FindFirstMatch(const std::string& pattern) {
  CloseSearch();
  const auto slash = pattern.rfind('/');
  auto search =
      std::make_unique<OpenSearch>(slash == std::string::npos ? "." : pattern.substr(0, slash));
  if (search->stream == nullptr) return "";
  search_ = std::move(search);
  const std::string first = NextEntry();
  if (first.empty()) {
    CloseSearch();
    return "";
  }
  return Accepts(first) ? first : FindNextMatch();
}

std::string ImageFileFinder::FindNextMatch() {
  if (!search_) return "";
  for (std::string name = NextEntry(); !name.empty(); name = NextEntry()) {
    if (Accepts(name)) return name;
  }
  return "";
}

void ImageFileFinder::CloseSearch() { search_.reset(); }

std::string ImageFileFinder::NextEntry() {
  while (dirent* entry = ::readdir(search_->stream)) {
    const std::string name = entry->d_name;
    if (name.empty() || name[0] == '.') continue;
    // Links are followed: a link to a folder is passed over, a link to a file is kept.
    if (FileExists(search_->folder + "/" + name)) return name;
  }
  return "";
}

}  // namespace mirelay
