#include "batch/parallel_batch.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <latch>
#include <mutex>
#include <numeric>
#include <set>
#include <sstream>
#include <stdexcept>
#include <thread>
#include <utility>

#include "batch/output_record.h"
#include "batch/overlay.h"
#include "files/durability.h"
#include "files/output_file.h"
#include "imaging/image_error.h"
#include "tests/support/temp_dir.h"

namespace mirelay {
namespace {

using testing_support::ReadText;
using testing_support::TempDir;
using testing_support::WriteText;

// A stand-in format so the engine is tested apart from the codecs: "W H RGB" fills a
// picture, and an optional "X0 Y0 X1 Y1 RGB" paints a rectangle on it. "unreadable" stands
// for a file that cannot be opened; other text fails to decode.
std::int32_t LoadFake(const std::string& path, Bitmap& bitmap, const DecodeOptions& = {}) {
  if (ReadText(path) == "unreadable") throw FileError("cannot open " + path, "cannot open " + path);
  std::istringstream in(ReadText(path));
  int width = 0, height = 0;
  unsigned fill = 0;
  if (!(in >> width >> height >> std::hex >> fill >> std::dec)) return kFormatUnknown;
  Bitmap picture(PixelFormat::kBits24, width, height);
  auto paint = [&](int x0, int y0, int x1, int y1, unsigned rgb) {
    for (int y = y0; y < y1; ++y) {
      for (int x = x0; x < x1; ++x) {
        std::uint8_t* pixel = picture.RowPointer(y) + 3 * x;
        pixel[0] = rgb & 0xFF, pixel[1] = (rgb >> 8) & 0xFF, pixel[2] = rgb >> 16;
      }
    }
  };
  paint(0, 0, width, height, fill);
  int x0, y0, x1, y1;
  unsigned rgb;
  if (in >> x0 >> y0 >> x1 >> y1 >> std::hex >> rgb) paint(x0, y0, x1, y1, rgb);
  bitmap = picture;
  return kFormatBmp;
}

void WriteFake(OutputFile& file, const Bitmap& bitmap, const OutputFormat&,
               const std::function<bool()>& = {}) {
  file.Write(bitmap.PixelMemory());
}

struct Workspace {
  TempDir dir;
  BatchJob job;

