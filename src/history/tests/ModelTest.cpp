// Random sequences of edits and history moves, checked after every step against a plain model
// that keeps a full copy of the document for every state: the layer list, every layer's
// pixels, the composite, and the number of store blocks in use.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>

#include "HistoryTestSupport.h"
#include "history/HistoryCommands.h"
#include "history/LayerOpacity.h"
#include "history/PixelEdit.h"

namespace zelvo {
namespace {

struct MLayer {
    int32_t id = 0;
    bool isNull = false;
    int32_t x = 0, y = 0, w = 0, h = 0;
    int32_t opacity = 100;
    std::vector<uint32_t> px;  // top row first
    uint32_t& At(int32_t col, int32_t row) { return px[size_t(row) * size_t(w) + size_t(col)]; }
};
using MDoc = std::vector<MLayer>;  // bottom first

struct MState {
    MDoc doc;
    int32_t kind = 0;
    int32_t layerId = 0;
    bool holdsRect = false;  // a stroke rectangle object with its own block
};

// The history as the rules describe it, with whole documents instead of swaps.
struct ModelHistory {
    MDoc start;
    MDoc base;   // the document before the oldest kept state (its changes are held by it)
    MDoc aside;  // the live document while the start row is shown
    std::vector<MState> states;
    int current = -1;  // 1-based
    bool showingStart = false;

    const MDoc& Shown() const { return showingStart ? start : states[size_t(current - 1)].doc; }
    int N() const { return int(states.size()); }

    int capDrops = 0, startShows = 0, coalesced = 0;

    void Record(MState s) {
        if (showingStart) {
            base = start;
            states.clear();
            showingStart = false;
            aside.clear();
        } else {
            states.resize(size_t(std::max(current, 0)));
        }
        if (N() >= 20) {
            base = states.front().doc;
            states.erase(states.begin());
            ++capDrops;
        }
        if ((s.kind == kStateMoveLayer || s.kind == kStateLayerOpacity) && !states.empty() &&
            states.back().kind == s.kind && states.back().layerId == s.layerId) {
            states.back().doc = std::move(s.doc);
            current = N();
            ++coalesced;
            return;
        }
        states.push_back(std::move(s));
        current = N();
    }
    void GoTo(int t) {
        if (t == 0) {
            if (!showingStart) aside = Shown();
            showingStart = true;
            ++startShows;
        } else {
            showingStart = false;
            aside.clear();
            current = t;
        }
    }
    void Delete() {
        const int k = current;
        if (k < 0) return;
        GoTo(k - 1);
        if (k == 1) {
            states.clear();
            current = -1;
        } else {
            states.resize(size_t(k - 1));
        }
    }
    // Blocks the rules keep: every pixel layer object some kept document refers to, and the
    // rectangle objects of the kept stroke states.
    size_t HeldBlocks() const {
        std::set<int32_t> ids;
        const auto add = [&ids](const MDoc& d) {
            for (const MLayer& l : d)
                if (!l.isNull) ids.insert(l.id);
        };
        add(start);
        add(base);
        if (showingStart) add(aside);
        size_t rects = 0;
        for (const MState& s : states) {
            add(s.doc);
            rects += s.holdsRect ? 1 : 0;
        }
        return ids.size() + rects;
    }
};

// The compositing rule, written plainly: top layer first, coverage from 100, white behind.
void ReferenceFlat(const MDoc& doc, int32_t w, int32_t h, std::vector<uint8_t>& out) {
    out.assign(size_t(w) * size_t(h) * 3, 0);
    for (int32_t cy = 0; cy < h; ++cy)
        for (int32_t cx = 0; cx < w; ++cx) {
            int cov = 100, b = 0, g = 0, r = 0;
            for (auto it = doc.rbegin(); it != doc.rend() && cov > 0; ++it) {
                const MLayer& l = *it;
                if (l.isNull) continue;
                const int col = cx - l.x, row = cy - l.y;
                if (col < 0 || col >= l.w || row < 0 || row >= l.h) continue;
                const uint32_t v = l.px[size_t(row) * size_t(l.w) + size_t(col)];
                const int in = l.opacity * int(v >> 24) * cov / 10000;
                b += in * int(v & 255) / 100;
                g += in * int((v >> 8) & 255) / 100;
                r += in * int((v >> 16) & 255) / 100;
                cov -= in;
            }
            if (cov > 0) {
                b += cov * 255 / 100;
                g += cov * 255 / 100;
                r += cov * 255 / 100;
            }
            uint8_t* p = &out[(size_t(cy) * size_t(w) + size_t(cx)) * 3];
            p[0] = uint8_t(b);
            p[1] = uint8_t(g);
            p[2] = uint8_t(r);
        }
}

class HistoryModel : public test::HistoryTest {
protected:
    std::mt19937 rng;
    ModelHistory model;
    int capDrops = 0, startShows = 0, coalesced = 0;

