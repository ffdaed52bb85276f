#include "geometry/PrintSize.h"

#include "platform/Messages.h"

namespace zelvo {

namespace {

constexpr double kCmPerInch = 2.54;

}  // namespace

PrintSizeDialogModel::PrintSizeDialogModel(int32_t canvasWidth, int32_t canvasHeight,
                                           int32_t resolution)
    : m_canvasWidth(canvasWidth), m_canvasHeight(canvasHeight), m_resolution(resolution) {
    ShowFromResolution();
}

std::string PrintSizeDialogModel::PixelSizeText() const {
    return Format("Width:%d Height:%d  (Pixels)", m_canvasWidth, m_canvasHeight);
}

void PrintSizeDialogModel::ShowFromResolution() {
    // Until a box is edited everything is shown from the document's own resolution.
    if (!m_edited) {
        m_res = m_resUnit == DensityUnit::PixelsPerInch
                    ? double(int32_t(double(m_resolution) * 0.0254 + 0.7))
                    : double(m_resolution / 100);
        m_width = PixelsToLength(m_canvasWidth, m_resolution, m_unit);
        m_height = PixelsToLength(m_canvasHeight, m_resolution, m_unit);
        return;
    }
    m_width = LengthFor(m_canvasWidth);
    m_height = LengthFor(m_canvasHeight);
}

double PrintSizeDialogModel::PixelsPerUnitLength() const {
    double perCm = m_resUnit == DensityUnit::PixelsPerInch ? m_res / kCmPerInch : m_res;
    return m_unit == LengthUnit::Inch ? perCm * kCmPerInch : perCm;
}

double PrintSizeDialogModel::LengthFor(int32_t pixels) const {
    const double perUnit = PixelsPerUnitLength();
    return perUnit > 0 ? double(pixels) / perUnit : 0.0;
}

void PrintSizeDialogModel::SetUnit(LengthUnit unit) {
    if (unit == LengthUnit::Pixels) return;  // the box offers centimetres and inches only
    m_unit = unit;
    ShowFromResolution();
}

void PrintSizeDialogModel::SetResolutionUnit(DensityUnit unit) {
    if (unit == m_resUnit) return;
    if (m_edited)
        m_res = unit == DensityUnit::PixelsPerInch ? m_res * kCmPerInch : m_res / kCmPerInch;
    m_resUnit = unit;
    ShowFromResolution();
}

std::string PrintSizeDialogModel::WidthText() const {
    return Format("%0.2f", m_width);
}
std::string PrintSizeDialogModel::HeightText() const {
    return Format("%0.2f", m_height);
}
std::string PrintSizeDialogModel::ResolutionText() const {
    return Format("%d", int32_t(m_res));
}

bool PrintSizeDialogModel::EditSide(double value, int32_t pixels, int32_t otherPixels, double& side,
                                    double& other) {
    if (!(value >= 0.01 && value < 3000.0) || pixels <= 0) return false;
    side = value;
    other = value * double(otherPixels) / double(pixels);
    const double cm = m_unit == LengthUnit::Inch ? value * kCmPerInch : value;
    const double perCm = double(pixels) / cm;
    m_res = m_resUnit == DensityUnit::PixelsPerInch ? perCm * kCmPerInch : perCm;
    m_edited = true;
    return true;
}

bool PrintSizeDialogModel::EditWidth(double value) {
    return EditSide(value, m_canvasWidth, m_canvasHeight, m_width, m_height);
}

bool PrintSizeDialogModel::EditHeight(double value) {
    return EditSide(value, m_canvasHeight, m_canvasWidth, m_height, m_width);
}

bool PrintSizeDialogModel::EditResolution(double value) {
    if (!(value >= 0.01 && value < 10000.0)) return false;
    m_res = value;
    m_edited = true;
    ShowFromResolution();
    return true;
}

namespace {
// Pixels per metre from the resolution box, rounded as OK rounds it.
int64_t PerMetre(double value, DensityUnit unit) {
    return unit == DensityUnit::PixelsPerCentimeter ? int64_t(value * 100.0 + 0.5)
                                                    : int64_t(value * 39.37008 + 0.5);
}
}  // namespace

std::optional<int32_t> PrintSizeDialogModel::Ok() const {
    // OK alone must not move the resolution by the rounding of the shown value.
    if (!m_edited) return std::nullopt;
    const int64_t r = PerMetre(m_res, m_resUnit);
    if (r <= 0 || r >= 100000 || r == m_resolution) return std::nullopt;
    return int32_t(r);
}

bool PrintSizeDialogModel::ResolutionOutOfRange() const {
    const int64_t r = PerMetre(m_res, m_resUnit);
    return m_edited && (r <= 0 || r >= 100000);
}

}  // namespace zelvo
