#include "app/CMainFrame.h"

#include <algorithm>
#include <chrono>
#include <thread>

#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QMdiArea>
#include <QMimeData>
#include <QProgressBar>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QStackedWidget>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QWheelEvent>

#include "app/AppCommands.h"
#include "app/CChildFrame.h"
#include "app/CHistoryPalette.h"
#include "app/CLayersPalette.h"
#include "app/CStartupDialog.h"
#include "app/CZelvoApp.h"
#include "app/CZelvoView.h"
#include "app/FileDialogs.h"
#include "app/OutlinePause.h"
#include "app/StartupRules.h"
#include "app/StatusFeedback.h"
#include "doc/Image.h"
#include "recovery/RecoveryJournal.h"
#include "tools/ToolController.h"

namespace zelvo {

namespace {

// The window of the options strip: clips the strip to the bar's width; the wheel moves it
// sideways.
class StripWindow : public QScrollArea {
public:
    using QScrollArea::QScrollArea;

protected:
    void wheelEvent(QWheelEvent* event) override {
        const QPoint d = event->angleDelta();
        QScrollBar* bar = horizontalScrollBar();
        bar->setValue(bar->value() - (d.x() != 0 ? d.x() : d.y()) / 2);
        event->accept();
    }
};

// Keeps the progress bar just after pane 1 while pane 0 widens for a hint longer than its 200
// pixels and narrows again.
class ProgressFollower : public QObject {
public:
    ProgressFollower(QLabel* pane0, QProgressBar* progress, const Rect& place)
        : QObject(pane0), m_progress(progress), m_place(place) {
        pane0->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Resize) {
            const int grown = static_cast<QWidget*>(watched)->width() - CMainFrame::kPane0Width;
            m_progress->move(m_place.left + std::max(0, grown), m_place.top);
        }
        return false;
    }

private:
    QProgressBar* m_progress;
    Rect m_place;
};

}  // namespace

const CMainFrame::PaletteSpec CMainFrame::kPalettes[kPaletteCount] = {
    {"Navigator F8", 200, 150, 32916}, {"Color F7", 200, 150, 32915},
    {"History F6", 200, 130, 32914},   {"Layers F5", 200, 200, 32913},
    {"Tools F4", 88, 580, 32912},
};

CMainFrame::CMainFrame(CZelvoApp& app) : m_app(app), m_tools(std::make_unique<ToolController>()) {
    setWindowTitle("Zelvo");
    setObjectName("MainFrame");
}

CMainFrame::~CMainFrame() {
    ShutDown();
    // The image windows go first, while the Workspace their images live in is still here, and
    // without telling a frame that is half gone.
    if (m_mdi) {
        m_mdi->disconnect(this);
        for (CChildFrame* child : m_children) child->disconnect(this);
        m_children.clear();
        m_paletteImage = nullptr;
        if (m_layersPalette) m_layersPalette->SetDocument(nullptr);
        if (m_historyPalette) m_historyPalette->SetDocument(nullptr);
        delete m_mdi;
        m_mdi = nullptr;
    }
}