    int Rand(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); }
    uint32_t RandomPixel() {
        const uint32_t alpha = uint32_t(Rand(0, 3) == 0 ? Rand(0, 100) : 100);
        return (alpha << 24) | (uint32_t(rng()) & 0xFFFFFF);
    }

    static MLayer ModelOf(Layer& l) {
        MLayer m;
        m.id = l.Id();
        m.isNull = l.Kind() == LayerKind::Null;
        m.x = l.Position().x;
        m.y = l.Position().y;
        m.w = l.Width();
        m.h = l.Height();
        m.opacity = l.Opacity();
        if (!m.isNull) {
            m.px.resize(size_t(m.w) * size_t(m.h));
            for (int32_t r = 0; r < m.h; ++r)
                for (int32_t c = 0; c < m.w; ++c) m.At(c, r) = test::PixelAt(l, c, r);
        }
        return m;
    }

    void WriteModelPixels(Layer& l, const MLayer& m) {
        for (int32_t r = 0; r < m.h; ++r)
            for (int32_t c = 0; c < m.w; ++c)
                test::SetPixel(l, c, r, m.px[size_t(r) * size_t(m.w) + size_t(c)]);
    }

    int CurrentIndex() {
        const int at = layers->CurrentIndex();
        EXPECT_GE(at, 0);
        return at;
    }

    void Verify(const std::string& step) {
        SCOPED_TRACE(step);
        const MDoc& doc = model.Shown();
        ASSERT_EQ(layers->LayerCount(), int(doc.size()));
        int currents = 0;
        for (int i = 0; i < layers->LayerCount(); ++i) {
            Layer& l = *layers->LayerAt(i);
            const MLayer& m = doc[size_t(i)];
            currents += l.IsCurrent() ? 1 : 0;
            ASSERT_EQ(l.Id(), m.id) << "layer " << i;
            ASSERT_EQ(l.Kind() == LayerKind::Null, m.isNull);
            EXPECT_EQ(l.Position(), (Point{m.x, m.y}));
            EXPECT_EQ(l.Bounds(), (Rect{m.x, m.y, m.x + m.w, m.y + m.h}));
            EXPECT_EQ(l.Opacity(), m.opacity);
            if (!m.isNull) {
                ASSERT_EQ(ModelOf(l).px, m.px) << "pixels of layer " << i;
            }
        }
        EXPECT_EQ(currents, 1);
        std::vector<uint8_t> expected;
        ReferenceFlat(doc, kW, kH, expected);
        ASSERT_EQ(Flat(), expected);
        EXPECT_EQ(history->StateCount(), model.N());
        EXPECT_EQ(history->ShowingStart(), model.showingStart);
        if (!model.showingStart) {
            EXPECT_EQ(history->CurrentStateIndex(), model.current);
        }
        // The display buffer is the one block the test's document holds besides the layers.
        EXPECT_EQ(store->UsedCount(), model.HeldBlocks() + 1);
        for (const auto& e : messages.Entries())
            ASSERT_EQ(e.text, "Whether delete history record?") << "unexpected message";
        messages.Clear();
    }

    MDoc Live() {
        MDoc d;
        for (const LayerPtr& l : layers->Layers()) d.push_back(ModelOf(*l));
        return d;
    }

    // Each step changes the document through the real code and, in parallel, the model.
    void WholeLayerEdit(PixelEdit& edit) {
        const int at = CurrentIndex();
        MDoc doc = model.Shown();
        LayerPtr fresh = edit.BeginLayerEdit();
        ASSERT_TRUE(fresh);
        MLayer m = doc[size_t(at)];
        m.id = fresh->Id();
        for (uint32_t& p : m.px) p = RandomPixel();
        if (!m.isNull) WriteModelPixels(*fresh, m);
        if (Rand(0, 4) == 0) {
            edit.CommitLayerEdit(0);
            return;
        }
        edit.CommitLayerEdit(1, "Invert Color");
        doc[size_t(at)] = m;
        model.Record({doc, kStateLayerPixels, 0, false});
    }

