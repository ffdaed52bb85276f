// The history's menu commands and the History palette, as models without widgets: what each
// command does and when it is enabled, the rows' texts and geometry, hit-testing and the
// scroll range. The GUI and zelvo-batch both drive these.
#pragma once

#include <string>

#include "core/Types.h"
#include "history/HistoryManager.h"

namespace zelvo {

enum HistoryCommandId : int {
    kCmdUndoRedo = 57643,      // Ctrl+Z
    kCmdStepForward = 32905,   // Ctrl+Shift+Z: one state back toward the oldest
    kCmdStepBackward = 32906,  // Ctrl+Alt+Z: one state on toward the newest
    kCmdHistoryPalette = 32914,
};

struct CommandState {
    bool enabled = false;
    std::string text;  // menu text where the command has a changing one
};

// Enabling and menu text; `history` null means no document is open.
CommandState UndoRedoState(const HistoryManager* history);
CommandState StepForwardState(const HistoryManager* history);
CommandState StepBackwardState(const HistoryManager* history);

// The commands: each returns 1 when it moved, 0 when it was disabled or the tool was busy.
int UndoRedo(HistoryManager& history);      // k = n: go to n-1, else go to k+1
int StepForward(HistoryManager& history);   // go to k-1, never the start row
int StepBackward(HistoryManager& history);  // go to k+1

// The History palette's list area.
struct HistoryPalette {
    static constexpr int kListWidth = 200;
    static constexpr int kListHeight = 100;
    static constexpr int kRowHeight = 25;
    static constexpr int kRowWidth = 180;
    static constexpr int kTextLeft = 5;
    static constexpr int kTextTop = 3;
    static constexpr int kLineStep = 25;
    static constexpr int kPageStep = 50;
    static constexpr int kScrollPage = 75;
    static constexpr ColorRef kShownFill = Rgb(10, 36, 106);
    static constexpr ColorRef kShownText = Rgb(255, 255, 255);
    static constexpr ColorRef kPlainText = Rgb(0, 0, 0);
    static constexpr Rect kDeleteButton{135, 106, 185, 128};
    static constexpr const char* kDeleteCaption = "Delete";
    static constexpr const char* kDeleteTooltip = "Delete current state";
    static constexpr const char* kStartRowText = "##Start:  Open New Image";

    // Rows are 0 (start row) .. StateCount().
    static int RowCount(const HistoryManager& history) { return history.StateCount() + 1; }
    static std::string RowText(const HistoryManager& history, int row);
    // The row the document shows: 0 for the start row, else the current state; -1 when none.
    static int ShownRow(const HistoryManager& history);
    // The row's rectangle in the list area at the palette's scroll offset.
    static Rect RowRect(const HistoryManager& history, int row);
    // The row under a click at y (list coordinates), -1 when above row 0 or below the last.
    static int RowAt(const HistoryManager& history, int y);
    // A click: goes to the row under y with redraw. Returns the row, or -1 when ignored.
    static int Click(HistoryManager& history, int y);

    struct ScrollRange {
        bool enabled = false;
        int minimum = 0;
        int maximum = 0;
        int page = 0;
    };
    static ScrollRange Scroll(const HistoryManager& history);
};

}  // namespace zelvo
