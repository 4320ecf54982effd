#include "imaging/jpeg/jpeg_trap.h"

namespace mirelay {

namespace {

constexpr char kJpegErrorPattern[] = "JPEG エラー #%d";

[[noreturn]] void JumpBack(j_common_ptr cinfo) {
  // The manager is the first member of the trap, so the pointers coincide.
  std::longjmp(reinterpret_cast<JpegErrorTrap*>(cinfo->err)->jump, 1);
}

// The library's messages never reach the user; a load either succeeds or fails with a number.
void Silence(j_common_ptr, int) {}
void DropMessage(j_common_ptr) {}

}  // namespace

jpeg_error_mgr* InstallErrorTrap(JpegErrorTrap& trap) {
  jpeg_std_error(&trap.manager);
  trap.manager.error_exit = JumpBack;
  trap.manager.emit_message = Silence;
  trap.manager.output_message = DropMessage;
  return &trap.manager;
}

ImageError JpegError(const jpeg_error_mgr& manager) {
  std::string display(kJpegErrorPattern);
  display.replace(display.find("%d"), 2, std::to_string(manager.msg_code));
  // format_message reads the code and its parameters through the context's error manager.
  jpeg_error_mgr copy = manager;
  jpeg_common_struct context{};
  context.err = &copy;
  char english[JMSG_LENGTH_MAX] = {};
  (*copy.format_message)(&context, english);
  return ImageError(display, english);
}

ImageError JpegError(int messageCode) {
  jpeg_error_mgr manager{};
  jpeg_std_error(&manager);
  manager.msg_code = messageCode;
  return JpegError(manager);
}

}  // namespace mirelay
