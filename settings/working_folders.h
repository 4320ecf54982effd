#pragma once

#include <string>
#include <vector>

namespace mirelay {

// The three folders inside a working folder.
inline constexpr char kBaseFolderName[] = "base";
inline constexpr char kPartFolderName[] = "part";
inline constexpr char kOutFolderName[] = "out";

// Where the window finds base/, part/ and out/ and keeps its settings file.
struct WorkingFolders {
  std::string folder;  // ends with "/"
  std::string settingsFile;
  // The folder is one of the user's rather than the executable's own: it is laid out at start,
  // and the window names it, since a user who installed the program cannot guess it.
  bool userFolder = false;
};

// What the choice depends on, gathered by the caller so that the rule itself reads nothing.
struct WorkingFolderFacts {
  std::string executablePath;
  bool executableFolderWritable = false;
  std::string workspaceOption;  // `mirelay --workspace DIR`; empty when not given
  std::string mirelayHome;      // $MIRELAY_HOME; empty when unset
  std::string home;             // the user's home folder
  std::string currentFolder;    // what relative folders are taken from
  // The executable is where the install rules put it, beside share/ with the program's metainfo:
  // an administrator who may write /usr/bin still gets a folder of their own.
  bool installedLayout = false;
};

// The folders beside the executable, as a copy the user unpacked or built works.
WorkingFolders FoldersBesideExecutable(const std::string& executablePath);

// --workspace wins; otherwise an executable folder the user may write keeps everything beside
// the executable, unless it is an installed one; otherwise $MIRELAY_HOME or ~/Mirelay. A user
// folder holds the settings file under the executable's settings file name.
WorkingFolders ChooseWorkingFolders(const WorkingFolderFacts& facts);

// The running executable's path as the system holds it (/proc/self/exe), byte for byte; empty
// when the system does not say.
std::string ExecutablePath();

// The facts of this process: its environment, its current folder, and whether its effective
// user may write the executable's folder.
WorkingFolderFacts GatherWorkingFolderFacts(const std::string& executablePath,
                                            const std::string& workspaceOption);

// Creates a user folder and its empty base/, part/ and out/ where they are missing. Gives one
// line per folder that could not be made; the window then reports the missing folders as usual.
std::vector<std::string> LayOutUserFolder(const WorkingFolders& folders);

}  // namespace mirelay
