// Command-line behaviour that needs no working codec: refusals, help, settings file, exit 1.
#include <gtest/gtest.h>

#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/vfs.h>

#include <filesystem>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "cli_harness.h"
#include "imaging/image_lib.h"

namespace mirelay {
namespace {

using testing_support::CliResult;
using testing_support::ReadText;
using testing_support::RunCli;
using testing_support::TempDir;
using testing_support::WriteText;

class CliOptionsTest : public ::testing::Test {
 protected:
  CliOptionsTest() {
    for (const char* folder : {"base", "part", "out"}) {
      std::filesystem::create_directory(dir_.Path(folder));
    }
  }
  CliResult Run(std::vector<std::string> options) {
    for (const char* folder : {"base", "part", "out"}) options.push_back(dir_.Path(folder));
    return RunCli(options, dir_);
  }
  TempDir dir_;
};

TEST_F(CliOptionsTest, RefusedOptionsEndWithStatusTwoAndSayWhy) {
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{"--quality", "4"}, "between 5 and 100"},
      {{"--quality", "101"}, "between 5 and 100"},
      {{"--quality", "80 "}, "not an integer"},
      {{"--threshold", "ten"}, "not an integer"},
      {{"--format", "tif"}, "--format"},
      {{"--order", "part"}, "--order"},
      {{"--shard", "0/2"}, "K/N"},
      {{"--shard", "3/2"}, "K/N"},
      {{"--shard", "2"}, "K/N"},
      {{"--jobs", "257"}, "--jobs"},
      {{"-j", "-1"}, "--jobs"},
      {{"--bases-from", "/dev/null"}, "expected PART_DIR OUT_DIR, given 3"},
      {{"--parts-from", "/dev/null"}, "expected BASE_DIR OUT_DIR, given 3"},
      {{"--settings", "/nonexistent/mirelay.ini"}, "--settings"},
      {{"--alpha", "--no-alpha"}, "cannot both"},
  };
  for (const auto& [options, hint] : cases) {
    const auto result = Run(options);
    EXPECT_EQ(result.status, 2) << options[0] << " " << options[1];
    EXPECT_NE(result.err.find(hint), std::string::npos) << result.err;
  }
}

std::map<std::string, std::string> FilesUnder(const std::filesystem::path& root) {
  std::map<std::string, std::string> files;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
    if (entry.is_regular_file()) files[entry.path().string()] = ReadText(entry.path().string());
  }
  return files;
}

// An output folder that is an input folder would overwrite inputs and read outputs back; a
// settings file that cannot be read would leave defaults passing for the user's settings. Both
// are refused before any picture is read or written, dry run or not.
TEST_F(CliOptionsTest, OutputFoldersOnInputsAndUnreadableSettingsAreRefusedTouchingNothing) {
  const Bitmap picture(PixelFormat::kBits24, 2, 2);
  for (const char* name : {"base/a.bmp", "base/ab.bmp", "part/b.bmp"}) {
    SaveBitmapAs(dir_.Path(name), &picture, kFormatBmp);
  }
  std::filesystem::create_directory_symlink(dir_.Path("base"), dir_.Path("link"));
  WriteText(dir_.Path("locked.ini"), "[Main]\nThreshold=9\n");
  ::chmod(dir_.Path("locked.ini").c_str(), 0);
  ::chmod(dir_.Root().c_str(), 0755);
  ::mkfifo(dir_.Path("fifo.ini").c_str(), 0644);
  const std::string base = dir_.Path("base"), part = dir_.Path("part"), out = dir_.Path("out");
  WriteText(dir_.Path("into-out.list"), part + "/b.bmp\n" + out + "/../out/old.bmp\n");
  struct Case {
    std::vector<std::string> arguments;
    std::string says;
  };
  const std::vector<Case> cases = {
      {{base, part, base}, "same folder as BASE_DIR"},
      {{base, part, part}, "same folder as PART_DIR"},
      {{base, part, dir_.Path("link")}, "same folder as BASE_DIR"},
      {{base, part, base + "/../part/."}, "same folder as PART_DIR"},
      {{"--dry-run", base, part, dir_.Path("link")}, "same folder as BASE_DIR"},
      {{"--settings", dir_.Path("locked.ini"), base, part, out}, "Permission denied"},
      {{"--settings", dir_.Path("fifo.ini"), base, part, out}, "not a regular file"},
      {{"--dry-run", "--settings", dir_.Path("fifo.ini"), base, part, out}, "not a regular file"},
      {{"--parts-from", dir_.Path("into-out.list"), base, out}, "same folder as the folder of"},
      {{"--bases-from", dir_.Path("no.list"), part, out}, "cannot read"},
      {{"--bases-from", "-", "--parts-from", "-", out}, "standard input"},
      {{base, part, out + "/new/deeper"}, "nor does the folder"},
      {{base, part, base + "/a.bmp"}, "not a folder"},
  };
  const auto before = FilesUnder(dir_.Root());
  testing_support::CliLaunch launch;
  launch.unprivileged = true;
  for (const auto& [arguments, says] : cases) {
    const auto result = RunCli(arguments, dir_, launch);
    EXPECT_EQ(result.status, 2) << arguments[2] << ": " << result.err;
    EXPECT_NE(result.err.find(says), std::string::npos) << result.err;
    auto after = FilesUnder(dir_.Root());
    after.erase(dir_.Path("cli.stdout"));
    after.erase(dir_.Path("cli.stderr"));
    EXPECT_EQ(after, before) << arguments[2];
  }
}

