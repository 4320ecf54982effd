#include "imaging/png/png_write.h"

#include <zlib.h>

#include <array>
#include <cstddef>
#include <ctime>
#include <span>
#include <string_view>
#include <vector>

#include "imaging/image_error.h"
#include "imaging/png/png_signature.h"
#include "imaging/stop_poll.h"

namespace mirelay {

namespace {

constexpr std::size_t kIdatBytes = 32768;
constexpr int kCompressionLevel = 6;
constexpr int kWindowBits = 15;
constexpr int kMemoryLevel = 8;
constexpr std::string_view kSoftwareKeyword = "Software";
constexpr std::string_view kEncoderName = "Mirelay PNG3.4";
constexpr std::array<std::uint8_t, 8> kPrivateChunk = {'Q', 'X', 'V', '3', 0, 0, 0, 0};
constexpr std::uint32_t kGamma = 45455;
constexpr char kWriteError[] = "Write Image (PNG): Write Error";

void AppendU32(std::vector<std::uint8_t>& out, std::uint32_t value) {
  out.push_back(static_cast<std::uint8_t>(value >> 24));
  out.push_back(static_cast<std::uint8_t>(value >> 16));
  out.push_back(static_cast<std::uint8_t>(value >> 8));
  out.push_back(static_cast<std::uint8_t>(value));
}

void AppendChunk(std::vector<std::uint8_t>& out, std::string_view type,
                 std::span<const std::uint8_t> data) {
  AppendU32(out, static_cast<std::uint32_t>(data.size()));
  const std::size_t typeAt = out.size();
  out.insert(out.end(), type.begin(), type.end());
  out.insert(out.end(), data.begin(), data.end());
  const auto crc = crc32(0, out.data() + typeAt, static_cast<uInt>(out.size() - typeAt));
  AppendU32(out, static_cast<std::uint32_t>(crc));
}

std::vector<std::uint8_t> HeaderData(const Bitmap& image) {
  std::vector<std::uint8_t> data;
  AppendU32(data, static_cast<std::uint32_t>(image.Width()));
  AppendU32(data, static_cast<std::uint32_t>(image.Height()));
  const std::array<std::uint8_t, 5> rest = {8, 2, 0, 0, 0};
  data.insert(data.end(), rest.begin(), rest.end());
  return data;
}

std::array<std::uint8_t, 7> TimeData(const PngTime& time) {
  return {static_cast<std::uint8_t>(time.year >> 8),
          static_cast<std::uint8_t>(time.year),
          time.month,
          time.day,
          time.hour,
          time.minute,
          time.second};
}

std::vector<std::uint8_t> SoftwareData() {
  std::vector<std::uint8_t> data(kSoftwareKeyword.begin(), kSoftwareKeyword.end());
  data.push_back(0);
  data.insert(data.end(), kEncoderName.begin(), kEncoderName.end());
  return data;
}

// One zlib stream over all rows, cut into IDAT chunks of 32768 bytes as the output fills.
// zlib is driven directly because libpng narrows the window of small images, which would
// change the stream header.
class IdatWriter {
 public:
  explicit IdatWriter(std::vector<std::uint8_t>& out) : out_(out) {
    if (deflateInit2(&stream_, kCompressionLevel, Z_DEFLATED, kWindowBits, kMemoryLevel,
                     Z_DEFAULT_STRATEGY) != Z_OK) {
      throw ImageError(kWriteError);
    }
  }
  ~IdatWriter() { deflateEnd(&stream_); }
  IdatWriter(const IdatWriter&) = delete;
  IdatWriter& operator=(const IdatWriter&) = delete;
  IdatWriter(IdatWriter&&) = delete;
  IdatWriter& operator=(IdatWriter&&) = delete;

  void Write(std::span<const std::uint8_t> bytes) { Deflate(bytes, Z_NO_FLUSH); }

  void Finish() {
    Deflate({}, Z_FINISH);
    if (filled_ > 0) EmitChunk();
  }

