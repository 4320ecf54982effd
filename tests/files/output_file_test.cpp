#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "files/durability.h"
#include "files/output_file.h"
#include "files/temporary_files.h"
#include "tests/support/temp_dir.h"

namespace mirelay {
namespace {

using testing_support::ReadText;
using testing_support::TempDir;
using testing_support::WriteText;

// The only entry of `folder` whose name starts with a dot: the open output's temporary file.
std::string OnlyTemporaryIn(const std::filesystem::path& folder) {
  std::vector<std::string> found;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    const auto name = entry.path().filename().string();
    if (name.starts_with(".")) found.push_back(name);
  }
  return found.size() == 1 ? found.front() : "";
}

// Names an earlier process with the same id may have left (its temporaries survive a kill), or
// links planted there, are stepped over: they neither stop the output nor get written to.
TEST(OutputFileTemporary, NamesAlreadyTakenAreSkippedAndNeverWrittenThrough) {
  TempDir dir;
  std::string prefix;
  std::size_t next = 0;
  {
    OutputFile probe(dir.Path("probe.png"));
    const auto name = OnlyTemporaryIn(dir.Root());
    prefix = name.substr(0, name.rfind('-') + 1);
    ASSERT_TRUE(prefix.ends_with("-" + std::to_string(::getpid()) + "-")) << name;
    next = std::stoul(name.substr(prefix.size())) + 1;
  }
  WriteText(dir.Path("victim"), "untouched");
  const std::vector<std::string> taken = {prefix + std::to_string(next) + ".tmp",
                                          prefix + std::to_string(next + 1) + ".tmp"};
  WriteText(dir.Path(taken[0]), "left by a killed run");
  std::filesystem::create_symlink(dir.Path("victim"), dir.Path(taken[1]));

  WriteWholeFile(dir.Path("a.png"), std::vector<std::uint8_t>{'n', 'e', 'w'});
  EXPECT_EQ(ReadText(dir.Path("a.png")), "new");
  EXPECT_EQ(ReadText(dir.Path("victim")), "untouched");
  EXPECT_EQ(ReadText(dir.Path(taken[0])), "left by a killed run");
  EXPECT_EQ(std::filesystem::read_symlink(dir.Path(taken[1])), dir.Path("victim"));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Root()), {}), 4);
}

// An output being written, or written and waiting for its rename, holds its temporary's lock, so
// a sweep (even in the writing process) leaves it; a writer that dies without a word leaves one
// that the next sweep takes.
TEST(OutputFileTemporary, ASweepLeavesOutputsInProgressAndTakesThoseOfADeadWriter) {
  TempDir dir;
  const std::vector<std::uint8_t> bytes{'n', 'e', 'w'};
  OutputFile writing(dir.Path("a.png")), waiting(dir.Path("b.png"));
  writing.Write(bytes);
  waiting.Write(bytes);
  waiting.Close();
  EXPECT_EQ(RemoveStaleTemporaries(dir.Root().string()), 0);
  writing.Commit();
  waiting.Commit();
  EXPECT_EQ(ReadText(dir.Path("a.png")), "new");
  EXPECT_EQ(ReadText(dir.Path("b.png")), "new");
  const pid_t writer = ::fork();
  if (writer == 0) {
    OutputFile dying(dir.Path("c.png"));
    dying.Write(bytes);
    dying.Close();
    ::_exit(0);
  }
  ::waitpid(writer, nullptr, 0);
  ASSERT_FALSE(OnlyTemporaryIn(dir.Root()).empty());
  EXPECT_EQ(RemoveStaleTemporaries(dir.Root().string()), 1);
  EXPECT_EQ(OnlyTemporaryIn(dir.Root()), "");
}

// Every output reaches the disk before its rename; the settings file's folder is flushed after
// it; an output written without flushing makes no flush at all.
TEST(OutputFileDurability, FlushesComeBeforeRenamesAsTheOptionsSay) {
  struct Case {
    ReplaceOptions options;
    std::uint64_t dataFlushes, folderFlushes;
  };
  TempDir dir;
  for (const Case c :
       {Case{{}, 1, 0}, Case{{.flushFolder = true}, 1, 1}, Case{{.flushData = false}, 0, 0}}) {
    const auto before = DurabilityCountsNow();
    WriteWholeFile(dir.Path("a.png"), std::vector<std::uint8_t>{'n', 'e', 'w'}, c.options);
    const auto after = DurabilityCountsNow();
    EXPECT_EQ(after.dataFlushes - before.dataFlushes, c.dataFlushes);
    EXPECT_EQ(after.folderFlushes - before.folderFlushes, c.folderFlushes);
    EXPECT_EQ(after.renames - before.renames, 1u);
    EXPECT_EQ(ReadText(dir.Path("a.png")), "new");
  }
}

}  // namespace
}  // namespace mirelay
