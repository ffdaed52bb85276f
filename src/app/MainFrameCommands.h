// The menu commands that the command tables run on the active document. The frame registers a
// handler and an enabling condition per table entry; the rule and the engine call come from
// the table, and a command taking values gets them from its dialog here (one without a dialog
// yet stays disabled). A handler ends with the frame's DocumentChanged.
#pragma once

#include <functional>

#include "commands/CommandTable.h"

namespace zelvo {

class CMainFrame;
class Image;

using AddCommand =
    std::function<void(int id, std::function<void()> handler, std::function<bool()> enabled)>;

// The dialog of a command taking values: shows it over `frame` for `image` and fills `values`;
// false when it was cancelled.
using CommandDialog = bool (*)(CMainFrame& frame, Image& image, CommandValues& values);
struct DialogCommand {
    int id;
    CommandDialog dialog;
};
// The commands whose values come from a dialog of the program.
const std::vector<DialogCommand>& DialogCommands();

void RegisterTableCommands(CMainFrame& frame, const AddCommand& add);

// The context the active document gives the tables (its copy rectangle kept for the frame).
CommandContext FrameCommandContext(CMainFrame& frame);

}  // namespace zelvo