 private:
  void Deflate(std::span<const std::uint8_t> bytes, int flush) {
    stream_.next_in = const_cast<Bytef*>(bytes.data());
    stream_.avail_in = static_cast<uInt>(bytes.size());
    int result = Z_OK;
    do {
      stream_.next_out = buffer_.data() + filled_;
      stream_.avail_out = static_cast<uInt>(buffer_.size() - filled_);
      result = deflate(&stream_, flush);
      if (result != Z_OK && result != Z_STREAM_END && result != Z_BUF_ERROR) {
        throw ImageError(kWriteError);
      }
      filled_ = buffer_.size() - stream_.avail_out;
      if (filled_ == buffer_.size()) EmitChunk();
    } while (flush == Z_FINISH ? result != Z_STREAM_END : stream_.avail_in > 0);
  }

  void EmitChunk() {
    AppendChunk(out_, "IDAT", std::span(buffer_.data(), filled_));
    filled_ = 0;
  }

  std::vector<std::uint8_t>& out_;
  z_stream stream_{};
  std::vector<std::uint8_t> buffer_ = std::vector<std::uint8_t>(kIdatBytes);
  std::size_t filled_ = 0;
};

// Each row is the filter byte 0 (None) and the pixels reordered to red, green, blue.
void WriteRows(const Bitmap& image, IdatWriter& idat, const StopRequest& stopRequested) {
  StopPoll poll(stopRequested, kBytesBetweenStopPolls);
  std::vector<std::uint8_t> row(1 + 3 * static_cast<std::size_t>(image.Width()));
  for (std::int32_t y = 0; y < image.Height(); ++y) {
    if (image.Width() > 0) {
      const std::uint8_t* in = image.RowPointer(y);
      std::uint8_t* out = row.data() + 1;
      for (std::int32_t x = 0; x < image.Width(); ++x, in += 3, out += 3) {
        out[0] = in[2];
        out[1] = in[1];
        out[2] = in[0];
      }
    }
    idat.Write(row);
    poll.Advance(row.size());
  }
}

// Room for the largest file deflate can produce, so that the output never moves while it
// grows; pages that are never written cost nothing.
std::size_t LargestFileSize(const Bitmap& image) {
  constexpr std::size_t kChunksBesideData = 256;
  const auto rowBytes = 1 + 3 * static_cast<uLong>(image.Width());
  const auto data = compressBound(rowBytes * static_cast<uLong>(image.Height()));
  return data + (data / kIdatBytes + 1) * 12 + kChunksBesideData;
}

std::vector<std::uint8_t> EncodeWorkingImage(const Bitmap& image, const PngTime& time,
                                             const StopRequest& stopRequested) {
  std::vector<std::uint8_t> out;
  out.reserve(LargestFileSize(image));
  out.assign(kPngSignature.begin(), kPngSignature.end());
  AppendChunk(out, "IHDR", HeaderData(image));
  AppendChunk(out, "tIME", TimeData(time));
  AppendChunk(out, "tEXt", SoftwareData());
  AppendChunk(out, "tpNG", kPrivateChunk);
  std::vector<std::uint8_t> gamma;
  AppendU32(gamma, kGamma);
  AppendChunk(out, "gAMA", gamma);
  IdatWriter idat(out);
  WriteRows(image, idat, stopRequested);
  idat.Finish();
  AppendChunk(out, "IEND", {});
  return out;
}

}  // namespace

PngTime CurrentPngTime() {
  const std::time_t now = std::time(nullptr);
  std::tm utc{};
  gmtime_r(&now, &utc);
  return PngTime{
      static_cast<std::uint16_t>(utc.tm_year + 1900), static_cast<std::uint8_t>(utc.tm_mon + 1),
      static_cast<std::uint8_t>(utc.tm_mday),         static_cast<std::uint8_t>(utc.tm_hour),
      static_cast<std::uint8_t>(utc.tm_min),          static_cast<std::uint8_t>(utc.tm_sec)};
}

std::vector<std::uint8_t> EncodePng(const Bitmap& bitmap, const PngTime& time,
                                    const StopRequest& stopRequested) {
  if (bitmap.Format() == PixelFormat::kBits24) {
    return EncodeWorkingImage(bitmap, time, stopRequested);
  }
  Bitmap converted = bitmap;
  ConvertTo24Bit(converted);
  return EncodeWorkingImage(converted, time, stopRequested);
}

void WritePngTo(OutputFile& file, const Bitmap& bitmap, const EncodeOptions& options) {
  file.Write(EncodePng(bitmap, CurrentPngTime(), options.stopRequested));
}

}  // namespace mirelay
