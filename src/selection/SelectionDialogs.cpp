#include "selection/SelectionDialogs.h"

#include "platform/Messages.h"

namespace zelvo {

bool CheckIntegerRange(int64_t value, int32_t min, int32_t max) {
    if (value >= min && value <= max) return true;
    AppMessages().Show(Format("Please enter an integer between %d and %d.", min, max));
    return false;
}

std::optional<int32_t> FeatherDialogModel::Ok() const {
    if (!CheckIntegerRange(radius, kMin, kMax)) return std::nullopt;
    return int32_t(radius);
}

std::optional<int32_t> ExpandContractDialogModel::Ok() const {
    if (!CheckIntegerRange(pixels, kMin, kMax)) return std::nullopt;
    return int32_t(pixels);
}

std::optional<DrawBorderValues> DrawBorderDialogModel::Ok() const {
    if (!CheckIntegerRange(width, 1, 50) || !CheckIntegerRange(opacity, 0, 100))
        return std::nullopt;
    return DrawBorderValues{int32_t(width), color, int32_t(opacity)};
}

}  // namespace zelvo
