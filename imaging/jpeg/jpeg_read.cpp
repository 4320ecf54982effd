// JPEG reading over libjpeg: the whole file sits in memory, the library decodes it at full size
// and writes its rows straight into the bitmap, greys through its 236-level quantiser.
#include "imaging/jpeg/jpeg_read.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "imaging/image_error.h"
#include "imaging/jpeg/jpeg_trap.h"
#include "imaging/stop_poll.h"

#include <jerror.h>

namespace mirelay {

namespace {

constexpr int kGreyLevels = 236;
// Every scan walks all blocks of its components, so a small file repeating a scan can keep a
// large picture decoding for minutes. Encoders write about ten scans (libjpeg's own progression
// has ten, six for grey); libjpeg-turbo's TurboJPEG layer stops at 500 only as a safety net.
constexpr int kMaxScans = 100;
// The same cost counted in blocks, since a picture of 300 megapixels makes each scan 30 times
// dearer than one of 10: about five seconds of scans at most. libjpeg's ten-scan progression of
// the largest picture the default cap admits visits about 43 million blocks.
constexpr std::uint64_t kMaxScanBlocks = std::uint64_t{1} << 26;
constexpr JOCTET kEndOfImage[] = {0xFF, JPEG_EOI};

struct MemorySource {
  jpeg_source_mgr manager;
  bool hadData;
};

struct DecodeSession {
  jpeg_decompress_struct cinfo;
  JpegErrorTrap trap;
  MemorySource source;
  jpeg_progress_mgr progress;
  const JOCTET* file;
  std::size_t fileSize;
  JSAMPROW* rows;
  const DecodeOptions* options;
  bool stopped;
  int countedScan;
  std::uint64_t scanBlocks;
  // The command's words for a limit of ours that ended the decode.
  std::string limitExceeded;
};

void IgnoreSource(j_decompress_ptr) {}

// Past the end of the data the library gets an end-of-image marker, so a truncated file still
// yields the rows decoded so far.
boolean SupplyEndOfImage(j_decompress_ptr cinfo) {
  auto* source = reinterpret_cast<MemorySource*>(cinfo->src);
  if (!source->hadData) ERREXIT(cinfo, JERR_INPUT_EMPTY);
  WARNMS(cinfo, JWRN_JPEG_EOF);
  source->manager.next_input_byte = kEndOfImage;
  source->manager.bytes_in_buffer = sizeof kEndOfImage;
  return TRUE;
}

// A skip past the end stops at the end; the next read then meets the synthetic marker once.
void SkipInput(j_decompress_ptr cinfo, long count) {
  jpeg_source_mgr* source = cinfo->src;
  if (count <= 0) return;
  const auto skipped = std::min(static_cast<std::size_t>(count), source->bytes_in_buffer);
  source->next_input_byte += skipped;
  source->bytes_in_buffer -= skipped;
}

void AttachSource(DecodeSession& session) {
  MemorySource& source = session.source;
  source.manager.init_source = IgnoreSource;
  source.manager.fill_input_buffer = SupplyEndOfImage;
  source.manager.skip_input_data = SkipInput;
  source.manager.resync_to_restart = jpeg_resync_to_restart;
  source.manager.term_source = IgnoreSource;
  source.manager.next_input_byte = session.file;
  source.manager.bytes_in_buffer = session.fileSize;
  source.hadData = session.fileSize > 0;
  session.cinfo.src = &source.manager;
}

// A stop request that threw would have to cross the library's C frames; terminate instead.
bool StopAsked(const DecodeSession& session) noexcept { return session.options->StopRequested(); }

// Adds a scan's blocks the first time the library reports the scan.
void CountScan(DecodeSession& session) {
  const jpeg_decompress_struct& cinfo = session.cinfo;
  if (cinfo.input_scan_number == session.countedScan) return;
  session.countedScan = cinfo.input_scan_number;
  for (int i = 0; i < cinfo.comps_in_scan; ++i) {
    const jpeg_component_info& component = *cinfo.cur_comp_info[i];
    session.scanBlocks += std::uint64_t{component.width_in_blocks} * component.height_in_blocks;
  }
}

// The library calls this for every row group it reads or writes, so it is where a decode is
// bounded and stopped; it leaves the way the error manager does.
void MonitorProgress(j_common_ptr cinfo) {
  auto& session = *static_cast<DecodeSession*>(cinfo->client_data);
  if (StopAsked(session)) {
    session.stopped = true;
    (*cinfo->err->error_exit)(cinfo);
  }
  CountScan(session);
  if (session.cinfo.input_scan_number > kMaxScans) {
    session.limitExceeded =
        "Progressive JPEG image has more than " + std::to_string(kMaxScans) + " scans";
  } else if (session.scanBlocks > kMaxScanBlocks) {
    session.limitExceeded = "Progressive JPEG image's scans pass over more than " +
                            std::to_string(kMaxScanBlocks) + " blocks";
  }
  if (!session.limitExceeded.empty()) ERREXIT1(cinfo, JERR_BAD_SCAN_SCRIPT, kMaxScans);
}

void CreateAndReadHeader(DecodeSession& session) {
  jpeg_create_decompress(&session.cinfo);
  session.cinfo.client_data = &session;
  session.progress.progress_monitor = MonitorProgress;
  session.cinfo.progress = &session.progress;
  // Whole-image coefficient buffers (progressive files) are sized by the header; keep them under
  // the same cap as the pixels instead of trusting the file.
  session.cinfo.mem->max_memory_to_use = static_cast<long>(MaxPixelBytes());
  AttachSource(session);
  jpeg_read_header(&session.cinfo, TRUE);
}

void ApplySettings(jpeg_decompress_struct& cinfo) {
  cinfo.scale_num = 1;
  cinfo.scale_denom = 1;
  cinfo.dct_method = JDCT_ISLOW;
  cinfo.do_fancy_upsampling = TRUE;
  cinfo.do_block_smoothing = TRUE;
  cinfo.buffered_image = FALSE;
  cinfo.output_gamma = 1.0;
  if (cinfo.out_color_space == JCS_GRAYSCALE) {
    cinfo.quantize_colors = TRUE;
    cinfo.desired_number_of_colors = kGreyLevels;
    cinfo.two_pass_quantize = FALSE;
    cinfo.dither_mode = JDITHER_FS;
  } else {
    // Blue-green-red rows are exactly the bitmap's 24-bit layout.
    cinfo.out_color_space = JCS_EXT_BGR;
  }
}

void StartDecompress(DecodeSession& session) {
  ApplySettings(session.cinfo);
  jpeg_start_decompress(&session.cinfo);
}

void ReadRowsAndFinish(DecodeSession& session) {
  jpeg_decompress_struct& cinfo = session.cinfo;
  while (cinfo.output_scanline < cinfo.output_height) {
    const JDIMENSION next = cinfo.output_scanline;
    jpeg_read_scanlines(&cinfo, session.rows + next, cinfo.output_height - next);
  }
  jpeg_finish_decompress(&cinfo);
}

// Owns the library context for one decode; the decompressor is destroyed on every path.
class Decompressor {
 public:
  Decompressor(std::span<const std::uint8_t> file, const DecodeOptions& options)
      : session_(new DecodeSession{}) {
    session_->cinfo.err = InstallErrorTrap(session_->trap);
    session_->file = file.data();
    session_->fileSize = file.size();
    session_->options = &options;
  }
  ~Decompressor() { jpeg_destroy_decompress(&session_->cinfo); }
  Decompressor(const Decompressor&) = delete;
  Decompressor& operator=(const Decompressor&) = delete;
  Decompressor(Decompressor&&) = delete;
  Decompressor& operator=(Decompressor&&) = delete;

