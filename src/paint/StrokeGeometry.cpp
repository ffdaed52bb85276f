#include "paint/StrokeGeometry.h"

#include <cmath>
#include <cstdlib>

namespace zelvo {

int32_t RoundNear01(double v) {
    const double t = std::trunc(v);
    return int32_t(t) + (v - t >= 0.1 ? 1 : 0);
}

Point StrokeViewToImage(const ImageGeometry& g, Point client) {
    const double z = g.zoom < 0.01f ? 0.05 : double(g.zoom);
    return {RoundNear01(double(client.x - g.screenRect.left) / z) + g.visible.left,
            RoundNear01(double(client.y - g.screenRect.top) / z) + g.visible.top};
}

Point SnapToAngle(Point press, Point point) {
    const int32_t dx = point.x - press.x, dy = point.y - press.y;
    if (dx == 0) return {press.x, point.y};
    const double a = std::abs(std::atan(double(dy) / double(dx)) * 57.29578);
    const bool horizontal = dx > 0 ? a < 23 : a <= 22;
    const bool vertical = dx > 0 ? a >= 67 : a > 67;
    if (horizontal) return {point.x, press.y};
    if (vertical) return {press.x, point.y};
    const int32_t side = std::abs(dx);
    return {point.x, press.y + (dy < 0 ? -side : side)};
}

Rect DabRect(Point c, int32_t side) {
    const int32_t half = side / 2;
    const int32_t shift = side % 2 == 0 ? 1 : 0;
    return {c.x - half + shift, c.y - half + shift, c.x + half + 1, c.y + half + 1};
}

void WalkLine(Point from, Point to, const std::function<void(Point)>& visit) {
    int32_t x = from.x, y = from.y;
    int32_t dx = to.x - from.x, dy = to.y - from.y;
    const int32_t xadd = dx < 0 ? -1 : 1, yadd = dy < 0 ? -1 : 1;
    dx = std::abs(dx);
    dy = std::abs(dy);
    if (dx > dy) {
        int32_t err = 2 * dy - dx;
        for (int32_t n = 0; n < dx; ++n) {
            visit({x, y});
            if (err > 0) {
                y += yadd;
                err += 2 * dy - 2 * dx;
            } else {
                err += 2 * dy;
            }
            x += xadd;
        }
    } else {
        int32_t err = 2 * dx - dy;
        for (int32_t n = 0; n < dy; ++n) {
            visit({x, y});
            if (err > 0) {
                x += xadd;
                err += 2 * dx - 2 * dy;
            } else {
                err += 2 * dx;
            }
            y += yadd;
        }
    }
}

}  // namespace zelvo
