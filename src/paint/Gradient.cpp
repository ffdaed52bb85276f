#include "paint/Gradient.h"

#include <algorithm>
#include <cmath>
#include <memory>

#include "history/HistoryManager.h"
#include "history/PixelEdit.h"
#include "paint/Stroke.h"
#include "platform/Feedback.h"
#include "platform/Messages.h"
#include "selection/SelectionMask.h"
#include "store/RowCursor.h"

namespace zelvo {

std::vector<double> GradientEasing(int n) {
    std::vector<double> table(size_t(std::max(1, n)));
    const double x1 = 2.0 * n / 5, x2 = 3.0 * n / 5, x3 = n;
    auto bx = [&](double t) {
        const double u = 1 - t;
        return 3 * u * u * t * x1 + 3 * u * t * t * x2 + t * t * t * x3;
    };
    auto by = [](double t) { return 3 * (1 - t) * t * t + t * t * t; };
    for (size_t i = 0; i < table.size(); ++i) {
        // x(t) rises monotonically: the t where it reaches i by halving.
        double lo = 0, hi = 1;
        for (int k = 0; k < 50; ++k) {
            const double mid = (lo + hi) / 2;
            (bx(mid) < double(i) ? lo : hi) = mid;
        }
        table[i] = by((lo + hi) / 2);
    }
    return table;
}

GradientShader::GradientShader(const GradientFill& g) : m_g(g) {
    const double dx = g.end.x - g.start.x, dy = g.end.y - g.start.y;
    const double len = std::hypot(dx, dy);
    if (len > 0) {
        m_d = len;
        m_ux = dx / len;
        m_uy = dy / len;
    }
    m_opacity = std::clamp(g.opacity, 0, 100);
    const int n = int(std::floor(g.type == GradientType::Reflected ? m_d / 2 : m_d)) + 1;
    m_easing = GradientEasing(n);
}

void GradientShader::Pixel(int32_t x, int32_t y, uint8_t out[4]) const {
    const GradientFill& g = m_g;
    const double d = m_d;
    const double px = x - g.start.x, py = y - g.start.y;
    double t = 0;  // 0 the start colour, 1 the end colour
    switch (g.type) {
        case GradientType::Linear: {
            const double along = px * m_ux + py * m_uy;
            const double a = std::abs(along), b = std::abs(d - along);
            if (a > d || b > d)
                t = b <= a ? 1 : 0;
            else
                t = Ease(a);
            break;
        }
        case GradientType::Radial: {
            const double a = std::hypot(px, py);
            t = a >= d ? 1 : Ease(a);
            break;
        }
        case GradientType::Reflected: {
            const double a = px * m_ux + py * m_uy, h = d / 2;
            if (a < 0 || a > d)
                t = 0;
            else
                t = a < h ? Ease(a) : 1 - Ease(a - h);
            break;
        }
    }
    const int o = m_opacity;
    const uint8_t fb = BlueOf(g.foreground), fg = GreenOf(g.foreground), fr = RedOf(g.foreground);
    switch (g.colors) {
        case GradientColors::ForeToBack: {
            auto mix = [&](uint8_t s, uint8_t e) { return uint8_t(e * t + s * (1 - t)); };
            out[0] = mix(fb, BlueOf(g.background));
            out[1] = mix(fg, GreenOf(g.background));
            out[2] = mix(fr, RedOf(g.background));
            out[3] = uint8_t(o);
            break;
        }
        case GradientColors::ForeToTransparent:
        case GradientColors::TransparentToFore:
            out[0] = fb;
            out[1] = fg;
            out[2] = fr;
            out[3] = uint8_t(o * (g.colors == GradientColors::ForeToTransparent ? 1 - t : t));
            break;
    }
}

int ApplyGradient(HistoryManager& history, const GradientFill& g) {
    LayerManager& lm = history.Layers();
    const LayerPtr layer = lm.CurrentLayer();
    if (!layer) return 0;
    if (layer->Kind() == LayerKind::Text || layer->Kind() == LayerKind::Curve) {
        AppMessages().Show("This layer must be rasterized before proceeding!");
        return 0;
    }
    const Rect canvas = CanvasRect(lm);
    const LayerPtr mask = lm.Selection();
    const Rect lb =
        layer->Kind() == LayerKind::Pixel && layer->HasPixels() ? layer->Bounds() : Rect{};
    Rect area = mask ? lb.Union(mask->Bounds().Intersect(canvas)) : lb.Union(canvas);
    if (int64_t(area.Width()) * int64_t(area.Height()) > kMaxLayerPixels) {
        AppMessages().Show("Images more than 20 million pixels,Will be cut!");
        area = area.Intersect(canvas);
    }
    if (area.IsEmpty()) return 0;
    const GradientShader shader(g);

    PixelEdit edit(lm, history);
    const LayerPtr fresh = edit.BeginRectEdit(area.left, area.top, area.right, area.bottom, 1);
    if (!fresh) return 0;
    std::unique_ptr<RowCursor> out = fresh->OpenRows();
    std::unique_ptr<RowCursor> maskRows = mask ? mask->OpenRows() : nullptr;
    if (!out || (mask && !maskRows)) {
        out.reset();
        return edit.CommitLayerEdit(0), 0;
    }
    const Rect mb = mask ? mask->Bounds() : Rect{};
    ProgressRun progress(4);
    const int32_t quarter = std::max(1, area.Height() / 4);
    for (int32_t y = area.top; y < area.bottom; ++y) {
        if (y > area.top && (y - area.top) % quarter == 0) progress.Step();
        uint8_t* row = out->Row(uint32_t(fresh->StoredRowOf(y)));
        if (!row) {
            out.reset();
            return edit.CommitLayerEdit(0), 0;
        }
        const uint8_t* mrow = nullptr;
        if (mask && y >= mb.top && y < mb.bottom) {
            mrow = maskRows->Row(uint32_t(mask->StoredRowOf(y)));
            if (!mrow) {
                out.reset();
                return edit.CommitLayerEdit(0), 0;
            }
        }
        for (int32_t x = area.left; x < area.right; ++x) {
            int m = 100;
            if (mask) m = mrow && x >= mb.left && x < mb.right ? mrow[x - mb.left] : 0;
            if (m == 0) continue;
            uint8_t gp[4] = {0, 0, 0, 0};
            shader.Pixel(x, y, gp);
            int l = gp[3];
            if (m < 100) l = l * m / 100;
            uint8_t* p = row + 4 * size_t(x - area.left);
            const int a = p[3];
            if (l >= 100 || a == 0) {
                p[0] = gp[0];
                p[1] = gp[1];
                p[2] = gp[2];
                p[3] = uint8_t(l);
            } else {
                for (int i = 0; i < 3; ++i) p[i] = uint8_t((l * gp[i] + (100 - l) * p[i]) / 100);
                p[3] = uint8_t(l + (100 - l) * a / 100);
            }
        }
    }
    out.reset();
    static const char* const names[] = {"Linear Gradient", "Radial Gradient", "Reflected Gradient"};
    return edit.CommitLayerEdit(1, names[int(g.type)]);
}

}  // namespace zelvo
