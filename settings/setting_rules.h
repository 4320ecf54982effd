#pragma once

#include <string>

namespace mirelay {

// A separator that would put a folder step into output names, so that a file could land
// outside the output folder.
bool SeparatorLeavesOutputFolder(const std::string& separator);

// The separators the separator box and the command refuse: exactly one of the characters that
// cannot stand in a file name, or any text holding a "/".
bool IsRefusedSeparator(const std::string& separator);

}  // namespace mirelay
