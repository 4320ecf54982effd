#include "imaging/picture_formats.h"

#include <algorithm>

namespace mirelay {

namespace {

// Registration happens at start-up and shutdown on the GUI thread, so the table needs no lock.
std::vector<PictureFormat>& Table() {
  static std::vector<PictureFormat> table;
  return table;
}

}  // namespace

void RegisterPictureFormat(const PictureFormat& format) {
  auto& table = Table();
  auto same = std::find_if(table.begin(), table.end(), [&](const PictureFormat& entry) {
    return entry.extension == format.extension;
  });
  if (same != table.end()) {
    *same = format;
    return;
  }
  table.push_back(format);
}

void UnregisterPictureFormat(std::string_view graphicClass) {
  std::erase_if(Table(),
                [&](const PictureFormat& entry) { return entry.graphicClass == graphicClass; });
}

std::vector<PictureFormat> RegisteredPictureFormats() { return Table(); }

}  // namespace mirelay
