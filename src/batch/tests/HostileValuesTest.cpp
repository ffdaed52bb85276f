// Scripts that push the program to its edges: a scratch disk that fills up before a command,
// and numbers at the ends of what a script may write. Every command either works or fails with
// a message; none reports success having done nothing, and no arithmetic overflows (the
// sanitizers stop the test if any does).
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "batch/BatchRunner.h"
#include "core/Limits.h"
#include "platform/Disk.h"
#include "testsupport/TempDir.h"

namespace zelvo {
namespace {

constexpr const char* kDiskMessage = "not enough disk space!";
constexpr const char* kInternalError = "\xE7\xA8\x8B\xE5\xBA\x8F\xE5\x86\x85\xE9\x83\xA8";

struct ScriptResult {
    int status = -1;
    std::string err;
};

// Runs `script` with a disk of plenty of room that the command `fill-disk` fills up.
ScriptResult RunWithDisk(const std::string& script, const test::TempDir& dir) {
    FakeDiskService disks;
    disks.otherAvailable = uint64_t(64) << 30;
    DiskService& previous = AppDisks();
    SetAppDisks(&disks);
    std::ostringstream out, err;
    BatchRunner runner(out, err);
    RegisterAllCommands(runner);
    runner.Register("fill-disk", [&disks](BatchSession&, const std::vector<std::string>&) {
        disks.otherAvailable = 0;
        return CommandResult::Ok();
    });
    std::istringstream in(script);
    ScriptResult r;
    r.status = runner.Run(in, dir.File("scratch"));
    r.err = err.str();
    SetAppDisks(&previous);
    return r;
}

class HostileValuesTest : public testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(mkdir(dir.File("scratch").c_str(), 0700), 0); }
    test::TempDir dir;
};

TEST_F(HostileValuesTest, EveryCommandNeedingScratchSpaceFailsWithTheDiskMessage) {
    const std::string zld = dir.File("kept.zld");
    const std::string setup =
        "new 300 200 px\ntext 10 10 \"Hi\"\nlayer select 1\nsave \"" + zld + "\"\n";
    const std::vector<std::string> commands = {
        "filter reduce-noise small",
        "filter reduce-noise medium",
        "filter reduce-noise big",
        "filter reduce-noise gray",
        "adjust saturation 40",
        "adjust color-balance 20 -10 5",
        "adjust levels 10 100 240 0 255",
        "adjust invert",
        "filter blur 3",
        "layer duplicate",
        "image rotate cw",
        "image size 600 400",
        "new 400 400 px",
        "close\nopen \"" + zld + "\"",
    };
    for (const std::string& command : commands) {
        SCOPED_TRACE(command);
        const ScriptResult r = RunWithDisk(setup + "fill-disk\n" + command + "\n", dir);
        EXPECT_EQ(r.status, 1) << r.err;
        EXPECT_NE(r.err.find(kDiskMessage), std::string::npos) << r.err;
        EXPECT_EQ(r.err.find(kInternalError), std::string::npos) << r.err;
        EXPECT_EQ(r.err.find("This file should not be opened!"), std::string::npos) << r.err;
    }
}

