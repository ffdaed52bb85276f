// The one tool controller of a main frame (or of a batch run): the current tool and the tool
// switch with its letter pairs, the busy flag, the temporary Hand and Move tools of Space and
// Ctrl, the key table, the right-button rules, the cursors, the colour pair and the options
// bar's values. Views hand it every event through ToolEvents; it forwards what is a tool's own
// to that tool's MouseOperation.
#pragma once

#include <array>
#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "tools/CloneSource.h"
#include "tools/ColorPair.h"
#include "tools/CropSize.h"
#include "tools/MouseOperation.h"
#include "tools/SelectionGesture.h"
#include "tools/TextTool.h"
#include "tools/ToolOptions.h"
#include "tools/ToolTable.h"
#include "view/ToolEvents.h"
#include "workspace/Workspace.h"

namespace zelvo {

class Image;
class CropFrameInfo;
class MeasureInfo;

class ToolController : public ToolEvents, public ToolHooks {
public:
    ToolController();
    ~ToolController() override;

    ColorPair& Colors() { return m_colors; }
    ToolOptions& Options() { return m_options; }
    const ToolOptions& Options() const { return m_options; }

    ToolId CurrentTool() const { return ToolId(m_current.load(std::memory_order_acquire)); }
    bool IsBusy() const { return m_busy.load(std::memory_order_acquire); }
    // Busy with an operation that ending the pending interaction leaves open (the crop frame).
    bool BusyThroughCommands() const;

    // The single entry for tool changes. False (nothing changes) while busy; true when the tool
    // is current afterwards.
    bool SelectTool(int id);
    // A shortcut letter (either case); false when it is no tool's letter or the switch was
    // refused.
    bool SelectByLetter(char letter);
    // The member of pair `pair` the letter selects next from outside the pair.
    ToolId RememberedMember(size_t pair) const { return m_remembered[pair]; }

    // The free-transform mode (Ctrl+T): the current tool becomes 1089 and busy is set until
    // its commit or cancel brings the tool before it back. False while busy or when the
    // current layer cannot be transformed.
    bool EnterFreeTransform(ImageView& view);
    void LeaveFreeTransform();

    // Called by every menu command before it acts on a document: whatever is in progress ends
    // as it would at its release, and busy is cleared.
    void EndPendingInteraction();

    // The "[" / "]" steps of the brush diameter; false when the current page has no diameter
    // or the value stays.
    bool StepDiameter(bool grow);
    // Alt+1..5: the combine mode of the selection tools, the curve tool's drawing mode.
    bool SetModeByNumber(int number);

    // When set, every tool but Hand and Move shows the standard cursor.
    void SetPlainCursors(bool on) { m_plainCursors = on; }
    bool PlainCursors() const { return m_plainCursors; }

    // Status-bar texts (the tool's hint, the zoom ratio, ...).
    std::function<void(const std::string&)> onStatus;
    // A stroke's painter changed the records of canvas rectangle `rect` of `image`. Called on
    // the painter's thread (the tool poller, or the user-interface thread at the stroke's
    // end): it may only hand the rectangle on to the user-interface thread. Set once, before
    // any stroke.
    std::function<void(Image& image, const Rect& rect)> onStrokePainted;
    // The current tool changed (the tool box and the options bar follow).
    std::function<void(ToolId)> onToolChanged;
    // A tool put something into another open document (a layer dropped there): its window
    // becomes the active one.
    std::function<void(Image&)> onActivateDocument;
    void ActivateDocument(Image& image) {
        if (onActivateDocument) onActivateDocument(image);
    }
    void ShowStatus(const std::string& text);

    // A key when no document is open: the tool letters, the colour and option keys.
    bool KeyWithoutView(int key, bool down, int modifiers);

    // Zoom In and Zoom Out of the View menu: the zoom tool's option, then one click of it.
    // False while a tool is busy.
    bool ZoomCommand(ImageView& view, bool in);

    // The crop tool's open frame and its buttons; the bar's crop-size presets.
    CropFrameInfo* CropFrame() const;
    // "Commit" (true) or "Cancel" of the crop bar; false when no frame is open.
    bool CropButton(bool commit);
    CropPresetList& CropPresets() { return m_cropPresets; }
    // The measure tool's lines; `onReadouts` is told whenever the dragged line changes.
    MeasureInfo* Measure() const;
    std::function<void()> onReadouts;

