// mirelay-batch on pictures too big for the memory it may use, and on outputs whose own name
// or place cannot be written: such pairs are passed over and the run goes on.
#include <gtest/gtest.h>
#include <zlib.h>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>

#include "batch/output_record.h"
#include "cli_harness.h"
#include "imaging/image_lib.h"

namespace mirelay {
namespace {

using testing_support::CliLaunch;
using testing_support::kMemoryCapsWork;
using testing_support::RunCli;
using testing_support::TempDir;

constexpr std::size_t kMiB = std::size_t{1} << 20;

// A grey RGB PNG of the given size, written row by row so the test never holds the picture.
void WriteLargePng(const std::string& path, std::uint32_t width, std::uint32_t height) {
  std::string file("\x89PNG\r\n\x1a\n", 8);
  const auto chunk = [&](const char* kind, const std::string& data) {
    std::string body = std::string(kind, 4) + data;
    const auto crc = crc32(0, reinterpret_cast<const Bytef*>(body.data()), body.size());
    for (const std::uint32_t value : {static_cast<std::uint32_t>(data.size())}) {
      for (int shift = 24; shift >= 0; shift -= 8) file += static_cast<char>(value >> shift);
    }
    file += body;
    for (int shift = 24; shift >= 0; shift -= 8) file += static_cast<char>(crc >> shift);
  };
  std::string header;
  for (const std::uint32_t value : {width, height}) {
    for (int shift = 24; shift >= 0; shift -= 8) header += static_cast<char>(value >> shift);
  }
  header += std::string("\x08\x02\x00\x00\x00", 5);
  chunk("IHDR", header);
  z_stream stream{};
  deflateInit(&stream, 1);
  std::string row(1 + 3 * std::size_t{width}, '\x80'), data, buffer(1 << 16, '\0');
  row[0] = 0;
  for (std::uint32_t y = 0; y < height; ++y) {
    stream.next_in = reinterpret_cast<Bytef*>(row.data());
    stream.avail_in = static_cast<uInt>(row.size());
    const int flush = y + 1 == height ? Z_FINISH : Z_NO_FLUSH;
    do {
      stream.next_out = reinterpret_cast<Bytef*>(buffer.data());
      stream.avail_out = static_cast<uInt>(buffer.size());
      deflate(&stream, flush);
      data.append(buffer.data(), buffer.size() - stream.avail_out);
    } while (stream.avail_out == 0);
  }
  deflateEnd(&stream);
  chunk("IDAT", data);
  chunk("IEND", "");
  testing_support::WriteText(path, file);
}

class CliFaultsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* folder : {"base", "part", "out"}) {
      std::filesystem::create_directory(dir_.Path(folder));
    }
  }
  void AddSmall(const std::string& path) {
    Bitmap picture(PixelFormat::kBits24, 8, 8);
    ASSERT_EQ(SaveBitmapAs(dir_.Path(path), &picture, kFormatPng), kFormatPng);
  }
  std::vector<std::string> Arguments(std::vector<std::string> options) const {
    for (const char* folder : {"base", "part", "out"}) options.push_back(dir_.Path(folder));
    return options;
  }
  std::vector<std::string> Outputs() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir_.Path("out"))) {
      if (entry.path().filename() == kRecordFolderName) continue;
      names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }
  TempDir dir_;
};

// A 6000 x 6000 base decodes to 103 MiB; the cap leaves room to decode it but not to copy it
// for the composite, so its pair runs out of memory while the small base's pair is written.
TEST_F(CliFaultsTest, APairThatRunsOutOfMemoryIsSkippedAndTheRunGoesOn) {
  if (!kMemoryCapsWork) GTEST_SKIP() << "memory caps do not fit address-sanitized builds";
  WriteLargePng(dir_.Path("base/big.png"), 6000, 6000);
  AddSmall("base/small.png");
  AddSmall("part/p.png");
  CliLaunch launch;
  launch.dataLimitBytes = 180 * kMiB;
  const auto result = RunCli(Arguments({"--jobs", "1"}), dir_, launch);
  EXPECT_EQ(result.status, 1) << result.err;
  EXPECT_NE(result.err.find(dir_.Path("base/big.png") + ": out of memory"), std::string::npos)
      << result.err;
  EXPECT_EQ(result.err.find("cannot write"), std::string::npos) << result.err;
  EXPECT_EQ(Outputs(), std::vector<std::string>{"smallp.png"});
}

// One such pair needs three pictures (base, composite, encoder output); two at once would not
// fit under the cap, so the budget runs them one after the other.
TEST_F(CliFaultsTest, TheMemoryBudgetRunsHugePairsFewerAtATime) {
  if (!kMemoryCapsWork) GTEST_SKIP() << "memory caps do not fit address-sanitized builds";
  WriteLargePng(dir_.Path("base/one.png"), 6000, 6000);
  WriteLargePng(dir_.Path("base/two.png"), 6000, 6000);
  AddSmall("part/p.png");
  CliLaunch launch;
  launch.dataLimitBytes = 450 * kMiB;
  const auto result =
      RunCli(Arguments({"--jobs", "2", "--cache-mb", "1", "--memory-mb", "400"}), dir_, launch);
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(Outputs(), (std::vector<std::string>{"onep.png", "twop.png"}));
}

