// The system clipboard through Qt: the program's bitmap under its own format
// "application/x-zelvo-dib", beside a standard image (the bitmap's colours, which a copy has
// already composited over white) for other programs. A paste prefers the program's own
// format, then "image/bmp", then any image, converting a foreign picture into a 24-bit DIB
// over white. Without a Qt GUI application the clipboard counts as one that cannot be opened.
#pragma once

#include "platform/Clipboard.h"

namespace zelvo {

class QtClipboard : public Clipboard {
public:
    static constexpr const char* kMimeType = "application/x-zelvo-dib";

    bool SetDib(const std::vector<uint8_t>& dib) override;
    std::optional<std::vector<uint8_t>> Dib() override;
    bool HasDib() override;
    bool Empty() override;
};

}  // namespace zelvo
