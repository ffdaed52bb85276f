// The kept mapping of the scratch file: it reads the bytes the file holds, follows the file as
// it grows, is made again after the file is cut or replaced, and never hands out a span past
// the file's end. And the compositor reading layers in place through it gives what it gives by
// copy.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <random>
#include <vector>

#include "layers/Compositor.h"
#include "layers/StoreMapping.h"
#include "layers/tests/LayersTestSupport.h"

namespace zelvo {
namespace {

using StoreMappingTest = test::StoreTest;

// A block filled with a byte pattern through the store, and its payload's place in the file.
FileDynamicStore::Span FilledBlock(FileDynamicStore& store, uint32_t bytes, uint8_t seed,
                                   BlockHandle& block) {
    block = store.Allocate(bytes);
    EXPECT_NE(block, 0u);
    const FileDynamicStore::Span p = store.Payload(block);
    std::vector<uint8_t> data(p.length);
    for (size_t i = 0; i < data.size(); ++i) data[i] = uint8_t(seed + i * 7);
    EXPECT_EQ(pwrite(store.FileHandle(), data.data(), data.size(), off_t(p.offset)),
              ssize_t(data.size()));
    return p;
}

bool SpanHolds(const uint8_t* at, uint32_t length, uint8_t seed) {
    for (uint32_t i = 0; i < length; ++i)
        if (at[i] != uint8_t(seed + i * 7)) return false;
    return true;
}

TEST_F(StoreMappingTest, ReadsTheFileFollowsGrowthAndIsMadeAgainAfterACut) {
    StoreMapping mapping;
    BlockHandle a = 0, b = 0;
    const FileDynamicStore::Span pa = FilledBlock(*store, 200000, 3, a);
    ASSERT_TRUE(mapping.Cover(*store, pa.offset + pa.length));
    EXPECT_EQ(mapping.Mappings(), 1u);
    EXPECT_EQ(mapping.MappedBytes(), StoreMapping::kReach);
    const uint8_t* at = mapping.At(pa.offset, pa.length);
    ASSERT_NE(at, nullptr);
    EXPECT_TRUE(SpanHolds(at, pa.length, 3));
    // Covering what is mapped already maps nothing again.
    ASSERT_TRUE(mapping.Cover(*store, pa.offset + 10));
    EXPECT_EQ(mapping.Mappings(), 1u);
    // Nothing past the file's end, and no cover of it.
    EXPECT_EQ(mapping.At(store->FileBytes() - 4, 8), nullptr);
    EXPECT_EQ(mapping.At(0, 0), nullptr);
    EXPECT_FALSE(mapping.Cover(*store, store->FileBytes() + 1));

    // The file grows for a second block: the mapping reaches it already. Before the growth its
    // bytes were not handed out, after it they are, with what was written.
    const uint64_t shorter = store->FileBytes();
    const FileDynamicStore::Span pb = FilledBlock(*store, 3000000, 11, b);
    ASSERT_GT(pb.offset + pb.length, shorter);
    ASSERT_TRUE(mapping.Cover(*store, pb.offset + pb.length));
    EXPECT_EQ(mapping.Mappings(), 1u);
    ASSERT_NE(mapping.At(pb.offset, pb.length), nullptr);
    EXPECT_TRUE(SpanHolds(mapping.At(pb.offset, pb.length), pb.length, 11));
    EXPECT_TRUE(SpanHolds(mapping.At(pa.offset, pa.length), pa.length, 3));

    // The second block goes and the file is cut: the cut part is no longer handed out, and the
    // next cover maps the file afresh.
    const uint64_t before = store->Generation();
    ASSERT_TRUE(store->Free(b));
    store->Shrink();
    ASSERT_NE(store->Generation(), before);
    ASSERT_LT(store->FileBytes(), pb.offset + pb.length);
    EXPECT_EQ(mapping.At(pb.offset, pb.length), nullptr);
    EXPECT_EQ(mapping.At(store->FileBytes(), 1), nullptr);
    ASSERT_TRUE(mapping.Cover(*store, pa.offset + pa.length));
    EXPECT_EQ(mapping.Mappings(), 2u);
    EXPECT_TRUE(SpanHolds(mapping.At(pa.offset, pa.length), pa.length, 3));
    EXPECT_EQ(mapping.At(pb.offset, pb.length), nullptr);

    mapping.Release();
    EXPECT_EQ(mapping.MappedBytes(), 0u);
    EXPECT_EQ(mapping.At(pa.offset, pa.length), nullptr);
    store->Free(a);
}

TEST_F(StoreMappingTest, AReplacedFileIsMappedAfreshAndAClosedOneNotAtAll) {
    StoreMapping mapping;
    BlockHandle a = 0;
    const FileDynamicStore::Span pa = FilledBlock(*store, 5000, 21, a);
    ASSERT_TRUE(mapping.Cover(*store, pa.offset + pa.length));
    // Reset empties the store: the generation moves even when the length stays.
    const uint64_t generation = store->Generation();
    store->Free(a);
    store->Reset();
    EXPECT_NE(store->Generation(), generation);
    BlockHandle b = 0;
    const FileDynamicStore::Span pb = FilledBlock(*store, 5000, 42, b);
    ASSERT_TRUE(mapping.Cover(*store, pb.offset + pb.length));
    EXPECT_EQ(mapping.Mappings(), 2u);
    EXPECT_TRUE(SpanHolds(mapping.At(pb.offset, pb.length), pb.length, 42));
    store->Free(b);

    // A closed store has no file to map; the old mapping is given back.
    store.reset();
    FileDynamicStore closed(disks);
    EXPECT_FALSE(mapping.Cover(closed, 10));
    EXPECT_EQ(mapping.MappedBytes(), 0u);
}

// Pages of this process that are resident, from /proc/self/statm.
long ResidentPages() {
    long size = 0, resident = 0;
    if (FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &size, &resident) != 2) resident = 0;
        std::fclose(f);
    }
    return resident;
}

