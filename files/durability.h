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

// The folder's entries on the disk (fsync of the folder), so that renames into it survive a
// power cut. FileError naming `folder` when the disk says no.
void FlushFolder(const std::string& folder);

// Renames `from` over `to`; the system's cause when it cannot.
std::error_code RenameFile(const std::string& from, const std::string& to);

}  // namespace mirelay
