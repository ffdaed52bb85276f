#include "print/PrintUnits.h"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace zelvo {

int32_t Truncate(double v) {
    if (!(v > -2e9 && v < 2e9)) return v > 0 ? INT32_MAX : INT32_MIN;
    return int32_t(v);
}

namespace {

constexpr double kCmPerMm = 0.1;
constexpr double kInchPerMm = 0.03937008;

}  // namespace

const char* PrintUnitName(PrintUnit unit) {
    return unit == PrintUnit::Inch ? "Inch" : "Centimeter";
}

double UnitFromMm(int32_t mm, PrintUnit unit) {
    return double(mm) * (unit == PrintUnit::Inch ? kInchPerMm : kCmPerMm);
}

std::string FormatMm(int32_t mm, PrintUnit unit) {
    char text[64];
    std::snprintf(text, sizeof text, "%0.1f", UnitFromMm(mm, unit));
    return text;
}

int32_t MmFromUnit(double value, PrintUnit unit) {
    // The boxes' ranges keep values far inside int32; the clamp guards other callers.
    return Truncate(value * (unit == PrintUnit::Inch ? 25.4 : 10.0));
}

std::optional<double> LeadingNumber(const std::string& text) {
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    if (i < text.size() && text[i] == '+') ++i;
    double value = 0;
    const char* first = text.data() + i;
    const char* last = text.data() + text.size();
    const auto [end, ec] = std::from_chars(first, last, value, std::chars_format::fixed);
    if (ec != std::errc() || end == first || !std::isfinite(value)) return std::nullopt;
    return value;
}

}  // namespace zelvo
