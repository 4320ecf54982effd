#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <variant>
#include <vector>

namespace mirelay {

struct GifColor {
  std::uint8_t red = 0;
  std::uint8_t green = 0;
  std::uint8_t blue = 0;
  friend bool operator==(const GifColor&, const GifColor&) = default;
};

// Empty, or 2 to 256 entries.
using GifColorTable = std::vector<GifColor>;

struct GifGraphicControlExtension {
  std::uint8_t disposal = 0;
  bool userInput = false;
  // Hundredths of a second.
  std::uint16_t delay = 0;
  bool transparent = false;
  std::uint8_t transparentIndex = 0;
  friend bool operator==(const GifGraphicControlExtension&,
                         const GifGraphicControlExtension&) = default;
};

struct GifCommentExtension {
  // One line per data sub-block.
  std::vector<std::string> lines;
};

struct GifPlainTextExtension {
  // The block-size byte and the 12 header bytes, as stored.
  std::array<std::uint8_t, 13> header{};
  std::vector<std::string> lines;
};

struct GifApplicationExtension {
  // 11 bytes, or 10 for a block-size byte of 10.
  std::string identifier;
};

struct GifLoopExtension : GifApplicationExtension {
  // 0 means forever.
  std::uint16_t loopCount = 0;
  std::uint32_t bufferSize = 0;
};

struct GifUnknownApplicationExtension : GifApplicationExtension {
  std::vector<std::vector<std::uint8_t>> data;
};

using GifExtension =
    std::variant<GifGraphicControlExtension, GifCommentExtension, GifPlainTextExtension,
                 GifLoopExtension, GifUnknownApplicationExtension>;

// One frame: the extensions that stood before it and, unless it is empty, its image.
class GifFrame {
 public:
  std::uint16_t left = 0;
  std::uint16_t top = 0;
  std::uint16_t width = 0;
  std::uint16_t height = 0;
  bool interlaced = false;
  GifColorTable localColorTable;
  // The part of the frame kept in `indices`: its keptWidth columns and keptHeight rows from
  // the top-left corner, which hold everything of it that can reach a picture.
  std::uint16_t keptWidth = 0;
  std::uint16_t keptHeight = 0;
  // keptWidth * keptHeight indices, row 0 at the top, whatever the file's interlacing.
  std::vector<std::uint8_t> indices;
  std::vector<GifExtension> extensions;
  bool hasImage = false;

  bool Empty() const { return !hasImage; }
  // True when any graphic control extension sets the transparent flag.
  bool Transparent() const;
  // The index held by the first graphic control extension (0 without one).
  std::uint8_t TransparentIndex() const;
  const GifGraphicControlExtension* GraphicControl() const;
  const GifLoopExtension* LoopExtension() const;
};

struct GifFrameClip {
  std::int32_t width = 0;
  std::int32_t height = 0;
};

// A loaded GIF file: its logical screen, global colour table and frames in file order.
class GifImage {
 public:
  std::uint16_t width = 0;
  std::uint16_t height = 0;
  std::uint8_t packed = 0;
  std::uint8_t backgroundIndex = 0;
  std::uint8_t aspect = 0;
  GifColorTable globalColorTable;
  std::vector<GifFrame> frames;

  // The frame's local table when it has entries, otherwise the global one.
  const GifColorTable& ActiveColorTable(const GifFrame& frame) const;
  // The columns and rows of the frame, from its top-left corner, that lie on the screen.
  GifFrameClip ScreenClip(const GifFrame& frame) const;
};

}  // namespace mirelay
