#include "settings/setting_rules.h"

#include <array>

#include "settings/integer_parser.h"
#include "settings/settings.h"

namespace mirelay {

namespace {

constexpr std::array<const char*, 9> kCharactersNotInNames = {"\\", "/", ":", "*", "?",
                                                              "\"", "<", ">", "|"};

}  // namespace

bool IsAcceptedJpegQuality(std::int32_t quality) {
  return quality >= kLowestJpegQuality && quality <= kHighestJpegQuality;
}

std::int32_t JpegQualityFromText(std::string_view text) {
  const auto quality = ParseInteger(text);
  return quality && IsAcceptedJpegQuality(*quality) ? *quality : kDefaultJpegQuality;
}

std::int32_t ThresholdFromText(std::string_view text) {
  return ParseInteger(text).value_or(kDefaultThreshold);
}

bool SeparatorLeavesOutputFolder(const std::string& separator) {
  return separator.find('/') != std::string::npos;
}

bool IsRefusedSeparator(const std::string& separator) {
  for (const char* refused : kCharactersNotInNames) {
    if (separator == refused) return true;
  }
  return SeparatorLeavesOutputFolder(separator);
}

}  // namespace mirelay
