// What the image geometry commands share: the dialogs' rounding rules and unit conversions, the
// canvas mapping of the five rotate and flip codes, the enabling rule, and the rebuild of the
// whole layer list that every canvas command ends with (new layer objects taking over the old
// ones' attributes, then one whole-image history state that keeps the old list and canvas).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "core/Types.h"
#include "history/HistoryManager.h"
#include "layers/Layer.h"
#include "layers/LayerManager.h"

namespace zelvo {

// trunc(x), plus 1 when the fraction is at least 0.3 (R3) or 0.4 (R4); single precision, as
// the scale factors are. A negative x never rounds up (its fraction is negative).
int32_t RoundR3(float x);
int32_t RoundR4(float x);
// Two decimals as the Image Size dialog shows them (rounded) and as Canvas Size does (cut).
float ImageSizeD2(float x);
float CanvasSizeD2(float x);

enum class LengthUnit { Centimeter, Inch, Pixels };
enum class DensityUnit { PixelsPerInch, PixelsPerCentimeter };

// A pixel count as a length at `ppm` pixels per metre (0 when there is no resolution).
double PixelsToLength(int32_t pixels, int32_t ppm, LengthUnit unit);
// The resolution in pixels per inch or per centimetre.
double ResolutionIn(int32_t ppm, DensityUnit unit);

// The codes of Image > Rotate Canvas and Edit > Transform.
enum RotateCode : int {
    kRotateCounterclockwise = 1,
    kRotateClockwise = 2,
    kRotate180 = 3,
    kFlipHorizontal = 4,
    kFlipVertical = 5,
};
// The canvas after the turn (H x W for the quarter turns).
void RotatedCanvasSize(int code, int32_t width, int32_t height, int32_t& newWidth,
                       int32_t& newHeight);
// Where a canvas pixel (x, y) of a W x H canvas goes.
Point MapCanvasPoint(Point p, int code, int32_t width, int32_t height);
// Where a rectangle (exclusive right and bottom) goes.
Rect MapCanvasRect(const Rect& r, int code, int32_t width, int32_t height);

enum class GeometryCommand { ImageSize, CanvasSize, PrintSize, RotateCanvas, TransformLayer };
// The menu's enabling rule: nothing while a tool operation runs; Transform only on a pixel
// layer.
bool GeometryCommandEnabled(GeometryCommand command, HistoryManager& history);

// A new layer object of `kind` that takes over `old`'s attributes: its id (so link groups stay
// as they are and the old list, kept by the history, is left untouched), serial, current and
// visible flags, opacity, colour, curve flags and anchors, text settings and link group. Text
// and curve layers get a cleared mask of `width` x `height`; a pixel layer's pixels are left to
// the caller; a null layer has no buffer. Null when the store has no room (it has told the
// user).
LayerPtr NewLayerLike(LayerManager& layers, const Layer& old, LayerKind kind, int32_t width,
                      int32_t height);

// A text or curve layer rebuilt over a `width` x `height` canvas: every anchor point (the text
// origin) goes through `map`, a text's font size is multiplied by `fontScale` (at least 1), and
// the mask is drawn again.
LayerPtr RebuildVectorLayer(LayerManager& layers, const Layer& old, int32_t width, int32_t height,
                            const std::function<Point(Point)>& map, float fontScale = 1.0f);

// Collects the new layer list of a canvas command, one new object per old layer in list order,
// and puts it in place at the end with one history state.
class CanvasRebuild {
public:
    explicit CanvasRebuild(HistoryManager& history);
    CanvasRebuild(const CanvasRebuild&) = delete;
    CanvasRebuild& operator=(const CanvasRebuild&) = delete;

    // The next layer of the new list, in the old list's order.
    void Add(LayerPtr rebuilt);
    // Waits until the display is not drawing, puts the new list in, sets the canvas size and
    // records a whole-image state named `name` with the old list and canvas size, and the
    // document's new resolution when one is given. Returns 0 (the document untouched) when the
    // list is incomplete.
    int Commit(const std::string& name, int32_t newWidth, int32_t newHeight,
               int32_t newResolution = 0);

private:
    HistoryManager& m_history;
    std::vector<LayerPtr> m_rebuilt;
};

// Stops the document's background drawing before the layer list is swapped (polling every
// 15 ms), and resumes it afterwards.
void WaitForDrawingIdle(HistoryHost& host);

}  // namespace zelvo
