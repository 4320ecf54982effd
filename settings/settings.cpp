#include "settings/settings.h"

namespace mirelay {

Settings LoadSettings(const IniProfile& profile) {
  const Settings defaults;
  Settings settings;
  settings.jpegQuality =
      profile.ReadIntegerSetting(kSettingsSection, "JPEGQuality", defaults.jpegQuality);
  settings.separator = profile.ReadTextSetting(kSettingsSection, "Seperator", defaults.separator);
  settings.nameOrder = NameOrder::FromStored(
      profile.ReadIntegerSetting(kSettingsSection, "NameOrder", defaults.nameOrder.Stored()));
  settings.threshold =
      profile.ReadIntegerSetting(kSettingsSection, "Threshold", defaults.threshold);
  settings.extensions =
      profile.ReadTextSetting(kSettingsSection, "Extensions", defaults.extensions);
  if (settings.extensions.empty()) settings.extensions = defaults.extensions;
  settings.alphaBlend = profile.ReadIntegerSetting(kSettingsSection, "AlphaBlend", 0) != 0;
  return settings;
}

WindowGeometry LoadGeometry(const IniProfile& profile) {
  const WindowGeometry defaults;
  return {profile.ReadIntegerSetting(kSettingsSection, "Top", defaults.top),
          profile.ReadIntegerSetting(kSettingsSection, "Left", defaults.left),
          profile.ReadIntegerSetting(kSettingsSection, "Width", defaults.width),
          profile.ReadIntegerSetting(kSettingsSection, "Height", defaults.height)};
}

void SaveSettings(IniProfile& profile, const Settings& settings, const WindowGeometry& geometry) {
  profile.WriteIntegerSetting(kSettingsSection, "JPEGQuality", settings.jpegQuality);
  profile.WriteIntegerSetting(kSettingsSection, "Threshold", settings.threshold);
  profile.WriteTextSetting(kSettingsSection, "Seperator", settings.separator);
  profile.WriteIntegerSetting(kSettingsSection, "NameOrder", settings.nameOrder.Stored());
  profile.WriteTextSetting(kSettingsSection, "Extensions", settings.extensions);
  profile.WriteIntegerSetting(kSettingsSection, "Top", geometry.top);
  profile.WriteIntegerSetting(kSettingsSection, "Left", geometry.left);
  profile.WriteIntegerSetting(kSettingsSection, "Width", geometry.width);
  profile.WriteIntegerSetting(kSettingsSection, "Height", geometry.height);
  profile.WriteIntegerSetting(kSettingsSection, "AlphaBlend", settings.alphaBlend ? 1 : 0);
}

}  // namespace mirelay
