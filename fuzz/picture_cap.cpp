// Every target starts with the fuzz build's small picture cap, so no input spends seconds
// filling memory. MIRELAY_FUZZ_PICTURE_MB puts back a real cap for runs that look for faults
// only pictures of real sizes reach (with libFuzzer's memory limits raised to match).
#include <cstdlib>
#include <string>

#include "imaging/bitmap.h"

namespace {

const bool kCapFromEnvironment = [] {
  if (const char* megabytes = std::getenv("MIRELAY_FUZZ_PICTURE_MB")) {
    mirelay::SetMaxPixelBytes(std::stoull(megabytes) << 20);
  }
  return true;
}();

}  // namespace
