#include "commands/DocumentRerender.h"

#include "curves/Curve.h"
#include "layers/TextLayer.h"

namespace zelvo {

void DocumentRerender::RenderText(Layer& layer) {
    zelvo::RenderText(layer);
}

void DocumentRerender::RenderCurve(Layer& layer, bool forceFill) {
    const bool filled = layer.IsFilled();
    if (forceFill) layer.SetFilled(true);
    zelvo::RenderCurve(layer);
    layer.SetFilled(filled);
}

}  // namespace zelvo