bool IsTmpfs(const std::string& folder) {
  struct statfs info {};
  return ::statfs(folder.c_str(), &info) == 0 && info.f_type == TMPFS_MAGIC;
}

// The output names of a dry run's lines ("OUT <- BASE + PART"), in the order listed.
std::vector<std::string> ListedOutputs(const std::string& text) {
  std::vector<std::string> names;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    names.push_back(std::filesystem::path(line.substr(0, line.find(" <- "))).filename());
  }
  return names;
}

// A tmpfs lists a folder newest first, where ext4 lists it in hash order: copied in the order the
// disk lists them, the inputs are listed in another order, yet each shard takes the same pairs.
TEST_F(CliOptionsTest, ShardsOverACopyListedInAnotherOrderTakeEveryPairOnce) {
  if (!IsTmpfs("/dev/shm")) GTEST_SKIP() << "no tmpfs at /dev/shm";
  for (const char* name : {"sky", "Sea", "hill 2", "0", "caf\xC3\xA9", "zz", "m.n"}) {
    WriteText(dir_.Path("base/" + std::string(name) + ".png"), "base");
  }
  for (const char* name : {"ring", "dot", "\xE2\x98\x85", "_", "Ab"}) {
    WriteText(dir_.Path("part/" + std::string(name) + ".jpg"), "part");
  }
  const TempDir copy("/dev/shm");
  for (const char* folder : {"base", "part"}) {
    std::filesystem::create_directory(copy.Path(folder));
    for (const auto& entry : std::filesystem::directory_iterator(dir_.Path(folder))) {
      std::filesystem::copy_file(entry.path(),
                                 copy.Path(folder) + "/" + entry.path().filename().string());
    }
  }
  const auto dryRun = [&](const TempDir& inputs, std::vector<std::string> options) {
    options.insert(options.end(), {"--dry-run", "--quiet", inputs.Path("base"), inputs.Path("part"),
                                   dir_.Path("out")});
    const auto result = RunCli(options, dir_);
    EXPECT_EQ(result.status, 0) << result.err;
    return ListedOutputs(result.out);
  };
  const auto onDisk = dryRun(dir_, {}), onTmpfs = dryRun(copy, {});
  ASSERT_EQ(onDisk.size(), 35u);
  ASSERT_NE(onDisk, onTmpfs) << "both copies are listed alike, which proves nothing";
  for (const int count : {2, 3, 7}) {
    std::map<std::string, int> taken;
    for (int number = 1; number <= count; ++number) {
      const auto shard = std::to_string(number) + "/" + std::to_string(count);
      for (const auto& name : dryRun(number % 2 == 1 ? copy : dir_, {"--shard", shard})) {
        ++taken[name];
      }
    }
    for (const auto& name : onDisk) EXPECT_EQ(taken[name], 1) << name << " in " << count;
    EXPECT_EQ(taken.size(), onDisk.size()) << count << " shards";
  }
}

// The NUL-separated dry run's fields: output, base and part of each pair, each ended by a NUL.
std::vector<std::vector<std::string>> NulTriples(const std::string& text) {
  std::vector<std::vector<std::string>> triples;
  std::vector<std::string> fields;
  for (std::size_t at = 0, end; (end = text.find('\0', at)) != std::string::npos; at = end + 1) {
    fields.push_back(text.substr(at, end - at));
    if (fields.size() == 3) triples.push_back(std::exchange(fields, {}));
  }
  EXPECT_TRUE(fields.empty()) << "a pair cut short";
  EXPECT_EQ(text.empty() || text.back() == '\0', true);
  return triples;
}

