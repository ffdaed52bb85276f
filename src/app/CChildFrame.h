// The window of one image inside the main frame: it owns the document and holds its view.
#pragma once

#include <memory>

#include <QMdiSubWindow>

#include "app/CZelvoDoc.h"

namespace zelvo {

class CMainFrame;
class CZelvoView;

class CChildFrame : public QMdiSubWindow {
    Q_OBJECT
public:
    CChildFrame(CMainFrame& frame, std::unique_ptr<CZelvoDoc> doc);
    ~CChildFrame() override;

    CZelvoDoc& Doc() { return *m_doc; }
    Image& GetImage() { return m_doc->GetImage(); }
    CZelvoView* View() const { return m_view; }
    void UpdateTitle();
    // Set once the window has closed for good (it is deleted later).
    bool IsClosed() const { return m_closed; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    CMainFrame& m_frame;
    std::unique_ptr<CZelvoDoc> m_doc;
    CZelvoView* m_view;
    bool m_closed = false;
};

}  // namespace zelvo
