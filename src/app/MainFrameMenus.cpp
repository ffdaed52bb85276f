// The main frame's menus: actions from the command table, the handlers and the conditions
// that enable them, the recent files, and the File and Help commands.
#include <QAction>
#include <QDesktopServices>
#include <QDockWidget>
#include <QFileInfo>
#include <QLabel>
#include <QMdiArea>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>
#include <QToolBar>
#include <QUrl>

#include "app/AppCommands.h"
#include "app/CAboutDialog.h"
#include "app/CChildFrame.h"
#include "app/CMainFrame.h"
#include "app/CNewImageDialog.h"
#include "app/CPrintPreviewDialog.h"
#include "app/CTempDiskDialog.h"
#include "app/CZelvoApp.h"
#include "app/CZelvoView.h"
#include "app/FileDialogs.h"
#include "app/MainFrameCommands.h"
#include "doc/Image.h"
#include "history/HistoryCommands.h"
#include "platform/Messages.h"
#include "recovery/RecoveryJournal.h"
#include "tools/ToolController.h"
#include "view/DisplayRefresher.h"

namespace zelvo {

namespace {

// A name shown in a menu keeps its "&": alone it would mark the next letter as the shortcut.
QString MenuSafe(QString name) {
    return name.replace('&', QStringLiteral("&&"));
}

}  // namespace

void CMainFrame::BuildMenus() {
    for (const MenuCommand& c : MenuCommands()) {
        const QString path = QString::fromStdString(c.menu);
        QMenu* menu = Menu(path);
        if (!menu) {
            QString sofar;
            QMenu* parent = nullptr;
            for (const QString& part : path.split('/')) {
                sofar = sofar.isEmpty() ? part : sofar + "/" + part;
                QMenu* m = Menu(sofar);
                if (!m) {
                    m = parent ? parent->addMenu(part) : menuBar()->addMenu(part);
                    m_menus[sofar] = m;
                }
                parent = m;
            }
            menu = parent;
        }
        if (c.id == 0) {
            menu->addSeparator();
            continue;
        }
        auto* action = new QAction(QString::fromStdString(c.text), this);
        action->setData(c.id);
        QList<QKeySequence> keys;
        for (const QString& k : QString::fromStdString(c.keys).split(';', Qt::SkipEmptyParts))
            keys.append(QKeySequence(k));
        action->setShortcuts(keys);
        // Palettes float in windows of their own; the keys work over them too.
        action->setShortcutContext(Qt::ApplicationShortcut);
        action->setEnabled(false);
        const int id = c.id;
        connect(action, &QAction::triggered, this, [this, id] { OnCommand(id); });
        menu->addAction(action);
        m_actions[id] = action;
        // The Window menu's palette and bar entries show whether they are visible.
        if (id == kIdOptionsBar || id == kIdStatusBar || id == kIdPlainCursors ||
            (id >= kIdToolsPalette && id <= kIdNavigatorPalette))
            action->setCheckable(true);
    }
    // The recent files sit above Exit.
    if (QMenu* file = Menu("&File")) {
        m_recentSeparator = file->insertSeparator(Action(kIdExit));
        for (int i = 0; i < CZelvoApp::kRecentFileCount; ++i) {
            auto* action = new QAction(this);
            const int id = kIdRecentFile1 + i;
            action->setData(id);
            action->setVisible(false);
            connect(action, &QAction::triggered, this, [this, id] { OnCommand(id); });
            file->insertAction(m_recentSeparator, action);
            m_recentActions.append(action);
            m_actions[id] = action;
        }
    }
    // The Window menu ends with the open image windows.
    if (QMenu* window = Menu("&Window")) {
        connect(window, &QMenu::aboutToShow, this, [this, window] {
            for (QAction* a : window->actions())
                if (a->property("zelvoWindowEntry").toBool()) {
                    window->removeAction(a);
                    a->deleteLater();
                }
            const QList<CChildFrame*> open = Children();
            if (open.isEmpty()) return;
            QAction* separator = window->addSeparator();
            separator->setProperty("zelvoWindowEntry", true);
            int n = 0;
            for (CChildFrame* child : open) {
                QAction* a = window->addAction(
                    QString("&%1 %2").arg(++n).arg(MenuSafe(child->windowTitle())));
                a->setProperty("zelvoWindowEntry", true);
                a->setCheckable(true);
                a->setChecked(child == ActiveChild());
                connect(a, &QAction::triggered, this, [this, child] {
                    // A minimised window chosen here comes back to be worked in.
                    if (Children().contains(child)) ActivateChild(child);
                });
            }
        });
    }
    for (auto& [path, menu] : m_menus) {
        QMenu* m = menu;
        connect(m, &QMenu::aboutToShow, this, [this] { UpdateCommandUI(); });
    }
    UpdateRecentFiles();
}

QAction* CMainFrame::Action(int id) const {
    auto it = m_actions.find(id);
    return it == m_actions.end() ? nullptr : it->second;
}

QMenu* CMainFrame::Menu(const QString& path) const {
    auto it = m_menus.find(path);
    return it == m_menus.end() ? nullptr : it->second;
}

void CMainFrame::RegisterCommands() {
    auto always = [] { return true; };
    auto haveDoc = [this] { return ActiveChild() != nullptr; };
    auto anyDoc = [this] { return !Children().isEmpty(); };
    auto add = [this](int id, std::function<void()> handler, std::function<bool()> enabled) {
        m_handlers[id] = std::move(handler);
        m_enablers[id] = std::move(enabled);
    };

    add(
        kIdFileNew, [this] { OnFileNew(); }, always);
    add(
        kIdFileOpen, [this] { OnFileOpen(); }, always);
    add(
        kIdFileSave, [this] { OnFileSave(); }, haveDoc);
    add(
        kIdFileSaveAs, [this] { OnFileSaveAs(); }, haveDoc);
    add(
        kIdClose, [this] { OnClose(); }, haveDoc);
    add(
        kIdCloseAll, [this] { CloseAllDocuments(); }, anyDoc);
    add(
        kIdPrintSetup, [this] { OnPrintSetup(); }, always);
    auto printPreview = [this] {
        if (Image* image = ActiveImage()) RunPrintPreview(*image, this);
    };
    add(kIdPrintWithPreview, printPreview, haveDoc);
    add(kIdFilePrintPreview, printPreview, haveDoc);
    add(
        kIdFilePrint,
        [this] {
            if (Image* image = ActiveImage()) RunPrintDirect(*image, this);
        },
        haveDoc);
    add(
        kIdExit, [this] { close(); }, always);
    for (int i = 0; i < CZelvoApp::kRecentFileCount; ++i)
        add(
            kIdRecentFile1 + i, [this, i] { m_app.OpenRecentFile(i); },
            [this, i] { return i < m_app.RecentFiles().size(); });

    add(
        kIdSetupTempDisk, [this] { OnSetupTempDisk(); }, always);

    add(
        kIdOptionsBar, [this] { m_optionsBar->setVisible(m_optionsBar->isHidden()); }, always);
    add(
        kIdStatusBar, [this] { statusBar()->setVisible(statusBar()->isHidden()); }, always);
    add(
        kIdPlainCursors, [this] { SetPlainCursors(!m_tools->PlainCursors()); }, always);
    add(
        kIdCascade, [this] { Cascade(); }, anyDoc);
    add(
        kIdTileHorizontal, [this] { Tile(true); }, anyDoc);
    add(
        kIdTileVertical, [this] { Tile(false); }, anyDoc);
    add(
        kIdTogglePalettes, [this] { ToggleAllPalettes(); }, always);
    add(
        kIdResetPalettes, [this] { ResetPaletteLocations(); }, always);
    for (int p = 0; p < kPaletteCount; ++p)
        add(
            kPalettes[p].command, [this, p] { TogglePalette(p); }, always);
    add(
        kIdHelp, [this] { OnHelp(); }, always);
    RegisterViewCommands();
    RegisterMoveCommands();
    RegisterAnchorCommands();
    add(
        kIdAbout, [this] { OnAbout(); }, always);

    // The engine's commands, from the command tables.
    RegisterTableCommands(*this, add);
}

namespace {

// Commands that leave every document alone: a tool's work in progress (a frame being
// transformed, text being typed) stays open through them.
bool LeavesDocumentsAlone(int id) {
    switch (id) {
        case kIdPrintSetup:
        case kIdAbout:
        case kIdHelp:
        case kIdSetupTempDisk:
        case kIdOptionsBar:
        case kIdStatusBar:
        case kIdPlainCursors:
        case kIdTogglePalettes:
        case kIdResetPalettes:
        case kIdCascade:
        case kIdTileHorizontal:
        case kIdTileVertical:
        case kIdToolsPalette:
        case kIdLayersPalette:
        case kIdHistoryPaletteToggle:
        case kIdColorPalette:
        case kIdNavigatorPalette:
            return true;
        default:
            return false;
    }
}

// New, Open and the recent files wait for the tool, as Zoom In and Zoom Out do.
bool WaitsForTheTool(int id) {
    return id == kIdZoomIn || id == kIdZoomOut || id == kIdFileNew || id == kIdFileOpen ||
           (id >= kIdRecentFile1 && id < kIdRecentFile1 + CZelvoApp::kRecentFileCount);
}

}  // namespace

void CMainFrame::OnCommand(int id) {
    // Whatever a tool has in progress ends as at its release before a command acts on a
    // document; the text box's own Cut, Copy and Paste leave its edit open.
    const bool toTextBox =
        TextBox() && (id == kIdEditCut || id == kIdEditCopy || id == kIdEditPaste);
    if (m_tools->IsBusy() && WaitsForTheTool(id)) return;
    if (m_tools->IsBusy() && !toTextBox && !LeavesDocumentsAlone(id)) {
        m_tools->EndPendingInteraction();
        for (CChildFrame* child : Children()) child->View()->viewport()->update();
    }
    auto enabled = m_enablers.find(id);
    auto handler = m_handlers.find(id);
    // A command without a handler is not in the program yet and never runs.
    if (handler == m_handlers.end() || (enabled != m_enablers.end() && !enabled->second())) return;
    handler->second();
    UpdateCommandUI();
    RefreshPalettes();
}

void CMainFrame::DocumentChanged(Image& image) {
    // The same path the display refresher takes: the request is served at once (a view whose
    // canvas took another size lays itself out anew first).
    image.RequestRender(1);
    OnRefreshTick();
    // A command that changed the document without a history state (the current layer, say)
    // still reaches the recovery journal.
    if (m_journal) m_journal->Refresh();
    if (CChildFrame* child = ActiveChild(); child && &child->GetImage() == &image)
        child->View()->ShowRatio();
}

void CMainFrame::UpdateCommandUI() {
    for (auto& [id, action] : m_actions) {
        auto enabled = m_enablers.find(id);
        action->setEnabled(enabled != m_enablers.end() && enabled->second());
    }
    Image* image = ActiveImage();
    if (QAction* undo = Action(kCmdUndoRedo))
        undo->setText(
            QString::fromStdString(UndoRedoState(image ? &image->History() : nullptr).text));
    for (int p = 0; p < kPaletteCount; ++p)
        if (QAction* a = Action(kPalettes[p].command); a && m_palettes[p])
            a->setChecked(!m_palettes[p]->isHidden());
    if (QAction* a = Action(kIdOptionsBar)) a->setChecked(!m_optionsBar->isHidden());
    if (QAction* a = Action(kIdStatusBar)) a->setChecked(!statusBar()->isHidden());
    if (QAction* a = Action(kIdPlainCursors)) a->setChecked(m_tools->PlainCursors());
    UpdateToolPageButtons();
}

void CMainFrame::UpdateRecentFiles() {
    const QStringList files = m_app.RecentFiles();
    for (int i = 0; i < m_recentActions.size(); ++i) {
        QAction* a = m_recentActions[i];
        const bool used = i < files.size();
        a->setVisible(used);
        a->setEnabled(used);
        if (used)
            a->setText(QString("&%1 %2").arg(i + 1).arg(MenuSafe(QFileInfo(files[i]).fileName())));
    }
    if (m_recentSeparator) m_recentSeparator->setVisible(!files.isEmpty());
}

void CMainFrame::OnFileNew() {
    if (!m_app.TakeNewDocumentRequest()) return;
    if (m_shared.busyMode.load() != 0) return;
    CNewImageDialog dialog(this);
    if (dialog.exec() != QDialog::Accepted || !dialog.Result()) return;
    NewDocument(*dialog.Result());
}

void CMainFrame::OnFileOpen() {
    if (m_shared.busyMode.load() != 0) return;
    const QStringList files = RunOpenDialog(this, QString::fromStdString(m_app.LastFolder()));
    if (files.isEmpty()) {
        AppMessages().Show("Did not select the file!");
        return;
    }
    QueueOpenFiles(files);
    Pane(0)->setText(QString::fromUtf8("Alt + mouse wheel，zoom display image."));
}

void CMainFrame::OnFileSave() {
    if (CChildFrame* child = ActiveChild()) child->Doc().DoSave(this);
}

void CMainFrame::OnFileSaveAs() {
    if (CChildFrame* child = ActiveChild()) child->Doc().DoSaveAs(this);
}

void CMainFrame::OnClose() {
    if (!MayCloseDocuments()) return;
    if (CChildFrame* child = ActiveChild()) child->close();
}

void CMainFrame::OnPrintSetup() {
    RunPageSetup(this);
}

void CMainFrame::OnSetupTempDisk() {
    CTempDiskDialog dialog(AppDisks(), m_workspace.TempFolder(), this);
    dialog.exec();
}

void CMainFrame::OnAbout() {
    CAboutDialog dialog(this);
    dialog.exec();
}

void CMainFrame::OnHelp() {
    const QString path = HelpDocumentPath();
    if (path.isEmpty() || !QDesktopServices::openUrl(QUrl::fromLocalFile(path)))
        AppMessages().Show("The help page could not be opened.");
}

}  // namespace zelvo
