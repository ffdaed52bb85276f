#include "layers/TextLayer.h"

#include <algorithm>

#include "layers/MaskRender.h"
#include "platform/MaskPainter.h"

namespace zelvo {

std::vector<std::string> TextLines(const std::string& text) {
    std::vector<std::string> lines(1);
    for (char c : text) {
        if (c == '\r')
            lines.emplace_back();
        else if (c != '\n')
            lines.back().push_back(c);
    }
    return lines;
}

bool RenderText(Layer& layer) {
    if (layer.Kind() != LayerKind::Text) return false;
    const TextSettings& t = layer.Text();
    const Point at = layer.Position();
    MaskPainter painter(layer.Width(), layer.Height());
    MaskText text;
    text.face = t.face;
    text.size = t.fontSize;
    text.vertical = t.direction == kTextVertical;
    text.x = t.originX - at.x;
    text.y = t.originY - at.y;
    text.lines = TextLines(t.text);
    painter.AddText(text);
    return WriteMask(layer, painter, 1014, 1015);
}

int32_t TextLineHeight(const TextSettings& settings) {
    return MaskPainter::LineHeight(settings.face, settings.fontSize);
}

void SwapTextOrigin(Layer& layer, Point& origin) {
    TextSettings& t = layer.Text();
    const Point live{t.originX, t.originY};
    t.originX = origin.x;
    t.originY = origin.y;
    origin = live;
    RenderText(layer);
}

void SetTextFace(TextSettings& settings, const std::string& face) {
    size_t n = std::min(face.size(), TextSettings::kFaceBytes - 1);
    // Do not cut a multi-byte character in half: back off continuation bytes.
    if (n < face.size())
        while (n > 0 && (uint8_t(face[n]) & 0xC0) == 0x80) --n;
    settings.face = face.substr(0, n);
}

std::vector<std::string> FontFaceList(const std::vector<std::string>& enumerated) {
    std::vector<std::string> high, low;
    std::ptrdiff_t agencyAt = -1;  // where "Agency FB" came in the second group
    for (const std::string& f : enumerated) {
        if (!f.empty() && uint8_t(f[0]) >= 0x80)
            high.push_back(f);
        else if (f == "Agency FB" && agencyAt < 0)
            agencyAt = std::ptrdiff_t(low.size());
        else
            low.push_back(f);
    }
    if (agencyAt >= 0) {
        auto arial = std::find(low.begin(), low.end(), "Arial");
        // Without "Arial" it keeps its own place.
        low.insert(arial != low.end() ? arial : low.begin() + agencyAt, "Agency FB");
    }
    high.insert(high.end(), low.begin(), low.end());
    return high;
}

int DefaultFontFaceIndex(const std::vector<std::string>& faces) {
    if (faces.empty()) return -1;
    auto it = std::find(faces.begin(), faces.end(), "Arial");
    return it == faces.end() ? 0 : int(it - faces.begin());
}

const std::vector<int32_t>& FontSizeList() {
    static const std::vector<int32_t> sizes = [] {
        std::vector<int32_t> s;
        for (int32_t v = 10; v <= 200; v += 10) s.push_back(v);
        for (int32_t v = 225; v <= 500; v += 25) s.push_back(v);
        return s;
    }();
    return sizes;
}

}  // namespace zelvo
