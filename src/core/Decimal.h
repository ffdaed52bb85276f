// Numbers as a box of the program reads them from text.
#pragma once

#include <optional>
#include <string>

namespace zelvo {

// A plain decimal: an optional sign, digits with at most one point, nothing else. strtod alone
// would also take "1e3", "0x10", "nan" or leading blanks, which no box of the program reads as
// that number.
std::optional<double> ParsePlainDecimal(const std::string& text);

}  // namespace zelvo
