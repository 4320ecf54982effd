#pragma once

// libjpeg reports errors by calling error_exit, which must not return. Ours longjmps back to
// RunTrapped; the step functions it runs hold only trivially destructible locals, so the jump
// skips no destructor, and no C++ exception ever crosses libjpeg's C frames.

#include <csetjmp>
#include <cstdio>
#include <string>

#include <jpeglib.h>

#include "imaging/image_error.h"

namespace mirelay {

struct JpegErrorTrap {
  jpeg_error_mgr manager;
  std::jmp_buf jump;
};

// Points `trap` at libjpeg's message table with our exits: errors jump, warnings and traces vanish.
jpeg_error_mgr* InstallErrorTrap(JpegErrorTrap& trap);

// The error the library raised into `manager`: "JPEG エラー #%d" with its message number for
// the window, the library's own message for the command.
ImageError JpegError(const jpeg_error_mgr& manager);
// The same for a message number of the library's table that this program raises itself.
ImageError JpegError(int messageCode);

// Runs `step` on a session that owns `trap`; false when the library raised an error, whose
// number is then in trap.manager.msg_code.
template <typename Session>
bool RunTrapped(Session& session, void (*step)(Session&)) {
  if (setjmp(session.trap.jump) != 0) return false;
  step(session);
  return true;
}

}  // namespace mirelay
