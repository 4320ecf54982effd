#include "batch/output_record.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "files/file_lock.h"
#include "tests/support/temp_dir.h"

namespace mirelay {
namespace {

using testing_support::TempDir;
using testing_support::WriteText;

RecordEntry EntryFor(const std::string& outFolder, const std::string& output) {
  RecordEntry entry{output, "base/a.png", "part/x.png", "format=png threshold=0", {}, {}, {}};
  entry.outputIdentity = IdentityOf(*StatusOf(outFolder + output));
  return entry;
}

std::size_t LogCount(const std::string& outFolder) {
  std::size_t logs = 0;
  for (const auto& entry : std::filesystem::directory_iterator(outFolder + kRecordFolderName)) {
    logs += entry.path().extension() == ".log";
  }
  return logs;
}

// Names may hold every byte a file system allows, and a log cut anywhere reads as entries or
// as nothing, never as another entry.
TEST(OutputRecord, LinesKeepEveryByteAndRefuseWhatIsNotAnEntry) {
  const RecordEntry entry{"tab\there.png",
                          "new\nline/\\a.png",
                          std::string("\xff\xfe part.png"),
                          "format=jpg quality=90 threshold=-3",
                          {12, {-5, 999999999}, 7, {1, 2}},
                          {0, {0, 0}, 1, {3, 4}},
                          {99, {5, 6}, 8, {7, 8}}};
  const std::string line = RecordLine(entry);
  ASSERT_EQ(line.back(), '\n');
  EXPECT_EQ(line.find('\n'), line.size() - 1);
  const auto parsed = ParseRecordLine(std::string_view(line).substr(0, line.size() - 1));
  ASSERT_TRUE(parsed);
  EXPECT_EQ(RecordLine(*parsed), line);
  EXPECT_EQ(parsed->part, entry.part);
  for (std::size_t cut = 0; cut + 1 < line.size(); ++cut) {
    const auto part = ParseRecordLine(std::string_view(line).substr(0, cut));
    EXPECT_TRUE(!part || RecordLine(*part) == line.substr(0, cut) + "\n") << cut;
  }
  for (const char* bad : {"", "a\tb", "a\\x\tb\tc\td\t1:1.1:1:1.1\t1:1.1:1:1.1\t1:1.1:1:1.1",
                          "a\tb\tc\td\t1:1.1:1:1.1\t1:1.1:1:1.1\t1:1.1:1:1.1x",
                          "a\tb\tc\td\t1:1.1:1:1.1\t1:1.1:1:1.1\t1:1.1:1:1.1\te"}) {
    EXPECT_FALSE(ParseRecordLine(bad)) << bad;
  }
}

// Folding keeps what still describes an output and drops the rest, but only while no other run
// holds the record: a running shard's log is never taken from it.
TEST(OutputRecord, EarlierLogsAreFoldedOnlyWhileNoOtherRunIsAtWork) {
  for (const bool otherRunAtWork : {false, true}) {
    SCOPED_TRACE(otherRunAtWork ? "another run at work" : "alone");
    TempDir folder;
    const std::string out = folder.Path("out") + "/";
    std::filesystem::create_directory(out);
    WriteText(out + "kept.png", "kept");
    WriteText(out + "changed.png", "before");
    for (const char* output : {"kept.png", "changed.png"}) {
      RecordWriter earlier(out, true);
      earlier.Add(EntryFor(out, output));
      earlier.Finish();
    }
    std::filesystem::remove(out + "changed.png");
    WriteText(out + "changed.png", "after, longer");
    WriteText(out + "new.png", "new");
    FileLock other(out + kRecordFolderName + "/lock");
    if (otherRunAtWork) {
      ASSERT_TRUE(other.Share());
    }
    RecordWriter run(out, true);
    run.Add(EntryFor(out, "new.png"));
    run.Finish();
    EXPECT_EQ(LogCount(out), otherRunAtWork ? 3u : 2u);
    const auto record = ReadOutputRecord(out);
    EXPECT_EQ(record.size(), otherRunAtWork ? 3u : 2u);
    EXPECT_EQ(record.contains("changed.png"), otherRunAtWork);
    for (const char* output : {"kept.png", "new.png"}) {
      ASSERT_EQ(record.count(output), 1u) << output;
      EXPECT_EQ(record.at(output).size(), 1u) << output;
    }
  }
}

}  // namespace
}  // namespace mirelay
