// The main window: the menus built from the command table, the options bar, the status bar with
// its six panes and the progress bar, the MDI area of the image windows, the five floating
// palettes, the Workspace and the three worker threads.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include <QList>
#include <QMainWindow>
#include <QStringList>

#include "app/CRecoveryDialog.h"
#include "app/WindowLayout.h"
#include "app/WorkerThreads.h"
#include "core/Types.h"
#include "doc/NewImage.h"
#include "workspace/Workspace.h"

class QAction;
class QDockWidget;
class QLabel;
class QMdiArea;
class QMdiSubWindow;
class QMenu;
class QProgressBar;
class QStackedWidget;
class QTimer;
class QUrl;
class QToolBar;

namespace zelvo {

class CChildFrame;
class CColorPalette;
class CHistoryPalette;
class CLayersPalette;
class CNavigatorPalette;
class COptionsBar;
class CTextEditBox;
class CTextToolUi;
class CToolsPalette;
class CZelvoApp;
class NavigatorTarget;
class Image;
class RecoveryJournal;
class StatusFeedback;
class ToolController;

class CMainFrame : public QMainWindow {
    Q_OBJECT
public:
    enum PaletteIndex { kNavigator = 0, kColor, kHistory, kLayers, kTools, kPaletteCount };
    struct PaletteSpec {
        const char* caption;
        int width;
        int height;
        int command;
    };
    // In creation order.
    static const PaletteSpec kPalettes[kPaletteCount];

    static constexpr int kPane0Width = 200;
    static constexpr int kPane1Width = 440;
    static constexpr int kPane2MinWidth = 200;
    static constexpr Rect kProgressRect{655, 2, 785, 18};
    static constexpr int kOptionsStripWidth = 2048;
    static constexpr int kOptionsStripHeight = 25;
    static constexpr int kOptionsStripMinWidth = 120;
    static constexpr int kCommandUiMs = 250;
    static constexpr int kPalettesSettleMs = 1500;

    struct Options {
        bool splash = true;
        std::optional<std::string> tempFolder;
    };

    explicit CMainFrame(CZelvoApp& app);
    ~CMainFrame() override;

    // The creation handler: bars, workspace, colour check, palettes, threads. False when the
    // program must not start (the user has been told why).
    bool Create(const Options& options);
    // Stops the threads and drops the feedback service without asking anything (the frame is
    // going away without its close, e.g. after a failed start).
    void ShutDown();

    // Maximised; without a window manager to do it, the frame still covers the screen.
    void ShowMaximised();

    Workspace& GetWorkspace() { return m_workspace; }
    WorkerShared& Shared() { return m_shared; }
    WorkerThreads* Threads() const { return m_threads.get(); }
    QMdiArea* MdiArea() const { return m_mdi; }

    // Menu commands.
    QAction* Action(int id) const;
    QMenu* Menu(const QString& path) const;
    void OnCommand(int id);
    // Enables, checks and names every command by its condition.
    void UpdateCommandUI();
    void UpdateRecentFiles();

    // Documents.
    CChildFrame* ActiveChild() const;
    QList<CChildFrame*> Children() const;  // open windows in creation order
    Image* ActiveImage() const;
    // New Image with a size the dialog gave: the window takes the first slot.
    CChildFrame* NewDocument(const NewImageSize& size);
    // Opens one file into the current slot and advances it.
    CChildFrame* OpenDocument(const std::string& path);
    // The window whose document was opened from or saved to `path` (the same file), or null.
    CChildFrame* FindDocument(const std::string& path) const;
    void ActivateChild(CChildFrame* child);
    void ResetNewWindowSlot();
    // The open queue: files opened one per tick of the tool poller in mode 1096.
    void QueueOpenFiles(const QStringList& files);
    int QueuedFiles() const { return int(m_openQueue.size()); }
    bool MayCloseDocuments() const;
    bool ClosingAll() const { return m_closingAll; }
    void SetClosingAll(bool on) { m_closingAll = on; }
    void OnChildClosed(CChildFrame* child);
    // Close All: true when every window closed.
    bool CloseAllDocuments();

