// The program's menu commands: ids, menus, texts and keys in one table, from which the main
// frame builds its actions. Commands whose work is not in the program yet stay in the menus,
// disabled.
#pragma once

#include <string>
#include <vector>

namespace zelvo {

enum AppCommandId : int {
    // File
    kIdFileNew = 57600,
    kIdFileOpen = 57601,
    kIdFileSave = 57603,
    kIdFileSaveAs = 57604,
    kIdPrintSetup = 57606,
    kIdFilePrint = 57607,
    kIdFilePrintPreview = 57609,
    kIdRecentFile1 = 57616,  // .. 57619, the four recent files
    kIdClose = 32783,
    kIdCloseAll = 32782,
    kIdAbout = 57664,
    kIdExit = 57665,
    kIdHelp = 57670,
    // Edit
    kIdEditCut = 57635,
    kIdEditCopy = 57634,
    kIdEditPaste = 57637,
    kIdSetupTempDisk = 32898,
    // Layer
    kIdNewLayer = 32771,
    kIdDeleteLayer = 32772,
    kIdDuplicateLayer = 32774,
    kIdMergeLinked = 32788,
    kIdMergeVisible = 32789,
    kIdMergeAll = 32790,
    kIdClearLayerBorder = 32819,
    kIdRasterizeLayer = 32820,
    kIdMoveLayerUp = 32895,
    kIdMoveLayerDown = 32896,
    kIdSelectAnchor = 32908,
    kIdConvertAnchor = 32909,
    kIdAddAnchor = 32910,
    kIdDeleteAnchor = 32911,
    // View
    kIdFitOnWindow = 32882,
    kIdActualPixels = 32883,
    kIdPrintSizeZoom = 32884,
    kIdZoomIn = 32899,
    kIdZoomOut = 32900,
    kIdOptionsBar = 59392,
    kIdStatusBar = 59393,
    // Window
    kIdTogglePalettes = 32795,
    kIdResetPalettes = 32869,
    kIdCascade = 32870,
    kIdTileHorizontal = 32871,
    kIdTileVertical = 32872,
    kIdToolsPalette = 32912,
    kIdLayersPalette = 32913,
    kIdHistoryPaletteToggle = 32914,
    kIdColorPalette = 32915,
    kIdNavigatorPalette = 32916,
    // Commands the tool poller sends to the frame.
    kIdOpenQueueTick = 1095,
    // The first id given to menu commands that have no id of their own in the program's
    // tables; they are numbered in table order from here.
    kIdFirstUnnumbered = 33001,
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
