#include "print/PrintPreviewModel.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace zelvo {

PrintPreviewModel::PrintPreviewModel(int32_t pixelWidth, int32_t pixelHeight, int32_t resolution,
                                     const PrintPage& page)
    : m_pixelWidth(std::max(pixelWidth, 0)),
      m_pixelHeight(std::max(pixelHeight, 0)),
      m_resolution(resolution > 0 ? resolution : kDefaultResolution),
      m_page(page) {
    Recentre();
}

int32_t PrintPreviewModel::SizeMm(int32_t pixels, float scale) const {
    return Truncate(double(pixels) * double(scale) * 1000.0 / double(m_resolution));
}

int32_t PrintPreviewModel::WidthMm() const {
    return SizeMm(m_pixelWidth, m_scale);
}
int32_t PrintPreviewModel::HeightMm() const {
    return SizeMm(m_pixelHeight, m_scale);
}
int32_t PrintPreviewModel::Width100Mm() const {
    return std::max(SizeMm(m_pixelWidth, 1.0f), 1);
}
int32_t PrintPreviewModel::Height100Mm() const {
    return std::max(SizeMm(m_pixelHeight, 1.0f), 1);
}

void PrintPreviewModel::SetScale(float s) {
    m_scale = std::max(s, kMinScale);
    if (m_center) Recentre();
}

void PrintPreviewModel::Recentre() {
    m_left = (m_page.widthMm - WidthMm()) / 2;
    m_top = (m_page.heightMm - HeightMm()) / 2;
}

void PrintPreviewModel::ApplyFit() {
    float s = std::min(float(m_page.widthMm) / float(Width100Mm()),
                       float(m_page.heightMm) / float(Height100Mm()));
    // The whole-millimetre size at 100 % is short of the true one by up to a millimetre, which
    // for a picture of a few millimetres makes the fitted picture overflow the page; the true
    // size is taken then, stepped down past any float rounding that still leaves it too big...
    const auto overflows = [&](float scale) {
        return SizeMm(m_pixelWidth, scale) > m_page.widthMm ||
               SizeMm(m_pixelHeight, scale) > m_page.heightMm;
    };
    if (overflows(s) && m_pixelWidth > 0 && m_pixelHeight > 0) {
        const double trueWidth = double(m_pixelWidth) * 1000.0 / double(m_resolution);
        const double trueHeight = double(m_pixelHeight) * 1000.0 / double(m_resolution);
        s = float(std::min(m_page.widthMm / trueWidth, m_page.heightMm / trueHeight));
        for (int i = 0; i < 64 && s > kMinScale && overflows(s); ++i) s = std::nextafter(s, 0.0f);
        // ...and then the largest scale that still fits, so the picture meets the page's edge.
        for (int i = 0; i < 64 && !overflows(std::nextafter(s, 2.0f * s)); ++i)
            s = std::nextafter(s, 2.0f * s);
    }
    m_scale = std::max(s, kMinScale);
    Recentre();
}

void PrintPreviewModel::SetPage(const PrintPage& page) {
    m_page = page;
    if (m_center) Recentre();
    if (m_fit) ApplyFit();
}

void PrintPreviewModel::SetCenter(bool on) {
    m_center = on;
    if (on) Recentre();
}

void PrintPreviewModel::SetFit(bool on) {
    m_fit = on;
    if (on) ApplyFit();
}

void PrintPreviewModel::FitWhenLargerThanPage() {
    if (WidthMm() > m_page.widthMm || HeightMm() > m_page.heightMm) SetFit(true);
}

bool PrintPreviewModel::Edit(PrintField field, const std::string& text) {
    if (field == PrintField::None || field != m_focus) return false;
    switch (field) {
        case PrintField::Scale:
            return ScaleEnabled() && EditScale(text);
        case PrintField::Width:
            return ScaleEnabled() && EditSize(text, Width100Mm());
        case PrintField::Height:
            return ScaleEnabled() && EditSize(text, Height100Mm());
        case PrintField::Left:
            return PositionEnabled() && EditPosition(text, m_left);
        case PrintField::Top:
            return PositionEnabled() && EditPosition(text, m_top);
        case PrintField::None:
            break;
    }
    return false;
}

bool PrintPreviewModel::EditScale(const std::string& text) {
    const auto value = LeadingNumber(text);
    if (!value) return false;
    // The box holds a whole percentage: what follows the integer part is not read.
    const double percent = std::trunc(*value);
    if (!(percent > 0 && percent < 10000)) return false;
    SetScale(float(percent * 0.01));
    return true;
}

