// The predefined shapes of the curve tool: eleven closed curves of about 100 x 100 pixels,
// placed as a new curve layer at a canvas point.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/Types.h"
#include "curves/CurveEdit.h"
#include "layers/CurveAnchor.h"

namespace zelvo {

constexpr int kShapeCount = 11;  // indices 1..11; 0 is "Freeform Line"

// The shape list's entries, "Freeform Line" first (index 0).
const std::vector<std::string>& ShapeNames();
// The index of a list name, -1 when none.
int ShapeIndex(const std::string& name);
// The template of shape `index` (1..11) relative to its origin; empty for other indices.
std::vector<CurveAnchor> ShapeTemplate(int index);

// Places shape `index` (1..11) with its origin at canvas point `at` as a new curve layer
// recorded under the shape's name: the tool's colour and fill, closed, rendered; the status bar
// then reads "Using Free Transform adjust the size of Curves.". Other indices do nothing.
LayerPtr PlaceShape(CurveEdit& curves, int index, Point at, ColorRef color, bool filled);

}  // namespace zelvo
