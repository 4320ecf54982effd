// JPEG writing over libjpeg: the library's defaults with the quality byte, baseline forced, a
// JFIF 1.01 marker and 4:2:0 sampling; the stream is built in memory and written in one piece.
#include "imaging/jpeg/jpeg_write.h"

#include <algorithm>
#include <cstddef>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "imaging/codec_options.h"
#include "imaging/image_error.h"
#include "imaging/jpeg/jpeg_trap.h"

#include <jerror.h>

namespace mirelay {

namespace {

constexpr std::size_t kOutputBlockBytes = 4096;

struct MemoryDestination {
  jpeg_destination_mgr manager;
  std::vector<std::uint8_t>* bytes;
};

struct EncodeSession {
  jpeg_compress_struct cinfo;
  JpegErrorTrap trap;
  MemoryDestination destination;
  JDIMENSION width;
  JDIMENSION height;
  int quality;
  JSAMPROW* rows;
  const StopRequest* stopRequested;
  bool stopped;
};

// Rows handed to the library between two looks at the stop request.
constexpr JDIMENSION kRowsBetweenStopPolls = 64;

// Called inside the library's error guard, where no exception may pass.
bool StopAsked(const EncodeSession& session) noexcept {
  try {
    return *session.stopRequested && (*session.stopRequested)();
  } catch (...) {
    return true;
  }
}

// Gives the library the next 4096-byte block at the end of the output; false when memory ran out.
bool AppendBlock(MemoryDestination& destination) {
  std::vector<std::uint8_t>& bytes = *destination.bytes;
  const std::size_t used = bytes.size();
  try {
    bytes.resize(used + kOutputBlockBytes);
  } catch (const std::bad_alloc&) {
    return false;
  }
  destination.manager.next_output_byte = bytes.data() + used;
  destination.manager.free_in_buffer = kOutputBlockBytes;
  return true;
}

void StartDestination(j_compress_ptr cinfo) {
  auto* destination = reinterpret_cast<MemoryDestination*>(cinfo->dest);
  if (!AppendBlock(*destination)) ERREXIT1(cinfo, JERR_OUT_OF_MEMORY, 0);
}

// Called when the current block is full.
boolean NextBlock(j_compress_ptr cinfo) {
  StartDestination(cinfo);
  return TRUE;
}

void TrimDestination(j_compress_ptr cinfo) {
  auto* destination = reinterpret_cast<MemoryDestination*>(cinfo->dest);
  std::vector<std::uint8_t>& bytes = *destination->bytes;
  bytes.resize(bytes.size() - destination->manager.free_in_buffer);
}

void AttachDestination(EncodeSession& session) {
  MemoryDestination& destination = session.destination;
  destination.manager.init_destination = StartDestination;
  destination.manager.empty_output_buffer = NextBlock;
  destination.manager.term_destination = TrimDestination;
  session.cinfo.dest = &destination.manager;
}

void ApplySettings(jpeg_compress_struct& cinfo, int quality) {
  cinfo.input_components = 3;
  // Rows go in as stored, blue-green-red; the library still writes YCbCr with a JFIF marker.
  cinfo.in_color_space = JCS_EXT_BGR;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, quality, TRUE);
  cinfo.optimize_coding = FALSE;
  cinfo.write_JFIF_header = TRUE;
  cinfo.JFIF_major_version = 1;
  cinfo.JFIF_minor_version = 1;
  cinfo.density_unit = 0;
  cinfo.X_density = 1;
  cinfo.Y_density = 1;
}

void Compress(EncodeSession& session) {
  jpeg_compress_struct& cinfo = session.cinfo;
  jpeg_create_compress(&cinfo);
  AttachDestination(session);
  cinfo.image_width = session.width;
  cinfo.image_height = session.height;
  ApplySettings(cinfo, session.quality);
  jpeg_start_compress(&cinfo, TRUE);
  while (cinfo.next_scanline < cinfo.image_height) {
    const JDIMENSION next = cinfo.next_scanline;
    const JDIMENSION rows = std::min(kRowsBetweenStopPolls, cinfo.image_height - next);
    jpeg_write_scanlines(&cinfo, session.rows + next, rows);
    if (StopAsked(session)) {
      session.stopped = true;
      return;
    }
  }
  jpeg_finish_compress(&cinfo);
}

// Owns the library context for one encode; the compressor is destroyed on every path.
class Compressor {
 public:
  Compressor() : session_(new EncodeSession{}) {
    session_->cinfo.err = InstallErrorTrap(session_->trap);
  }
  ~Compressor() { jpeg_destroy_compress(&session_->cinfo); }
  Compressor(const Compressor&) = delete;
  Compressor& operator=(const Compressor&) = delete;
  Compressor(Compressor&&) = delete;
  Compressor& operator=(Compressor&&) = delete;

  std::vector<std::uint8_t> Encode(const Bitmap& picture, std::uint8_t quality,
                                   const StopRequest& stopRequested) {
    std::vector<std::uint8_t> bytes;
    std::vector<JSAMPROW> rows(static_cast<std::size_t>(picture.Height()));
    for (std::int32_t row = 0; row < picture.Height(); ++row) {
      // The library only reads input rows; its row type just lacks the const.
      rows[row] = const_cast<JSAMPROW>(picture.RowPointer(row));
    }
    EncodeSession& session = *session_;
    session.destination.bytes = &bytes;
    session.width = static_cast<JDIMENSION>(picture.Width());
    session.height = static_cast<JDIMENSION>(picture.Height());
    session.quality = quality;
    session.rows = rows.data();
    session.stopRequested = &stopRequested;
    if (!RunTrapped(session, Compress)) throw JpegError(session.trap.manager);
    if (session.stopped) throw ImageError(FailureKind::kStopped);
    return bytes;
  }

 private:
  std::unique_ptr<EncodeSession> session_;
};

}  // namespace

std::vector<std::uint8_t> EncodeJpeg(const Bitmap& bitmap, std::uint8_t quality,
                                     const StopRequest& stopRequested) {
  if (bitmap.Width() == 0 || bitmap.Height() == 0) return {};
  if (bitmap.Format() == PixelFormat::kBits24) {
    return Compressor().Encode(bitmap, quality, stopRequested);
  }
  Bitmap copy = bitmap;
  ConvertTo24Bit(copy);
  return Compressor().Encode(copy, quality, stopRequested);
}

void WriteJpegTo(OutputFile& file, const Bitmap& bitmap, const EncodeOptions& options) {
  file.Write(EncodeJpeg(bitmap, options.quality, options.stopRequested));
}

}  // namespace mirelay
