#include "batch/folder_listing.h"

namespace mirelay {

std::vector<std::string> ListImageFiles(ImageFileFinder& finder, const std::string& folder) {
  std::vector<std::string> paths;
  for (auto name = finder.FindFirstMatch(folder + "/*.*"); !name.empty();
       name = finder.FindNextMatch()) {
    paths.push_back(folder + "/" + name);
  }
  return paths;
}

}  // namespace mirelay
