#include "settings/ini_profile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <vector>

#include "files/durability.h"
#include "files/file_error.h"
#include "settings/settings.h"
#include "tests/support/temp_dir.h"

namespace mirelay {
namespace {

using testing_support::ReadText;
using testing_support::TempDir;
using testing_support::WriteText;

TEST(SettingsFileName, ReplacesTheExtensionOrAppendsOne) {
  EXPECT_EQ(SettingsFileFor("/opt/tools/mirelay"), "/opt/tools/mirelay.ini");
  EXPECT_EQ(SettingsFileFor("/opt/tools/overlay.exe"), "/opt/tools/overlay.ini");
  EXPECT_EQ(SettingsFileFor("/opt/v1.2/mirelay"), "/opt/v1.2/mirelay.ini");
  EXPECT_EQ(SettingsFileFor("/opt/a.b.c"), "/opt/a.b.ini");
}

TEST(IniRead, MissingFileSectionOrKeyGivesTheDefault) {
  TempDir dir;
  IniProfile profile(dir.Path("m.ini"));
  EXPECT_EQ(profile.ReadTextSetting("Main", "Seperator", "dflt"), "dflt");
  WriteText(dir.Path("m.ini"), "[Other]\nSeperator=x\n");
  EXPECT_EQ(profile.ReadTextSetting("Main", "Seperator", "dflt"), "dflt");
  WriteText(dir.Path("m.ini"), "[Main]\nThreshold=3\n");
  EXPECT_EQ(profile.ReadTextSetting("Main", "Seperator", "dflt"), "dflt");
  EXPECT_EQ(profile.ReadIntegerSetting("Main", "Threshold", 0), 3);
}

TEST(IniRead, ValuesAreTakenAsWrittenAndCutAt2047Bytes) {
  TempDir dir;
  const std::string longValue(3000, 'a');
  WriteText(dir.Path("m.ini"),
            "[main]\r\nseperator= _ \r\nExtensions=" + longValue + "\r\nEmpty=\r\n");
  IniProfile profile(dir.Path("m.ini"));
  EXPECT_EQ(profile.ReadTextSetting("Main", "Seperator", ""), " _ ");
  EXPECT_EQ(profile.ReadTextSetting("Main", "Extensions", "").size(), 2047u);
  EXPECT_EQ(profile.ReadTextSetting("Main", "Empty", "dflt"), "");
}

TEST(IniRead, UnparsableIntegersGiveTheDefault) {
  TempDir dir;
  WriteText(dir.Path("m.ini"), "[Main]\nA=80abc\nB=2147483648\nC=0x50\nD=$FFFFFFFF\nE=X50\n");
  IniProfile profile(dir.Path("m.ini"));
  EXPECT_EQ(profile.ReadIntegerSetting("Main", "A", 90), 90);
  EXPECT_EQ(profile.ReadIntegerSetting("Main", "B", 90), 90);
  EXPECT_EQ(profile.ReadIntegerSetting("Main", "C", 90), 80);
  EXPECT_EQ(profile.ReadIntegerSetting("Main", "D", 0), -1);
  EXPECT_EQ(profile.ReadIntegerSetting("Main", "E", 90), 80);
}

TEST(IniWrite, ANewFileHoldsTheSectionAndKeysInWriteOrder) {
  TempDir dir;
  IniProfile profile(dir.Path("m.ini"));
  const auto umask = ::umask(027);
  profile.WriteIntegerSetting("Main", "JPEGQuality", 90);
  ::umask(umask);
  profile.WriteTextSetting("Main", "Seperator", "");
  const auto before = DurabilityCountsNow();
  profile.WriteIntegerSetting("Main", "Top", -1);
  const auto after = DurabilityCountsNow();
  EXPECT_EQ(ReadText(dir.Path("m.ini")), "[Main]\nJPEGQuality=90\nSeperator=\nTop=-1\n");
  // Each write reaches the disk, its rename too, before it returns.
  EXPECT_EQ(after.dataFlushes - before.dataFlushes, 1u);
  EXPECT_EQ(after.renames - before.renames, 1u);
  EXPECT_EQ(after.folderFlushes - before.folderFlushes, 1u);
  struct stat info {};
  ::stat(dir.Path("m.ini").c_str(), &info);
  EXPECT_EQ(info.st_mode & 0777, 0640u) << "a new file takes its permissions from the umask";
}

TEST(IniWrite, InPlaceEditsLeaveEverythingElseByteForByte) {
  TempDir dir;
  const std::string before =
      "; settings\r\n[Other]\r\nJPEGQuality=1\r\n\r\n[Main]\r\nUnknown = kept \r\n"
      "JPEGQuality=75\r\n\r\n[Last]\r\nx=y";
  WriteText(dir.Path("m.ini"), before);
  IniProfile profile(dir.Path("m.ini"));
  profile.WriteIntegerSetting("Main", "JPEGQuality", 80);
  profile.WriteTextSetting("Main", "Seperator", "_");
  profile.WriteTextSetting("New", "Key", "v");
  EXPECT_EQ(ReadText(dir.Path("m.ini")),
            "; settings\r\n[Other]\r\nJPEGQuality=1\r\n\r\n[Main]\r\nUnknown = kept \r\n"
            "JPEGQuality=80\r\nSeperator=_\r\n\r\n[Last]\r\nx=y\r\n[New]\r\nKey=v\r\n");
}

TEST(IniWrite, WritesRoundTripThroughReads) {
  TempDir dir;
  IniProfile profile(dir.Path("m.ini"));
  Settings settings;
  settings.jpegQuality = -5;
  settings.threshold = 300;
  settings.separator = " - ";
  settings.nameOrder = NameOrder::FromStored(0);
  settings.extensions = "png";
  settings.alphaBlend = true;
  SaveSettings(profile, settings, {10, 20, 1300, 700});
  EXPECT_EQ(ReadText(dir.Path("m.ini")),
            "[Main]\nJPEGQuality=-5\nThreshold=300\nSeperator= - \nNameOrder=0\nExtensions=png\n"
            "Top=10\nLeft=20\nWidth=1300\nHeight=700\nAlphaBlend=1\n");
  const Settings loaded = LoadSettings(profile);
  EXPECT_EQ(loaded.jpegQuality, -5);
  EXPECT_EQ(loaded.threshold, 300);
  EXPECT_EQ(loaded.separator, " - ");
  EXPECT_EQ(loaded.nameOrder, NameOrder::FromStored(0));
  EXPECT_EQ(loaded.extensions, "png");
  EXPECT_TRUE(loaded.alphaBlend);
  const WindowGeometry geometry = LoadGeometry(profile);
  EXPECT_EQ(geometry.width, 1300);
}

TEST(IniWrite, AnEmptyExtensionListLoadsAsTheBuiltInOne) {
  TempDir dir;
  WriteText(dir.Path("m.ini"), "[Main]\nExtensions=\n");
  EXPECT_EQ(LoadSettings(IniProfile(dir.Path("m.ini"))).extensions, kDefaultExtensions);
}

TEST(IniWriteFailure, AReadOnlyFileRaisesTheWriteErrorAndStaysIntact) {
  TempDir dir;
  const auto path = dir.Path("m.ini");
  WriteText(path, "[Main]\nThreshold=4\n");
  ::chmod(path.c_str(), 0444);
  IniProfile profile(path);
  try {
    profile.WriteIntegerSetting("Main", "Threshold", 5);
    FAIL() << "write to a read-only file succeeded";
  } catch (const FileError& error) {
    EXPECT_EQ(std::string(error.what()), path + " に書き込めません");
  }
  EXPECT_EQ(ReadText(path), "[Main]\nThreshold=4\n");
  ::chmod(path.c_str(), 0640);
  profile.WriteIntegerSetting("Main", "Threshold", 5);
  EXPECT_EQ(ReadText(path), "[Main]\nThreshold=5\n");
  struct stat info {};
  ::stat(path.c_str(), &info);
  EXPECT_EQ(info.st_mode & 0777, 0640u) << "a replaced file keeps its permissions";
}

TEST(IniWriteFailure, ADirectoryInPlaceOfTheFileIsAWriteError) {
  TempDir dir;
  std::filesystem::create_directory(dir.Path("m.ini"));
  IniProfile profile(dir.Path("m.ini"));
  EXPECT_EQ(profile.ReadIntegerSetting("Main", "Threshold", 7), 7);
  EXPECT_THROW(profile.WriteIntegerSetting("Main", "Threshold", 5), FileError);
}

TEST(IniWriteFailure, NoTemporaryFileIsLeftBehind) {
  TempDir dir;
  IniProfile profile(dir.Path("m.ini"));
  profile.WriteTextSetting("Main", "Seperator", "_");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Root()), {}), 1);
}

