#include "app/CPreviewDialog.h"

#include "app/CZelvoView.h"
#include "doc/Image.h"
#include "view/DisplayRefresher.h"

namespace zelvo {

CPreviewDialog::CPreviewDialog(CZelvoView& view, int32_t code, const QString& title,
                               QWidget* parent)
    : QDialog(parent), m_view(view) {
    setWindowTitle(title);
    Image& image = view.GetImage();
    m_prepared =
        image.IsReady() && m_processor.Prepare(image.History(), code, double(image.Geometry().zoom),
                                               image.Geometry().visible);
    if (!m_prepared) return;
    m_clock.start();
    m_timer.setInterval(kTimerMs);
    connect(&m_timer, &QTimer::timeout, this, [this] { Tick(); });
    m_timer.start();
}

CPreviewDialog::~CPreviewDialog() {
    // A dialog that goes without OK or Cancel still takes its preview off.
    End();
}

void CPreviewDialog::Changed(bool delayed) {
    if (!m_prepared || m_ended) return;
    if (!delayed) {
        PreviewNow();
        return;
    }
    m_pending = true;
    m_delay.Changed(m_clock.elapsed());
}

void CPreviewDialog::Tick() {
    if (m_pending && m_delay.Tick(m_clock.elapsed())) PreviewNow();
}

void CPreviewDialog::PreviewNow(const std::vector<int32_t>& params) {
    if (!m_prepared || m_ended) return;
    m_pending = false;
    m_previewed = Params();
    {
        HoldRender hold(m_view.GetImage().ViewState());
        m_processor.Preview(params.empty() ? m_previewed : params);
    }
    // The view draws through the processor from its first values on.
    if (!m_shown) {
        m_shown = true;
        m_view.ShowPreview(&m_processor);
    } else {
        m_view.RequestRender(3);
    }
}

void CPreviewDialog::End() {
    if (!m_prepared || m_ended) return;
    m_ended = true;
    m_timer.stop();
    // The refresher lets go of the processor before its buffers are freed; the view shows the
    // layer as it is until the command applies the values.
    if (m_shown) m_view.ShowPreview(nullptr);
    m_processor.Finish(0);
    m_view.ServePending();
}

void CPreviewDialog::accept() {
    End();
    QDialog::accept();
}

void CPreviewDialog::reject() {
    End();
    QDialog::reject();
}

}  // namespace zelvo
