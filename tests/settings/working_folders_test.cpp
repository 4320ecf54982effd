#include "settings/working_folders.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "tests/support/temp_dir.h"

namespace mirelay {
namespace {

using testing_support::ReadText;
using testing_support::TempDir;
using testing_support::WriteText;

struct ChoiceCase {
  const char* what;
  WorkingFolderFacts facts;
  std::string folder;
  std::string settingsFile;
  bool userFolder;
};

WorkingFolderFacts Facts(bool writable, std::string option = "", std::string mirelayHome = "",
                         std::string executable = "/opt/mirelay/mirelay") {
  return {std::move(executable),  writable,    std::move(option),
          std::move(mirelayHome), "/home/ann", "/work/here"};
}

WorkingFolderFacts Installed(WorkingFolderFacts facts) {
  facts.installedLayout = true;
  return facts;
}

TEST(WorkingFolders, ChoiceFollowsOptionThenWritableFolderThenHome) {
  const ChoiceCase cases[] = {
      {"writable folder keeps everything beside the executable", Facts(true, "", "/elsewhere"),
       "/opt/mirelay/", "/opt/mirelay/mirelay.ini", false},
      {"installed program works in ~/Mirelay", Facts(false), "/home/ann/Mirelay/",
       "/home/ann/Mirelay/mirelay.ini", true},
      {"MIRELAY_HOME replaces ~/Mirelay", Facts(false, "", "/data/pictures//"), "/data/pictures/",
       "/data/pictures/mirelay.ini", true},
      {"relative MIRELAY_HOME starts at the current folder", Facts(false, "", "pictures"),
       "/work/here/pictures/", "/work/here/pictures/mirelay.ini", true},
      {"--workspace wins over a writable folder", Facts(true, "/tmp/run", "/data"), "/tmp/run/",
       "/tmp/run/mirelay.ini", true},
      {"relative --workspace starts at the current folder", Facts(false, "job/", "/data"),
       "/work/here/job/", "/work/here/job/mirelay.ini", true},
      {"an installed executable works in ~/Mirelay even where its folder is writable",
       Installed(Facts(true)), "/home/ann/Mirelay/", "/home/ann/Mirelay/mirelay.ini", true},
      {"the settings file keeps the executable's name", Facts(false, "", "", "/usr/bin/tool.bin"),
       "/home/ann/Mirelay/", "/home/ann/Mirelay/tool.ini", true},
  };
  for (const auto& c : cases) {
    const WorkingFolders chosen = ChooseWorkingFolders(c.facts);
    EXPECT_EQ(chosen.folder, c.folder) << c.what;
    EXPECT_EQ(chosen.settingsFile, c.settingsFile) << c.what;
    EXPECT_EQ(chosen.userFolder, c.userFolder) << c.what;
  }
}

// The facts as the effective user `uid` sees them, gathered in a child process so that the
// test process keeps its own user.
bool WritableFor(uid_t uid, const std::string& executable) {
  const pid_t child = ::fork();
  if (child == 0) {
    if (::geteuid() != uid && (::setgid(uid) != 0 || ::setuid(uid) != 0)) ::_exit(2);
    ::_exit(GatherWorkingFolderFacts(executable, "").executableFolderWritable ? 0 : 1);
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) < 2) << "the child could not switch user";
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

TEST(WorkingFolders, WritabilityIsTheEffectiveUsers) {
  TempDir scratch;
  const std::string executable = scratch.Path("mirelay");
  ASSERT_EQ(::chmod(scratch.Root().c_str(), 0755), 0);
  EXPECT_TRUE(WritableFor(::geteuid(), executable));
  // Root may write any folder, so the unwritable case is checked as "nobody" when tests run
  // as root, and through the folder's mode otherwise.
  if (::geteuid() == 0) {
    EXPECT_FALSE(WritableFor(65534, executable));
  } else {
    ASSERT_EQ(::chmod(scratch.Root().c_str(), 0555), 0);
    EXPECT_FALSE(WritableFor(::geteuid(), executable));
  }
}

TEST(WorkingFolders, AnInstalledTreeIsToldByItsMetainfo) {
  TempDir scratch;
  std::filesystem::create_directories(scratch.Path("usr/bin"));
  EXPECT_FALSE(GatherWorkingFolderFacts(scratch.Path("usr/bin/mirelay"), "").installedLayout);
  std::filesystem::create_directories(scratch.Path("usr/share/metainfo"));
  WriteText(scratch.Path("usr/share/metainfo/io.github.mirelay.Mirelay.metainfo.xml"),
            "<component/>");
  EXPECT_TRUE(GatherWorkingFolderFacts(scratch.Path("usr/bin/mirelay"), "").installedLayout);
}

TEST(WorkingFolders, EnvironmentGivesMirelayHomeAndHome) {
  const char* home = std::getenv("HOME");
  const std::string savedHome = home ? home : "";
  ::setenv("MIRELAY_HOME", "/data/m", 1);
  ::setenv("HOME", "/home/zoe", 1);
  auto facts = GatherWorkingFolderFacts("/usr/bin/mirelay", "ws");
  EXPECT_EQ(facts.mirelayHome, "/data/m");
  EXPECT_EQ(facts.home, "/home/zoe");
  EXPECT_EQ(facts.workspaceOption, "ws");
  EXPECT_EQ(facts.currentFolder, std::filesystem::current_path().string());
  ::unsetenv("MIRELAY_HOME");
  ::unsetenv("HOME");
  facts = GatherWorkingFolderFacts("/usr/bin/mirelay", "");
  EXPECT_EQ(facts.mirelayHome, "");
  EXPECT_FALSE(facts.home.empty()) << "without HOME the account's home folder stands in";
  if (home) ::setenv("HOME", savedHome.c_str(), 1);
}

TEST(WorkingFolders, LayOutCreatesMissingFoldersAndKeepsWhatIsThere) {
  TempDir scratch;
  const WorkingFolders folders{scratch.Path("a/b/Mirelay/"), "", true};
  EXPECT_TRUE(LayOutUserFolder(folders).empty());
  for (const char* name : {"base", "part", "out"}) {
    EXPECT_TRUE(std::filesystem::is_directory(folders.folder + name)) << name;
  }
  WriteText(folders.folder + "base/sky.png", "picture");
  EXPECT_TRUE(LayOutUserFolder(folders).empty());
  EXPECT_EQ(ReadText(folders.folder + "base/sky.png"), "picture");
}

TEST(WorkingFolders, LayOutNamesAFileInTheWayAndMakesTheRest) {
  TempDir scratch;
  const WorkingFolders folders{scratch.Path("Mirelay/"), "", true};
  std::filesystem::create_directory(scratch.Path("Mirelay"));
  WriteText(scratch.Path("Mirelay/part"), "not a folder");
  const auto problems = LayOutUserFolder(folders);
  ASSERT_EQ(problems.size(), 1u);
  EXPECT_EQ(problems[0], "cannot create the folder " + scratch.Path("Mirelay/part") +
                             ": a file of that name is in the way");
  EXPECT_TRUE(std::filesystem::is_directory(scratch.Path("Mirelay/base")));
  EXPECT_TRUE(std::filesystem::is_directory(scratch.Path("Mirelay/out")));

  WriteText(scratch.Path("plain"), "");
  const auto blocked = LayOutUserFolder({scratch.Path("plain/"), "", true});
  ASSERT_EQ(blocked.size(), 1u);
  EXPECT_EQ(blocked[0], "cannot create the folder " + scratch.Path("plain") +
                            ": a file of that name is in the way");
}

}  // namespace
}  // namespace mirelay
