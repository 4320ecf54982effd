#pragma once

#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>

#include "batch/batch_job.h"
#include "files/file_status.h"

namespace mirelay {

// The modification time of the regular file at `path`, links followed; nothing when there is
// no such file.
std::optional<FileTime> ModificationTime(const std::string& path);

// Tells which pairs an incremental run may leave as they are: those whose output is a regular
// file at least as new as the pair's base, its part and each of the job's shared inputs. Only
// modification times are read, each input's once, so no input is opened.
//
// A name that several pairs of the batch write (in any shard) is never up to date: its time
// cannot tell which of them wrote it, and only redoing them all in running order leaves the file
// a whole run would.
class UpdateCheck {
 public:
  explicit UpdateCheck(const BatchJob& job);

  // `pair` named with the job's fixed settings.
  bool UpToDate(const BatchPair& pair);

 private:
  std::optional<FileTime> InputTime(const std::string& path);

  const BatchJob& job_;
  // The newest shared input; nothing when one of them is missing, which leaves no output
  // up to date.
  std::optional<FileTime> newestShared_;
  std::unordered_set<std::string> collidingNames_;
  std::unordered_map<std::string, std::optional<FileTime>> inputTimes_;
};

}  // namespace mirelay
