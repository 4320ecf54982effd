#include "cli/terminal_text.h"

#include <cstdint>
#include <cstdio>

namespace mirelay::cli {

namespace {

// Length of the printable character at the start of `text`, or 0 when it is a control
// character or not UTF-8.
std::size_t PrintableLength(std::string_view text) {
  const auto lead = static_cast<std::uint8_t>(text[0]);
  if (lead < 0x80) return lead >= 0x20 && lead != 0x7F ? 1 : 0;
  const std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC2 ? 2 : 0;
  if (length == 0 || lead > 0xF4 || text.size() < length) return 0;
  std::uint32_t code = lead & (0x7F >> length);
  for (std::size_t i = 1; i < length; ++i) {
    const auto next = static_cast<std::uint8_t>(text[i]);
    if ((next & 0xC0) != 0x80) return 0;
    code = code << 6 | (next & 0x3F);
  }
  const bool overlong = (length == 3 && code < 0x800) || (length == 4 && code < 0x10000);
  const bool unprintable = code < 0xA0 || (code >= 0xD800 && code < 0xE000) || code > 0x10FFFF;
  return overlong || unprintable ? 0 : length;
}

std::string Escaped(std::uint8_t byte) {
  switch (byte) {
    case '\a':
      return "\\a";
    case '\b':
      return "\\b";
    case '\t':
      return "\\t";
    case '\n':
      return "\\n";
    case '\v':
      return "\\v";
    case '\f':
      return "\\f";
    case '\r':
      return "\\r";
  }
  char octal[8];
  std::snprintf(octal, sizeof octal, "\\%03o", byte);
  return octal;
}

}  // namespace

std::string QuoteForTerminal(std::string_view text) {
  bool allPrintable = true;
  for (std::size_t at = 0; at < text.size() && allPrintable;) {
    const std::size_t length = PrintableLength(text.substr(at));
    allPrintable = length > 0;
    at += length;
  }
  if (allPrintable) return std::string(text);

  std::string quoted = "'";
  bool inEscapes = false;
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t length = PrintableLength(text.substr(at));
    if (length == 0) {
      quoted += inEscapes ? "" : "'$'";
      quoted += Escaped(static_cast<std::uint8_t>(text[at++]));
      inEscapes = true;
      continue;
    }
    if (inEscapes) quoted += "''";
    inEscapes = false;
    quoted += text[at] == '\'' ? std::string("'\\''") : std::string(text.substr(at, length));
    at += length;
  }
  quoted += "'";
  // Drop the empty quotes left where the text starts with an escape.
  if (quoted.starts_with("''$'")) quoted.erase(0, 2);
  return quoted;
}

}  // namespace mirelay::cli
