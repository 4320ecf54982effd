// mirelay-batch against the window's own sequential loop, across shards, under SIGINT and with
// an unwritable output folder. The inputs are PNG, or JPEG while only that codec is built.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>
#include <cctype>
#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>
#include <thread>

#include "batch/batch_naming.h"
#include "batch/folder_listing.h"
#include "batch/output_record.h"
#include "batch/overlay.h"
#include "cli_harness.h"
#include "files/temporary_files.h"
#include "imaging/image_lib.h"
#include "tests/imaging/png/png_chunk_writer.h"

namespace mirelay {
namespace {

using testing_support::CliLaunch;
using testing_support::CliResult;
using testing_support::ReadText;
using testing_support::RunCli;
using testing_support::TempDir;

constexpr char kExtensions[] = ".bmp .gif .jpe .jpeg .jpg .png";

// Deterministic pictures: a noisy gradient for bases, a flat key colour with a disc for parts.
Bitmap MakeBase(int width, int height, unsigned seed) {
  Bitmap picture(PixelFormat::kBits24, width, height);
  for (int y = 0; y < height; ++y) {
    std::uint8_t* row = picture.RowPointer(y);
    for (int x = 0; x < 3 * width; ++x) {
      seed = seed * 1103515245u + 12345u;
      row[x] = static_cast<std::uint8_t>((x / 3 + y) / 4 + ((seed >> 16) & 31));
    }
  }
  return picture;
}

Bitmap MakePart(int width, int height, int radius) {
  Bitmap picture(PixelFormat::kBits24, width, height);
  for (int y = 0; y < height; ++y) {
    std::uint8_t* pixel = picture.RowPointer(y);
    for (int x = 0; x < width; ++x, pixel += 3) {
      const int dx = x - width / 2, dy = y - height / 2;
      const bool inside = dx * dx + dy * dy < radius * radius;
      pixel[0] = inside ? 200 : 0;
      pixel[1] = inside ? static_cast<std::uint8_t>(x) : 255;
      pixel[2] = inside ? 40 : 0;
    }
  }
  return picture;
}

bool CodecWorks(const TempDir& dir, std::int32_t code) {
  try {
    const auto probe = dir.Path("probe");
    const Bitmap picture = MakePart(4, 4, 1);
    Bitmap back;
    const bool works =
        SaveBitmapAs(probe, &picture, code) == code && LoadImageToBitmap(probe, back) == code;
    std::filesystem::remove(probe);
    return works;
  } catch (const std::exception&) {
    return false;
  }
}

// PNG files with the tIME chunk's data and CRC blanked: the write time is all they may differ in.
std::string WithoutTime(std::string bytes) {
  for (std::size_t at = 8; at + 12 <= bytes.size();) {
    const auto length = (std::size_t{static_cast<std::uint8_t>(bytes[at])} << 24) |
                        (std::size_t{static_cast<std::uint8_t>(bytes[at + 1])} << 16) |
                        (std::size_t{static_cast<std::uint8_t>(bytes[at + 2])} << 8) |
                        static_cast<std::uint8_t>(bytes[at + 3]);
    if (bytes.compare(at + 4, 4, "tIME") == 0) bytes.replace(at + 8, length + 4, length + 4, '\0');
    at += length + 12;
  }
  return bytes;
}

std::map<std::string, std::string> FolderContents(const std::string& folder) {
  std::map<std::string, std::string> files;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    if (entry.path().filename() == kRecordFolderName) continue;
    files[entry.path().filename().string()] = WithoutTime(ReadText(entry.path().string()));
  }
  return files;
}

class CliBatchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    pngWorks_ = CodecWorks(dir_, kFormatPng);
    if (!pngWorks_ && !CodecWorks(dir_, kFormatJpeg)) GTEST_SKIP() << "no codec is built yet";
    inputCode_ = pngWorks_ ? kFormatPng : kFormatJpeg;
    for (const char* folder : {"base", "part", "out", "reference"}) {
      std::filesystem::create_directory(dir_.Path(folder));
    }
  }
  // Input files hold the codec's data whatever their extension; the signature decides.
  void AddBase(const std::string& name, const Bitmap& picture) {
    ASSERT_NE(SaveBitmapAs(dir_.Path("base/" + name), &picture, inputCode_), kFormatUnknown);
  }
  void AddPart(const std::string& name, const Bitmap& picture) {
    ASSERT_NE(SaveBitmapAs(dir_.Path("part/" + name), &picture, inputCode_), kFormatUnknown);
  }
  std::vector<std::string> Arguments(std::vector<std::string> options,
                                     const std::string& out = "out") const {
    for (const auto& folder : Folders(out)) options.push_back(folder);
    return options;
  }
  // PNG output while its encoder is missing would fail every write; JPEG stands in.
  std::vector<std::string> OutputFormat() const {
    return pngWorks_ ? std::vector<std::string>{} : std::vector<std::string>{"--format", "jpg"};
  }
  std::vector<std::string> Folders(const std::string& out = "out") const {
    return {dir_.Path("base"), dir_.Path("part"), dir_.Path(out)};
  }
  // The reference the engine must match: discovery, then MergePair, naming and SaveBitmapAs
  // one pair after the other.
  void RunPairByPair(std::int32_t code, const std::string& separator, NameOrder nameOrder,
                     std::int32_t threshold) {
    ImageFileFinder finder(kExtensions);
    const auto bases = ListImageFiles(finder, dir_.Path("base"));
    const auto parts = ListImageFiles(finder, dir_.Path("part"));
    Bitmap baseBitmap, partBitmap;
    for (const auto& base : bases) {
      for (const auto& part : parts) {
        if (!MergePair(base, part, baseBitmap, partBitmap, threshold)) continue;
        const auto name =
            OutputFileName(base, part, separator, nameOrder, OutputFormatForCode(code).extension);
        SaveBitmapAs(dir_.Path("reference/" + name), &baseBitmap, code);
      }
    }
  }
  void AddSmallWorkload() {
    AddBase("sky.png", MakeBase(48, 36, 1));
    AddBase("sea.png", MakeBase(40, 40, 2));
    AddBase("hill.png", MakeBase(20, 16, 3));
    AddPart("ring.png", MakePart(30, 20, 8));
    AddPart("dot.png", MakePart(50, 50, 3));
  }
  TempDir dir_;
  bool pngWorks_ = false;
  std::int32_t inputCode_ = kFormatPng;
};

