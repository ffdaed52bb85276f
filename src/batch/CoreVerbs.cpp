// The commands every script can use whatever else is built: answers and expectations.
#include "batch/BatchRunner.h"

namespace zelvo {

namespace {

CommandResult Answer_(BatchSession& s, const std::vector<std::string>& args) {
    if (args.size() != 1) return CommandResult::Script("answer takes one of yes|no|ok|cancel");
    const std::string& a = args[0];
    if (a == "yes")
        s.messages.QueueAnswer(Answer::Yes);
    else if (a == "no")
        s.messages.QueueAnswer(Answer::No);
    else if (a == "ok")
        s.messages.QueueAnswer(Answer::Ok);
    else if (a == "cancel")
        s.messages.QueueAnswer(Answer::Cancel);
    else
        return CommandResult::Script("answer takes one of yes|no|ok|cancel, not '" + a + "'");
    return CommandResult::Ok();
}

CommandResult Expect(BatchSession& s, const std::vector<std::string>& args) {
    if (args.size() != 1) return CommandResult::Script("expect takes one quoted text");
    // Scripts write a line break inside the text as \n, as messages are printed.
    std::string want;
    for (size_t i = 0; i < args[0].size(); ++i) {
        if (args[0][i] == '\\' && i + 1 < args[0].size() && args[0][i + 1] == 'n') {
            want += '\n';
            ++i;
        } else {
            want += args[0][i];
        }
    }
    if (s.messages.Entries().empty())
        return CommandResult::Fail("expected \"" + args[0] + "\", but nothing was shown");
    if (s.messages.Last() != want)
        return CommandResult::Fail("expected \"" + args[0] + "\", but the last text shown was \"" +
                                   s.messages.Last() + "\"");
    return CommandResult::Ok();
}

}  // namespace

void RegisterCoreCommands(BatchRunner& runner) {
    runner.Register("answer", Answer_);
    runner.Register("expect", Expect);
}

void RegisterAllCommands(BatchRunner& runner) {
    RegisterCoreCommands(runner);
    RegisterDocumentCommands(runner);
    RegisterHistoryCommands(runner);
    RegisterTextCurveCommands(runner);
    RegisterSelectionCommands(runner);
    RegisterLayerCommands(runner);
    RegisterImageCommands(runner);
    RegisterAdjustCommands(runner);
    RegisterPrintCommands(runner);
    RegisterRecoveryCommands(runner);
    RegisterToolCommands(runner);
}

}  // namespace zelvo
