#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>

namespace mirelay {

// An INI-style settings file. Reads take the file as it is on disk at that moment; writes
// change one key in place and leave every other section, key, comment and line untouched.
class IniProfile {
 public:
  // Longest value a read hands back, in bytes.
  static constexpr std::size_t kMaxValueBytes = 2047;

  explicit IniProfile(std::string path) : path_(std::move(path)) {}

  const std::string& Path() const { return path_; }

  // The key's value, or `fallback` when the file, the section or the key is missing.
  std::string ReadTextSetting(const std::string& section, const std::string& key,
                              const std::string& fallback) const;
  // The key's value parsed as an integer, or `fallback` when missing or unparsable.
  std::int32_t ReadIntegerSetting(const std::string& section, const std::string& key,
                                  std::int32_t fallback) const;

  // Replaces the key's value where it stands, or adds the key at the end of its section (and
  // the section at the end of the file). The new content replaces the file atomically, through
  // any links, keeping its permissions; FileError("%s に書き込めません") when it cannot.
  void WriteTextSetting(const std::string& section, const std::string& key,
                        const std::string& value);
  void WriteIntegerSetting(const std::string& section, const std::string& key, std::int32_t value);

 private:
  std::string path_;
};

// The settings file of an executable: its extension replaced by ".ini", or ".ini" appended.
std::string SettingsFileFor(const std::string& executablePath);

}  // namespace mirelay
