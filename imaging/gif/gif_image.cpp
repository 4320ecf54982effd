#include "imaging/gif/gif_image.h"

namespace mirelay {

namespace {

template <typename Extension>
const Extension* FirstOf(const std::vector<TGIFExtension>& extensions) {
  for (const auto& extension : extensions) {
    if (const auto* found = std::get_if<Extension>(&extension)) return found;
  }
  return nullptr;
}

}  // namespace

bool TGIFSubImage::Transparent() const {
  for (const auto& extension : extensions) {
    const auto* control = std::get_if<TGIFGraphicControlExtension>(&extension);
    if (control != nullptr && control->transparent) return true;
  }
  return false;
}

std::uint8_t TGIFSubImage::TransparentIndex() const {
  const auto* control = GraphicControl();
  return control != nullptr ? control->transparentIndex : 0;
}

const TGIFGraphicControlExtension* TGIFSubImage::GraphicControl() const {
  return FirstOf<TGIFGraphicControlExtension>(extensions);
}

const TGIFAppExtNSLoop* TGIFSubImage::LoopExtension() const {
  return FirstOf<TGIFAppExtNSLoop>(extensions);
}

const TGIFColorTable& TGIFImage::ActiveColorTable(const TGIFSubImage& frame) const {
  return frame.localColorTable.empty() ? globalColorTable : frame.localColorTable;
}

}  // namespace mirelay
