#include "app/CSliderDialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QSlider>
#include <QWheelEvent>

#include "app/DialogFields.h"

namespace zelvo {

namespace {

using Kind = SliderDialogKind;
using Spec = SliderDialogSpec;

const Spec kSpecs[] = {
    {Kind::BrightnessContrast,
     kPreviewBrightnessContrast,
     "Brightness/Contrast",
     BrightnessContrastSliders,
     Spec::kAtOnce,
     {}},
    {Kind::Saturation, kPreviewSaturation, "Saturation", SaturationSliders, Spec::kAtOnce, {}},
    {Kind::ColorBalance,
     kPreviewColorBalance,
     "Color Balance",
     ColorBalanceSliders,
     Spec::kAtOnce,
     {}},
    {Kind::ShadowHighlight,
     kPreviewShadowHighlight,
     "Shadow/Highlight:",
     ShadowHighlightSliders,
     Spec::kLast,
     {5, 5, 10}},
    {Kind::Blur, kPreviewBlur, "Blur", BlurSliders, Spec::kAll, {}},
    {Kind::SharpenMore, kPreviewSharpen, "Sharpen", SharpenSliders, Spec::kAll, {}},
    {Kind::AddNoise, kPreviewAddNoise, "Add Noise", AddNoiseSliders, Spec::kAll, {}},
    {Kind::Mosaic, kPreviewMosaic, "Mosaic", MosaicSliders, Spec::kAll, {}},
};

}  // namespace

const SliderDialogSpec& SliderDialogSpecOf(SliderDialogKind kind) {
    for (const Spec& s : kSpecs)
        if (s.kind == kind) return s;
    return kSpecs[0];
}

CSliderDialog::CSliderDialog(CZelvoView& view, SliderDialogKind kind, QWidget* parent)
    : CPreviewDialog(view, SliderDialogSpecOf(kind).code, SliderDialogSpecOf(kind).title, parent),
      m_spec(SliderDialogSpecOf(kind)) {
    for (const SliderSpec& s : m_spec.sliders()) m_models.emplace_back(s);
    const bool balance = kind == Kind::ColorBalance;
    auto* layout = new QGridLayout(this);
    int row = 0;
    // Color Balance shows its three numbers together, read-only, above the sliders.
    QHBoxLayout* levels = nullptr;
    if (balance) {
        levels = new QHBoxLayout;
        levels->addWidget(new QLabel("Color Levels:", this));
        layout->addLayout(levels, row++, 0, 1, 3);
    }
    for (int i = 0; i < Count(); ++i) {
        const SliderSpec& spec = m_models[size_t(i)].Spec();
        auto* edit = new QLineEdit(QString::fromStdString(m_models[size_t(i)].Text()), this);
        edit->setMaximumWidth(60);
        edit->installEventFilter(this);
        auto* slider = new QSlider(Qt::Horizontal, this);
        slider->setRange(spec.min, spec.max);
        slider->setValue(m_models[size_t(i)].Value());
        slider->setMinimumWidth(240);
        if (size_t(i) < m_spec.ticks.size() && m_spec.ticks[size_t(i)] > 0) {
            slider->setTickPosition(QSlider::TicksBelow);
            slider->setTickInterval(m_spec.ticks[size_t(i)]);
        }
        m_edits.push_back(edit);
        m_sliders.push_back(slider);
        if (balance) {
            edit->setReadOnly(true);
            levels->addWidget(edit);
            const QString caption = QString::fromStdString(spec.caption);
            layout->addWidget(new QLabel(caption.section('-', 0, 0), this), row, 0, Qt::AlignRight);
            layout->addWidget(slider, row, 1);
            layout->addWidget(new QLabel(caption.section('-', 1, 1), this), row, 2);
            ++row;
        } else {
            layout->addWidget(new QLabel(QString::fromStdString(spec.caption), this), row, 0);
            layout->addWidget(edit, row, 2, Qt::AlignRight);
            layout->addWidget(slider, row + 1, 0, 1, 3);
            row += 2;
        }
        connect(slider, &QSlider::valueChanged, this, [this, i](int v) { Slid(i, v); });
        connect(edit, &QLineEdit::textEdited, this, [this, i](const QString& t) { Typed(i, t); });
        // Typing out of range moves nothing: what the box shows once left is what OK applies.
        ShowInUseWhenLeft(edit,
                          [this, i] { return QString::fromStdString(m_models[size_t(i)].Text()); });
    }
    m_refused.resize(m_edits.size());
    if (levels) levels->addStretch();
    if (kind == Kind::AddNoise) {
        m_mono = new QCheckBox("Monochromatic", this);
        layout->addWidget(m_mono, row++, 0, 1, 3);
        // A new field of the other palette, shown at once.
        connect(m_mono, &QCheckBox::toggled, this, [this] {
            std::vector<int32_t> p = Params();
            p.back() = 1;
            PreviewNow(p);
        });
    }
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->setOrientation(Qt::Vertical);
    layout->addWidget(buttons, 0, 3, row, 1, Qt::AlignTop);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    // The values the dialog opens with are shown too (the slow ones after the delay).
    Changed(m_spec.delay == Spec::kAll);
}

std::vector<int32_t> CSliderDialog::Params() const {
    std::vector<int32_t> p;
    for (const SliderEdit& m : m_models) p.push_back(m.Value() + m.Spec().shownOffset);
    if (m_spec.kind == Kind::AddNoise) {
        p.push_back(m_mono && m_mono->isChecked() ? 1 : 0);
        p.push_back(0);  // keep the noise field
    }
    return p;
}

bool CSliderDialog::Values(std::vector<int32_t>& values) const {
    values = Params();
    if (m_spec.kind == Kind::AddNoise) values.pop_back();
    return true;
}

void CSliderDialog::RefuseTyped(int i) {
    QLineEdit* edit = m_edits[size_t(i)];
    const SliderSpec& spec = m_models[size_t(i)].Spec();
    edit->setText(m_refused[size_t(i)]);
    // The framework's range check: its message, the box focused with its text selected.
    if (spec.blurScale)
        ReadNumberField(edit, 0.1, 100.0);
    else
        ReadIntegerField(edit, spec.min + spec.shownOffset, spec.max + spec.shownOffset);
    // The message took the focus, and the box showed the value in use meanwhile: the refused
    // text comes back, selected, to be typed over.
    edit->setText(m_refused[size_t(i)]);
    edit->selectAll();
}

void CSliderDialog::accept() {
    for (int i = 0; i < Count(); ++i)
        if (!m_refused[size_t(i)].isEmpty()) {
            RefuseTyped(i);
            return;
        }
    CPreviewDialog::accept();
}

bool CSliderDialog::Delayed(int i) const {
    return m_spec.delay == Spec::kAll || (m_spec.delay == Spec::kLast && i == Count() - 1);
}

void CSliderDialog::Slid(int i, int value) {
    if (m_syncing) return;
    m_refused[size_t(i)].clear();
    SliderEdit& m = m_models[size_t(i)];
    m.Slide(value);
    m_edits[size_t(i)]->setText(QString::fromStdString(m.Text()));
    m_edits[size_t(i)]->selectAll();
    Changed(Delayed(i));
}

void CSliderDialog::Typed(int i, const QString& text) {
    // Anything but a number within the range is ignored: the slider stays. OK and Enter then
    // refuse it with the range's message rather than apply the slider's value unseen.
    const bool taken = m_models[size_t(i)].Type(text.trimmed().toStdString());
    m_refused[size_t(i)] = taken || text.trimmed().isEmpty() ? QString() : text;
    if (!taken) return;
    m_syncing = true;
    m_sliders[size_t(i)]->setValue(m_models[size_t(i)].Value());
    m_syncing = false;
    Changed(Delayed(i));
}

void CSliderDialog::Step(int i, int steps) {
    SliderEdit copy = m_models[size_t(i)];
    copy.Step(steps);
    // The slider's own signal writes the edit and previews.
    m_sliders[size_t(i)]->setValue(copy.Value());
}

bool CSliderDialog::eventFilter(QObject* watched, QEvent* event) {
    for (int i = 0; i < int(m_edits.size()); ++i) {
        if (watched != m_edits[size_t(i)]) continue;
        if (event->type() == QEvent::Wheel) {
            const int delta = static_cast<QWheelEvent*>(event)->angleDelta().y();
            if (delta != 0) Step(i, delta > 0 ? 1 : -1);
            return true;
        }
        if (event->type() == QEvent::KeyPress) {
            const int key = static_cast<QKeyEvent*>(event)->key();
            if (key == Qt::Key_Up || key == Qt::Key_Down) {
                Step(i, key == Qt::Key_Up ? 1 : -1);
                return true;
            }
            // Enter on a refused number: the message, before the box is put back and OK taken.
            if ((key == Qt::Key_Return || key == Qt::Key_Enter) &&
                !m_refused[size_t(i)].isEmpty()) {
                RefuseTyped(i);
                return true;
            }
        }
        // Tabbing away shows the value in use in the box: the user has seen it.
        if (event->type() == QEvent::FocusOut) {
            const Qt::FocusReason why = static_cast<QFocusEvent*>(event)->reason();
            if (why == Qt::TabFocusReason || why == Qt::BacktabFocusReason)
                m_refused[size_t(i)].clear();
        }
    }
    return CPreviewDialog::eventFilter(watched, event);
}

}  // namespace zelvo
