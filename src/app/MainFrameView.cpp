// The main frame's side of the image views: the view commands (Actual Pixels, Fit On Window,
// Print Size), the active view for the navigator, and the workers' posts that reach a view.
#include <QMetaObject>

#include "app/AppCommands.h"
#include "app/CChildFrame.h"
#include "app/CMainFrame.h"
#include "app/CNavigatorPalette.h"
#include "app/CZelvoView.h"
#include "tools/ToolController.h"
#include "view/DisplayRefresher.h"
#include "view/ViewZoom.h"

namespace zelvo {

void CMainFrame::RegisterViewCommands() {
    auto haveDoc = [this] { return ActiveChild() != nullptr; };
    auto zoom = [this](int mode) {
        if (m_shared.busyMode.load() != 0) return;
        if (CChildFrame* child = ActiveChild()) child->View()->SetZoomMode(mode);
    };
    m_handlers[kIdActualPixels] = [zoom] { zoom(kZoomActualPixels); };
    m_enablers[kIdActualPixels] = haveDoc;
    m_handlers[kIdFitOnWindow] = [zoom] { zoom(kZoomFitOnWindow); };
    m_enablers[kIdFitOnWindow] = haveDoc;
    m_handlers[kIdPrintSizeZoom] = [zoom] { zoom(kZoomPrintSize); };
    m_enablers[kIdPrintSizeZoom] = haveDoc;
    // Zoom In and Zoom Out choose the zoom tool's option and act as one click of it.
    auto step = [this](bool in) {
        if (m_shared.busyMode.load() != 0) return;
        CChildFrame* child = ActiveChild();
        if (!child || !child->GetImage().IsReady()) return;
        CZelvoView* view = child->View();
        const float before = view->Model().Zoom();
        if (m_tools->ZoomCommand(view->Model(), in) && view->Model().Zoom() != before)
            view->ModelZoomed();
    };
    // Not while a tool is busy: a crop frame or a transform stays as it is.
    auto idle = [this, haveDoc] { return haveDoc() && !m_tools->IsBusy(); };
    m_handlers[kIdZoomIn] = [step] { step(true); };
    m_enablers[kIdZoomIn] = idle;
    m_handlers[kIdZoomOut] = [step] { step(false); };
    m_enablers[kIdZoomOut] = idle;
}

NavigatorTarget* CMainFrame::ActiveNavigatorTarget() const {
    CChildFrame* child = ActiveChild();
    return child ? child->View() : nullptr;
}

void CMainFrame::OnViewChanged(CChildFrame* child) {
    if (child != ActiveChild()) return;
    RefreshNavigator();
    emit activeViewChanged();
}

void CMainFrame::ConnectViewThreads() {
    if (!m_threads) return;
    DisplayRefresher& display = m_threads->Display();
    // The workers only post; the lambdas run on the user-interface thread, where the image is
    // looked up among the open windows before anything is touched.
    display.onTilesReady = [this](Image* image) {
        QMetaObject::invokeMethod(
            this,
            [this, image] {
                for (CChildFrame* child : Children()) {
                    if (&child->GetImage() != image) continue;
                    child->View()->OnTilesReady();
                    if (child == ActiveChild() && m_navigatorPalette)
                        m_navigatorPalette->MarkStale();
                }
            },
            Qt::QueuedConnection);
    };
    display.onOutline = [this](Image* image, int phase) {
        QMetaObject::invokeMethod(
            this,
            [this, image, phase] {
                for (CChildFrame* child : Children())
                    if (&child->GetImage() == image) child->View()->OnOutline(phase);
            },
            Qt::QueuedConnection);
    };
}

}  // namespace zelvo
