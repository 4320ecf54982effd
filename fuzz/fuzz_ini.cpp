// The settings file as the program reads it at start-up, and the integer parser on raw text.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "fuzz/memory_file.h"
#include "settings/ini_profile.h"
#include "settings/integer_parser.h"
#include "settings/settings.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  mirelay::ParseInteger(std::string_view(reinterpret_cast<const char*>(data), size));

  const mirelay::fuzz::MemoryFile file(data, size);
  const mirelay::IniProfile profile(file.Path());
  mirelay::LoadSettings(profile);
  mirelay::LoadGeometry(profile);
  profile.ReadTextSetting("main", "seperator", "");
  profile.ReadIntegerSetting("Other", "Top", 7);
  return 0;
}
