#include "layerops/LayerMoves.h"

#include <algorithm>
#include <cstdint>

#include "core/Limits.h"
#include "curves/Curve.h"
#include "layers/TextLayer.h"

namespace zelvo {

Point LayerPlace(const Layer& layer) {
    switch (layer.Kind()) {
        case LayerKind::Pixel:
            return layer.Position();
        case LayerKind::Text:
            return {layer.Text().originX, layer.Text().originY};
        default:
            return {};
    }
}

void SetLayerPlace(Layer& layer, Point to) {
    if (layer.Kind() == LayerKind::Pixel) {
        layer.SetPosition(to.x, to.y);
    } else if (layer.Kind() == LayerKind::Text) {
        if (layer.Text().originX == to.x && layer.Text().originY == to.y) return;
        layer.Text().originX = to.x;
        layer.Text().originY = to.y;
        RenderText(layer);
    }
}

void ShiftCurveLayer(Layer& layer, Point by) {
    if (layer.Kind() != LayerKind::Curve || (by.x == 0 && by.y == 0)) return;
    MoveCurve(layer, by.x, by.y);
}

std::vector<LayerPtr> CurrentLinkGroup(const LayerManager& layers) {
    const LayerPtr current = layers.LayerAt(layers.CurrentIndex());
    if (!current || current->LinkCount() < 2) return {};
    std::vector<LayerPtr> members;
    for (int32_t i = 0; i < current->LinkCount() && i < Layer::kMaxLinks; ++i) {
        LayerPtr member = layers.FindById(current->LinkIds()[size_t(i)]);
        if (!member) return {};
        members.push_back(std::move(member));
    }
    return members;
}

std::vector<MovedLayer> StartGroupMove(const std::vector<LayerPtr>& members) {
    std::vector<MovedLayer> group;
    for (const LayerPtr& l : members) group.push_back({l, LayerPlace(*l), {}});
    return group;
}

namespace {

// The offsets along one axis that keep every coordinate `base + offset` one a file can hold.
struct OffsetRange {
    int64_t low = INT64_MIN, high = INT64_MAX;
    void Keep(int64_t base) {
        low = std::max(low, -int64_t(kMaxCoordinate) - base);
        high = std::min(high, int64_t(kMaxCoordinate) - base);
    }
    int32_t Limit(int32_t offset) const {
        if (low > high) return 0;  // a place already past the limits moves no further out
        return int32_t(std::clamp(int64_t(offset), low, high));
    }
};

}  // namespace

Point MoveGroupTo(std::vector<MovedLayer>& group, Point offset) {
    // A drag at a small zoom can carry a layer arbitrarily far: its place stops where the
    // document format's coordinates end, so what is saved opens again.
    OffsetRange xs, ys;
    for (const MovedLayer& m : group) {
        if (m.layer->Kind() == LayerKind::Curve) {
            for (const CurveAnchor& a : m.layer->Anchors())
                for (const Point& p : {a.in, a.point, a.out}) {
                    xs.Keep(int64_t(p.x) - m.shifted.x);
                    ys.Keep(int64_t(p.y) - m.shifted.y);
                }
        } else {
            xs.Keep(m.start.x);
            ys.Keep(m.start.y);
        }
    }
    offset = {xs.Limit(offset.x), ys.Limit(offset.y)};
    for (MovedLayer& m : group) {
        if (m.layer->Kind() == LayerKind::Curve) {
            ShiftCurveLayer(*m.layer, {offset.x - m.shifted.x, offset.y - m.shifted.y});
            m.shifted = offset;
        } else {
            SetLayerPlace(*m.layer, {m.start.x + offset.x, m.start.y + offset.y});
        }
    }
    return offset;
}

void RestoreGroup(std::vector<MovedLayer>& group) {
    MoveGroupTo(group, {0, 0});
}

std::vector<MoveRecord> GroupRecords(const std::vector<MovedLayer>& group) {
    std::vector<MoveRecord> records;
    for (const MovedLayer& m : group) {
        const LayerKind kind = m.layer->Kind();
        if (kind == LayerKind::Curve) {
            if (m.shifted.x != 0 || m.shifted.y != 0)
                records.push_back({0, m.shifted.x, m.shifted.y, m.layer});
        } else if (kind == LayerKind::Pixel || kind == LayerKind::Text) {
            const Point now = LayerPlace(*m.layer);
            if (now.x != m.start.x || now.y != m.start.y)
                records.push_back({0, m.start.x, m.start.y, m.layer});
        }
    }
    return records;
}

}  // namespace zelvo