// A 2.5 GB sparse file with a PNG signature is refused by its size: under a data limit far
// below its size the run still names the reason, so the file was never read.
TEST_F(CliFaultsTest, AnInputLargerThanThePictureCapIsListedUnread) {
  const auto huge = dir_.Path("base/huge.png");
  testing_support::WriteText(huge, "\x89PNG\r\n\x1a\n");
  std::filesystem::resize_file(huge, 2'500'000'000);
  AddSmall("base/small.png");
  AddSmall("part/p.png");
  CliLaunch launch;
  if (kMemoryCapsWork) launch.dataLimitBytes = 200 * kMiB;
  const auto result = RunCli(Arguments({"--jobs", "1"}), dir_, launch);
  EXPECT_EQ(result.status, 1) << result.err;
  EXPECT_NE(result.err.find(huge + ": File larger than the picture size limit (over the picture "
                                   "size limit; --max-picture-mb raises it)"),
            std::string::npos)
      << result.err;
  EXPECT_EQ(Outputs(), std::vector<std::string>{"smallp.png"});
}

TEST_F(CliFaultsTest, HelpShowsTheMemoryBudget) {
  const auto result = RunCli({"--help"}, dir_);
  EXPECT_EQ(result.status, 0);
  EXPECT_NE(result.out.find("--memory-mb"), std::string::npos) << result.out;
  EXPECT_NE(result.out.find("MiB)"), std::string::npos) << result.out;
}

TEST_F(CliFaultsTest, AnOutputsOwnNameOrPlaceSkipsOnlyThatPair) {
  const std::string longName(251, 'n');
  AddSmall("base/" + longName + ".png");
  AddSmall("base/a.png");
  AddSmall("base/b.png");
  AddSmall("part/p.png");
  std::filesystem::create_directory(dir_.Path("out/ap.png"));
  const auto result = RunCli(Arguments({"--jobs", "1"}), dir_);
  EXPECT_EQ(result.status, 3) << result.err;
  EXPECT_NE(result.err.find("cannot create " + dir_.Path("out/ap.png") + ": Is a directory"),
            std::string::npos)
      << result.err;
  EXPECT_NE(result.err.find("p.png: File name too long"), std::string::npos) << result.err;
  EXPECT_EQ(Outputs(), (std::vector<std::string>{"ap.png", "bp.png"}));
  EXPECT_TRUE(std::filesystem::is_directory(dir_.Path("out/ap.png")));
}

// The command speaks English whatever the window shows: its own lines and the report's reasons
// hold nothing else once the file names are taken out.
TEST_F(CliFaultsTest, MessagesAndReasonsAreEnglishWithTheCauseAndTheLibrarysWords) {
  AddSmall("base/a.png");
  Bitmap picture(PixelFormat::kBits24, 8, 8);
  ASSERT_EQ(SaveBitmapAs(dir_.Path("base/lossless.jpg"), &picture, 90), kFormatJpeg);
  auto jpeg = testing_support::ReadText(dir_.Path("base/lossless.jpg"));
  jpeg[jpeg.find("\xFF\xC0") + 1] = '\xC3';  // a lossless frame, which libjpeg refuses
  testing_support::WriteText(dir_.Path("base/lossless.jpg"), jpeg);
  testing_support::WriteText(dir_.Path("base/broken.bmp"), "BM" + std::string(60, '\x01'));
  AddSmall("part/p.png");
  std::filesystem::create_directory(dir_.Path("out/ap.png"));
  ::setenv("LANG", "C.UTF-8", 1);
  const auto result = RunCli(Arguments({"--report", "-"}), dir_);
  ::unsetenv("LANG");
  EXPECT_EQ(result.status, 3) << result.err;
  for (const char* words :
       {"Unsupported JPEG process: SOF type 0xc3", "Stream read error", "ap.png: Is a directory"}) {
    EXPECT_NE(result.err.find(words), std::string::npos) << words << "\n" << result.err;
    EXPECT_NE(result.out.find(words), std::string::npos) << words << "\n" << result.out;
  }
  for (std::string text : {result.err, result.out}) {
    for (std::size_t at; (at = text.find(dir_.Root().string())) != std::string::npos;) {
      text.erase(at, dir_.Root().string().size());
    }
    EXPECT_TRUE(std::all_of(text.begin(), text.end(), [](char c) { return c > 0; })) << text;
  }
}

// A write lock held on the file by another open file description, as a live writer in another
// container or on another host holds it; -1 when it cannot be had.
int HoldWriterLock(const std::string& path) {
  const int descriptor = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
  struct flock lock {};
  lock.l_type = F_WRLCK;
  lock.l_whence = SEEK_SET;
  if (descriptor >= 0 && ::fcntl(descriptor, F_OFD_SETLK, &lock) == 0) return descriptor;
  if (descriptor >= 0) ::close(descriptor);
  return -1;
}

// A temporary's lock tells whether its writer is alive, whatever host or process its name
// gives: a free lock means gone, even for a process id alive here (in another PID namespace it
// was another process). Links, which hold no lock, are judged by this host's process ids as
// before, and anything that merely looks alike stays.
TEST_F(CliFaultsTest, TemporariesGoWhenTheirLockIsFreeAndStayWhileItIsHeld) {
  AddSmall("base/a.png");
  AddSmall("part/p.png");
  const pid_t dead = ::fork();
  if (dead == 0) ::_exit(0);
  ::waitpid(dead, nullptr, 0);
  char host[256] = {};
  ::gethostname(host, sizeof host - 1);
  std::string tag(host);
  for (char& c : tag) {
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '.' && c != '_') c = '_';
  }
  struct Case {
    std::string who;
    long process;
    bool locked, link, kept;
  };
  const std::vector<Case> cases = {
      {tag, dead, false, false, false},         {tag, ::getpid(), false, false, false},
      {"elsewhere", dead, false, false, false}, {"elsewhere", 1, true, false, true},
      {tag, ::getpid(), true, false, true},     {tag, dead, false, true, false},
      {"elsewhere", dead, false, true, true},   {tag, ::getpid(), false, true, true},
  };
  std::vector<std::string> kept = {".mirelay-notes.tmp", "ap.png"};
  std::vector<int> locks;
  testing_support::WriteText(dir_.Path("out/.mirelay-notes.tmp"), "mine");
  for (std::size_t i = 0; i < cases.size(); ++i) {
    const auto& c = cases[i];
    const auto name =
        ".mirelay-" + c.who + "-" + std::to_string(c.process) + "-" + std::to_string(i) + ".tmp";
    if (c.link) {
      std::filesystem::create_symlink(dir_.Path("base/a.png"), dir_.Path("out/" + name));
    } else {
      testing_support::WriteText(dir_.Path("out/" + name), "partial");
    }
    if (c.locked) locks.push_back(HoldWriterLock(dir_.Path("out/" + name)));
    if (c.kept) kept.push_back(name);
  }
  ASSERT_EQ(std::count(locks.begin(), locks.end(), -1), 0) << "no locks on this file system";
  ASSERT_EQ(RunCli(Arguments({}), dir_).status, 0);
  std::sort(kept.begin(), kept.end());
  EXPECT_EQ(Outputs(), kept);
  EXPECT_TRUE(std::filesystem::is_regular_file(dir_.Path("base/a.png")));
  for (const int lock : locks) ::close(lock);
}

