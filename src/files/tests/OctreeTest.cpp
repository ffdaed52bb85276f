// The GIF colour quantiser against a plain pointer-based octree and a brute-force nearest
// colour search.
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <vector>

#include "TestImages.h"
#include "core/RowBands.h"
#include "files/OctreeQuantizer.h"
#include "files/RasterFile.h"
#include "testsupport/TempDir.h"

namespace zelvo {
namespace {

// The quantiser written the obvious way: nodes on the heap, one linked list per level.
struct RefNode {
    bool leaf = false;
    long count = 0, b = 0, g = 0, r = 0;
    RefNode* child[8] = {};
    RefNode* next = nullptr;
};

struct RefOctree {
    RefNode* root = nullptr;
    RefNode* lists[8] = {};
    int leaves = 0;

    ~RefOctree() { Free(root); }
    static void Free(RefNode* n) {
        if (!n) return;
        for (RefNode* c : n->child) Free(c);
        delete n;
    }
    RefNode* Make(int level) {
        RefNode* n = new RefNode;
        if (level == 8) {
            n->leaf = true;
            ++leaves;
        } else {
            n->next = lists[level];
            lists[level] = n;
        }
        return n;
    }
    void Add(RefNode*& n, int b, int g, int r, int level) {
        if (!n) n = Make(level);
        if (n->leaf) {
            n->count++;
            n->b += b;
            n->g += g;
            n->r += r;
            return;
        }
        int bit = 7 - level;
        int i = ((b >> bit) & 1) * 4 + ((g >> bit) & 1) * 2 + ((r >> bit) & 1);
        Add(n->child[i], b, g, r, level + 1);
    }
    void Reduce() {
        int level = 7;
        while (level > 0 && !lists[level]) --level;
        RefNode* n = lists[level];
        lists[level] = n->next;
        int children = 0;
        for (RefNode*& c : n->child) {
            if (!c) continue;
            n->count += c->count;
            n->b += c->b;
            n->g += c->g;
            n->r += c->r;
            delete c;
            c = nullptr;
            ++children;
        }
        n->leaf = true;
        leaves -= children - 1;
    }
    void Collect(RefNode* n, std::vector<PaletteEntry>& out) {
        if (!n) return;
        if (n->leaf) {
            out.push_back(
                {uint8_t(n->b / n->count), uint8_t(n->g / n->count), uint8_t(n->r / n->count)});
            return;
        }
        for (RefNode* c : n->child) Collect(c, out);
    }
};

std::vector<PaletteEntry> ReferencePalette(const RasterImage& image) {
    RefOctree tree;
    for (int y = 0; y < image.Height(); ++y)
        for (int x = 0; x < image.Width(); ++x) {
            const uint8_t* p = image.StoredRow(y) + 3 * x;
            tree.Add(tree.root, p[0], p[1], p[2], 0);
            while (tree.leaves > 256) tree.Reduce();
        }
    std::vector<PaletteEntry> out;
    tree.Collect(tree.root, out);
    out.resize(256);
    return out;
}

int BruteNearest(const std::array<PaletteEntry, 256>& palette, int b, int g, int r) {
    int best = -1, bestDistance = 0;
    for (int i = 0; i < 256; ++i) {
        const int d = (palette[i].blue - b) * (palette[i].blue - b) +
                      (palette[i].green - g) * (palette[i].green - g) +
                      (palette[i].red - r) * (palette[i].red - r);
        if (best < 0 || d < bestDistance) {
            best = i;
            bestDistance = d;
        }
    }
    return best;
}

RasterImage ImageOfColours(const std::vector<std::array<uint8_t, 3>>& colours, int width,
                           int height) {
    RasterImage image;
    image.Allocate(width, height, 24, RowOrder::BottomUp);
    for (int i = 0; i < width * height; ++i)
        std::memcpy(image.StoredRow(i / width) + 3 * (i % width),
                    colours[i % colours.size()].data(), 3);
    return image;
}

TEST(Octree, ThreeColoursThenZeros) {
    const auto image = ImageOfColours({{{200, 10, 10}}, {{10, 200, 10}}, {{10, 10, 200}}}, 10, 10);
    OctreePalette palette;
    ASSERT_TRUE(BuildOctreePalette(RasterImageRows(image), palette));
    EXPECT_EQ(palette.count, 3);
    std::set<std::array<uint8_t, 3>> first;
    for (int i = 0; i < 3; ++i)
        first.insert({palette.entries[i].blue, palette.entries[i].green, palette.entries[i].red});
    EXPECT_EQ(first,
              (std::set<std::array<uint8_t, 3>>{{200, 10, 10}, {10, 200, 10}, {10, 10, 200}}));
    for (int i = 3; i < 256; ++i) EXPECT_EQ(palette.entries[i], PaletteEntry{}) << i;
    const auto reference = ReferencePalette(image);
    EXPECT_TRUE(std::equal(reference.begin(), reference.end(), palette.entries.begin()));
}

TEST(Octree, ThreeHundredColoursGiveAtMost256) {
    std::vector<std::array<uint8_t, 3>> colours;
    for (int i = 0; i < 300; ++i)
        colours.push_back({uint8_t(i % 256), uint8_t(i * 7 % 256), uint8_t(i / 2)});
    const auto image = ImageOfColours(colours, 30, 20);
    OctreePalette palette;
    ASSERT_TRUE(BuildOctreePalette(RasterImageRows(image), palette));
    EXPECT_LE(palette.count, 256);
    EXPECT_GT(palette.count, 0);
    const auto reference = ReferencePalette(image);
    EXPECT_TRUE(std::equal(reference.begin(), reference.end(), palette.entries.begin()));
}

TEST(Octree, MatchesThePlainOctreeOnRandomImages) {
    std::mt19937 random(11);
    for (int round = 0; round < 6; ++round) {
        SCOPED_TRACE(round);
        const int bits = 2 + round;  // from 64 possible colours to many thousands
        const auto image = test::RandomImage(41 + round * 13, 29 + round * 7, random, bits);
        OctreePalette palette;
        ASSERT_TRUE(BuildOctreePalette(RasterImageRows(image), palette));
        const auto reference = ReferencePalette(image);
        for (int i = 0; i < 256; ++i) ASSERT_EQ(palette.entries[i], reference[i]) << i;
    }
}

// Long runs of known colours broken by new ones, some after the tree has settled: the runs go
// to every core, and a new colour stops them where the tree must change shape (and, past 256
// leaves, reduce) before the next colour counts.
TEST(Octree, SameTreeOnAnyThreadsWhenNewColoursBreakSettledRuns) {
    std::mt19937 random(5);
    std::uniform_int_distribution<int> byte(0, 255), gap(1, 12000);
    std::vector<std::array<uint8_t, 3>> known(200);
    for (auto& c : known) c = {uint8_t(byte(random)), uint8_t(byte(random)), uint8_t(byte(random))};
    const int width = 1000, height = 500;
    RasterImage image;
    image.Allocate(width, height, 24, RowOrder::BottomUp);
    for (int i = 0, next = gap(random); i < width * height; ++i) {
        uint8_t* p = image.StoredRow(i / width) + 3 * (i % width);
        std::memcpy(p, known[size_t(i) % known.size()].data(), 3);
        if (i == next) {
            for (int k = 0; k < 3; ++k) p[k] = uint8_t(byte(random));
            next += gap(random);
        }
    }
    const auto reference = ReferencePalette(image);
    for (const int threads : {1, 2, 8}) {
        const ScopedPassThreads scoped(threads);
        OctreePalette palette;
        ASSERT_TRUE(BuildOctreePalette(RasterImageRows(image), palette));
        for (int i = 0; i < 256; ++i)
            ASSERT_EQ(palette.entries[i], reference[i]) << threads << " " << i;
    }
}

TEST(NearestColour, AgreesWithBruteForceAndPrefersTheLowestIndexAtEveryLevel) {
    for (const CpuLevel level : {CpuLevel::Base, CpuLevel::Avx2, CpuLevel::V4}) {
        if (!CpuRuns(level)) continue;
        SCOPED_TRACE(int(level));
        std::mt19937 random(5);
        std::array<PaletteEntry, 256> palette{};
        for (int i = 0; i < 200; ++i)
            palette[i] = {uint8_t(random()), uint8_t(random()), uint8_t(random())};
        palette[7] = palette[150] = {9, 9, 9};  // duplicate colours: 7 must win
        palette[255] = {255, 255, 255};         // the last entry takes part too
        NearestColour nearest(palette, level);
        for (int i = 0; i < 20000; ++i) {
            const int b = int(random() & 255), g = int(random() & 255), r = int(random() & 255);
            ASSERT_EQ(nearest.Find(uint8_t(b), uint8_t(g), uint8_t(r)),
                      BruteNearest(palette, b, g, r));
        }
        EXPECT_EQ(nearest.Find(9, 9, 9), 7);
        EXPECT_EQ(nearest.Find(250, 255, 255), 255);
        // Equal distances: (0,0,1) is as far from (0,0,0) as from (0,0,2); the farthest corners.
        std::array<PaletteEntry, 256> tie{};
        for (auto& e : tie) e = {0, 0, 2};
        tie[5] = {0, 0, 0};
        tie[200] = {255, 255, 255};
        NearestColour t(tie, level);
        EXPECT_EQ(t.Find(0, 0, 1), 0);
        EXPECT_EQ(t.Find(255, 255, 255), 200);
        EXPECT_EQ(t.Find(255, 0, 0), 5);
    }
}

TEST(GifQuantise, EveryPixelTakesItsNearestPaletteColour) {
    std::mt19937 random(2);
    const auto image = test::RandomImage(50, 40, random, 6);
    const RasterImageRows colours(image);
    OctreePalette palette;
    ASSERT_TRUE(BuildOctreePalette(colours, palette));
    const auto reference = ReferencePalette(image);
    EXPECT_TRUE(std::equal(reference.begin(), reference.end(), palette.entries.begin()));
    // Bands of a few rows, filled top down into rows with a tail the fill must leave alone.
    const ScopedSaveBandBytes smallBands(150 * 7);
    const QuantizedRows indexed(colours, palette.entries);
    ASSERT_EQ(indexed.Bits(), 8);
    ASSERT_EQ(indexed.Order(), image.Order());
    std::vector<uint8_t> rows(40 * 52, 0xEE);
    ASSERT_TRUE(indexed.Fill(0, 40, RowOrder::TopDown, rows.data(), 52));
    for (int y = 0; y < 40; ++y) {
        for (int x = 0; x < 50; ++x) {
            const uint8_t* p = image.TopRow(y) + 3 * x;
            ASSERT_EQ(rows[size_t(52 * y + x)], BruteNearest(palette.entries, p[0], p[1], p[2]));
        }
        ASSERT_EQ(rows[size_t(52 * y + 50)], 0xEE);
    }
}

TEST(GifQuantise, SavedFileCarriesThePalette) {
    test::TempDir dir;
    const auto image = ImageOfColours({{{1, 2, 3}}, {{200, 100, 50}}, {{0, 255, 0}}}, 7, 5);
    ASSERT_TRUE(WriteRasterFile(dir.File("p.gif"), image, kFileGif, 0, 0));
    const auto bytes = test::ReadBytes(dir.File("p.gif"));
    ASSERT_GT(bytes.size(), 13u + 768u);
    const auto reference = ReferencePalette(image);
    for (int i = 0; i < 256; ++i) {
        EXPECT_EQ(bytes[13 + 3 * i], reference[i].red) << i;
        EXPECT_EQ(bytes[14 + 3 * i], reference[i].green) << i;
        EXPECT_EQ(bytes[15 + 3 * i], reference[i].blue) << i;
    }
    for (int i = 3; i < 256; ++i)
        EXPECT_EQ(bytes[13 + 3 * i] | bytes[14 + 3 * i] | bytes[15 + 3 * i], 0);
}

}  // namespace
}  // namespace zelvo
