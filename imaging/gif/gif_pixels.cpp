#include "imaging/gif/gif_pixels.h"

#include <gif_lib.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "imaging/image_error.h"

namespace mirelay {

namespace {

// giflib decodes only after reading a header and a screen descriptor, so each frame's code
// stream is handed to it behind a minimal file of its own: header, screen descriptor and the
// image descriptor that DGifGetImageDesc reads after the separator.
constexpr std::size_t kPreambleBytes = 6 + 7 + 9;

struct CodeStream {
  std::vector<std::uint8_t> bytes;
  std::size_t position = 0;
};

int ReadCodeStream(GifFileType* gif, GifByteType* out, int count) {
  auto& stream = *static_cast<CodeStream*>(gif->UserData);
  const std::size_t taken =
      std::min(static_cast<std::size_t>(count), stream.bytes.size() - stream.position);
  std::memcpy(out, stream.bytes.data() + stream.position, taken);
  stream.position += taken;
  return static_cast<int>(taken);
}

void PutWord(std::vector<std::uint8_t>& bytes, std::uint16_t value) {
  bytes.push_back(static_cast<std::uint8_t>(value & 0xFF));
  bytes.push_back(static_cast<std::uint8_t>(value >> 8));
}

std::vector<std::uint8_t> Preamble(const GifFrame& frame) {
  std::vector<std::uint8_t> bytes{'G', 'I', 'F', '8', '9', 'a'};
  bytes.reserve(kPreambleBytes);
  PutWord(bytes, frame.width);
  PutWord(bytes, frame.height);
  bytes.insert(bytes.end(), {0, 0, 0, 0, 0, 0, 0});
  PutWord(bytes, frame.width);
  PutWord(bytes, frame.height);
  bytes.push_back(0);
  return bytes;
}

// Appends the data sub-blocks up to the zero length byte or the end of the file, a length
// reaching past the end cut to what is left. The stream deliberately ends without the zero
// length byte, so that giflib running out of data reports a failed read, which tells early
// ends apart from defects of the codes.
void AppendSubBlocks(ByteReader& reader, std::vector<std::uint8_t>& bytes) {
  while (!reader.AtEnd()) {
    const std::uint8_t length = reader.U8();
    if (length == 0) return;
    const auto data = reader.Bytes(std::min<std::size_t>(length, reader.Remaining()));
    bytes.push_back(static_cast<std::uint8_t>(data.size()));
    bytes.insert(bytes.end(), data.begin(), data.end());
  }
}

// The rows in the order the file stores them.
std::vector<std::uint16_t> RowOrder(const GifFrame& frame) {
  std::vector<std::uint16_t> rows;
  rows.reserve(frame.height);
  if (!frame.interlaced) {
    for (std::uint32_t row = 0; row < frame.height; ++row) rows.push_back(row);
    return rows;
  }
  constexpr std::array<std::uint32_t, 4> kStart{0, 4, 2, 1};
  constexpr std::array<std::uint32_t, 4> kStep{8, 8, 4, 2};
  for (std::size_t pass = 0; pass < kStart.size(); ++pass) {
    for (std::uint32_t row = kStart[pass]; row < frame.height; row += kStep[pass]) {
      rows.push_back(static_cast<std::uint16_t>(row));
    }
  }
  return rows;
}

class GifDecoder {
 public:
  explicit GifDecoder(CodeStream& stream) {
    int error = 0;
    gif_ = DGifOpen(&stream, ReadCodeStream, &error);
    if (gif_ == nullptr) throw ImageError(GifErrorString(error));
  }
  ~GifDecoder() { DGifCloseFile(gif_, nullptr); }
  GifDecoder(const GifDecoder&) = delete;
  GifDecoder& operator=(const GifDecoder&) = delete;
  GifDecoder(GifDecoder&&) = delete;
  GifDecoder& operator=(GifDecoder&&) = delete;

  GifFileType* get() const { return gif_; }

 private:
  GifFileType* gif_;
};

// Runs giflib over the rows, each decoded into the memory that `rowMemory(row)` gives and then
// handed to `rowDone(row)`, a row cut short included. It reports running out of data as a
// failed read and the end code as an early end: both leave the rest of the frame as it was. It
// reports a prefix chain that never reaches a pixel as an image defect, whether the chain leads
// back to itself or into an entry not yet defined; both fail the load.
template <typename RowMemory, typename RowDone>
void DecodeRows(CodeStream& stream, const GifFrame& frame, RowMemory rowMemory, RowDone rowDone,
                StopPoll& poll) {
  GifDecoder decoder(stream);
  GifFileType* gif = decoder.get();
  // A code size giflib refuses (above 8) is a defect that ends the frame before its first row.
  if (DGifGetImageDesc(gif) == GIF_ERROR) return;
  for (const std::uint16_t row : RowOrder(frame)) {
    const bool decoded = DGifGetLine(gif, rowMemory(row), frame.width) == GIF_OK;
    rowDone(row);
    if (decoded) {
      poll.Advance(frame.width);
      continue;
    }
    if (gif->Error == D_GIF_ERR_IMAGE_DEFECT) throw ImageError(kGifCircularEntry);
    return;
  }
}

CodeStream CollectCodeStream(ByteReader& reader, const GifFrame& frame) {
  CodeStream stream{Preamble(frame)};
  stream.bytes.push_back(reader.U8());
  AppendSubBlocks(reader, stream.bytes);
  return stream;
}

}  // namespace

void DecodeFramePixels(ByteReader& reader, GifFrame& frame, StopPoll& poll) {
  const std::uint8_t fill = frame.Transparent() ? frame.TransparentIndex() : 0;
  const std::size_t keptWidth = frame.keptWidth;
  frame.indices.assign(keptWidth * frame.keptHeight, fill);
  if (reader.AtEnd()) return;
  CodeStream stream = CollectCodeStream(reader, frame);
  if (frame.width == 0 || frame.height == 0) return;
  // Rows kept whole are decoded in place; every other row goes through one row of memory, of
  // which a kept row keeps its first columns.
  std::vector<std::uint8_t> scratch;
  const auto inPlace = [&](std::uint16_t row) {
    return row < frame.keptHeight && keptWidth == frame.width;
  };
  const auto rowMemory = [&](std::uint16_t row) {
    if (inPlace(row)) return frame.indices.data() + row * keptWidth;
    scratch.resize(frame.width);
    // A row cut short keeps the fill in its undecoded columns, as a row decoded in place does.
    if (row < frame.keptHeight) std::fill_n(scratch.begin(), keptWidth, fill);
    return scratch.data();
  };
  const auto rowDone = [&](std::uint16_t row) {
    if (row >= frame.keptHeight || inPlace(row)) return;
    std::copy_n(scratch.begin(), keptWidth, frame.indices.begin() + row * keptWidth);
  };
  DecodeRows(stream, frame, rowMemory, rowDone, poll);
}

}  // namespace mirelay
