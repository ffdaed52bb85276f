// The tools' operations, one file each; the controller makes one of each at start.
#pragma once

#include <memory>

#include "tools/MouseOperation.h"

namespace zelvo {

std::unique_ptr<MouseOperation> MakeHandTool(ToolController& tools);
std::unique_ptr<MouseOperation> MakeZoomTool(ToolController& tools);
std::unique_ptr<MouseOperation> MakeMarqueeTool(ToolController& tools, bool ellipse);
std::unique_ptr<MouseOperation> MakeLassoTool(ToolController& tools);
std::unique_ptr<MouseOperation> MakePolygonTool(ToolController& tools);
std::unique_ptr<MouseOperation> MakeMagicWandTool(ToolController& tools);
std::unique_ptr<MouseOperation> MakeMoveTool(ToolController& tools);
std::unique_ptr<MouseOperation> MakeCropTool(ToolController& tools);
std::unique_ptr<MouseOperation> MakeMeasureTool(ToolController& tools);
std::unique_ptr<MouseOperation> MakeEyedropperTool(ToolController& tools);
std::unique_ptr<MouseOperation> MakeBrushTool(ToolController& tools);
std::unique_ptr<MouseOperation> MakeEraserTool(ToolController& tools);
std::unique_ptr<MouseOperation> MakeCloneTool(ToolController& tools);
std::unique_ptr<MouseOperation> MakeHealingBrushTool(ToolController& tools);
// Lighten/darken, sponge, blur or sharpen by tool id.
std::unique_ptr<MouseOperation> MakeRetouchTool(ToolController& tools, int id);
std::unique_ptr<MouseOperation> MakePatchTool(ToolController& tools);
std::unique_ptr<MouseOperation> MakeBucketTool(ToolController& tools);
std::unique_ptr<MouseOperation> MakeGradientTool(ToolController& tools);
std::unique_ptr<MouseOperation> MakeCurveTool(ToolController& tools);
std::unique_ptr<MouseOperation> MakeTextTool(ToolController& tools);
std::unique_ptr<MouseOperation> MakeFreeTransformTool(ToolController& tools);
// Puts the free-transform operation's frame over the view's current layer.
bool StartFreeTransform(MouseOperation& op, ImageView& view);

}  // namespace zelvo
