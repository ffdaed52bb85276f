#include "files/JpegErrors.h"

namespace zelvo {

namespace {

void SilentMessage(j_common_ptr, int) {}

}  // namespace

jpeg_error_mgr* SetUpJpegErrors(JpegErrorManager& err) {
    jpeg_error_mgr* base = jpeg_std_error(&err.base);
    err.base.error_exit = JpegErrorExit;
    err.base.emit_message = SilentMessage;
    return base;
}

void JpegErrorExit(j_common_ptr cinfo) {
    longjmp(reinterpret_cast<JpegErrorManager*>(cinfo->err)->jump, 1);
}

}  // namespace zelvo
