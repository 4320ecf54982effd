#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace mirelay {

struct TGIFColor {
  std::uint8_t red = 0;
  std::uint8_t green = 0;
  std::uint8_t blue = 0;
  friend bool operator==(const TGIFColor&, const TGIFColor&) = default;
};

// Empty, or 2 to 256 entries.
using TGIFColorTable = std::vector<TGIFColor>;

struct TGIFGraphicControlExtension {
  std::uint8_t disposal = 0;
  bool userInput = false;
  // Hundredths of a second.
  std::uint16_t delay = 0;
  bool transparent = false;
  std::uint8_t transparentIndex = 0;
  friend bool operator==(const TGIFGraphicControlExtension&,
                         const TGIFGraphicControlExtension&) = default;
};

struct TGIFCommentExtension {
  // One line per data sub-block.
  std::vector<std::string> lines;
};

struct TGIFTextExtension {
  // The block-size byte and the 12 header bytes, as stored.
  std::array<std::uint8_t, 13> header{};
  std::vector<std::string> lines;
};

struct TGIFApplicationExtension {
  // 11 bytes, or 10 for a block-size byte of 10.
  std::string identifier;
};

struct TGIFAppExtNSLoop : TGIFApplicationExtension {
  // 0 means forever.
  std::uint16_t loopCount = 0;
  std::uint32_t bufferSize = 0;
};

struct TGIFUnknownAppExtension : TGIFApplicationExtension {
  std::vector<std::vector<std::uint8_t>> data;
};

using TGIFExtension = std::variant<TGIFGraphicControlExtension, TGIFCommentExtension,
                                   TGIFTextExtension, TGIFAppExtNSLoop, TGIFUnknownAppExtension>;

// One frame: the extensions that stood before it and, unless it is empty, its image.
class TGIFSubImage {
 public:
  std::uint16_t left = 0;
  std::uint16_t top = 0;
  std::uint16_t width = 0;
  std::uint16_t height = 0;
  bool interlaced = false;
  TGIFColorTable localColorTable;
  // width * height indices, row 0 at the top, whatever the file's interlacing.
  std::vector<std::uint8_t> indices;
  std::vector<TGIFExtension> extensions;
  bool hasImage = false;

  bool Empty() const { return !hasImage; }
  // True when any graphic control extension sets the transparent flag.
  bool Transparent() const;
  // The index held by the first graphic control extension (0 without one).
  std::uint8_t TransparentIndex() const;
  const TGIFGraphicControlExtension* GraphicControl() const;
  const TGIFAppExtNSLoop* LoopExtension() const;
};

struct TGIFDrawOptions {
  bool threaded = true;
  bool transparent = true;
  bool animate = true;
  bool loop = true;
  bool dither = true;
  bool ditherOnlyOnPaletteDisplay = true;
  bool tiled = false;
  bool direct = false;
  bool loopForever = false;
  friend bool operator==(const TGIFDrawOptions&, const TGIFDrawOptions&) = default;
};

enum class TGIFColorReduction { kColorCube216 };
enum class TGIFDitherMode { kNone, kFloydSteinberg };
enum class TGIFCompression { kLzw };
enum class TGIFPainterPriority { kNormal };

struct TGIFSettings {
  TGIFDrawOptions drawOptions;
  TGIFColorReduction colorReduction = TGIFColorReduction::kColorCube216;
  TGIFDitherMode ditherMode = TGIFDitherMode::kNone;
  TGIFCompression compression = TGIFCompression::kLzw;
  TGIFPainterPriority painterPriority = TGIFPainterPriority::kNormal;
  // Per cent; scales every frame delay.
  int animationSpeed = 100;
  // None: the file's own background colour.
  std::optional<TGIFColor> drawBackgroundColor;
};

// A loaded GIF file: its logical screen, global colour table and frames in file order.
class TGIFImage {
 public:
  std::uint16_t width = 0;
  std::uint16_t height = 0;
  std::uint8_t packed = 0;
  std::uint8_t backgroundIndex = 0;
  std::uint8_t aspect = 0;
  TGIFColorTable globalColorTable;
  std::vector<TGIFSubImage> frames;
  TGIFSettings settings;

  // The frame's local table when it has entries, otherwise the global one.
  const TGIFColorTable& ActiveColorTable(const TGIFSubImage& frame) const;
};

}  // namespace mirelay