TEST_F(CliBatchTest, PngOutputEqualsPairByPairCompositing) {
  if (!pngWorks_) GTEST_SKIP() << "the PNG encoder is not built yet";
  AddSmallWorkload();
  RunPairByPair(kFormatPng, "_", NameOrder::PartFirst(), 30);
  auto arguments = Folders();
  arguments.insert(arguments.begin(), {"--jobs", "3", "--separator", "_", "--order", "part-base",
                                       "--threshold", "30"});
  const auto result = RunCli(arguments, dir_);
  ASSERT_EQ(result.status, 0) << result.err;
  const auto expected = FolderContents(dir_.Path("reference"));
  EXPECT_EQ(expected.size(), 6u);
  EXPECT_EQ(FolderContents(dir_.Path("out")), expected);
}

TEST_F(CliBatchTest, JpegOutputEqualsPairByPairCompositing) {
  AddSmallWorkload();
  RunPairByPair(75, "", NameOrder::BaseFirst(), 0);
  const auto result =
      RunCli(Arguments({"--format", "jpg", "--quality", "75", "--jobs", "2"}), dir_);
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(FolderContents(dir_.Path("out")), FolderContents(dir_.Path("reference")));
}

// Even shards read a copy of the inputs on a tmpfs, which lists them in another order.
TEST_F(CliBatchTest, ShardsSplitTheRunWithoutOverlapWhateverCopyTheyRead) {
  AddSmallWorkload();
  AddBase("dune.png", MakeBase(30, 30, 4));
  ASSERT_EQ(RunCli(Arguments(OutputFormat()), dir_).status, 0);
  const auto whole = FolderContents(dir_.Path("out"));
  const TempDir copy(std::filesystem::exists("/dev/shm") ? "/dev/shm" : dir_.Path("."));
  for (const char* folder : {"base", "part"}) {
    std::filesystem::copy(dir_.Path(folder), copy.Path(folder));
  }
  std::map<std::string, std::string> united;
  for (int shard = 1; shard <= 3; ++shard) {
    const auto folder = "shard" + std::to_string(shard);
    std::filesystem::create_directory(dir_.Path(folder));
    auto options = OutputFormat();
    options.insert(options.end(), {"--shard", std::to_string(shard) + "/3", "--jobs", "2"});
    const auto& inputs = shard % 2 == 0 ? copy : dir_;
    options.insert(options.end(), {inputs.Path("base"), inputs.Path("part"), dir_.Path(folder)});
    ASSERT_EQ(RunCli(options, dir_).status, 0);
    for (const auto& [name, content] : FolderContents(dir_.Path(folder))) {
      EXPECT_TRUE(united.emplace(name, content).second) << name << " in two shards";
    }
  }
  EXPECT_EQ(whole.size(), 8u);
  EXPECT_EQ(united, whole);
}

