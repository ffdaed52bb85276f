#include "app/AppCommands.h"

#include "history/HistoryCommands.h"

namespace zelvo {

namespace {

struct Row {
    int id;  // -1: an id from kIdFirstUnnumbered on; 0: separator
    const char* menu;
    const char* text;
    const char* keys;
};

constexpr const char* kFile = "&File";
constexpr const char* kEdit = "&Edit";
constexpr const char* kTransform = "&Edit/Transform";
constexpr const char* kImage = "&Image";
constexpr const char* kAdjust = "&Image/Adjustments";
constexpr const char* kRotate = "&Image/Rotate Canvas";
constexpr const char* kLayer = "&Layer";
constexpr const char* kAlign = "&Layer/Align Linked Layers";
constexpr const char* kDistribute = "&Layer/Distribute Linked Layers";
constexpr const char* kAnchor = "&Layer/Anchor Point";
constexpr const char* kSelect = "&Select";
constexpr const char* kModify = "&Select/Modify Selection";
constexpr const char* kFilter = "Fi&lter";
constexpr const char* kNoise = "Fi&lter/Reduce Noise";
constexpr const char* kView = "&View";
constexpr const char* kWindow = "&Window";
constexpr const char* kHelp = "&Help";

const Row kRows[] = {
    {kIdFileNew, kFile, "New...", "Ctrl+N"},
    {kIdFileOpen, kFile, "Open...", "Ctrl+O"},
    {kIdClose, kFile, "Close", "Ctrl+W"},
    {kIdCloseAll, kFile, "Close All", "Ctrl+Alt+W"},
    {0, kFile, "", ""},
    {kIdFileSave, kFile, "Save", "Ctrl+S"},
    {kIdFileSaveAs, kFile, "Save As...", "Ctrl+Shift+S"},
    {0, kFile, "", ""},
    {kIdPrintSetup, kFile, "Print Setting...", ""},
    {-1, kFile, "Print with Preview...", "Ctrl+Alt+P"},
    {kIdFilePrint, kFile, "Print(&P)...", "Ctrl+P"},
    {kIdFilePrintPreview, kFile, "Print with Preview(&V)", ""},
    {0, kFile, "", ""},
    {kIdExit, kFile, "Exit", ""},

    {kCmdUndoRedo, kEdit, "Undo", "Ctrl+Z"},
    {kCmdStepForward, kEdit, "Step Forward", "Ctrl+Shift+Z"},
    {kCmdStepBackward, kEdit, "Step Backward", "Ctrl+Alt+Z"},
    {0, kEdit, "", ""},
    {kIdEditCut, kEdit, "Cut", "Ctrl+X"},
    {kIdEditCopy, kEdit, "Copy", "Ctrl+C"},
    {kIdEditPaste, kEdit, "Paste", "Ctrl+V"},
    {-1, kEdit, "Clean up the clipboard", ""},
    {0, kEdit, "", ""},
    {-1, kEdit, "Clear", "Delete"},
    {-1, kEdit, "Draw Border", ""},
    {0, kEdit, "", ""},
    {-1, kEdit, "Free Transform", "Ctrl+T"},
    {-1, kTransform, "Rotate 90 Clockwise", ""},
    {-1, kTransform, "Rotate 90 Counterclockwise", ""},
    {-1, kTransform, "Rotate 180", ""},
    {-1, kTransform, "Flip Horizontal", ""},
    {-1, kTransform, "Flip Vertical", ""},
    {0, kEdit, "", ""},
    {kIdSetupTempDisk, kEdit, "Set up Temporary Disk...", ""},

    {-1, kAdjust, "Curves...", "Ctrl+M"},
    {-1, kAdjust, "Color Balance...", "Ctrl+B"},
    {-1, kAdjust, "Levels...", "Ctrl+L"},
    {-1, kAdjust, "Brightness/Contrast...", "Ctrl+H"},
    {-1, kAdjust, "Saturation...", "Ctrl+U"},
    {-1, kAdjust, "Shadow/Highlight...", "Ctrl+G"},
    {0, kAdjust, "", ""},
    {-1, kAdjust, "Desaturate", "Ctrl+Shift+U"},
    {-1, kAdjust, "Invert", "Ctrl+I"},
    {0, kImage, "", ""},
    {-1, kImage, "Image Size", ""},
    {-1, kImage, "Canvas Size", ""},
    {-1, kImage, "Print Size", ""},
    {-1, kRotate, "Rotate 90 Clockwise", ""},
    {-1, kRotate, "Rotate 90 Counterclockwise", ""},
    {-1, kRotate, "Rotate 180", ""},
    {-1, kRotate, "Flip Horizontal", ""},
    {-1, kRotate, "Flip Vertical", ""},
    {-1, kImage, "Crop", ""},

    {kIdNewLayer, kLayer, "New Layer", ""},
    {kIdDuplicateLayer, kLayer, "Duplicate Layer", ""},
    {kIdDeleteLayer, kLayer, "Delete Layer", ""},
    {0, kLayer, "", ""},
    {kIdMoveLayerUp, kLayer, "Move Up Layer", ""},
    {kIdMoveLayerDown, kLayer, "Move Down Layer", ""},
    {0, kLayer, "", ""},
    {kIdMergeLinked, kLayer, "Merge Linked Layers", "Ctrl+E"},
    {kIdMergeVisible, kLayer, "Merge Visible Layers", "Ctrl+Shift+E"},
    {kIdMergeAll, kLayer, "Merge All Layers", ""},
    {0, kLayer, "", ""},
    {kIdClearLayerBorder, kLayer, "Clear transparent layer border", ""},
    {kIdRasterizeLayer, kLayer, "Rasterize——Text Layer、Curve Layer", ""},
    {0, kLayer, "", ""},
    {-1, kAlign, "Top Edges", ""},
    {-1, kAlign, "Vertical Centers", ""},
    {-1, kAlign, "Bottom Edges", ""},
    {-1, kAlign, "Left Edges", ""},
    {-1, kAlign, "Horizontal Centers", ""},
    {-1, kAlign, "Right Edges", ""},
    {-1, kDistribute, "Top Edges", ""},
    {-1, kDistribute, "Vertical Centers", ""},
    {-1, kDistribute, "Bottom Edges", ""},
    {-1, kDistribute, "Left Edges", ""},
    {-1, kDistribute, "Horizontal Centers", ""},
    {-1, kDistribute, "Right Edges", ""},
    {kIdSelectAnchor, kAnchor, "Select Anchor Point", ""},
    {kIdConvertAnchor, kAnchor, "Convert Anchor Point", ""},
    {kIdAddAnchor, kAnchor, "Add Anchor Point", ""},
    {kIdDeleteAnchor, kAnchor, "Delete Anchor Point", ""},

    {-1, kSelect, "Select All", "Ctrl+A"},
    {-1, kSelect, "Deselect", "Ctrl+D"},
    {-1, kSelect, "Reselect", "Ctrl+Shift+D"},
    {-1, kSelect, "Inverse", "Ctrl+Shift+I"},
    {0, kSelect, "", ""},
    {-1, kSelect, "Feather...", "Ctrl+Alt+D"},
    {-1, kModify, "Expand", ""},
    {-1, kModify, "Contract", ""},
    {0, kSelect, "", ""},
    {-1, kSelect, "Layer Convert to Selection", ""},

    {-1, kFilter, "Blur...", ""},
    {-1, kFilter, "Sharpen", ""},
    {-1, kFilter, "Sharpen...", ""},
    {-1, kFilter, "Add Noise...", ""},
    {-1, kFilter, "Mosaic...", ""},
    {-1, kNoise, "Reduce Small Noise(1-2Pixels)", ""},
    {-1, kNoise, "Reduce Medium Noise(3-5Pixels)", ""},
    {-1, kNoise, "Reduce Big Noise(6-9Pixels)", ""},
    {-1, kNoise, "Reduce Gray Noise(3-5Pixels)", ""},

    {kIdZoomIn, kView, "Zoom In", ""},
    {kIdZoomOut, kView, "Zoom Out", ""},
    {kIdActualPixels, kView, "Actual Pixels", ""},
    {kIdFitOnWindow, kView, "Fit On Window", ""},
    {kIdPrintSizeZoom, kView, "Print Size", ""},
    {0, kView, "", ""},
    {kIdOptionsBar, kView, "Options", "F9"},
    {kIdStatusBar, kView, "Status Bar", "F10"},

    {kIdCascade, kWindow, "Cascade", ""},
    {kIdTileHorizontal, kWindow, "Horizontal Tile", ""},
    {kIdTileVertical, kWindow, "Vertical Tile", ""},
    {0, kWindow, "", ""},
    {kIdTogglePalettes, kWindow, "Show/Hide All Palette", "~;Shift+~;Ctrl+1"},
    {kIdResetPalettes, kWindow, "Reset Palette Locations", ""},
    {0, kWindow, "", ""},
    {kIdToolsPalette, kWindow, "Tools", "F4"},
    {kIdLayersPalette, kWindow, "Layers", "F5"},
    {kCmdHistoryPalette, kWindow, "History", "F6"},
    {kIdColorPalette, kWindow, "Color", "F7"},
    {kIdNavigatorPalette, kWindow, "Navigator", "F8"},

    {kIdHelp, kHelp, "Zelvo Help", "F1"},
    {0, kHelp, "", ""},
    {kIdAbout, kHelp, "About Zelvo...", ""},
};

std::vector<MenuCommand> BuildTable() {
    std::vector<MenuCommand> table;
    int next = kIdFirstUnnumbered;
    for (const Row& r : kRows) table.push_back({r.id < 0 ? next++ : r.id, r.menu, r.text, r.keys});
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
    for (const MenuCommand& c : MenuCommands())
        if (c.id != 0 && c.menu == menu && c.text == text) return c.id;
    return 0;
}

}  // namespace zelvo
