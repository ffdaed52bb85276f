// The Layer and Select menus.
#include "commands/DocumentRerender.h"
#include "commands/Families.h"
#include "layerops/AlignLayers.h"
#include "layerops/LayerCommands.h"
#include "selection/SelectionCommands.h"

namespace zelvo::commands {

namespace {

constexpr const char* kLayer = "&Layer";
constexpr const char* kAlign = "&Layer/Align Linked Layers";
constexpr const char* kDistribute = "&Layer/Distribute Linked Layers";
constexpr const char* kAnchor = "&Layer/Anchor Point";
constexpr const char* kSelect = "&Select";
constexpr const char* kModify = "&Select/Modify Selection";

CommandEntry LayerRow(LayerCommandId id, const char* text, const char* keys, const char* verb) {
    return OnDocument(
        id, kLayer, text, keys, verb,
        [id](const CommandContext& c) { return LayerCommandEnabled(id, c.History()); },
        [id](CommandContext& c, const CommandValues&) {
            return RunLayerCommand(id, *c.History());
        });
}

CommandEntry SelectRow(int id, const char* menu, const char* text, const char* keys,
                       const char* verb, SelectionCommand command, Run run) {
    return OnDocument(
        id, menu, text, keys, verb,
        [command](const CommandContext& c) {
            return SelectionCommandEnabled(command, *c.History());
        },
        std::move(run));
}

Run Plain(int (*command)(HistoryManager&)) {
    return [command](CommandContext& c, const CommandValues&) { return command(*c.History()); };
}

Run WithValue(int (*command)(HistoryManager&, int32_t)) {
    return [command](CommandContext& c, const CommandValues& v) {
        return command(*c.History(), v.at(0));
    };
}

}  // namespace

CommandFamily LayerFamily() {
    CommandFamily f{
        "layer",
        {
            LayerRow(kCmdNewLayer, "New Layer", "", "layer new"),
            LayerRow(kCmdDuplicateLayer, "Duplicate Layer", "", "layer duplicate"),
            LayerRow(kCmdDeleteLayer, "Delete Layer", "", "layer delete"),
            Separator(kLayer),
            LayerRow(kCmdMoveUp, "Move Up Layer", "", "layer up"),
            LayerRow(kCmdMoveDown, "Move Down Layer", "", "layer down"),
            Separator(kLayer),
            LayerRow(kCmdMergeLinked, "Merge Linked Layers", "Ctrl+E", "layer merge-linked"),
            LayerRow(kCmdMergeVisible, "Merge Visible Layers", "Ctrl+Shift+E",
                     "layer merge-visible"),
            LayerRow(kCmdMergeAll, "Merge All Layers", "", "layer merge-all"),
            Separator(kLayer),
            LayerRow(kCmdClearBorder, "Clear transparent layer border", "", "layer clear-border"),
            LayerRow(kCmdRasterize, "Rasterize——Text Layer、Curve Layer", "", "layer rasterize"),
            Separator(kLayer),
        }};
    // The anchor commands belong to the curve tool.
    static constexpr const char* kEdges[6] = {"Top Edges",  "Vertical Centers",   "Bottom Edges",
                                              "Left Edges", "Horizontal Centers", "Right Edges"};
    static constexpr const char* kAlignVerbs[6] = {"align top",  "align vcenter", "align bottom",
                                                   "align left", "align hcenter", "align right"};
    static constexpr const char* kDistributeVerbs[6] = {"distribute top",     "distribute vcenter",
                                                        "distribute bottom",  "distribute left",
                                                        "distribute hcenter", "distribute right"};
    for (int i = 0; i < 6; ++i) {
        const LayerEdge edge = LayerEdge(i);
        f.entries.push_back(OnDocument(
            kIdAlignTop + i, kAlign, kEdges[i], "", kAlignVerbs[i],
            [](const CommandContext& c) { return AlignEnabled(*c.History()); },
            [edge](CommandContext& c, const CommandValues&) {
                return AlignLinkedLayers(*c.History(), edge);
            }));
    }
    for (int i = 0; i < 6; ++i) {
        const LayerEdge edge = LayerEdge(i);
        f.entries.push_back(OnDocument(
            kIdDistributeTop + i, kDistribute, kEdges[i], "", kDistributeVerbs[i],
            [](const CommandContext& c) { return DistributeEnabled(*c.History()); },
            [edge](CommandContext& c, const CommandValues&) {
                return DistributeLinkedLayers(*c.History(), edge);
            }));
    }
    f.entries.push_back(FrontEnd(kIdSelectAnchor, kAnchor, "Select Anchor Point"));
    f.entries.push_back(FrontEnd(kIdConvertAnchor, kAnchor, "Convert Anchor Point"));
    f.entries.push_back(FrontEnd(kIdAddAnchor, kAnchor, "Add Anchor Point"));
    f.entries.push_back(FrontEnd(kIdDeleteAnchor, kAnchor, "Delete Anchor Point"));
    return f;
}

CommandFamily SelectFamily() {
    using C = SelectionCommand;
    return {"select",
            {
                SelectRow(kIdSelectAll, kSelect, "Select All", "Ctrl+A", "select all", C::SelectAll,
                          Plain(SelectAll)),
                SelectRow(kIdDeselect, kSelect, "Deselect", "Ctrl+D", "select none", C::Deselect,
                          Plain(Deselect)),
                SelectRow(kIdReselect, kSelect, "Reselect", "Ctrl+Shift+D", "select reselect",
                          C::Reselect, Plain(Reselect)),
                SelectRow(kIdInverse, kSelect, "Inverse", "Ctrl+Shift+I", "select inverse",
                          C::Inverse, Plain(InverseSelection)),
                Separator(kSelect),
                WithValues(SelectRow(kIdFeather, kSelect, "Feather...", "Ctrl+Alt+D",
                                     "select feather", C::Feather, WithValue(FeatherSelection)),
                           "radius", "2"),
                WithValues(SelectRow(kIdExpand, kModify, "Expand", "", "select expand", C::Expand,
                                     WithValue(ExpandSelection)),
                           "pixels", "1"),
                WithValues(SelectRow(kIdContract, kModify, "Contract", "", "select contract",
                                     C::Contract, WithValue(ContractSelection)),
                           "pixels", "1"),
                Separator(kSelect),
                SelectRow(kIdLayerToSelection, kSelect, "Layer Convert to Selection", "",
                          "select layer", C::LayerToSelection,
                          [](CommandContext& c, const CommandValues&) {
                              DocumentRerender rerender;
                              return LayerToSelection(*c.History(), &rerender);
                          }),
            }};
}

}  // namespace zelvo::commands
