#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace mirelay {

// The JPEG qualities the quality box and the command accept. The settings file may hold any
// value: it is the JPEG output command's format-or-quality code.
inline constexpr std::int32_t kLowestJpegQuality = 5;
inline constexpr std::int32_t kHighestJpegQuality = 100;

bool IsAcceptedJpegQuality(std::int32_t quality);

// The quality box's answer: text that is not an integer, or an integer outside the accepted
// qualities, gives the default quality.
std::int32_t JpegQualityFromText(std::string_view text);

// The threshold box's answer: any integer as typed; other text gives the default threshold.
std::int32_t ThresholdFromText(std::string_view text);

// A separator that would put a folder step into output names, so that a file could land
// outside the output folder.
bool SeparatorLeavesOutputFolder(const std::string& separator);

// The separators the separator box and the command refuse: exactly one of the characters that
// cannot stand in a file name, or any text holding a "/".
bool IsRefusedSeparator(const std::string& separator);

}  // namespace mirelay
