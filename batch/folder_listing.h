#pragma once

#include <string>
#include <vector>

#include "batch/image_file_finder.h"

namespace mirelay {

// The full paths of the image files the finder accepts in `folder`, in directory order, as the
// window's Input command lists them.
std::vector<std::string> ListImageFiles(ImageFileFinder& finder, const std::string& folder);

}  // namespace mirelay
