#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "core/RowBands.h"
#include "layers/BlendRuns.h"
#include "layers/LayerManager.h"
#include "layers/tests/LayersTestSupport.h"

namespace zelvo {
namespace {

using test::ReferencePixel;
using test::RefLayer;

class CompositeTest : public test::StoreTest {
protected:
    // A manager over `refs` (bottom first) on a w x h canvas, with a screen of sw x sh.
    void Build(const std::vector<RefLayer>& refs, int32_t w, int32_t h, int32_t sw = 64,
               int32_t sh = 48) {
        manager.reset();
        image = ImageGeometry{};
        image.width = w;
        image.height = h;
        image.visible = {0, 0, w, h};
        image.screenRect = {0, 0, w, h};
        manager = std::make_unique<LayerManager>(*store, test::SharedTables(), image, sw, sh);
        ASSERT_TRUE(manager->CreateFirstLayer(w, h));
        manager->RemoveAt(0);
        for (const RefLayer& r : refs) {
            LayerPtr l = manager->AppendLayer(r.width, r.height, r.kind);
            ASSERT_TRUE(l);
            l->SetPosition(r.x, r.y);
            l->SetOpacity(r.opacity);
            l->SetVisible(r.visible);
            l->SetColor(r.color);
            if (r.kind != LayerKind::Null) test::WriteLayer(*l, r);
            l->ReleaseRows();
        }
        manager->SelectLayerByIndex(1);
    }

    // RenderFlat into a fresh buffer; rows returned top first, 3 bytes a pixel.
    std::vector<uint8_t> Flat(int bits, int format, int option, bool* topFirst = nullptr) {
        const int step = bits / 8;
        const size_t stride = (size_t(image.width) * size_t(step) + 3) / 4 * 4;
        std::vector<uint8_t> raw(stride * size_t(image.height), 0xAB);
        EXPECT_TRUE(manager->RenderFlat(raw.data(), stride, bits, format, option));
        const bool top = format == 4 || format == 5 || (format == 2 && option != 12);
        if (topFirst) *topFirst = top;
        std::vector<uint8_t> out;
        for (int32_t y = 0; y < image.height; ++y) {
            const uint8_t* row = raw.data() + size_t(top ? y : image.height - 1 - y) * stride;
            for (int32_t x = 0; x < image.width; ++x) {
                out.insert(out.end(), row + x * step, row + x * step + 3);
                if (bits == 32) {
                    EXPECT_EQ(row[x * step + 3], 0xAB) << "fourth byte written";
                }
            }
            for (size_t pad = size_t(image.width) * size_t(step); pad < stride; ++pad)
                EXPECT_EQ(row[pad], 0xAB) << "padding written";
        }
        return out;
    }

    std::vector<uint8_t> Reference(const std::vector<RefLayer>& refs) {
        std::vector<uint8_t> out;
        for (int32_t y = 0; y < image.height; ++y)
            for (int32_t x = 0; x < image.width; ++x) {
                uint8_t bgr[3];
                ReferencePixel(refs, x, y, bgr);
                out.insert(out.end(), bgr, bgr + 3);
            }
        return out;
    }

