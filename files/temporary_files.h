#pragma once

#include <string>

namespace mirelay {

// A fresh name for a temporary file beside `path`: ".mirelay-HOST-PID-N.tmp" in its folder.
// Host and process say whose it is where the file system has no locks (see ClaimTemporary).
std::string TemporaryNameFor(const std::string& path);

// Marks the temporary file just created at `descriptor` as being written, with an
// open-file-description lock that the kernel releases when the writer closes it or dies, in
// whatever PID namespace or on whatever host the writer runs. The lock lasts while any
// duplicate of the descriptor stays open. False when a sweep took the file first (it is gone or
// going): the caller makes another. On file systems without locks it claims nothing and is true.
bool ClaimTemporary(int descriptor, const std::string& temporaryPath);

// Removes from `folder` the temporary files of this program whose writer is gone: those whose
// lock is free, from this host or any other sharing the folder. Where the file system has no
// locks, only those of this host whose process no longer exists. Anything that merely looks
// alike stays. Returns how many were removed.
int RemoveStaleTemporaries(const std::string& folder);

}  // namespace mirelay