  Workspace() {
    for (const char* folder : {"base", "part", "out"}) {
      std::filesystem::create_directory(dir.Path(folder));
    }
    job.outFolder = dir.Path("out") + "/";
    job.load = LoadFake;
    job.write = WriteFake;
  }
  void AddBase(const std::string& name, const std::string& content) {
    WriteText(dir.Path("base/" + name), content);
    job.bases.push_back(dir.Path("base/" + name));
  }
  void AddPart(const std::string& name, const std::string& content) {
    WriteText(dir.Path("part/" + name), content);
    job.parts.push_back(dir.Path("part/" + name));
  }
  // Bases b0..b{count-1} in distinct colours, parts p0.. with a distinct opaque square each.
  void AddGrid(int bases, int parts) {
    for (int i = 0; i < bases; ++i) AddBase("b" + std::to_string(i) + ".png", "8 6 " + Hex(i));
    for (int i = 0; i < parts; ++i) {
      AddPart("p" + std::to_string(i) + ".png", "5 5 00ff00 1 1 4 4 " + Hex(0x100 + i));
    }
  }
  static std::string Hex(int value) {
    std::ostringstream out;
    out << std::hex << value * 0x10101 + 0x20;
    return out.str();
  }
  std::map<std::string, std::string> Outputs() const {
    std::map<std::string, std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(dir.Path("out"))) {
      if (entry.path().filename() == kRecordFolderName) continue;
      files[entry.path().filename().string()] = ReadText(entry.path().string());
    }
    return files;
  }
};

BatchReport RunToEnd(const BatchJob& job, const BatchObserver& observer = {}) {
  const std::atomic<bool> stop{false};
  return RunParallelBatch(job, stop, observer);
}

// The window's loop over the same stand-in codec: decode both, overlay, save, pair by pair.
std::map<std::string, std::string> SequentialOutputs(Workspace& space) {
  for (std::size_t b = 0; b < space.job.bases.size(); ++b) {
    for (std::size_t p = 0; p < space.job.parts.size(); ++p) {
      Bitmap base, part;
      if (!LoadFake(space.job.bases[b], base) || !LoadFake(space.job.parts[p], part)) continue;
      OverlayColorKey(base, part, space.job.settings.threshold);
      const auto name = PairOutputName(space.job, space.job.settings, b, p);
      WriteWholeFile(space.job.outFolder + name, base.PixelMemory());
    }
  }
  return space.Outputs();
}

// The pairs of each shard as names, so that two copies of the inputs can be compared.
std::set<std::pair<std::string, std::string>> NamedShard(const BatchJob& job) {
  std::set<std::pair<std::string, std::string>> named;
  for (const auto& pair : EnumeratePairs(job)) {
    const auto nameOf = [](const std::string& path) { return path.substr(path.rfind('/') + 1); };
    named.emplace(nameOf(job.bases[pair.base]), nameOf(job.parts[pair.part]));
  }
  return named;
}

// Shards are decided by names alone: a copy of the inputs under another folder, listed in
// another order, splits alike, and each shard keeps the running order.
TEST(ShardTest, ShardsAreDisjointCoverEveryPairAndSplitAnyListingAlike) {
  BatchJob job;
  job.bases = {"b/1.png", "b/2.png", "b/3.png"};
  job.parts = {"p/x.png", "p/y.png", "p/z.png", "p/w.png", "p/\xE9.png"};
  BatchJob copy;
  copy.bases = {"/copy/b/3.png", "/copy/b/1.png", "/copy/b/2.png"};
  copy.parts = {"/copy/p/\xE9.png", "/copy/p/w.png", "/copy/p/y.png", "/copy/p/x.png",
                "/copy/p/z.png"};
  const auto all = EnumeratePairs(job);
  ASSERT_EQ(all.size(), 15u);
  EXPECT_EQ(all[7].base, 1u);
  EXPECT_EQ(all[7].part, 2u);
  EXPECT_EQ(all[7].outputName, "2z.png");
  for (std::uint32_t count : {1u, 2u, 4u, 7u, 15u, 16u}) {
    std::set<std::size_t> seen;
    for (std::uint32_t number = 1; number <= count; ++number) {
      job.shard = copy.shard = {number, count};
      const auto pairs = EnumeratePairs(job);
      EXPECT_EQ(pairs.size(), ShardPairCount(job));
      EXPECT_TRUE(std::is_sorted(pairs.begin(), pairs.end(),
                                 [](const auto& a, const auto& b) { return a.index < b.index; }));
      for (const auto& pair : pairs) {
        EXPECT_TRUE(seen.insert(pair.index).second) << "pair " << pair.index << " twice";
      }
      EXPECT_EQ(NamedShard(copy), NamedShard(job)) << number << "/" << count;
    }
    EXPECT_EQ(seen.size(), all.size()) << count << " shards";
  }
  job.shard = {0, 2};
  EXPECT_TRUE(EnumeratePairs(job).empty());
}

TEST(ParallelBatchTest, FourThreadsWriteWhatTheSequentialLoopWrites) {
  Workspace space;
  space.AddGrid(5, 4);
  space.job.settings.separator = "_";
  space.job.settings.nameOrder = NameOrder::PartFirst();
  const auto expected = SequentialOutputs(space);
  std::filesystem::remove_all(space.dir.Path("out"));
  std::filesystem::create_directory(space.dir.Path("out"));
  space.job.jobs = 4;
  const auto before = DurabilityCountsNow();
  const auto report = RunToEnd(space.job);
  const auto after = DurabilityCountsNow();
  EXPECT_EQ(report.written, 20u);
  EXPECT_EQ(space.Outputs(), expected);
  EXPECT_TRUE(expected.contains("p3_b4.png"));
  // Each input is decoded once for the run, not once per pair.
  EXPECT_EQ(report.decodes, 9u);
  // Every output is flushed before its rename, and the folder once after the last.
  EXPECT_EQ(after.dataFlushes - before.dataFlushes, 20u);
  EXPECT_EQ(after.renames - before.renames, 20u);
  EXPECT_EQ(after.folderFlushes - before.folderFlushes, 1u);
}

TEST(ParallelBatchTest, TheLaterPairOfACollidingNameWinsEvenWhenItFinishesFirst) {
  for (unsigned jobs : {1u, 3u}) {
    Workspace space;
    space.AddBase("a.png", "4 4 111111");
    space.AddBase("c.png", "4 4 333333");
    space.AddBase("a.jpg", "4 4 222222");
    space.AddPart("x.png", "2 2 00ff00");
    space.job.jobs = jobs;
    // With several workers the earlier pair's base is held back until the later pair's base
    // is decoded, so the later pair reaches its save first.
    std::latch laterDecoded(1);
    space.job.load = [&](const std::string& path, Bitmap& bitmap, const DecodeOptions&) {
      if (jobs > 1 && path.ends_with("a.png")) laterDecoded.wait();
      const auto format = LoadFake(path, bitmap);
      if (path.ends_with("a.jpg")) laterDecoded.count_down();
      return format;
    };
    EXPECT_EQ(CollidingNames(EnumeratePairs(space.job)), std::vector<std::string>{"ax.png"});
    RunToEnd(space.job);
    EXPECT_EQ(space.Outputs().at("ax.png"), std::string(48, '\x22')) << jobs << " jobs";
  }
}

TEST(ParallelBatchTest, PairsStartInRunningOrderWhateverTheWorkerCount) {
  Workspace space;
  space.AddGrid(4, 5);
  space.job.jobs = 4;
  std::vector<std::size_t> started;
  std::atomic<std::size_t> latestStarted{0};
  std::vector<std::pair<std::size_t, std::size_t>> finishedAgainstLatest;
  BatchObserver observer;
  observer.started = [&](const BatchPair& pair) {
    started.push_back(pair.index);
    EXPECT_EQ(pair.base * 5 + pair.part, pair.index);
    latestStarted = pair.index;
  };
  observer.finished = [&](const PairOutcome& outcome) {
    finishedAgainstLatest.emplace_back(outcome.index, latestStarted.load());
  };
  RunToEnd(space.job, observer);
  std::vector<std::size_t> runningOrder(20);
  std::iota(runningOrder.begin(), runningOrder.end(), 0);
  EXPECT_EQ(started, runningOrder);
  ASSERT_EQ(finishedAgainstLatest.size(), 20u);
  for (const auto& [finished, latest] : finishedAgainstLatest) EXPECT_LE(finished, latest);
}

TEST(ParallelBatchTest, ASeparatorChangedDuringTheRunNamesOnlyPairsStartedAfterIt) {
  Workspace space;
  space.AddGrid(2, 4);
  space.job.jobs = 3;
  SharedPairSettings live;
  live.Set({"_", NameOrder::BaseFirst(), 0});
  space.job.currentSettings = [&] { return live.Get(); };
  BatchObserver observer;
  observer.started = [&](const BatchPair& pair) {
    if (pair.index == 4) live.Set({"-", NameOrder::BaseFirst(), 0});
  };
  RunToEnd(space.job, observer);
  std::vector<std::string> names;
  for (const auto& [name, content] : space.Outputs()) names.push_back(name);
  EXPECT_EQ(names, (std::vector<std::string>{"b0_p0.png", "b0_p1.png", "b0_p2.png", "b0_p3.png",
                                             "b1-p1.png", "b1-p2.png", "b1-p3.png", "b1_p0.png"}));
}

TEST(ParallelBatchTest, StopWithSeveralWorkersLeavesAPrefixOfTheRunningOrder) {
  Workspace space;
  space.AddGrid(4, 4);
  space.job.jobs = 3;
  std::atomic<bool> stop{false};
  BatchObserver observer;
  observer.started = [&](const BatchPair& pair) {
    if (pair.index == 5) stop = true;
  };
  const auto report = RunParallelBatch(space.job, stop, observer);
  EXPECT_TRUE(report.stopped);
  std::vector<std::string> names;
  for (const auto& [name, content] : space.Outputs()) names.push_back(name);
  EXPECT_EQ(names, (std::vector<std::string>{"b0p0.png", "b0p1.png", "b0p2.png", "b0p3.png",
                                             "b1p0.png", "b1p1.png"}));
}

// The second base decodes until the run tells it to stop; meanwhile the third pair is done on
// the other worker. Stopping cuts the long decode short after its grace, and the third pair's
// file is dropped with it, so the run still leaves a prefix.
TEST(ParallelBatchTest, AStopCutsALongDecodeShortAndDropsTheLaterPairs) {
  Workspace space;
  space.AddBase("b0.png", "4 4 111111");
  space.AddBase("b1.png", "slow");
  space.AddBase("b2.png", "4 4 333333");
  space.AddPart("p.png", "2 2 00ff00");
  space.job.jobs = 2;
  std::atomic<bool> stop{false}, thirdWritten{false};
  space.job.load = [&](const std::string& path, Bitmap& bitmap, const DecodeOptions& options) {
    if (ReadText(path) != "slow") return LoadFake(path, bitmap);
    while (!options.StopRequested()) {
      if (thirdWritten) stop = true;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    throw ImageError(FailureKind::kStopped);
  };
  space.job.write = [&](OutputFile& file, const Bitmap& bitmap, const OutputFormat& output,
                        const std::function<bool()>&) {
    WriteFake(file, bitmap, output);
    if (file.Path().ends_with("b2p.png")) thirdWritten = true;
  };
  std::vector<PairStatus> statuses;
  BatchObserver observer;
  observer.finished = [&](const PairOutcome& outcome) { statuses.push_back(outcome.status); };
  const auto report = RunParallelBatch(space.job, stop, observer);
  EXPECT_TRUE(report.stopped);
  EXPECT_EQ(statuses, (std::vector<PairStatus>{PairStatus::kWritten, PairStatus::kStopped,
                                               PairStatus::kStopped}));
  std::vector<std::string> left;
  for (const auto& entry : std::filesystem::directory_iterator(space.dir.Path("out"))) {
    left.push_back(entry.path().filename().string());
  }
  EXPECT_EQ(left, std::vector<std::string>{"b0p.png"});
}

TEST(ParallelBatchTest, AFailedWriteEndsTheWindowsRunWithThePairsBeforeItWritten) {
  Workspace space;
  space.AddGrid(3, 3);
  std::filesystem::create_directory(space.dir.Path("out/b0p2.png"));
  space.job.jobs = 3;
  space.job.anyErrorEndsRun = true;
  const auto report = RunToEnd(space.job);
  ASSERT_TRUE(report.failure.has_value());
  EXPECT_EQ(report.failure->index, 2u);
  EXPECT_TRUE(report.stopped);
  std::vector<std::string> left;
  for (const auto& entry : std::filesystem::directory_iterator(space.dir.Path("out"))) {
    left.push_back(entry.path().filename().string());
  }
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left, (std::vector<std::string>{"b0p0.png", "b0p1.png", "b0p2.png"}))
      << "pairs after the failed one are dropped, temporary files included";
}

TEST(ParallelBatchTest, AnOutputsOwnErrorSkipsOnlyThatPairInTheCommand) {
  Workspace space;
  space.AddGrid(2, 2);
  space.AddBase(std::string(250, 'n') + ".png", "4 4 111111");
  std::filesystem::create_directory(space.dir.Path("out/b0p1.png"));
  const auto report = RunToEnd(space.job);
  EXPECT_FALSE(report.failure.has_value());
  EXPECT_FALSE(report.stopped);
  EXPECT_EQ(report.written, 3u);
  ASSERT_EQ(report.notWritten.size(), 3u);
  EXPECT_EQ(report.notWritten[0].outputPath, space.dir.Path("out/b0p1.png"));
  EXPECT_EQ(report.notWritten[0].reason.code, std::errc::is_a_directory);
  EXPECT_EQ(report.notWritten[0].reason.english,
            "cannot create " + space.dir.Path("out/b0p1.png") + ": Is a directory");
  EXPECT_EQ(report.notWritten[1].reason.code, std::errc::filename_too_long);
}

TEST(ParallelBatchTest, InputErrorsEndTheWindowsRunButOnlySkipTheCommandsPairs) {
  struct Case {
    const char* badBase;
    const char* part;
    std::size_t commandWrites;
  };
  // An empty part cannot be laid on a base; an unreadable base cannot even be opened.
  for (const Case& c : {Case{"4 4 111111", "0 0 000000", 0}, Case{"unreadable", "2 2 00ff00", 1}}) {
    for (const bool windowRule : {false, true}) {
      Workspace space;
      space.AddBase("a.png", c.badBase);
      space.AddBase("b.png", "4 4 222222");
      space.AddPart("x.png", c.part);
      space.job.anyErrorEndsRun = windowRule;
      const auto report = RunToEnd(space.job);
      SCOPED_TRACE(std::string(c.badBase) + (windowRule ? ", window" : ", command"));
      EXPECT_EQ(report.failure.has_value(), windowRule);
      EXPECT_EQ(report.stopped, windowRule);
      EXPECT_EQ(report.written, windowRule ? 0u : c.commandWrites);
    }
  }
}

// A decoder's programming error is no fault of the input: even the command, which skips bad
// inputs, fails the run with it, and every pair that asks for the file sees it.
TEST(ParallelBatchTest, AProgrammingErrorInADecoderEndsTheRunAndIsNoBadInput) {
  Workspace space;
  space.AddBase("a.png", "4 4 111111");
  space.AddPart("x.png", "2 2 00ff00");
  space.AddPart("y.png", "2 2 00ff00");
  space.job.load = [](const std::string& path, Bitmap& bitmap, const DecodeOptions& options) {
    if (path.ends_with("x.png")) throw std::logic_error("index past the end");
    return LoadFake(path, bitmap, options);
  };
  const auto report = RunToEnd(space.job);
  ASSERT_TRUE(report.failure.has_value());
  EXPECT_EQ(report.failure->reason.kind, FailureKind::kProgramFault);
  EXPECT_EQ(report.failure->reason.display, "index past the end");
  EXPECT_TRUE(report.undecodable.empty());
  EXPECT_EQ(report.skipped, 0u);
  EXPECT_EQ(report.written, 0u);
  EXPECT_EQ(report.failed + report.notStarted + report.cutShort, 2u);
}

TEST(ParallelBatchTest, AnUndecodableLaterPairLeavesTheEarlierOutputAsTheWindowDoes) {
  Workspace space;
  space.AddBase("a.png", "4 4 111111");
  space.AddBase("a.jpg", "broken");
  space.AddPart("x.png", "2 2 00ff00");
  space.AddPart("y.png", "2 2 00ff00");
  space.job.jobs = 2;
  const auto report = RunToEnd(space.job);
  EXPECT_EQ(space.Outputs().at("ax.png"), std::string(48, '\x11'));
  EXPECT_EQ(report.written, 2u);
  EXPECT_EQ(report.skipped, 2u);
  ASSERT_EQ(report.undecodable.size(), 1u) << "each broken file is reported once";
  EXPECT_EQ(report.undecodable[0].path, space.dir.Path("base/a.jpg"));
}

TEST(ParallelBatchTest, MissingFilesAreReportedAsSuch) {
  Workspace space;
  space.AddBase("a.png", "4 4 111111");
  space.job.parts = {space.dir.Path("part/gone.png")};
  const auto report = RunToEnd(space.job);
  ASSERT_EQ(report.undecodable.size(), 1u);
  EXPECT_EQ(report.undecodable[0].reason.english, "file not found");
  EXPECT_TRUE(space.Outputs().empty());
}

TEST(ParallelBatchTest, ATinyCacheStillGivesTheSameOutputs) {
  Workspace space;
  space.AddGrid(3, 3);
  const auto expected = SequentialOutputs(space);
  space.job.cacheBytes = 1;
  space.job.jobs = 2;
  const auto report = RunToEnd(space.job);
  EXPECT_EQ(space.Outputs(), expected);
  EXPECT_GT(report.decodes, 6u) << "nothing can stay cached under a one-byte budget";
}

TEST(ParallelBatchTest, StopLetsThePairInFlightFinishAndStartsNoOther) {
  Workspace space;
  space.AddGrid(3, 3);
  std::atomic<bool> stop{false};
  std::size_t finished = 0;
  BatchObserver observer;
  observer.finished = [&](const PairOutcome&) {
    ++finished;
    stop = true;
  };
  const auto report = RunParallelBatch(space.job, stop, observer);
  EXPECT_TRUE(report.stopped);
  EXPECT_EQ(finished, 1u);
  EXPECT_EQ(space.Outputs().size(), 1u);
}

TEST(ParallelBatchTest, BmpAndGifOutputTakeTheirOwnExtension) {
  Workspace space;
  space.AddGrid(1, 1);
  space.job.output = {kFormatBmp, 90, ".bmp"};
  RunToEnd(space.job);
  EXPECT_TRUE(space.Outputs().contains("b0p0.bmp"));
}

// The window's workers yield to its own thread: every thread that processes a pair runs at
// the job's added nice value, and the thread that asked for the run is a worker too.
TEST(ParallelBatchTest, PairsRunAtTheJobsAddedNiceValue) {
  Workspace space;
  space.AddGrid(2, 2);
  space.job.jobs = 2;
  space.job.workerNice = 10;
  std::mutex mutex;
  std::set<int> niceValues;
  BatchObserver observer;
  observer.started = [&](const BatchPair&) {
    std::lock_guard lock(mutex);
    niceValues.insert(::getpriority(PRIO_PROCESS, static_cast<id_t>(::gettid())));
  };
  const int before = ::getpriority(PRIO_PROCESS, 0);
  std::thread([&] { RunToEnd(space.job, observer); }).join();
  EXPECT_EQ(niceValues, std::set<int>{std::min(before + 10, 19)});
  EXPECT_EQ(::getpriority(PRIO_PROCESS, static_cast<id_t>(::gettid())), before);
}

// A finished 3 x 2 batch whose inputs, settings file included, are older than its outputs.
struct FinishedBatch {
  Workspace space;
  std::string settingsFile = space.dir.Path("Mirelay.ini");
  const std::filesystem::file_time_type now = std::filesystem::file_time_type::clock::now();

