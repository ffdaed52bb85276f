// What every brush-driven tool does the same way: the press starts a stroke on the current
// layer and shows it over the layer in the view while the tool poller paints, every move
// appends a point (Shift holds it to 0, 45 or 90 degrees from the press), and the release, Esc
// or a command that ends the interaction paints what is left and commits one history state.
// A tool says only which layers it takes, what its dabs need and the state's name.
#pragma once

#include <string>

#include "paint/Stroke.h"
#include "tools/MouseOperation.h"

namespace zelvo {

class Image;

class StrokeTool : public MouseOperation {
public:
    StrokeTool(ToolController& tools, int id) : MouseOperation(tools), m_id(id) {}

    bool Press(ImageView& view, const ViewMouse& m) override;
    void Move(ImageView& view, const ViewMouse& m) override;
    bool Release(ImageView& view, const ViewMouse& m) override;
    void Finish(ImageView& view) override;
    void Abandon() override;
    bool Key(ImageView& view, int key, bool down, int modifiers, bool& stillBusy) override;
    void PainterTick() override;
    CursorShape Cursor() const override { return CursorShape::Circle; }

protected:
    // Before anything else at the press: false refuses it (the tool showed why, or the press
    // did its own thing, as an Alt-click that picks a source).
    virtual bool Accepts(ImageView& view, const ViewMouse& m, const LayerPtr& layer) = 0;
    // The tool's part of the target (kind, tables, source) and the state's name; the tip,
    // canvas, layer, selection and foreground are filled in already. False refuses the press.
    virtual bool Prepare(Image& image, StrokeTarget& target, Point start) = 0;
    // The stroke's point `p` (image coordinates) was appended.
    virtual void Moved(Point /*p*/) {}
    // The painter has finished the stroke's dabs; the records may be reworked before the
    // commit (the healing pass). False drops the stroke without a state.
    virtual bool BeforeCommit(Image& /*image*/, StrokeSession& /*stroke*/) { return true; }
    // After the commit (or the discard when `committed` is false).
    virtual void Ended(Image& /*image*/, bool /*committed*/) {}

    int Id() const { return m_id; }
    // The document of the stroke in progress, null when idle.
    Image* StrokeImage() const { return m_image; }
    Point StartPoint() const { return m_start; }
    std::string m_name;  // the history state's name

private:
    void End(ImageView& view);

    const int m_id;
    StrokeSession m_stroke;
    Image* m_image = nullptr;
    Point m_press;  // client point of the press, for Shift
    Point m_start;  // image point of the press
    BrushTip m_tip;
    int m_d = 0, m_h = 0, m_o = 0;
};

}  // namespace zelvo
