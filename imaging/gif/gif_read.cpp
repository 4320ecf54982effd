#include "imaging/gif/gif_read.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <string>
#include <utility>
#include <vector>

#include "imaging/bitmap.h"
#include "imaging/byte_reader.h"

#include "imaging/gif/gif_pixels.h"
#include "imaging/image_error.h"
#include "imaging/stop_poll.h"

namespace mirelay {

namespace {

constexpr std::uint8_t kExtensionIntroducer = 0x21;
constexpr std::uint8_t kImageSeparator = 0x2C;
constexpr std::uint8_t kTrailer = 0x3B;
constexpr std::uint8_t kPlainTextLabel = 0x01;
constexpr std::uint8_t kGraphicControlLabel = 0xF9;
constexpr std::uint8_t kCommentLabel = 0xFE;
constexpr std::uint8_t kApplicationLabel = 0xFF;
constexpr std::uint8_t kColorTableFlag = 0x80;
constexpr std::uint8_t kInterlaceFlag = 0x40;
constexpr std::size_t kGraphicControlBytes = 6;
constexpr std::size_t kPlainTextHeaderBytes = 13;

struct ReadContext {
  ByteReader reader;
  StopPoll poll;
  GifImage image;
  bool keepLaterFrames = false;
  bool paletteDisplay = false;
  std::size_t maxPixelBytes = 0;
  std::size_t pixelBytes = 0;
};

GifColorTable ReadColorTable(ByteReader& reader, std::uint8_t packed) {
  const std::size_t count = std::size_t{2} << (packed & 0x07);
  const auto bytes = reader.Bytes(3 * count);
  GifColorTable table(count);
  for (std::size_t i = 0; i < count; ++i)
    table[i] = {bytes[3 * i], bytes[3 * i + 1], bytes[3 * i + 2]};
  return table;
}

void ReadLogicalScreen(ReadContext& context) {
  auto& reader = context.reader;
  auto& image = context.image;
  // The version bytes are not examined: any version loads.
  reader.Skip(6);
  image.width = reader.U16LE();
  image.height = reader.U16LE();
  image.packed = reader.U8();
  image.backgroundIndex = reader.U8();
  image.aspect = reader.U8();
  if (image.packed & kColorTableFlag) image.globalColorTable = ReadColorTable(reader, image.packed);
}

// Data sub-blocks up to a zero length byte or the end of the file, each as a `Block`.
template <typename Block>
std::vector<Block> ReadSubBlocks(ByteReader& reader) {
  std::vector<Block> blocks;
  while (!reader.AtEnd()) {
    const std::uint8_t length = reader.U8();
    if (length == 0) break;
    const auto bytes = reader.Bytes(length);
    blocks.emplace_back(bytes.begin(), bytes.end());
  }
  return blocks;
}

std::vector<std::string> ReadTextLines(ByteReader& reader) {
  return ReadSubBlocks<std::string>(reader);
}

std::vector<std::vector<std::uint8_t>> ReadDataBlocks(ByteReader& reader) {
  return ReadSubBlocks<std::vector<std::uint8_t>>(reader);
}

// Taken as six bytes whatever the block-size byte says, as far as the file reaches.
GifGraphicControlExtension ReadGraphicControl(ByteReader& reader) {
  std::array<std::uint8_t, kGraphicControlBytes> body{};
  const auto available = reader.Bytes(std::min(kGraphicControlBytes, reader.Remaining()));
  std::copy(available.begin(), available.end(), body.begin());
  GifGraphicControlExtension control;
  control.disposal = (body[1] >> 2) & 0x07;
  control.userInput = (body[1] & 0x02) != 0;
  control.transparent = (body[1] & 0x01) != 0;
  control.delay = static_cast<std::uint16_t>(body[2] | (body[3] << 8));
  control.transparentIndex = body[4];
  return control;
}

GifPlainTextExtension ReadPlainText(ByteReader& reader) {
  GifPlainTextExtension text;
  const auto header = reader.Bytes(kPlainTextHeaderBytes);
  std::copy(header.begin(), header.end(), text.header.begin());
  text.lines = ReadTextLines(reader);
  return text;
}

GifLoopExtension ReadLoopData(ByteReader& reader, std::string identifier) {
  GifLoopExtension loop;
  loop.identifier = std::move(identifier);
  for (const auto& block : ReadDataBlocks(reader)) {
    switch (block[0] & 0x07) {
      case 1:
        if (block.size() < 3) throw ImageError(kGifInvalidData);
        loop.loopCount = static_cast<std::uint16_t>(block[1] | (block[2] << 8));
        break;
      case 2:
        if (block.size() < 5) throw ImageError(kGifInvalidData);
        loop.bufferSize = std::uint32_t{block[1]} | (std::uint32_t{block[2]} << 8) |
                          (std::uint32_t{block[3]} << 16) | (std::uint32_t{block[4]} << 24);
        break;
    }
  }
  return loop;
}

GifExtension ReadApplication(ByteReader& reader) {
  const std::uint8_t blockSize = reader.U8();
  if (blockSize != 10 && blockSize != 11) throw ImageError(kGifBadAppBlockSize);
  const auto bytes = reader.Bytes(blockSize);
  std::string identifier(bytes.begin(), bytes.end());
  if (identifier == "NETSCAPE2.0" || identifier == "ANIMEXTS1.0") {
    return ReadLoopData(reader, std::move(identifier));
  }
  GifUnknownApplicationExtension unknown;
  unknown.identifier = std::move(identifier);
  unknown.data = ReadDataBlocks(reader);
  return unknown;
}

// Reads the label and body of an extension whose introducer has been taken.
GifExtension ReadExtension(ByteReader& reader) {
  switch (reader.U8()) {
    case kGraphicControlLabel:
      return ReadGraphicControl(reader);
    case kCommentLabel:
      return GifCommentExtension{ReadTextLines(reader)};
    case kPlainTextLabel:
      return ReadPlainText(reader);
    case kApplicationLabel:
      return ReadApplication(reader);
  }
  throw ImageError(kGifUnknownExtension);
}

// What of the frame can reach a picture. A frame of the screen's size is taken whole wherever it
// lies, since the working image is then the frame itself. Of any other frame only what lies on
// the screen is painted; on a palette display each row's dithering also carries errors leftwards
// from one column further past the screen's right edge for every row below it, so those stay too.
// A huge frame on a small screen then costs what the screen does.
void ChooseKeptPart(const ReadContext& context, GifFrame& frame) {
  const GifImage& image = context.image;
  if (frame.width == image.width && frame.height == image.height) {
    frame.keptWidth = frame.width;
    frame.keptHeight = frame.height;
    return;
  }
  const GifFrameClip clip = image.ScreenClip(frame);
  if (clip.width == 0 || clip.height == 0) return;
  std::int32_t width = clip.width;
  if (context.paletteDisplay) {
    width = std::min<std::int32_t>(frame.width, clip.width + clip.height - 1);
  }
  frame.keptWidth = static_cast<std::uint16_t>(width);
  frame.keptHeight = static_cast<std::uint16_t>(clip.height);
}

// Whether the frame being read keeps its kept part, decided before anything is allocated.
// Frame 0 is refused when its whole raster would pass the cap, kept part or not, so the files
// accepted do not depend on where a frame lies. Kept parts share one budget, and the first later
// frame whose part does not fit ends the keeping of all later frames, those kept so far included.
bool KeepPixels(ReadContext& context, const GifFrame& frame) {
  const std::size_t count = std::size_t{frame.keptWidth} * frame.keptHeight;
  auto& frames = context.image.frames;
  if (frames.empty()) {
    if (std::size_t{frame.width} * frame.height > context.maxPixelBytes) {
      throw ImageError(FailureKind::kPictureTooLarge);
    }
  } else if (!(context.keepLaterFrames && count <= context.maxPixelBytes - context.pixelBytes)) {
    context.keepLaterFrames = false;
    frames.erase(frames.begin() + 1, frames.end());
    return false;
  }
  context.pixelBytes += count;
  return true;
}

// The image descriptor after its separator, the local colour table and the pixels.
void ReadFrameImage(ReadContext& context, GifFrame& frame) {
  auto& reader = context.reader;
  frame.left = reader.U16LE();
  frame.top = reader.U16LE();
  frame.width = reader.U16LE();
  frame.height = reader.U16LE();
  const std::uint8_t packed = reader.U8();
  if (frame.width == 0 || frame.height == 0) {
    frame.width = context.image.width;
    frame.height = context.image.height;
  }
  frame.interlaced = (packed & kInterlaceFlag) != 0;
  if (packed & kColorTableFlag) frame.localColorTable = ReadColorTable(reader, packed);
  frame.hasImage = true;
  ChooseKeptPart(context, frame);
  if (!KeepPixels(context, frame)) {
    frame.keptWidth = 0;
    frame.keptHeight = 0;
  }
  DecodeFramePixels(reader, frame, context.poll);
}

void ReadFrame(ReadContext& context) {
  auto& reader = context.reader;
  GifFrame frame;
  while (reader.Peek() == kExtensionIntroducer) {
    reader.Skip(1);
    frame.extensions.push_back(ReadExtension(reader));
  }
  const auto next = reader.Peek();
  if (next.has_value() && *next != kTrailer && *next != 0x00) {
    // Whatever its value, this byte stands where the image separator belongs.
    reader.Skip(1);
    ReadFrameImage(context, frame);
  }
  if (context.image.frames.empty() || context.keepLaterFrames) {
    context.image.frames.push_back(std::move(frame));
  }
}

void ReadBlocks(ReadContext& context) {
  auto& reader = context.reader;
  while (const auto byte = reader.Peek()) {
    if (*byte == 0x00) {
      reader.Skip(1);
    } else if (*byte == kExtensionIntroducer || *byte == kImageSeparator) {
      ReadFrame(context);
    } else {
      // The trailer, or a stray byte: the frames read so far stand.
      return;
    }
  }
}

}  // namespace

GifImage DecodeGifImage(std::span<const std::uint8_t> file, KeptFrames kept,
                        const DecodeOptions& options) {
  ReadContext context{ByteReader(file, kGifPrematureEnd),
                      StopPoll(options.stopRequested, kBytesBetweenStopPolls),
                      {}};
  context.keepLaterFrames = kept == KeptFrames::kAllThatFit;
  context.paletteDisplay = options.paletteDisplay;
  context.maxPixelBytes = MaxPixelBytes();
  ReadLogicalScreen(context);
  ReadBlocks(context);
  return std::move(context.image);
}

}  // namespace mirelay
