// The two units of the Print Preview boxes: millimetres shown as centimetres or inches with
// one decimal, and typed values turned back into whole millimetres.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace zelvo {

enum class PrintUnit { Centimeter = 0, Inch = 1 };

// Toward zero, held to 32 bits (a position or size in millimetres or device pixels).
int32_t Truncate(double v);

// "Centimeter" or "Inch", as the unit combos list them.
const char* PrintUnitName(PrintUnit unit);
// Millimetres in the unit, "%0.1f".
std::string FormatMm(int32_t mm, PrintUnit unit);
// A value in the unit as millimetres, truncated toward zero.
int32_t MmFromUnit(double value, PrintUnit unit);
double UnitFromMm(int32_t mm, PrintUnit unit);

// The number a box's text starts with (blanks first allowed, anything after it ignored, as a
// C conversion reads it); nullopt when the text does not start with a number. Independent of
// the locale: the decimal separator is always '.'.
std::optional<double> LeadingNumber(const std::string& text);

}  // namespace zelvo
