#include "layerops/LinkGroups.h"

#include <algorithm>

#include "core/InternalError.h"
#include "platform/Messages.h"

namespace zelvo {

namespace {

using LinkArray = std::array<uint16_t, Layer::kMaxLinks>;

bool Lists(const Layer& member, int32_t id) {
    const int32_t n = member.LinkCount();
    if (n <= 0 || n > Layer::kMaxLinks) return false;
    const auto& ids = member.LinkIds();
    return std::find(ids.begin(), ids.begin() + n, uint16_t(id)) != ids.begin() + n;
}

bool SameGroup(const Layer& a, const Layer& b) {
    if (a.LinkCount() != b.LinkCount()) return false;
    const int32_t n = a.LinkCount();
    return std::equal(a.LinkIds().begin(), a.LinkIds().begin() + n, b.LinkIds().begin());
}

// Writes `ids` (n entries) and the count to every listed member of the list.
void WriteGroup(LayerManager& layers, const LinkArray& ids, int32_t n) {
    for (int32_t i = 0; i < n; ++i) {
        const LayerPtr member = layers.FindById(ids[size_t(i)]);
        if (!member) continue;
        member->LinkIds() = ids;
        member->SetLinkCount(n);
    }
}

// Takes `layer` out of its group: a group of two dissolves, else the others keep the group
// without its id, in their order.
void LeaveGroup(LayerManager& layers, Layer& layer) {
    const int32_t n = layer.LinkCount();
    if (n <= 0) return;
    const LinkArray ids = layer.LinkIds();
    layer.SetLinkCount(0);
    if (n == 2) {
        for (int32_t i = 0; i < n; ++i) {
            const LayerPtr other = layers.FindById(ids[size_t(i)]);
            if (other) other->SetLinkCount(0);
        }
        return;
    }
    LinkArray rest{};
    int32_t m = 0;
    for (int32_t i = 0; i < n; ++i)
        if (ids[size_t(i)] != uint16_t(layer.Id())) rest[size_t(m++)] = ids[size_t(i)];
    WriteGroup(layers, rest, m);
}

}  // namespace

bool LinkGroupsConsistent(const LayerManager& layers) {
    bool consistent = true;
    for (const LayerPtr& l : layers.Layers()) {
        const int32_t n = l->LinkCount();
        if (n < 0) {
            ShowInternalError(1021);
            return false;
        }
        if (n == 0) continue;
        if (n > Layer::kMaxLinks || !Lists(*l, l->Id())) {
            consistent = false;
            continue;
        }
        for (int32_t i = 0; i < n; ++i) {
            const int32_t id = l->LinkIds()[size_t(i)];
            if (id == l->Id()) continue;
            const LayerPtr other = layers.FindById(id);
            if (!other || !SameGroup(*l, *other)) consistent = false;
        }
    }
    return consistent;
}

void ClearLinkGroups(LayerManager& layers) {
    for (const LayerPtr& l : layers.Layers()) l->SetLinkCount(0);
}

bool InCurrentLinkGroup(LayerManager& layers, const Layer& layer) {
    const LayerPtr current = layers.LayerAt(layers.CurrentIndex());
    return current && Lists(*current, layer.Id());
}

int ToggleLink(HistoryManager& history, int index) {
    LayerManager& lm = history.Layers();
    const LayerPtr target = lm.LayerAt(index);
    const LayerPtr current = lm.LayerAt(lm.CurrentIndex());
    if (!target || !current || target == current) return 0;
    if (!LinkGroupsConsistent(lm)) {
        ClearLinkGroups(lm);
        history.Host().Redraw();
    }
    Layer& c = *current;
    Layer& l = *target;
    // Links are kept in the layered file though no history state records them.
    if (Lists(c, l.Id())) {
        LeaveGroup(lm, l);
        history.Host().SetModified(true);
        return 1;
    }
    if (c.LinkCount() >= Layer::kMaxLinks) {
        AppMessages().Show("Can only link 127 layers!");
        return 0;
    }
    LeaveGroup(lm, l);
    LinkArray ids = c.LinkIds();
    int32_t n = c.LinkCount();
    if (n == 0) ids[size_t(n++)] = uint16_t(c.Id());
    ids[size_t(n++)] = uint16_t(l.Id());
    WriteGroup(lm, ids, n);
    history.Host().SetModified(true);
    return 1;
}

}  // namespace zelvo
