#include "history/HistoryCommands.h"

namespace zelvo {

namespace {

const char kUndoText[] = "Undo\tCtrl+Z";
const char kRedoText[] = "Redo\tCtrl+Z";

// Runs a history move as the command handlers do: nothing while a mouse operation is under
// way; any pending tool interaction ends first; the curve tool refreshes afterwards.
int RunMove(HistoryManager& history, int target) {
    HistoryHost& host = history.Host();
    if (host.ToolBusy()) return 0;
    host.EndToolInteraction();
    history.GoToState(target, 1);
    host.AfterHistoryMove();
    return 1;
}

}  // namespace

CommandState UndoRedoState(const HistoryManager* history) {
    if (!history) return {false, kUndoText};
    const int n = history->StateCount();
    const int k = history->CurrentStateIndex();
    return {n >= 2, n >= 2 && k < n ? kRedoText : kUndoText};
}

CommandState StepForwardState(const HistoryManager* history) {
    if (!history) return {false, {}};
    return {history->CurrentStateIndex() > 1, {}};
}

CommandState StepBackwardState(const HistoryManager* history) {
    if (!history) return {false, {}};
    const int k = history->CurrentStateIndex();
    return {k >= 1 && k < history->StateCount(), {}};
}

int UndoRedo(HistoryManager& history) {
    if (!UndoRedoState(&history).enabled) return 0;
    const int n = history.StateCount();
    const int k = history.CurrentStateIndex();
    return RunMove(history, k == n ? n - 1 : k + 1);
}

int StepForward(HistoryManager& history) {
    if (!StepForwardState(&history).enabled) return 0;
    return RunMove(history, history.CurrentStateIndex() - 1);
}

int StepBackward(HistoryManager& history) {
    if (!StepBackwardState(&history).enabled) return 0;
    return RunMove(history, history.CurrentStateIndex() + 1);
}

std::string HistoryPalette::RowText(const HistoryManager& history, int row) {
    if (row == 0) return kStartRowText;
    if (row < 0 || row > history.StateCount()) return {};
    return StateDisplayName(history.States()[size_t(row - 1)]);
}

int HistoryPalette::ShownRow(const HistoryManager& history) {
    return history.ShowingStart() ? 0 : history.CurrentStateIndex();
}

Rect HistoryPalette::RowRect(const HistoryManager& history, int row) {
    const int top = kRowHeight * row - history.ScrollOffset();
    return {0, top, kRowWidth, top + kRowHeight};
}

int HistoryPalette::RowAt(const HistoryManager& history, int y) {
    const int pos = y + history.ScrollOffset();
    if (pos <= 0) return -1;  // ceil(pos / 25) - 1 is below 0
    const int row = (pos + kRowHeight - 1) / kRowHeight - 1;
    return row < RowCount(history) ? row : -1;
}

int HistoryPalette::Click(HistoryManager& history, int y) {
    const int row = RowAt(history, y);
    if (row < 0) return -1;
    history.GoToState(row, 1);
    return row;
}

HistoryPalette::ScrollRange HistoryPalette::Scroll(const HistoryManager& history) {
    const int n = history.StateCount();
    if (n < 4) return {};
    return {true, 0, kRowHeight * n, kScrollPage};
}

}  // namespace zelvo