// Lists in place of both folders (one of them on standard input), every core, no words: the
// same outputs, in an output folder made for them since its parent exists.
TEST_F(CliBatchTest, ListsInPlaceOfFoldersWriteTheSameIntoAFolderMadeForThem) {
  AddSmallWorkload();
  RunPairByPair(pngWorks_ ? kFormatPng : 90, "", NameOrder::BaseFirst(), 0);
  std::string bases, parts;
  for (const auto& entry : std::filesystem::directory_iterator(dir_.Path("base"))) {
    bases += entry.path().string() + '\0';
  }
  for (const auto& entry : std::filesystem::directory_iterator(dir_.Path("part"))) {
    parts += entry.path().string() + '\0';
  }
  testing_support::WriteText(dir_.Path("bases.list"), bases);
  testing_support::WriteText(dir_.Path("parts.list"), parts);
  CliLaunch launch;
  launch.standardInput = dir_.Path("parts.list");
  auto options = OutputFormat();
  options.insert(options.end(), {"-j", "0", "-q", "-0", "--bases-from", dir_.Path("bases.list"),
                                 "--parts-from", "-", dir_.Path("made")});
  const auto result = RunCli(options, dir_, launch);
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(FolderContents(dir_.Path("made")), FolderContents(dir_.Path("reference")));
}

TEST_F(CliBatchTest, CollidingNamesAreWarnedOnceAndTheLaterPairWins) {
  AddBase("a.png", MakeBase(16, 16, 5));
  AddBase("a.jpg", MakeBase(16, 16, 6));
  AddPart("x.png", MakePart(8, 8, 2));
  RunPairByPair(pngWorks_ ? kFormatPng : 90, "", NameOrder::BaseFirst(), 0);
  const auto result = RunCli(Arguments(OutputFormat()), dir_);
  EXPECT_EQ(result.status, 0) << result.err;
  const auto warning = result.err.find("warning");
  ASSERT_NE(warning, std::string::npos) << result.err;
  EXPECT_EQ(result.err.find("warning", warning + 1), std::string::npos) << result.err;
  EXPECT_EQ(FolderContents(dir_.Path("out")), FolderContents(dir_.Path("reference")));
}

