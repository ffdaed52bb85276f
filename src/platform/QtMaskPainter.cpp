// Mask drawing with QPainter on Grayscale8 bands. Antialiasing is off for shapes and text, so
// every pixel comes out either 0 or 255 and the threshold below only packs what Qt decided:
// a pixel is ink when its centre lies inside the shape, the rule the masks are read with.
#include "platform/QtModule.h"

#include <QFont>
#include <QFontMetrics>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPen>
#include <QPolygonF>
#include <QTransform>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

namespace zelvo::qt {

namespace {

constexpr int32_t kBandRows = 256;
// A band holds up to this many pixels (one byte each), so a narrow ink area is painted in few
// bands and a wide one in bands of at least kBandRows rows.
constexpr int64_t kBandPixels = 16 << 20;
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

// Whether the cubic p0..p3 lies within a quarter pixel of its chord: both control points are
// that near the chord's line and do not reach past its ends (the curve stays in their hull).
// The test is on the shape, not the pace along it, so a straight stretch is one segment
// however unevenly its control points divide it.
bool IsFlat(const QPointF& p0, const QPointF& p1, const QPointF& p2, const QPointF& p3) {
    constexpr qreal kTolerance = 0.25;
    const QPointF v = p3 - p0;
    const qreal length2 = QPointF::dotProduct(v, v);
    for (const QPointF& p : {p1, p2}) {
        const QPointF d = p - p0;
        if (length2 < kTolerance * kTolerance) {
            if (QPointF::dotProduct(d, d) > kTolerance * kTolerance) return false;
            continue;
        }
        const qreal cross = v.x() * d.y() - v.y() * d.x();
        if (cross * cross > kTolerance * kTolerance * length2) return false;
        const qreal along = QPointF::dotProduct(v, d);
        const qreal slack = kTolerance * std::sqrt(length2);
        if (along < -slack || along > length2 + slack) return false;
    }
    return true;
}

// Flattens the cubic p0..p3 into `out` (p0 is already there). A piece whose control points
// all lie off `keep` is replaced by its chord: the area between a cubic and its chord lies
// within the hull of its control points, so neither the fill nor the stroke inside `keep`
// changes, and a curve reaching millions of pixels out costs a few chords instead of the
// thousand segments a flattener gives it over its whole length.
void Flatten(const QPointF& p0, const QPointF& p1, const QPointF& p2, const QPointF& p3,
             const QRectF& keep, int depth, QPolygonF& out) {
    const qreal left = std::min({p0.x(), p1.x(), p2.x(), p3.x()});
    const qreal right = std::max({p0.x(), p1.x(), p2.x(), p3.x()});
    const qreal top = std::min({p0.y(), p1.y(), p2.y(), p3.y()});
    const qreal bottom = std::max({p0.y(), p1.y(), p2.y(), p3.y()});
    const bool outside =
        right < keep.left() || left > keep.right() || bottom < keep.top() || top > keep.bottom();
    if (outside || IsFlat(p0, p1, p2, p3) || depth >= 24) {
        out << p3;
        return;
    }
    const QPointF a = (p0 + p1) / 2, b = (p1 + p2) / 2, c = (p2 + p3) / 2;
    const QPointF ab = (a + b) / 2, bc = (b + c) / 2, mid = (ab + bc) / 2;
    Flatten(p0, a, ab, mid, keep, depth + 1, out);
    Flatten(mid, bc, c, p3, keep, depth + 1, out);
}

// The poly-Bezier as straight segments, exact within `keep` (the canvas and a margin).
QPolygonF BezierPolygon(const std::vector<MaskPoint>& points, const QRectF& keep) {
    QPolygonF polygon;
    if (points.empty()) return polygon;
    polygon << QPointF(points[0].x, points[0].y);
    for (size_t i = 1; i + 2 < points.size(); i += 3)
        Flatten(polygon.back(), QPointF(points[i].x, points[i].y),
                QPointF(points[i + 1].x, points[i + 1].y),
                QPointF(points[i + 2].x, points[i + 2].y), keep, 0, polygon);
    return polygon;
}

// Points of an outline stroked at once. Qt's stroker builds the whole outline of a path
// before filling it: a curve of a hundred thousand anchors (a file can hold one) would take
// gigabytes there. With round caps and joins the outline of a polyline is the union of the
// outlines of its runs, so a long one is stroked run by run.
constexpr qsizetype kStrokeRun = 4096;

}  // namespace

struct QtMaskPainter::Impl {
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

QtMaskPainter::QtMaskPainter(int32_t width, int32_t height) : m_impl(std::make_unique<Impl>()) {
    m_impl->width = std::max(0, width);
    m_impl->height = std::max(0, height);
}

QtMaskPainter::~QtMaskPainter() = default;

int32_t QtMaskPainter::AddText(const MaskText& text) {
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

void QtMaskPainter::AddBezierFill(const std::vector<MaskPoint>& points, MaskFill rule) {
    Impl::PathItem item;
    item.path.addPolygon(
        BezierPolygon(points, QRectF(-2, -2, m_impl->width + 4, m_impl->height + 4)));
    item.path.setFillRule(rule == MaskFill::Alternate ? Qt::OddEvenFill : Qt::WindingFill);
    item.filled = true;
    m_impl->paths.push_back(std::move(item));
}

void QtMaskPainter::AddBezierStroke(const std::vector<MaskPoint>& points, int32_t penWidth) {
    const int32_t width = std::max(1, penWidth);
    const qreal pad = width + 2;
    const QPolygonF polygon = BezierPolygon(
        points, QRectF(-pad, -pad, m_impl->width + 2 * pad, m_impl->height + 2 * pad));
    // Runs share their end points, so no segment is left out between them.
    for (qsizetype start = 0; start == 0 || start + 1 < polygon.size(); start += kStrokeRun) {
        Impl::PathItem item;
        item.penWidth = width;
        item.filled = false;
        item.path.addPolygon(polygon.mid(start, kStrokeRun + 1));
        m_impl->paths.push_back(std::move(item));
    }
}

bool QtMaskPainter::Paint(const std::function<bool(int32_t y, const uint8_t* bits)>& row) {
    const int32_t w = m_impl->width, h = m_impl->height;
    if (w == 0 || h == 0 || (m_impl->texts.empty() && m_impl->paths.empty())) return true;
    if (!m_impl->texts.empty() && !EnsureGuiApplication()) return false;

    // Every item is measured once; only the part of the canvas some item may touch is painted,
    // and each band draws only the items that reach into it. So the work follows the rows that
    // can hold ink, not the canvas, and a tall canvas is not drawn over again band by band.
    const QRectF canvas(0, 0, w, h);
    struct Placed {
        QRectF bounds;
        const Impl::PathItem* path = nullptr;
        const Impl::TextItem* text = nullptr;
        size_t line = 0;
    };
    std::vector<Placed> placed;
    QRectF ink;
    auto place = [&](Placed p) {
        p.bounds = p.bounds.intersected(canvas);
        if (p.bounds.isEmpty()) return;
        ink = ink.united(p.bounds);
        placed.push_back(p);
    };
    for (const Impl::PathItem& item : m_impl->paths) {
        const qreal pad = item.filled ? 1 : item.penWidth + 1;
        place({item.path.controlPointRect().adjusted(-pad, -pad, pad, pad), &item, nullptr, 0});
    }
    for (const Impl::TextItem& item : m_impl->texts) {
        const QFontMetrics metrics(item.font);
        const MaskText& t = item.text;
        for (size_t k = 0; k < t.lines.size(); ++k) {
            if (t.lines[k].empty()) continue;
            // A line whose cell lies off the canvas across its direction is not measured.
            const int pad = item.lineHeight + 2;
            const qreal step = qreal(k) * item.lineHeight;
            const qreal across = t.vertical ? t.x - step : t.y + step;
            const qreal limit = t.vertical ? w : h;
            if (across + item.lineHeight + pad < 0 || across - item.lineHeight - pad > limit)
                continue;
            const QString line = QString::fromStdString(t.lines[k]);
            // The glyphs' box around the baseline, widened for hinting and overhangs.
            const QRectF box = QRectF(metrics.boundingRect(line)).adjusted(-pad, -pad, pad, pad);
            QTransform at;
            if (!t.vertical) {
                at.translate(t.x, t.y + step + item.ascent);
            } else {
                at.translate(t.x - step, t.y);
                at.rotate(90);
                at.translate(0, item.ascent);
            }
            place({at.mapRect(box), nullptr, &item, k});
        }
    }
    if (placed.empty()) return true;
    const int32_t left = std::max(0, int32_t(std::floor(ink.left())));
    const int32_t right = std::min(w, int32_t(std::ceil(ink.right())));
    const int32_t first = std::max(0, int32_t(std::floor(ink.top())));
    const int32_t last = std::min(h, int32_t(std::ceil(ink.bottom())));
    if (left >= right || first >= last) return true;

    const int32_t bandWidth = right - left;
    const int32_t bandRows =
        std::min(last - first, std::max<int32_t>(kBandRows, int32_t(kBandPixels / bandWidth)));
    QImage band(bandWidth, bandRows, QImage::Format_Grayscale8);
    if (band.isNull()) return false;
    std::vector<uint8_t> bits;
    try {
        bits.resize((size_t(w) + 7) / 8);
    } catch (const std::bad_alloc&) {
        return false;
    }

    for (int32_t top = first; top < last; top += bandRows) {
        const int32_t rows = std::min(bandRows, last - top);
        const QRectF area(left, top, bandWidth, rows);
        band.fill(0);
        {
            QPainter p(&band);
            if (!p.isActive()) return false;
            p.setRenderHint(QPainter::Antialiasing, false);
            p.setRenderHint(QPainter::TextAntialiasing, false);
            p.translate(-left, -top);
            p.setPen(Qt::white);
            for (const Placed& item : placed) {
                if (!item.bounds.intersects(area)) continue;
                if (item.path) {
                    if (item.path->filled) {
                        p.fillPath(item.path->path, Qt::white);
                    } else {
                        QPen pen(Qt::white);
                        pen.setWidth(item.path->penWidth);
                        pen.setCapStyle(Qt::RoundCap);
                        pen.setJoinStyle(Qt::RoundJoin);
                        p.strokePath(item.path->path, pen);
                    }
                    continue;
                }
                const Impl::TextItem& text = *item.text;
                const MaskText& t = text.text;
                const QString line = QString::fromStdString(t.lines[item.line]);
                const int32_t step = int32_t(item.line) * text.lineHeight;
                p.setFont(text.font);
                if (!t.vertical) {
                    p.drawText(t.x, t.y + step + text.ascent, line);
                } else {
                    p.save();
                    p.translate(t.x - step, t.y);
                    p.rotate(90);
                    p.drawText(0, text.ascent, line);
                    p.restore();
                }
            }
        }
        for (int32_t r = 0; r < rows; ++r) {
            const uint8_t* src = band.constScanLine(r);
            bool ink = false;
            for (int32_t x = 0; x < bandWidth; ++x) {
                if (src[x] >= 128) {
                    ink = true;
                    break;
                }
            }
            if (!ink) continue;
            std::memset(bits.data(), 0, bits.size());
            for (int32_t x = 0; x < bandWidth; ++x) {
                const int32_t cx = left + x;
                if (src[x] >= 128) bits[size_t(cx) >> 3] |= uint8_t(0x80u >> (cx & 7));
            }
            if (!row(top + r, bits.data())) return false;
        }
    }
    return true;
}

int32_t QtMaskPainter::LineHeight(const std::string& face, int32_t size) {
    if (!EnsureGuiApplication()) return 0;
    return QFontMetrics(FontForCellHeight(face, size)).height();
}

int32_t QtMaskPainter::EmSize(const std::string& face, int32_t size) {
    if (!EnsureGuiApplication()) return 0;
    return FontForCellHeight(face, size).pixelSize();
}

}  // namespace zelvo::qt
