// The tool set: every tool's id (the command id of its tool-box button), its name in scripts,
// tool-tip, status hint and shortcut letter, and the seven pairs that share a letter.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <vector>

namespace zelvo {

enum ToolId : int {
    kToolNone = 0,
    kToolHand = 1025,
    kToolMove = 1026,
    kToolLasso = 1031,
    kToolCrop = 1032,
    kToolBrush = 1034,
    kToolText = 1039,
    kToolCurve = 1041,
    kToolMagicWand = 1070,
    kToolRectMarquee = 1073,
    kToolEllipseMarquee = 1074,
    kToolPolygon = 1075,
    kToolEraser = 1076,
    kToolCloneStamp = 1077,
    kToolEyedropper = 1080,
    kToolZoom = 1082,
    kToolFreeTransform = 1089,
    kToolHealingBrush = 1092,
    kToolPatch = 1102,
    kToolPaintBucket = 1105,
    kToolGradient = 1107,
    kToolLightenDarken = 1115,
    kToolSponge = 1117,
    kToolMeasure = 1122,
    kToolBlur = 1125,
    kToolSharpen = 1126,
};

// The tool-box controls that are not tools.
enum ToolBoxControl : int {
    kSwapColors = 1142,     // "Switch Foreground and Background Colors (X)"
    kDefaultColors = 1143,  // "Default Foreground and Background Colors (D)"
    kForegroundSwatch = 1053,
    kBackgroundSwatch = 1054,
};

struct ToolInfo {
    ToolId id;
    const char* name;     // as scripts name it
    const char* tooltip;  // the tool-tip's first line
    const char* hint;     // the status text when the tool is selected
    char letter;          // the shortcut letter, 0 for none
};

// Every tool with a tool-box button, in id order.
const std::vector<ToolInfo>& ToolTable();
const ToolInfo* FindTool(int id);
const ToolInfo* FindToolByName(const std::string& name);

// The seven letter pairs, first member first.
using ToolPair = std::array<ToolId, 2>;
const std::array<ToolPair, 7>& ToolPairs();
// The index of the pair holding `id`, if any.
std::optional<size_t> PairOf(int id);

// Brush, eraser, clone stamp, healing brush, lighten/darken, sponge, blur and sharpen: the
// tools that paint strokes with a brush tip and show the circle cursor.
bool IsBrushDriven(int id);
// Rectangular, elliptical, freeform and polygonal marquee and the magic wand.
bool IsSelectionTool(int id);

}  // namespace zelvo