    ImageGeometry image;
    std::unique_ptr<LayerManager> manager;
};

RefLayer Solid(int32_t w, int32_t h, uint32_t word, int32_t opacity = 100) {
    RefLayer l;
    l.kind = LayerKind::Pixel;
    l.width = w;
    l.height = h;
    l.opacity = opacity;
    l.pixels.assign(size_t(w) * size_t(h), word);
    return l;
}

TEST_F(CompositeTest, SingleOpaqueLayerIsItsOwnColour) {
    RefLayer l = Solid(5, 4, 0);
    std::mt19937 rng(1);
    for (uint32_t& p : l.pixels) p = 0x64000000u | (rng() & 0xFFFFFFu);
    Build({l}, 5, 4);
    std::vector<uint8_t> out = Flat(24, 1, 0);
    for (size_t i = 0; i < l.pixels.size(); ++i) {
        EXPECT_EQ(out[3 * i + 0], l.pixels[i] & 255);
        EXPECT_EQ(out[3 * i + 1], (l.pixels[i] >> 8) & 255);
        EXPECT_EQ(out[3 * i + 2], (l.pixels[i] >> 16) & 255);
    }
}

TEST_F(CompositeTest, HalfOpaqueBlackOverNothingIsGrey127) {
    Build({Solid(3, 3, 0x64000000, 50)}, 3, 3);
    for (uint8_t v : Flat(24, 1, 0)) EXPECT_EQ(v, 127);
}

TEST_F(CompositeTest, PartlyTransparentTopLeavesTheRestToTheLayerBelow) {
    // Top: alpha 40 (I = 40); below: opaque, I = 100 x 100 x 60 / 10000 = 60.
    Build({Solid(2, 2, 0x640A141E), Solid(2, 2, 0x28C86432)}, 2, 2);
    std::vector<uint8_t> out = Flat(24, 5, 0);
    EXPECT_EQ(out[0], 40 * 0x32 / 100 + 60 * 0x1E / 100);
    EXPECT_EQ(out[1], 40 * 0x64 / 100 + 60 * 0x14 / 100);
    EXPECT_EQ(out[2], 40 * 0xC8 / 100 + 60 * 0x0A / 100);
}

TEST_F(CompositeTest, LayersThatContributeNothingLeaveWhite) {
    RefLayer hidden = Solid(4, 4, 0x64000000);
    hidden.visible = false;
    RefLayer null;
    RefLayer below = Solid(4, 2, 0x64000000);
    below.y = 4;  // entirely under the canvas rows
    RefLayer zero = Solid(4, 4, 0x64000000, 0);
    Build({hidden, null, below, zero}, 4, 4);
    for (uint8_t v : Flat(32, 4, 0)) EXPECT_EQ(v, 255);
    Build({}, 4, 4);
    for (uint8_t v : Flat(24, 2, 12)) EXPECT_EQ(v, 255);
}

TEST_F(CompositeTest, ALayerHeldFromDisplayIsLeftOutUntilLetGo) {
    // The flat composite and the screen's (read in place): the held top layer shows as if it
    // were hidden, and shows again once let go.
    RefLayer top = Solid(3, 2, 0x64C86432);
    top.x = 1;
    const std::vector<RefLayer> shown = {Solid(4, 4, 0x640A141E), top};
    RefLayer hiddenTop = top;
    hiddenTop.visible = false;
    const std::vector<RefLayer> hidden = {shown[0], hiddenTop};
    Build(shown, 4, 4, 4, 4);
    const auto screen = [&] {
        EXPECT_TRUE(manager->RenderDisplay());
        std::vector<uint32_t> words;
        for (int32_t y = 0; y < 4; ++y)
            for (int32_t x = 0; x < 4; ++x)
                words.push_back(test::PixelAt(*manager->DisplayBuffer(), x, y) & 0xFFFFFFu);
        manager->DisplayBuffer()->ReleaseRows();
        return words;
    };
    const std::vector<uint32_t> whole = screen();
    manager->LayerAt(1)->SetHeldFromDisplay(true);
    EXPECT_EQ(Flat(24, 1, 0), Reference(hidden));
    const std::vector<uint32_t> held = screen();
    EXPECT_NE(held, whole);
    manager->LayerAt(1)->SetVisible(false);
    manager->LayerAt(1)->SetHeldFromDisplay(false);
    EXPECT_EQ(screen(), held);
    manager->LayerAt(1)->SetVisible(true);
    EXPECT_EQ(Flat(24, 1, 0), Reference(shown));
    EXPECT_EQ(screen(), whole);
}

TEST_F(CompositeTest, LayersPartlyOffTheCanvasMapRowsAndColumns) {
    RefLayer l = Solid(6, 5, 0);
    for (int32_t r = 0; r < 5; ++r)
        for (int32_t c = 0; c < 6; ++c)
            l.pixels[size_t(r * 6 + c)] = 0x64000000u | uint32_t(r << 8) | uint32_t(c);
    l.x = -2;
    l.y = -3;
    Build({l}, 4, 4);
    std::vector<uint8_t> out = Flat(24, 1, 0);
    // Canvas (cx, cy) shows layer column cx + 2, row cy + 3 where the layer reaches.
    for (int32_t cy = 0; cy < 4; ++cy)
        for (int32_t cx = 0; cx < 4; ++cx) {
            const uint8_t* p = &out[size_t(3 * (cy * 4 + cx))];
            if (cy + 3 < 5) {
                EXPECT_EQ(p[0], cx + 2) << cx << "," << cy;
                EXPECT_EQ(p[1], cy + 3) << cx << "," << cy;
            } else {
                EXPECT_EQ(p[0], 255) << cx << "," << cy;
            }
        }
}

TEST_F(CompositeTest, MaskLayersPaintTheirColour) {
    RefLayer mask;
    mask.kind = LayerKind::Text;
    mask.width = 12;
    mask.height = 2;
    mask.color = Rgb(10, 20, 30);
    mask.opacity = 70;
    mask.pixels.assign(24, 0);
    mask.pixels[3] = mask.pixels[8] = mask.pixels[12 + 11] = 1;
    Build({Solid(12, 2, 0x64FFFFFF), mask}, 12, 2);
    EXPECT_EQ(Flat(24, 4, 0), Reference({Solid(12, 2, 0x64FFFFFF), mask}));
    std::vector<uint8_t> out = Flat(24, 4, 0);
    EXPECT_EQ(out[3 * 3 + 0], 70 * 30 / 100 + 30 * 255 / 100);
}

TEST_F(CompositeTest, RowOrderFollowsTheFormat) {
    RefLayer l = Solid(3, 2, 0x64000000);
    l.pixels[0] = 0x64010101;  // top-left
    Build({l}, 3, 2);
    const size_t stride = 12;
    struct Row {
        int format, option;
        bool topFirst;
    } rows[] = {{1, 0, false}, {2, 0, true}, {2, 12, false},
                {3, 0, false}, {4, 0, true}, {5, 0, true}};
    for (const Row& r : rows) {
        std::vector<uint8_t> buf(stride * 2, 0);
        ASSERT_TRUE(manager->RenderFlat(buf.data(), stride, 24, r.format, r.option));
        EXPECT_EQ(buf[r.topFirst ? 0 : stride], 1) << r.format << "/" << r.option;
        EXPECT_EQ(buf[r.topFirst ? stride : 0], 0) << r.format << "/" << r.option;
    }
}

TEST_F(CompositeTest, OtherBitDepthsAreAnInternalError) {
    Build({Solid(2, 2, 0x64000000)}, 2, 2);
    std::vector<uint8_t> buf(64, 0x5A);
    EXPECT_FALSE(manager->RenderFlat(buf.data(), 8, 16, 1, 0));
    EXPECT_EQ(messages.Last(), "程序内部出现错误! 1022");
    for (uint8_t v : buf) EXPECT_EQ(v, 0x5A);
}

// The view geometry as the image view lays it out for a client area of cw x ch.
void LayOut(ImageGeometry& g, int32_t cw, int32_t ch, int32_t originX, int32_t originY) {
    auto axis = [&](int32_t client, int32_t canvas, int32_t origin, int32_t& s0, int32_t& s1,
                    int32_t& v0, int32_t& v1) {
        const int32_t zoomed = int32_t(float(canvas) * g.zoom);
        int32_t vis;
        if (client <= zoomed) {
            s0 = 0;
            s1 = client;
            const float f = float(client) / g.zoom;
            vis = int32_t(f) + (f - std::floor(f) >= 0.1f ? 1 : 0);
        } else {
            s0 = (client - zoomed) / 2;
            s1 = s0 + zoomed;
            vis = canvas;
            origin = 0;
        }
        v0 = origin;
        v1 = std::min(origin + vis, canvas);
    };
    axis(cw, g.width, originX, g.screenRect.left, g.screenRect.right, g.visible.left,
         g.visible.right);
    axis(ch, g.height, originY, g.screenRect.top, g.screenRect.bottom, g.visible.top,
         g.visible.bottom);
}

class RandomStacks : public CompositeTest {
protected:
    RefLayer RandomLayer(std::mt19937& rng, int32_t w, int32_t h) {
        auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
        RefLayer l;
        const int k = pick(0, 19);
        l.kind = k < 3   ? LayerKind::Null
                 : k < 6 ? LayerKind::Text
                 : k < 8 ? LayerKind::Curve
                         : LayerKind::Pixel;
        l.visible = pick(0, 9) != 0;
        l.opacity = pick(0, 3) == 0 ? 100 : pick(0, 100);
        if (l.kind == LayerKind::Null) return l;
        l.width = pick(1, w + w / 2);
        l.height = pick(1, h + h / 2);
        l.x = pick(-l.width / 2 - 2, w - l.width / 2 + 2);
        l.y = pick(-l.height / 2 - 2, h - l.height / 2 + 2);
        l.color = uint32_t(pick(0, 0xFFFFFF));
        l.pixels.resize(size_t(l.width) * size_t(l.height));
        for (uint32_t& p : l.pixels) {
            if (l.kind != LayerKind::Pixel) {
                p = uint32_t(pick(0, 1));
                continue;
            }
            const int a = pick(0, 49);
            // Mostly 0..100; a few opaque and transparent runs, and now and then a byte above
            // 100 as a damaged file could bring.
            const uint32_t alpha = a < 10    ? 100
                                   : a < 15  ? 0
                                   : a == 49 ? uint32_t(pick(101, 255))
                                             : uint32_t(pick(0, 100));
            p = (alpha << 24) | uint32_t(pick(0, 0xFFFFFF));
        }
        return l;
    }
};

TEST_F(RandomStacks, EveryRenderMatchesTheReference) {
    std::mt19937 rng(20240611);
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    for (int trial = 0; trial < 40; ++trial) {
        const int32_t w = pick(1, 45), h = pick(1, 30);
        std::vector<RefLayer> refs;
        const int count = pick(1, 6);
        for (int i = 0; i < count; ++i) refs.push_back(RandomLayer(rng, w, h));
        if (trial % 7 == 0) refs.push_back(Solid(w, h, 0x64123456));  // opaque top: early stop
        const int32_t sw = 64, sh = 48;
        Build(refs, w, h, sw, sh);
        // The flatten runs in bands: 1, 2 and 8 threads in turn.
        const int32_t threads = trial % 3 == 0 ? 1 : (trial % 3 == 1 ? 2 : 8);
        const ScopedPassThreads scoped(threads);
        SCOPED_TRACE(testing::Message()
                     << "trial " << trial << " " << w << "x" << h << " threads " << threads);

        const std::vector<uint8_t> expected = Reference(refs);
        EXPECT_EQ(Flat(24, 1, 0), expected);
        EXPECT_EQ(Flat(24, 5, 0), expected);
        EXPECT_EQ(Flat(32, 2, 12), expected);
        EXPECT_EQ(Flat(32, 4, 0), expected);

        // Thumbnail: a 24-bit DIB, output (i, j) = canvas (i / s, j / s), at least a pixel
        // across and down however narrow the canvas.
        const int32_t tw = trial % 4 == 3 ? 1 : pick(1, 60), th = pick(1, 60);
        const std::vector<uint8_t> dib = manager->RenderThumbnail(tw, th);
        const float s = std::min(float(tw) / float(w), float(th) / float(h));
        const int32_t ow = std::max(1, int32_t(float(w) * s)),
                      oh = std::max(1, int32_t(float(h) * s));
        {
            const size_t stride = (size_t(ow) * 3 + 3) / 4 * 4;
            ASSERT_EQ(dib.size(), 40 + stride * size_t(oh));
            int32_t dw, dh;
            std::memcpy(&dw, &dib[4], 4);
            std::memcpy(&dh, &dib[8], 4);
            EXPECT_EQ(dw, ow);
            EXPECT_EQ(dh, oh);
            EXPECT_EQ(dib[14], 24);
            for (int32_t j = 0; j < oh; ++j)
                for (int32_t i = 0; i < ow; ++i) {
                    const int32_t cx = std::min(int32_t(float(i) / s), w - 1);
                    const int32_t cy = std::min(int32_t(float(j) / s), h - 1);
                    uint8_t bgr[3];
                    ReferencePixel(refs, cx, cy, bgr);
                    const uint8_t* p = &dib[40 + size_t(oh - 1 - j) * stride + size_t(i) * 3];
                    ASSERT_TRUE(p[0] == bgr[0] && p[1] == bgr[1] && p[2] == bgr[2])
                        << "thumbnail " << i << "," << j;
                }
        }

        // Display at several zooms, client areas smaller and larger than the zoomed canvas.
        for (float zoom : {0.25f, 0.5f, 1.0f, 1.7f, 3.0f}) {
            image.zoom = zoom;
            const int32_t cw = pick(1, sw + 10), ch = pick(1, sh + 10);
            LayOut(image, cw, ch, pick(0, w / 2), pick(0, h / 2));
            Layer& display = *manager->DisplayBuffer();
            display.FillColor(Rgb(1, 2, 3), 77, 100, false);
            ASSERT_TRUE(manager->RenderDisplay());
            const Rect out = image.screenRect.Intersect({0, 0, sw, sh});
            for (int32_t sy = 0; sy < sh; ++sy)
                for (int32_t sx = 0; sx < sw; ++sx) {
                    const uint32_t v = test::PixelAt(display, sx, sy);
                    ASSERT_EQ(v >> 24, 77u) << "alpha byte written at " << sx << "," << sy;
                    uint8_t bgr[3] = {3, 2, 1};  // untouched outside screenRect
                    if (out.Contains({sx, sy})) {
                        const int32_t cx =
                            image.visible.left + int32_t(float(sx - image.screenRect.left) / zoom);
                        const int32_t cy =
                            image.visible.top + int32_t(float(sy - image.screenRect.top) / zoom);
                        if (cx >= 0 && cx < w && cy >= 0 && cy < h)
                            ReferencePixel(refs, cx, cy, bgr);
                        else
                            bgr[0] = bgr[1] = bgr[2] = 177;
                    }
                    ASSERT_EQ(v & 0xFFFFFFu,
                              uint32_t(bgr[0]) | uint32_t(bgr[1]) << 8 | uint32_t(bgr[2]) << 16)
                        << "zoom " << zoom << " at " << sx << "," << sy;
                }
            display.ReleaseRows();
        }
    }
    manager.reset();
}

// Thumbnails tall enough for several bands, with layers partly off the canvas and masks: the
// bytes are the same at 1, 2 and 8 threads and match the rule at the sampled points.
TEST_F(RandomStacks, BandsOfRowsAreTheRowsOfTheWholeRender) {
    std::mt19937 rng(4242);
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    for (int trial = 0; trial < 12; ++trial) {
        const int32_t w = pick(1, 40), h = pick(1, 70);
        std::vector<RefLayer> refs;
        for (int i = pick(1, 5); i > 0; --i) refs.push_back(RandomLayer(rng, w, h));
        Build(refs, w, h);
        const std::vector<uint8_t> expected = Reference(refs);
        const int step = trial % 2 ? 4 : 3;
        const size_t stride = size_t(w) * size_t(step) + 2;
        const ScopedPassThreads scoped(trial % 3 + 1);
        for (const bool topFirst : {true, false}) {
            SCOPED_TRACE(testing::Message() << "trial " << trial << " " << w << "x" << h << " step "
                                            << step << " top " << topFirst);
            // Rows in uneven bands; each band is written alone, in the order's sequence.
            std::vector<uint8_t> out(stride * size_t(h), 0xAB);
            for (int32_t first = 0, end; first < h; first = end) {
                end = std::min(h, first + pick(1, 20));
                ASSERT_TRUE(manager->RenderFlatRows(
                    first, end, topFirst, out.data() + size_t(first) * stride, stride, step));
            }
            for (int32_t i = 0; i < h; ++i) {
                const int32_t y = topFirst ? i : h - 1 - i;
                const uint8_t* row = out.data() + size_t(i) * stride;
                for (int32_t x = 0; x < w; ++x) {
                    ASSERT_EQ(std::memcmp(row + x * step, &expected[3 * size_t(y * w + x)], 3), 0)
                        << x << "," << y;
                    if (step == 4) {
                        ASSERT_EQ(row[x * 4 + 3], 0xAB) << "fourth byte written";
                    }
                }
                for (size_t k = size_t(w) * size_t(step); k < stride; ++k)
                    ASSERT_EQ(row[k], 0xAB) << "padding written";
            }
        }
        std::vector<uint8_t> buf(stride * 2);
        EXPECT_FALSE(manager->RenderFlatRows(h - 1, h + 1, true, buf.data(), stride, step));
        EXPECT_FALSE(manager->RenderFlatRows(1, 1, false, buf.data(), stride, step));
    }
}

TEST_F(RandomStacks, ThumbnailsAreTheSameAtAnyThreadCount) {
    std::mt19937 rng(99);
    // canvas w x h, thumbnail box tw x th: reduced and enlarged
    const int32_t sizes[][4] = {
        {60, 100, 100, 70}, {40, 30, 90, 80}, {150, 130, 120, 110}, {93, 151, 100, 85}};
    for (int trial = 0; trial < 4; ++trial) {
        const auto [w, h, tw, th] = sizes[trial];
        std::vector<RefLayer> refs;
        for (int i = 0; i < 5; ++i) refs.push_back(RandomLayer(rng, w, h));
        Build(refs, w, h);
        std::vector<uint8_t> first;
        for (int32_t threads : {1, 2, 8}) {
            const ScopedPassThreads scoped(threads);
            const std::vector<uint8_t> dib = manager->RenderThumbnail(tw, th);
            ASSERT_GT(dib.size(), 40u);
            if (first.empty()) first = dib;
            EXPECT_EQ(dib, first) << "trial " << trial << " threads " << threads;
        }
        int32_t ow, oh;
        std::memcpy(&ow, &first[4], 4);
        std::memcpy(&oh, &first[8], 4);
        ASSERT_GE(oh, 2 * kLeastBandRows) << "trial " << trial;
        const float s = std::min(float(tw) / float(w), float(th) / float(h));
        const size_t stride = (size_t(ow) * 3 + 3) / 4 * 4;
        for (int32_t j = 0; j < oh; ++j)
            for (int32_t i = 0; i < ow; ++i) {
                uint8_t bgr[3];
                ReferencePixel(refs, std::min(int32_t(float(i) / s), w - 1),
                               std::min(int32_t(float(j) / s), h - 1), bgr);
                const uint8_t* p = &first[40 + size_t(oh - 1 - j) * stride + size_t(i) * 3];
                ASSERT_TRUE(p[0] == bgr[0] && p[1] == bgr[1] && p[2] == bgr[2])
                    << "trial " << trial << " at " << i << "," << j;
            }
    }
    manager.reset();
}

TEST_F(CompositeTest, DestroyAllReturnsEveryBlock) {
    const uint32_t before = store->UsedCount();
    RefLayer mask;
    mask.kind = LayerKind::Curve;
    mask.width = mask.height = 8;
    mask.pixels.assign(64, 1);
    Build({Solid(8, 8, 0x64000000), mask, RefLayer{}}, 8, 8);
    EXPECT_GT(store->UsedCount(), before);
    manager->DestroyAll();
    EXPECT_EQ(store->UsedCount(), before);
    EXPECT_TRUE(store->CheckStore());
}

const CpuLevel kLevels[] = {CpuLevel::Base, CpuLevel::Avx2, CpuLevel::V4, CpuLevel::Avx512Vbmi};

// Every instruction-set level the CPU has against the rule in plain integers, over random runs
// whose lengths leave tails past every vector width; unusual values included (alpha bytes
// above 100, finished pixels with coverage below 0).
TEST(BlendRunsTest, EveryLevelMatchesThePlainRule) {
    std::mt19937 rng(7);
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    int levels = 0;
    for (CpuLevel level : kLevels) {
        if (!CpuRuns(level)) continue;
        ++levels;
        const ScopedRunLevel scoped(level);
        for (int32_t n : {0, 1, 15, 16, 17, 31, 33, 64, 65, 127, 200, 1001}) {
            SCOPED_TRACE(testing::Message() << "level " << int(level) << " n " << n);
            const size_t m = size_t(n);
            std::vector<uint32_t> px(m);
            std::vector<int16_t> cov(m);
            std::vector<uint16_t> b(m), g(m), r(m);
            for (size_t i = 0; i < m; ++i) {
                const int a = pick(0, 9) == 0 ? pick(101, 255) : pick(0, 100);
                px[i] = uint32_t(a) << 24 | uint32_t(pick(0, 0xFFFFFF));
                cov[i] = int16_t(pick(0, 7) == 0 ? pick(-255, 0) : pick(1, 100));
                b[i] = uint16_t(pick(0, 999));
                g[i] = uint16_t(pick(0, 999));
                r[i] = uint16_t(pick(0, 999));
            }
            const uint16_t opacity = uint16_t(pick(0, 2) == 0 ? 100 : pick(0, 100));

            std::vector<int16_t> wantCov = cov;
            std::vector<uint16_t> wantB = b, wantG = g, wantR = r;
            uint32_t wantAlive = 0;
            for (size_t i = 0; i < m; ++i) {
                const int in = opacity * int(px[i] >> 24) * std::max<int>(cov[i], 0) / 10000;
                wantB[i] = uint16_t(wantB[i] + in * int(px[i] & 255) / 100);
                wantG[i] = uint16_t(wantG[i] + in * int((px[i] >> 8) & 255) / 100);
                wantR[i] = uint16_t(wantR[i] + in * int((px[i] >> 16) & 255) / 100);
                wantCov[i] = int16_t(cov[i] - in);
                wantAlive |= wantCov[i] > 0 ? 1u : 0u;
            }
            const uint32_t alive = BlendRun(reinterpret_cast<const uint8_t*>(px.data()), n, opacity,
                                            cov.data(), b.data(), g.data(), r.data());
            EXPECT_EQ(alive != 0, wantAlive != 0);
            EXPECT_EQ(cov, wantCov);
            EXPECT_EQ(b, wantB);
            EXPECT_EQ(g, wantG);
            EXPECT_EQ(r, wantR);

            // Finished into packed bytes and into words: guard bytes past the run and the
            // words' fourth bytes stay as they were.
            for (int step : {3, 4}) {
                std::vector<uint8_t> out(m * size_t(step) + 8);
                for (uint8_t& v : out) v = uint8_t(pick(0, 255));
                std::vector<uint8_t> want = out;
                for (size_t i = 0; i < m; ++i) {
                    const int w = std::max<int>(cov[i], 0) * 255 / 100;
                    want[i * size_t(step)] = uint8_t(b[i] + w);
                    want[i * size_t(step) + 1] = uint8_t(g[i] + w);
                    want[i * size_t(step) + 2] = uint8_t(r[i] + w);
                }
                FinishRun(n, cov.data(), b.data(), g.data(), r.data(), out.data(), step);
                EXPECT_EQ(out, want) << "step " << step;
            }
        }
    }
    EXPECT_GE(levels, 1);
}

// Every opacity, alpha byte and coverage a pixel can meet (all coverages at or below 0 act
// alike), on every level the CPU has.
TEST(BlendRunsTest, EveryLevelBlendsEveryOpacityAlphaAndCoverage) {
    std::vector<uint32_t> px;
    std::vector<int16_t> cov0;
    for (int a = 0; a <= 255; ++a)
        for (int c = -2; c <= 100; ++c) {
            const int cv = c == -2 ? -255 : c;
            px.push_back(uint32_t(a) << 24 | uint32_t(a * 7 + c + 2) % 256u << 16 |
                         uint32_t(255 - a) << 8 | uint32_t(c * 5 + 10) % 256u);
            cov0.push_back(int16_t(cv));
        }
    const size_t m = px.size();
    for (int opacity = 0; opacity <= 100; ++opacity) {
        std::vector<int16_t> wantCov(m);
        std::vector<uint16_t> wantB(m), wantG(m), wantR(m);
        for (size_t i = 0; i < m; ++i) {
            const int in = opacity * int(px[i] >> 24) * std::max<int>(cov0[i], 0) / 10000;
            wantCov[i] = int16_t(cov0[i] - in);
            wantB[i] = uint16_t(7 + in * int(px[i] & 255) / 100);
            wantG[i] = uint16_t(in * int((px[i] >> 8) & 255) / 100);
            wantR[i] = uint16_t(999 + in * int((px[i] >> 16) & 255) / 100);
        }
        for (CpuLevel level : kLevels) {
            if (!CpuRuns(level)) continue;
            const ScopedRunLevel scoped(level);
            std::vector<int16_t> cov = cov0;
            std::vector<uint16_t> b(m, 7), g(m, 0), r(m, 999);
            BlendRun(reinterpret_cast<const uint8_t*>(px.data()), int32_t(m), uint16_t(opacity),
                     cov.data(), b.data(), g.data(), r.data());
            ASSERT_TRUE(cov == wantCov && b == wantB && g == wantG && r == wantR)
                << "level " << int(level) << " opacity " << opacity;
        }
    }
}

// The merge's finish divides in floating point: every sum a run can hold (0..1023) under every
// coverage a pixel can end with (-255..100) gives the integer quotient, on every level.
TEST(StraightRunTest, DividesBackExactlyForEverySumAndCoverage) {
    for (CpuLevel level : kLevels) {
        if (!CpuRuns(level)) continue;
        const ScopedRunLevel scoped(level);
        SCOPED_TRACE(testing::Message() << "level " << int(level));
        constexpr int32_t kSums = 1024;
        std::vector<int16_t> cov(kSums);
        std::vector<uint16_t> b(kSums), g(kSums), r(kSums);
        std::vector<uint32_t> out(kSums);
        for (int32_t i = 0; i < kSums; ++i) {
            b[size_t(i)] = uint16_t(i);
            g[size_t(i)] = uint16_t(kSums - 1 - i);
            r[size_t(i)] = uint16_t(i * 7 % kSums);
        }
        for (int32_t c = -255; c <= 100; ++c) {
            std::fill(cov.begin(), cov.end(), int16_t(c));
            // An odd count leaves a tail past every vector width.
            StraightRun(kSums - 1, cov.data(), b.data(), g.data(), r.data(), out.data());
            const int32_t alpha = 100 - std::max(c, 0);
            for (int32_t i = 0; i < kSums - 1; ++i) {
                auto back = [alpha](int32_t v) {
                    if (alpha > 0 && alpha < 100) v = v * 100 / alpha;
                    return uint32_t(std::min(v, 255));
                };
                const uint32_t want = uint32_t(alpha) << 24 | back(r[size_t(i)]) << 16 |
                                      back(g[size_t(i)]) << 8 | back(b[size_t(i)]);
                ASSERT_EQ(out[size_t(i)], want) << "cov " << c << " sum " << i;
            }
        }
    }
}

}  // namespace
}  // namespace zelvo
