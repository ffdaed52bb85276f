// Mask drawing with QPainter on Grayscale8 bands. Antialiasing is off for shapes and text, so
// every pixel comes out either 0 or 255 and the threshold below only packs what Qt decided:
// a pixel is ink when its centre lies inside the shape, the rule the masks are read with.
#include "platform/MaskPainter.h"

#include <QFont>
#include <QFontMetrics>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPen>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

namespace zelvo {

namespace {

constexpr int32_t kBandRows = 256;
constexpr int32_t kDefaultEm = 12;  // a zero size asks for the system's default height

QFont FontForCellHeight(const std::string& face, int32_t size) {
    QFont font(QString::fromStdString(face));
    font.setWeight(QFont::Normal);
    font.setItalic(false);
    font.setUnderline(false);
    font.setStrikeOut(false);
    font.setStyleStrategy(QFont::NoAntialias);
    font.setHintingPreference(QFont::PreferFullHinting);
    if (size <= 0) {
        font.setPixelSize(size < 0 ? -size : kDefaultEm);
        return font;
    }
    // A positive size is the cell height (ascent + descent), not the em the font is asked for:
    // scale the em by the face's ratio, then step until the cell is the largest not above it.
    font.setPixelSize(size);
    const int first = QFontMetrics(font).height();
    int em = first > 0 ? std::max(1, int(std::lround(double(size) * size / first))) : size;
    font.setPixelSize(em);
    for (int i = 0; i < 8 && em > 1 && QFontMetrics(font).height() > size; ++i)
        font.setPixelSize(--em);
    for (int i = 0; i < 8; ++i) {
        QFont bigger = font;
        bigger.setPixelSize(em + 1);
        if (QFontMetrics(bigger).height() > size) break;
        font = bigger;
        ++em;
    }
    return font;
}

QPainterPath BezierPath(const std::vector<MaskPoint>& points) {
    QPainterPath path;
    if (points.empty()) return path;
    path.moveTo(points[0].x, points[0].y);
    for (size_t i = 1; i + 2 < points.size(); i += 3)
        path.cubicTo(points[i].x, points[i].y, points[i + 1].x, points[i + 1].y, points[i + 2].x,
                     points[i + 2].y);
    return path;
}

}  // namespace

struct MaskPainter::Impl {
    struct TextItem {
        QFont font;
        int32_t lineHeight = 0;
        int32_t ascent = 0;
        MaskText text;
    };
    struct PathItem {
        QPainterPath path;
        bool filled = false;
        int32_t penWidth = 0;
    };
    int32_t width = 0;
    int32_t height = 0;
    std::vector<TextItem> texts;
    std::vector<PathItem> paths;
};

MaskPainter::MaskPainter(int32_t width, int32_t height) : m_impl(std::make_unique<Impl>()) {
    m_impl->width = std::max(0, width);
    m_impl->height = std::max(0, height);
}

MaskPainter::~MaskPainter() = default;

int32_t MaskPainter::AddText(const MaskText& text) {
    if (!EnsureGuiApplication()) return 0;
    Impl::TextItem item;
    item.font = FontForCellHeight(text.face, text.size);
    const QFontMetrics metrics(item.font);
    item.lineHeight = metrics.height();
    item.ascent = metrics.ascent();
    item.text = text;
    const int32_t h = item.lineHeight;
    m_impl->texts.push_back(std::move(item));
    return h;
}

void MaskPainter::AddBezierFill(const std::vector<MaskPoint>& points, MaskFill rule) {
    Impl::PathItem item;
    item.path = BezierPath(points);
    item.path.setFillRule(rule == MaskFill::Alternate ? Qt::OddEvenFill : Qt::WindingFill);
    item.filled = true;
    m_impl->paths.push_back(std::move(item));
}

void MaskPainter::AddBezierStroke(const std::vector<MaskPoint>& points, int32_t penWidth) {
    Impl::PathItem item;
    item.path = BezierPath(points);
    item.filled = false;
    item.penWidth = std::max(1, penWidth);
    m_impl->paths.push_back(std::move(item));
}

bool MaskPainter::Paint(const std::function<bool(int32_t y, const uint8_t* bits)>& row) {
    const int32_t w = m_impl->width, h = m_impl->height;
    if (w == 0 || h == 0 || (m_impl->texts.empty() && m_impl->paths.empty())) return true;
    if (!m_impl->texts.empty() && !EnsureGuiApplication()) return false;

    const int32_t bandRows = std::min(kBandRows, h);
    QImage band(w, bandRows, QImage::Format_Grayscale8);
    if (band.isNull()) return false;
    std::vector<uint8_t> bits;
    try {
        bits.resize((size_t(w) + 7) / 8);
    } catch (const std::bad_alloc&) {
        return false;
    }

    for (int32_t top = 0; top < h; top += bandRows) {
        band.fill(0);
        {
            QPainter p(&band);
            if (!p.isActive()) return false;
            p.setRenderHint(QPainter::Antialiasing, false);
            p.setRenderHint(QPainter::TextAntialiasing, false);
            p.translate(0, -top);
            for (const Impl::PathItem& item : m_impl->paths) {
                if (item.filled) {
                    p.fillPath(item.path, Qt::white);
                } else {
                    QPen pen(Qt::white);
                    pen.setWidth(item.penWidth);
                    pen.setCapStyle(Qt::RoundCap);
                    pen.setJoinStyle(Qt::RoundJoin);
                    p.strokePath(item.path, pen);
                }
            }
            p.setPen(Qt::white);
            for (const Impl::TextItem& item : m_impl->texts) {
                p.setFont(item.font);
                const MaskText& t = item.text;
                for (size_t k = 0; k < t.lines.size(); ++k) {
                    const QString line = QString::fromStdString(t.lines[k]);
                    if (line.isEmpty()) continue;
                    const int32_t step = int32_t(k) * item.lineHeight;
                    if (!t.vertical) {
                        p.drawText(t.x, t.y + step + item.ascent, line);
                    } else {
                        p.save();
                        p.translate(t.x - step, t.y);
                        p.rotate(90);
                        p.drawText(0, item.ascent, line);
                        p.restore();
                    }
                }
            }
        }
        const int32_t rows = std::min(bandRows, h - top);
        for (int32_t r = 0; r < rows; ++r) {
            const uint8_t* src = band.constScanLine(r);
            std::memset(bits.data(), 0, bits.size());
            bool ink = false;
            for (int32_t x = 0; x < w; ++x) {
                if (src[x] >= 128) {
                    bits[size_t(x) >> 3] |= uint8_t(0x80u >> (x & 7));
                    ink = true;
                }
            }
            if (ink && !row(top + r, bits.data())) return false;
        }
    }
    return true;
}

int32_t MaskPainter::LineHeight(const std::string& face, int32_t size) {
    if (!EnsureGuiApplication()) return 0;
    return QFontMetrics(FontForCellHeight(face, size)).height();
}

}  // namespace zelvo
