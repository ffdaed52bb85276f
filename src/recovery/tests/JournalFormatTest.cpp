#include "recovery/JournalFormat.h"

#include <gtest/gtest.h>

#include <functional>

namespace zelvo {
namespace {

Journal Sample() {
    Journal j;
    j.scratchDevice = 0x1122334455667788ull;
    j.scratchInode = 42;
    j.sequence = 7;
    JournalDocument d;
    d.seal = {3145768, 24};
    d.title = "Untitled-3";
    d.path = "/home/u/pictures/a b.zld";
    d.width = 640;
    d.height = 480;
    d.resolution = 2834;
    d.modified = 1;
    d.stateId = 5;
    d.stateName = "Blur";
    d.lastLayerId = 9;
    d.lastSerial = 11;
    JournalLayer pixel;
    pixel.kind = 1;
    pixel.id = 1;
    pixel.width = 640;
    pixel.height = 480;
    pixel.bitsPerPixel = 32;
    pixel.x = -3;
    pixel.opacity = 55;
    pixel.bounds = {-3, 0, 637, 480};
    pixel.linkIds = {1, 4};
    pixel.linkCount = 2;
    pixel.block = {3145792, 640 * 480 * 4 + 56};
    JournalLayer text = pixel;
    text.kind = 2;
    text.bitsPerPixel = 1;
    text.text.text = "Hello\r\nworld";
    text.text.face = "DejaVu Sans";
    JournalLayer curve = pixel;
    curve.kind = 3;
    curve.anchors = {{{1, 2}, {3, 4}, {5, 6}, kAnchorLinked}, {{-1, -2}, {0, 0}, {7, 8}, 0}};
    JournalLayer null;
    null.id = 12;
    d.layers = {pixel, text, curve, null};
    d.hasSelection = true;
    d.selection = pixel;
    d.selection.bitsPerPixel = 8;
    d.selectionBounds = {10, 10, 20, 30};
    j.documents = {d, d};
    j.documents[1].hasSelection = false;
    j.documents[1].selection = {};
    j.documents[1].selectionBounds = {};
    return j;
}

TEST(JournalFormat, RoundTripKeepsEveryField) {
    const Journal j = Sample();
    Journal back;
    std::string why;
    ASSERT_TRUE(DecodeJournal(EncodeJournal(j), back, why)) << why;
    EXPECT_EQ(back, j);
    Journal empty;
    ASSERT_TRUE(DecodeJournal(EncodeJournal(Journal{}), empty, why)) << why;
    EXPECT_TRUE(empty.documents.empty());
}

// Every way a journal can be cut, damaged or forged is refused with a reason, never read.
TEST(JournalFormat, DamagedJournalsAreRefused) {
    const std::vector<uint8_t> good = EncodeJournal(Sample());
    struct Case {
        const char* name;
        std::function<void(std::vector<uint8_t>&)> damage;
    };
    const std::vector<Case> cases = {
        {"empty", [](auto& b) { b.clear(); }},
        {"header only", [](auto& b) { b.resize(journal::kHeaderBytes); }},
        {"cut in the body", [](auto& b) { b.erase(b.end() - 9, b.end()); }},
        {"one more byte", [](auto& b) { b.push_back(0); }},
        {"magic", [](auto& b) { b[0] = 'X'; }},
        {"version", [](auto& b) { b[4] = 2; }},
        {"body byte flipped", [](auto& b) { b[b.size() / 2] ^= 0x10; }},
        {"crc", [](auto& b) { b[36] ^= 1; }},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> bytes = good;
        c.damage(bytes);
        Journal out;
        std::string why;
        EXPECT_FALSE(DecodeJournal(bytes, out, why)) << c.name;
        EXPECT_FALSE(why.empty()) << c.name;
    }
}

// A pixel layer stretched far past the canvas (up to the 20-million-pixel limit) is a layer
// the program makes: its journal must stay readable.
TEST(JournalFormat, LayersWiderThanAnyCanvasAreKept) {
    Journal j = Sample();
    j.documents[0].layers[0].width = 20000;
    j.documents[0].layers[0].height = 1000;
    Journal out;
    std::string why;
    ASSERT_TRUE(DecodeJournal(EncodeJournal(j), out, why)) << why;
    EXPECT_EQ(out.documents[0].layers[0].width, 20000);
}

// Values a record could never hold are refused even when the checksum agrees.
TEST(JournalFormat, ImpossibleValuesAreRefused) {
    struct Case {
        const char* name;
        std::function<void(Journal&)> change;
    };
    const std::vector<Case> cases = {
        {"no layers", [](Journal& j) { j.documents[0].layers.clear(); }},
        {"zero canvas", [](Journal& j) { j.documents[0].width = 0; }},
        {"huge canvas", [](Journal& j) { j.documents[0].height = 10001; }},
        {"layer kind", [](Journal& j) { j.documents[0].layers[0].kind = 4; }},
        {"negative layer", [](Journal& j) { j.documents[0].layers[1].width = -1; }},
        {"layer past the pixel limit",
         [](Journal& j) {
             j.documents[0].layers[0].width = 20001;
             j.documents[0].layers[0].height = 1000;
         }},
        {"link count", [](Journal& j) { j.documents[0].layers[0].linkCount = 129; }},
        {"too many layers",
         [](Journal& j) { j.documents[0].layers.resize(journal::kMaxLayers + 1); }},
    };
    for (const Case& c : cases) {
        Journal j = Sample();
        c.change(j);
        Journal out;
        std::string why;
        EXPECT_FALSE(DecodeJournal(EncodeJournal(j), out, why)) << c.name;
    }
}

}  // namespace
}  // namespace zelvo
