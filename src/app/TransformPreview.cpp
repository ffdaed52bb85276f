#include "app/TransformPreview.h"

#include <algorithm>
#include <cstring>

#include <QPainter>
#include <QPolygonF>
#include <QTransform>

#include "layers/StoredDib.h"
#include "tools/FreeTransformTool.h"

namespace zelvo {

TransformPreview::TransformPreview(const ToolController& tools, const LayerPtr& layer)
    : m_tools(tools), m_layer(layer) {
    if (!layer || !layer->HasPixels() || layer->BitsPerPixel() != 32) return;
    const int32_t w = layer->Width(), h = layer->Height();
    const int32_t step = (std::max(w, h) + kMaxSide - 1) / kMaxSide;
    const int32_t pw = (w + step - 1) / step, ph = (h + step - 1) / step;
    QImage pixels(pw, ph, QImage::Format_ARGB32);
    std::unique_ptr<ReadRowCursor> rows = layer->OpenReadRows();
    if (!rows) return;
    for (int32_t y = 0; y < ph; ++y) {
        const uint8_t* src = rows->Row(uint32_t(StoredDib::StoredRow(y * step, h)));
        auto* dst = reinterpret_cast<uint32_t*>(pixels.scanLine(y));
        if (!src) {
            std::fill(dst, dst + pw, 0u);
            continue;
        }
        for (int32_t x = 0; x < pw; ++x) {
            uint32_t word;
            std::memcpy(&word, src + 4 * size_t(x) * size_t(step), 4);
            // The stored alpha is a percent.
            const uint32_t alpha = std::min<uint32_t>(word >> 24, 100) * 255 / 100;
            dst[x] = alpha << 24 | (word & 0x00FFFFFFu);
        }
    }
    m_pixels = std::move(pixels);
}

void TransformPreview::Paint(QPainter& p, const ImageGeometry& g) const {
    if (const FrameCorners* frame = PendingFreeTransform(m_tools)) Paint(p, g, *frame);
}

void TransformPreview::Paint(QPainter& p, const ImageGeometry& g, const FrameCorners& frame) const {
    if (m_pixels.isNull()) return;
    QPolygonF quad;
    for (const PointD& c : frame)
        quad << QPointF(g.screenRect.left + (c.x - g.visible.left) * double(g.zoom),
                        g.screenRect.top + (c.y - g.visible.top) * double(g.zoom));
    const QRectF source(0, 0, m_pixels.width(), m_pixels.height());
    const QPolygonF corners(
        {source.topLeft(), source.topRight(), source.bottomRight(), source.bottomLeft()});
    QTransform t;
    // A frame squeezed to a line has no mapping; nothing of the layer shows then.
    if (!QTransform::quadToQuad(corners, quad, t)) return;
    p.save();
    p.setClipRect(
        QRect(g.screenRect.left, g.screenRect.top, g.screenRect.Width(), g.screenRect.Height()));
    p.setRenderHint(QPainter::SmoothPixmapTransform, true);
    p.setOpacity(m_layer->Opacity() / 100.0);
    // Combined with the painter's own mapping (a thumbnail's rows run bottom-up).
    p.setTransform(t, true);
    p.drawImage(source, m_pixels);
    p.restore();
}

void TransformPreview::PaintOverThumbnail(std::vector<uint8_t>& dib, int32_t canvasWidth,
                                          int32_t canvasHeight) const {
    if (m_pixels.isNull() || dib.size() < StoredDib::kHeaderBytes || canvasWidth <= 0 ||
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
