#include "app/ToolCursors.h"

#include <algorithm>
#include <cmath>
#include <map>

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace zelvo {

namespace {

constexpr int kSide = 32;

// A light line under a dark one keeps the picture readable on any image.
void Stroke(QPainter& p, const QPainterPath& path) {
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(Qt::white, 3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPath(path);
    p.setPen(QPen(Qt::black, 1, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPath(path);
}

QCursor Drawn(CursorShape shape) {
    QPixmap pm(kSide, kSide);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath path;
    QPoint hot(1, 1);
    switch (shape) {
        case CursorShape::Lasso:
            path.addEllipse(QRectF(6, 3, 20, 12));
            path.moveTo(9, 13);
            path.cubicTo(4, 18, 10, 22, 6, 28);
            hot = {6, 28};
            break;
        case CursorShape::Wand:
            path.moveTo(4, 28);
            path.lineTo(18, 14);
            for (int i = 0; i < 4; ++i) {
                const double a = i * M_PI / 4;
                path.moveTo(22 + 6 * std::cos(a), 10 - 6 * std::sin(a));
                path.lineTo(22 - 6 * std::cos(a), 10 + 6 * std::sin(a));
            }
            hot = {22, 10};
            break;
        case CursorShape::Zoom:
            path.addEllipse(QRectF(2, 2, 18, 18));
            path.moveTo(17, 17);
            path.lineTo(29, 29);
            hot = {11, 11};
            break;
        case CursorShape::Eyedropper:
            path.moveTo(2, 29);
            path.lineTo(18, 13);
            path.addEllipse(QRectF(18, 4, 9, 9));
            hot = {2, 29};
            break;
        case CursorShape::Bucket:
            path.addRect(QRectF(8, 10, 14, 14));
            path.moveTo(22, 14);
            path.cubicTo(28, 16, 28, 22, 26, 27);
            hot = {26, 27};
            break;
        case CursorShape::Pen:
            path.moveTo(2, 29);
            path.lineTo(8, 18);
            path.lineTo(22, 4);
            path.lineTo(27, 9);
            path.lineTo(13, 23);
            path.closeSubpath();
            hot = {2, 29};
            break;
        case CursorShape::Source:
        default:
            path.addEllipse(QRectF(6, 6, 20, 20));
            path.moveTo(16, 2);
            path.lineTo(16, 30);
            path.moveTo(2, 16);
            path.lineTo(30, 16);
            hot = {16, 16};
            break;
    }
    Stroke(p, path);
    p.end();
    return QCursor(pm, hot.x(), hot.y());
}

}  // namespace

QPixmap BrushCirclePixmap(int size) {
    size = std::clamp(size, 5, 200);
    // A white ring just outside the black one keeps the circle visible on dark pictures.
    QImage img(size + 2, size + 2, QImage::Format_ARGB32);
    img.fill(Qt::transparent);
    const double c = (size + 2) / 2.0;
    auto ring = [&](double r, const QColor& color) {
        // One pixel per step of the outline: 360 / (2 pi r) degrees.
        const double step = 1.0 / std::max(1.0, r);
        for (double a = 0; a < 2 * M_PI; a += step) {
            const int x = int(std::floor(c + r * std::cos(a)));
            const int y = int(std::floor(c + r * std::sin(a)));
            if (x >= 0 && y >= 0 && x < img.width() && y < img.height() &&
                img.pixelColor(x, y) != Qt::black)
                img.setPixelColor(x, y, color);
        }
    };
    ring(size / 2.0 - 0.5, Qt::black);
    ring(size / 2.0 + 0.5, Qt::white);
    if (size >= 40) {
        const int m = int(c);
        for (int d = -3; d <= 3; ++d) {
            img.setPixelColor(m + d, m, Qt::black);
            img.setPixelColor(m, m + d, Qt::black);
        }
    }
    return QPixmap::fromImage(img);
}

QCursor ToolCursor(const CursorInfo& info) {
    switch (info.shape) {
        case CursorShape::Arrow:
            return QCursor(Qt::ArrowCursor);
        case CursorShape::Hand:
            return QCursor(Qt::OpenHandCursor);
        case CursorShape::Move:
            return QCursor(Qt::SizeAllCursor);
        case CursorShape::Cross:
            return QCursor(Qt::CrossCursor);
        case CursorShape::Text:
            return QCursor(Qt::IBeamCursor);
        case CursorShape::Circle: {
            const QPixmap pm = BrushCirclePixmap(info.size);
            return QCursor(pm, pm.width() / 2, pm.height() / 2);
        }
        default: {
            // Drawn once per shape for the whole run.
            static std::map<CursorShape, QCursor> drawn;
            auto it = drawn.find(info.shape);
            if (it == drawn.end()) it = drawn.emplace(info.shape, Drawn(info.shape)).first;
            return it->second;
        }
    }
}

}  // namespace zelvo
