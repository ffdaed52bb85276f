// Crash recovery in scripts: `recover` rebuilds the documents a dead process left in its
// scratch file, `recover discard` lets them go, `recover list` only shows them.
#include <ostream>

#include "batch/BatchRunner.h"
#include "batch/DocumentVerbs.h"
#include "recovery/Recovery.h"
#include "workspace/Workspace.h"

namespace zelvo {

namespace {

CommandResult Recover(BatchSession& s, const std::vector<std::string>& args) {
    if (args.size() > 1) return CommandResult::Script("recover takes nothing, discard or list");
    const std::vector<RecoveryOffer> offers = FindRecoveryOffers(s.workspace);
    if (offers.empty()) {
        AppMessages().Show("There is no work to recover.");
        return CommandResult::Ok();
    }
    const std::string mode = args.empty() ? "" : args[0];
    if (mode == "list") {
        for (const RecoveryOffer& o : offers)
            for (const std::string& line : DescribeOffer(o))
                s.out << "recoverable: " << line << "\n";
        return CommandResult::Ok();
    }
    if (mode == "discard") {
        DiscardAll(offers);
        return CommandResult::Ok();
    }
    BatchDocuments& docs = Documents(s);
    RecoveryResult r = RecoverAll(s.workspace, offers,
                                  [&](std::unique_ptr<Image> image, const JournalDocument& d) {
                                      s.out << "recovered: " << image->Title() << " at step "
                                            << d.stateId << " \"" << d.stateName << "\"\n";
                                      docs.active = image.get();
                                      docs.open.push_back(std::move(image));
                                  });
    // Refusals have been told; the command itself did its work.
    (void)r;
    return CommandResult::Ok();
}

}  // namespace

void RegisterRecoveryCommands(BatchRunner& runner) {
    runner.Register("recover", Recover, OneOf({"discard", "list"}));
}

}  // namespace zelvo
