// The system clipboard through Qt: the program's bitmap under its own format
// "application/x-zelvo-dib", beside a standard image (the bitmap's colours, which a copy has
// already composited over white) for other programs. A paste prefers the program's own
// format, then "image/png" and "image/bmp", then any image, converting a foreign picture into
// a 24-bit DIB over white. Without a Qt GUI application the clipboard counts as one that cannot
// be opened.
#pragma once

#include <chrono>

#include "platform/Clipboard.h"

namespace zelvo {

class QtClipboard : public Clipboard {
public:
    static constexpr const char* kMimeType = "application/x-zelvo-dib";
    // The largest picture of another program's that is decoded, in megabytes of 32-bit pixels
    // (134 million pixels).
    static constexpr int kPictureLimitMb = 512;

    bool SetDib(const std::vector<uint8_t>& dib) override;
    std::optional<std::vector<uint8_t>> Dib() override;
    bool HasDib() override;
    bool Empty() override;
    bool SetText(const std::string& text) override;
    std::optional<std::string> Text() override;

private:
    // The last answer of HasDib, and when and after how many told changes it was had.
    bool m_known = false;
    bool m_has = false;
    int m_changes = 0;
    std::chrono::steady_clock::time_point m_askedAt;
};

}  // namespace zelvo
