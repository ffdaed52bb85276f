#include "batch/TableVerbs.h"

#include "batch/DocumentVerbs.h"
#include "batch/ToolVerbs.h"
#include "clipboard/ClipboardCommands.h"

namespace zelvo {

CommandContext VerbContext(BatchSession& s) {
    CommandContext c =
        CommandContext::Of(Documents(s).active, &s.State<ClipboardState>("clipboard"));
    // As in the program: a tool that stays busy through commands (an open crop frame) keeps
    // the commands that need it idle disabled. A busy tool means the tools are set up.
    if (c.toolBusy && s.state.count("tools"))
        c.toolStaysBusy = Tools(s).controller.BusyThroughCommands();
    return c;
}

std::optional<CommandResult> Refused(BatchSession& s, const CommandEntry* entry,
                                     const std::string& name) {
    if (!entry) return CommandResult::Fail(name + ": not in the command tables");
    if (entry->needsDocument && !Documents(s).active)
        return CommandResult::Fail("no open document");
    if (!CommandEnabled(*entry, VerbContext(s)))
        return CommandResult::Fail(name + ": the command is disabled");
    return std::nullopt;
}

int RunVerb(BatchSession& s, const CommandEntry& entry, const CommandValues& values) {
    CommandContext context = VerbContext(s);
    return RunCommand(entry, context, values);
}

}  // namespace zelvo