  // A run that keeps the record has its inputs aged before it, since the record holds their
  // change times, which aging them afterwards would move.
  explicit FinishedBatch(bool recorded = false) {
    space.AddGrid(3, 2);
    WriteText(settingsFile, "[Settings]\n");
    space.job.sharedInputs = {settingsFile};
    space.job.jobs = 2;
    space.job.keepRecord = recorded;
    if (recorded) AgeInputs();
    RunToEnd(space.job);
    if (recorded) return;
    AgeInputs();
    for (const auto& [name, content] : space.Outputs()) Age(Output(name), 0);
  }
  void AgeInputs() const {
    for (const auto& input : space.job.bases) Age(input, -10);
    for (const auto& input : space.job.parts) Age(input, -10);
    Age(settingsFile, -10);
  }
  std::string Output(const std::string& name) const { return space.job.outFolder + name; }
  void Age(const std::string& path, int seconds) const {
    std::filesystem::last_write_time(path, now + std::chrono::seconds(seconds));
  }
  // New bytes of the same length, under the time the file had.
  static void Rewrite(const std::string& path, std::size_t length) {
    const auto time = std::filesystem::last_write_time(path);
    WriteText(path, std::string(length, 'x'));
    std::filesystem::last_write_time(path, time);
  }
  // The outputs of the pairs an incremental run starts, and its report.
  std::pair<std::set<std::string>, BatchReport> RunIncrementally() {
    space.job.redoOnlyOutdated = true;
    std::set<std::string> started;
    BatchObserver observer;
    observer.started = [&](const BatchPair& pair) { started.insert(pair.outputName); };
    const auto report = RunToEnd(space.job, observer);
    return {started, report};
  }
};

TEST(IncrementalRunTest, RedoesExactlyThePairsAChangeReachesAndDecodesOnlyTheirInputs) {
  struct Case {
    const char* change;
    std::function<void(FinishedBatch&)> make;
    std::set<std::string> redone;
    std::size_t decodes;
  };
  const std::set<std::string> all{"b0p0.png", "b0p1.png", "b1p0.png",
                                  "b1p1.png", "b2p0.png", "b2p1.png"};
  const std::vector<Case> cases{
      {"nothing", [](FinishedBatch&) {}, {}, 0},
      {"a base newer than its outputs",
       [](FinishedBatch& batch) { batch.Age(batch.space.job.bases[1], 5); },
       {"b1p0.png", "b1p1.png"},
       3},
      {"a part newer than its outputs",
       [](FinishedBatch& batch) { batch.Age(batch.space.job.parts[0], 5); },
       {"b0p0.png", "b1p0.png", "b2p0.png"},
       4},
      {"a base exactly as old as its outputs",
       [](FinishedBatch& batch) { batch.Age(batch.space.job.bases[2], 0); },
       {},
       0},
      {"a newer settings file", [](FinishedBatch& batch) { batch.Age(batch.settingsFile, 5); }, all,
       5},
      {"the settings file gone",
       [](FinishedBatch& batch) { std::filesystem::remove(batch.settingsFile); }, all, 5},
      {"an output removed",
       [](FinishedBatch& batch) { std::filesystem::remove(batch.Output("b2p1.png")); },
       {"b2p1.png"},
       2},
      {"an output emptied",
       [](FinishedBatch& batch) {
         std::filesystem::resize_file(batch.Output("b2p0.png"), 0);
         batch.Age(batch.Output("b2p0.png"), 0);
       },
       {"b2p0.png"},
       2},
      {"a newer folder in an output's place",
       [](FinishedBatch& batch) {
         std::filesystem::remove(batch.Output("b0p1.png"));
         std::filesystem::create_directory(batch.Output("b0p1.png"));
         batch.Age(batch.Output("b0p1.png"), 5);
       },
       {"b0p1.png"},
       2},
  };
  for (const auto& test : cases) {
    SCOPED_TRACE(test.change);
    FinishedBatch batch;
    test.make(batch);
    const auto [started, report] = batch.RunIncrementally();
    EXPECT_EQ(started, test.redone);
    EXPECT_EQ(report.upToDate, all.size() - test.redone.size());
    EXPECT_EQ(report.decodes, test.decodes);
  }
}

// What the record of the first run lets an incremental run see that times alone cannot.
TEST(IncrementalRunTest, TheRecordRedoesWhatOtherInputsOrOptionsWouldMake) {
  using Change = std::function<void(FinishedBatch&)>;
  const std::set<std::string> all{"b0p0.png", "b0p1.png", "b1p0.png",
                                  "b1p1.png", "b2p0.png", "b2p1.png"};
  const auto b1 = std::set<std::string>{"b1p0.png", "b1p1.png"};
  // Rows end with whether the outputs they redo are then up to date: a settings file newer than
  // the outputs may still be newer than the ones redone within the same tick of the clock.
  const std::vector<std::tuple<const char*, Change, std::set<std::string>, bool>> cases{
      {"nothing", [](FinishedBatch&) {}, {}, true},
      {"an output emptied, its time kept",
       [](FinishedBatch& batch) {
         const auto time = std::filesystem::last_write_time(batch.Output("b0p0.png"));
         std::filesystem::resize_file(batch.Output("b0p0.png"), 0);
         std::filesystem::last_write_time(batch.Output("b0p0.png"), time);
       },
       {"b0p0.png"},
       true},
      {"an output cut short, its time kept",
       [](FinishedBatch& batch) {
         const auto path = batch.Output("b1p1.png");
         FinishedBatch::Rewrite(path, std::filesystem::file_size(path) / 2);
       },
       {"b1p1.png"},
       true},
      {"an output rewritten in place, its size and time kept",
       [](FinishedBatch& batch) {
         const auto path = batch.Output("b2p1.png"), copy = path + ".new";
         std::filesystem::copy_file(path, copy);
         std::filesystem::last_write_time(copy, std::filesystem::last_write_time(path));
         std::filesystem::rename(copy, path);
       },
       {"b2p1.png"},
       true},
      {"the threshold changed",
       [](FinishedBatch& batch) { batch.space.job.settings.threshold = 9; }, all, true},
      {"the format changed under the same names",
       [](FinishedBatch& batch) { batch.space.job.output.format = kFormatBmp; }, all, true},
      {"the JPEG quality changed",
       [](FinishedBatch& batch) {
         batch.space.job.output = {kFormatJpeg, 80, ".png"};
         RunToEnd(batch.space.job);
         batch.space.job.output.quality = 81;
       },
       all, true},
      {"the same changed options a second time",
       [](FinishedBatch& batch) {
         batch.space.job.settings.threshold = 9;
         RunToEnd(batch.space.job);
       },
       {},
       true},
      {"a base replaced by an older file",
       [](FinishedBatch& batch) {
         const auto base = batch.space.job.bases[1], older = base + ".old";
         WriteText(older, "8 6 777777");
         batch.Age(older, -20);
         std::filesystem::rename(older, base);
       },
       b1, true},
      {"a base edited, its time put back",
       [](FinishedBatch& batch) {
         const auto base = batch.space.job.bases[1];
         const auto time = std::filesystem::last_write_time(base);
         WriteText(base, "8 6 777777");
         std::filesystem::last_write_time(base, time);
       },
       b1, true},
      {"a part changed within its outputs' time",
       [](FinishedBatch& batch) {
         const auto part = batch.space.job.parts[0];
         auto content = ReadText(part);
         content.back() = content.back() == '0' ? '1' : '0';
         WriteText(part, content);
         std::filesystem::last_write_time(
             part, std::filesystem::last_write_time(batch.Output("b0p0.png")));
       },
       {"b0p0.png", "b1p0.png", "b2p0.png"},
       true},
      {"a settings file newer than the outputs",
       [](FinishedBatch& batch) {
         std::filesystem::last_write_time(
             batch.settingsFile,
             std::filesystem::last_write_time(batch.Output("b2p1.png")) + std::chrono::seconds(1));
       },
       all, false},
      {"an output removed",
       [](FinishedBatch& batch) { std::filesystem::remove(batch.Output("b0p1.png")); },
       {"b0p1.png"},
       true},
      {"no record: times decide",
       [](FinishedBatch& batch) {
         std::filesystem::remove_all(batch.space.job.outFolder + kRecordFolderName);
         batch.Age(batch.space.job.bases[1], 3600);
       },
       b1, true},
  };
  for (const auto& [change, make, redone, settles] : cases) {
    SCOPED_TRACE(change);
    FinishedBatch batch(true);
    make(batch);
    const auto [started, report] = batch.RunIncrementally();
    EXPECT_EQ(started, redone);
    EXPECT_EQ(report.upToDate, all.size() - redone.size());
    // What was redone is recorded in its turn: the same run again does nothing.
    if (settles) {
      EXPECT_EQ(batch.RunIncrementally().first, std::set<std::string>{});
    }
  }
}

TEST(IncrementalRunTest, AfterAStopFinishesOnlyWhatWasLeftAndMatchesAWholeRun) {
  Workspace space;
  space.AddGrid(3, 3);
  space.job.jobs = 2;
  std::atomic<bool> stop{false};
  BatchObserver stopper;
  stopper.started = [&](const BatchPair& pair) {
    if (pair.index == 3) stop = true;
  };
  ASSERT_TRUE(RunParallelBatch(space.job, stop, stopper).stopped);
  std::set<std::string> left;
  for (const auto& pair : EnumeratePairs(space.job)) {
    if (!space.Outputs().contains(pair.outputName)) left.insert(pair.outputName);
  }
  ASSERT_FALSE(left.empty());
  ASSERT_LT(left.size(), 9u);

  space.job.redoOnlyOutdated = true;
  std::set<std::string> started;
  BatchObserver observer;
  observer.started = [&](const BatchPair& pair) { started.insert(pair.outputName); };
  const auto report = RunToEnd(space.job, observer);
  EXPECT_EQ(started, left);
  EXPECT_EQ(report.upToDate, 9u - left.size());
  const auto resumed = space.Outputs();
  std::filesystem::remove_all(space.dir.Path("out"));
  std::filesystem::create_directory(space.dir.Path("out"));
  EXPECT_EQ(resumed, SequentialOutputs(space));
}

// Its time cannot tell which of the pairs wrote a shared name, so they are all done again, in
// running order, leaving what a whole run leaves.
TEST(IncrementalRunTest, PairsSharingAnOutputNameAreAlwaysRedone) {
  Workspace space;
  space.AddBase("a.png", "4 4 112233");
  space.AddBase("a.bmp", "4 4 445566");
  space.AddPart("x.png", "4 4 00ff00");
  RunToEnd(space.job);
  space.job.redoOnlyOutdated = true;
  std::size_t started = 0;
  BatchObserver observer;
  observer.started = [&](const BatchPair&) { ++started; };
  const auto report = RunToEnd(space.job, observer);
  EXPECT_EQ(started, 2u);
  EXPECT_EQ(report.upToDate, 0u);
  const auto resumed = space.Outputs();
  EXPECT_EQ(resumed, SequentialOutputs(space));
}

}  // namespace
}  // namespace mirelay