TEST_F(CliBatchTest, SigintLeavesOnlyCompleteFilesAndExits130) {
  for (unsigned seed = 0; seed < 3; ++seed) {
    AddBase(std::string(1, static_cast<char>('a' + seed)) + ".png", MakeBase(1600, 1200, seed));
  }
  for (int part = 0; part < 8; ++part) {
    AddPart(std::string(1, static_cast<char>('p' + part)) + ".png", MakePart(400, 300, 50 + part));
  }
  CliLaunch launch;
  const auto out = dir_.Path("out");
  // Once the first output is in place, while later pairs are still being written: interrupting at
  // the first temporary instead may cut that pair short on a loaded machine, leaving nothing.
  launch.interruptWhen = [&] {
    for (const auto& entry : std::filesystem::directory_iterator(out)) {
      if (entry.path().filename().string()[0] != '.') return true;
    }
    return false;
  };
  auto options = OutputFormat();
  options.insert(options.end(), {"--jobs", "2"});
  const auto result = RunCli(Arguments(options), dir_, launch);
  EXPECT_EQ(result.status, 130) << result.err;
  std::size_t written = 0;
  for (const auto& entry : std::filesystem::directory_iterator(out)) {
    if (entry.path().filename() == kRecordFolderName) continue;
    EXPECT_NE(entry.path().filename().string()[0], '.') << "left behind: " << entry.path();
    Bitmap decoded;
    EXPECT_NE(LoadImageToBitmap(entry.path().string(), decoded), kFormatUnknown) << entry.path();
    ++written;
  }
  EXPECT_GE(written, 1u);
  EXPECT_LT(written, 24u) << "the interrupt came too late to stop anything";
}

bool HoldsTemporary(const std::string& folder) {
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    if (entry.path().filename().string().starts_with(".mirelay-") &&
        entry.path().filename() != kRecordFolderName) {
      return true;
    }
  }
  return false;
}

