// The File, View, Window and Help menus: commands on windows, files and how a document is
// shown. The front ends run them; the File menu's have script commands of their own.
#include "commands/Families.h"

namespace zelvo::commands {

namespace {

constexpr const char* kFile = "&File";
constexpr const char* kView = "&View";
constexpr const char* kWindow = "&Window";
constexpr const char* kHelp = "&Help";

}  // namespace

CommandFamily FileFamily() {
    return {"file",
            {
                FrontEnd(kIdFileNew, kFile, "New...", "Ctrl+N", "new", "10 10"),
                FrontEnd(kIdFileOpen, kFile, "Open...", "Ctrl+O", "open", "missing.bmp"),
                FrontEnd(kIdClose, kFile, "Close", "Ctrl+W", "close"),
                FrontEnd(kIdCloseAll, kFile, "Close All", "Ctrl+Alt+W"),
                Separator(kFile),
                FrontEnd(kIdFileSave, kFile, "Save", "Ctrl+S"),
                FrontEnd(kIdFileSaveAs, kFile, "Save As...", "Ctrl+Shift+S", "save", "out.png"),
                Separator(kFile),
                FrontEnd(kIdPrintSetup, kFile, "Print Setting..."),
                FrontEnd(kIdPrintWithPreview, kFile, "Print with Preview...", "Ctrl+Alt+P",
                         "print preview", "center=1"),
                FrontEnd(kIdFilePrint, kFile, "Print(&P)...", "Ctrl+P", "print", "out.pdf"),
                FrontEnd(kIdFilePrintPreview, kFile, "Print with Preview(&V)"),
                Separator(kFile),
                FrontEnd(kIdExit, kFile, "Exit"),
            }};
}

CommandFamily ViewFamily() {
    return {"view",
            {
                FrontEnd(kIdZoomIn, kView, "Zoom In"),
                FrontEnd(kIdZoomOut, kView, "Zoom Out"),
                FrontEnd(kIdActualPixels, kView, "Actual Pixels"),
                FrontEnd(kIdFitOnWindow, kView, "Fit On Window"),
                FrontEnd(kIdPrintSizeZoom, kView, "Print Size"),
                Separator(kView),
                FrontEnd(kIdOptionsBar, kView, "Options", "F9"),
                FrontEnd(kIdStatusBar, kView, "Status Bar", "F10"),
                Separator(kView),
                FrontEnd(kIdPlainCursors, kView, "Plain Cursors"),
            }};
}

CommandFamily WindowFamily() {
    return {"window",
            {
                FrontEnd(kIdCascade, kWindow, "Cascade"),
                FrontEnd(kIdTileHorizontal, kWindow, "Horizontal Tile"),
                FrontEnd(kIdTileVertical, kWindow, "Vertical Tile"),
                Separator(kWindow),
                FrontEnd(kIdTogglePalettes, kWindow, "Show/Hide All Palette", "~;Shift+~;Ctrl+1"),
                FrontEnd(kIdResetPalettes, kWindow, "Reset Palette Locations"),
                Separator(kWindow),
                FrontEnd(kIdToolsPalette, kWindow, "Tools", "F4"),
                FrontEnd(kIdLayersPalette, kWindow, "Layers", "F5"),
                FrontEnd(kIdHistoryPaletteToggle, kWindow, "History", "F6"),
                FrontEnd(kIdColorPalette, kWindow, "Color", "F7"),
                FrontEnd(kIdNavigatorPalette, kWindow, "Navigator", "F8"),
            }};
}

CommandFamily HelpFamily() {
    return {"help",
            {
                FrontEnd(kIdHelp, kHelp, "Zelvo Help", "F1"),
                Separator(kHelp),
                FrontEnd(kIdAbout, kHelp, "About Zelvo..."),
            }};
}

}  // namespace zelvo::commands
