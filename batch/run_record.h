#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>

#include "batch/batch_job.h"
#include "batch/output_record.h"
#include "files/file_status.h"
#include "imaging/image_error.h"

namespace mirelay {

// What one run enters in the record of its output folder (see RecordWriter), when the job keeps
// one. Inputs are entered as they were before their first decode in the run, so an input changed
// during the run leaves its outputs outdated, never the other way round. The record only spares
// later runs work, so one that fails is told once (failure()) and dropped, and the run goes on.
// Every member may be called from any worker.
class RunRecord {
 public:
  explicit RunRecord(const BatchJob& job);

  // An input as a pair found it before decoding it; the first sight of each is kept.
  void NoteInput(const std::string& path, const FileStatus& status);
  // The entry of a pair about to be written, all but its output's identity; nothing when no
  // record is kept.
  std::optional<RecordEntry> EntryFor(const BatchPair& pair, std::int32_t threshold,
                                      bool alphaBlend) const;
  // Right after the output of `entry` was renamed into place at `outputPath`.
  void Add(RecordEntry entry, const std::string& outputPath);
  // Once, after the last Add: the log on the disk.
  void Finish();
  std::optional<Failure> failure() const;

 private:
  template <typename Action>
  void Guarded(Action action);

  const BatchJob& job_;
  mutable std::mutex mutex_;
  std::optional<RecordWriter> writer_;
  std::unordered_map<std::string, FileIdentity> firstIdentities_;
  std::optional<Failure> failure_;
};

}  // namespace mirelay
