#include "imaging/gif/gif_write.h"

#include <gif_lib.h>

#include <cstddef>
#include <cstdint>
#include <exception>
#include <new>
#include <span>
#include <variant>
#include <vector>

#include "imaging/stop_poll.h"

#include "imaging/gif/gif_assign.h"
#include "imaging/image_error.h"

namespace mirelay {

namespace {

// giflib writes the size field 7 into the screen descriptor whenever there is no global
// table; the graphic's own packed byte replaces it on its way to the file.
constexpr std::size_t kScreenPackedOffset = 10;

struct FileSink {
  OutputFile& file;
  std::uint8_t screenPacked = 0;
  std::size_t written = 0;
  // An error of the file, kept until giflib has returned: it must not unwind through C code.
  std::exception_ptr failure;
};

int WriteToSink(GifFileType* gif, const GifByteType* bytes, int count) {
  auto& sink = *static_cast<FileSink*>(gif->UserData);
  try {
    const std::span<const std::uint8_t> chunk(bytes, static_cast<std::size_t>(count));
    if (sink.written <= kScreenPackedOffset && kScreenPackedOffset < sink.written + chunk.size()) {
      std::vector<std::uint8_t> patched(chunk.begin(), chunk.end());
      patched[kScreenPackedOffset - sink.written] = sink.screenPacked;
      sink.file.Write(patched);
    } else {
      sink.file.Write(chunk);
    }
    sink.written += chunk.size();
    return count;
  } catch (...) {
    sink.failure = std::current_exception();
    return 0;
  }
}

class GifEncoder {
 public:
  explicit GifEncoder(FileSink& sink) : sink_(sink) {
    int error = 0;
    gif_ = EGifOpen(&sink, WriteToSink, &error);
    if (gif_ == nullptr) throw ImageError(GifErrorString(error));
  }
  ~GifEncoder() {
    if (gif_ != nullptr) EGifCloseFile(gif_, nullptr);
  }
  GifEncoder(const GifEncoder&) = delete;
  GifEncoder& operator=(const GifEncoder&) = delete;
  GifEncoder(GifEncoder&&) = delete;
  GifEncoder& operator=(GifEncoder&&) = delete;

  GifFileType* get() const { return gif_; }

  // Rethrows what stopped giflib: the file's own error, or giflib's.
  void Check(int result) const {
    if (result != GIF_ERROR) return;
    if (sink_.failure) std::rethrow_exception(sink_.failure);
    throw ImageError(GifErrorString(gif_->Error));
  }

  // Writes the trailer.
  void Close() {
    int error = 0;
    const int result = EGifCloseFile(gif_, &error);
    gif_ = nullptr;
    if (sink_.failure) std::rethrow_exception(sink_.failure);
    if (result == GIF_ERROR) throw ImageError(GifErrorString(error));
  }

 private:
  FileSink& sink_;
  GifFileType* gif_;
};

class ColorMap {
 public:
  explicit ColorMap(const GifColorTable& table) {
    std::vector<GifColorType> colors(std::size_t{1} << ColorTableBits(table.size()));
    for (std::size_t i = 0; i < table.size(); ++i) {
      colors[i] = {table[i].red, table[i].green, table[i].blue};
    }
    map_ = GifMakeMapObject(static_cast<int>(colors.size()), colors.data());
    if (map_ == nullptr) throw std::bad_alloc();
  }
  ~ColorMap() { GifFreeMapObject(map_); }
  ColorMap(const ColorMap&) = delete;
  ColorMap& operator=(const ColorMap&) = delete;
  ColorMap(ColorMap&&) = delete;
  ColorMap& operator=(ColorMap&&) = delete;

  const ColorMapObject* get() const { return map_; }

 private:
  ColorMapObject* map_;
};

bool HasGraphicControl(const GifImage& image) {
  for (const auto& frame : image.frames) {
    if (frame.GraphicControl() != nullptr) return true;
  }
  return false;
}

void WriteGraphicControls(GifEncoder& encoder, const GifFrame& frame) {
  for (const auto& extension : frame.extensions) {
    const auto* control = std::get_if<GifGraphicControlExtension>(&extension);
    if (control == nullptr) continue;
    const GifByteType body[4] = {
        static_cast<GifByteType>((control->disposal & 0x07) << 2 | (control->userInput ? 0x02 : 0) |
                                 (control->transparent ? 0x01 : 0)),
        static_cast<GifByteType>(control->delay & 0xFF),
        static_cast<GifByteType>(control->delay >> 8), control->transparentIndex};
    encoder.Check(EGifPutExtension(encoder.get(), GRAPHICS_EXT_FUNC_CODE, sizeof body, body));
  }
}

void WriteFrameImage(GifEncoder& encoder, const GifFrame& frame, StopPoll& poll) {
  const ColorMap colors(frame.localColorTable);
  encoder.Check(EGifPutImageDesc(encoder.get(), frame.left, frame.top, frame.width, frame.height,
                                 false, colors.get()));
  // giflib masks the row in place, so it gets a copy of each.
  std::vector<GifPixelType> row(frame.width);
  for (std::size_t y = 0; y < frame.height; ++y) {
    const auto* indices = frame.indices.data() + y * frame.width;
    row.assign(indices, indices + frame.width);
    encoder.Check(EGifPutLine(encoder.get(), row.data(), frame.width));
    poll.Advance(frame.width);
  }
}

}  // namespace

void WriteGifImageTo(OutputFile& file, const GifImage& image, const StopRequest& stopRequested) {
  StopPoll poll(stopRequested, kBytesBetweenStopPolls);
  FileSink sink{file, image.packed, 0, nullptr};
  GifEncoder encoder(sink);
  EGifSetGifVersion(encoder.get(), HasGraphicControl(image));
  constexpr int kColorResolution = 8;
  encoder.Check(EGifPutScreenDesc(encoder.get(), image.width, image.height, kColorResolution,
                                  image.backgroundIndex, nullptr));
  for (const auto& frame : image.frames) {
    WriteGraphicControls(encoder, frame);
    if (!frame.Empty()) WriteFrameImage(encoder, frame, poll);
  }
  encoder.Close();
}

void WriteGifTo(OutputFile& file, const Bitmap& bitmap, const EncodeOptions& options) {
  WriteGifImageTo(file, GifImageFromBitmap(bitmap), options.stopRequested);
}

}  // namespace mirelay
