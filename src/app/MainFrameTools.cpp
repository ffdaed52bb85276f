// The main frame's side of the tools: the one tool controller of the frame and what follows a
// tool switch (the tool box, the options bar, the status hint, the views' pointers), the keys
// that reach the frame without a view, the views' context menus and the brush pop-up.
#include <QApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMdiArea>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSettings>

#include "app/AppCommands.h"
#include "app/CBrushPopup.h"
#include "app/CChildFrame.h"
#include "app/CCropMeasureUi.h"
#include "app/CMainFrame.h"
#include "app/COptionsBar.h"
#include "app/CTextToolUi.h"
#include "app/CToolsPalette.h"
#include "app/CZelvoView.h"
#include "platform/Disk.h"
#include "recovery/RecoveryJournal.h"
#include "tools/ToolController.h"
#include "view/ViewZoom.h"

namespace zelvo {

namespace {

// Alt turns the clone and heal cursors into the source cursor wherever the keys go (a palette,
// the options bar), and the menu bar keeps a lone Alt's release for its keyboard mode: the
// cursors of the views follow both, under a pointer that does not move.
class AltFollower : public QObject {
public:
    AltFollower(CMainFrame* frame, ToolController& tools)
        : QObject(frame), m_frame(frame), m_tools(tools) {
        qApp->installEventFilter(this);
        connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) {
            if (now && now == m_frame->menuBar()) Follow(false, 0);
        });
    }
    ~AltFollower() override {
        if (QCoreApplication* app = QCoreApplication::instance()) app->removeEventFilter(this);
    }

    bool eventFilter(QObject* watched, QEvent* event) override {
        const bool press = event->type() == QEvent::KeyPress;
        if (!press && event->type() != QEvent::KeyRelease) return false;
        const auto* key = static_cast<QKeyEvent*>(event);
        // A view passes its own keys to the tools.
        if (key->key() == Qt::Key_Alt && !key->isAutoRepeat() && !InView(watched))
            Follow(press, ToolModifiers(key->modifiers()));
        return false;
    }

private:
    static bool InView(QObject* o) {
        for (; o; o = o->parent())
            if (qobject_cast<CZelvoView*>(o)) return true;
        return false;
    }

    void Follow(bool down, int modifiers) {
        m_tools.KeyWithoutView(kKeyAlt, down, modifiers);
        for (CChildFrame* child : m_frame->Children()) child->View()->UpdateCursor();
    }

    CMainFrame* m_frame;
    ToolController& m_tools;
};

}  // namespace

namespace {

// The view's pop-up menu: its sub-menus by the number the tool controller gives, as commands.
const std::vector<int>& SubMenu(int n) {
    static const std::vector<int> selection = {
        kIdSelectAll, kIdDeselect, kIdReselect, kIdInverse,    0,
        kIdFeather,   0,           kIdSharpen,  kIdSharpenMore};
    static const std::vector<int> hand = {kIdActualPixels, kIdFitOnWindow, kIdPrintSizeZoom};
    static const std::vector<int> zoom = {kIdZoomIn,       kIdZoomOut,     0,
                                          kIdActualPixels, kIdFitOnWindow, kIdPrintSizeZoom};
    static const std::vector<int> curve = {kIdSelectAnchor, kIdConvertAnchor, kIdAddAnchor,
                                           kIdDeleteAnchor};
    static const std::vector<int> rest = {kIdSelectAll, kIdDeselect,   kIdInverse, kIdFeather, 0,
                                          kIdSharpen,   kIdSharpenMore};
    static const std::vector<int> none;
    switch (n) {
        case 1:
            return selection;
        case 2:
            return hand;
        case 4:
            return zoom;
        case 6:
            return curve;
        case 0:
            return rest;
        default:
            return none;  // the crop, text and transform pages bring their own
    }
}

}  // namespace

void CMainFrame::SetUpTools() {
    m_workspace.SetTools(m_tools.get());
    QSettings settings(QString::fromStdString(ConfigPath("zelvo.ini")), QSettings::IniFormat);
    m_tools->SetPlainCursors(settings.value("Tools/PlainCursors", false).toBool());
    m_tools->onStatus = [this](const std::string& text) {
        // The zoom ratio has its own pane, as the wheel shows it.
        const bool ratio = text.rfind("Show ratio", 0) == 0;
        if (QLabel* pane = m_panes[ratio ? 1 : 0]) pane->setText(QString::fromStdString(text));
    };
    m_tools->onToolChanged = [this](ToolId id) { OnToolChanged(id); };
    // The painter's rectangles reach the view on the GUI thread; a document closed meanwhile
    // is no longer among the children and its rectangles are dropped.
    m_tools->onStrokePainted = [this](Image& image, const Rect& rect) {
        QMetaObject::invokeMethod(
            this,
            [this, at = &image, rect] {
                for (CChildFrame* child : Children())
                    if (&child->View()->GetImage() == at) child->View()->RequestRenderRect(rect);
            },
            Qt::QueuedConnection);
    };
    // The clone source's cross over another document's window follows the stroke.
    m_tools->onRepaintView = [this](Image& image) {
        for (CChildFrame* child : Children())
            if (&child->View()->GetImage() == &image) child->View()->viewport()->update();
    };
    m_optionsPages = new COptionsBar(m_optionsStrip, *m_tools, this);
    // The zoom tool's page ends with the three zoom commands.
    m_optionsPages->RegisterPage(kToolZoom, [this](COptionsBar& bar, int tool, QWidget* page) {
        bar.AddGeneratedControls(tool, page);
        auto* row = qobject_cast<QHBoxLayout*>(page->layout());
        for (int id : {kIdActualPixels, kIdFitOnWindow, kIdPrintSizeZoom}) {
            QAction* action = Action(id);
            auto* button = new QPushButton(action ? action->text() : QString(), page);
            button->setFixedHeight(22);
            button->setFocusPolicy(Qt::NoFocus);
            button->setProperty(kCommandProperty, id);
            button->setEnabled(CommandEnabled(id));
            row->addWidget(button);
            connect(button, &QPushButton::clicked, this, [this, id] { OnCommand(id); });
        }
    });
    m_textUi = new CTextToolUi(this, *m_tools, *m_optionsPages);
    new AltFollower(this, *m_tools);
    SetUpMoveTools();
    new CCropMeasureUi(this, *m_tools, *m_optionsPages);
    m_tools->Options().onChange = [this](int tool, const std::string& key) {
        m_optionsPages->ModelChanged(tool, key);
        for (CBrushPopup* popup : findChildren<CBrushPopup*>()) popup->ModelChanged(tool, key);
        // The brush circle follows the diameter.
        for (CChildFrame* child : Children()) child->View()->UpdateCursor();
    };
    ShowToolPage(m_tools->CurrentTool());
}