bool PrintPreviewModel::EditSize(const std::string& text, int32_t size100) {
    const auto value = LeadingNumber(text);
    if (!value || !(*value > 0.099 && *value < 5000)) return false;
    float s = float(MmFromUnit(*value, m_sizeUnit)) / float(size100);
    if (std::fabs(s - 1.0f) <= 0.009f) s = 1.0f;
    SetScale(s);
    return true;
}

bool PrintPreviewModel::EditPosition(const std::string& text, int32_t& target) {
    const auto value = LeadingNumber(text);
    if (!value || !(*value > -5000 && *value < 5000)) return false;
    target = MmFromUnit(*value, m_positionUnit);
    return true;
}

std::string PrintPreviewModel::Text(PrintField field) const {
    switch (field) {
        case PrintField::Scale: {
            char text[32];
            std::snprintf(text, sizeof text, "%0.0f%%", double(m_scale) * 100.0);
            return text;
        }
        case PrintField::Width:
            return FormatMm(WidthMm(), m_sizeUnit);
        case PrintField::Height:
            return FormatMm(HeightMm(), m_sizeUnit);
        case PrintField::Left:
            return FormatMm(m_left, m_positionUnit);
        case PrintField::Top:
            return FormatMm(m_top, m_positionUnit);
        case PrintField::None:
            break;
    }
    return {};
}

Rect PrintPreviewModel::PreviewRect() const {
    if (!m_page.IsReadable()) return {};
    // The page fitted into the square with exact integer arithmetic, so the long side is the
    // full 250 pixels (a float factor can fall just short of it).
    const int64_t pw = m_page.widthPx, ph = m_page.heightPx;
    const int32_t w = int32_t(pw >= ph ? kPreviewArea : kPreviewArea * pw / ph);
    const int32_t h = int32_t(ph >= pw ? kPreviewArea : kPreviewArea * ph / pw);
    const int32_t x = (kPreviewArea - w) / 2 + kPreviewOrigin;
    const int32_t y = (kPreviewArea - h) / 2 + kPreviewOrigin;
    return {x, y, x + w, y + h};
}

Rect PrintPreviewModel::PreviewImageRect(int32_t clientWidth) const {
    if (m_page.widthMm <= 0) return {};
    const double x = double(clientWidth) / double(m_page.widthMm);
    const int32_t left = Truncate(m_left * x), top = Truncate(m_top * x);
    // Sums in 64 bits: a picture of the largest size moved far stays a rectangle.
    const auto end = [](int32_t from, double length) {
        return Truncate(double(int64_t(from) + Truncate(length)));
    };
    return {left, top, end(left, WidthMm() * x), end(top, HeightMm() * x)};
}

bool PrintPreviewModel::PressAt(Point p, int32_t clientWidth) {
    m_dragging = false;
    if (!Draggable() || clientWidth <= 0 || m_page.widthMm <= 0) return false;
    if (!PreviewImageRect(clientWidth).Contains(p)) return false;
    m_dragging = true;
    m_pressPoint = p;
    m_pressLeft = m_left;
    m_pressTop = m_top;
    m_dragFactor = double(clientWidth) / double(m_page.widthMm);
    return true;
}

bool PrintPreviewModel::DragTo(Point p) {
    if (!m_dragging) return false;
    // Whole millimetres moved, toward zero, so a twitch below a millimetre moves nothing.
    const int32_t left = m_pressLeft + Truncate((p.x - m_pressPoint.x) / m_dragFactor);
    const int32_t top = m_pressTop + Truncate((p.y - m_pressPoint.y) / m_dragFactor);
    const bool moved = left != m_left || top != m_top;
    m_left = left;
    m_top = top;
    return moved;
}

Rect PrintPreviewModel::Destination(const PrintPage& page) const {
    if (page.widthMm <= 0) return {};
    const auto [l, t, r, b] = ExactDestination(page);
    // A picture kilometres wide at a tiny resolution still goes to the printer, cut: held to a
    // range whose widths and heights fit the painter's integer rectangles.
    constexpr double kFar = double(1 << 28);
    auto device = [&](double v) { return Truncate(std::clamp(v, -kFar, kFar)); };
    return {device(l), device(t), device(r), device(b)};
}

std::array<double, 4> PrintPreviewModel::ExactDestination(const PrintPage& page) const {
    if (page.widthMm <= 0) return {};
    const double f = double(page.widthPx) / double(page.widthMm);
    const double x = m_left * f, y = m_top * f;
    return {x, y, x + WidthMm() * f, y + HeightMm() * f};
}

}  // namespace zelvo
