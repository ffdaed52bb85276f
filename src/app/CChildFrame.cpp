#include "app/CChildFrame.h"

#include <QCloseEvent>

#include "app/CCompositeView.h"
#include "app/CMainFrame.h"

namespace zelvo {

CChildFrame::CChildFrame(CMainFrame& frame, std::unique_ptr<CZelvoDoc> doc)
    : m_frame(frame), m_doc(std::move(doc)) {
    setAttribute(Qt::WA_DeleteOnClose);
    m_view = new CCompositeView(m_doc->GetImage(), this);
    setWidget(m_view);
    m_doc->onTitleChanged = [this] { UpdateTitle(); };
    UpdateTitle();
}

CChildFrame::~CChildFrame() = default;

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
    event->accept();
    m_frame.OnChildClosed(this);
}

}  // namespace zelvo
