#pragma once

#include <string>
#include <string_view>

namespace mirelay::cli {

// `text` as it may reach a terminal: unchanged when every character is printable, otherwise
// quoted the way `ls` quotes such names ('a'$'\033''b'), so control sequences in file names
// can neither clear the screen nor retitle the window. Bytes that are not UTF-8 count as
// unprintable.
std::string QuoteForTerminal(std::string_view text);

}  // namespace mirelay::cli
