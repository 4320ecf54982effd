#pragma once

#include <cstdint>
#include <string>

namespace mirelay {

// Format codes: on loading, what a file was recognised as (0 for every failure);
// on saving, the format to write, or a JPEG quality.
inline constexpr std::int32_t kFormatUnknown = 0;
inline constexpr std::int32_t kFormatBmp = 1;
inline constexpr std::int32_t kFormatGif = 2;
inline constexpr std::int32_t kFormatJpeg = 3;
inline constexpr std::int32_t kFormatPng = 4;

// What outputs are written as, decided once where a run is asked for.
struct OutputFormat {
  std::int32_t format = kFormatPng;  // kFormatUnknown: nothing is written
  std::uint8_t quality = 90;         // read by the JPEG encoder only
  std::string extension = ".png";    // what output names end in
  friend bool operator==(const OutputFormat&, const OutputFormat&) = default;
};

// A save code: 1 to 4 name BMP, GIF, JPEG (at quality 90) and PNG; any other code up to 100 is a
// JPEG quality, a negative one keeping its low byte (-1 asks for 255); a code above 100 writes
// nothing. Names end in ".png" for code 4 and in ".jpg" for every other code, as the window's
// batch has always named them, whatever is written.
OutputFormat OutputFormatForCode(std::int32_t code);

}  // namespace mirelay
