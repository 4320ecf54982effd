#include "batch/picture_memory.h"

#include <malloc.h>

namespace mirelay {

void KeepFreedPictureMemory() {
  constexpr int kOneGibibyte = 1 << 30;
  mallopt(M_MMAP_THRESHOLD, kOneGibibyte);
  mallopt(M_TRIM_THRESHOLD, kOneGibibyte);
}

void ReleaseFreedPictureMemory() { malloc_trim(0); }

}  // namespace mirelay
