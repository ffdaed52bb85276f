// How the verbs that stand for menu commands reach the command tables: the entry of a verb,
// the context of the active document, the refusal and the run, so that a script is refused
// exactly when the menu item is disabled.
#pragma once

#include <optional>
#include <string>

#include "batch/BatchRunner.h"
#include "commands/CommandTable.h"

namespace zelvo {

// The context of the session's active document (its copy rectangle kept for the whole run).
CommandContext VerbContext(BatchSession& s);
// Nothing when `entry` may run; else the failure: "no open document", or "NAME: the command is
// disabled". A null entry (a verb the tables lack) fails with a line saying so.
std::optional<CommandResult> Refused(BatchSession& s, const CommandEntry* entry,
                                     const std::string& name);
// Runs an entry Refused() let through; 1 when the document changed.
int RunVerb(BatchSession& s, const CommandEntry& entry, const CommandValues& values = {});

}  // namespace zelvo