// The settings file may be a link (or a chain of them) to a file kept elsewhere.
class IniWriteThroughLinks : public testing::Test {
 protected:
  IniWriteThroughLinks() {
    std::filesystem::create_directory(dir.Path("app"));
    std::filesystem::create_directory(dir.Path("real"));
    std::filesystem::create_symlink("m2.ini", link);
    std::filesystem::create_symlink(target, dir.Path("app/m2.ini"));
  }

  void ExpectLinksKept() {
    EXPECT_EQ(std::filesystem::read_symlink(link), "m2.ini");
    EXPECT_EQ(std::filesystem::read_symlink(dir.Path("app/m2.ini")), target);
  }

  TempDir dir;
  const std::string link = dir.Path("app/m.ini");
  const std::string target = dir.Path("real/m.ini");
};

TEST_F(IniWriteThroughLinks, TheTargetIsUpdatedAndKeepsItsPermissions) {
  WriteText(target, "[Main]\nThreshold=4\n");
  ::chmod(target.c_str(), 0640);
  IniProfile profile(link);
  profile.WriteIntegerSetting("Main", "Threshold", 5);
  ExpectLinksKept();
  EXPECT_EQ(ReadText(target), "[Main]\nThreshold=5\n");
  struct stat info {};
  ::stat(target.c_str(), &info);
  EXPECT_EQ(info.st_mode & 0777, 0640u);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path("real")), {}), 1);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path("app")), {}), 2);
}