    void Cascade();
    void Tile(bool horizontal);
    // The frame's client rectangle as the placement rules see it.
    Rect ClientRect() const;

    // Palettes.
    QDockWidget* Palette(int index) const { return m_palettes[index]; }
    CLayersPalette* LayersPalette() const { return m_layersPalette; }
    CHistoryPalette* HistoryPalette() const { return m_historyPalette; }
    CColorPalette* ColorPalette() const { return m_colorPalette; }
    CToolsPalette* ToolsPalette() const { return m_toolsPalette; }
    CNavigatorPalette* NavigatorPalette() const { return m_navigatorPalette; }
    // Points the Navigator at the active view (none while no document is open) and redraws it;
    // its thumbnail is rendered again when `always`, else only if the view was drawn since.
    void RefreshNavigator(bool always = true);
    // Floats the five palettes at their default places, below the menu bar and off one another.
    void ResetPaletteLocations();
    // At start: the places of the last run (kept on the screen), else the defaults.
    void ShowPalettesAtStart();
    void SavePaletteLocations() const;
    // The client area between the menu bar and the status bar, on the screen (screen
    // coordinates): the palettes' default and remembered places count from its top-left.
    Rect PaletteArea() const;
    // The part of it a palette is kept in: below the options bar too, whose fields it would hide.
    Rect PaletteKeepArea() const;
    // The room the shown palettes take at the sides of the image windows' area.
    SideMargins PaletteRoom() const;
    void ToggleAllPalettes();
    void TogglePalette(int index);
    // Repaints the palettes from the active document (`always` as for RefreshNavigator).
    void RefreshPalettes(bool always = true);
    // The active image window's view as the navigator sees it; null without a document.
    NavigatorTarget* ActiveNavigatorTarget() const;
    // A view's zoom, scroll position or picture changed.
    void OnViewChanged(CChildFrame* child);
    // A command changed `image` (its pixels, layers or canvas size): its window shows it anew.
    // Every menu and palette command ends here, so the view's redraw has one entry.
    void DocumentChanged(Image& image);

    // Tools: the frame's one tool controller, the options bar's pages, what a tool's event in
    // a view leaves to the frame.
    ToolController& Tools() const { return *m_tools; }
    // The text tool's open edit box, or null: Cut, Copy and Paste go to it while it is open.
    CTextEditBox* TextBox() const;
    COptionsBar* OptionsPages() const { return m_optionsPages; }
    void ShowToolPage(int tool);
    // The plain-cursor preference: set for this run and the next ones, every view's pointer
    // redrawn.
    void SetPlainCursors(bool on);
    // A tool may have changed the document of `child` (history, palettes, recovery journal).
    void OnToolActed(CChildFrame* child);
    // The right button in `child`'s view: sub-menu `subMenu` of the view's pop-up menu or the
    // brush pop-up (ContextChoice kinds).
    void ShowViewMenu(CChildFrame* child, int kind, int subMenu, const QPoint& global);
    // The layers palette's context menu: the Layer menu at `global`.
    void ShowLayerMenu(const QPoint& global);

    // Bars.
    QToolBar* OptionsBar() const { return m_optionsBar; }
    QStackedWidget* OptionsStrip() const { return m_optionsStrip; }
    QLabel* Pane(int index) const { return m_panes[index]; }
    QProgressBar* ProgressBar() const { return m_progress; }
    StatusFeedback* Feedback() const { return m_feedback.get(); }

    // Crash recovery: when a dead process left documents in its scratch file, asks whether to
    // recover them (each opens in a window of its own), discard them, or keep them for later.
    // Returns the choice; Later when there was nothing to offer.
    CRecoveryDialog::Choice OfferRecovery();
    RecoveryJournal* Journal() const { return m_journal.get(); }

