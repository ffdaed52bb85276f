#include "app/MainFrameCommands.h"

#include "app/CMainFrame.h"
#include "app/CTextToolUi.h"
#include "clipboard/ClipboardCommands.h"
#include "doc/Image.h"
#include "platform/QtClipboard.h"
#include "tools/ToolController.h"
#include "view/DisplayRefresher.h"

namespace zelvo {

namespace {

// The last copy rectangle, one for the whole run of the frame.
ClipboardState& FrameClipboardState() {
    static ClipboardState state;
    return state;
}

CommandDialog DialogOf(int id) {
    for (const DialogCommand& d : DialogCommands())
        if (d.id == id) return d.dialog;
    return nullptr;
}

}  // namespace

CommandContext FrameCommandContext(CMainFrame& frame) {
    CommandContext c = CommandContext::Of(frame.ActiveImage(), &FrameClipboardState());
    c.toolStaysBusy = c.toolBusy && frame.Tools().BusyThroughCommands();
    return c;
}

void RegisterTableCommands(CMainFrame& frame, const AddCommand& add) {
    // The program's own bitmap goes through the system clipboard; the copy rectangle starts
    // empty with each frame.
    static QtClipboard clipboard;
    SetAppClipboard(&clipboard);
    FrameClipboardState() = ClipboardState{};

    for (const CommandFamily& family : CommandFamilies()) {
        for (const CommandEntry& e : family.entries) {
            if (!e.run) continue;  // the frame's own, or not in the program yet
            const CommandDialog dialog = DialogOf(e.id);
            if (e.TakesValues() && !dialog) continue;
            const CommandEntry* entry = &e;
            std::function<void()> handler;
            if (family.name == "history") {
                // Undo and redo change layers in place: the refresher is held off meanwhile.
                handler = [&frame, entry] {
                    Image* image = frame.ActiveImage();
                    if (!image) return;
                    {
                        HoldRender hold(image->ViewState());
                        CommandContext context = FrameCommandContext(frame);
                        RunCommand(*entry, context);
                    }
                    // A step may give back another canvas size: the view follows at once.
                    frame.DocumentChanged(*image);
                };
            } else if (!e.needsDocument) {
                handler = [&frame, entry] {
                    CommandContext context = FrameCommandContext(frame);
                    RunCommand(*entry, context);
                };
            } else {
                handler = [&frame, entry, dialog] {
                    Image* image = frame.ActiveImage();
                    if (!image || !image->IsReady()) return;
                    // The dialog runs before the refresher is held off: a preview dialog draws
                    // through it while it is open, and no dialog changes a layer.
                    CommandValues values;
                    const bool accepted = !dialog || dialog(frame, *image, values);
                    if (accepted && frame.ActiveImage() == image) {
                        HoldRender hold(image->ViewState());
                        CommandContext context = CommandContext::Of(image, &FrameClipboardState());
                        RunCommand(*entry, context, values);
                    }
                    // Cancel redraws too: a preview may have been shown.
                    if (frame.ActiveImage() == image) frame.DocumentChanged(*image);
                };
            }
            std::function<bool()> enabler = [&frame, entry] {
                return CommandEnabled(*entry, FrameCommandContext(frame));
            };
            if (e.id == kIdEditCut || e.id == kIdEditCopy || e.id == kIdEditPaste) {
                // While a text is edited they act on its box: Cut and Copy always enabled,
                // Paste when the clipboard offers text.
                const int id = e.id;
                handler = [&frame, id, pixels = std::move(handler)] {
                    CTextEditBox* box = frame.TextBox();
                    if (!box) return pixels();
                    if (id == kIdEditCut) box->cut();
                    if (id == kIdEditCopy) box->copy();
                    if (id == kIdEditPaste) box->paste();
                };
                enabler = [&frame, id, pixels = std::move(enabler)] {
                    if (!frame.TextBox()) return pixels();
                    return id != kIdEditPaste || AppClipboard().Text().has_value();
                };
            }
            add(e.id, std::move(handler), std::move(enabler));
        }
    }
}

}  // namespace zelvo