    // The text tool's edit and the buttons of its bar ("Direction", "Edit Current Text Layer",
    // "Commit", "Cancel"). A button acts on the open edit or else on `activeView`'s document;
    // false when it did nothing (another tool is current, nothing to act on).
    TextSessionInfo* TextSession() const;
    bool PressTextButton(TextButton button);
    // The view of the active document, for what the bar does without a view's event.
    std::function<ImageView*()> activeView;
    // A text edit opened or closed, its values changed, or the bar changed a text layer: the
    // edit box and the palettes follow.
    std::function<void()> onTextSession;

    // The shared gestures of the selection tools.
    SelectionNudge& Nudge() { return m_nudge; }

    // The clone stamp's and healing brush's source (Alt-click).
    CloneSource& Source() { return m_source; }
    // A tool's lines over the view of another document than the one it works on changed (the
    // clone source's cross): that view repaints. User-interface thread.
    std::function<void(Image&)> onRepaintView;
    void RepaintView(Image& image) {
        if (onRepaintView) onRepaintView(image);
    }

    // ToolEvents
    void MouseDown(ImageView& view, const ViewMouse& m) override;
    void MouseMove(ImageView& view, const ViewMouse& m) override;
    void MouseUp(ImageView& view, const ViewMouse& m) override;
    void DoubleClick(ImageView& view, const ViewMouse& m) override;
    // Nothing is recorded, and a step that could be redone stays.
    void DropNowhere(ImageView& view) override;
    bool Key(ImageView& view, int key, bool down, int modifiers) override;
    void CaptureLost(ImageView& view) override;
    void ViewClosing(ImageView& view) override;
    void Overlay(ImageView& view, OverlayCanvas& canvas) override;
    bool Busy() const override { return IsBusy(); }
    bool DragCrossesViews() const override;
    bool PolygonBusy() const override;
    bool AllowsOutlineAnimation() const override;
    ContextChoice ContextMenu(ImageView& view, Point client, int modifiers) override;
    CursorInfo Cursor(const ImageView& view) const override;

    // ToolHooks
    bool ToolBusy() const override { return IsBusy(); }
    void EndToolInteraction() override { EndPendingInteraction(); }
    void CloseCurveAnchorEdit() override {}
    // The tool poller's turn: the stroke in progress paints what has been published.
    void PainterTick() override;

    // The operation registered for a tool (null for tools still to come).
    MouseOperation* Operation(int id) const;

private:
    void ApplyCurveStyle(const std::string& key);
    void SetBusy(bool on) { m_busy.store(on, std::memory_order_release); }
    // The operation in progress (the temporary one during a Space or Ctrl press).
    MouseOperation* ActiveOperation() const;
    // Whether events of `view` belong to the operation in progress.
    bool Follows(const ImageView& view) const;
    bool HandleKey(ImageView* view, int key, bool down, int modifiers);
    bool CommonKeyDown(ImageView* view, int key, int modifiers);

    ColorPair m_colors;
    ToolOptions m_options;
    std::map<int, std::unique_ptr<MouseOperation>> m_operations;
    std::atomic<bool> m_busy{false};
    std::atomic<int> m_current{kToolHand};
    // The temporary tool of the current press (kToolHand for Space, kToolMove for Ctrl).
    ToolId m_temporary = kToolNone;
    // The tool the free-transform mode brings back.
    ToolId m_beforeTransform = kToolHand;
    std::atomic<bool> m_temporaryActive{false};
    // The temporary cursor shown while Space or Ctrl is held.
    CursorShape m_temporaryCursor = CursorShape::Arrow;
    bool m_temporaryCursorShown = false;
    bool m_spaceHeld = false;
    std::array<ToolId, 7> m_remembered{};
    ImageView* m_view = nullptr;  // the view of the operation in progress
    SelectionNudge m_nudge;
    CropPresetList m_cropPresets;
    bool m_plainCursors = false;
    CloneSource m_source;
    bool m_altHeld = false;  // the source cursor of the clone stamp and healing brush
};

}  // namespace zelvo
