#include "app/CChildFrame.h"

#include <QAction>
#include <QCloseEvent>
#include <QLabel>
#include <QMenu>
#include <QPointer>

#include "app/CMainFrame.h"
#include "app/CZelvoView.h"
#include "tools/ToolController.h"

namespace zelvo {

CChildFrame::CChildFrame(CMainFrame& frame, std::unique_ptr<CZelvoDoc> doc)
    : m_frame(frame), m_doc(std::move(doc)) {
    setAttribute(Qt::WA_DeleteOnClose);
    // The window menu's own keys (Ctrl+W for its Close) would shadow the frame's commands.
    if (QMenu* menu = systemMenu())
        for (QAction* action : menu->actions()) action->setShortcuts({});
    m_view = new CZelvoView(m_doc->GetImage(), frame.Threads()->Display(), this);
    setWidget(m_view);
    m_doc->onTitleChanged = [this] { UpdateTitle(); };
    UpdateTitle();
    // The refresher works for the active window.
    connect(this, &QMdiSubWindow::windowStateChanged, this,
            [this](Qt::WindowStates, Qt::WindowStates now) {
                if (!m_closed) m_view->SetActive(now.testFlag(Qt::WindowActive));
            });
    connect(m_view, &CZelvoView::statusText, this, [this](const QString& text) {
        if (QLabel* pane = m_frame.Pane(1)) pane->setText(text);
    });
    connect(m_view, &CZelvoView::viewChanged, this, [this] { m_frame.OnViewChanged(this); });
    // Every view feeds the frame's one tool controller.
    m_view->SetToolController(&frame.Tools());
    connect(m_view, &CZelvoView::toolActed, this, [this] { m_frame.OnToolActed(this); });
    // The menu runs its own event loop, where Ctrl+W can close this window: it opens after the
    // view's mouse handler has returned, from the frame, which outlives every window.
    connect(
        m_view, &CZelvoView::contextMenu, &m_frame,
        [frame = &m_frame, child = QPointer<CChildFrame>(this)](int kind, int subMenu,
                                                                const QPoint& global) {
            if (child) frame->ShowViewMenu(child, kind, subMenu, global);
        },
        Qt::QueuedConnection);
}

CChildFrame::~CChildFrame() {
    // The view goes with the QWidget base, after the document: the refresher lets go first,
    // and nothing the base classes emit while they go reaches this object any more.
    if (!m_closed) m_view->Closing();
    m_view->Detach();
    m_view->disconnect(this);
    disconnect(this, nullptr, this, nullptr);
}

void CChildFrame::UpdateTitle() {
    setWindowTitle(QString::fromStdString(m_doc->GetImage().Title()));
}

void CChildFrame::closeEvent(QCloseEvent* event) {
    if (m_closed) {
        event->accept();
        return;
    }
    if (!m_frame.MayCloseDocuments() || !m_doc->CloseWithQuestion(this)) {
        // Cancel (or a failed save) keeps the window and stops a Close All or an exit.
        m_frame.SetClosingAll(false);
        event->ignore();
        return;
    }
    m_closed = true;
    m_view->Closing();
    m_view->Detach();
    event->accept();
    m_frame.OnChildClosed(this);
}

}  // namespace zelvo
