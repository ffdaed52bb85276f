// The curve snapshot of a "modify curve" history state: a store block holding the curve's flags,
// colour and anchors before and after the change, so undo and redo can load either half.
//
// Layout, 32-bit little-endian ints: 0 closed before, 1 filled before, 2 colour before, 3 anchor
// count before (nb), 4-7 the same after (na), 8 nb again, 9 na again, then nb anchor records and
// na anchor records of 8 ints: reserved, incoming handle x y, anchor x y, outgoing handle x y,
// handle mode. 40 + 32 * (nb + na) bytes in all.
#pragma once

#include <cstdint>
#include <vector>

#include "core/Types.h"
#include "layers/CurveAnchor.h"
#include "layers/Layer.h"
#include "store/FileDynamicStore.h"

namespace zelvo {

// What a snapshot half holds of a curve layer.
struct CurveShape {
    int32_t closed = 0;
    int32_t filled = 1;
    ColorRef color = 0;
    std::vector<CurveAnchor> anchors;

    static CurveShape Of(const Layer& layer);
    friend bool operator==(const CurveShape&, const CurveShape&) = default;
};

constexpr uint32_t kCurveSnapshotHeaderInts = 10;
constexpr uint32_t kCurveRecordInts = 8;

// The snapshot's ints in block order.
std::vector<int32_t> CurveSnapshotInts(const CurveShape& before, const CurveShape& after);

// Writes a snapshot into a new block of `store`; 0 when no block could be had.
BlockHandle WriteCurveSnapshot(FileDynamicStore& store, const CurveShape& before,
                               const CurveShape& after);

// Reads one half of a snapshot. False for a block that is missing, too short for the counts
// it states, or whose repeated counts disagree.
bool ReadCurveSnapshot(const FileDynamicStore& store, BlockHandle block, bool after,
                       CurveShape& shape);

// Loads one half into the layer: the anchor list grows by new (linked) anchors at the tail or
// loses anchors from the tail until it has the stored count, the stored points and modes are
// copied in order, and the flags and colour are set. False (the layer unchanged) when the block
// cannot be read; the caller renders.
bool LoadCurveSnapshot(const FileDynamicStore& store, BlockHandle block, bool after, Layer& layer);

}  // namespace zelvo
