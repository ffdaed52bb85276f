#include "geometry/Geometry.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <thread>

#include "core/Limits.h"
#include "curves/Curve.h"
#include "history/HistoryState.h"
#include "layers/TextLayer.h"

namespace zelvo {

namespace {

int32_t RoundAt(float x, float threshold) {
    x = std::clamp(x, -2e9f, 2e9f);  // the int32 range, for positions scaled far off the canvas
    int32_t i = int32_t(x);
    if (x - float(i) >= threshold) ++i;
    return i;
}

}  // namespace

int32_t RoundR3(float x) {
    return RoundAt(x, 0.3f);
}
int32_t RoundR4(float x) {
    return RoundAt(x, 0.4f);
}

float ImageSizeD2(float x) {
    return float(int32_t((x + 0.005f) * 100.0f)) * 0.01f;
}
float CanvasSizeD2(float x) {
    return float(int32_t(x * 100.0f)) * 0.01f;
}

double PixelsToLength(int32_t pixels, int32_t ppm, LengthUnit unit) {
    if (unit == LengthUnit::Pixels) return pixels;
    // A document read from a file may carry no resolution; its lengths are then unknown.
    if (ppm <= 0) return 0.0;
    return double(pixels) / double(ppm) * (unit == LengthUnit::Centimeter ? 100.0 : 39.37008);
}

double ResolutionIn(int32_t ppm, DensityUnit unit) {
    return double(ppm) * (unit == DensityUnit::PixelsPerInch ? 0.0254 : 0.01);
}

void RotatedCanvasSize(int code, int32_t width, int32_t height, int32_t& newWidth,
                       int32_t& newHeight) {
    const bool quarter = code == kRotateCounterclockwise || code == kRotateClockwise;
    newWidth = quarter ? height : width;
    newHeight = quarter ? width : height;
}

Point MapCanvasPoint(Point p, int code, int32_t W, int32_t H) {
    switch (code) {
        case kRotateCounterclockwise:
            return {p.y, W - 1 - p.x};
        case kRotateClockwise:
            return {H - 1 - p.y, p.x};
        case kRotate180:
            return {W - 1 - p.x, H - 1 - p.y};
        case kFlipHorizontal:
            return {W - 1 - p.x, p.y};
        case kFlipVertical:
            return {p.x, H - 1 - p.y};
        default:
            return p;
    }
}

Rect MapCanvasRect(const Rect& r, int code, int32_t W, int32_t H) {
    switch (code) {
        case kRotateCounterclockwise:
            return {r.top, W - r.right, r.bottom, W - r.left};
        case kRotateClockwise:
            return {H - r.bottom, r.left, H - r.top, r.right};
        case kRotate180:
            return {W - r.right, H - r.bottom, W - r.left, H - r.top};
        case kFlipHorizontal:
            return {W - r.right, r.top, W - r.left, r.bottom};
        case kFlipVertical:
            return {r.left, H - r.bottom, r.right, H - r.top};
        default:
            return r;
    }
}

bool GeometryCommandEnabled(GeometryCommand command, HistoryManager& history) {
    if (history.Host().ToolBusy()) return false;
    if (command != GeometryCommand::TransformLayer) return true;
    LayerManager& lm = history.Layers();
    const LayerPtr current = lm.LayerAt(lm.CurrentIndex());
    return current && current->Kind() == LayerKind::Pixel && current->HasPixels();
}

LayerPtr NewLayerLike(LayerManager& layers, const Layer& old, LayerKind kind, int32_t width,
                      int32_t height) {
    auto fresh = std::make_shared<Layer>(layers.Store());
    if (!fresh->Create(width, height, kind, old.Id())) return nullptr;
    // The serial goes on: to the user it is the same layer.
    fresh->SetSerial(old.Serial());
    fresh->SetCurrent(old.IsCurrent());
    fresh->SetVisible(old.IsVisible());
    fresh->SetOpacity(old.Opacity());
    fresh->SetColor(old.Color());
    fresh->SetClosed(old.IsClosed());
    fresh->SetFilled(old.IsFilled());
    fresh->Text() = old.Text();
    fresh->Anchors() = old.Anchors();
    fresh->LinkIds() = old.LinkIds();
    fresh->SetLinkCount(old.LinkCount());
    return fresh;
}

namespace {

Point Held(Point p) {
    return {ClampCoordinate(p.x), ClampCoordinate(p.y)};
}

}  // namespace

LayerPtr RebuildVectorLayer(LayerManager& layers, const Layer& old, int32_t width, int32_t height,
                            const std::function<Point(Point)>& map, float fontScale) {
    LayerPtr fresh = NewLayerLike(layers, old, old.Kind(), width, height);
    if (!fresh) return nullptr;
    if (old.Kind() == LayerKind::Text) {
        TextSettings& t = fresh->Text();
        // Positions stop where the layered file's coordinates end, as a move does.
        const Point origin = Held(map({t.originX, t.originY}));
        t.originX = origin.x;
        t.originY = origin.y;
        // A size keeps its sign (a character height) and the default (0) stays the default.
        if (fontScale != 1.0f && t.fontSize != 0) {
            const float scaled =
                std::min(std::abs(float(t.fontSize)) * fontScale, float(kMaxLayerFontSize));
            const int32_t size = std::max<int32_t>(1, int32_t(std::lround(scaled)));
            t.fontSize = t.fontSize < 0 ? -size : size;
        }
        RenderText(*fresh);
    } else if (old.Kind() == LayerKind::Curve) {
        for (CurveAnchor& a : fresh->Anchors()) {
            a.in = Held(map(a.in));
            a.point = Held(map(a.point));
            a.out = Held(map(a.out));
        }
        RenderCurve(*fresh);
    }
    fresh->ReleaseRows();
    return fresh;
}

void WaitForDrawingIdle(HistoryHost& host) {
    host.RequestCompositingStop();
    while (host.CompositingBusy()) std::this_thread::sleep_for(std::chrono::milliseconds(15));
}

CanvasRebuild::CanvasRebuild(HistoryManager& history) : m_history(history) {}

void CanvasRebuild::Add(LayerPtr rebuilt) {
    m_rebuilt.push_back(std::move(rebuilt));
}

int CanvasRebuild::Commit(const std::string& name, int32_t newWidth, int32_t newHeight,
                          int32_t newResolution) {
    LayerManager& lm = m_history.Layers();
    if (m_rebuilt.size() != lm.Layers().size() || m_rebuilt.empty()) return 0;

    HistoryHost& host = m_history.Host();
    WaitForDrawingIdle(host);
    ImageGeometry& canvas = lm.Image();
    const int32_t oldWidth = canvas.width, oldHeight = canvas.height;
    const int index = std::max(0, lm.CurrentIndex());
    std::vector<LayerPtr> old = lm.Layers();
    while (lm.LayerCount() > 0) lm.RemoveAt(lm.LayerCount() - 1);
    for (LayerPtr& l : m_rebuilt) lm.InsertAt(lm.LayerCount(), std::move(l));
    m_rebuilt.clear();
    canvas.width = newWidth;
    canvas.height = newHeight;
    if (newWidth != oldWidth || newHeight != oldHeight) host.CanvasSizeChanged();
    m_history.RecordState(nullptr, old, kStateWholeImage, index, name,
                          ExtraValues({oldWidth, oldHeight, newResolution}));
    host.ResumeCompositing();
    host.Redraw();
    return 1;
}

}  // namespace zelvo
