#include "imaging/output_format.h"

namespace mirelay {

OutputFormat OutputFormatForCode(std::int32_t code) {
  constexpr std::int32_t kHighestJpegQualityCode = 100;
  OutputFormat output;
  output.extension = code == kFormatPng ? ".png" : ".jpg";
  switch (code) {
    case kFormatBmp:
    case kFormatGif:
    case kFormatPng:
    case kFormatJpeg:
      output.format = code;
      return output;
  }
  if (code > kHighestJpegQualityCode) {
    output.format = kFormatUnknown;
    return output;
  }
  output.format = kFormatJpeg;
  output.quality = static_cast<std::uint8_t>(code & 0xFF);
  return output;
}

}  // namespace mirelay
