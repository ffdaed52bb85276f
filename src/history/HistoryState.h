// The records of the document history: the kinds of step, one recorded state, and the saved
// in-place properties of a layer object. Pixel data is never copied here: a state keeps
// references to layer objects (std::shared_ptr), so an object stays alive, and its store block
// allocated, exactly as long as the live document, the start snapshot or some state holds it.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "core/Types.h"
#include "layers/Layer.h"
#include "store/FileDynamicStore.h"

namespace zelvo {

// Codes of the recorded steps; 2 and 19 are not used.
enum HistoryKind : int32_t {
    kStateOpenImage = 1,
    kStateNewLayer = 3,
    kStateDeleteLayer = 4,
    kStateDuplicateLayer = 5,
    kStateMoveLayer = 6,
    kStateLayerOpacity = 7,
    kStateMoveUp = 8,
    kStateMoveDown = 9,
    kStateLayerPixels = 10,
    kStateNewSelection = 11,
    kStateModifySelection = 12,
    kStateDeselect = 13,
    kStateWholeImage = 14,
    kStateNewText = 15,
    kStateModifyText = 16,
    kStateNewCurve = 17,
    kStateModifyCurve = 18,
    kStateRectPixels = 20,
    kStateMoveLinked = 21,
    kStateMergeLayers = 22,
    kStateCanvasOnly = 23,
};

// The alpha byte that marks a pixel of a stroke rectangle the stroke did not touch; real
// pixels carry alpha 0..100, so the marker never collides with one.
constexpr uint8_t kUntouchedAlpha = 101;

// One layer moved by "Move Linked Layers", align or distribute. For pixel and text layers
// (dx, dy) is the saved position (or text origin); a curve layer moved by (dx, dy).
struct MoveRecord {
    int32_t value = 0;
    int32_t dx = 0;
    int32_t dy = 0;
    LayerPtr layer;
};

// A layer merged away and the list position it had before the merge.
struct MergePair {
    LayerPtr layer;
    int32_t position = 0;
};

// What RecordState takes besides the layers: `values` carries the start canvas size (kind 1),
// the other canvas size (14, 23), the opacity (7), the step count (8, 9) or the offset pair
// (6); `records` the moves of kind 21; `pairs` the merged-away layers of kind 22.
struct StateExtra {
    std::vector<int32_t> values;
    std::vector<MoveRecord> records;
    std::vector<MergePair> pairs;
};

// Extra values only (canvas size, offset pair, opacity, step count).
inline StateExtra ExtraValues(std::initializer_list<int32_t> values) {
    StateExtra e;
    e.values = values;
    return e;
}

// The in-place properties of one layer object.
struct LayerSnapshot {
    LayerPtr layer;
    bool visible = true;
    bool current = false;
    int32_t opacity = 100;
    int32_t x = 0;
    int32_t y = 0;
    Rect bounds;
    // Moving text and editing a curve change the object itself, not a copy: the start row
    // must put back the origin and the anchors the document was opened with.
    Point textOrigin;
    std::vector<CurveAnchor> anchors;
    bool closed = false;
    bool filled = false;
    ColorRef color = 0;

    static LayerSnapshot Take(const LayerPtr& layer);
    // Writes the saved properties back into the object (nothing for an empty snapshot); a text
    // layer whose origin differs is rendered again. Returns whether a curve layer's shape
    // differed and was put back: the caller renders it again.
    bool Apply() const;
};

struct HistoryState {
    LayerPtr layer;                  // the layer concerned (the selection object for kinds 11-13)
    std::vector<LayerPtr> layers;    // old list (14) or the merged-away layers (22)
    std::vector<int32_t> positions;  // kind 22: former list position of each entry of `layers`
    int32_t kind = 0;
    int32_t index = 0;
    uint32_t id = 0;
    int32_t current = 0;
    int32_t offsetX = 0;  // kind 6
    int32_t offsetY = 0;
    bool visible = true;  // kind 18
    int32_t opacity = 0;  // kind 7
    int32_t steps = 0;    // kinds 8, 9
    std::string name;
    std::vector<MoveRecord> records;  // kind 21
    int32_t otherWidth = 0;           // kinds 14, 23: the canvas size on the other side
    int32_t otherHeight = 0;
    int32_t otherResolution = 0;  // kind 14: the resolution on the other side (0: none kept)
    BlockHandle curveBlock = 0;   // kind 18
};

// The palette's text for a state: its name, else the name of its kind.
std::string StateDisplayName(const HistoryState& state);

}  // namespace zelvo