  void Run(void (*step)(DecodeSession&)) {
    if (RunTrapped(*session_, step)) return;
    if (session_->stopped) throw ImageError(FailureKind::kStopped);
    const ImageError error = JpegError(session_->trap.manager);
    if (session_->limitExceeded.empty()) throw error;
    throw ImageError(error.what(), session_->limitExceeded);
  }
  [[noreturn]] static void Fail(int messageCode) { throw JpegError(messageCode); }

  DecodeSession& Session() { return *session_; }
  jpeg_decompress_struct& Info() { return session_->cinfo; }

 private:
  std::unique_ptr<DecodeSession> session_;
};

// The library accepts more than this program does: arithmetic coding (this build decodes it)
// and colour spaces other than grey and three-component colour.
void RejectUnsupported(const jpeg_decompress_struct& cinfo) {
  if (cinfo.arith_code) Decompressor::Fail(JERR_ARITH_NOTIMPL);
  if (cinfo.num_components != 1 && cinfo.num_components != 3) {
    Decompressor::Fail(JERR_CONVERSION_NOTIMPL);
  }
}

PixelFormat OutputFormat(const jpeg_decompress_struct& cinfo) {
  return cinfo.out_color_space == JCS_GRAYSCALE ? PixelFormat::kIndexed8 : PixelFormat::kBits24;
}

std::vector<PaletteEntry> GreyTable(const jpeg_decompress_struct& cinfo) {
  std::vector<PaletteEntry> table(static_cast<std::size_t>(cinfo.actual_number_of_colors));
  for (std::size_t j = 0; j < table.size(); ++j) {
    const JSAMPLE level = cinfo.colormap[0][j];
    table[j] = {level, level, level, 0};
  }
  return table;
}

std::vector<JSAMPROW> RowsOf(Bitmap& bitmap) {
  std::vector<JSAMPROW> rows(static_cast<std::size_t>(bitmap.Height()));
  for (std::int32_t row = 0; row < bitmap.Height(); ++row) rows[row] = bitmap.RowPointer(row);
  return rows;
}

}  // namespace

Bitmap DecodeJpeg(std::span<const std::uint8_t> file, const DecodeOptions& options) {
  Decompressor decompressor(file, options);
  decompressor.Run(CreateAndReadHeader);
  jpeg_decompress_struct& cinfo = decompressor.Info();
  RejectUnsupported(cinfo);
  // The library caps each side at 65500, so the sizes fit a signed 32-bit value.
  const auto width = static_cast<std::int32_t>(cinfo.image_width);
  const auto height = static_cast<std::int32_t>(cinfo.image_height);
  CheckPictureSize(OutputFormat(cinfo), width, height);

  decompressor.Run(StartDecompress);
  Bitmap bitmap(OutputFormat(cinfo), static_cast<std::int32_t>(cinfo.output_width),
                static_cast<std::int32_t>(cinfo.output_height));
  if (cinfo.quantize_colors) bitmap.colorTable = GreyTable(cinfo);
  std::vector<JSAMPROW> rows = RowsOf(bitmap);
  decompressor.Session().rows = rows.data();
  decompressor.Run(ReadRowsAndFinish);
  return bitmap;
}

}  // namespace mirelay
