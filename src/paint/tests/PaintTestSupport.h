// A document over a real scratch store and the means to paint on it without the tools: set
// and read layer pixels, make a selection of given strengths, run a stroke through the stroke
// session and its commit, and read the stroke work block.
#pragma once

#include <cstring>
#include <functional>
#include <vector>

#include "history/HistoryState.h"
#include "layers/StoredDib.h"
#include "paint/Stroke.h"
#include "selection/SelectionMask.h"
#include "testsupport/DocumentTestSupport.h"

namespace zelvo::test {

// B, G, R, A as the layers store them.
struct Px {
    uint8_t b = 0, g = 0, r = 0, a = 0;
    friend bool operator==(const Px&, const Px&) = default;
};

inline std::ostream& operator<<(std::ostream& os, const Px& p) {
    return os << "(" << int(p.r) << "," << int(p.g) << "," << int(p.b) << " a" << int(p.a) << ")";
}

class PaintFixture : public DocumentFixture {
protected:
    void Open(int32_t w, int32_t h) {
        image = NewImage(w, h);
        ASSERT_TRUE(image);
    }
    void TearDown() override { image.reset(); }

    LayerManager& Layers() { return image->Layers(); }
    LayerPtr Current() { return image->Layers().CurrentLayer(); }

    static void SetPixels(Layer& layer, const std::function<Px(int32_t, int32_t)>& at) {
        const Rect b = layer.Bounds();
        for (int32_t cy = b.top; cy < b.bottom; ++cy) {
            uint8_t* row = layer.Rows()->Row(uint32_t(layer.StoredRowOf(cy)));
            ASSERT_NE(row, nullptr);
            for (int32_t cx = b.left; cx < b.right; ++cx) {
                const Px p = at(cx, cy);
                uint8_t* d = row + 4 * size_t(cx - b.left);
                d[0] = p.b;
                d[1] = p.g;
                d[2] = p.r;
                d[3] = p.a;
            }
        }
        layer.ReleaseRows();
    }
    // Transparent (all zero) outside the layer.
    static Px PixelAt(Layer& layer, int32_t cx, int32_t cy) {
        if (!layer.HasPixels() || !layer.Bounds().Contains({cx, cy})) return {};
        const uint8_t* row = layer.Rows()->Row(uint32_t(layer.StoredRowOf(cy)));
        Px p;
        if (row) std::memcpy(&p, row + 4 * size_t(cx - layer.Bounds().left), 4);
        layer.ReleaseRows();
        return p;
    }
    std::vector<Px> Snapshot(const Rect& area) {
        std::vector<Px> all;
        LayerPtr layer = Current();
        for (int32_t y = area.top; y < area.bottom; ++y)
            for (int32_t x = area.left; x < area.right; ++x) all.push_back(PixelAt(*layer, x, y));
        return all;
    }

    // A selection with strength `at(x, y)` over `r`.
    void Select(const Rect& r, const std::function<uint8_t(int32_t, int32_t)>& at) {
        LayerPtr mask = CreateSelectionMask(Layers(), r, true);
        ASSERT_TRUE(mask);
        for (int32_t y = r.top; y < r.bottom; ++y) {
            uint8_t* row = MaskRow(*mask, y);
            ASSERT_NE(row, nullptr);
            for (int32_t x = r.left; x < r.right; ++x) row[x - r.left] = at(x, y);
        }
        mask->ReleaseRows();
        Layers().SetSelectionObject(mask);
        Layers().SetSelectionBounds(r);
    }

    StrokeTarget Target(StrokeKind kind, const BrushTip& tip, ColorRef fore) {
        StrokeTarget t;
        t.kind = kind;
        t.store = &workspace->Store();
        t.tables = &workspace->Tables();
        EXPECT_TRUE(workspace->EnsureStrokeCapacity(image->Width(), image->Height()));
        t.records = workspace->StrokeBlock();
        t.canvasWidth = image->Width();
        t.canvasHeight = image->Height();
        t.layer = Current();
        t.mask = Layers().Selection();
        t.foreground = fore;
        t.tip = tip;
        return t;
    }
    // Points in, painted and stopped, not committed.
    void Paint(StrokeSession& s, StrokeKind kind, const BrushTip& tip, ColorRef fore,
               const std::vector<Point>& points) {
        s.Start(Target(kind, tip, fore), points.front());
        for (size_t i = 1; i < points.size(); ++i) s.Add(points[i]);
        s.Stop();
    }
    int Stroke(StrokeKind kind, const BrushTip& tip, ColorRef fore,
               const std::vector<Point>& points, const char* name = "Brush Tool") {
        StrokeSession s;
        Paint(s, kind, tip, fore, points);
        return CommitStroke(image->History(), s, name);
    }

    // The record of canvas pixel (x, y): coverage, B, G, R, A.
    std::vector<uint8_t> Record(int32_t x, int32_t y) {
        RowCursor rows(workspace->Store(), workspace->StrokeBlock(), 0,
                       uint32_t(image->Width()) * 5, uint32_t(image->Height()));
        const uint8_t* r = rows.Row(uint32_t(y)) + 5 * size_t(x);
        return {r, r + 5};
    }
    bool RecordsAllZero() {
        RowCursor rows(workspace->Store(), workspace->StrokeBlock(), 0,
                       uint32_t(image->Width()) * 5, uint32_t(image->Height()));
        for (int32_t y = 0; y < image->Height(); ++y) {
            const uint8_t* r = rows.Row(uint32_t(y));
            for (int32_t i = 0; i < image->Width() * 5; ++i)
                if (r[i]) return false;
        }
        return true;
    }
    const HistoryState& LastState() { return image->History().States().back(); }

    std::unique_ptr<Image> image;
};

// floor(a * b / 100), written out rather than looked up.
inline int Pct(int a, int b) {
    return a * b / 100;
}

// The brush's pixel from the formulas: effective coverage e over P with foreground F.
inline Px BrushOver(Px p, Px f, int e) {
    if (e == 0) return p;
    if (p.a == 0) return {f.b, f.g, f.r, uint8_t(e)};
    const int k = Pct(100 - e, p.a);
    const int total = std::min(100, e + k);
    auto ch = [&](int old, int fore) {
        return uint8_t(std::min(255, (Pct(old, k) + Pct(fore, e)) * 100 / total));
    };
    return {ch(p.b, f.b), ch(p.g, f.g), ch(p.r, f.r), uint8_t(total)};
}

inline Px EraserOver(Px p, int e) {
    return {p.b, p.g, p.r, uint8_t(Pct(p.a, 100 - e))};
}

}  // namespace zelvo::test
