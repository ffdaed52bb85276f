#include "tools/ToolTable.h"

#include <algorithm>

namespace zelvo {

const std::vector<ToolInfo>& ToolTable() {
    static const std::vector<ToolInfo> table = {
        {kToolHand, "hand", "Hand Tool (H)", "Click and drag to scroll image in desired direction.",
         'H'},
        {kToolMove, "move", "Move Tool (V)",
         "Click and drag to move layer.Use Shift and Alt for additional options.", 'V'},
        {kToolLasso, "lasso", "Free Marquee Tool (L)",
         "Draw freeform selection or move selection outline.", 'L'},
        {kToolCrop, "crop", "Crop Tool (C)", "Click and drag to define cropping frame.", 'C'},
        {kToolBrush, "brush", "Brush Tool (B)", "Click and drag to paint using foreground color.",
         'B'},
        {kToolText, "text", "Text Tool (T)", "Click to input text.", 'T'},
        {kToolCurve, "curve", "Curve Tool (p)", "Click and drag to draw curve.", 'P'},
        {kToolMagicWand, "wand", "Magic Wand Tool (W)",
         "Click to select adjacent pixels of similar color or move selection outline.", 'W'},
        {kToolRectMarquee, "rect", "Rectangular Marquee Tool (M)",
         "Draw rectangular selection.Use Shift for additional options.", 'M'},
        {kToolEllipseMarquee, "ellipse", "Elliptical Marquee Tool (M)",
         "Draw elliptical selection.Use Shift for additional options.", 'M'},
        {kToolPolygon, "polygon", "Polygonal Marquee Tool (L)",
         "Click to set a selection segment point.", 'L'},
        {kToolEraser, "eraser", "Eraser Tool (E)", "Click and drag to erase to background color.",
         'E'},
        {kToolCloneStamp, "clone", "Clone Stamp Tool (S)",
         "Alt-click to define a source,and then Click and drag to create duplicate.", 'S'},
        {kToolEyedropper, "eyedropper", "Eyedropper Tool (I)",
         "Click image to choose new foreground color.", 'I'},
        {kToolZoom, "zoom", "Zoom Tool (Z)", "Click to enlarge or reduce.", 'Z'},
        {kToolHealingBrush, "heal", "Healing Brush Tool (J)",
         "Alt-click to define a source,and then click and drag to paint.", 'J'},
        {kToolPatch, "patch", "Patch Tool (J)", "Move the selection to apply the patch.", 'J'},
        {kToolPaintBucket, "bucket", "Paint Bucket Tool (G)",
         "Click on desired image area to fill with foreground color.", 'G'},
        {kToolGradient, "gradient", "Gradient Tool (G)", "Click and drag to fill with gradient.",
         'G'},
        {kToolLightenDarken, "lighten-darken", "Lighten/Darken Tool (O)",
         "Click and drag to lighten or darken.", 'O'},
        {kToolSponge, "sponge", "Sponge Tool (O)", "Click and drag to adjust saturation.", 'O'},
        {kToolMeasure, "measure", "Measure Tool (I)", "Click and drag to create measure line.",
         'I'},
        {kToolBlur, "blur", "Blur Tool (R)", "Click and drag to blur desired area.", 'R'},
        {kToolSharpen, "sharpen", "Sharpen Tool (R)", "Click and drag to sharpen desired area.",
         'R'},
    };
    return table;
}

const ToolInfo* FindTool(int id) {
    for (const ToolInfo& t : ToolTable())
        if (t.id == id) return &t;
    return nullptr;
}

const ToolInfo* FindToolByName(const std::string& name) {
    for (const ToolInfo& t : ToolTable())
        if (name == t.name) return &t;
    return nullptr;
}

const std::array<ToolPair, 7>& ToolPairs() {
    static const std::array<ToolPair, 7> pairs = {{
        {kToolRectMarquee, kToolEllipseMarquee},
        {kToolLasso, kToolPolygon},
        {kToolHealingBrush, kToolPatch},
        {kToolPaintBucket, kToolGradient},
        {kToolBlur, kToolSharpen},
        {kToolLightenDarken, kToolSponge},
        {kToolEyedropper, kToolMeasure},
    }};
    return pairs;
}

std::optional<size_t> PairOf(int id) {
    const auto& pairs = ToolPairs();
    for (size_t i = 0; i < pairs.size(); ++i)
        if (pairs[i][0] == id || pairs[i][1] == id) return i;
    return std::nullopt;
}

bool IsBrushDriven(int id) {
    switch (id) {
        case kToolBrush:
        case kToolEraser:
        case kToolCloneStamp:
        case kToolHealingBrush:
        case kToolLightenDarken:
        case kToolSponge:
        case kToolBlur:
        case kToolSharpen:
            return true;
        default:
            return false;
    }
}

bool IsSelectionTool(int id) {
    return id == kToolRectMarquee || id == kToolEllipseMarquee || id == kToolLasso ||
           id == kToolPolygon || id == kToolMagicWand;
}

}  // namespace zelvo
