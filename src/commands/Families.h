// How the family tables are written: one function per family, and the shorthands their rows
// use.
#pragma once

#include "commands/CommandTable.h"

namespace zelvo::commands {

using Rule = std::function<bool(const CommandContext&)>;
using Run = std::function<int(CommandContext&, const CommandValues&)>;

inline CommandEntry Separator(const char* menu) {
    CommandEntry e;
    e.menu = menu;
    return e;
}

// A command the front ends run themselves; `verb` when a script has one of its own for it.
inline CommandEntry FrontEnd(int id, const char* menu, const char* text, const char* keys = "",
                             const char* verb = "", const char* sample = "") {
    CommandEntry e;
    e.id = id;
    e.menu = menu;
    e.text = text;
    e.keys = keys;
    e.verb = verb;
    e.sample = sample;
    e.needsDocument = false;
    e.refusedWhileToolBusy = false;
    return e;
}

// A command on the active document, refused while a tool is busy.
inline CommandEntry OnDocument(int id, const char* menu, const char* text, const char* keys,
                               const char* verb, Rule rule, Run run) {
    CommandEntry e;
    e.id = id;
    e.menu = menu;
    e.text = text;
    e.keys = keys;
    e.verb = verb;
    e.rule = std::move(rule);
    e.run = std::move(run);
    return e;
}

// The same with values: `values` names them for the reader, `sample` is a use in a script.
inline CommandEntry WithValues(CommandEntry e, const char* values, const char* sample) {
    // Built, then moved in: GCC 12 warns falsely (-Wrestrict) on the inlined assignment from a
    // literal.
    e.values = std::string(values);
    e.sample = std::string(sample);
    return e;
}

// The five turns of Edit > Transform and Image > Rotate Canvas, in menu order.
struct Turn {
    const char* text;
    const char* word;
    int code;
};
extern const Turn kTurns[5];

CommandFamily FileFamily();
CommandFamily HistoryFamily();
CommandFamily EditFamily();
CommandFamily AdjustFamily();
CommandFamily ImageFamily();
CommandFamily LayerFamily();
CommandFamily SelectFamily();
CommandFamily FilterFamily();
CommandFamily ViewFamily();
CommandFamily WindowFamily();
CommandFamily HelpFamily();

}  // namespace zelvo::commands
