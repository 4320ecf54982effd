#pragma once

#include <cstdint>
#include <string>
#include <system_error>

namespace mirelay {

// How often the calls that make files durable have run in this process, so that a test can
// check that every output is flushed before it is renamed.
struct DurabilityCounts {
  std::uint64_t dataFlushes = 0;
  std::uint64_t folderFlushes = 0;
  std::uint64_t renames = 0;
};
DurabilityCounts DurabilityCountsNow();

// The file's data on the disk (fdatasync), so that a power cut after its rename cannot leave an
// empty or short file under the final name. FileError naming `path` when the disk says no.
void FlushFileData(int descriptor, const std::string& path);

// Starts writing the given bytes of the file to the disk without waiting for them, so that
// the flush before the rename finds little left to do. Only a hint: failures are left to the
// flush.
void StartWriteback(int descriptor, std::uint64_t offset, std::uint64_t length);

// The folder's entries on the disk (fsync of the folder), so that renames into it survive a
// power cut. FileError naming `folder` when the disk says no.
void FlushFolder(const std::string& folder);

// Renames `from` over `to`; the system's cause when it cannot.
std::error_code RenameFile(const std::string& from, const std::string& to);

}  // namespace mirelay
