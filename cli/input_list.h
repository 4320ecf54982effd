#pragma once

#include <string>
#include <vector>

namespace mirelay::cli {

// The paths of an input list read from `source` ("-": standard input): one per line, or one per
// NUL-terminated entry when `nullSeparated`, so that names may hold newlines (find -print0,
// xargs -0). Empty entries are passed over; every other entry is taken as it is, whatever its
// extension. FileError when the list cannot be read.
std::vector<std::string> ReadInputList(const std::string& source, bool nullSeparated);

}  // namespace mirelay::cli
