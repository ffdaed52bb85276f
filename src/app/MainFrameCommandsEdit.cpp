// The Select menu and the Edit menu's Cut, Copy, Paste, Clean up the clipboard, Clear, Draw
// Border and Transform items.
#include "app/AppCommands.h"
#include "app/CColorPalette.h"
#include "app/CDrawBorderDialog.h"
#include "app/CMainFrame.h"
#include "app/CSelectionPixelsDialog.h"
#include "app/MainFrameCommands.h"
#include "clipboard/ClipboardCommands.h"
#include "doc/Image.h"
#include "geometry/Geometry.h"
#include "geometry/TransformLayer.h"
#include "layerops/LayerStack.h"
#include "platform/QtClipboard.h"

namespace zelvo {

namespace {

constexpr const char* kSelect = "&Select";
constexpr const char* kModify = "&Select/Modify Selection";
constexpr const char* kEdit = "&Edit";
constexpr const char* kTransform = "&Edit/Transform";

// The last copy rectangle, one for the whole run of the frame.
ClipboardState& FrameClipboardState() {
    static ClipboardState state;
    return state;
}

std::function<bool()> SelectionEnabled(CMainFrame& frame, SelectionCommand command) {
    return WhenActiveImage(
        frame, [command](HistoryManager& h) { return SelectionCommandEnabled(command, h); });
}

void RegisterSelect(CMainFrame& frame, const AddCommand& add) {
    using C = SelectionCommand;
    auto plain = [&](const char* menu, const char* text, C command, int (*run)(HistoryManager&)) {
        add(MenuId(menu, text), OnActiveImage(frame, [run](Image& image) { run(image.History()); }),
            SelectionEnabled(frame, command));
    };
    plain(kSelect, "Select All", C::SelectAll, SelectAll);
    plain(kSelect, "Deselect", C::Deselect, Deselect);
    plain(kSelect, "Reselect", C::Reselect, Reselect);
    plain(kSelect, "Inverse", C::Inverse, InverseSelection);
    add(MenuId(kSelect, "Layer Convert to Selection"),
        OnActiveImage(frame,
                      [](Image& image) {
                          DocumentRerender rerender;
                          LayerToSelection(image.History(), &rerender);
                      }),
        SelectionEnabled(frame, C::LayerToSelection));

    add(MenuId(kSelect, "Feather..."),
        OnActiveImage(frame,
                      [&frame](Image& image) {
                          CFeatherDialog dialog(&frame);
                          if (dialog.exec() != QDialog::Accepted || !dialog.Result()) return;
                          FeatherSelection(image.History(), *dialog.Result());
                      }),
        SelectionEnabled(frame, C::Feather));
    for (bool contract : {false, true})
        add(MenuId(kModify, contract ? "Contract" : "Expand"),
            OnActiveImage(frame,
                          [&frame, contract](Image& image) {
                              CExpandContractDialog dialog(contract, &frame);
                              if (dialog.exec() != QDialog::Accepted || !dialog.Result()) return;
                              if (contract)
                                  ContractSelection(image.History(), *dialog.Result());
                              else
                                  ExpandSelection(image.History(), *dialog.Result());
                          }),
            SelectionEnabled(frame, contract ? C::Contract : C::Expand));
}

void RegisterEdit(CMainFrame& frame, const AddCommand& add) {
    add(kIdEditCopy,
        OnActiveImage(frame,
                      [](Image& image) {
                          CopySelection(image.History(), AppClipboard(), FrameClipboardState());
                      }),
        WhenActiveImage(frame, [](HistoryManager& h) { return CopyEnabled(h); }));
    add(kIdEditCut,
        OnActiveImage(frame,
                      [](Image& image) {
                          CutSelection(image.History(), AppClipboard(), FrameClipboardState());
                      }),
        WhenActiveImage(frame, [](HistoryManager& h) { return CopyEnabled(h); }));
    add(kIdEditPaste,
        OnActiveImage(frame,
                      [](Image& image) {
                          HistoryManager& h = image.History();
                          PasteClipboard(h, AppClipboard(), FrameClipboardState(),
                                         [&h](int32_t w, int32_t height) {
                                             return PasteAsLayer(h, w, height);
                                         });
                      }),
        WhenActiveImage(frame, [](HistoryManager&) { return PasteEnabled(AppClipboard()); }));
    add(
        MenuId(kEdit, "Clean up the clipboard"), [] { CleanClipboard(AppClipboard()); },
        [] { return true; });

    add(MenuId(kEdit, "Clear"),
        OnActiveImage(frame, [](Image& image) { ClearSelection(image.History()); }),
        SelectionEnabled(frame, SelectionCommand::Clear));
    add(MenuId(kEdit, "Draw Border"),
        OnActiveImage(frame,
                      [&frame](Image& image) {
                          CColorPalette* colors = frame.ColorPalette();
                          const ColorRef foreground = colors ? colors->Foreground() : 0;
                          CDrawBorderDialog dialog(foreground, &frame);
                          if (dialog.exec() != QDialog::Accepted || !dialog.Result()) return;
                          const DrawBorderValues values = *dialog.Result();
                          if (colors) colors->SetColors(values.color, colors->Background());
                          DrawBorder(image.History(), values.width, values.color, values.opacity);
                      }),
        SelectionEnabled(frame, SelectionCommand::DrawBorder));

    for (const TurnEntry& turn : kTurnEntries) {
        const int code = turn.code;
        add(MenuId(kTransform, turn.text),
            OnActiveImage(frame, [code](Image& image) { TransformLayer(image.History(), code); }),
            WhenActiveImage(frame, [](HistoryManager& h) {
                return GeometryCommandEnabled(GeometryCommand::TransformLayer, h);
            }));
    }
}

}  // namespace

void RegisterSelectAndEditCommands(CMainFrame& frame, const AddCommand& add) {
    // The program's own bitmap goes through the system clipboard; the copy rectangle starts
    // empty with each frame.
    static QtClipboard clipboard;
    SetAppClipboard(&clipboard);
    FrameClipboardState() = ClipboardState{};
    RegisterSelect(frame, add);
    RegisterEdit(frame, add);
}

}  // namespace zelvo
