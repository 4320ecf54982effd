#include "batch/image_file_finder.h"

#include <sys/stat.h>

namespace mirelay {

TFnd::TFnd(std::string extensions) : FExtensions(std::move(extensions)) {}

TFnd::~TFnd() { CloseSearch(); }

bool TFnd::Accepts(const std::string& name) const {
  const auto dot = name.rfind('.');
  if (dot == std::string::npos || dot + 1 == name.size()) return false;
  std::string extension = name.substr(dot + 1);
  for (char& c : extension) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return FExtensions.find(extension) != std::string::npos;
}

std::string TFnd::FindFirstMatch(const std::string& pattern) {
  CloseSearch();
  const auto slash = pattern.rfind('/');
  FSearchRec.folder = slash == std::string::npos ? "." : pattern.substr(0, slash);
  FSearchRec.handle = ::opendir(FSearchRec.folder.c_str());
  if (FSearchRec.handle == nullptr) return "";
  const std::string first = NextEntry();
  if (first.empty()) {
    CloseSearch();
    return "";
  }
  FActive = true;
  return Accepts(first) ? first : FindNextMatch();
}

std::string TFnd::FindNextMatch() {
  if (!FActive) return "";
  for (std::string name = NextEntry(); !name.empty(); name = NextEntry()) {
    if (Accepts(name)) return name;
  }
  return "";
}

void TFnd::CloseSearch() {
  if (FSearchRec.handle != nullptr) ::closedir(FSearchRec.handle);
  FSearchRec.handle = nullptr;
  FActive = false;
}

std::string TFnd::NextEntry() {
  while (dirent* entry = ::readdir(FSearchRec.handle)) {
    const std::string name = entry->d_name;
    if (name.empty() || name[0] == '.') continue;
    // stat follows links: a link to a folder is passed over, a link to a file is kept.
    struct stat info {};
    const auto path = FSearchRec.folder + "/" + name;
    if (::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode)) return name;
  }
  return "";
}

}  // namespace mirelay