TEST_F(IniWriteThroughLinks, ADanglingLinkGetsItsTargetCreated) {
  IniProfile profile(link);
  profile.WriteTextSetting("Main", "Seperator", "_");
  ExpectLinksKept();
  EXPECT_EQ(ReadText(target), "[Main]\nSeperator=_\n");
}

// Links planted under every name a temporary file could once be predicted to have (the file's
// path plus the process id, beside each link and beside the target) lead to a victim file.
TEST_F(IniWriteThroughLinks, LinksPlantedAtGuessableTemporaryNamesAreNeverFollowed) {
  const std::string victim = dir.Path("victim");
  WriteText(victim, "untouched");
  const auto suffix = ".tmp-" + std::to_string(::getpid());
  const std::vector<std::string> planted = {link + suffix, dir.Path("app/m2.ini") + suffix,
                                            target + suffix};
  for (const auto& name : planted) std::filesystem::create_symlink(victim, name);
  WriteText(target, "[Main]\nThreshold=4\n");
  for (const auto& written : {link, target}) {
    IniProfile(written).WriteIntegerSetting("Main", "Threshold", 5);
    EXPECT_EQ(ReadText(victim), "untouched") << written;
    EXPECT_FALSE(std::filesystem::is_symlink(target)) << written;
    EXPECT_EQ(ReadText(target), "[Main]\nThreshold=5\n") << written;
    ExpectLinksKept();
    for (const auto& name : planted) EXPECT_EQ(std::filesystem::read_symlink(name), victim);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path("real")), {}), 2);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path("app")), {}), 4);
  }
}

TEST_F(IniWriteThroughLinks, AnUnwritableTargetOrALoopLeavesEverythingAsItWas) {
  WriteText(target, "[Main]\nThreshold=4\n");
  ::chmod(target.c_str(), 0444);
  IniProfile profile(link);
  try {
    profile.WriteIntegerSetting("Main", "Threshold", 5);
    FAIL() << "write to a read-only target succeeded";
  } catch (const FileError& error) {
    EXPECT_EQ(std::string(error.what()), link + " に書き込めません");
  }
  ExpectLinksKept();
  EXPECT_EQ(ReadText(target), "[Main]\nThreshold=4\n");

  const std::string loop = dir.Path("app/loop.ini");
  std::filesystem::create_symlink("loop.ini", loop);
  EXPECT_THROW(IniProfile(loop).WriteIntegerSetting("Main", "Threshold", 5), FileError);
  EXPECT_EQ(std::filesystem::read_symlink(loop), "loop.ini");
}

}  // namespace
}  // namespace mirelay
