#include "settings/setting_rules.h"

#include <array>

namespace mirelay {

namespace {

constexpr std::array<const char*, 9> kCharactersNotInNames = {"\\", "/", ":", "*", "?",
                                                              "\"", "<", ">", "|"};

}  // namespace

bool SeparatorLeavesOutputFolder(const std::string& separator) {
  return separator.find('/') != std::string::npos;
}

bool IsRefusedSeparator(const std::string& separator) {
  for (const char* refused : kCharactersNotInNames) {
    if (separator == refused) return true;
  }
  return SeparatorLeavesOutputFolder(separator);
}

}  // namespace mirelay
