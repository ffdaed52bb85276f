// The base of the adjustment and filter dialogs: the image processor's session on the active
// view. Opening prepares it and shows the preview on the view; every change of the values
// previews at once or, for the slow ones, on the first tick of a 100 ms timer that comes more
// than 100 ms after the last change. OK and Cancel both take the preview off; OK then gives the
// values to the menu command, which applies them (one history state). The layer is never
// written by the dialog.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include <QDialog>
#include <QElapsedTimer>
#include <QTimer>

#include "adjust/AdjustDialogs.h"
#include "adjust/ImageProcessor.h"

namespace zelvo {

class CZelvoView;

class CPreviewDialog : public QDialog {
    Q_OBJECT
public:
    static constexpr int kTimerMs = 100;

    CPreviewDialog(CZelvoView& view, int32_t code, const QString& title, QWidget* parent);
    ~CPreviewDialog() override;

    // False when the current layer is not a pixel layer (the dialog must not be shown).
    bool Prepared() const { return m_prepared; }
    const ImageProcessor& Processor() const { return m_processor; }
    // The values as the dialog shows them now, in the processor's order for the code.
    virtual std::vector<int32_t> Params() const = 0;
    // The values OK gives the menu command (its table entry's order); false when OK has
    // nothing to apply.
    virtual bool Values(std::vector<int32_t>& values) const {
        values = Params();
        return true;
    }
    // Whether a delayed preview is waiting for the timer.
    bool PreviewPending() const { return m_pending; }
    // The values the view shows (empty before the first preview).
    const std::vector<int32_t>& Previewed() const { return m_previewed; }

    void accept() override;
    void reject() override;

protected:
    // A value changed: previews at once, or after the delay when `delayed`.
    void Changed(bool delayed);
    // Previews the current values now (the processor's tables or buffers are rebuilt while the
    // refresher is held off); `params` replaces Params() for this preview only (Add Noise's
    // "regenerate the field").
    void PreviewNow(const std::vector<int32_t>& params = {});

private:
    void Tick();
    void End();

    CZelvoView& m_view;
    ImageProcessor m_processor;
    QTimer m_timer;
    QElapsedTimer m_clock;
    PreviewDelay m_delay;
    std::vector<int32_t> m_previewed;
    bool m_prepared = false;
    bool m_pending = false;
    bool m_ended = false;
    bool m_shown = false;
};

}  // namespace zelvo
