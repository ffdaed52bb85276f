#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <regex>
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

// Every subcommand the command tables of docs/batch.md list is known before the run and by its
// handler; a misspelled one stops the script before its first line has run.
TEST(BatchRunner, SubcommandsAreCheckedBeforeAnythingRuns) {
    std::ostringstream out, err;
    BatchRunner runner(out, err);
    RegisterAllCommands(runner);
    std::ifstream doc(ZELVO_DOCS_DIR "/batch.md");
    ASSERT_TRUE(doc);
    const std::regex row(R"(^\| `([a-z-]+) ([a-z0-9-]+(\\\|[a-z0-9-]+)*))");
    // Families whose handlers touch only the document, so each word can be run.
    const std::vector<std::string> runnable = {"adjust", "filter", "history", "image",
                                               "layer",  "select", "edit",    "transform"};
    int checked = 0;
    for (std::string line; std::getline(doc, line);) {
        std::smatch m;
        if (!std::regex_search(line, m, row)) continue;
        const std::string family = m[1];
        const auto* knows = runner.Subcommands(family);
        if (!knows) continue;
        std::string words = m[2];
        for (size_t at = 0; at != std::string::npos;) {
            const size_t bar = words.find("\\|", at);
            const std::string word = words.substr(at, bar == std::string::npos ? bar : bar - at);
            at = bar == std::string::npos ? bar : bar + 2;
            SCOPED_TRACE(family + " " + word);
            EXPECT_TRUE((*knows)(word));
            ++checked;
            if (std::find(runnable.begin(), runnable.end(), family) == runnable.end()) continue;
            const ScriptRun r = RunScript("new 8 8\n" + family + " " + word + "\n");
            EXPECT_EQ(r.err.find("unknown"), std::string::npos) << r.err;
        }
    }
    EXPECT_GT(checked, 50);

    test::TempDir dir;
    const std::string early = dir.File("early.png");
    const ScriptRun typo = RunScript("new 8 8\nsave \"" + early + "\"\nadjust invrt\n");
    EXPECT_EQ(typo.status, 2);
    EXPECT_EQ(typo.err, "line 3: unknown adjust command 'invrt'\n");
    EXPECT_FALSE(std::ifstream(early)) << "the script ran before its error was found";
}

// Work a tool has open keeps New, Open and a marquee out, or lands first; values a control
// would quietly change, and answers that name another button, are not guessed at.
TEST(BatchRunner, OpenToolWorkAndOddValuesAreNotGuessedAt) {
    const std::string cropFrame = "new 50 50\ntool crop\ndrag 5,5 30,30\n";
    const struct {
        std::string script;
        int status;
        const char* seen;  // in the output or the error stream
    } rows[] = {
        {cropFrame + "new 40 40\n", 1, "line 4: new: a tool is busy"},
        {cropFrame + "open nowhere.png\n", 1, "line 4: open: a tool is busy"},
        {cropFrame + "select rect 0 0 10 10\n", 1, "line 4: select rect: a tool is busy"},
        // A stroke still held lands before the marquee.
        {"new 50 50\ntool brush\npress 5,5\nmove 40,40\nselect rect 0 0 10 10\ninfo\n", 0,
         "history 2 \"Brush Tool\"\nhistory 3 \"Rectangular Select\""},
        {"new 50 50\nview zoom 9\n", 1, "view zoom: Z must lie in 0.05..8"},
        {"new 50 50\nview zoom 1 scroll -5 7\n", 1, "the scroll cannot be negative"},
        {"new 50 50\ntool crop width=1e3\n", 2, "tool crop: width must be a number"},
        {"new 50 50\nadjust curves\n", 2, "line 2: adjust curves takes"},
        {"new 50 50\nfilter add-noise 10 seed=4294967295\ninfo\n", 0, "\"Add Noise\""},
        // "yes" to an OK/Cancel question is its OK: the state goes.
        {"new 20 10\nlayer new\nanswer ok\nhistory delete\ninfo\n", 0,
         "history 1 \"New Image\" shown\n"},
        {"new 20 10\nlayer new\nanswer cancel\nclose\n", 1,
         "close: cancelled; the document stays open"},
        {"new 20 10\ntool text font=\"DejaVu Sans\"\ninfo tool\n", 0,
         "options font=\"DejaVu Sans\" size=60"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.script);
        const ScriptRun r = RunScript(row.script);
        EXPECT_EQ(r.status, row.status) << r.err;
        EXPECT_NE((r.out + r.err).find(row.seen), std::string::npos) << r.out << r.err;
    }
    // `text` takes what the options bar shows, as a click of the text tool does.
    const std::string drawn = "\ntext 10 10 \"H\"\nlayer rasterize\ninfo\n";
    EXPECT_EQ(
        RunScript("new 400 300\ntool text size=150 vertical=1" + drawn).out,
        RunScript("new 400 300\ntext 10 10 \"H\" size=150 vertical\nlayer rasterize\ninfo\n").out);
    EXPECT_NE(RunScript("new 400 300\ntool text size=150" + drawn).out,
              RunScript("new 400 300" + drawn).out);
}

}  // namespace zelvo
