#include "cli/json_text.h"

#include <algorithm>
#include <cstdint>
#include <nlohmann/json.hpp>

#include "cli/utf8_text.h"

namespace mirelay::cli {

namespace {

constexpr char kReplacementCharacter[] = "\xEF\xBF\xBD";

std::string WithReplacementCharacters(std::string_view text) {
  std::string shown;
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t length = LeadingUtf8Character(text.substr(at)).length;
    if (length == 0) {
      shown += kReplacementCharacter;
      ++at;
    } else {
      shown += text.substr(at, length);
      at += length;
    }
  }
  return shown;
}

}  // namespace

void SetText(nlohmann::ordered_json& object, const std::string& key, std::string_view text) {
  if (IsUtf8(text)) {
    object[key] = text;
    return;
  }
  object[key] = WithReplacementCharacters(text);
  object[key + "_base64"] = Base64(text);
}

std::string Base64(std::string_view bytes) {
  static constexpr char kDigits[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string encoded;
  for (std::size_t at = 0; at < bytes.size(); at += 3) {
    const std::size_t count = std::min<std::size_t>(3, bytes.size() - at);
    std::uint32_t group = 0;
    for (std::size_t i = 0; i < 3; ++i) {
      group = group << 8 | (i < count ? static_cast<std::uint8_t>(bytes[at + i]) : 0u);
    }
    for (std::size_t i = 0; i < 4; ++i) {
      encoded += i <= count ? kDigits[(group >> (18 - 6 * i)) & 63] : '=';
    }
  }
  return encoded;
}

}  // namespace mirelay::cli
