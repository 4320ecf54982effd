#pragma once

#include <cstdint>
#include <string>

#include "settings/name_order.h"

namespace mirelay {

// The file name of `path` without its folder and without its last extension ("a.b.png" -> "a.b").
std::string NameWithoutExtension(const std::string& path);

// The extension of the batch's output files: ".png" for format code 4, ".jpg" for any other.
std::string OutputExtension(std::int32_t code);

// The output file name of a pair: the two names in the given order, joined by the separator.
std::string OutputFileName(const std::string& basePath, const std::string& partPath,
                           const std::string& separator, NameOrder nameOrder, std::int32_t code);

}  // namespace mirelay
