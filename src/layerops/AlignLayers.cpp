#include "layerops/AlignLayers.h"

#include <algorithm>
#include <vector>

#include "layerops/LayerMoves.h"
#include "platform/Messages.h"

namespace zelvo {

namespace {

bool Vertical(LayerEdge edge) {
    return edge <= LayerEdge::Bottom;
}

// The edge or centre of a pixel layer's rectangle (centres rounded toward the top-left).
int32_t EdgeOf(const Layer& layer, LayerEdge edge) {
    const Rect r = layer.Bounds();
    switch (edge) {
        case LayerEdge::Top:
            return r.top;
        case LayerEdge::VerticalCenter:
            return r.top + (r.bottom - r.top) / 2;
        case LayerEdge::Bottom:
            return r.bottom;
        case LayerEdge::Left:
            return r.left;
        case LayerEdge::HorizontalCenter:
            return r.left + (r.right - r.left) / 2;
        case LayerEdge::Right:
            return r.right;
    }
    return 0;
}

// Moves the layer across the edge's direction only, so that its edge lies at `to`.
void MoveEdgeTo(const LayerPtr& layer, LayerEdge edge, int32_t to,
                std::vector<MoveRecord>& records) {
    const int32_t by = to - EdgeOf(*layer, edge);
    if (by == 0) return;
    const Point p = layer->Position();
    records.push_back({0, p.x, p.y, layer});
    if (Vertical(edge))
        layer->SetPosition(p.x, p.y + by);
    else
        layer->SetPosition(p.x + by, p.y);
}

void Record(HistoryManager& history, std::vector<MoveRecord> records, const char* name) {
    if (records.empty()) return;
    LayerManager& lm = history.Layers();
    StateExtra extra;
    extra.records = std::move(records);
    history.RecordState(lm.CurrentLayer(), {}, kStateMoveLinked, lm.CurrentIndex(), name,
                        std::move(extra));
    history.Host().Redraw();
}

}  // namespace

bool AlignEnabled(HistoryManager& history) {
    return CurrentLinkGroup(history.Layers()).size() >= 2;
}

bool DistributeEnabled(HistoryManager& history) {
    return CurrentLinkGroup(history.Layers()).size() >= 3;
}

int AlignLinkedLayers(HistoryManager& history, LayerEdge edge) {
    LayerManager& lm = history.Layers();
    const LayerPtr current = lm.LayerAt(lm.CurrentIndex());
    const std::vector<LayerPtr> group = CurrentLinkGroup(lm);
    if (!current || group.size() < 2 || current->Kind() != LayerKind::Pixel) {
        AppMessages().Show("Can not complete the request! Please select pixel layers.");
        return 0;
    }
    const int32_t reference = EdgeOf(*current, edge);
    std::vector<MoveRecord> records;
    bool skipped = false;
    for (const LayerPtr& member : group) {
        if (member->Kind() != LayerKind::Pixel) {
            skipped = skipped || member->Kind() != LayerKind::Null;
            continue;
        }
        MoveEdgeTo(member, edge, reference, records);
    }
    Record(history, std::move(records), "Align Layers");
    if (skipped) AppMessages().Show("The current version can only align the pixel layers!");
    return 1;
}

int DistributeLinkedLayers(HistoryManager& history, LayerEdge edge) {
    LayerManager& lm = history.Layers();
    const LayerPtr current = lm.LayerAt(lm.CurrentIndex());
    const std::vector<LayerPtr> group = CurrentLinkGroup(lm);
    if (!current || group.size() < 3 || current->Kind() != LayerKind::Pixel) {
        AppMessages().Show(
            "Can not complete the request! \nPlease select pixels layer to do the distribution "
            "operation.");
        return 0;
    }
    std::vector<LayerPtr> pixels;
    bool others = false;
    for (const LayerPtr& member : group) {
        if (member->Kind() == LayerKind::Pixel)
            pixels.push_back(member);
        else
            others = others || member->Kind() != LayerKind::Null;
    }
    if (pixels.size() < 3) {
        AppMessages().Show("Can not complete the request! Linked less than 3 pixels layers.");
        return 0;
    }
    std::stable_sort(pixels.begin(), pixels.end(), [edge](const LayerPtr& a, const LayerPtr& b) {
        return EdgeOf(*a, edge) < EdgeOf(*b, edge);
    });
    const int32_t first = EdgeOf(*pixels.front(), edge);
    const int32_t step = (EdgeOf(*pixels.back(), edge) - first) / int32_t(pixels.size() - 1);
    std::vector<MoveRecord> records;
    for (size_t k = 0; k < pixels.size(); ++k) {
        MoveEdgeTo(pixels[k], edge, first + int32_t(k) * step, records);
    }
    Record(history, std::move(records), "Distribute Layers");
    if (others) AppMessages().Show("The current version can only be distributed pixel layers!");
    return 1;
}

}  // namespace zelvo
