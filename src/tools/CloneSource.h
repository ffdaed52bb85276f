// Where the clone stamp and the healing brush take their pixels from: the document and layer
// picked by an Alt-click and the clicked point. The layer is kept by its serial, which moving it
// in the stack and every pixel edit keep (an edit that replaces the layer object gives the new
// object a new identifier, so the identifier alone would lose the source after the first stroke
// on its own layer); closing the document or deleting the layer loses it.
#pragma once

#include <cstdint>

#include "core/Types.h"
#include "layers/Layer.h"

namespace zelvo {

class Image;
class ImageView;

struct CloneSource {
    ImageView* view = nullptr;  // the source document's view; null while no source is defined
    int32_t layerSerial = 0;
    Point point;  // image coordinates of the source document
    // The aligned clone: the start of the first stroke after the Alt-click, once fixed.
    bool offsetFixed = false;
    Point firstStart;

    void Define(ImageView& v, int32_t serial, Point p) {
        view = &v;
        layerSerial = serial;
        point = p;
        offsetFixed = false;
    }
    void Clear() { *this = CloneSource{}; }
    // The source document, null while undefined.
    Image* Document() const;
    // The source layer, null when undefined or when the document no longer has it.
    LayerPtr SourceLayer() const;
};

}  // namespace zelvo
