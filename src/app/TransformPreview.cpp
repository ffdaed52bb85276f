#include "app/TransformPreview.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include <QImage>
#include <QPainter>

#include "layers/StoredDib.h"
#include "tools/FreeTransformTool.h"

namespace zelvo {

TransformPreview::TransformPreview(const ToolController& tools, const LayerPtr& layer)
    : m_tools(tools), m_layer(layer) {
    if (!layer || !layer->HasPixels() || layer->BitsPerPixel() != 32) return;
    const int32_t w = layer->Width(), h = layer->Height();
    const int32_t step = (std::max(w, h) + kMaxSide - 1) / kMaxSide;
    const int32_t pw = (w + step - 1) / step, ph = (h + step - 1) / step;
    std::unique_ptr<ReadRowCursor> rows = layer->OpenReadRows();
    if (!rows || pw <= 0 || ph <= 0) return;
    std::vector<uint32_t> words(size_t(pw) * size_t(ph), 0u);
    for (int32_t y = 0; y < ph; ++y) {
        const uint8_t* src = rows->Row(uint32_t(StoredDib::StoredRow(y * step, h)));
        if (!src) continue;
        uint32_t* dst = words.data() + size_t(y) * size_t(pw);
        for (int32_t x = 0; x < pw; ++x)
            std::memcpy(dst + x, src + 4 * size_t(x) * size_t(step), 4);
    }
    m_words = std::move(words);
    m_width = pw;
    m_height = ph;
    m_step = step;
}

void TransformPreview::Paint(QPainter& p, const ImageGeometry& g) const {
    if (const FrameCorners* frame = PendingFreeTransform(m_tools)) Paint(p, g, *frame);
}

void TransformPreview::Paint(QPainter& p, const ImageGeometry& g, const FrameCorners& frame) const {
    if (m_words.empty() || g.zoom <= 0) return;
    const double zoom = double(g.zoom);
    // The screen pixels the frame can reach, within the part of the view that shows the canvas.
    double lo[2] = {frame[0].x, frame[0].y}, hi[2] = {frame[0].x, frame[0].y};
    for (const PointD& c : frame) {
        lo[0] = std::min(lo[0], c.x), hi[0] = std::max(hi[0], c.x);
        lo[1] = std::min(lo[1], c.y), hi[1] = std::max(hi[1], c.y);
    }
    const auto screenX = [&](double x) { return g.screenRect.left + (x - g.visible.left) * zoom; };
    const auto screenY = [&](double y) { return g.screenRect.top + (y - g.visible.top) * zoom; };
    const auto bounded = [](double v, int32_t from, int32_t to) {
        return int32_t(std::clamp(v, double(from), double(to)));
    };
    const int32_t x0 = bounded(std::floor(screenX(lo[0])), g.screenRect.left, g.screenRect.right);
    const int32_t x1 = bounded(std::ceil(screenX(hi[0])), g.screenRect.left, g.screenRect.right);
    const int32_t y0 = bounded(std::floor(screenY(lo[1])), g.screenRect.top, g.screenRect.bottom);
    const int32_t y1 = bounded(std::ceil(screenY(hi[1])), g.screenRect.top, g.screenRect.bottom);
    if (x0 >= x1 || y0 >= y1) return;
    // The frame maps the layer's own pixels; the kept copy holds every m_step-th of them.
    const int32_t sw = m_layer->Width(), sh = m_layer->Height();
    QImage out(x1 - x0, y1 - y0, QImage::Format_ARGB32);
    out.fill(Qt::transparent);
    for (int32_t sy = y0; sy < y1; ++sy) {
        const double cy = g.visible.top + (sy + 0.5 - g.screenRect.top) / zoom;
        FrameRow row;
        if (!FrameRowAt(frame, sw, sh, cy, row)) continue;
        const double span = row.right - row.left;
        const PointD along{row.rightSource.x - row.leftSource.x,
                           row.rightSource.y - row.leftSource.y};
        auto* line = reinterpret_cast<uint32_t*>(out.scanLine(sy - y0));
        for (int32_t sx = x0; sx < x1; ++sx) {
            const double cx = g.visible.left + (sx + 0.5 - g.screenRect.left) / zoom;
            if (cx < row.left || cx > row.right) continue;
            const double t = span > 0 ? (cx - row.left) / span : 0;
            const PointD at{(row.leftSource.x + along.x * t) / m_step,
                            (row.leftSource.y + along.y * t) / m_step};
            const uint32_t word = SampleSource(m_words.data(), m_width, m_width, m_height, at);
            // The stored alpha is a percent.
            const uint32_t alpha = std::min<uint32_t>(word >> 24, 100) * 255 / 100;
            line[sx - x0] = alpha << 24 | (word & 0x00FFFFFFu);
        }
    }
    p.save();
    p.setClipRect(
        QRect(g.screenRect.left, g.screenRect.top, g.screenRect.Width(), g.screenRect.Height()));
    p.setOpacity(m_layer->Opacity() / 100.0);
    p.drawImage(QPoint(x0, y0), out);
    p.restore();
}

void TransformPreview::PaintOverThumbnail(std::vector<uint8_t>& dib, int32_t canvasWidth,
                                          int32_t canvasHeight) const {
    if (m_words.empty() || dib.size() < StoredDib::kHeaderBytes || canvasWidth <= 0 ||
        canvasHeight <= 0)
        return;
    const FrameCorners* frame = PendingFreeTransform(m_tools);
    if (!frame) return;
    int32_t w = 0, h = 0;
    std::memcpy(&w, dib.data() + 4, 4);
    std::memcpy(&h, dib.data() + 8, 4);
    const size_t stride = StoredDib::Stride(w, 24);
    if (w <= 0 || h <= 0 || dib.size() < StoredDib::kHeaderBytes + stride * size_t(h)) return;
    uint8_t* rows = dib.data() + StoredDib::kHeaderBytes;
    QImage picture(w, h, QImage::Format_RGB32);
    for (int32_t y = 0; y < h; ++y) {
        const uint8_t* src = rows + stride * size_t(y);
        auto* dst = reinterpret_cast<uint32_t*>(picture.scanLine(y));
        for (int32_t x = 0; x < w; ++x)
            dst[x] = 0xFF000000u | uint32_t(src[3 * x + 2]) << 16 | uint32_t(src[3 * x + 1]) << 8 |
                     src[3 * x];
    }
    {
        QPainter p(&picture);
        // Stored rows bottom-up: the canvas is drawn upside down into them.
        p.translate(0, h);
        p.scale(1, -1);
        ImageGeometry g;
        g.width = canvasWidth;
        g.height = canvasHeight;
        // The thumbnail's own fit of the canvas, whichever side limited it.
        g.zoom = std::max(float(w) / float(canvasWidth), float(h) / float(canvasHeight));
        g.visible = {0, 0, canvasWidth, canvasHeight};
        g.screenRect = {0, 0, w, h};
        Paint(p, g, *frame);
    }
    for (int32_t y = 0; y < h; ++y) {
        uint8_t* dst = rows + stride * size_t(y);
        const auto* src = reinterpret_cast<const uint32_t*>(picture.constScanLine(y));
        for (int32_t x = 0; x < w; ++x) {
            dst[3 * x] = uint8_t(src[x]);
            dst[3 * x + 1] = uint8_t(src[x] >> 8);
            dst[3 * x + 2] = uint8_t(src[x] >> 16);
        }
    }
}

}  // namespace zelvo
