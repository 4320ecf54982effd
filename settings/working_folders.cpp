#include "settings/working_folders.h"

#include <fcntl.h>
#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "settings/ini_profile.h"

namespace mirelay {

namespace {

constexpr const char* kHomeFolderName = "Mirelay";
constexpr const char* kFolderNames[] = {kBaseFolderName, kPartFolderName, kOutFolderName};
// Where the install rules put the metainfo, seen from the executable's folder.
constexpr const char* kInstalledMetainfo =
    "../share/metainfo/io.github.mirelay.Mirelay.metainfo.xml";

// An absolute folder path ending with one "/".
std::string AsFolder(std::string path, const std::string& currentFolder) {
  if (path.empty() || path.front() != '/') path = currentFolder + "/" + path;
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path == "/" ? path : path + "/";
}

std::string WithoutTrailingSlash(const std::string& folder) {
  return folder.size() > 1 && folder.back() == '/' ? folder.substr(0, folder.size() - 1) : folder;
}

std::string FileName(const std::string& path) { return path.substr(path.rfind('/') + 1); }

std::string Environment(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

std::string HomeFolder() {
  std::string home = Environment("HOME");
  if (home.empty()) {
    if (const passwd* user = ::getpwuid(::geteuid())) home = user->pw_dir;
  }
  return home;
}

// create_directories reports a file in the way as "File exists", which does not say what to do.
std::string CannotCreate(const std::filesystem::path& folder, const std::error_code& error) {
  std::error_code ignored;
  const bool fileInTheWay =
      std::filesystem::exists(folder, ignored) && !std::filesystem::is_directory(folder, ignored);
  return "cannot create the folder " + folder.string() + ": " +
         (fileInTheWay ? std::string("a file of that name is in the way") : error.message());
}

}  // namespace

std::string ExecutablePath() {
  std::error_code error;
  auto path = std::filesystem::read_symlink("/proc/self/exe", error);
  return error ? std::string() : path.string();
}

WorkingFolders FoldersBesideExecutable(const std::string& executablePath) {
  return {executablePath.substr(0, executablePath.rfind('/') + 1), SettingsFileFor(executablePath),
          false};
}

WorkingFolders ChooseWorkingFolders(const WorkingFolderFacts& facts) {
  std::string chosen;
  if (!facts.workspaceOption.empty()) {
    chosen = facts.workspaceOption;
  } else if (facts.executableFolderWritable && !facts.installedLayout) {
    return FoldersBesideExecutable(facts.executablePath);
  } else if (!facts.mirelayHome.empty()) {
    chosen = facts.mirelayHome;
  } else {
    chosen = AsFolder(facts.home, facts.currentFolder) + kHomeFolderName;
  }
  const std::string folder = AsFolder(chosen, facts.currentFolder);
  return {folder, folder + FileName(SettingsFileFor(facts.executablePath)), true};
}

WorkingFolderFacts GatherWorkingFolderFacts(const std::string& executablePath,
                                            const std::string& workspaceOption) {
  WorkingFolderFacts facts;
  facts.executablePath = executablePath;
  // The effective user decides, so a program started through setuid tools asks the right one.
  const std::string executableFolder = FoldersBesideExecutable(executablePath).folder;
  facts.executableFolderWritable =
      ::faccessat(AT_FDCWD, executableFolder.c_str(), W_OK, AT_EACCESS) == 0;
  std::error_code ignored;
  facts.installedLayout = std::filesystem::exists(executableFolder + kInstalledMetainfo, ignored);
  facts.workspaceOption = workspaceOption;
  facts.mirelayHome = Environment("MIRELAY_HOME");
  facts.home = HomeFolder();
  std::error_code error;
  facts.currentFolder = std::filesystem::current_path(error).string();
  return facts;
}

std::vector<std::string> LayOutUserFolder(const WorkingFolders& folders) {
  const std::filesystem::path root = WithoutTrailingSlash(folders.folder);
  std::error_code error;
  std::filesystem::create_directories(root, error);
  std::error_code ignored;
  if (error || !std::filesystem::is_directory(root, ignored)) return {CannotCreate(root, error)};
  std::vector<std::string> problems;
  for (const char* name : kFolderNames) {
    const auto folder = root / name;
    std::filesystem::create_directory(folder, error);
    if (error) problems.push_back(CannotCreate(folder, error));
  }
  return problems;
}

}  // namespace mirelay
