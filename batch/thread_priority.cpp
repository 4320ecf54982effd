#include "batch/thread_priority.h"

#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>

namespace mirelay {

void LowerThisThreadPriority(int increment) {
  if (increment == 0) return;
  const auto thread = static_cast<id_t>(::gettid());
  errno = 0;
  const int current = ::getpriority(PRIO_PROCESS, thread);
  if (errno != 0) return;
  ::setpriority(PRIO_PROCESS, thread, current + increment);
}

}  // namespace mirelay
