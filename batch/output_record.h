#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "files/append_file.h"
#include "files/file_lock.h"
#include "files/file_status.h"
#include "imaging/output_format.h"

namespace mirelay {

// The record of what made each output, which mirelay-batch keeps in OUT_DIR so that --update can
// tell an output made from today's inputs and options from one that only looks new. A dot-folder,
// so no listing of outputs or inputs ever takes it for a picture.
inline constexpr char kRecordFolderName[] = ".mirelay-record";

// What tells one version of a file from another: a replacement by an older file changes its
// inode and change time, an edit within one tick of the clock its size or change time.
struct FileIdentity {
  std::uint64_t size = 0;
  FileTime modified;
  std::uint64_t inode = 0;
  FileTime changed;
  bool operator==(const FileIdentity&) const = default;
};
FileIdentity IdentityOf(const FileStatus& status);

// An output is still the one recorded when its size, time and inode are: its change time also
// moves when a backup links it elsewhere, which leaves its bytes alone.
bool SameOutput(const FileIdentity& recorded, const FileIdentity& now);

struct RecordEntry {
  std::string output;  // its name in OUT_DIR
  std::string base;    // the inputs' paths as the run had them
  std::string part;
  std::string options;  // RecordedOptions of the run
  FileIdentity baseIdentity;
  FileIdentity partIdentity;
  FileIdentity outputIdentity;
};

// The options besides the inputs that decide an output's bytes, in the record's words:
// "format=jpg quality=90 threshold=0", and " alpha=1" after them in the alpha mode.
std::string RecordedOptions(const OutputFormat& output, std::int32_t threshold, bool alphaBlend);

// An entry as one line of a log, ending with "\n"; and back, nothing for a line that is not one.
std::string RecordLine(const RecordEntry& entry);
std::optional<RecordEntry> ParseRecordLine(std::string_view line);

// Every entry of the record in `outFolder` (which ends with "/"), by output name, in the order
// each log holds them; empty when there is no record.
using OutputRecord = std::unordered_map<std::string, std::vector<RecordEntry>>;
OutputRecord ReadOutputRecord(const std::string& outFolder);

// One run's log in the record: runs on one folder, shards or not, each append to a log of their
// own, so no two writers ever share a file. A run that finds no other at work first folds the
// logs of earlier runs into one, keeping only the entries of outputs still as recorded.
class RecordWriter {
 public:
  RecordWriter(const std::string& outFolder, bool durable);
  // Called once the entry's output is in place. FileError when the record's folder or the
  // run's log cannot be made or cannot take it.
  void Add(const RecordEntry& entry);
  // The log and its folder on the disk (when durable). FileError when the disk says no.
  void Finish();

 private:
  void Compact();

  std::string outFolder_;
  std::string folder_;  // ends with "/"
  bool durable_;
  std::optional<FileLock> lock_;
  std::optional<AppendFile> log_;
};

}  // namespace mirelay