bool CMainFrame::Create(const Options& options) {
    // 1-2. The bars and the progress bar.
    m_mdi = new QMdiArea(this);
    m_mdi->setBackground(palette().color(QPalette::Dark));
    setCentralWidget(m_mdi);
    if (!CreateBars()) return false;
    SetUpTools();
    BuildMenus();
    RegisterCommands();
    // 3. Docking on all sides.
    setDockOptions(QMainWindow::AnimatedDocks | QMainWindow::AllowNestedDocks);

    // 4. The Workspace: the screen, the start-up dialog, the store and the shared blocks.
    if (QScreen* screen = QGuiApplication::primaryScreen())
        m_workspace.SetScreenSize(screen->geometry().width(), screen->geometry().height());
    std::unique_ptr<CStartupDialog> splash;
    const auto shownAt = std::chrono::steady_clock::now();
    if (options.splash) {
        ShowMaximised();
        splash = std::make_unique<CStartupDialog>(m_workspace.ScreenWidth(),
                                                  m_workspace.ScreenHeight(), this);
        splash->show();
        QCoreApplication::processEvents();
    }
    if (!m_workspace.Setup(options.tempFolder)) return false;
    StartJournal();
    if (splash) {
        // The start-up dialog stays up about five seconds, but never waits more than three.
        const auto spent = std::chrono::duration_cast<std::chrono::milliseconds>(
            std::chrono::steady_clock::now() - shownAt);
        const int wait = StartupWaitMs(spent.count());
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(wait);
        while (std::chrono::steady_clock::now() < end) {
            QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents, 20);
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    CreatePalettes();
    if (splash) splash->hide();
    splash.reset();

    // 5. The colour depth.
    if (QScreen* screen = QGuiApplication::primaryScreen()) CheckColorDepth(screen->depth());

    // 6. The workers; the outline stands still while a frame is moved or sized.
    StartThreads();
    new OutlinePause(*this, m_shared.animatorState);

    connect(m_mdi, &QMdiArea::subWindowActivated, this, [this] { OnActiveWindowChanged(); });
    m_commandUiTimer = new QTimer(this);
    // The thumbnail reads rows of every layer: an idle tick leaves it as it is.
    connect(m_commandUiTimer, &QTimer::timeout, this, [this] {
        UpdateCommandUI();
        RefreshPalettes(false);
    });
    m_commandUiTimer->start(kCommandUiMs);
    m_created = true;
    return true;
}

void CMainFrame::ShowMaximised() {
    // Already shown behind the start-up dialog: the screen's rectangle set again would become
    // the client area, and the window manager's title bar would push the status bar off screen.
    if (isVisible()) return;
    if (QScreen* screen = QGuiApplication::primaryScreen())
        setGeometry(screen->availableGeometry());
    showMaximized();
}

bool CMainFrame::CreateBars() {
    m_optionsBar = new QToolBar("Options", this);
    m_optionsBar->setObjectName("OptionsBar");
    m_optionsBar->setMovable(false);
    // The strip keeps its width inside a window that clips it, so the bar never widens the
    // frame; the wheel scrolls it sideways.
    auto* window = new StripWindow(m_optionsBar);
    window->setObjectName("OptionsStripWindow");
    window->setFrameShape(QFrame::NoFrame);
    window->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    window->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    window->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    window->setFixedHeight(kOptionsStripHeight);
    window->setMinimumWidth(kOptionsStripMinWidth);
    m_optionsStrip = new QStackedWidget(window);
    m_optionsStrip->setFixedSize(kOptionsStripWidth, kOptionsStripHeight);
    // One page per tool arrives with the tools; until then the strip is empty.
    m_optionsStrip->addWidget(new QWidget(m_optionsStrip));
    window->setWidget(m_optionsStrip);
    m_optionsBar->addWidget(window);
    addToolBar(Qt::TopToolBarArea, m_optionsBar);

    QStatusBar* bar = statusBar();
    bar->setObjectName("StatusBar");
    bar->setSizeGripEnabled(true);
    for (int i = 0; i < 3; ++i) {
        m_panes[i] = new QLabel(bar);
        m_panes[i]->setFrameShape(QFrame::Panel);
        m_panes[i]->setFrameShadow(QFrame::Sunken);
    }
    // Pane 0 widens to show a whole tool hint while the window has room for it.
    m_panes[0]->setMinimumWidth(kPane0Width);
    m_panes[0]->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    m_panes[1]->setFixedWidth(kPane1Width);
    m_panes[2]->setMinimumWidth(kPane2MinWidth);
    bar->addWidget(m_panes[0]);
    bar->addWidget(m_panes[1]);
    bar->addWidget(m_panes[2], 1);
    const char* keys[3] = {"CAP", "NUM", "SCRL"};
    for (int i = 0; i < 3; ++i) {
        m_panes[3 + i] = new QLabel(keys[i], bar);
        m_panes[3 + i]->setFrameShape(QFrame::Panel);
        m_panes[3 + i]->setFrameShadow(QFrame::Sunken);
        // The key states cannot be read portably; the indicators stay greyed.
        m_panes[3 + i]->setEnabled(false);
        bar->addPermanentWidget(m_panes[3 + i]);
    }
    m_progress = new QProgressBar(bar);
    m_progress->setRange(0, 100);
    m_progress->setValue(0);
    m_progress->setTextVisible(false);
    m_progress->setGeometry(kProgressRect.left, kProgressRect.top, kProgressRect.Width(),
                            kProgressRect.Height());
    m_progress->raise();
    new ProgressFollower(m_panes[0], m_progress, kProgressRect);
    m_feedback = std::make_unique<StatusFeedback>(m_progress, m_panes[0]);
    SetAppFeedback(m_feedback.get());
    return true;
}

void CMainFrame::StartThreads() {
    WorkerThreads::Posts posts;
    // Workers only post; the lambdas below run on the GUI thread.
    posts.sendCommand = [this](int id) {
        QMetaObject::invokeMethod(
            this, [this, id] { OnWorkerCommand(id); }, Qt::QueuedConnection);
    };
    posts.refresh = [this] {
        QMetaObject::invokeMethod(
            this, [this] { OnRefreshTick(); }, Qt::QueuedConnection);
    };
    m_threads = std::make_unique<WorkerThreads>(m_workspace, m_shared, std::move(posts));
    ConnectViewThreads();
    m_threads->Start();
}

void CMainFrame::StopThreads() {
    m_workspace.SetRunning(false);
    if (m_threads) m_threads->Stop();
}

void CMainFrame::ShutDown() {
    StopThreads();
    if (m_workspace.Tools() == m_tools.get()) m_workspace.SetTools(nullptr);
    if (m_commandUiTimer) m_commandUiTimer->stop();
    if (m_feedback && &AppFeedback() == m_feedback.get()) SetAppFeedback(nullptr);
}

void CMainFrame::OnRefreshTick() {
    m_shared.refreshPending.store(false, std::memory_order_release);
    // Requests the images stored themselves go to the refresher with the layer list.
    for (CChildFrame* child : Children()) child->View()->ServePending();
}

void CMainFrame::OnWorkerCommand(int id) {
    if (id == kIdOpenQueueTick) OnOpenQueueTick();
}

void CMainFrame::closeEvent(QCloseEvent* event) {
    // A running print preview closes by itself only.
    if (m_workspace.IsPrinting()) {
        event->accept();
        return;
    }
    if (!MayCloseDocuments()) {
        event->ignore();
        return;
    }
    if (!CloseAllDocuments()) {
        event->ignore();
        return;
    }
    m_workspace.SetRunning(false);
    SavePaletteLocations();
    m_workspace.SetPalettesShown(true);
    ToggleAllPalettes();
    hide();
    StopThreads();
    event->accept();
}

void CMainFrame::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void CMainFrame::dropEvent(QDropEvent* event) {
    const QList<QUrl> urls = event->mimeData()->urls();
    event->acceptProposedAction();
    OpenDroppedUrls(urls);
}

void CMainFrame::OpenDroppedUrls(const QList<QUrl>& urls) {
    for (const QUrl& url : urls)
        if (std::string path = LocalFileBytes(url); !path.empty()) m_app.OpenDocumentFile(path);
}

QString CMainFrame::HelpDocumentPath() {
    for (const QString& dir : {QString(ZELVO_DOC_DIR), QString(ZELVO_SOURCE_DIR)}) {
        const QString readme = dir + "/README.md";
        if (QFileInfo::exists(readme)) return readme;
    }
    return {};
}

}  // namespace zelvo
