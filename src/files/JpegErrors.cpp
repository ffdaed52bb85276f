#include "files/JpegErrors.h"

#include <jerror.h>

namespace zelvo {

namespace {

// Warnings stay off the terminal; the one that means lost picture data is noted.
void NoteMessage(j_common_ptr cinfo, int level) {
    if (level == -1 && cinfo->err->msg_code == JWRN_HIT_MARKER)
        reinterpret_cast<JpegErrorManager*>(cinfo->err)->dataCutShort = true;
}

}  // namespace

jpeg_error_mgr* SetUpJpegErrors(JpegErrorManager& err) {
    jpeg_error_mgr* base = jpeg_std_error(&err.base);
    err.base.error_exit = JpegErrorExit;
    err.base.emit_message = NoteMessage;
    err.dataCutShort = false;
    return base;
}

void JpegErrorExit(j_common_ptr cinfo) {
    longjmp(reinterpret_cast<JpegErrorManager*>(cinfo->err)->jump, 1);
}

}  // namespace zelvo
