#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace mirelay {

// One entry of the picture file-format table: the graphic class that reads files with the
// extension, and the description shown for it.
struct PictureFormat {
  std::string extension;
  std::string description;
  std::string graphicClass;
  friend bool operator==(const PictureFormat&, const PictureFormat&) = default;
};

// Registering an extension again replaces its entry.
void RegisterPictureFormat(const PictureFormat& format);
// Removes every entry of the class.
void UnregisterPictureFormat(std::string_view graphicClass);
// The entries in the order they were registered.
std::vector<PictureFormat> RegisteredPictureFormats();

}  // namespace mirelay