// The processes of a killed namespace die just after its first one, which is all RunCli waits
// for: this waits until none of them holds a temporary's lock any more.
void WaitUntilNoWriterIsLeft(const std::string& folder) {
  for (bool held = true; held;) {
    held = false;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
      const int descriptor = ::open(entry.path().c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW);
      struct flock lock {};
      lock.l_type = F_WRLCK;
      lock.l_whence = SEEK_SET;
      held = held || (descriptor >= 0 && ::fcntl(descriptor, F_OFD_GETLK, &lock) == 0 &&
                      lock.l_type != F_UNLCK);
      if (descriptor >= 0) ::close(descriptor);
    }
    if (held) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

// Runs under a PID namespace of their own, as in containers of one host name: the first as
// process 4 there, the others as process 1, so that no process id means the same in two runs.
const std::vector<std::string> kOwnPidNamespace = {"/usr/bin/unshare", "--pid", "--fork",
                                                   "--mount-proc", "--kill-child"};
const std::vector<std::string> kOwnPidNamespaceAsProcess4 = {
    "/usr/bin/unshare", "--pid",   "--fork", "--mount-proc",
    "--kill-child",     "/bin/sh", "-c",     "/bin/true; /bin/true; \"$0\" \"$@\""};

// A second run's sweep must leave the temporaries of a live run in another PID namespace, and a
// run killed there leaves temporaries that the next run, in yet another namespace, removes.
TEST_F(CliBatchTest, RunsInOtherPidNamespacesKeepEachOthersTemporariesAndClearAKilledOnes) {
  if (::geteuid() != 0 || std::system("/usr/bin/unshare --pid --fork --mount-proc true") != 0) {
    GTEST_SKIP() << "PID namespaces need root";
  }
  for (unsigned seed = 0; seed < 2; ++seed) {
    AddBase(std::string(1, static_cast<char>('a' + seed)) + ".png", MakeBase(1600, 1200, seed));
  }
  for (int part = 0; part < 6; ++part) {
    AddPart(std::string(1, static_cast<char>('p' + part)) + ".png", MakePart(400, 300, 50 + part));
  }
  std::filesystem::create_directories(dir_.Path("small/base"));
  std::filesystem::create_directories(dir_.Path("small/part"));
  const Bitmap tiny = MakePart(4, 4, 1);
  SaveBitmapAs(dir_.Path("small/base/s.png"), &tiny, inputCode_);
  SaveBitmapAs(dir_.Path("small/part/t.png"), &tiny, inputCode_);
  auto big = OutputFormat(), small = OutputFormat();
  big.insert(big.end(), {"--jobs", "2"});
  small.insert(small.end(), {dir_.Path("small/base"), dir_.Path("small/part")});
  const auto out = dir_.Path("out");

  CliLaunch first;
  first.runUnder = kOwnPidNamespaceAsProcess4;
  CliResult firstResult;
  std::atomic<bool> firstDone{false};
  std::thread firstRun([&] {
    firstResult = RunCli(Arguments(big), dir_, first);
    firstDone = true;
  });
  while (!HoldsTemporary(out) && !firstDone) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  const TempDir secondScratch;
  CliLaunch second;
  second.runUnder = kOwnPidNamespace;
  auto secondOptions = small;
  secondOptions.push_back(out);
  const auto secondResult = RunCli(secondOptions, secondScratch, second);
  firstRun.join();
  EXPECT_EQ(secondResult.status, 0) << secondResult.err;
  EXPECT_NE(firstResult.err.find("12 of 12 pairs written"), std::string::npos) << firstResult.err;
  ASSERT_EQ(firstResult.status, 0) << firstResult.err;
  const auto written = FolderContents(out);
  EXPECT_EQ(written.size(), 13u);
  EXPECT_FALSE(HoldsTemporary(out));

  std::filesystem::create_directory(dir_.Path("killed"));
  CliLaunch killed;
  killed.runUnder = kOwnPidNamespaceAsProcess4;
  killed.interruptSignal = SIGKILL;
  killed.interruptWhen = [&] { return HoldsTemporary(dir_.Path("killed")); };
  EXPECT_EQ(RunCli(Arguments(big, "killed"), dir_, killed).status, 128 + SIGKILL);
  ASSERT_TRUE(HoldsTemporary(dir_.Path("killed"))) << "the kill came after every rename";
  WaitUntilNoWriterIsLeft(dir_.Path("killed"));
  auto next = small;
  next.push_back(dir_.Path("killed"));
  const auto nextResult = RunCli(next, dir_, second);
  EXPECT_EQ(nextResult.status, 0) << nextResult.err;
  EXPECT_FALSE(HoldsTemporary(dir_.Path("killed")));
}

using Json = nlohmann::json;

std::vector<Json> JsonLines(const std::string& text) {
  std::vector<Json> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(Json::parse(line));
  return lines;
}

// However a run ends, every pair falls under exactly one count: in the summary of the report,
// whose pair lines and pairs not started make up the whole, and in the text summary.
void ExpectEveryPairCounted(const CliResult& result, const std::vector<Json>& report) {
  ASSERT_FALSE(report.empty());
  const auto& summary = report.back()["summary"];
  const std::size_t pairs = summary["pairs"], notStarted = summary["not_started"];
  std::size_t counted = notStarted;
  for (const char* key : {"written", "up_to_date", "skipped", "failed"}) {
    counted += summary[key].get<std::size_t>();
  }
  EXPECT_EQ(counted, pairs) << summary.dump();
  EXPECT_EQ(report.size() - 1 + notStarted, pairs) << summary.dump();
  // "N of M pairs written, [U up to date, ]S skipped, W not written, K not started"
  const auto at = result.err.find(" pairs written, ");
  ASSERT_NE(at, std::string::npos) << result.err;
  const auto start = result.err.rfind('\n', at) + 1, end = result.err.find(" not started", at);
  ASSERT_NE(end, std::string::npos) << result.err;
  std::istringstream line(result.err.substr(start, end - start));
  std::vector<std::size_t> numbers;
  for (std::string word; line >> word;) {
    if (std::isdigit(static_cast<unsigned char>(word[0]))) numbers.push_back(std::stoul(word));
  }
  ASSERT_GE(numbers.size(), 5u) << result.err;
  std::size_t sum = 0;
  for (std::size_t i = 0; i < numbers.size(); ++i) sum += i == 1 ? 0 : numbers[i];
  EXPECT_EQ(sum, numbers[1]) << result.err;
  EXPECT_EQ(numbers.back(), notStarted) << result.err;
}

TEST_F(CliBatchTest, AnUnwritableOutputFolderGivesStatusThreeNamingFileAndCause) {
  AddSmallWorkload();
  // The child may run as another user: it needs to reach the inputs.
  ::chmod(dir_.Root().c_str(), 0755);
  ::chmod(dir_.Path("out").c_str(), 0555);
  CliLaunch launch;
  launch.unprivileged = true;
  auto options = OutputFormat();
  options.insert(options.end(), {"--jobs", "1", "--report", "-"});
  const auto result = RunCli(Arguments(options), dir_, launch);
  EXPECT_EQ(result.status, 3) << result.err;
  EXPECT_NE(result.err.find(dir_.Path("out/")), std::string::npos) << result.err;
  EXPECT_NE(result.err.find("Permission denied"), std::string::npos) << result.err;
  EXPECT_TRUE(std::filesystem::is_empty(dir_.Path("out")));
  const auto report = JsonLines(result.out);
  ExpectEveryPairCounted(result, report);
  EXPECT_EQ(report.back()["summary"]["not_started"], 5);
}

std::string FromBase64(const std::string& text) {
  static const std::string kDigits =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string bytes;
  std::uint32_t bits = 0;
  int count = 0;
  for (char digit : text) {
    if (digit == '=') break;
    bits = bits << 6 | static_cast<std::uint32_t>(kDigits.find(digit));
    if ((count += 6) >= 8) bytes += static_cast<char>(bits >> (count -= 8));
  }
  return bytes;
}

// A name field as the file system has it: the raw bytes when the text could not hold them.
std::string RawName(const Json& object, const std::string& key) {
  return object.contains(key + "_base64") ? FromBase64(object[key + "_base64"])
                                          : object[key].get<std::string>();
}

std::string FileName(const std::string& path) {
  return std::filesystem::path(path).filename().string();
}

std::map<std::string, std::filesystem::file_time_type> FolderTimes(const std::string& folder) {
  std::map<std::string, std::filesystem::file_time_type> times;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    if (entry.path().filename() == kRecordFolderName) continue;
    times[entry.path().filename().string()] = entry.last_write_time();
  }
  return times;
}

