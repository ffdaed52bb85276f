#include "core/Decimal.h"

#include <cstdlib>

namespace zelvo {

std::optional<double> ParsePlainDecimal(const std::string& text) {
    size_t i = !text.empty() && (text[0] == '-' || text[0] == '+') ? 1 : 0;
    size_t digits = 0, points = 0;
    for (; i < text.size(); ++i) {
        if (text[i] >= '0' && text[i] <= '9')
            ++digits;
        else if (text[i] != '.' || points++ != 0)
            return std::nullopt;
    }
    if (digits == 0) return std::nullopt;
    return std::strtod(text.c_str(), nullptr);
}

}  // namespace zelvo
