// The pointers the tools ask for, drawn once each: the brush circle at its size on screen and
// small pictures for the tools Qt has no cursor of its own for.
#pragma once

#include <QCursor>

#include "view/ToolEvents.h"

namespace zelvo {

QCursor ToolCursor(const CursorInfo& info);

// The circle of the brush-driven tools: a one-pixel outline of `size` pixels across (5..200),
// hot spot in the centre, with a small cross there from 40 pixels on.
QPixmap BrushCirclePixmap(int size);

}  // namespace zelvo
