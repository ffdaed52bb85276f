#include "app/MainFrameCommands.h"

#include "app/CMainFrame.h"
#include "clipboard/ClipboardCommands.h"
#include "doc/Image.h"
#include "platform/QtClipboard.h"
#include "view/DisplayRefresher.h"

namespace zelvo {

namespace {

// The last copy rectangle, one for the whole run of the frame.
ClipboardState& FrameClipboardState() {
    static ClipboardState state;
    return state;
}

// Runs `work` on the active document with the refresher held off (it reads layer fields the
// command changes in place), then redraws it.
std::function<void()> OnActiveImage(CMainFrame& frame, std::function<void(Image&)> work) {
    return [&frame, work = std::move(work)] {
        Image* image = frame.ActiveImage();
        if (!image || !image->IsReady()) return;
        {
            HoldRender hold(image->ViewState());
            work(*image);
        }
        // The command may have closed nothing but changed anything: redraw in every case.
        if (frame.ActiveImage() == image) frame.DocumentChanged(*image);
    };
}

CommandDialog DialogOf(int id) {
    for (const DialogCommand& d : DialogCommands())
        if (d.id == id) return d.dialog;
    return nullptr;
}

}  // namespace

CommandContext FrameCommandContext(CMainFrame& frame) {
    return CommandContext::Of(frame.ActiveImage(), &FrameClipboardState());
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
                    HoldRender hold(image->ViewState());
                    CommandContext context = FrameCommandContext(frame);
                    RunCommand(*entry, context);
                };
            } else if (!e.needsDocument) {
                handler = [&frame, entry] {
                    CommandContext context = FrameCommandContext(frame);
                    RunCommand(*entry, context);
                };
            } else {
                handler = OnActiveImage(frame, [&frame, entry, dialog](Image& image) {
                    CommandValues values;
                    if (dialog && !dialog(frame, image, values)) return;
                    CommandContext context = CommandContext::Of(&image, &FrameClipboardState());
                    RunCommand(*entry, context, values);
                });
            }
            add(e.id, std::move(handler),
                [&frame, entry] { return CommandEnabled(*entry, FrameCommandContext(frame)); });
        }
    }
}

}  // namespace zelvo
