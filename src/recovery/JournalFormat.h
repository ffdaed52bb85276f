// The recovery journal's file: what it takes to rebuild every open document from the blocks
// of the scratch file beside it, and nothing of the pixels themselves. A 40-byte header
// (magic "ZJNL", version, the scratch file's device and inode, a sequence number, the
// document count, the body's length and CRC-32), then one record per document. All numbers
// are little-endian; strings are a 32-bit length and their bytes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/Limits.h"
#include "core/Types.h"
#include "layers/CurveAnchor.h"
#include "layers/TextSettings.h"

namespace zelvo {

namespace journal {
constexpr char kMagic[4] = {'Z', 'J', 'N', 'L'};
constexpr uint32_t kVersion = 1;
constexpr uint32_t kHeaderBytes = 40;
constexpr uint32_t kMaxDocuments = 256;
constexpr uint32_t kMaxLayers = 127;
constexpr uint32_t kMaxLinks = 128;
constexpr uint32_t kMaxAnchors = uint32_t(kMaxCurveAnchors);
constexpr uint32_t kMaxString = 1u << 20;
constexpr int32_t kMaxSide = 10000;
}  // namespace journal

// Where a block lies in the scratch file (its node's start and size, guards included).
struct JournalBlock {
    uint32_t start = 0;
    uint32_t size = 0;
    friend bool operator==(const JournalBlock&, const JournalBlock&) = default;
};

struct JournalLayer {
    int32_t kind = 0;  // LayerKind
    int32_t id = 0, serial = 0;
    int32_t width = 0, height = 0, bitsPerPixel = 0;
    int32_t x = 0, y = 0;
    int32_t opacity = 100;
    int32_t visible = 1, current = 0;
    uint32_t color = 0;
    int32_t closed = 0, filled = 0;
    Rect bounds, curveBounds;
    int32_t linkCount = 0;
    std::vector<uint16_t> linkIds;  // trailing zeros left out
    JournalBlock block;
    TextSettings text;
    std::vector<CurveAnchor> anchors;
    friend bool operator==(const JournalLayer&, const JournalLayer&) = default;
};

struct JournalDocument {
    JournalBlock seal;  // its first word is FileDynamicStore::kSealClean while the record holds
    std::string title, path;
    int32_t width = 0, height = 0, resolution = 0;
    int32_t modified = 0;
    uint32_t stateId = 0;  // the shown history state's id; 0 for the start row
    std::string stateName;
    int32_t lastLayerId = 0, lastSerial = 0;
    std::vector<JournalLayer> layers;  // bottom first
    bool hasSelection = false;
    JournalLayer selection;
    Rect selectionBounds;
    friend bool operator==(const JournalDocument&, const JournalDocument&) = default;
};

struct Journal {
    uint64_t scratchDevice = 0, scratchInode = 0;
    uint32_t sequence = 0;
    std::vector<JournalDocument> documents;
    friend bool operator==(const Journal&, const Journal&) = default;
};

std::vector<uint8_t> EncodeJournal(const Journal& journal);
// False with a reason when the bytes are not a whole, intact journal of this version.
bool DecodeJournal(const std::vector<uint8_t>& bytes, Journal& out, std::string& why);

}  // namespace zelvo
