// The command tables: every menu command of the program with its id, menu text and keys, the
// words that name it in zelvo-batch, when it is enabled and what it runs. The GUI builds its
// menus and handlers from them and zelvo-batch checks and runs its verbs through them, so an
// id, a caption or an enabling rule is written once. Commands that act on windows or on how a
// document is shown (File, View, Window, Help) carry only their menu data: each front end
// runs those itself.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "commands/CommandIds.h"
#include "layers/Layer.h"

namespace zelvo {

class Image;
class HistoryManager;
struct ClipboardState;

// What an enabling rule and a run see.
struct CommandContext {
    // The active document; null when none is open.
    Image* image = nullptr;
    // A tool is in the middle of a mouse operation: document commands are refused.
    bool toolBusy = false;
    // ... and that operation stays open through commands (the crop tool's frame): even the
    // commands that end a tool's work first cannot run.
    bool toolStaysBusy = false;
    // The rectangle of the last Copy, kept by the front end for its whole run.
    ClipboardState* clipboard = nullptr;

    // The context of `image`; the busy flag is its history host's.
    static CommandContext Of(Image* image, ClipboardState* clipboard = nullptr);
    HistoryManager* History() const;
    LayerPtr CurrentLayer() const;
    bool HasSelection() const;
};

// The values a dialog closed with OK gives (or a batch verb's words), in the order the entry
// names them.
using CommandValues = std::vector<int32_t>;

struct CommandEntry {
    int id = 0;        // 0 for a separator
    std::string menu;  // "&Image/Adjustments" ('/' separates sub-menus)
    std::string text;  // the menu text
    std::string keys;  // QKeySequence texts separated by ';'
    // The zelvo-batch words that run it ("adjust invert"); empty when a script has nothing to
    // run for it. `sample` is a well-formed rest of the line.
    std::string verb;
    std::string sample;
    // The values the run takes, as a dialog's fields would give them; empty for none. Such a
    // command is offered in the GUI once its dialog exists.
    std::string values;
    bool needsDocument = true;  // enabled only with a ready document
    bool refusedWhileToolBusy = true;
    // The rule beyond the two above; null when the front end decides (File, View, Window, Help).
    std::function<bool(const CommandContext&)> rule;
    // The engine call; returns 1 when the document changed. Null when the front end runs it.
    std::function<int(CommandContext&, const CommandValues&)> run;

    bool IsSeparator() const { return id == 0; }
    bool TakesValues() const { return !values.empty(); }
};

struct CommandFamily {
    std::string name;  // "layer", "select", ...
    std::vector<CommandEntry> entries;
};

// Every family, in menu order (the concatenation is the menu bar's order, separators too).
const std::vector<CommandFamily>& CommandFamilies();
// The entry of an id or of a batch verb; nullptr when there is none.
const CommandEntry* FindCommand(int id);
const CommandEntry* FindCommandByVerb(const std::string& verb);
// The entry by its menu and text; nullptr when there is none.
const CommandEntry* FindCommandByMenu(const std::string& menu, const std::string& text);

// Whether the command may run in `context` (false for entries the front end decides).
bool CommandEnabled(const CommandEntry& entry, const CommandContext& context);
// Runs the command when it is enabled; 0 when it is not (or did nothing), 1 when it changed the
// document.
int RunCommand(const CommandEntry& entry, CommandContext& context,
               const CommandValues& values = {});

}  // namespace zelvo
