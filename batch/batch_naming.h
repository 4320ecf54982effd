#pragma once

#include <string>

#include "settings/name_order.h"

namespace mirelay {

// The file name of `path` without its folder and without its last extension ("a.b.png" -> "a.b").
std::string NameWithoutExtension(const std::string& path);

// The output file name of a pair: the two names in the given order, joined by the separator,
// then the extension.
std::string OutputFileName(const std::string& basePath, const std::string& partPath,
                           const std::string& separator, NameOrder nameOrder,
                           const std::string& extension);

}  // namespace mirelay
