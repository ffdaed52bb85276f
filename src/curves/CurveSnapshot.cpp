#include "curves/CurveSnapshot.h"

#include <cstring>

#include "store/RowCursor.h"

namespace zelvo {

namespace {

void PutInt(uint8_t* p, int32_t v) {
    const uint32_t u = uint32_t(v);
    p[0] = uint8_t(u);
    p[1] = uint8_t(u >> 8);
    p[2] = uint8_t(u >> 16);
    p[3] = uint8_t(u >> 24);
}

int32_t GetInt(const uint8_t* p) {
    return int32_t(uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) |
                   (uint32_t(p[3]) << 24));
}

void PutRecords(std::vector<int32_t>& ints, const std::vector<CurveAnchor>& anchors) {
    for (const CurveAnchor& a : anchors) {
        // The first int is reserved; the mode is kept in both halves so that undo and redo
        // give each anchor back the handle mode it had.
        ints.insert(ints.end(),
                    {0, a.in.x, a.in.y, a.point.x, a.point.y, a.out.x, a.out.y, a.mode});
    }
}

}  // namespace

CurveShape CurveShape::Of(const Layer& layer) {
    return {layer.IsClosed() ? 1 : 0, layer.IsFilled() ? 1 : 0, layer.Color(), layer.Anchors()};
}

std::vector<int32_t> CurveSnapshotInts(const CurveShape& before, const CurveShape& after) {
    const int32_t nb = int32_t(before.anchors.size()), na = int32_t(after.anchors.size());
    std::vector<int32_t> ints{before.closed,
                              before.filled,
                              int32_t(before.color),
                              nb,
                              after.closed,
                              after.filled,
                              int32_t(after.color),
                              na,
                              nb,
                              na};
    PutRecords(ints, before.anchors);
    PutRecords(ints, after.anchors);
    return ints;
}

BlockHandle WriteCurveSnapshot(FileDynamicStore& store, const CurveShape& before,
                               const CurveShape& after) {
    const std::vector<int32_t> ints = CurveSnapshotInts(before, after);
    const uint64_t bytes = uint64_t(ints.size()) * 4;
    const BlockHandle block = store.Allocate(bytes);
    if (block == 0) return 0;  // the store has told the user
    const FileDynamicStore::Span span = store.Payload(block);
    MappedView view(store, span.offset, bytes);
    if (!view.IsValid()) {
        store.Free(block);
        return 0;
    }
    for (size_t i = 0; i < ints.size(); ++i) PutInt(view.Data() + 4 * i, ints[i]);
    view.Flush();
    view.Reset();
    store.CheckBlock(block);
    return block;
}

bool ReadCurveSnapshot(const FileDynamicStore& store, BlockHandle block, bool after,
                       CurveShape& shape) {
    if (block == 0) return false;
    const FileDynamicStore::Span span = store.Payload(block);
    if (span.length < kCurveSnapshotHeaderInts * 4) return false;
    MappedView head(store, span.offset, kCurveSnapshotHeaderInts * 4, MapAccess::Read);
    if (!head.IsValid()) return false;
    int32_t h[kCurveSnapshotHeaderInts];
    for (uint32_t i = 0; i < kCurveSnapshotHeaderInts; ++i) h[i] = GetInt(head.Data() + 4 * i);
    head.Reset();
    const int32_t nb = h[3], na = h[7];
    if (nb < 0 || na < 0 || h[8] != nb || h[9] != na) return false;
    const uint64_t recordBytes = uint64_t(kCurveRecordInts) * 4;
    const uint64_t total =
        uint64_t(kCurveSnapshotHeaderInts) * 4 + recordBytes * (uint64_t(nb) + na);
    if (total > span.length) return false;

    const int32_t* half = after ? h + 4 : h;
    const int32_t count = after ? na : nb;
    const uint64_t first = uint64_t(kCurveSnapshotHeaderInts) * 4 + (after ? recordBytes * nb : 0);
    shape.closed = half[0];
    shape.filled = half[1];
    shape.color = ColorRef(half[2]);
    shape.anchors.assign(size_t(count), CurveAnchor{});
    if (count == 0) return true;
    MappedView records(store, span.offset + first, recordBytes * count, MapAccess::Read);
    if (!records.IsValid()) return false;
    for (int32_t i = 0; i < count; ++i) {
        const uint8_t* r = records.Data() + recordBytes * i;
        CurveAnchor& a = shape.anchors[size_t(i)];
        a.in = {GetInt(r + 4), GetInt(r + 8)};
        a.point = {GetInt(r + 12), GetInt(r + 16)};
        a.out = {GetInt(r + 20), GetInt(r + 24)};
        a.mode = GetInt(r + 28) == kAnchorIndependent ? kAnchorIndependent : kAnchorLinked;
    }
    return true;
}

bool LoadCurveSnapshot(const FileDynamicStore& store, BlockHandle block, bool after, Layer& layer) {
    CurveShape shape;
    if (!ReadCurveSnapshot(store, block, after, shape)) return false;
    std::vector<CurveAnchor>& anchors = layer.Anchors();
    anchors.resize(shape.anchors.size());  // grows by new anchors at the tail, or shrinks there
    for (size_t i = 0; i < anchors.size(); ++i) anchors[i] = shape.anchors[i];
    layer.SetClosed(shape.closed != 0);
    layer.SetFilled(shape.filled != 0);
    layer.SetColor(shape.color);
    return anchors.size() == shape.anchors.size();
}

}  // namespace zelvo
