// Selection and edit commands: `select …` (the Select menu, the marquee shapes and a dump of
// the mask) and `edit …` (Clear, Draw Border and the clipboard), running the same engine code
// as the menus, dialogs and selection tools.
#include <algorithm>
#include <fstream>
#include <string>
#include <vector>

#include "batch/BatchRunner.h"
#include "batch/DocumentVerbs.h"
#include "batch/Script.h"
#include "batch/TableVerbs.h"
#include "batch/ToolVerbs.h"
#include "core/Limits.h"
#include "platform/Clipboard.h"
#include "selection/SelectionDialogs.h"
#include "selection/SelectionMask.h"
#include "selection/SelectionShape.h"
#include "tools/TextTool.h"

namespace zelvo {

namespace {

using Args = std::vector<std::string>;

std::optional<CombineMode> ParseMode(const std::string& word) {
    if (word == "new") return CombineMode::New;
    if (word == "add") return CombineMode::Add;
    if (word == "subtract") return CombineMode::Subtract;
    if (word == "intersect") return CombineMode::Intersect;
    return std::nullopt;
}

// The selection mask's rectangle as a binary PGM, maxval 100, with "# L T R B" after the magic.
CommandResult Dump(Image& img, const std::string& path) {
    const LayerPtr mask = img.Layers().Selection();
    if (!mask) return CommandResult::Fail("select dump: there is no selection");
    const Rect r = mask->Bounds();
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) return CommandResult::Fail("select dump: cannot write " + path);
    out << "P5\n# " << r.left << " " << r.top << " " << r.right << " " << r.bottom << "\n"
        << r.Width() << " " << r.Height() << "\n100\n";
    for (int32_t cy = r.top; cy < r.bottom; ++cy) {
        const uint8_t* row = MaskRow(*mask, cy);
        if (!row) return CommandResult::Fail("select dump: the mask cannot be read");
        out.write(reinterpret_cast<const char*>(row), r.Width());
    }
    mask->ReleaseRows();
    out.close();
    if (!out) return CommandResult::Fail("select dump: cannot write " + path);
    return CommandResult::Ok();
}

CommandResult Shape(Image& img, const Args& args) {
    const std::string& what = args[0];
    Args rest(args.begin() + 1, args.end());
    CombineMode mode = CombineMode::New;
    if (!rest.empty() && ParseMode(rest.back())) {
        mode = *ParseMode(rest.back());
        rest.pop_back();
    }
    HistoryManager& h = img.History();
    if (what == "polygon") {
        if (rest.size() < 3)
            return CommandResult::Script("select polygon takes X,Y X,Y X,Y … [MODE]");
        std::vector<Point> points;
        for (const std::string& w : rest) {
            auto p = ParsePoint(w);
            if (!p) return CommandResult::Script("select polygon: '" + w + "' is not X,Y");
            points.push_back({p->first, p->second});
        }
        PolygonSelect(h, points, mode, "Polygonal Select");
        return CommandResult::Ok();
    }
    if (rest.size() != 4) return CommandResult::Script("select " + what + " takes L T R B [MODE]");
    int v[4];
    for (int i = 0; i < 4; ++i) {
        auto n = ParseInt(rest[size_t(i)]);
        if (!n) return CommandResult::Script("select " + what + ": L T R B must be whole numbers");
        v[i] = *n;
    }
    // Corners in any order, as a drag gives them, through the marquees' own ending.
    MarqueeSelect(h, {v[0], v[1]}, {v[2], v[3]}, what == "ellipse", mode);
    return CommandResult::Ok();
}

CommandResult Select(BatchSession& s, const Args& args) {
    if (args.empty()) return CommandResult::Script("select takes a subcommand");
    const std::string& what = args[0];
    static const std::vector<std::string> plain = {"all", "none", "reselect", "inverse", "layer"};
    const bool isPlain = std::find(plain.begin(), plain.end(), what) != plain.end();
    const bool isShape = what == "rect" || what == "ellipse" || what == "polygon";
    const bool isValue = what == "feather" || what == "expand" || what == "contract";
    if (isPlain && args.size() != 1)
        return CommandResult::Script("select " + what + " takes no arguments");
    if (what == "dump" && args.size() != 2) return CommandResult::Script("select dump takes PATH");
    std::optional<int> value;
    if (isValue) {
        if (args.size() != 2) return CommandResult::Script("select " + what + " takes a number");
        value = ParseInt(args[1]);
        if (!value)
            return CommandResult::Script("select " + what + ": the value must be a whole number");
    }
    Image* img = Documents(s).active;
    if (!img) return CommandResult::Fail("no open document");
    if (isShape) {
        // A marquee is a tool's gesture: the one under way lands first.
        if (!EndedToolWork(*img)) return CommandResult::Fail("select " + what + ": a tool is busy");
        return Shape(*img, args);
    }
    if (what == "dump") return Dump(*img, args[1]);

    // The Select menu's commands, the values as their dialogs take them.
    const std::string name = "select " + what;
    const CommandEntry* entry = FindCommandByVerb(name);
    if (auto refused = Refused(s, entry, name)) return *refused;
    CommandValues values;
    if (what == "feather") {
        FeatherDialogModel dialog;
        dialog.radius = *value;
        const auto radius = dialog.Ok();
        if (!radius) return CommandResult::Fail();
        values = {*radius};
    } else if (isValue) {
        ExpandContractDialogModel dialog(what == "contract");
        dialog.pixels = *value;
        const auto pixels = dialog.Ok();
        if (!pixels) return CommandResult::Fail();
        values = {*pixels};
    }
    RunVerb(s, *entry, values);
    return CommandResult::Ok();
}

// Cut, Copy and Paste while a text is edited act on its text, as the edit box's do: the script
// has no part of it selected, so Copy and Cut take it whole and Paste types at its end.
CommandResult EditText(TextSessionInfo& text, const std::string& what) {
    if (what == "paste") {
        const std::optional<std::string> offered = AppClipboard().Text();
        if (!offered) return CommandResult::Fail("edit paste: the clipboard holds no text");
        std::string typed;
        for (char c : *offered) {
            if (c == '\r') continue;
            if (c == '\n') typed += '\r';
            typed += c;
        }
        if (!text.Type(typed))
            return CommandResult::Fail("edit paste: " + std::string(kTextTooLongMessage));
        return CommandResult::Ok();
    }
    std::string plain;
    for (char c : text.Text())
        if (c != '\r') plain += c;
    if (!AppClipboard().SetText(plain))
        return CommandResult::Fail("edit " + what + ": the clipboard cannot be opened");
    if (what == "cut") text.SetText("");
    return CommandResult::Ok();
}

CommandResult Edit(BatchSession& s, const Args& args) {
    if (args.empty()) return CommandResult::Script("edit takes a subcommand");
    const std::string& what = args[0];
    if (what == "border" && args.size() != 4)
        return CommandResult::Script("edit border takes W #RRGGBB OPACITY");
    if (what != "border" && args.size() != 1)
        return CommandResult::Script("edit " + what + " takes no arguments");
    std::optional<int> width, opacity;
    std::optional<unsigned> color;
    if (what == "border") {
        width = ParseInt(args[1]);
        color = ParseColor(args[2]);
        opacity = ParseInt(args[3]);
        if (!width || !opacity)
            return CommandResult::Script("edit border: W and OPACITY must be whole numbers");
        if (!color) return CommandResult::Script("edit border: the colour is #RRGGBB");
    }
    TextSessionInfo* text = Tools(s).controller.TextSession();
    if ((what == "copy" || what == "cut" || what == "paste") && text->EditImage() &&
        text->EditImage() == Documents(s).active)
        return EditText(*text, what);
    const std::string name = "edit " + what;
    const CommandEntry* entry = FindCommandByVerb(name);
    if (auto refused = Refused(s, entry, name)) return *refused;
    CommandValues values;
    if (what == "border") {
        // The swatch opens on the foreground colour, and the colour drawn with becomes it.
        ColorPair& pair = Tools(s).controller.Colors();
        DrawBorderDialogModel dialog(pair.Foreground());
        dialog.width = *width;
        dialog.color = ColorRef(*color);
        dialog.opacity = *opacity;
        const auto chosen = dialog.Ok();
        if (!chosen) return CommandResult::Fail();
        pair.SetForeground(chosen->color);
        values = {chosen->width, int32_t(chosen->color), chosen->opacity};
    }
    const int changed = RunVerb(s, *entry, values);
    if (what == "paste" && changed != 1) return CommandResult::Fail();
    return CommandResult::Ok();
}

}  // namespace

void RegisterSelectionCommands(BatchRunner& runner) {
    runner.Register("select", Select,
                    OneOf({"all", "none", "reselect", "inverse", "layer", "rect", "ellipse",
                           "polygon", "feather", "expand", "contract", "dump"}));
    runner.Register("edit", Edit,
                    OneOf({"clear", "border", "copy", "cut", "paste", "clean-clipboard"}));
}

}  // namespace zelvo