    void Stroke(PixelEdit& edit) {
        const int at = CurrentIndex();
        LayerPtr layer = layers->LayerAt(at);
        if (layer->Kind() == LayerKind::Null) return;
        MDoc doc = model.Shown();
        MLayer m = doc[size_t(at)];
        const int32_t c0 = Rand(0, m.w - 1), c1 = Rand(c0 + 1, m.w);
        const int32_t r0 = Rand(0, m.h - 1), r1 = Rand(r0 + 1, m.h);
        std::vector<int8_t> touched(size_t((c1 - c0) * (r1 - r0)));
        for (int8_t& t : touched) t = int8_t(Rand(0, 2) != 0);
        std::vector<uint32_t> paint(touched.size());
        for (uint32_t& p : paint) p = RandomPixel();

        if (history->IsStartLayer(layer.get())) {
            // The start row's objects never change in place: a whole-layer edit instead.
            LayerPtr fresh = edit.BeginRectEdit(m.x, m.y, m.x + m.w, m.y + m.h, 1);
            ASSERT_TRUE(fresh);
            m.id = fresh->Id();
            for (int32_t r = r0; r < r1; ++r)
                for (int32_t c = c0; c < c1; ++c) {
                    const size_t i = size_t((r - r0) * (c1 - c0) + (c - c0));
                    if (!touched[i]) continue;
                    m.At(c, r) = paint[i];
                    test::SetPixel(*fresh, c, r, paint[i]);
                }
            edit.CommitLayerEdit(1, "Brush Tool");
            doc[size_t(at)] = m;
            model.Record({doc, kStateLayerPixels, 0, false});
            return;
        }
        LayerPtr rect = edit.BeginStrokeRect(m.x + c0, m.y + r0, m.x + c1, m.y + r1);
        ASSERT_TRUE(rect);
        for (int32_t r = r0; r < r1; ++r)
            for (int32_t c = c0; c < c1; ++c) {
                const size_t i = size_t((r - r0) * (c1 - c0) + (c - c0));
                if (touched[i]) {
                    test::SetPixel(*rect, c - c0, r - r0, test::PixelAt(*layer, c, r));
                    test::SetPixel(*layer, c, r, paint[i]);
                    m.At(c, r) = paint[i];
                } else {
                    test::SetPixel(*rect, c - c0, r - r0, uint32_t(kUntouchedAlpha) << 24);
                }
            }
        edit.CommitRectEdit(1, "Brush Tool");
        doc[size_t(at)] = m;
        model.Record({doc, kStateRectPixels, 0, true});
    }

    void Opacity(LayerOpacityControl& control) {
        const int at = CurrentIndex();
        MDoc doc = model.Shown();
        const int32_t v = Rand(0, 100);
        control.SetLayerOpacity(v, 1);
        if (doc[size_t(at)].opacity == v) return;  // nothing changed, nothing recorded
        doc[size_t(at)].opacity = v;
        model.Record({doc, kStateLayerOpacity, doc[size_t(at)].id, false});
    }

    void Move() {
        const int at = CurrentIndex();
        LayerPtr layer = layers->LayerAt(at);
        MDoc doc = model.Shown();
        const Point old = layer->Position();
        const int32_t x = old.x + Rand(-2, 2), y = old.y + Rand(-2, 2);
        layer->SetPosition(x, y);
        history->RecordState(layer, {}, kStateMoveLayer, at, "Move Layer",
                             ExtraValues({old.x, old.y}));
        doc[size_t(at)].x = x;
        doc[size_t(at)].y = y;
        model.Record({doc, kStateMoveLayer, layer->Id(), false});
    }

    void AddLayer() {
        if (layers->LayerCount() >= 6) return;
        const int at = CurrentIndex();
        MDoc doc = model.Shown();
        auto l = std::make_shared<Layer>(*store);
        const bool null = Rand(0, 4) == 0;
        MLayer m;
        if (null) {
            ASSERT_TRUE(l->Create(0, 0, LayerKind::Null, layers->NextId()));
            m.isNull = true;
        } else {
            m.w = Rand(1, kW + 2);
            m.h = Rand(1, kH + 2);
            m.x = Rand(-2, kW - 1);
            m.y = Rand(-2, kH - 1);
            ASSERT_TRUE(l->Create(m.w, m.h, LayerKind::Pixel, layers->NextId()));
            l->SetPosition(m.x, m.y);
            m.px.resize(size_t(m.w * m.h));
            for (uint32_t& p : m.px) p = RandomPixel();
            WriteModelPixels(*l, m);
        }
        l->SetSerial(layers->NextSerial());
        m.id = l->Id();
        layers->InsertAt(at + 1, l);
        layers->SelectLayerById(l->Id(), 0, 0);
        history->RecordState(l, {}, null ? kStateNewLayer : kStateDuplicateLayer, at,
                             null ? "New Layer" : "Duplicate Layer");
        doc.insert(doc.begin() + at + 1, m);
        model.Record({doc, null ? kStateNewLayer : kStateDuplicateLayer, m.id, false});
    }