    // Files dropped on the main window open like files named on the command line.
    void OpenDroppedUrls(const QList<QUrl>& urls);

    // The help page: the project's documentation.
    static QString HelpDocumentPath();

signals:
    // The active view zoomed, scrolled or drew anew (the navigator follows it).
    void activeViewChanged();
    // The current tool changed (the tool box follows).
    void toolChanged(int tool);

protected:
    void closeEvent(QCloseEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    bool CreateBars();
    void StartJournal();
    void BuildMenus();
    void RegisterCommands();
    void RegisterViewCommands();
    void ConnectViewThreads();
    void CreatePalettes();
    QSize ShowFloatingPalette(int index);
    void PlacePalette(int index, const Rect& place);
    void FollowFrame();
    void SetUpTools();
    void OnToolChanged(int tool);
    // The Move tool's and the free transform's pages, Ctrl+T, the preview (MainFrameMove).
    void SetUpMoveTools();
    void RegisterMoveCommands();
    // Layer > Anchor Point: the curve tool in one of its editing modes.
    void RegisterAnchorCommands();
    bool CommandEnabled(int id) const;
    // Buttons of a tool page that run a menu command carry its id in this property; they are
    // enabled with the command.
    static constexpr const char* kCommandProperty = "zelvoCommand";
    void UpdateToolPageButtons();
    void FollowFreeTransform();
    void StartThreads();
    void StopThreads();
    CChildFrame* AddChild(std::unique_ptr<class CZelvoDoc> doc, const Rect& slot);
    void OnActiveWindowChanged();
    void OnRefreshTick();
    void OnWorkerCommand(int id);
    void OnOpenQueueTick();
    void EndOpenQueue();

    // Command handlers.
    void OnFileNew();
    void OnFileOpen();
    void OnFileSave();
    void OnFileSaveAs();
    void OnClose();
    void OnPrintSetup();
    void OnSetupTempDisk();
    void OnAbout();
    void OnHelp();

    CZelvoApp& m_app;
    // Before the Workspace, which points at it, and after it in destruction.
    std::unique_ptr<ToolController> m_tools;
    CTextToolUi* m_textUi = nullptr;
    Workspace m_workspace;
    // After the workspace: it goes first, once every document has closed.
    std::unique_ptr<RecoveryJournal> m_journal;
    WorkerShared m_shared;
    std::unique_ptr<WorkerThreads> m_threads;
    std::unique_ptr<StatusFeedback> m_feedback;

    QMdiArea* m_mdi = nullptr;
    QToolBar* m_optionsBar = nullptr;
    QStackedWidget* m_optionsStrip = nullptr;
    COptionsBar* m_optionsPages = nullptr;
    std::shared_ptr<class TransformPreview> m_transformPreview;
    QLabel* m_panes[6] = {};
    QProgressBar* m_progress = nullptr;
    QDockWidget* m_palettes[kPaletteCount] = {};
    CLayersPalette* m_layersPalette = nullptr;
    CHistoryPalette* m_historyPalette = nullptr;
    CColorPalette* m_colorPalette = nullptr;
    CToolsPalette* m_toolsPalette = nullptr;
    CNavigatorPalette* m_navigatorPalette = nullptr;
    QTimer* m_commandUiTimer = nullptr;

    std::map<int, QAction*> m_actions;
    std::map<QString, QMenu*> m_menus;
    QAction* m_recentSeparator = nullptr;
    QList<QAction*> m_recentActions;
    std::map<int, std::function<void()>> m_handlers;
    std::map<int, std::function<bool()>> m_enablers;

    QList<CChildFrame*> m_children;
    QStringList m_openQueue;
    bool m_inOpenTick = false;
    bool m_closingAll = false;
    bool m_created = false;
    // Set while the frame settles after start (the window manager maximises it on its own
    // time): the palettes follow its client area until then.
    bool m_palettesFollowFrame = false;
    bool m_followQueued = false;
    Image* m_paletteImage = nullptr;
};

}  // namespace zelvo
