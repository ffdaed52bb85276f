// The verbs that stand for menu commands, walked from the command tables: each parses, and a
// busy tool refuses them as it disables the menu items.
#include <gtest/gtest.h>

#include <sstream>

#include "batch/BatchRunner.h"
#include "batch/DocumentVerbs.h"
#include "commands/CommandTable.h"
#include "testsupport/BusyToolHost.h"
#include "testsupport/TempDir.h"

namespace zelvo {
namespace {

struct ScriptRun {
    int status = -1;
    std::string err;
};

ScriptRun RunScript(const std::string& script) {
    static test::BusyToolHost busy;
    test::TempDir dir;
    std::ostringstream out, err;
    BatchRunner runner(out, err);
    RegisterAllCommands(runner);
    // Stands for a tool in the middle of a drag on the active document.
    runner.Register("busy", [](BatchSession& s, const std::vector<std::string>&) {
        Documents(s).active->History().SetHost(&busy);
        return CommandResult::Ok();
    });
    std::istringstream in(script);
    ScriptRun r;
    r.status = runner.Run(in, dir.Path());
    r.err = err.str();
    return r;
}

TEST(TableVerbs, EveryVerbOfTheTablesParses) {
    int walked = 0;
    for (const CommandFamily& family : CommandFamilies()) {
        for (const CommandEntry& e : family.entries) {
            if (e.verb.empty()) continue;
            SCOPED_TRACE(e.verb + " " + e.sample);
            const ScriptRun r = RunScript(e.verb + " " + e.sample + "\n");
            EXPECT_NE(r.status, BatchRunner::kScriptError) << r.err;
            // Without a document, a document command gets as far as asking for one.
            if (e.needsDocument) {
                EXPECT_EQ(r.err, "line 1: no open document\n");
            }
            ++walked;
        }
    }
    EXPECT_GT(walked, 50);
}

TEST(TableVerbs, ABusyToolRefusesTheCommandsTheMenuDisables) {
    const char* lines[] = {
        "adjust invert",    "adjust levels 0 127 255 0 255",
        "filter sharpen",   "filter blur 3",
        "layer new",        "select none",
        "select feather 2", "edit clear",
        "edit copy",        "edit border 1 #000000 100",
        "image rotate cw",  "image size 10 5",
        "transform flip-h",
    };
    // Idle, each runs on a new document with a selection.
    const std::string start = "new 20 10\nselect all\n";
    std::string all;
    for (const char* line : lines) all += start + line + "\n";
    const ScriptRun idle = RunScript(all);
    EXPECT_EQ(idle.status, BatchRunner::kDone) << idle.err;
    for (const char* line : lines) {
        SCOPED_TRACE(line);
        const ScriptRun busy = RunScript(start + "busy\n" + line + "\ninfo\n");
        EXPECT_EQ(busy.status, BatchRunner::kCommandFailed);
        // Refused at its own line, before it changed anything (info never ran).
        EXPECT_EQ(busy.err.rfind("line 4: ", 0), 0u) << busy.err;
        EXPECT_NE(busy.err.find(": the command is disabled\n"), std::string::npos) << busy.err;
    }
}

}  // namespace
}  // namespace zelvo
