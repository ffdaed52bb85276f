#include "app/AppCommands.h"

#include "commands/CommandTable.h"

namespace zelvo {

namespace {

std::vector<MenuCommand> BuildTable() {
    std::vector<MenuCommand> table;
    for (const CommandFamily& family : CommandFamilies())
        for (const CommandEntry& e : family.entries)
            table.push_back({e.id, e.menu, e.text, e.keys});
    return table;
}

}  // namespace

const std::vector<MenuCommand>& MenuCommands() {
    static const std::vector<MenuCommand> table = BuildTable();
    return table;
}

const MenuCommand* FindMenuCommand(int id) {
    if (id == 0) return nullptr;
    for (const MenuCommand& c : MenuCommands())
        if (c.id == id) return &c;
    return nullptr;
}

int MenuCommandId(const std::string& menu, const std::string& text) {
    const CommandEntry* e = FindCommandByMenu(menu, text);
    return e ? e->id : 0;
}

}  // namespace zelvo
