#include "tools/ToolController.h"

#include <algorithm>
#include <cctype>

#include "curves/CurveEdit.h"
#include "doc/Image.h"
#include "platform/Messages.h"
#include "selection/SelectionCommands.h"
#include "tools/CropTool.h"
#include "tools/MeasureTool.h"
#include "tools/Operations.h"
#include "tools/ZoomTool.h"
#include "view/ImageView.h"

namespace zelvo {

namespace {

bool IsArrow(int key) {
    return key == kKeyLeft || key == kKeyRight || key == kKeyUp || key == kKeyDown;
}

}  // namespace

ToolController::ToolController() {
    for (size_t i = 0; i < m_remembered.size(); ++i) m_remembered[i] = ToolPairs()[i][0];
    m_operations[kToolHand] = MakeHandTool(*this);
    m_operations[kToolZoom] = MakeZoomTool(*this);
    m_operations[kToolRectMarquee] = MakeMarqueeTool(*this, false);
    m_operations[kToolEllipseMarquee] = MakeMarqueeTool(*this, true);
    m_operations[kToolLasso] = MakeLassoTool(*this);
    m_operations[kToolPolygon] = MakePolygonTool(*this);
    m_operations[kToolMagicWand] = MakeMagicWandTool(*this);
    m_operations[kToolMove] = MakeMoveTool(*this);
    m_operations[kToolCrop] = MakeCropTool(*this);
    m_operations[kToolMeasure] = MakeMeasureTool(*this);
    m_operations[kToolEyedropper] = MakeEyedropperTool(*this);
    m_operations[kToolBrush] = MakeBrushTool(*this);
    m_operations[kToolEraser] = MakeEraserTool(*this);
    m_operations[kToolCloneStamp] = MakeCloneTool(*this);
    m_operations[kToolHealingBrush] = MakeHealingBrushTool(*this);
    for (int id : {kToolLightenDarken, kToolSponge, kToolBlur, kToolSharpen})
        m_operations[id] = MakeRetouchTool(*this, id);
    m_operations[kToolPatch] = MakePatchTool(*this);
    m_operations[kToolPaintBucket] = MakeBucketTool(*this);
    m_operations[kToolGradient] = MakeGradientTool(*this);
    m_operations[kToolCurve] = MakeCurveTool(*this);
    m_operations[kToolFreeTransform] = MakeFreeTransformTool(*this);
    m_operations[kToolText] = MakeTextTool(*this);
    m_options.onApply = [this](int tool, const std::string& key) {
        // Turning "Aligned" off lets the next aligned stroke fix its offset anew.
        if (tool == kToolCloneStamp && key == "aligned" && m_options.GetInt(tool, key) == 0)
            m_source.offsetFixed = false;
        if (tool == kToolCurve && (key == "filled" || key == "color")) {
            ApplyCurveStyle(key);
            return;
        }
        if (tool != kToolText) return;
        TextSessionInfo* text = TextSession();
        text->ApplyOption(
            key, text->EditView() ? text->EditView() : (activeView ? activeView() : nullptr));
    };
}

ToolController::~ToolController() = default;

void ToolController::ApplyCurveStyle(const std::string& key) {
    // The bar's fill and colour restyle the current curve layer ("Fill Curves" and the like);
    // a curve being drawn takes them when it is made.
    ImageView* view = activeView ? activeView() : nullptr;
    if (!view || IsBusy()) return;
    Image& image = view->GetImage();
    const LayerPtr current = image.Layers().LayerAt(image.Layers().CurrentIndex());
    if (!current || current->Kind() != LayerKind::Curve) return;
    bool filled = current->IsFilled();
    ColorRef color = current->Color();
    if (key == "filled") {
        filled = m_options.GetInt(kToolCurve, "filled") != 0;
    } else {
        color = m_options.GetColor(kToolCurve, "color");
    }
    if (image.Curves().SetCurveStyle(filled, color)) view->RequestRender(1);
}

MouseOperation* ToolController::Operation(int id) const {
    auto it = m_operations.find(id);
    return it == m_operations.end() ? nullptr : it->second.get();
}

MouseOperation* ToolController::ActiveOperation() const {
    return Operation(m_temporaryActive.load() ? m_temporary : CurrentTool());
}

bool ToolController::Follows(const ImageView& view) const {
    if (!IsBusy()) return false;
    if (&view == m_view) return true;
    const MouseOperation* op = ActiveOperation();
    return op && op->FollowsAcrossViews();
}

bool ToolController::DragCrossesViews() const {
    const MouseOperation* op = IsBusy() ? ActiveOperation() : nullptr;
    return op && op->FollowsAcrossViews();
}

void ToolController::ShowStatus(const std::string& text) {
    if (onStatus) onStatus(text);
}

bool ToolController::SelectTool(int id) {
    const ToolInfo* info = FindTool(id);
    if (!info) return false;
    const int from = CurrentTool();
    if (id == from) return true;
    if (IsBusy()) return false;
    // Leaving a pair for a tool outside it: the letter comes back to the tool left.
    const auto pairFrom = PairOf(from);
    if (pairFrom && PairOf(id) != pairFrom) m_remembered[*pairFrom] = ToolId(from);
    if (MouseOperation* left = Operation(from)) left->Deselected();
    m_nudge.Record();
    m_current.store(id, std::memory_order_release);
    if (onToolChanged) onToolChanged(ToolId(id));
    ShowStatus(info->hint);
    return true;
}

bool ToolController::SelectByLetter(char letter) {
    const char upper = char(std::toupper(static_cast<unsigned char>(letter)));
    for (size_t p = 0; p < ToolPairs().size(); ++p) {
        const ToolPair& pair = ToolPairs()[p];
        if (FindTool(pair[0])->letter != upper) continue;
        const bool first = m_remembered[p] == pair[0];
        if (!SelectTool(first ? pair[0] : pair[1])) return false;
        m_remembered[p] = first ? pair[1] : pair[0];
        return true;
    }
    for (const ToolInfo& t : ToolTable())
        if (t.letter == upper && !PairOf(t.id)) return SelectTool(t.id);
    return false;
}

bool ToolController::EnterFreeTransform(ImageView& view) {
    if (IsBusy() || !view.GetImage().IsReady()) return false;
    MouseOperation* op = Operation(kToolFreeTransform);
    m_nudge.Record();
    if (!op || !StartFreeTransform(*op, view)) return false;
    m_beforeTransform = CurrentTool();
    m_current.store(kToolFreeTransform, std::memory_order_release);
    m_view = &view;
    SetBusy(true);
    if (onToolChanged) onToolChanged(kToolFreeTransform);
    ShowStatus("Using Enter,Esc,Shift,Ctrl key.");
    return true;
}

void ToolController::LeaveFreeTransform() {
    if (CurrentTool() != kToolFreeTransform) return;
    SetBusy(false);
    m_view = nullptr;
    m_current.store(m_beforeTransform, std::memory_order_release);
    if (onToolChanged) onToolChanged(m_beforeTransform);
    if (const ToolInfo* info = FindTool(m_beforeTransform)) ShowStatus(info->hint);
}

void ToolController::EndPendingInteraction() {
    m_nudge.Record();
    if (!IsBusy()) return;
    ImageView* view = m_view;
    if (m_temporaryActive.load()) {
        m_temporaryActive.store(false);
        if (MouseOperation* op = Operation(m_temporary); op && view) op->Finish(*view);
    } else if (MouseOperation* op = Operation(CurrentTool()); op && view) {
        SetBusy(false);
        op->Finish(*view);
        if (op->StaysOpen()) {
            SetBusy(true);
            return;
        }
    }
    SetBusy(false);
    m_view = nullptr;
}

bool ToolController::BusyThroughCommands() const {
    if (!IsBusy() || m_temporaryActive.load()) return false;
    const MouseOperation* op = Operation(CurrentTool());
    return op && op->StaysOpen();
}

CropFrameInfo* ToolController::CropFrame() const {
    return dynamic_cast<CropFrameInfo*>(Operation(kToolCrop));
}

MeasureInfo* ToolController::Measure() const {
    return dynamic_cast<MeasureInfo*>(Operation(kToolMeasure));
}

bool ToolController::CropButton(bool commit) {
    CropFrameInfo* crop = CropFrame();
    if (CurrentTool() != kToolCrop || !IsBusy() || !crop->Frame() || m_temporaryActive.load())
        return false;
    if (commit)
        crop->Commit();
    else
        crop->Cancel();
    SetBusy(false);
    m_view = nullptr;
    return true;
}

TextSessionInfo* ToolController::TextSession() const {
    return dynamic_cast<TextSessionInfo*>(Operation(kToolText));
}

bool ToolController::PressTextButton(TextButton button) {
    if (CurrentTool() != kToolText || m_temporaryActive.load()) return false;
    TextSessionInfo* text = TextSession();
    ImageView* view = text->EditView() ? text->EditView() : (activeView ? activeView() : nullptr);
    if (!view || !view->GetImage().IsReady()) return false;
    const bool done = text->Button(button, *view);
    const bool open = text->EditView() != nullptr;
    SetBusy(open);
    m_view = open ? view : nullptr;
    return done;
}

bool ToolController::StepDiameter(bool grow) {
    if (!ToolOptions::HasDiameter(CurrentTool())) return false;
    const int old = m_options.Diameter();
    const int step = std::max(1, old * 30 / 100);
    const int next = std::clamp(grow ? old + step : old - step, 1, 500);
    if (next == old) return false;
    m_options.Set(CurrentTool(), "diameter", std::to_string(next));
    return true;
}

bool ToolController::SetModeByNumber(int number) {
    const int tool = CurrentTool();
    static const char* const selection[] = {"new", "add", "subtract", "intersect"};
    static const char* const curve[] = {"draw", "select", "convert", "add", "delete"};
    if ((IsSelectionTool(tool) || tool == kToolPatch) && number >= 1 && number <= 4)
        return m_options.Set(tool, "mode", selection[number - 1]) == ToolOptions::SetResult::Ok;
    if (tool == kToolCurve && number >= 1 && number <= 5)
        return m_options.Set(tool, "mode", curve[number - 1]) == ToolOptions::SetResult::Ok;
    return false;
}

bool ToolController::ZoomCommand(ImageView& view, bool in) {
    if (IsBusy()) return false;
    m_options.Set(kToolZoom, "zoom", in ? "in" : "out");
    ZoomClick(view, in);
    ShowStatus(ZoomRatioText(view.Zoom()));
    return true;
}

void ToolController::MouseDown(ImageView& view, const ViewMouse& m) {
    if (m.button != kLeftButton || !view.GetImage().IsReady()) return;
    m_altHeld = (m.modifiers & kAlt) != 0;
    const bool space = (m.modifiers & kSpace) || m_spaceHeld;
    if (!IsBusy() && (space || (m.modifiers & kControl))) {
        m_nudge.Record();
        m_temporary = space ? kToolHand : kToolMove;
        MouseOperation* op = Operation(m_temporary);
        if (!op) return;
        m_view = &view;
        m_temporaryActive.store(true);
        SetBusy(true);
        op->Press(view, m);
        return;
    }
    MouseOperation* op = Operation(CurrentTool());
    if (!op) return;
    if (IsBusy() && !op->TakesPressWhileBusy()) return;
    if (IsBusy() && &view != m_view) return op->PressElsewhere(view);
    m_nudge.Record();
    m_view = &view;
    SetBusy(op->Press(view, m));
    if (!IsBusy()) m_view = nullptr;
}

void ToolController::MouseMove(ImageView& view, const ViewMouse& m) {
    m_altHeld = (m.modifiers & kAlt) != 0;
    if (!Follows(view)) return;
    if (m_temporaryActive.load()) {
        if (MouseOperation* op = Operation(m_temporary)) op->Move(view, m);
        return;
    }
    if (MouseOperation* op = Operation(CurrentTool())) op->Move(view, m);
}

void ToolController::MouseUp(ImageView& view, const ViewMouse& m) {
    if (m.button != kLeftButton || !Follows(view)) return;
    if (m_temporaryActive.load()) {
        if (MouseOperation* op = Operation(m_temporary)) op->Release(view, m);
        m_temporaryActive.store(false);
        SetBusy(false);
        m_view = nullptr;
        return;
    }
    MouseOperation* op = Operation(CurrentTool());
    if (!op) return;
    // The tool's work runs with busy cleared, as a command outside a tool operation would.
    SetBusy(false);
    const bool still = op->Release(view, m);
    SetBusy(still);
    if (!still) m_view = nullptr;
}

void ToolController::DropNowhere(ImageView& view) {
    if (!Follows(view) || !DragCrossesViews()) return;
    ActiveOperation()->Abandon();
    SetBusy(false);
    m_view = nullptr;
}

void ToolController::DoubleClick(ImageView& view, const ViewMouse& m) {
    if (!IsBusy() || &view != m_view || m_temporaryActive.load()) return;
    MouseOperation* op = Operation(CurrentTool());
    if (!op) return;
    SetBusy(false);
    const bool still = op->DoubleClick(view, m);
    SetBusy(still);
    if (!still) m_view = nullptr;
}

bool ToolController::Key(ImageView& view, int key, bool down, int modifiers) {
    return HandleKey(&view, key, down, modifiers);
}

bool ToolController::KeyWithoutView(int key, bool down, int modifiers) {
    return HandleKey(nullptr, key, down, modifiers);
}

bool ToolController::HandleKey(ImageView* view, int key, bool down, int modifiers) {
    if (key >= 'a' && key <= 'z') key -= 'a' - 'A';
    // The Alt key's own events may not carry the modifier yet (down) or still (up).
    m_altHeld = key == kKeyAlt ? down : (modifiers & kAlt) != 0;
    if (!down) {
        if (key == kKeySpace) m_spaceHeld = false;
        if (m_temporaryCursorShown && (key == kKeySpace || key == kKeyControl))
            m_temporaryCursorShown = false;
        if (IsArrow(key)) {
            m_nudge.Record();
            return true;
        }
        return key == kKeySpace;
    }
    // The tool's own keys first (a polygon's Esc, later the crop's Enter and arrows).
    MouseOperation* op = Operation(CurrentTool());
    if (op && view && !m_temporaryActive.load()) {
        const bool busy = IsBusy();
        bool still = busy;
        if (busy && view != m_view) {
            // Keys of another view do not reach an operation in progress elsewhere.
        } else if (op->Key(*view, key, down, modifiers, still)) {
            SetBusy(still);
            m_view = still ? view : nullptr;
            return true;
        }
    }
    return CommonKeyDown(view, key, modifiers);
}

bool ToolController::CommonKeyDown(ImageView* view, int key, int modifiers) {
    const bool busy = IsBusy();
    if (key == kKeySpace || key == kKeyControl) {
        if (busy) return key == kKeySpace;
        if (key == kKeySpace) m_spaceHeld = true;
        m_temporaryCursor = key == kKeySpace ? CursorShape::Hand : CursorShape::Move;
        m_temporaryCursorShown = true;
        return true;
    }
    if (modifiers & kAlt) {
        if (key >= '1' && key <= '5') return SetModeByNumber(key - '0');
        return false;
    }
    if (modifiers & kControl) return false;  // menu accelerators
    if (key == '[' || key == '{') return StepDiameter(false), true;
    if (key == ']' || key == '}') return StepDiameter(true), true;
    if (key == 'X') {
        m_colors.Swap();
        return true;
    }
    if (key == 'D') {
        m_colors.Reset();
        return true;
    }
    if (key >= 'A' && key <= 'Z') {
        SelectByLetter(char(key));
        return true;
    }
    if (IsArrow(key)) {
        if (busy || !view || CurrentTool() == kToolMove) return false;
        return m_nudge.Step(*view, key);
    }
    if (key == kKeyDelete) {
        if (busy || !view) return false;
        HistoryManager& h = view->GetImage().History();
        if (SelectionCommandEnabled(SelectionCommand::Clear, h) && ClearSelection(h))
            view->RequestRender(1);
        return true;
    }
    return false;
}

void ToolController::CaptureLost(ImageView& view) {
    if (!IsBusy() || &view != m_view) return;
    // The polygon does not hold the mouse between its clicks.
    if (!m_temporaryActive.load() && CurrentTool() == kToolPolygon) return;
    EndPendingInteraction();
}

void ToolController::ViewClosing(ImageView& view) {
    m_nudge.Forget(view.GetImage());
    if (m_source.view == &view) m_source.Clear();
    for (auto& [id, op] : m_operations) op->Forget(view.GetImage());
    if (&view != m_view) {
        if (MouseOperation* op = IsBusy() ? ActiveOperation() : nullptr) op->ViewGone(view);
        return;
    }
    MouseOperation* op = Operation(m_temporaryActive.load() ? m_temporary : CurrentTool());
    if (op) op->Abandon();
    m_temporaryActive.store(false);
    SetBusy(false);
    m_view = nullptr;
}

void ToolController::Overlay(ImageView& view, OverlayCanvas& canvas) {
    if (Follows(view)) {
        if (MouseOperation* op = ActiveOperation()) op->Overlay(view, canvas);
        return;
    }
    if (m_temporaryActive.load()) return;
    MouseOperation* op = Operation(CurrentTool());
    if (op && IsBusy())
        op->OverlayOther(view, canvas);
    else if (op && op->OverlayWhenIdle())
        op->Overlay(view, canvas);
}

void ToolController::PainterTick() {
    // On the poller thread: only the atomics and the fixed table of operations.
    if (!IsBusy() || m_temporaryActive.load()) return;
    if (MouseOperation* op = Operation(CurrentTool())) op->PainterTick();
}

bool ToolController::PolygonBusy() const {
    return IsBusy() && !m_temporaryActive.load() && CurrentTool() == kToolPolygon;
}

bool ToolController::AllowsOutlineAnimation() const {
    // Read on the animator thread: only the atomics and the fixed table of operations.
    if (!IsBusy() || m_temporaryActive.load()) return true;
    const MouseOperation* op = Operation(CurrentTool());
    return !op || !op->HoldsOutline();
}

ContextChoice ToolController::ContextMenu(ImageView& /*view*/, Point /*client*/, int modifiers) {
    const int tool = CurrentTool();
    const bool busyOwn = tool == kToolCrop || tool == kToolText || tool == kToolFreeTransform;
    if (IsBusy() && !busyOwn) return {};
    if (IsBrushDriven(tool) && !(modifiers & kControl)) return {ContextChoice::BrushPopup, 0};
    const bool space = (modifiers & kSpace) || m_spaceHeld;
    int menu = 0;
    if (tool == kToolHand || space)
        menu = 2;
    else if (IsSelectionTool(tool))
        menu = 1;
    else if (busyOwn && IsBusy())
        menu = 5;
    else if (tool == kToolCurve)
        menu = 6;
    else if (tool == kToolZoom)
        menu = 4;
    return {ContextChoice::SubMenu, menu};
}

CursorInfo ToolController::Cursor(const ImageView& view) const {
    if (m_temporaryActive.load())
        return {m_temporary == kToolHand ? CursorShape::Hand : CursorShape::Move, 0};
    if (m_temporaryCursorShown) return {m_temporaryCursor, 0};
    const int tool = CurrentTool();
    if (tool == kToolHand) return {CursorShape::Hand, 0};
    if (tool == kToolMove) return {CursorShape::Move, 0};
    if (m_plainCursors) return {CursorShape::Arrow, 0};
    if ((tool == kToolCloneStamp || tool == kToolHealingBrush) && m_altHeld && !IsBusy())
        return {CursorShape::Source, 0};
    if (IsBrushDriven(tool)) {
        const float zoom = const_cast<ImageView&>(view).Zoom();
        const int size = std::clamp(int(float(m_options.Diameter()) * zoom), 5, 200);
        return {CursorShape::Circle, size};
    }
    switch (tool) {
        case kToolLasso:
        case kToolPolygon:
            return {CursorShape::Lasso, 0};
        case kToolMagicWand:
            return {CursorShape::Wand, 0};
        case kToolZoom:
            return {CursorShape::Zoom, 0};
        case kToolEyedropper:
            return {CursorShape::Eyedropper, 0};
        case kToolPaintBucket:
            return {CursorShape::Bucket, 0};
        case kToolText:
            return {CursorShape::Text, 0};
        case kToolCurve:
            return {CursorShape::Pen, 0};
        default:
            return {CursorShape::Cross, 0};
    }
}

}  // namespace zelvo