TEST_F(CliBatchTest, UpdateShardsAfterAnInterruptDoOnlyTheRestAndEqualAWholeRun) {
  for (unsigned seed = 0; seed < 2; ++seed) {
    AddBase(std::string(1, static_cast<char>('a' + seed)) + ".png", MakeBase(1600, 1200, seed));
  }
  for (int part = 0; part < 6; ++part) {
    AddPart(std::string(1, static_cast<char>('p' + part)) + ".png", MakePart(400, 300, 50 + part));
  }
  auto whole = OutputFormat();
  whole.insert(whole.end(), {"--jobs", "2"});
  ASSERT_EQ(RunCli(Arguments(whole, "reference"), dir_).status, 0);
  const auto out = dir_.Path("out");
  CliLaunch launch;
  launch.interruptWhen = [&] {
    for (const auto& entry : std::filesystem::directory_iterator(out)) {
      if (entry.path().filename().string()[0] != '.') return true;
    }
    return false;
  };
  auto options = OutputFormat();
  options.insert(options.end(), {"--jobs", "2", "--report", dir_.Path("interrupted.jsonl")});
  const auto stopped = RunCli(Arguments(options), dir_, launch);
  ASSERT_EQ(stopped.status, 130);
  const auto interrupted = JsonLines(ReadText(dir_.Path("interrupted.jsonl")));
  ExpectEveryPairCounted(stopped, interrupted);
  EXPECT_EQ(interrupted.back()["summary"]["exit_status"], 130);
  const auto kept = FolderTimes(out);
  ASSERT_LT(kept.size(), 12u) << "the interrupt came too late to leave anything undone";

  std::map<std::string, std::string> statuses;
  for (const char* shard : {"1/2", "2/2"}) {
    auto update = OutputFormat();
    update.insert(update.end(), {"--update", "--shard", shard, "--report", "-"});
    const auto result = RunCli(Arguments(update), dir_);
    ASSERT_EQ(result.status, 0) << result.err;
    for (const auto& line : JsonLines(result.out)) {
      if (line.contains("output")) statuses[FileName(line["output"])] = line["status"];
    }
  }
  ASSERT_EQ(statuses.size(), 12u);
  for (const auto& [name, status] : statuses) {
    EXPECT_EQ(status, kept.contains(name) ? "up-to-date" : "written") << name;
  }
  for (const auto& [name, time] : FolderTimes(out)) {
    if (kept.contains(name)) {
      EXPECT_EQ(time, kept.at(name)) << name << " was written again";
    }
  }
  EXPECT_EQ(FolderContents(out), FolderContents(dir_.Path("reference")));
}

