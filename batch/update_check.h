#pragma once

#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>

#include "batch/batch_job.h"
#include "batch/output_record.h"
#include "files/file_status.h"

namespace mirelay {

// The modification time of the regular file at `path`, links followed; nothing when there is
// no such file.
std::optional<FileTime> ModificationTime(const std::string& path);

// Tells which pairs an incremental run may leave as they are. An output is never up to date
// when it is missing, empty, older than one of the job's shared inputs (the settings file), or
// written by several pairs of the batch (in any shard), whose time cannot tell which of them
// wrote it. Otherwise an output the record knows is up to date when an entry of the record
// matches it (size, time, inode) and says it was made from the pair's inputs as they are now
// (size, time, inode, change time) with the job's options; an output the record does not know
// (made by the window, by hand or before records were kept) when it is at least as new as its
// base and its part. No input is opened.
class UpdateCheck {
 public:
  explicit UpdateCheck(const BatchJob& job);

  // `pair` named with the job's fixed settings.
  bool UpToDate(const BatchPair& pair);

 private:
  bool MadeFromTodaysInputs(const RecordEntry& entry, const BatchPair& pair);
  std::optional<FileStatus> InputStatus(const std::string& path);

  const BatchJob& job_;
  // The newest shared input; nothing when one of them is missing, which leaves no output
  // up to date.
  std::optional<FileTime> newestShared_;
  std::unordered_set<std::string> collidingNames_;
  OutputRecord record_;
  std::string options_;
  std::unordered_map<std::string, std::optional<FileStatus>> inputs_;
};

}  // namespace mirelay
