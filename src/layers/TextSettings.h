// The settings a text layer is rendered from (its colour is the layer's own colour).
#pragma once

#include <cstdint>
#include <string>

namespace zelvo {

enum TextDirection : int32_t { kTextVertical = 0, kTextHorizontal = 1 };

struct TextSettings {
    static constexpr size_t kFaceBytes = 32;  // the stored face name, NUL included

    // UTF-8; lines are separated by CR LF as typed in the edit box.
    std::string text;
    int32_t originX = 0;  // canvas position of the top-left of the first line
    int32_t originY = 0;
    int32_t fontSize = 60;       // > 0 selects the cell height
    std::string face = "Arial";  // at most kFaceBytes - 1 bytes
    int32_t direction = kTextHorizontal;

    friend bool operator==(const TextSettings&, const TextSettings&) = default;
};

}  // namespace zelvo
