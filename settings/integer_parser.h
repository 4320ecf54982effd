#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace mirelay {

// Parses the integer texts the settings file and the setting dialogs accept: leading spaces,
// then a decimal number with optional sign in the 32-bit range, or "$", "x", "X", "0x", "0X"
// and 1 to 8 hexadecimal digits read as a signed 32-bit value. Nothing may follow.
std::optional<std::int32_t> ParseInteger(std::string_view text);

}  // namespace mirelay
