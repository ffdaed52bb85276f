#include "batch/TableVerbs.h"

#include "batch/DocumentVerbs.h"
#include "clipboard/ClipboardCommands.h"

namespace zelvo {

CommandContext VerbContext(BatchSession& s) {
    return CommandContext::Of(Documents(s).active, &s.State<ClipboardState>("clipboard"));
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