TEST_F(CliFaultsTest, NamesReachTheTerminalQuotedWhenTheyHoldControlBytes) {
  AddSmall("part/p.png");
  for (const char* name : {"clear\x1b[2J.png", "bad\xff.png", "写真 one.png"}) {
    testing_support::WriteText(dir_.Path(std::string("base/") + name), "not a picture");
  }
  const auto result = RunCli(Arguments({"--quiet"}), dir_);
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.err.find('\x1b'), std::string::npos) << "escape byte reached the terminal";
  EXPECT_EQ(result.err.find('\xff'), std::string::npos) << "a byte that is not UTF-8 went raw";
  EXPECT_NE(result.err.find("clear'$'\\033''[2J.png"), std::string::npos) << result.err;
  EXPECT_NE(result.err.find("bad'$'\\377''.png"), std::string::npos) << result.err;
  EXPECT_NE(result.err.find(dir_.Path("base/写真 one.png") + ":"), std::string::npos)
      << "printable names stay as they are: " << result.err;
}

// A report that cannot be made stops the run before any work; one cut short by a full disk
// would pass for a smaller run, so it fails the run however its pairs went.
TEST_F(CliFaultsTest, AReportThatCannotBeWrittenFailsTheRun) {
  AddSmall("base/a.png");
  AddSmall("part/p.png");
  struct Case {
    std::string report;
    int status;
    std::vector<std::string> outputs;
  };
  for (const auto& test : std::vector<Case>{{dir_.Path("missing/report.jsonl"), 2, {}},
                                            {"/dev/full", 3, {"ap.png"}}}) {
    SCOPED_TRACE(test.report);
    std::filesystem::remove(dir_.Path("out/ap.png"));
    const auto result = RunCli(Arguments({"--quiet", "--report", test.report}), dir_);
    EXPECT_EQ(result.status, test.status) << result.err;
    EXPECT_NE(result.err.find("report"), std::string::npos) << result.err;
    EXPECT_EQ(Outputs(), test.outputs);
  }
}

}  // namespace
}  // namespace mirelay
