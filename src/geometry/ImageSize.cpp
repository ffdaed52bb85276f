#include "geometry/ImageSize.h"

#include <cmath>

#include "geometry/RebuildCanvas.h"
#include "geometry/Resample.h"
#include "platform/Feedback.h"
#include "platform/Messages.h"
#include "selection/SelectionCommands.h"

namespace zelvo {

namespace {

constexpr const char* kTooManyPixels = "The new image should not more than 20 million pixels!";

bool InRange(double v, double lo, double hi) {
    return v >= lo && v <= hi;
}

}  // namespace

ImageSizeDialogModel::ImageSizeDialogModel(int32_t canvasWidth, int32_t canvasHeight,
                                           int32_t resolution)
    : m_canvasWidth(canvasWidth),
      m_canvasHeight(canvasHeight),
      m_canvasResolution(resolution),
      m_width(canvasWidth),
      m_height(canvasHeight),
      m_resolution(resolution) {}

float ImageSizeDialogModel::DocumentWidth() const {
    return ImageSizeD2(float(PixelsToLength(m_width, m_resolution, documentUnit)));
}

float ImageSizeDialogModel::DocumentHeight() const {
    return ImageSizeD2(float(PixelsToLength(m_height, m_resolution, documentUnit)));
}

float ImageSizeDialogModel::ResolutionValue() const {
    return ImageSizeD2(float(ResolutionIn(m_resolution, resolutionUnit)));
}

int32_t ImageSizeDialogModel::PixelsFor(double length) const {
    const float perUnit = documentUnit == LengthUnit::Inch ? 0.0254f : 0.01f;
    return RoundR4(float(length) * float(m_resolution) * perUnit);
}

void ImageSizeDialogModel::Follow(bool widthEdited) {
    if (!scaleStyles || m_canvasWidth <= 0 || m_canvasHeight <= 0) return;
    if (widthEdited) {
        const float ratio = float(m_width) / float(m_canvasWidth);
        m_height = RoundR4(float(m_canvasHeight) * ratio);
    } else {
        const float ratio = float(m_height) / float(m_canvasHeight);
        m_width = RoundR4(float(m_canvasWidth) * ratio);
    }
}

bool ImageSizeDialogModel::EditPixelWidth(int32_t value) {
    if (value < 1 || value > kMaxImageSide || value == m_width) return false;
    m_width = value;
    Follow(true);
    return CheckState();
}

bool ImageSizeDialogModel::EditPixelHeight(int32_t value) {
    if (value < 1 || value > kMaxImageSide || value == m_height) return false;
    m_height = value;
    Follow(false);
    return CheckState();
}

bool ImageSizeDialogModel::EditDocumentWidth(double length) {
    if (!InRange(length, 0.04, 10000.0) || float(length) == DocumentWidth()) return false;
    m_width = PixelsFor(length);
    Follow(true);
    return CheckState();
}

bool ImageSizeDialogModel::EditDocumentHeight(double length) {
    if (!InRange(length, 0.04, 10000.0) || float(length) == DocumentHeight()) return false;
    m_height = PixelsFor(length);
    Follow(false);
    return CheckState();
}

bool ImageSizeDialogModel::EditResolution(double value) {
    if (!InRange(value, 0.04, 10000.0) || float(value) == ResolutionValue()) return false;
    // The document sizes stay as shown; the pixel sizes follow the new resolution.
    const double docWidth = DocumentWidth(), docHeight = DocumentHeight();
    m_resolution = resolutionUnit == DensityUnit::PixelsPerCentimeter
                       ? RoundR4(float(value) * 100.0f)
                       : RoundR4(float(value) * 39.37008f);
    m_width = PixelsFor(docWidth);
    m_height = PixelsFor(docHeight);
    return CheckState();
}

void ImageSizeDialogModel::SetValues(int32_t width, int32_t height, int32_t resolution) {
    m_width = width;
    m_height = height;
    m_resolution = resolution;
}

bool ImageSizeDialogModel::CheckState() {
    const bool ok = m_width >= 1 && m_width <= kMaxImageSide && m_height >= 1 &&
                    m_height <= kMaxImageSide && m_resolution >= 0 &&
                    int64_t(m_width) * int64_t(m_height) <= kMaxImagePixels;
    if (!ok) {
        Reset();
        AppMessages().Show(kImageLimitsMessage);
    }
    return ok;
}

void ImageSizeDialogModel::Reset() {
    m_width = m_canvasWidth;
    m_height = m_canvasHeight;
    m_resolution = m_canvasResolution;
}

std::optional<ImageSizeRequest> ImageSizeDialogModel::Ok() {
    if (m_width == m_canvasWidth && m_height == m_canvasHeight &&
        m_resolution == m_canvasResolution)
        return std::nullopt;
    if (m_resolution < 0) m_resolution = 0;
    if (int64_t(m_width) * int64_t(m_height) > kMaxImagePixels) {
        AppMessages().Show(kTooManyPixels);
        return std::nullopt;
    }
    return ImageSizeRequest{m_width, m_height, m_resolution, scaleStyles};
}

int ResizeImage(HistoryManager& history, const ImageSizeRequest& request,
                int32_t& documentResolution) {
    LayerManager& lm = history.Layers();
    const int32_t oldWidth = lm.Image().width, oldHeight = lm.Image().height;
    const int32_t width = request.width, height = request.height;
    if (oldWidth <= 0 || oldHeight <= 0 || width < 1 || height < 1 || width > kMaxImageSide ||
        height > kMaxImageSide)
        return 0;
    if (int64_t(width) * int64_t(height) > kMaxImagePixels) {
        AppMessages().Show(kTooManyPixels);
        return 0;
    }
    if (!lm.CheckLayerList()) return 0;

    WaitCursor wait;
    Deselect(history);
    const float sx = float(width) / float(oldWidth), sy = float(height) / float(oldHeight);
    const ResampleMode mode = request.scaleStyles ? ResampleMode::Smooth : ResampleMode::Nearest;
    const Rect canvas{0, 0, width, height};
    const auto scale = [sx, sy](Point p) -> Point {
        return {RoundR3(float(p.x) * sx), RoundR3(float(p.y) * sy)};
    };

    CanvasLayerRules rules;
    rules.pixel = [&](const LayerPtr& old) {
        return ResampleLayer(lm, *old, ScaledLayerRect(old->Bounds(), sx, sy), sx, sy, mode,
                             canvas);
    };
    rules.map = scale;
    // The font's cell height runs down the canvas for horizontal text and across it for
    // vertical text.
    rules.fontScaleHorizontal = sy;
    rules.fontScaleVertical = sx;
    rules.showProgress = true;
    rules.resolution = request.resolution;
    if (!RebuildCanvas(history, "Image Size", width, height, rules)) return 0;
    documentResolution = request.resolution;
    return 1;
}

}  // namespace zelvo
