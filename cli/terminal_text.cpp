#include "cli/terminal_text.h"

#include <cstdint>
#include <cstdio>

#include "cli/utf8_text.h"

namespace mirelay::cli {

namespace {

// Length of the printable character at the start of `text`, or 0 when it is a control
// character or not UTF-8.
std::size_t PrintableLength(std::string_view text) {
  const auto [code, length] = LeadingUtf8Character(text);
  const bool control = code < 0x20 || (code >= 0x7F && code < 0xA0);
  return control ? 0 : length;
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