    void DeleteLayer() {
        if (layers->LayerCount() < 2) return;
        const int at = CurrentIndex();
        MDoc doc = model.Shown();
        LayerPtr gone = layers->RemoveAt(at);
        layers->LayerAt(std::min(at, layers->LayerCount() - 1))->SetCurrent(true);
        history->RecordState(gone, {}, kStateDeleteLayer, at, "Delete Layer");
        doc.erase(doc.begin() + at);
        model.Record({doc, kStateDeleteLayer, gone->Id(), false});
    }

    void Run(unsigned seed, int steps) {
        rng.seed(seed);
        ASSERT_TRUE(layers->CreateFirstLayer(kW, kH));
        for (int r = 0; r < kH; ++r)
            for (int c = 0; c < kW; ++c) test::SetPixel(*layers->LayerAt(0), c, r, RandomPixel());
        history->RecordState(nullptr, layers->Layers(), kStateOpenImage, 0, "Open Image File",
                             ExtraValues({kW, kH}));
        model.start = Live();
        model.Record({model.start, kStateOpenImage, 0, false});
        Verify("open");

        PixelEdit edit(*layers, *history);
        LayerOpacityControl opacity(*history);
        for (int step = 0; step < steps; ++step) {
            const int what = Rand(0, 14);
            std::string name;
            switch (what) {
                case 0:
                    name = "whole-layer edit";
                    WholeLayerEdit(edit);
                    break;
                case 1:
                case 2:
                    name = "stroke";
                    Stroke(edit);
                    break;
                case 3:
                    name = "opacity";
                    Opacity(opacity);
                    break;
                case 4:
                    name = "move";
                    Move();
                    break;
                case 5:
                case 6:
                    name = "add layer";
                    AddLayer();
                    break;
                case 7:
                    name = "delete layer";
                    DeleteLayer();
                    break;
                case 8:
                    name = "undo toggle";
                    if (UndoRedo(*history)) {
                        const int n = model.N(), k = model.current;
                        model.GoTo(k == n ? n - 1 : k + 1);
                    }
                    break;
                case 9:
                    name = "step forward";
                    if (StepForward(*history)) model.GoTo(model.current - 1);
                    break;
                case 10:
                    name = "step backward";
                    if (StepBackward(*history)) model.GoTo(model.current + 1);
                    break;
                case 11:
                case 12: {
                    const int row = Rand(0, model.N());
                    name = "goto " + std::to_string(row);
                    history->GoToState(row, 1);
                    if (model.N() > 0 || row == 0) model.GoTo(row);
                    break;
                }
                case 13: {
                    name = "delete state";
                    const bool yes = Rand(0, 3) != 0;
                    messages.QueueAnswer(yes ? Answer::Yes : Answer::No);
                    history->DeleteCurrentState();
                    if (yes) model.Delete();
                    break;
                }
                default:
                    name = "burst of strokes";
                    for (int i = 0; i < 6; ++i) Stroke(edit);
                    break;
            }
            Verify("step " + std::to_string(step) + ": " + name);
            if (HasFatalFailure()) return;
        }
        capDrops += model.capDrops;
        startShows += model.startShows;
        coalesced += model.coalesced;
        history->ClearHistory();
        EXPECT_EQ(store->UsedCount(),
                  uint32_t(layers->LayerCount()) + 1 -
                      uint32_t(std::count_if(layers->Layers().begin(), layers->Layers().end(),
                                             [](const LayerPtr& l) { return !l->HasPixels(); })));
    }
};

TEST_F(HistoryModel, RandomEditsAndMovesMatchThePlainModel) {
    for (unsigned seed : {1u, 2u, 3u, 4u, 5u}) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        history = std::make_unique<HistoryManager>(*layers, &host);
        layers->DestroyAll();
        model = ModelHistory{};
        Run(seed, 250);
        if (HasFatalFailure()) return;
        history.reset();
        layers->DestroyAll();
        EXPECT_EQ(store->UsedCount(), 0u);
    }
    // The sequences must have reached the rules that matter.
    EXPECT_GT(capDrops, 0);
    EXPECT_GT(startShows, 0);
    EXPECT_GT(coalesced, 0);
}

}  // namespace
}  // namespace zelvo
