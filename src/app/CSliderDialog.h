// The adjustment and filter dialogs made of slider-and-edit pairs: Brightness/Contrast,
// Saturation, Color Balance, Shadow/Highlight, Blur, Sharpen..., Add Noise and Mosaic. Each
// slider and its edit stay in step: a whole number typed within the range moves the slider,
// a moved slider writes its number into the edit and selects it, and the mouse wheel or the
// up/down keys over an edit step the slider.
#pragma once

#include <vector>

#include "app/CPreviewDialog.h"

class QCheckBox;
class QLineEdit;
class QSlider;

namespace zelvo {

enum class SliderDialogKind {
    BrightnessContrast,
    Saturation,
    ColorBalance,
    ShadowHighlight,
    Blur,
    SharpenMore,
    AddNoise,
    Mosaic,
};

struct SliderDialogSpec {
    SliderDialogKind kind;
    int32_t code;  // the preview code
    const char* title;
    std::vector<SliderSpec> (*sliders)();
    // Which sliders preview after the 100 ms delay: none, all, or the last (Radius).
    enum Delay { kAtOnce, kAll, kLast } delay;
    std::vector<int> ticks;  // tick interval per slider (0: none)
};

const SliderDialogSpec& SliderDialogSpecOf(SliderDialogKind kind);

class CSliderDialog : public CPreviewDialog {
    Q_OBJECT
public:
    CSliderDialog(CZelvoView& view, SliderDialogKind kind, QWidget* parent = nullptr);

    int Count() const { return int(m_models.size()); }
    QSlider* Slider(int i) const { return m_sliders[size_t(i)]; }
    QLineEdit* Edit(int i) const { return m_edits[size_t(i)]; }
    const SliderEdit& Model(int i) const { return m_models[size_t(i)]; }
    // Add Noise's "Monochromatic" (null elsewhere).
    QCheckBox* MonochromaticBox() const { return m_mono; }

    std::vector<int32_t> Params() const override;
    // The sliders' values as shown (Add Noise: the amount and the "Monochromatic" switch).
    bool Values(std::vector<int32_t>& values) const override;

    // A number typed out of range and still in the box (or put back as the value in use by
    // Enter) is refused with the range's message, and the dialog stays open.
    void accept() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void RefuseTyped(int i);
    void Slid(int i, int value);
    void Typed(int i, const QString& text);
    void Step(int i, int steps);
    bool Delayed(int i) const;

    const SliderDialogSpec& m_spec;
    std::vector<SliderEdit> m_models;
    std::vector<QSlider*> m_sliders;
    std::vector<QLineEdit*> m_edits;
    std::vector<QString> m_refused;  // per edit: the last text typed that moved nothing
    QCheckBox* m_mono = nullptr;
    bool m_syncing = false;
};

}  // namespace zelvo
