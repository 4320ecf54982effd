#pragma once

#include <nlohmann/json_fwd.hpp>
#include <string>
#include <string_view>

namespace mirelay::cli {

// Sets `object[key]` to `text` shown as UTF-8, each byte that is not UTF-8 shown as U+FFFD.
// When there was such a byte, `object[key + "_base64"]` also holds the bytes themselves, so a
// file name that is not UTF-8 can still be had exactly.
void SetText(nlohmann::ordered_json& object, const std::string& key, std::string_view text);

// `bytes` in standard base64 with padding.
std::string Base64(std::string_view bytes);

}  // namespace mirelay::cli
