#pragma once

namespace mirelay {

// Raises the calling thread's nice value by `increment` (Linux gives each thread its own), so
// that its work yields to the threads a user is waiting on. Nothing for 0; a refusal by the
// system leaves the priority as it was, since the work is the same either way.
void LowerThisThreadPriority(int increment);

}  // namespace mirelay
