#include "geometry/CanvasSize.h"

#include "geometry/ImageSize.h"
#include "geometry/RebuildCanvas.h"
#include "platform/Feedback.h"
#include "platform/Messages.h"

namespace zelvo {

namespace {

const char* UnitName(LengthUnit unit) {
    switch (unit) {
        case LengthUnit::Centimeter:
            return "Centimeter";
        case LengthUnit::Inch:
            return "Inch";
        case LengthUnit::Pixels:
            return "Pixels";
    }
    return "";
}

std::string SizeLine(const char* label, int32_t pixels, int32_t ppm, LengthUnit unit) {
    if (unit == LengthUnit::Pixels) return Format("%s:  %d Pixels", label, pixels);
    return Format("%s:  %.2f %s", label, PixelsToLength(pixels, ppm, unit), UnitName(unit));
}

}  // namespace

CanvasSizeDialogModel::CanvasSizeDialogModel(int32_t canvasWidth, int32_t canvasHeight,
                                             int32_t resolution)
    : m_canvasWidth(canvasWidth),
      m_canvasHeight(canvasHeight),
      m_resolution(resolution),
      m_newWidth(canvasWidth),
      m_newHeight(canvasHeight) {
    ShowNewSize();
}

std::string CanvasSizeDialogModel::CurrentWidthText() const {
    return SizeLine("Width", m_canvasWidth, m_resolution, m_unit);
}

std::string CanvasSizeDialogModel::CurrentHeightText() const {
    return SizeLine("Height", m_canvasHeight, m_resolution, m_unit);
}

void CanvasSizeDialogModel::SetUnit(LengthUnit unit) {
    m_unit = unit;
    ShowNewSize();
}

double CanvasSizeDialogModel::Shown(int32_t pixels) const {
    if (m_unit == LengthUnit::Pixels) return pixels;
    return CanvasSizeD2(float(PixelsToLength(pixels, m_resolution, m_unit)));
}

void CanvasSizeDialogModel::ShowNewSize() {
    m_shownWidth = Shown(m_newWidth);
    m_shownHeight = Shown(m_newHeight);
}

int32_t CanvasSizeDialogModel::PixelsFor(double value) const {
    switch (m_unit) {
        case LengthUnit::Pixels:
            return int32_t(value);
        case LengthUnit::Centimeter:
            return int32_t(value * double(m_resolution) * 0.01);
        case LengthUnit::Inch:
            return int32_t(value * double(m_resolution) * 0.0254);
    }
    return 0;
}

bool CanvasSizeDialogModel::Edit(double value, bool width) {
    if (!(value >= 0.04 && value <= 10000.0)) return false;
    if (value == (width ? m_shownWidth : m_shownHeight)) return true;
    const int32_t pixels = PixelsFor(value);
    // A canvas needs a whole pixel a side, and no side may pass the program's limit; the
    // refused value goes back to the one shown before, so the user is told why.
    if (pixels < 1) {
        AppMessages().Show("The new image should be at least 1 pixel wide and high!");
        return false;
    }
    if (pixels > kMaxImageSide) {
        AppMessages().Show(kImageLimitsMessage);
        return false;
    }
    const int32_t w = width ? pixels : m_newWidth, h = width ? m_newHeight : pixels;
    if (int64_t(w) * int64_t(h) > kMaxImagePixels) {
        m_newWidth = m_canvasWidth;
        m_newHeight = m_canvasHeight;
        ShowNewSize();
        AppMessages().Show(
            "The new image should not more than 20 million pixels, need re-set the size!");
        return false;
    }
    m_newWidth = w;
    m_newHeight = h;
    (width ? m_shownWidth : m_shownHeight) = value;
    return true;
}

bool CanvasSizeDialogModel::EditWidth(double value) {
    return Edit(value, true);
}
bool CanvasSizeDialogModel::EditHeight(double value) {
    return Edit(value, false);
}

CanvasSizeDialogModel::Outcome CanvasSizeDialogModel::Ok() {
    if (int64_t(m_newWidth) * int64_t(m_newHeight) > kMaxImagePixels) {
        AppMessages().Show("The new image should not more than 20 million pixels!");
        return Outcome::TooLarge;
    }
    if (m_newWidth == m_canvasWidth && m_newHeight == m_canvasHeight) return Outcome::Unchanged;
    if (m_newWidth < m_canvasWidth || m_newHeight < m_canvasHeight) {
        const Answer a = AppMessages().Ask(
            "The new size is less than the current size, the image will be cut! Whether to "
            "continue?",
            Buttons::OkCancel);
        if (a != Answer::Ok) return Outcome::Cancelled;
    }
    return Outcome::Change;
}

int ChangeCanvasSize(HistoryManager& history, int32_t width, int32_t height) {
    LayerManager& lm = history.Layers();
    if (width < 1 || height < 1 || width > kMaxImageSide || height > kMaxImageSide ||
        int64_t(width) * int64_t(height) > kMaxImagePixels || !lm.CheckLayerList())
        return 0;
    WaitCursor wait;
    CanvasLayerRules rules;
    // Nothing changes in a pixel layer: the object goes on in the new list as it is, its pixels
    // outside the new canvas included.
    rules.pixel = [](const LayerPtr& old) { return old; };
    rules.map = [](Point p) { return p; };
    return RebuildCanvas(history, "Canvas Size", width, height, rules);
}

}  // namespace zelvo
