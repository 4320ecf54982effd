#include "batch/t_find.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <vector>

#include "tests/support/temp_dir.h"

namespace mirelay {
namespace {

using testing_support::TempDir;
using testing_support::WriteText;

std::vector<std::string> FindAll(TFnd& finder, const std::string& folder) {
  std::vector<std::string> names;
  for (auto name = finder.FindFirstMatch(folder + "/*.*"); !name.empty();
       name = finder.FindNextMatch()) {
    names.push_back(name);
  }
  return names;
}

std::vector<std::string> Sorted(std::vector<std::string> names) {
  std::sort(names.begin(), names.end());
  return names;
}

TEST(FinderEntryTest, MatchesTheLoweredExtensionAnywhereInTheList) {
  TFnd finder(".bmp .gif .jpe .jpeg .jpg .png");
  for (const char* accepted :
       {"a.PNG", "d.jpeg", "e.p", "photo.final.JPG", "x.Gif", "y.ng", "z.peg"}) {
    EXPECT_TRUE(finder.Accepts(accepted)) << accepted;
  }
  for (const char* refused : {"b.txt", "c", "x.", "a.png.txt", "a.pngx", "a. png"}) {
    EXPECT_FALSE(finder.Accepts(refused)) << refused;
  }
}

TEST(FinderEntryTest, AnUpperCaseListMatchesNothingAndABareWordMatchesItsFragments) {
  TFnd capitals(".PNG .JPG");
  EXPECT_FALSE(capitals.Accepts("a.png"));
  EXPECT_FALSE(capitals.Accepts("a.PNG"));
  TFnd bare("png");
  for (const char* accepted : {"a.png", "a.p", "a.n", "a.g", "a.pn", "a.ng"}) {
    EXPECT_TRUE(bare.Accepts(accepted)) << accepted;
  }
  EXPECT_FALSE(bare.Accepts("a.jpg"));
}

TEST(FinderSearch, PassesOverFoldersHiddenFilesAndUnlistedExtensions) {
  TempDir dir;
  for (const char* name : {"a.PNG", "b.txt", "c", "d.jpeg", "e.p", ".f.png", "x."})
    WriteText(dir.Path(name), "");
  std::filesystem::create_directory(dir.Path("g.png"));
  std::filesystem::create_directory_symlink(dir.Path("g.png"), dir.Path("h.png"));
  std::filesystem::create_symlink(dir.Path("a.PNG"), dir.Path("link.png"));
  TFnd finder(".bmp .gif .jpe .jpeg .jpg .png");
  EXPECT_EQ(Sorted(FindAll(finder, dir.Root().string())),
            (std::vector<std::string>{"a.PNG", "d.jpeg", "e.p", "link.png"}));
}

TEST(FinderSearch, EntriesWithoutExtensionNeverHideTheNextFile) {
  TempDir dir;
  // Whatever order the folder yields, every accepted file must come out exactly once.
  for (const char* name : {"noext1", "a.png", "noext2", "b.png", "noext3"})
    WriteText(dir.Path(name), "");
  TFnd finder(".png");
  EXPECT_EQ(Sorted(FindAll(finder, dir.Root().string())),
            (std::vector<std::string>{"a.png", "b.png"}));
}

TEST(FinderSearch, EmptyMissingAndExhaustedSearchesGiveEmptyNames) {
  TempDir dir;
  TFnd finder(".png");
  EXPECT_EQ(finder.FindNextMatch(), "") << "no search open";
  EXPECT_EQ(finder.FindFirstMatch(dir.Path("missing") + "/*.*"), "");
  EXPECT_EQ(finder.FindFirstMatch(dir.Root().string() + "/*.*"), "");
  WriteText(dir.Path("only.png"), "");
  EXPECT_EQ(finder.FindFirstMatch(dir.Root().string() + "/*.*"), "only.png");
  EXPECT_EQ(finder.FindNextMatch(), "");
  EXPECT_EQ(finder.FindNextMatch(), "");
  finder.CloseSearch();
  EXPECT_EQ(finder.FindNextMatch(), "");
}

TEST(FinderSearch, TheStoredListIsHandedBackUnchanged) {
  EXPECT_EQ(TFnd(" .PNG  x ").GetExtensions(), " .PNG  x ");
}

}  // namespace
}  // namespace mirelay
