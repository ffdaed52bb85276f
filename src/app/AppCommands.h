// The program's menu entries as the main frame builds its actions from them: the command
// tables' rows in menu order. Commands whose work is not in the program yet stay in the menus,
// disabled.
#pragma once

#include <string>
#include <vector>

#include "commands/CommandIds.h"

namespace zelvo {

// Commands the tool poller sends to the frame.
enum AppCommandId : int {
    kIdOpenQueueTick = 1095,
};

// The tool controller's repeating mode that the open queue runs in.
constexpr int kBusyModeOpenQueue = 1096;

struct MenuCommand {
    int id = 0;        // 0 for a separator
    std::string menu;  // "&File", "&Image/Adjustments", ... ('/' separates sub-menus)
    std::string text;  // empty for a separator
    std::string keys;  // QKeySequence texts separated by ';'
};

// Every menu entry of the program in menu order, separators included.
const std::vector<MenuCommand>& MenuCommands();
// The entry for an id, nullptr when there is none.
const MenuCommand* FindMenuCommand(int id);
// The id of a menu entry by its menu and text, 0 when there is none.
int MenuCommandId(const std::string& menu, const std::string& text);

}  // namespace zelvo
