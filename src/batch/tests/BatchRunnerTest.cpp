#include <gtest/gtest.h>

#include <functional>
#include <sstream>

#include "batch/BatchRunner.h"
#include "testsupport/TempDir.h"

namespace zelvo {

namespace {

struct ScriptRun {
    int status = -1;
    std::string out, err;
};

ScriptRun RunScript(const std::string& script,
                    const std::function<void(BatchRunner&)>& extra = nullptr) {
    test::TempDir dir;
    std::ostringstream out, err;
    BatchRunner runner(out, err);
    RegisterAllCommands(runner);
    if (extra) extra(runner);
    std::istringstream in(script);
    ScriptRun r;
    r.status = runner.Run(in, dir.Path());
    r.out = out.str();
    r.err = err.str();
    return r;
}

// A command that shows a message and asks a question, to drive the runner's plumbing.
void AddProbe(BatchRunner& runner) {
    runner.Register("probe", [](BatchSession& s, const std::vector<std::string>& args) {
        AppMessages().Show("first line\nsecond");
        Answer a = AppMessages().Ask("Save?", Buttons::YesNoCancel);
        s.out << "answer " << int(a) << "\n";
        if (!args.empty() && args[0] == "fail") {
            AppMessages().Show("refused");
            return CommandResult::Fail();
        }
        return CommandResult::Ok();
    });
}

}  // namespace

TEST(BatchRunner, PrintsMessagesAndQuestionsAndUsesQueuedAnswers) {
    ScriptRun r =
        RunScript("# a comment with an \"unpaired quote\n  # indented\n\nanswer no\nprobe\nprobe\n",
                  AddProbe);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err,
              "message: first line\\nsecond\nquestion: Save?\n"
              "message: first line\\nsecond\nquestion: Save?\n");
    // the queued No, then the affirmative Yes
    EXPECT_EQ(r.out, "answer " + std::to_string(int(Answer::No)) + "\nanswer " +
                         std::to_string(int(Answer::Yes)) + "\n");
}

TEST(BatchRunner, ExpectComparesTheLastTextShown) {
    EXPECT_EQ(RunScript("probe\nexpect \"Save?\"\n", AddProbe).status, 0);
    ScriptRun bad = RunScript("probe\nexpect \"Other\"\nprobe\n", AddProbe);
    EXPECT_EQ(bad.status, 1);
    EXPECT_NE(bad.err.find("line 2: expected \"Other\""), std::string::npos);
    // the script stops at the failure
    EXPECT_EQ(bad.out, "answer " + std::to_string(int(Answer::Yes)) + "\n");
    EXPECT_EQ(RunScript("expect \"x\"\n").status, 1);
}

TEST(BatchRunner, ExpectReadsBackslashNAsALineBreak) {
    auto addShow = [](BatchRunner& runner) {
        runner.Register("show", [](BatchSession&, const std::vector<std::string>&) {
            AppMessages().Show("first line\nsecond");
            return CommandResult::Ok();
        });
    };
    EXPECT_EQ(RunScript("show\nexpect \"first line\\nsecond\"\n", addShow).status, 0);
    EXPECT_EQ(RunScript("show\nexpect \"first line second\"\n", addShow).status, 1);
}

TEST(BatchRunner, AFailedCommandStopsTheScriptWithStatusOne) {
    ScriptRun r = RunScript("probe fail\nprobe\n", AddProbe);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("message: refused\n"), std::string::npos);
    EXPECT_EQ(r.err.find("refused\nmessage"), std::string::npos);
}

TEST(BatchRunner, ScriptErrorsExitTwoWithTheLineNumber) {
    ScriptRun unknown = RunScript("answer yes\n\nfrobnicate 3\n");
    EXPECT_EQ(unknown.status, 2);
    EXPECT_EQ(unknown.err, "line 3: unknown command 'frobnicate'\n");

    ScriptRun badArg = RunScript("answer maybe\n");
    EXPECT_EQ(badArg.status, 2);
    EXPECT_EQ(badArg.err.rfind("line 1: ", 0), 0u);

    ScriptRun quote = RunScript("expect \"open\n");
    EXPECT_EQ(quote.status, 2);
    EXPECT_EQ(quote.err, "line 1: unterminated quote\n");

    // A word that is no number is a script error; a number out of its range fails the command,
    // naming that value's own range.
    const struct {
        const char* line;
        int status;
        const char* err;
    } rows[] = {
        {"image size 10 10 res=abc", 2, "line 2: image size: res must be a number\n"},
        {"image size 10 10 res=0", 1, "line 2: image size: the resolution must be 0.04 .. 10000\n"},
        {"adjust shadow-highlight 50 0 257", 1,
         "line 2: adjust shadow-highlight: 257 is outside 1..256\n"},
        {"adjust shadow-highlight 101 0 30", 1,
         "line 2: adjust shadow-highlight: 101 is outside 0..100\n"},
    };
    for (const auto& row : rows) {
        const ScriptRun r = RunScript(std::string("new 20 20\n") + row.line + "\n");
        EXPECT_EQ(r.status, row.status) << row.line;
        EXPECT_EQ(r.err, row.err) << row.line;
    }
}

TEST(BatchRunner, FailsWhenTheScratchStoreCannotBeOpened) {
    std::ostringstream out, err;
    BatchRunner runner(out, err);
    RegisterAllCommands(runner);
    std::istringstream in("answer yes\n");
    EXPECT_EQ(runner.Run(in, std::string("/nonexistent/zelvo/folder/")), 1);
    EXPECT_NE(err.str().find("message: temporary disk file fails to create, the program should "
                             "not start."),
              std::string::npos);
}

}  // namespace zelvo