// Numbers at the ends of what each argument can be: the largest coordinates a script may give,
// and past them, sizes of zero, one and past the limits. Each script either runs (0), is
// refused with a message (1) or is a script error (2).
TEST_F(HostileValuesTest, ExtremeValuesAreRefusedOrHandledWithoutOverflow) {
    const std::string big = "16777216", past = "16777217", low = "-16777216", huge = "2147483647",
                      lowest = "-2147483648";
    struct Case {
        std::string command;
        std::vector<int> allowed;  // exit statuses this value may give
    };
    const std::vector<Case> cases = {
        {"new 0 0 px", {1, 2}},
        {"new 1 " + big + " px", {1}},
        {"new " + huge + " " + huge + " px", {1, 2}},
        {"new 1e300 1e300 cm 300 ppi", {1, 2}},
        {"new 10 10 cm " + huge + " ppi", {1, 2}},
        {"text " + big + " " + low + " \"far\"", {0}},
        {"text " + past + " 0 \"far\"", {2}},
        {"text " + lowest + " " + lowest + " \"far\"", {2}},
        {"text 0 0 \"x\" size=" + lowest, {2}},
        {"curve " + big + "," + low + " " + low + "," + big + " " + big + "," + big, {0}},
        {"curve " + huge + ",0 0," + lowest, {2}},
        {"shape 1 " + big + " " + low, {0, 1}},
        {"shape 1 " + huge + " " + huge, {2}},
        {"select rect " + low + " " + low + " " + big + " " + big, {0}},
        {"select rect " + lowest + " " + lowest + " " + huge + " " + huge, {2}},
        {"select ellipse " + low + " " + low + " " + big + " " + big, {0}},
        {"select polygon " + low + "," + low + " " + big + ",0 0," + big, {0}},
        {"select feather " + big, {0, 1}},
        {"select expand " + big, {0, 1}},
        {"select expand " + low, {0, 1, 2}},
        {"edit border " + big + " #000000 100", {0, 1}},
        {"layer opacity " + huge, {1, 2}},
        {"layer opacity " + lowest, {1, 2}},
        {"image size " + big + " " + big, {1}},
        {"image size 0 0", {1, 2}},
        {"image canvas " + big + " 1", {1}},
        {"image canvas 0 0", {1, 2}},
        {"image crop " + low + " " + low + " " + big + " " + big + " 10 10", {0, 1}},
        {"image crop 0 0 10 10 " + big + " " + big, {1}},
        {"image crop " + lowest + " 0 " + huge + " 10 10 10", {2}},
        {"image print-size " + big, {0, 1}},
        {"filter blur " + big, {1}},
        {"filter mosaic " + huge, {1, 2}},
        {"filter sharpen-more " + huge + " " + huge, {1, 2}},
        {"filter add-noise " + huge, {1, 2}},
        {"adjust brightness-contrast " + lowest + " " + huge, {1, 2}},
        {"adjust curves 0," + lowest + " " + huge + ",0", {1, 2}},
        {"history goto " + huge, {1, 2}},
        {"activate " + huge, {1, 2}},
        {"layer select " + lowest, {1, 2}},
        // A transform past 20 million pixels is cut to them, and the gesture did its work.
        {"layer duplicate\ntransform free\ndrag 63,47 5000,4100\nkey Enter", {0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.command);
        const ScriptResult r = RunWithDisk("new 64 48 px\n" + c.command + "\n", dir);
        EXPECT_NE(std::find(c.allowed.begin(), c.allowed.end(), r.status), c.allowed.end())
            << "exit " << r.status << "\n"
            << r.err;
        EXPECT_EQ(r.err.find(kInternalError), std::string::npos) << r.err;
        // A refusal says why.
        if (r.status != 0) {
            EXPECT_FALSE(r.err.empty());
        }
    }
}

// The longest text a text layer holds saves and opens again; one byte more is refused where it
// comes in, whether written whole or typed. A curve's anchors likewise.
TEST_F(HostileValuesTest, TextAndCurveLayersHoldWhatTheLayeredFileReadsBack) {
    const std::string longest(kMaxTextBytes, 'x');
    const std::string file = dir.File("long.zld");
    struct Case {
        std::string script;
        int status;
    };
    const std::vector<Case> cases = {
        {"text 0 0 \"" + longest + "\"\nsave \"" + file + "\"\nopen \"" + file + "\"\n", 0},
        {"text 0 0 \"" + longest + "y\"\n", 1},
        {"tool text\nclick 1,1\ntype \"" + longest + "\"\ntype \"y\"\n", 1},
    };
    for (const Case& c : cases) {
        const ScriptResult r = RunWithDisk("new 64 48 px\n" + c.script, dir);
        EXPECT_EQ(r.status, c.status) << r.err.substr(0, 200);
        if (c.status != 0) {
            EXPECT_NE(r.err.find(kTextTooLongMessage), std::string::npos);
        }
    }
    // So does a curve: one anchor past what it holds is refused before anything is drawn.
    std::string points;
    for (size_t i = 0; i <= kMaxCurveAnchors; ++i)
        points.append(" ").append(std::to_string(i % 64)).append(",1");
    const ScriptResult r = RunWithDisk("new 64 48 px\ncurve" + points + "\ninfo\n", dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find(kCurveTooLongMessage), std::string::npos);
}

}  // namespace
}  // namespace zelvo
