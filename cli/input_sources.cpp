#include "cli/input_sources.h"

#include <CLI/CLI.hpp>
#include <filesystem>
#include <optional>
#include <set>
#include <system_error>
#include <utility>

#include "cli/input_list.h"
#include "cli/terminal_text.h"
#include "files/file_error.h"

namespace mirelay::cli {

namespace {

void CheckInputFolder(const char* name, const std::string& folder) {
  std::error_code cause;
  if (!folder.empty() && !std::filesystem::is_directory(folder, cause)) {
    throw CLI::ValidationError(name, "Directory does not exist: " + QuoteForTerminal(folder));
  }
}

// An output folder that is missing is made, as rsync makes its destination, when the folder
// that would hold it exists; true then.
bool OutputFolderMissing(const std::string& out) {
  std::error_code cause;
  const auto status = std::filesystem::status(out, cause);
  if (std::filesystem::is_directory(status)) return false;
  if (std::filesystem::exists(status)) {
    throw CLI::ValidationError("OUT_DIR", QuoteForTerminal(out) + " is not a folder");
  }
  auto folder = std::filesystem::path(out).lexically_normal();
  if (!folder.has_filename()) folder = folder.parent_path();  // "out/" names "out"
  const auto parent = folder.parent_path();
  if (!std::filesystem::is_directory(parent.empty() ? "." : parent, cause)) {
    throw CLI::ValidationError(
        "OUT_DIR", QuoteForTerminal(out) + " does not exist, nor does the folder it would be in");
  }
  return true;
}

std::optional<std::vector<std::string>> InputList(bool listed, const char* option,
                                                  const std::string& source, bool nullSeparated) {
  if (!listed) return std::nullopt;
  try {
    return ReadInputList(source, nullSeparated);
  } catch (const FileError& error) {
    throw CLI::ValidationError(option, QuoteForTerminal(error.English()));
  }
}

// The input folders OUT_DIR must not be, each with the words that name it.
std::vector<std::pair<std::string, std::string>> InputFolders(const InputSources& sources,
                                                              const BatchOptions& options) {
  std::vector<std::pair<std::string, std::string>> folders;
  for (const auto& [name, folder] :
       {std::pair{"BASE_DIR", &sources.base}, {"PART_DIR", &sources.part}}) {
    if (!folder->empty()) {
      folders.emplace_back(std::string(name) + " " + QuoteForTerminal(*folder), *folder);
    }
  }
  for (const auto* list : {&options.baseList, &options.partList}) {
    if (!*list) continue;
    std::set<std::string> seen;
    for (const auto& path : **list) {
      const auto folder = std::filesystem::path(path).parent_path().string();
      if (seen.insert(folder).second) {
        folders.emplace_back("the folder of " + QuoteForTerminal(path),
                             folder.empty() ? "." : folder);
      }
    }
  }
  return folders;
}

// Outputs written into an input folder would replace inputs and be read back as inputs. The
// folders are compared as the file system sees them, so links and other spellings count; a list
// counts by the folders its files are in.
void CheckOutputFolder(const InputSources& sources, const BatchOptions& options) {
  for (const auto& [name, folder] : InputFolders(sources, options)) {
    std::error_code cause;
    if (std::filesystem::equivalent(sources.out, folder, cause)) {
      throw CLI::ValidationError("OUT_DIR", QuoteForTerminal(sources.out) +
                                                " is the same folder as " + name +
                                                "; the outputs would overwrite the inputs");
    }
  }
}

}  // namespace

void PlaceFolders(const std::vector<std::string>& given, InputSources& sources) {
  std::vector<std::pair<const char*, std::string*>> needed;
  if (!sources.basesListed) needed.emplace_back("BASE_DIR", &sources.base);
  if (!sources.partsListed) needed.emplace_back("PART_DIR", &sources.part);
  needed.emplace_back("OUT_DIR", &sources.out);
  if (given.size() != needed.size()) {
    std::string names;
    for (const auto& [name, folder] : needed) names += std::string(names.empty() ? "" : " ") + name;
    throw CLI::ValidationError(
        "folders", "expected " + names + ", given " + std::to_string(given.size()) + " folders");
  }
  sources.base.clear();
  sources.part.clear();
  for (std::size_t i = 0; i < given.size(); ++i) *needed[i].second = given[i];
}

void TakeInputs(const InputSources& sources, BatchOptions& options) {
  if (sources.basesFrom == "-" && sources.partsFrom == "-") {
    throw CLI::ValidationError("--parts-from", "only one list can come from standard input");
  }
  CheckInputFolder("BASE_DIR", sources.base);
  CheckInputFolder("PART_DIR", sources.part);
  options.baseFolder = sources.base;
  options.partFolder = sources.part;
  options.baseList =
      InputList(sources.basesListed, "--bases-from", sources.basesFrom, sources.nullSeparated);
  options.partList =
      InputList(sources.partsListed, "--parts-from", sources.partsFrom, sources.nullSeparated);
  options.outFolder = sources.out;
  options.outFolderMissing = OutputFolderMissing(sources.out);
  CheckOutputFolder(sources, options);
}

}  // namespace mirelay::cli
