// The models of the Feather, Expand/Contract and Draw Border dialogs: captions, ranges and
// defaults, and the range check OK runs (a refused value leaves the dialog open).
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "core/Types.h"

namespace zelvo {

// The framework's range check of an integer edit: shows "Please enter an integer between MIN
// and MAX." and returns false when the value is outside.
bool CheckIntegerRange(int64_t value, int32_t min, int32_t max);

struct FeatherDialogModel {
    static constexpr const char* kTitle = "Feather Selection";
    static constexpr const char* kLabel = "Feather:";
    static constexpr const char* kUnit = "Pixels";
    static constexpr const char* kHint = "( 0---100 Pixels )";
    static constexpr int32_t kMin = 0;
    static constexpr int32_t kMax = 100;

    int64_t radius = 2;

    // The radius to feather by, or nothing when the range check refused it.
    std::optional<int32_t> Ok() const;
};

// One dialog for Expand and Contract.
struct ExpandContractDialogModel {
    static constexpr const char* kUnit = "Pixels";
    static constexpr const char* kHint = "( 1---50 Pixels )";
    static constexpr int32_t kMin = 1;
    static constexpr int32_t kMax = 50;

    explicit ExpandContractDialogModel(bool contract) : contract(contract) {}
    std::string Title() const { return contract ? "Contract Selection" : "Expand Selection"; }
    std::string Label() const { return contract ? "Contract:" : "Expand:"; }

    bool contract;
    int64_t pixels = 1;

    std::optional<int32_t> Ok() const;
};

struct DrawBorderValues {
    int32_t width = 1;
    ColorRef color = 0;
    int32_t opacity = 100;
};

struct DrawBorderDialogModel {
    static constexpr const char* kTitle = "Draw Border";
    static constexpr const char* kWidthLabel = "Width:";
    static constexpr const char* kWidthUnit = "Pixels";
    static constexpr const char* kColorLabel = "Color:";
    static constexpr const char* kOpacityLabel = "Opacity:";
    static constexpr const char* kOpacityUnit = "%";

    // The swatch starts at the current foreground colour.
    explicit DrawBorderDialogModel(ColorRef foreground) : color(foreground) {}

    int64_t width = 1;
    ColorRef color;
    int64_t opacity = 100;

    // The values to draw with (the caller makes `color` the foreground colour), or nothing
    // when the range check refused the width (1..50) or the opacity (0..100).
    std::optional<DrawBorderValues> Ok() const;
};

}  // namespace zelvo
