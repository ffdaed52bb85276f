#include "app/CCompositeView.h"

#include <cstring>

#include <QPainter>

#include "doc/Image.h"
#include "layers/StoredDib.h"

namespace zelvo {

CCompositeView::CCompositeView(Image& image, QWidget* parent) : QWidget(parent), m_image(image) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMinimumSize(50, 40);
}

void CCompositeView::Invalidate() {
    m_dirty = true;
    update();
}

void CCompositeView::resizeEvent(QResizeEvent*) { m_dirty = true; }

void CCompositeView::Render() {
    m_dirty = false;
    m_picture = QImage();
    if (!m_image.IsReady()) return;
    const std::vector<uint8_t> dib = m_image.Layers().RenderThumbnail(width(), height());
    if (dib.size() < StoredDib::kHeaderBytes) return;
    int32_t w = 0, h = 0;
    std::memcpy(&w, dib.data() + 4, 4);
    std::memcpy(&h, dib.data() + 8, 4);
    if (w <= 0 || h <= 0) return;
    const uint32_t stride = StoredDib::Stride(w, 24);
    if (dib.size() < StoredDib::kHeaderBytes + size_t(stride) * size_t(h)) return;
    QImage picture(w, h, QImage::Format_RGB888);
    const uint8_t* rows = dib.data() + StoredDib::kHeaderBytes;
    for (int32_t y = 0; y < h; ++y) {
        const uint8_t* src = rows + size_t(h - 1 - y) * stride;  // stored bottom row first
        uchar* dst = picture.scanLine(y);
        for (int32_t x = 0; x < w; ++x) {
            dst[3 * x] = src[3 * x + 2];
            dst[3 * x + 1] = src[3 * x + 1];
            dst[3 * x + 2] = src[3 * x];
        }
    }
    m_picture = picture;
}

void CCompositeView::paintEvent(QPaintEvent*) {
    if (m_dirty) Render();
    QPainter p(this);
    p.fillRect(rect(), palette().color(QPalette::Dark));
    if (m_picture.isNull()) return;
    const QPoint at((width() - m_picture.width()) / 2, (height() - m_picture.height()) / 2);
    p.drawImage(at, m_picture);
}

}  // namespace zelvo