void CMainFrame::SetPlainCursors(bool on) {
    m_tools->SetPlainCursors(on);
    QSettings settings(QString::fromStdString(ConfigPath("zelvo.ini")), QSettings::IniFormat);
    settings.setValue("Tools/PlainCursors", on);
    for (CChildFrame* child : Children()) child->View()->UpdateCursor();
    UpdateCommandUI();
}

void CMainFrame::RegisterAnchorCommands() {
    // Select, Convert, Add and Delete are the curve tool's modes 2 to 5 (Alt+2 .. Alt+5).
    const int ids[] = {kIdSelectAnchor, kIdConvertAnchor, kIdAddAnchor, kIdDeleteAnchor};
    for (int i = 0; i < 4; ++i) {
        m_handlers[ids[i]] = [this, mode = i + 2] {
            if (m_tools->CurrentTool() != kToolCurve && !m_tools->SelectTool(kToolCurve)) return;
            m_tools->SetModeByNumber(mode);
        };
        m_enablers[ids[i]] = [this] { return ActiveImage() != nullptr && !m_tools->IsBusy(); };
    }
}

void CMainFrame::ShowToolPage(int tool) {
    if (m_optionsPages) m_optionsPages->Show(tool);
}

void CMainFrame::OnToolChanged(int id) {
    FollowFreeTransform();
    ShowToolPage(id);
    if (m_toolsPalette) m_toolsPalette->ShowTool(id);
    // Each tool draws its own marks over the picture (the measure line, the crop frame).
    for (CChildFrame* child : Children()) {
        child->View()->UpdateCursor();
        child->View()->viewport()->update();
    }
    // The keys go back to the picture.
    if (CChildFrame* child = ActiveChild()) child->View()->setFocus(Qt::OtherFocusReason);
    emit toolChanged(id);
}

void CMainFrame::OnToolActed(CChildFrame* child) {
    if (child != ActiveChild()) return;
    UpdateCommandUI();
    RefreshPalettes();
    if (m_journal) m_journal->Refresh();
}

void CMainFrame::ShowViewMenu(CChildFrame* child, int kind, int subMenu, const QPoint& global) {
    if (child != ActiveChild()) return;
    if (kind == ContextChoice::BrushPopup) {
        auto* popup = new CBrushPopup(*m_tools, this);
        popup->setAttribute(Qt::WA_DeleteOnClose);
        popup->ShowAt(global);
        return;
    }
    const std::vector<int>& ids = SubMenu(subMenu);
    if (ids.empty()) return;
    UpdateCommandUI();
    QMenu menu(this);
    for (int id : ids) {
        if (id == 0) {
            menu.addSeparator();
        } else if (QAction* a = Action(id)) {
            menu.addAction(a);
        }
    }
    menu.exec(global);
}

void CMainFrame::ShowLayerMenu(const QPoint& global) {
    QMenu* layer = Menu("&Layer");
    if (!layer) return;
    UpdateCommandUI();
    layer->exec(global);
}

namespace {

// A key the view did not use comes on to the frame: it is not offered to the tools again.
bool FromView() {
    for (QWidget* w = QApplication::focusWidget(); w; w = w->parentWidget())
        if (qobject_cast<CZelvoView*>(w)) return true;
    return false;
}

}  // namespace

void CMainFrame::keyPressEvent(QKeyEvent* event) {
    // Without a document the tool letters and the colour keys still work.
    if (!event->isAutoRepeat() && !FromView() &&
        m_tools->KeyWithoutView(event->key(), true, ToolModifiers(event->modifiers()))) {
        event->accept();
        return;
    }
    QMainWindow::keyPressEvent(event);
}

void CMainFrame::keyReleaseEvent(QKeyEvent* event) {
    if (!event->isAutoRepeat() && !FromView() &&
        m_tools->KeyWithoutView(event->key(), false, ToolModifiers(event->modifiers()))) {
        event->accept();
        return;
    }
    QMainWindow::keyReleaseEvent(event);
}

CTextEditBox* CMainFrame::TextBox() const {
    return m_textUi ? m_textUi->Box() : nullptr;
}

}  // namespace zelvo
