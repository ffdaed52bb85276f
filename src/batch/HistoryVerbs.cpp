// History commands: `history undo|step-backward|step-forward|goto ROW|delete`.
#include "history/HistoryCommands.h"

#include "batch/BatchRunner.h"
#include "batch/DocumentVerbs.h"
#include "batch/Script.h"
#include "batch/TableVerbs.h"

namespace zelvo {

namespace {

CommandResult History(BatchSession& s, const std::vector<std::string>& args) {
    if (args.empty())
        return CommandResult::Script(
            "history takes undo|step-backward|step-forward|goto ROW|delete");
    const std::string& what = args[0];
    if ((what == "goto") != (args.size() == 2) || args.size() > 2)
        return CommandResult::Script(what == "goto" ? "history goto takes ROW"
                                                    : "history " + what + " takes no arguments");
    std::optional<int> row;
    if (what == "goto") {
        row = ParseInt(args[1]);
        if (!row) return CommandResult::Script("history goto: ROW must be a whole number");
    }
    Image* image = Documents(s).active;
    if (!image) return CommandResult::Fail("no open document");
    HistoryManager& h = image->History();

    // A disabled menu command does nothing; a script asking for it has gone wrong.
    const std::string name = "history " + what;
    if (what == "undo" || what == "step-backward" || what == "step-forward") {
        // As every menu command: a stroke or gesture under way ends first, then the move.
        image->EndToolInteraction();
        const CommandEntry* entry = FindCommandByVerb(name);
        if (auto refused = Refused(s, entry, name)) return *refused;
        RunVerb(s, *entry);
        return CommandResult::Ok();
    }
    // The History palette takes no click while the mouse is busy with a tool.
    if (h.Host().ToolBusy()) return CommandResult::Fail(name + ": a tool is busy");
    if (what == "goto") {
        if (*row < 0 || *row >= HistoryPalette::RowCount(h))
            return CommandResult::Fail("history goto: there is no row " + args[1]);
        h.GoToState(*row, 1);
    } else {
        if (h.StateCount() == 0) return CommandResult::Fail(name + ": the command is disabled");
        h.DeleteCurrentState();
    }
    return CommandResult::Ok();
}

}  // namespace

void RegisterHistoryCommands(BatchRunner& runner) {
    runner.Register("history", History,
                    OneOf({"undo", "step-backward", "step-forward", "goto", "delete"}));
}

}  // namespace zelvo
