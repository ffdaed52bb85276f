// The text tool's open edit as the edit box, the bar and scripts see it: the document and view
// it belongs to, where the text starts and what has been typed so far.
#pragma once

#include <string>

#include "core/Types.h"

namespace zelvo {

class Image;
class ImageView;

// The bar's buttons of the text page.
enum class TextButton { Direction, EditCurrent, Commit, Cancel };

class TextSessionInfo {
public:
    virtual ~TextSessionInfo() = default;
    // Null when no edit is open.
    virtual Image* EditImage() const = 0;
    virtual ImageView* EditView() const = 0;
    // Whether the edit is of an existing layer (else of a new one).
    virtual bool EditsExisting() const = 0;
    // The canvas point of the top-left of the first line.
    virtual Point Origin() const = 0;
    // The text so far, lines separated by CR LF.
    virtual const std::string& Text() const = 0;
    // The edit box's whole text (CR LF lines). Both refuse (false, the text unchanged) a text
    // longer than kMaxTextBytes.
    virtual bool SetText(const std::string& text) = 0;
    // Characters typed at the end of the text (CR LF for a line break).
    virtual bool Type(const std::string& text) = 0;

    // The controller's entries (ToolController::PressTextButton and the bar's values): a button
    // with `view` the edit's or the active document's view; a text page value that changed,
    // applied to the open edit or, without one, to `active`'s current text layer.
    virtual bool Button(TextButton button, ImageView& view) = 0;
    virtual void ApplyOption(const std::string& key, ImageView* active) = 0;
};

}  // namespace zelvo
