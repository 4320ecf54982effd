#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace mirelay::cli {

// The character at the start of `text` as a code point and its length in bytes; length 0 when
// the bytes there are not well-formed UTF-8 (overlong forms and surrogates included).
struct Utf8Character {
  std::uint32_t code = 0;
  std::size_t length = 0;
};
Utf8Character LeadingUtf8Character(std::string_view text);

// True when all of `text` is well-formed UTF-8.
bool IsUtf8(std::string_view text);

}  // namespace mirelay::cli
