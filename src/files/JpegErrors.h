// libjpeg reports errors by longjmp: the error manager the reader and the writer share jumps
// back to the caller's setjmp(err.jump) and keeps libjpeg's warnings off the terminal.
#pragma once

#include <csetjmp>
#include <cstdio>

#include <jpeglib.h>

namespace zelvo {

struct JpegErrorManager {
    jpeg_error_mgr base;
    jmp_buf jump;
    // libjpeg met a marker before a scan's data was complete and filled in the rest: a file cut
    // short with an end marker added after the cut.
    bool dataCutShort = false;
};

// Fills `err` for use as `cinfo.err`; the caller then calls setjmp(err.jump).
jpeg_error_mgr* SetUpJpegErrors(JpegErrorManager& err);
// The error exit: jumps back to the setjmp of the manager `cinfo` uses.
[[noreturn]] void JpegErrorExit(j_common_ptr cinfo);

}  // namespace zelvo