std::size_t Occurrences(const std::string& text, const std::string& word) {
  std::size_t count = 0;
  for (auto at = text.find(word); at != std::string::npos; at = text.find(word, at + 1)) ++count;
  return count;
}

// A part with transparent pixels laid on by its key is told once, naming --alpha; the mode,
// from the option or the settings file, counts for --update as an option of the outputs.
TEST_F(CliBatchTest, TransparentPartsAreToldOnceAndTheAlphaModeIsAnOption) {
  if (!pngWorks_) GTEST_SKIP() << "needs the PNG codec";
  AddBase("a.png", MakeBase(16, 12, 1));
  AddBase("b.png", MakeBase(12, 16, 2));
  AddPart("plain.png", MakePart(8, 8, 2));
  testing_support::PngChunkWriter glass;
  glass.Ihdr(2, 1, 8, 6).Idat(testing_support::Deflate({0, 0, 255, 0, 128, 200, 0, 0, 0})).Iend();
  testing_support::WriteText(dir_.Path("part/glass.png"),
                             std::string(glass.bytes().begin(), glass.bytes().end()));
  testing_support::WriteText(dir_.Path("alpha.ini"), "[Main]\nAlphaBlend=1\n");
  const std::string told = "glass.png has transparent pixels";
  const auto keyed = RunCli(Arguments({"--jobs", "2"}), dir_);
  ASSERT_EQ(keyed.status, 0) << keyed.err;
  EXPECT_EQ(Occurrences(keyed.err, told), 1u) << keyed.err;
  EXPECT_EQ(Occurrences(keyed.err, "--alpha"), 1u) << keyed.err;
  EXPECT_EQ(Occurrences(keyed.err, "plain.png has"), 0u) << keyed.err;
  const auto blended = RunCli(Arguments({"--alpha", "--update", "--report", "-"}), dir_);
  ASSERT_EQ(blended.status, 0) << blended.err;
  EXPECT_EQ(Occurrences(blended.err, told), 0u) << blended.err;
  const auto report = JsonLines(blended.out);
  EXPECT_EQ(report.back()["summary"]["written"], 4);
  EXPECT_EQ(report.back()["summary"]["options"], "format=png threshold=0 alpha=1");
  const auto fromFile = RunCli(Arguments({"--settings", dir_.Path("alpha.ini"), "--update"}), dir_);
  EXPECT_NE(fromFile.err.find("0 of 4 pairs written, 4 up to date"), std::string::npos)
      << fromFile.err;
  const auto overridden =
      RunCli(Arguments({"--settings", dir_.Path("alpha.ini"), "--no-alpha", "--update"}), dir_);
  EXPECT_NE(overridden.err.find("4 of 4 pairs written"), std::string::npos) << overridden.err;
  EXPECT_EQ(Occurrences(overridden.err, told), 1u) << overridden.err;
}

