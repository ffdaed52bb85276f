// The image windows of the main frame: creation and placement in the new-window slot, the
// open queue, Cascade and Tile, Close and Close All.
#include <QDockWidget>
#include <QFileInfo>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>

#include "app/AppCommands.h"
#include "app/CChildFrame.h"
#include "app/CMainFrame.h"
#include "app/CZelvoApp.h"
#include "app/CZelvoDoc.h"
#include "doc/Image.h"

namespace zelvo {

namespace {

QRect ToQRect(const Rect& r) {
    return QRect(r.left, r.top, r.Width(), r.Height());
}

void PlaceWindow(QMdiSubWindow* w, const Rect& r) {
    // A maximised window keeps its state; the slot becomes its restored position.
    if (w->isMaximized()) {
        w->showNormal();
        w->setGeometry(ToQRect(r));
        w->showMaximized();
        return;
    }
    w->setGeometry(ToQRect(r));
}

}  // namespace

Rect CMainFrame::ClientRect() const {
    const QRect r = m_mdi->viewport()->rect();
    return {r.left(), r.top(), r.left() + r.width(), r.top() + r.height()};
}

CChildFrame* CMainFrame::ActiveChild() const {
    // While another program has the keyboard no image window counts as active; the one last
    // active is still the document the palettes and commands are about.
    if (QMdiSubWindow* window = m_mdi->activeSubWindow()) {
        auto* child = qobject_cast<CChildFrame*>(window);
        return child && !child->IsClosed() ? child : nullptr;
    }
    const QList<QMdiSubWindow*> order = m_mdi->subWindowList(QMdiArea::ActivationHistoryOrder);
    for (auto it = order.rbegin(); it != order.rend(); ++it)
        if (auto* child = qobject_cast<CChildFrame*>(*it); child && !child->IsClosed())
            return child;
    return nullptr;
}

QList<CChildFrame*> CMainFrame::Children() const {
    QList<CChildFrame*> open;
    for (CChildFrame* c : m_children)
        if (!c->IsClosed()) open.append(c);
    return open;
}

Image* CMainFrame::ActiveImage() const {
    CChildFrame* child = ActiveChild();
    return child ? &child->GetImage() : nullptr;
}

SideMargins CMainFrame::PaletteRoom() const {
    std::vector<Rect> shown;
    for (QDockWidget* dock : m_palettes) {
        if (!dock || dock->isHidden() || !dock->isFloating()) continue;
        const QRect g = dock->frameGeometry();
        const QPoint at = m_mdi->viewport()->mapFromGlobal(g.topLeft());
        shown.push_back({at.x(), at.y(), at.x() + g.width(), at.y() + g.height()});
    }
    return PaletteMargins(ClientRect(), shown);
}

void CMainFrame::ResetNewWindowSlot() {
    m_app.Slots().Reset(ClientRect(), m_workspace.ScreenWidth(), m_workspace.PalettesShown(),
                        PaletteRoom());
}

CChildFrame* CMainFrame::AddChild(std::unique_ptr<CZelvoDoc> doc, const Rect& slot) {
    auto* child = new CChildFrame(*this, std::move(doc));
    m_children.append(child);
    connect(child, &QObject::destroyed, this, [this, child] { m_children.removeAll(child); });
    m_mdi->addSubWindow(child);
    PlaceWindow(child, slot);
    child->show();
    m_mdi->setActiveSubWindow(child);
    OnActiveWindowChanged();
    return child;
}

CChildFrame* CMainFrame::NewDocument(const NewImageSize& size) {
    auto doc = std::make_unique<CZelvoDoc>(m_workspace);
    if (!doc->OnNewDocument(size)) return nullptr;
    // File New always takes the first slot.
    ResetNewWindowSlot();
    return AddChild(std::move(doc), m_app.Slots().Current());
}

CChildFrame* CMainFrame::OpenDocument(const std::string& path) {
    auto doc = std::make_unique<CZelvoDoc>(m_workspace);
    if (!doc->OnOpenDocument(path)) return nullptr;
    CChildFrame* child = AddChild(std::move(doc), m_app.Slots().Current());
    m_app.Slots().Advance();
    update();
    return child;
}

CChildFrame* CMainFrame::FindDocument(const std::string& path) const {
    for (CChildFrame* child : Children()) {
        if (NamesSameFile(child->GetImage().Path(), path)) return child;
    }
    return nullptr;
}

void CMainFrame::ActivateChild(CChildFrame* child) {
    if (child->isMinimized()) child->showNormal();
    m_mdi->setActiveSubWindow(child);
}

void CMainFrame::QueueOpenFiles(const QStringList& files) {
    for (const QString& f : files)
        if (QFileInfo(f).isFile()) m_openQueue.append(QFileInfo(f).absoluteFilePath());
    if (m_openQueue.isEmpty()) return;
    ResetNewWindowSlot();
    // The current tool is remembered and comes back with the tools; the poller does the rest.
    m_shared.busyMode.store(kBusyModeOpenQueue, std::memory_order_release);
}

void CMainFrame::OnOpenQueueTick() {
    // A message shown while a file opens runs an event loop; ticks arriving then wait.
    if (m_inOpenTick) return;
    if (m_shared.busyMode.load(std::memory_order_acquire) != kBusyModeOpenQueue ||
        m_openQueue.isEmpty()) {
        EndOpenQueue();
        return;
    }
    m_inOpenTick = true;
    const QString head = m_openQueue.takeFirst();
    m_app.OpenDocumentFile(head);
    m_inOpenTick = false;
    if (m_openQueue.isEmpty()) EndOpenQueue();
}

void CMainFrame::EndOpenQueue() {
    m_openQueue.clear();
    int expected = kBusyModeOpenQueue;
    m_shared.busyMode.compare_exchange_strong(expected, 0, std::memory_order_acq_rel);
    UpdateCommandUI();
}

bool CMainFrame::MayCloseDocuments() const {
    return m_shared.busyMode.load(std::memory_order_acquire) != kBusyModeOpenQueue;
}

void CMainFrame::OnChildClosed(CChildFrame* child) {
    m_children.removeAll(child);
    if (m_paletteImage == &child->GetImage()) m_paletteImage = nullptr;
    OnActiveWindowChanged();
    if (Children().isEmpty()) {
        // No view is left to have a zoom ratio.
        if (m_panes[1]) m_panes[1]->clear();
        // The last image gone: the scratch store goes back to its start-up state.
        if (!m_closingAll) m_workspace.ResetStore();
    }
}

bool CMainFrame::CloseAllDocuments() {
    if (!MayCloseDocuments()) return false;
    m_closingAll = true;
    while (m_closingAll) {
        QList<CChildFrame*> open = Children();
        if (open.isEmpty()) break;
        CChildFrame* next = ActiveChild() ? ActiveChild() : open.first();
        m_mdi->setActiveSubWindow(next);
        // A Cancel in the save question clears closingAll through the child.
        if (!next->close()) m_closingAll = false;
    }
    const bool all = Children().isEmpty();
    m_closingAll = false;
    return all;
}

void CMainFrame::Cascade() {
    if (CChildFrame* active = ActiveChild(); active && active->isMaximized()) active->showNormal();
    QList<CChildFrame*> windows;
    for (CChildFrame* c : Children())
        if (!c->isMinimized()) windows.append(c);
    const std::vector<Rect> cells =
        CascadeCells(int(windows.size()), ClientRect(), m_workspace.ScreenWidth(),
                     m_workspace.PalettesShown(), PaletteRoom());
    for (int i = 0; i < windows.size(); ++i) PlaceWindow(windows[i], cells[size_t(i)]);
}

void CMainFrame::Tile(bool horizontal) {
    QList<CChildFrame*> windows;
    for (CChildFrame* c : Children())
        if (!c->isMinimized()) windows.append(c);
    for (CChildFrame* c : windows)
        if (c->isMaximized()) c->showNormal();
    const std::vector<Rect> cells =
        TileCells(int(windows.size()), horizontal, ClientRect(), m_workspace.ScreenWidth(),
                  m_workspace.PalettesShown(), PaletteRoom());
    for (int i = 0; i < windows.size(); ++i) windows[i]->setGeometry(ToQRect(cells[size_t(i)]));
}

void CMainFrame::OnActiveWindowChanged() {
    Image* image = ActiveImage();
    if (image != m_paletteImage) {
        m_paletteImage = image;
        RefreshPalettes();
    }
    UpdateCommandUI();
}

}  // namespace zelvo