// Names are bytes: a list may hold any name (a newline in it with -0, from a file, a pipe or
// standard input), each entry is taken as it is, whatever its extension, and empty entries are
// passed over. The dry run's NUL-separated list gives every name back whole, without the pairs
// --update would leave.
TEST_F(CliOptionsTest, InputListsKeepOddNamesAndTheNulSeparatedDryRunGivesThemBack) {
  const std::vector<std::string> bases = {
      dir_.Path("base/line\nbreak.png"), dir_.Path("base/ lead and tab\t.png"),
      dir_.Path("base/caf\xE9.txt"), dir_.Path("base/-dash.png")};
  for (const auto& path : bases) {
    WriteText(path, "base");
  }
  WriteText(dir_.Path("part/x.png"), "part");
  std::string nulList;
  for (const auto& path : bases) nulList += path + std::string(1, '\0') + std::string(1, '\0');
  WriteText(dir_.Path("bases.nul"), nulList);
  WriteText(dir_.Path("parts.lines"), "\n" + dir_.Path("part/x.png") + "\n\n");
  const std::string out = dir_.Path("out");
  WriteText(out + "/-dashx.png", "up to date");
  struct Case {
    std::vector<std::string> options;
    std::string standardInput;
    std::size_t pairs;
  };
  for (const auto& [options, input, pairs] : std::vector<Case>{
           {{"-0", "--bases-from", dir_.Path("bases.nul"), dir_.Path("part")}, "", 4},
           {{"--null", "--bases-from", "-", dir_.Path("part")}, dir_.Path("bases.nul"), 4},
           {{"-0", "--bases-from", "/dev/stdin", "--update", dir_.Path("part")},
            dir_.Path("bases.nul"),
            3},
       }) {
    testing_support::CliLaunch launch;
    launch.standardInput = input;
    auto arguments = options;
    arguments.insert(arguments.end(), {"--dry-run", "-q", out});
    const auto result = RunCli(arguments, dir_, launch);
    ASSERT_EQ(result.status, 0) << options[2] << ": " << result.err;
    EXPECT_EQ(result.err, "");
    std::set<std::string> listed;
    for (const auto& triple : NulTriples(result.out)) {
      EXPECT_EQ(triple[0], out + "/" + std::filesystem::path(triple[1]).stem().string() + "x.png");
      EXPECT_EQ(triple[2], dir_.Path("part/x.png"));
      listed.insert(triple[1]);
    }
    EXPECT_EQ(listed.size(), pairs) << options[2];
    EXPECT_TRUE(listed.contains(bases[0])) << options[2];
  }
  const auto fromLines = RunCli(
      {"--dry-run", "-q", "--parts-from", dir_.Path("parts.lines"), dir_.Path("base"), out}, dir_);
  EXPECT_EQ(fromLines.status, 0) << fromLines.err;
  EXPECT_EQ(ListedOutputs(fromLines.out).size(), 3u) << fromLines.out;  // the .txt is not listed
}

TEST_F(CliOptionsTest, SeparatorsThatCannotStandInANameOrLeaveOutAreRefused) {
  for (const char* refused :
       {"\\", "/", ":", "*", "?", "\"", "<", ">", "|", "a/b", "//", "/../../elsewhere/"}) {
    EXPECT_EQ(Run({"--separator", refused}).status, 2) << refused;
  }
  for (const char* accepted : {"a\\b", "::", "_", "", " "}) {
    EXPECT_EQ(Run({"--separator", accepted}).status, 0) << accepted;
  }
  WriteText(dir_.Path("settings.ini"), "[Main]\nSeperator=/../../elsewhere/\n");
  const auto fromFile = Run({"--settings", dir_.Path("settings.ini")});
  EXPECT_EQ(fromFile.status, 2);
  EXPECT_NE(fromFile.err.find("outside"), std::string::npos) << fromFile.err;
}

TEST_F(CliOptionsTest, QualityBoundsAndHexTextAreAccepted) {
  for (const char* quality : {"5", "100", "$50", "0x50"}) {
    EXPECT_EQ(Run({"--format", "jpg", "--quality", quality}).status, 0) << quality;
  }
}