TEST_F(CliBatchTest, TheReportKeepsEveryFileNameRecoverable) {
  const std::vector<std::string> bases{"plain.png", "line\nbreak.png", "say \"cheese\".png",
                                       "caf\xE9.png", "junk.png"};
  for (const auto& name : bases) {
    if (name == "junk.png") {
      testing_support::WriteText(dir_.Path("base/" + name), "not a picture");
    } else {
      AddBase(name, MakeBase(16, 12, 7));
    }
  }
  AddPart("\xFF.png", MakePart(8, 8, 2));
  auto options = OutputFormat();
  options.insert(options.end(), {"--jobs", "2", "--report", "-"});
  const auto result = RunCli(Arguments(options), dir_);
  ASSERT_EQ(result.status, 1) << result.err;

  const auto lines = JsonLines(result.out);  // throws, failing the test, on a line that is not JSON
  ASSERT_EQ(lines.size(), bases.size() + 1);
  std::set<std::string> seenBases;
  for (std::size_t i = 0; i + 1 < lines.size(); ++i) {
    const auto& line = lines[i];
    const auto base = RawName(line, "base");
    seenBases.insert(FileName(base));
    EXPECT_EQ(RawName(line, "part"), dir_.Path("part/\xFF.png"));
    EXPECT_EQ(line.contains("base_base64"), base.find('\xE9') != std::string::npos);
    if (FileName(base) == "junk.png") {
      EXPECT_EQ(line["status"], "skipped");
      EXPECT_EQ(line["input"], "base");
      EXPECT_NE(line["reason"], "");
    } else {
      EXPECT_EQ(line["status"], "written") << line.dump();
      EXPECT_TRUE(std::filesystem::is_regular_file(RawName(line, "output"))) << line.dump();
    }
  }
  EXPECT_EQ(seenBases, std::set<std::string>(bases.begin(), bases.end()));
  const auto& summary = lines.back()["summary"];
  EXPECT_EQ(summary["written"], 4);
  EXPECT_EQ(summary["skipped"], 1);
  EXPECT_EQ(summary["exit_status"], 1);
}

TEST_F(CliBatchTest, ADryRunListsThePairsAndWritesNothing) {
  AddBase("a.png", MakeBase(16, 16, 5));
  AddBase("a.jpg", MakeBase(16, 16, 6));
  AddBase("b.png", MakeBase(16, 16, 7));
  AddPart("x.png", MakePart(8, 8, 2));
  const auto out = dir_.Path("out");
  testing_support::WriteText(out + "/bx.png", "an earlier run's output");
  // A temporary file of a writer that is gone, which a real run would clear away.
  const pid_t gone = ::fork();
  if (gone == 0) ::_exit(0);
  ::waitpid(gone, nullptr, 0);
  std::string stale = TemporaryNameFor(out + "/ax.png");
  const std::string ownProcess = "-" + std::to_string(::getpid()) + "-";
  stale.replace(stale.find(ownProcess), ownProcess.size(), "-" + std::to_string(gone) + "-");
  testing_support::WriteText(stale, "half a picture");
  for (const auto& input : {"base/b.png", "part/x.png"}) {
    std::filesystem::last_write_time(
        dir_.Path(input),
        std::filesystem::last_write_time(out + "/bx.png") - std::chrono::hours(1));
  }
  const auto before = FolderTimes(out);

  struct Case {
    std::vector<std::string> options;
    bool json;
    bool update;
  };
  const auto plan = dir_.Path("plan.jsonl");
  for (const auto& test :
       std::vector<Case>{{{"--dry-run"}, false, false},
                         {{"--dry-run", "--update"}, false, true},
                         {{"--dry-run", "--report", plan}, true, false},
                         {{"--dry-run", "--update", "--report", "-"}, true, true}}) {
    SCOPED_TRACE(test.options.back());
    const auto result = RunCli(Arguments(test.options), dir_);
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(FolderTimes(out), before);
    std::map<std::string, std::string> listed;  // output name -> its line
    if (test.json) {
      const auto lines = JsonLines(test.options.back() == "-" ? result.out : ReadText(plan));
      ASSERT_EQ(lines.size(), 4u);
      for (std::size_t i = 0; i < 3; ++i) {
        const auto name = FileName(lines[i]["output"]);
        EXPECT_EQ(lines[i]["collision"], name == "ax.png") << name;
        listed[name] = lines[i]["status"];
      }
      EXPECT_EQ(lines.back()["summary"]["dry_run"], true);
      EXPECT_EQ(listed["bx.png"], test.update ? "up-to-date" : "planned");
    } else {
      std::istringstream in(result.out);
      for (std::string line; std::getline(in, line);) {
        const auto name = FileName(line.substr(0, line.find(' ')));
        EXPECT_EQ(line.find("shared name") != std::string::npos, name == "ax.png") << line;
        listed[name] = line;
      }
      EXPECT_EQ(listed["bx.png"].find("up to date") != std::string::npos, test.update);
    }
    EXPECT_EQ(listed.size(), 2u);
  }
}

}  // namespace
}  // namespace mirelay
