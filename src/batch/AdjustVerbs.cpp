// Adjustment and filter commands: `adjust …` and `filter …`, each as if its dialog were
// closed with OK at the given values, through the same engine code as the menus.
#include <climits>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "adjust/Adjustments.h"
#include "adjust/CurvesModel.h"
#include "batch/BatchRunner.h"
#include "batch/Script.h"
#include "batch/TableVerbs.h"

namespace zelvo {

namespace {

using Args = std::vector<std::string>;

// Whole numbers for every word of args[1..]; an error text otherwise. Values outside lo..hi
// are set aside in `range` (a command failure, not a script error).
std::string Numbers(const Args& args, size_t count, int lo, int hi, std::vector<int>& out,
                    std::string* range = nullptr) {
    const std::string name = args[0];
    if (args.size() != count + 1)
        return name + " takes " + std::to_string(count) + " number" + (count == 1 ? "" : "s");
    for (size_t i = 1; i <= count; ++i) {
        const auto v = ParseInt(args[i]);
        if (!v) return name + ": '" + args[i] + "' is not a whole number";
        if ((*v < lo || *v > hi) && range && range->empty())
            *range = name + ": " + args[i] + " is outside " + std::to_string(lo) + ".." +
                     std::to_string(hi);
        out.push_back(*v);
    }
    return {};
}

// The command ran (1) or applied nothing by its "OK without a change" rule (0): both succeed.
CommandResult Ran(int) {
    return CommandResult::Ok();
}

// The words of `adjust curves`: anchors X,Y, then after the word `free` the points of the
// strokes drawn by hand with "FreeLine" on, `|` starting another stroke. A script error text,
// or empty.
std::string CurveWords(const Args& args, std::vector<Point>& anchors,
                       std::vector<std::vector<Point>>& strokes, bool& freeLine) {
    for (size_t i = 1; i < args.size(); ++i) {
        if (args[i] == "free" && !freeLine) {
            freeLine = true;
            strokes.emplace_back();
            continue;
        }
        if (args[i] == "|" && freeLine) {
            if (!strokes.back().empty()) strokes.emplace_back();
            continue;
        }
        const auto p = ParsePoint(args[i]);
        if (!p) return "adjust curves: '" + args[i] + "' is not X,Y";
        (freeLine ? strokes.back() : anchors).push_back({p->first, p->second});
    }
    return {};
}

// The curve the dialog would show: the anchors' curve, then with "FreeLine" on each stroke
// drawn from its first point through the others. Why it is refused, or empty.
std::string BuildCurve(const std::vector<Point>& anchors,
                       const std::vector<std::vector<Point>>& strokes, bool freeLine,
                       CurvesModel& model) {
    if (!model.SetAnchors(anchors))
        return "anchors must lie in 1..180 with x increasing, at least two";
    if (!freeLine) return {};
    model.SetFreeLine(true);
    for (const std::vector<Point>& stroke : strokes) {
        for (const Point& p : stroke)
            if (p.x < 1 || p.x > CurvesModel::kSize || p.y < 1 || p.y > CurvesModel::kSize)
                return "free-line points must lie in 1..180";
        for (size_t k = 0; k < stroke.size(); ++k) {
            const Point from = stroke[k == 0 ? 0 : k - 1];
            model.DrawFree(from.x, from.y, stroke[k].x, stroke[k].y);
        }
    }
    return {};
}

CommandResult Adjust(BatchSession& s, const Args& args) {
    if (args.empty()) return CommandResult::Script("adjust needs a command");
    const std::string& what = args[0];
    std::vector<int> v;
    std::string err, range;
    std::vector<Point> anchors;
    std::vector<std::vector<Point>> strokes;
    bool freeLine = false;
    if (what == "invert" || what == "desaturate") {
        if (args.size() != 1) err = "adjust " + what + " takes no arguments";
    } else if (what == "brightness-contrast") {
        err = Numbers(args, 2, -100, 100, v, &range);
    } else if (what == "saturation") {
        err = Numbers(args, 1, -100, 100, v, &range);
    } else if (what == "color-balance") {
        err = Numbers(args, 3, -100, 100, v, &range);
    } else if (what == "levels") {
        err = Numbers(args, 5, 0, 255, v, &range);
        if (err.empty() && range.empty() && !(v[0] < v[1] && v[1] < v[2]))
            return CommandResult::Fail(
                "adjust levels: the input levels must run black < middle < white");
    } else if (what == "shadow-highlight") {
        // Shadows and Highlights 0..100, Radius 1..256: each value against its own range.
        err = Numbers(args, 3, INT_MIN, INT_MAX, v);
        const int lo[] = {0, 0, 1}, hi[] = {100, 100, 256};
        for (size_t i = 0; err.empty() && range.empty() && i < 3; ++i)
            if (v[i] < lo[i] || v[i] > hi[i])
                range = "shadow-highlight: " + args[i + 1] + " is outside " +
                        std::to_string(lo[i]) + ".." + std::to_string(hi[i]);
    } else if (what == "curves") {
        err = args.size() < 2 ? "adjust curves takes X,Y X,Y … [free X,Y X,Y … [| X,Y …]]"
                              : CurveWords(args, anchors, strokes, freeLine);
    } else {
        return CommandResult::Script("unknown adjust command '" + what + "'");
    }
    if (!err.empty()) return CommandResult::Script(err);
    if (!range.empty()) return CommandResult::Fail("adjust " + range);
    const CommandEntry* entry = FindCommandByVerb("adjust " + what);
    if (auto refused = Refused(s, entry, "adjust " + what)) return *refused;
    if (what == "invert" || what == "desaturate" || what == "brightness-contrast" ||
        what == "shadow-highlight")
        return CommandResult::From(RunVerb(s, *entry, v));
    if (what != "curves") return Ran(RunVerb(s, *entry, v));
    CurvesModel model;
    if (const std::string why = BuildCurve(anchors, strokes, freeLine, model); !why.empty())
        return CommandResult::Fail("adjust curves: " + why);
    if (!model.Changed()) return CommandResult::Ok();
    const Table256 table = model.TransferTable();
    return CommandResult::From(RunVerb(s, *entry, CommandValues(table.begin(), table.end())));
}

CommandResult Filter(BatchSession& s, const Args& args) {
    if (args.empty()) return CommandResult::Script("filter needs a command");
    const std::string& what = args[0];
    std::vector<int> v;
    std::string err, range;
    bool mono = false;
    std::optional<unsigned> seed;
    if (what == "blur") {
        err = Numbers(args, 1, 1, 110, v, &range);
    } else if (what == "sharpen") {
        if (args.size() != 1) err = "filter sharpen takes no arguments";
    } else if (what == "sharpen-more") {
        err = Numbers(args, 2, 1, 100, v, &range);
    } else if (what == "mosaic") {
        err = Numbers(args, 1, 2, 200, v, &range);
    } else if (what == "add-noise") {
        if (args.size() < 2 || args.size() > 4) {
            err = "filter add-noise takes AMOUNT [mono] [seed=N]";
        } else {
            err = Numbers(Args(args.begin(), args.begin() + 2), 1, 0, 100, v, &range);
            for (size_t i = 2; i < args.size() && err.empty(); ++i) {
                if (args[i] == "mono") {
                    mono = true;
                } else if (auto n = OptionValue(args[i], "seed")) {
                    const auto k = ParseUnsigned32(*n);
                    if (!k)
                        err = "filter add-noise: seed must be a whole number 0..4294967295";
                    else
                        seed = *k;
                } else {
                    err = "filter add-noise: unknown option '" + args[i] + "'";
                }
            }
        }
    } else if (what == "reduce-noise") {
        const std::string k = args.size() == 2 ? args[1] : "";
        if (k != "small" && k != "medium" && k != "big" && k != "gray")
            err = "filter reduce-noise takes small, medium, big or gray";
    } else {
        return CommandResult::Script("unknown filter command '" + what + "'");
    }
    if (!err.empty()) return CommandResult::Script(err);
    if (!range.empty()) return CommandResult::Fail("filter " + range);
    // Each reducer is a menu item of its own.
    const std::string verb =
        what == "reduce-noise" ? "filter reduce-noise " + args[1] : "filter " + what;
    const CommandEntry* entry = FindCommandByVerb(verb);
    if (auto refused = Refused(s, entry, "filter " + what)) return *refused;
    if (what == "add-noise") {
        std::srand(seed ? *seed : unsigned(std::time(nullptr)));
        v.push_back(mono ? 1 : 0);
    }
    // No to the large-layer question cancels: the command did not fail.
    if (what == "reduce-noise") return Ran(RunVerb(s, *entry));
    const size_t shown = s.messages.Entries().size();
    if (RunVerb(s, *entry, v) == 1) return CommandResult::Ok();
    // A refusal has said why; a filter whose result lies wholly off the canvas says nothing.
    if (s.messages.Entries().size() > shown) return CommandResult::Fail();
    return CommandResult::Fail("filter " + what + ": no part of the result lies on the canvas");
}

}  // namespace

void RegisterAdjustCommands(BatchRunner& runner) {
    runner.Register("adjust", Adjust,
                    OneOf({"invert", "desaturate", "brightness-contrast", "saturation",
                           "color-balance", "levels", "shadow-highlight", "curves"}));
    runner.Register(
        "filter", Filter,
        OneOf({"blur", "sharpen", "sharpen-more", "mosaic", "add-noise", "reduce-noise"}));
}

}  // namespace zelvo
