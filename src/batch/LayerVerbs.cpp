// Layer commands: `layer …`, the Layer menu and the Layers palette's clicks and opacity, running
// the same engine code as the GUI.
#include <optional>
#include <string>
#include <vector>

#include "batch/BatchRunner.h"
#include "batch/DocumentVerbs.h"
#include "batch/Script.h"
#include "batch/TableVerbs.h"
#include "history/LayerOpacity.h"
#include "layerops/LayerStack.h"
#include "layerops/LinkGroups.h"

namespace zelvo {

namespace {

using Args = std::vector<std::string>;

// A command that did nothing is fine unless it said why: a message shown is a refusal.
CommandResult Outcome(BatchSession& s, size_t messagesBefore, int changed) {
    if (changed == 0 && s.messages.Entries().size() > messagesBefore) return CommandResult::Fail();
    return CommandResult::Ok();
}

// N of a layer, counted from the bottom layer starting at 1, as a list index.
std::optional<int> LayerIndex(const std::string& word) {
    const auto n = ParseInt(word);
    if (!n) return std::nullopt;
    return *n - 1;
}

CommandResult LayerCommand(BatchSession& s, const Args& args) {
    if (args.empty()) return CommandResult::Script("layer takes a subcommand");
    const std::string& what = args[0];
    BatchDocuments& docs = Documents(s);
    // The Layer menu's commands.
    if (const CommandEntry* menu = FindCommandByVerb("layer " + what)) {
        if (args.size() != 1) return CommandResult::Script("layer " + what + " takes no arguments");
        if (auto refused = Refused(s, menu, "layer " + what)) return *refused;
        const size_t before = s.messages.Entries().size();
        return Outcome(s, before, RunVerb(s, *menu));
    }
    if (what == "select" || what == "visible" || what == "link") {
        if (args.size() != 2) return CommandResult::Script("layer " + what + " takes N");
        const std::optional<int> index = LayerIndex(args[1]);
        if (!index) return CommandResult::Script("layer " + what + ": N must be a whole number");
        if (!docs.active) return CommandResult::Fail("no open document");
        Image& img = *docs.active;
        if (*index < 0 || *index >= img.Layers().LayerCount())
            return CommandResult::Fail("layer " + what + ": there is no layer " + args[1]);
        // As a click on the Layers palette: what a tool has under way ends first.
        img.EndToolInteraction();
        if (what == "select")
            return CommandResult::From(img.Layers().SelectLayerByIndex(*index + 1));
        if (what == "visible")
            return CommandResult::From(ToggleLayerVisible(img.History(), *index) == 1);
        const size_t before = s.messages.Entries().size();
        return Outcome(s, before, ToggleLink(img.History(), *index));
    }
    if (what == "opacity") {
        if (args.size() != 2) return CommandResult::Script("layer opacity takes V");
        auto v = ParseInt(args[1]);
        if (!v) return CommandResult::Script("layer opacity: V must be a whole number");
        if (!docs.active) return CommandResult::Fail("no open document");
        if (*v < 0 || *v > 100) return CommandResult::Fail("layer opacity: the opacity is 0..100");
        // As the palette's slider: what a tool has under way lands first.
        docs.active->EndToolInteraction();
        LayerOpacityControl control(docs.active->History());
        return CommandResult::From(control.SetLayerOpacity(*v, 1) != 0);
    }
    return CommandResult::Script("unknown layer command '" + what + "'");
}

// `align EDGE` and `distribute EDGE`: the Layer menu's items (the Move page's buttons).
CommandResult LinkedLayersCommand(BatchSession& s, const std::string& verb, const Args& args) {
    if (args.size() != 1)
        return CommandResult::Script(verb + " takes top|vcenter|bottom|left|hcenter|right");
    const CommandEntry* entry = FindCommandByVerb(verb + " " + args[0]);
    if (!entry) return CommandResult::Script(verb + ": unknown edge '" + args[0] + "'");
    if (auto refused = Refused(s, entry, verb)) return *refused;
    const size_t before = s.messages.Entries().size();
    return Outcome(s, before, RunVerb(s, *entry));
}

}  // namespace

void RegisterLayerCommands(BatchRunner& runner) {
    runner.Register("layer", LayerCommand, [](const std::string& w) {
        return FindCommandByVerb("layer " + w) || w == "select" || w == "visible" || w == "link" ||
               w == "opacity";
    });
    for (const char* verb : {"align", "distribute"}) {
        const std::string name = verb;
        runner.Register(name, [name](BatchSession& s, const Args& args) {
            return LinkedLayersCommand(s, name, args);
        });
    }
}

}  // namespace zelvo
