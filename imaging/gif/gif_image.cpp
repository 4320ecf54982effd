#include "imaging/gif/gif_image.h"

#include <algorithm>

namespace mirelay {

namespace {

template <typename Extension>
const Extension* FirstOf(const std::vector<GifExtension>& extensions) {
  for (const auto& extension : extensions) {
    if (const auto* found = std::get_if<Extension>(&extension)) return found;
  }
  return nullptr;
}

}  // namespace

bool GifFrame::Transparent() const {
  for (const auto& extension : extensions) {
    const auto* control = std::get_if<GifGraphicControlExtension>(&extension);
    if (control != nullptr && control->transparent) return true;
  }
  return false;
}

std::uint8_t GifFrame::TransparentIndex() const {
  const auto* control = GraphicControl();
  return control != nullptr ? control->transparentIndex : 0;
}

const GifGraphicControlExtension* GifFrame::GraphicControl() const {
  return FirstOf<GifGraphicControlExtension>(extensions);
}

const GifLoopExtension* GifFrame::LoopExtension() const {
  return FirstOf<GifLoopExtension>(extensions);
}

const GifColorTable& GifImage::ActiveColorTable(const GifFrame& frame) const {
  return frame.localColorTable.empty() ? globalColorTable : frame.localColorTable;
}

GifFrameClip GifImage::ScreenClip(const GifFrame& frame) const {
  return {std::clamp<std::int32_t>(width - frame.left, 0, frame.width),
          std::clamp<std::int32_t>(height - frame.top, 0, frame.height)};
}

}  // namespace mirelay