TEST_F(CliOptionsTest, MissingFoldersAreUsageErrors) {
  const auto result = RunCli({dir_.Path("base"), dir_.Path("nowhere"), dir_.Path("out")}, dir_);
  EXPECT_EQ(result.status, 2);
  EXPECT_NE(result.err.find("nowhere"), std::string::npos);
  EXPECT_EQ(RunCli({dir_.Path("base")}, dir_).status, 2);
  // A missing OUT_DIR in a folder that exists is no error, though a dry run does not make it.
  for (const char* out : {"new", "new/", "./new//"}) {
    EXPECT_EQ(
        RunCli({"--dry-run", dir_.Path("base"), dir_.Path("part"), dir_.Path(out)}, dir_).status, 0)
        << out;
  }
  EXPECT_FALSE(std::filesystem::exists(dir_.Path("new")));
}

TEST_F(CliOptionsTest, HelpAndVersionSucceed) {
  const auto help = RunCli({"--help"}, dir_);
  EXPECT_EQ(help.status, 0);
  for (const char* option :
       {"--format", "--quality", "--threshold", "--separator", "--order", "--extensions",
        "--settings", "-j,--jobs", "--shard", "--max-picture-mb", "-q,--quiet", "--bases-from",
        "--parts-from", "-0,--null"}) {
    EXPECT_NE(help.out.find(option), std::string::npos) << option;
  }
  const auto version = RunCli({"--version"}, dir_);
  EXPECT_EQ(version.status, 0);
  EXPECT_NE(version.out.find("mirelay-batch 1."), std::string::npos) << version.out;
}

TEST_F(CliOptionsTest, UndecodableInputsAreListedAndGiveStatusOne) {
  WriteText(dir_.Path("base/a.png"), "not a picture");
  WriteText(dir_.Path("part/x.png"), "not a picture either");
  const auto result = Run({"--quiet"});
  EXPECT_EQ(result.status, 1);
  EXPECT_NE(result.err.find(dir_.Path("base/a.png")), std::string::npos) << result.err;
  EXPECT_TRUE(std::filesystem::is_empty(dir_.Path("out")));
}

// 640 x 640 takes 1.2 MB at 24 bits: over a limit of 1 MiB, under one of 2 MiB.
TEST_F(CliOptionsTest, MaxPictureMbSetsThePictureSizeLimit) {
  const Bitmap base(PixelFormat::kBits24, 640, 640), part(PixelFormat::kBits24, 1, 1);
  SaveBitmapAs(dir_.Path("base/b.bmp"), &base, kFormatBmp);
  SaveBitmapAs(dir_.Path("part/p.bmp"), &part, kFormatBmp);
  const auto refused = Run({"--format", "bmp", "--max-picture-mb", "1"});
  EXPECT_EQ(refused.status, 1);
  EXPECT_NE(refused.err.find("size limit"), std::string::npos) << refused.err;
  EXPECT_TRUE(std::filesystem::is_empty(dir_.Path("out")));
  for (const char* megabytes : {"2", "4096"}) {
    EXPECT_EQ(Run({"--format", "bmp", "--max-picture-mb", megabytes}).status, 0) << megabytes;
  }
  EXPECT_EQ(Run({"--max-picture-mb", "0"}).status, 2);
}

TEST_F(CliOptionsTest, TheSettingsFileGivesValuesThatOptionsOverride) {
  WriteText(dir_.Path("base/a.txt"), "text");
  WriteText(dir_.Path("part/x.txt"), "text");
  WriteText(dir_.Path("w.ini"), "[Main]\nJPEGQuality=200\nExtensions=.txt\n");
  // The file's extension list finds the .txt inputs, which then fail to decode.
  const auto fromFile = Run({"--settings", dir_.Path("w.ini")});
  EXPECT_EQ(fromFile.status, 1);
  EXPECT_NE(fromFile.err.find("a.txt"), std::string::npos) << fromFile.err;
  EXPECT_EQ(Run({"--settings", dir_.Path("w.ini"), "--extensions", ".png"}).status, 0);
  // A quality the quality box would not allow is refused from the file too, for JPEG output.
  const auto jpeg = Run({"--settings", dir_.Path("w.ini"), "--format", "jpg"});
  EXPECT_EQ(jpeg.status, 2);
  EXPECT_NE(jpeg.err.find("w.ini"), std::string::npos) << jpeg.err;
  EXPECT_EQ(Run({"--settings", dir_.Path("w.ini"), "--format", "jpg", "--quality", "70",
                 "--extensions", ".png"})
                .status,
            0);
}

}  // namespace
}  // namespace mirelay
