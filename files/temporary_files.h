#pragma once

#include <string>

namespace mirelay {

// A fresh name for a temporary file beside `path`: ".mirelay-HOST-PID-N.tmp" in its folder.
// Host and process say whose it is, so a later run can tell a leftover from a file being written.
std::string TemporaryNameFor(const std::string& path);

// Removes from `folder` the temporary files of this program that processes of this host left
// behind when they were killed: those whose process no longer exists. Files of other hosts
// (a folder shared between machines) and of live processes are left alone. Returns how many
// were removed.
int RemoveStaleTemporaries(const std::string& folder);

}  // namespace mirelay
