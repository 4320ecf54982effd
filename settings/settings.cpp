#include "settings/settings.h"

namespace mirelay {

Settings LoadSettings(const IniProfile& profile) {
  Settings settings;
  settings.JPEGQuality = profile.ReadIntegerSetting(kSettingsSection, "JPEGQuality", 90);
  settings.Seperator = profile.ReadTextSetting(kSettingsSection, "Seperator", "");
  settings.NameOrder = profile.ReadIntegerSetting(kSettingsSection, "NameOrder", 1);
  settings.Threshold = profile.ReadIntegerSetting(kSettingsSection, "Threshold", 0);
  settings.Extensions = profile.ReadTextSetting(kSettingsSection, "Extensions", kDefaultExtensions);
  if (settings.Extensions.empty()) settings.Extensions = kDefaultExtensions;
  return settings;
}

WindowGeometry LoadGeometry(const IniProfile& profile) {
  return {profile.ReadIntegerSetting(kSettingsSection, "Top", -1),
          profile.ReadIntegerSetting(kSettingsSection, "Left", -1),
          profile.ReadIntegerSetting(kSettingsSection, "Width", -1),
          profile.ReadIntegerSetting(kSettingsSection, "Height", -1)};
}

void SaveSettings(IniProfile& profile, const Settings& settings, const WindowGeometry& geometry) {
  profile.WriteIntegerSetting(kSettingsSection, "JPEGQuality", settings.JPEGQuality);
  profile.WriteIntegerSetting(kSettingsSection, "Threshold", settings.Threshold);
  profile.WriteTextSetting(kSettingsSection, "Seperator", settings.Seperator);
  profile.WriteIntegerSetting(kSettingsSection, "NameOrder", settings.NameOrder);
  profile.WriteTextSetting(kSettingsSection, "Extensions", settings.Extensions);
  profile.WriteIntegerSetting(kSettingsSection, "Top", geometry.top);
  profile.WriteIntegerSetting(kSettingsSection, "Left", geometry.left);
  profile.WriteIntegerSetting(kSettingsSection, "Width", geometry.width);
  profile.WriteIntegerSetting(kSettingsSection, "Height", geometry.height);
}

}  // namespace mirelay
