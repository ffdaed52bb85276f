#include "app/CCropMeasureUi.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>

#include "app/CChildFrame.h"
#include "app/CMainFrame.h"
#include "app/COptionsBar.h"
#include "app/CZelvoView.h"
#include "tools/CropSize.h"
#include "tools/CropTool.h"
#include "tools/ImagePoint.h"
#include "tools/MeasureTool.h"
#include "tools/ToolController.h"

namespace zelvo {

namespace {

constexpr int kControlHeight = 22;

QPushButton* SmallButton(const QString& text, const QString& tip, QWidget* page) {
    auto* b = new QPushButton(text, page);
    b->setObjectName(text);
    b->setToolTip(tip);
    b->setFixedHeight(kControlHeight);
    b->setFocusPolicy(Qt::NoFocus);
    if (text.size() <= 2) b->setFixedWidth(28);
    return b;
}

// Darkens the picture outside the crop frame; drawn over the view's picture, letting the
// pointer through to it.
class CropShade : public QWidget {
public:
    CropShade(CZelvoView* view, ToolController& tools)
        : QWidget(view->viewport()), m_view(view), m_tools(tools) {
        setObjectName("CropShade");
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setAttribute(Qt::WA_NoSystemBackground);
        setGeometry(view->viewport()->rect());
    }

protected:
    void paintEvent(QPaintEvent*) override {
        CropFrameInfo* crop = m_tools.CropFrame();
        const auto frame = crop->Frame();
        if (!frame || !crop->Shield() || crop->FrameImage() != &m_view->GetImage()) return;
        const ImageView& model = m_view->Model();
        auto client = [&](Point p) {
            const Point v = ImageToView(model, p);
            return QPoint(v.x, v.y);
        };
        const QRect picture(client({0, 0}),
                            client({m_view->GetImage().Width(), m_view->GetImage().Height()}));
        const QRect keep(client({frame->left, frame->top}), client({frame->right, frame->bottom}));
        QRegion shade(picture.intersected(rect()));
        shade -= QRegion(keep);
        QPainter p(this);
        p.setClipRegion(shade);
        p.fillRect(rect(), QColor(0, 0, 0, 110));
    }

private:
    CZelvoView* m_view;
    ToolController& m_tools;
};

}  // namespace

CCropMeasureUi::CCropMeasureUi(CMainFrame* frame, ToolController& tools, COptionsBar& bar)
    : QObject(frame), m_frame(frame), m_tools(tools) {
    bar.RegisterPage(kToolCrop,
                     [this](COptionsBar& b, int, QWidget* page) { BuildCropPage(b, page); });
    bar.RegisterPage(kToolMeasure,
                     [this](COptionsBar& b, int, QWidget* page) { BuildMeasurePage(b, page); });
    m_tools.onReadouts = [this] { Refresh(); };
    // The picture is shaded outside the frame unless the bar's "Shield" is turned off.
    m_tools.CropFrame()->SetShield(true);
    connect(frame, &CMainFrame::toolChanged, this, [this] { Refresh(); });
    // A frame opens and closes, and a line changes, through events of any view and the menus:
    // the pages look at the tools a few times a second while they are shown.
    auto* poll = new QTimer(this);
    connect(poll, &QTimer::timeout, this, [this] {
        const int tool = int(m_tools.CurrentTool());
        if (tool == kToolCrop || tool == kToolMeasure || m_shade) Refresh();
    });
    poll->start(100);
}

void CCropMeasureUi::BuildCropPage(COptionsBar& bar, QWidget* page) {
    auto* row = qobject_cast<QHBoxLayout*>(page->layout());
    row->addWidget(new QLabel("Crop Size:", page));
    m_presets = new QComboBox(page);
    m_presets->setObjectName("presets");
    m_presets->setFixedSize(170, kControlHeight);
    row->addWidget(m_presets);
    connect(m_presets, &QComboBox::activated, this, [this](int i) {
        m_tools.CropPresets().Choose(i, m_tools.Options());
        LoadPresets();
    });
    auto* add = SmallButton("+", "Add to a list of crop size", page);
    auto* remove = SmallButton("-", "Delete from the list of crop size", page);
    row->addWidget(add);
    row->addWidget(remove);
    connect(add, &QPushButton::clicked, this, [this] {
        m_tools.CropPresets().Add(CropSettingsOf(m_tools.Options()));
        LoadPresets();
    });
    connect(remove, &QPushButton::clicked, this, [this] {
        m_tools.CropPresets().DeleteSelected();
        LoadPresets();
    });
    bar.AddGeneratedControls(kToolCrop, page);
    // "<>" stands right after the height field.
    auto* exchange = SmallButton("<>", "Exchange height and width dimensions", page);
    int at = row->count();
    for (int i = 0; i < row->count(); ++i)
        if (QWidget* w = row->itemAt(i)->widget(); w && w->objectName() == "height") at = i + 1;
    row->insertWidget(at, exchange);
    connect(exchange, &QPushButton::clicked, this, [this] {
        ToolOptions& o = m_tools.Options();
        const std::string w = o.Get(kToolCrop, "width"), h = o.Get(kToolCrop, "height");
        o.SetStored(kToolCrop, "width", h);
        o.SetStored(kToolCrop, "height", w);
    });
    m_shield = new QCheckBox("Shield", page);
    m_shield->setObjectName("Shield");
    m_shield->setFocusPolicy(Qt::NoFocus);
    row->addWidget(m_shield);
    connect(m_shield, &QCheckBox::clicked, this, [this](bool on) {
        m_tools.CropFrame()->SetShield(on);
        if (CChildFrame* child = m_frame->ActiveChild()) child->View()->viewport()->update();
    });
    m_cancel = SmallButton("Cancel", {}, page);
    m_commit = SmallButton("Commit", {}, page);
    row->addWidget(m_cancel);
    row->addWidget(m_commit);
    for (auto [button, commit] : {std::pair{m_cancel.data(), false}, {m_commit.data(), true}})
        connect(button, &QPushButton::clicked, this, [this, commit] {
            m_tools.CropButton(commit);
            CChildFrame* child = m_frame->ActiveChild();
            m_frame->OnToolActed(child);
            if (child) child->View()->setFocus(Qt::OtherFocusReason);
            Refresh();
        });
    LoadPresets();
    Refresh();
}

void CCropMeasureUi::BuildMeasurePage(COptionsBar& bar, QWidget* page) {
    auto* row = qobject_cast<QHBoxLayout*>(page->layout());
    static const char* const names[6] = {"X", "Y", "W", "H", "A", "D"};
    for (int i = 0; i < 6; ++i) {
        m_readouts[i] = new QLabel(QString(names[i]) + ":", page);
        m_readouts[i]->setObjectName(QString("readout-") + names[i]);
        m_readouts[i]->setMinimumWidth(i == 4 ? 80 : 64);
        row->addWidget(m_readouts[i]);
    }
    bar.AddGeneratedControls(kToolMeasure, page);
    auto* clear = SmallButton("Clear", {}, page);
    row->addWidget(clear);
    connect(clear, &QPushButton::clicked, this, [this] {
        if (CChildFrame* child = m_frame->ActiveChild()) {
            m_tools.Measure()->Clear(child->View()->GetImage());
            child->View()->viewport()->update();
        }
        Refresh();
    });
    Refresh();
}

void CCropMeasureUi::LoadPresets() {
    if (!m_presets) return;
    CropPresetList& list = m_tools.CropPresets();
    QSignalBlocker block(m_presets);
    m_presets->clear();
    for (const CropPreset& p : list.Presets())
        m_presets->addItem(QString::fromStdString(CropPresetText(p)));
    m_presets->setCurrentIndex(list.Selected());
}

void CCropMeasureUi::FollowShade() {
    CropFrameInfo* crop = m_tools.CropFrame();
    CZelvoView* view = nullptr;
    if (crop->Frame() && crop->Shield())
        for (CChildFrame* child : m_frame->Children())
            if (&child->View()->GetImage() == crop->FrameImage()) view = child->View();
    if (!view) {
        if (m_shade) m_shade->deleteLater();
        m_shade = nullptr;
        return;
    }
    if (!m_shade || m_shade->parentWidget() != view->viewport()) {
        if (m_shade) m_shade->deleteLater();
        m_shade = new CropShade(view, m_tools);
        m_shade->show();
    }
    m_shade->setGeometry(view->viewport()->rect());
    m_shade->update();
}

void CCropMeasureUi::Refresh() {
    FollowShade();
    if (m_commit) {
        CropFrameInfo* crop = m_tools.CropFrame();
        const bool open = crop->Frame().has_value();
        m_shield->setChecked(crop->Shield());
        for (QWidget* w : {static_cast<QWidget*>(m_shield), static_cast<QWidget*>(m_cancel),
                           static_cast<QWidget*>(m_commit)})
            w->setVisible(open);
    }
    if (m_readouts[0]) {
        CChildFrame* child = m_frame->ActiveChild();
        const auto values =
            child ? m_tools.Measure()->Readouts(child->View()->GetImage()) : std::nullopt;
        static const char* const empty[6] = {"X:", "Y:", "W:", "H:", "A:", "D:"};
        for (int i = 0; i < 6; ++i)
            m_readouts[i]->setText(
                QString::fromStdString(values ? (*values)[size_t(i)] : empty[i]));
    }
}

}  // namespace zelvo
