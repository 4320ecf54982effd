#pragma once

#include <cstdint>
#include <string>

#include "settings/ini_profile.h"
#include "settings/name_order.h"

namespace mirelay {

inline constexpr char kSettingsSection[] = "Main";
inline constexpr char kDefaultExtensions[] = ".bmp .gif .jpe .jpeg .jpg .png";
inline constexpr std::int32_t kDefaultJpegQuality = 90;
inline constexpr std::int32_t kDefaultThreshold = 0;

// The values the program keeps between runs, besides the window geometry. `jpegQuality` is the
// JPEG output command's format-or-quality code, normally a quality.
struct Settings {
  std::int32_t jpegQuality = kDefaultJpegQuality;
  std::int32_t threshold = kDefaultThreshold;
  std::string separator;
  NameOrder nameOrder = NameOrder::BaseFirst();
  std::string extensions = kDefaultExtensions;
  // Parts that carry alpha are laid on by it rather than by their colour key.
  bool alphaBlend = false;
};

// Outer bounds of the main window; -1 leaves the designed value.
struct WindowGeometry {
  std::int32_t top = -1;
  std::int32_t left = -1;
  std::int32_t width = -1;
  std::int32_t height = -1;
};

// Reads the six settings in the program's load order; missing or unparsable values give the
// defaults, and an empty extension list gives the built-in one.
Settings LoadSettings(const IniProfile& profile);
WindowGeometry LoadGeometry(const IniProfile& profile);

// Writes all ten keys in save order, AlphaBlend last; throws FileError at the first key that fails,
// leaving the keys after it unwritten.
void SaveSettings(IniProfile& profile, const Settings& settings, const WindowGeometry& geometry);

}  // namespace mirelay
