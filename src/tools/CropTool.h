// The crop tool's frame as the bar, the menu and scripts see it: whether one is open and where,
// the "Shield" check box, and the "Commit" and "Cancel" buttons (which reach the tool through
// ToolController::CropButton).
#pragma once

#include <optional>

#include "core/Types.h"
#include "tools/MouseOperation.h"

namespace zelvo {

class Image;

class CropFrameInfo {
public:
    virtual ~CropFrameInfo() = default;
    // The open frame normalised (right and bottom exclusive), in canvas coordinates.
    virtual std::optional<Rect> Frame() const = 0;
    virtual const Image* FrameImage() const = 0;
    virtual bool Shield() const = 0;
    virtual void SetShield(bool on) = 0;
    // Enter or "Commit": crops to the frame; the frame closes either way.
    virtual void Commit() = 0;
    // Esc or "Cancel".
    virtual void Cancel() = 0;
};

}  // namespace zelvo
