// The ids of every menu command, one scheme for the menus, the palettes and the tests. The
// Layer menu's and the history's own ids live with their operations (kCmdNewLayer...,
// kCmdUndoRedo...); the names here for them are the same numbers.
#pragma once

#include "history/HistoryCommands.h"
#include "layerops/LayerCommands.h"

namespace zelvo {

enum CommandId : int {
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
    kIdNewLayer = kCmdNewLayer,
    kIdDeleteLayer = kCmdDeleteLayer,
    kIdDuplicateLayer = kCmdDuplicateLayer,
    kIdMergeLinked = kCmdMergeLinked,
    kIdMergeVisible = kCmdMergeVisible,
    kIdMergeAll = kCmdMergeAll,
    kIdClearLayerBorder = kCmdClearBorder,
    kIdRasterizeLayer = kCmdRasterize,
    kIdMoveLayerUp = kCmdMoveUp,
    kIdMoveLayerDown = kCmdMoveDown,
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
    kIdPlainCursors = 33100,  // every tool but Hand and Move with the standard pointer
    // Window
    kIdTogglePalettes = 32795,
    kIdResetPalettes = 32869,
    kIdCascade = 32870,
    kIdTileHorizontal = 32871,
    kIdTileVertical = 32872,
    kIdToolsPalette = 32912,
    kIdLayersPalette = 32913,
    kIdHistoryPaletteToggle = kCmdHistoryPalette,
    kIdColorPalette = 32915,
    kIdNavigatorPalette = 32916,

    // Commands without an id of their own elsewhere: numbered from 33001 in menu order.
    kIdPrintWithPreview = 33001,
    kIdCleanClipboard = 33002,
    kIdClear = 33003,
    kIdDrawBorder = 33004,
    kIdFreeTransform = 33005,
    kIdTransformClockwise = 33006,
    kIdTransformCounterclockwise = 33007,
    kIdTransform180 = 33008,
    kIdTransformFlipHorizontal = 33009,
    kIdTransformFlipVertical = 33010,
    kIdCurves = 33011,
    kIdColorBalance = 33012,
    kIdLevels = 33013,
    kIdBrightnessContrast = 33014,
    kIdSaturation = 33015,
    kIdShadowHighlight = 33016,
    kIdDesaturate = 33017,
    kIdInvert = 33018,
    kIdImageSize = 33019,
    kIdCanvasSize = 33020,
    kIdPrintSize = 33021,
    kIdRotateClockwise = 33022,
    kIdRotateCounterclockwise = 33023,
    kIdRotate180 = 33024,
    kIdRotateFlipHorizontal = 33025,
    kIdRotateFlipVertical = 33026,
    kIdCrop = 33027,
    kIdAlignTop = 33028,       // .. 33033: Top, Vertical Centers, Bottom, Left, Horizontal Centers,
                               // Right Edges
    kIdDistributeTop = 33034,  // .. 33039, the same six
    kIdSelectAll = 33040,
    kIdDeselect = 33041,
    kIdReselect = 33042,
    kIdInverse = 33043,
    kIdFeather = 33044,
    kIdExpand = 33045,
    kIdContract = 33046,
    kIdLayerToSelection = 33047,
    kIdBlur = 33048,
    kIdSharpen = 33049,
    kIdSharpenMore = 33050,
    kIdAddNoise = 33051,
    kIdMosaic = 33052,
    kIdReduceSmallNoise = 33053,
    kIdReduceMediumNoise = 33054,
    kIdReduceBigNoise = 33055,
    kIdReduceGrayNoise = 33056,
};

}  // namespace zelvo
