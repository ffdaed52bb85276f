// The Edit menu: the history's Undo and Step commands, the clipboard, Clear, Draw Border and
// Transform.
#include "clipboard/ClipboardCommands.h"
#include "commands/Families.h"
#include "geometry/Geometry.h"
#include "geometry/TransformLayer.h"
#include "history/HistoryCommands.h"
#include "layerops/LayerStack.h"
#include "platform/Clipboard.h"
#include "selection/SelectionCommands.h"

namespace zelvo::commands {

namespace {

constexpr const char* kEdit = "&Edit";
constexpr const char* kTransform = "&Edit/Transform";

// A front end that keeps no copy rectangle gets one for the whole run.
ClipboardState& StateOf(const CommandContext& c) {
    static ClipboardState fallback;
    return c.clipboard ? *c.clipboard : fallback;
}

CommandEntry HistoryStep(int id, const char* text, const char* keys, const char* verb,
                         CommandState (*state)(const HistoryManager*),
                         int (*step)(HistoryManager&)) {
    // The history's own rule: no document, no states; the busy tool is its run's to refuse.
    CommandEntry e = OnDocument(
        id, kEdit, text, keys, verb,
        [state](const CommandContext& c) { return !c.toolStaysBusy && state(c.History()).enabled; },
        [step](CommandContext& c, const CommandValues&) { return step(*c.History()); });
    e.needsDocument = false;
    e.refusedWhileToolBusy = false;
    return e;
}

Rule Selection(SelectionCommand command) {
    return [command](const CommandContext& c) {
        return SelectionCommandEnabled(command, *c.History());
    };
}

}  // namespace

CommandFamily HistoryFamily() {
    return {
        "history",
        {
            HistoryStep(kCmdUndoRedo, "Undo", "Ctrl+Z", "history undo", UndoRedoState, UndoRedo),
            HistoryStep(kCmdStepForward, "Step Forward", "Ctrl+Shift+Z", "history step-forward",
                        StepForwardState, StepForward),
            HistoryStep(kCmdStepBackward, "Step Backward", "Ctrl+Alt+Z", "history step-backward",
                        StepBackwardState, StepBackward),
        }};
}

CommandFamily EditFamily() {
    CommandFamily f{"edit", {Separator(kEdit)}};
    auto& rows = f.entries;
    const Rule copyRule = [](const CommandContext& c) { return CopyEnabled(*c.History()); };
    rows.push_back(OnDocument(kIdEditCut, kEdit, "Cut", "Ctrl+X", "edit cut", copyRule,
                              [](CommandContext& c, const CommandValues&) {
                                  return CutSelection(*c.History(), AppClipboard(), StateOf(c));
                              }));
    rows.push_back(OnDocument(kIdEditCopy, kEdit, "Copy", "Ctrl+C", "edit copy", copyRule,
                              [](CommandContext& c, const CommandValues&) {
                                  return CopySelection(*c.History(), AppClipboard(), StateOf(c));
                              }));
    CommandEntry paste = OnDocument(
        kIdEditPaste, kEdit, "Paste", "Ctrl+V", "edit paste",
        [](const CommandContext&) { return PasteEnabled(AppClipboard()); },
        [](CommandContext& c, const CommandValues&) {
            HistoryManager& h = *c.History();
            const PasteResult r = PasteClipboard(
                h, AppClipboard(), StateOf(c),
                [&h](int32_t w, int32_t height) { return PasteAsLayer(h, w, height); });
            return r == PasteResult::Pasted ? 1 : 0;
        });
    paste.refusedWhileToolBusy = false;
    rows.push_back(paste);
    CommandEntry clean = OnDocument(
        kIdCleanClipboard, kEdit, "Clean up the clipboard", "", "edit clean-clipboard",
        [](const CommandContext&) { return true; },
        [](CommandContext&, const CommandValues&) { return CleanClipboard(AppClipboard()); });
    clean.needsDocument = false;
    clean.refusedWhileToolBusy = false;
    rows.push_back(clean);
    rows.push_back(Separator(kEdit));

    rows.push_back(OnDocument(
        kIdClear, kEdit, "Clear", "Delete", "edit clear", Selection(SelectionCommand::Clear),
        [](CommandContext& c, const CommandValues&) { return ClearSelection(*c.History()); }));
    rows.push_back(WithValues(OnDocument(kIdDrawBorder, kEdit, "Draw Border", "", "edit border",
                                         Selection(SelectionCommand::DrawBorder),
                                         [](CommandContext& c, const CommandValues& v) {
                                             return DrawBorder(*c.History(), v.at(0),
                                                               ColorRef(v.at(1)), v.at(2));
                                         }),
                              "width, colour, opacity", "1 #000000 100"));
    rows.push_back(Separator(kEdit));

    // Free Transform belongs to its tool.
    rows.push_back(FrontEnd(kIdFreeTransform, kEdit, "Free Transform", "Ctrl+T"));
    const int ids[5] = {kIdTransformClockwise, kIdTransformCounterclockwise, kIdTransform180,
                        kIdTransformFlipHorizontal, kIdTransformFlipVertical};
    for (int i = 0; i < 5; ++i) {
        const int code = kTurns[i].code;
        rows.push_back(OnDocument(
            ids[i], kTransform, kTurns[i].text, "", "",
            [](const CommandContext& c) {
                return GeometryCommandEnabled(GeometryCommand::TransformLayer, *c.History());
            },
            [code](CommandContext& c, const CommandValues&) {
                return TransformLayer(*c.History(), code);
            }));
        rows.back().verb = std::string("transform ") + kTurns[i].word;
    }
    rows.push_back(Separator(kEdit));
    rows.push_back(FrontEnd(kIdSetupTempDisk, kEdit, "Set up Temporary Disk..."));
    return f;
}

}  // namespace zelvo::commands
