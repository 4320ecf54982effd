#pragma once

// libjpeg reports errors by calling error_exit, which must not return. Ours longjmps back to
// RunTrapped; the step functions it runs hold only trivially destructible locals, so the jump
// skips no destructor, and no C++ exception ever crosses libjpeg's C frames.

#include <csetjmp>
#include <cstdio>
#include <string>

#include <jpeglib.h>

namespace mirelay {

struct JpegErrorTrap {
  jpeg_error_mgr manager;
  std::jmp_buf jump;
};

// Points `trap` at libjpeg's message table with our exits: errors jump, warnings and traces vanish.
jpeg_error_mgr* InstallErrorTrap(JpegErrorTrap& trap);

// "JPEG エラー #%d" filled with the library's message number.
std::string JpegErrorText(int messageCode);

// Runs `step` on a session that owns `trap`; false when the library raised an error, whose
// number is then in trap.manager.msg_code.
template <typename Session>
bool RunTrapped(Session& session, void (*step)(Session&)) {
  if (setjmp(session.trap.jump) != 0) return false;
  step(session);
  return true;
}

}  // namespace mirelay
