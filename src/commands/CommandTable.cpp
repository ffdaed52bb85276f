#include "commands/CommandTable.h"

#include "commands/Families.h"
#include "doc/Image.h"
#include "geometry/Geometry.h"
#include "selection/SelectionMask.h"

namespace zelvo {

namespace commands {

const Turn kTurns[5] = {
    {"Rotate 90 Clockwise", "cw", kRotateClockwise},
    {"Rotate 90 Counterclockwise", "ccw", kRotateCounterclockwise},
    {"Rotate 180", "180", kRotate180},
    {"Flip Horizontal", "flip-h", kFlipHorizontal},
    {"Flip Vertical", "flip-v", kFlipVertical},
};

}  // namespace commands

CommandContext CommandContext::Of(Image* image, ClipboardState* clipboard) {
    CommandContext c;
    c.image = image;
    c.toolBusy = image && image->History().Host().ToolBusy();
    c.clipboard = clipboard;
    return c;
}

HistoryManager* CommandContext::History() const {
    return image ? &image->History() : nullptr;
}

LayerPtr CommandContext::CurrentLayer() const {
    if (!image) return nullptr;
    LayerManager& lm = image->Layers();
    return lm.LayerAt(lm.CurrentIndex());
}

bool CommandContext::HasSelection() const {
    return image && zelvo::HasSelection(image->Layers());
}

const std::vector<CommandFamily>& CommandFamilies() {
    using namespace commands;
    static const std::vector<CommandFamily> families = {
        FileFamily(),   HistoryFamily(), EditFamily(), AdjustFamily(), ImageFamily(), LayerFamily(),
        SelectFamily(), FilterFamily(),  ViewFamily(), WindowFamily(), HelpFamily(),
    };
    return families;
}

const CommandEntry* FindCommand(int id) {
    if (id == 0) return nullptr;
    for (const CommandFamily& f : CommandFamilies())
        for (const CommandEntry& e : f.entries)
            if (e.id == id) return &e;
    return nullptr;
}

const CommandEntry* FindCommandByVerb(const std::string& verb) {
    if (verb.empty()) return nullptr;
    for (const CommandFamily& f : CommandFamilies())
        for (const CommandEntry& e : f.entries)
            if (e.verb == verb) return &e;
    return nullptr;
}

const CommandEntry* FindCommandByMenu(const std::string& menu, const std::string& text) {
    for (const CommandFamily& f : CommandFamilies())
        for (const CommandEntry& e : f.entries)
            if (!e.IsSeparator() && e.menu == menu && e.text == text) return &e;
    return nullptr;
}

bool CommandEnabled(const CommandEntry& entry, const CommandContext& context) {
    if (!entry.rule) return false;
    if (entry.needsDocument && (!context.image || !context.image->IsReady())) return false;
    if (entry.refusedWhileToolBusy && context.toolBusy) return false;
    return entry.rule(context);
}

int RunCommand(const CommandEntry& entry, CommandContext& context, const CommandValues& values) {
    if (!entry.run || !CommandEnabled(entry, context)) return 0;
    return entry.run(context, values);
}

}  // namespace zelvo