TEST_F(StoreMappingTest, DroppedPagesLeaveTheProcessButTheBytesStayReadable) {
    StoreMapping mapping;
    BlockHandle a = 0;
    const uint32_t bytes = 16u << 20;
    const FileDynamicStore::Span pa = FilledBlock(*store, bytes, 5, a);
    ASSERT_TRUE(mapping.Cover(*store, pa.offset + pa.length));
    const long pages = long(bytes / uint32_t(sysconf(_SC_PAGESIZE)));
    const long before = ResidentPages();
    ASSERT_TRUE(SpanHolds(mapping.At(pa.offset, pa.length), pa.length, 5));
    const long touched = ResidentPages();
    EXPECT_GT(touched - before, pages / 2);
    mapping.DropPages();
    EXPECT_LT(ResidentPages(), touched - pages / 2);
    // Still mapped: the next read faults the pages in again, with the same bytes.
    EXPECT_EQ(mapping.Mappings(), 1u);
    EXPECT_TRUE(SpanHolds(mapping.At(pa.offset, pa.length), pa.length, 5));
    store->Free(a);
}

// Random stacks: a compositor over the in-place table composes every row and column pattern
// exactly as one that copies the rows out.
TEST_F(StoreMappingTest, InPlaceCompositingEqualsCopiedCompositing) {
    std::mt19937 rng(99);
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    StoreMapping mapping;
    for (int trial = 0; trial < 12; ++trial) {
        const int32_t w = pick(20, 300), h = pick(10, 120);
        std::vector<LayerPtr> layers;
        const int count = pick(1, 6);
        for (int i = 0; i < count; ++i) {
            auto layer = std::make_shared<Layer>(*store);
            const int kind = pick(0, 5);
            const LayerKind k = kind == 0   ? LayerKind::Null
                                : kind == 1 ? LayerKind::Text
                                            : LayerKind::Pixel;
            const int32_t lw = pick(1, w + 30), lh = pick(1, h + 30);
            ASSERT_TRUE(layer->Create(lw, lh, k, i + 1) || k == LayerKind::Null);
            layer->SetPosition(pick(-20, w - 1), pick(-20, h - 1));
            layer->SetOpacity(pick(0, 3) == 0 ? 100 : pick(0, 100));
            layer->SetVisible(pick(0, 7) != 0);
            layer->SetColor(uint32_t(pick(0, 0xFFFFFF)));
            if (layer->HasPixels()) {
                for (int32_t r = 0; r < lh; ++r) {
                    uint8_t* row = layer->Rows()->Row(uint32_t(r));
                    for (uint32_t byte = 0; byte < layer->Stride(); ++byte)
                        row[byte] = uint8_t(rng());
                    if (layer->BitsPerPixel() == 32)
                        for (int32_t c = 0; c < lw; ++c)
                            row[4 * c + 3] = uint8_t(pick(0, 9) == 0 ? pick(0, 255) : pick(0, 100));
                }
                layer->ReleaseRows();
            }
            layers.push_back(layer);
        }
        const MappedLayers table(layers, mapping);
        ASSERT_TRUE(table.Complete());
        EXPECT_TRUE(table.Describes(layers));
        // Zoomed out (columns skipped), zoomed in (columns repeated) and at scale 1.
        for (float step : {3.7f, 1.0f, 0.4f}) {
            std::vector<int32_t> cols, rows;
            for (float x = 0; x < float(w); x += step) cols.push_back(int32_t(x));
            for (float y = 0; y < float(h); y += step) rows.push_back(int32_t(y));
            std::vector<int32_t> shownRows;
            for (int32_t r : rows)
                if (shownRows.empty() || shownRows.back() != r) shownRows.push_back(r);
            Compositor copied(layers, shownRows, cols.front(), cols.back() + 1);
            Compositor inPlace(table);
            const int32_t n = int32_t(cols.size());
            std::vector<uint8_t> a(size_t(n) * 4, 0xEE), b(size_t(n) * 4, 0xEE);
            for (int32_t cy : rows) {
                copied.ComposeRow(cy, 0, cols.data(), n);
                copied.StoreBgr(a.data(), 4);
                inPlace.ComposeRow(cy, 0, cols.data(), n);
                inPlace.StoreBgr(b.data(), 4);
                ASSERT_EQ(a, b) << "trial " << trial << " step " << step << " row " << cy;
            }
            if (step == 1.0f) {
                // Contiguous columns are read straight from the mapping.
                for (int32_t cy : rows) {
                    copied.ComposeRow(cy, cols.front(), nullptr, n);
                    copied.StoreBgr(a.data(), 4);
                    inPlace.ComposeRow(cy, cols.front(), nullptr, n);
                    inPlace.StoreBgr(b.data(), 4);
                    ASSERT_EQ(a, b) << "trial " << trial << " contiguous row " << cy;
                }
            }
        }
        // A layer moved or hidden is no longer what the table describes.
        if (!layers.empty() && layers.back()->HasPixels() && layers.back()->IsVisible() &&
            layers.back()->Opacity() > 0) {
            layers.back()->SetPosition(layers.back()->Position().x + 1,
                                       layers.back()->Position().y);
            EXPECT_FALSE(table.Describes(layers));
        }
    }
}

}  // namespace
}  // namespace zelvo
