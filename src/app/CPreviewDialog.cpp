#include "app/CPreviewDialog.h"

#include <QApplication>

#include "app/CZelvoView.h"
#include "app/OutlinePause.h"
#include "doc/Image.h"
#include "view/DisplayRefresher.h"

namespace zelvo {

CPreviewDialog::CPreviewDialog(CZelvoView& view, int32_t code, const QString& title,
                               std::atomic<int>* animatorState, QWidget* parent)
    : QDialog(parent), m_view(view), m_animatorState(animatorState) {
    setWindowTitle(title);
    Image& image = view.GetImage();
    m_prepared =
        image.IsReady() && m_processor.Prepare(image.History(), code, double(image.Geometry().zoom),
                                               image.Geometry().visible);
    if (!m_prepared) return;
    m_view.ShowPreview(&m_processor);
    m_clock.start();
    m_timer.setInterval(kTimerMs);
    connect(&m_timer, &QTimer::timeout, this, [this] { Tick(); });
    m_timer.start();
}

CPreviewDialog::~CPreviewDialog() {
    // A dialog that goes without OK or Cancel still takes its preview off.
    End(0);
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
    m_view.RequestRender(3);
}

void CPreviewDialog::End(int apply) {
    if (!m_prepared || m_ended) return;
    m_ended = true;
    m_timer.stop();
    // OK applies the values shown: a change still waiting for the timer is previewed first.
    if (apply && (m_pending || m_previewed != Params())) {
        HoldRender hold(m_view.GetImage().ViewState());
        m_previewed = Params();
        m_processor.Preview(m_previewed);
    }
    // The refresher lets go of the processor before its buffers are freed.
    m_view.ShowPreview(nullptr);
    const int paused = m_animatorState ? m_animatorState->exchange(OutlinePause::kPaused) : 0;
    if (apply) QApplication::setOverrideCursor(Qt::WaitCursor);
    m_applied = m_processor.Finish(apply) == 1;
    if (apply) QApplication::restoreOverrideCursor();
    if (m_animatorState) m_animatorState->store(paused);
    m_view.ServePending();
}

void CPreviewDialog::accept() {
    End(1);
    QDialog::accept();
}

void CPreviewDialog::reject() {
    End(0);
    QDialog::reject();
}

}  // namespace zelvo
