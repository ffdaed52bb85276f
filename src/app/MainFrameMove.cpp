// The main frame's side of the Move tool and the free-transform mode: Edit > Free Transform
// (Ctrl+T) on the active view, the preview of a pending pixel transform in its views, the
// options-bar pages of both (the frame's buttons; the twelve align and distribute buttons)
// and the window that takes a layer dropped on it.
#include <algorithm>

#include <QHBoxLayout>
#include <QLabel>
#include <QMdiArea>
#include <QPainter>
#include <QPushButton>
#include <QStackedWidget>
#include <QToolButton>

#include "app/AppCommands.h"
#include "app/CChildFrame.h"
#include "app/CMainFrame.h"
#include "app/COptionsBar.h"
#include "app/CZelvoView.h"
#include "app/TransformPreview.h"
#include "doc/Image.h"
#include "tools/CropTool.h"
#include "tools/FreeTransformTool.h"
#include "tools/ToolController.h"

namespace zelvo {

namespace {

constexpr const char* kAlignTips[6] = {"Align top edges",          "Align vertical centers",
                                       "Align bottom edges",       "Align left edges",
                                       "Align horizontal centers", "Align right edges"};
constexpr const char* kDistributeTips[6] = {
    "Distribute top edges",  "Distribute vertical centers",   "Distribute bottom edges",
    "Distribute left edges", "Distribute horizontal centers", "Distribute right edges"};

// The picture of an align (three boxes against one line) or distribute (three boxes, their
// edges or centres on evenly spaced lines) button, edge 0..5 as in the menus.
QIcon EdgeIcon(int edge, bool distribute, const QColor& ink) {
    constexpr int kSide = 20;
    QPixmap pixmap(kSide, kSide);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    const bool vertical = edge < 3;  // tops, centres or bottoms: the boxes move up and down
    const int at = edge % 3;         // 0 the near edge, 1 the centre, 2 the far edge
    // Box k: its length across the line and its place along it.
    auto box = [&](int k, int lineAt, int length) {
        const int along = 2 + k * 6, thick = 4;
        const int from = at == 0 ? lineAt : at == 1 ? lineAt - length / 2 : lineAt - length;
        const QRect r =
            vertical ? QRect(along, from, thick, length) : QRect(from, along, length, thick);
        p.fillRect(r, ink);
    };
    const int lengths[3] = {12, 7, 10};
    if (!distribute) {
        const int line = at == 0 ? 2 : at == 1 ? kSide / 2 : kSide - 2;
        for (int k = 0; k < 3; ++k) box(k, line, lengths[k]);
        p.setPen(ink);
        if (vertical)
            p.drawLine(0, line, kSide - 1, line);
        else
            p.drawLine(line, 0, line, kSide - 1);
    } else {
        p.setPen(ink);
        for (int k = 0; k < 3; ++k) {
            const int line = 3 + k * 6 + (at == 0 ? -1 : at == 2 ? 4 : 1);
            box(k, line, 5);
            if (vertical)
                p.drawLine(0, line, kSide - 1, line);
            else
                p.drawLine(line, 0, line, kSide - 1);
        }
    }
    return QIcon(pixmap);
}

QPushButton* PageButton(QWidget* page, const QString& text) {
    auto* button = new QPushButton(text, page);
    button->setFixedHeight(22);
    // The keys stay with the picture (Enter and Esc end the transform there).
    button->setFocusPolicy(Qt::NoFocus);
    qobject_cast<QHBoxLayout*>(page->layout())->addWidget(button);
    return button;
}

}  // namespace

void CMainFrame::SetUpMoveTools() {
    // A layer dropped on another document: that window becomes the active one.
    m_tools->onActivateDocument = [this](Image& image) {
        for (CChildFrame* child : Children())
            if (&child->GetImage() == &image) {
                m_mdi->setActiveSubWindow(child);
                DocumentChanged(image);
            }
    };
    m_optionsPages->RegisterPage(kToolMove, [this](COptionsBar& bar, int tool, QWidget* page) {
        bar.AddGeneratedControls(tool, page);
        auto* row = qobject_cast<QHBoxLayout*>(page->layout());
        row->addWidget(new QLabel("Align Distribute Linked Layers:", page));
        const QColor ink = page->palette().color(QPalette::WindowText);
        for (int i = 0; i < 12; ++i) {
            const bool distribute = i >= 6;
            const int id = distribute ? kIdDistributeTop + i - 6 : kIdAlignTop + i;
            auto* button = new QToolButton(page);
            button->setObjectName(QString("edge%1").arg(i));
            button->setIcon(EdgeIcon(i % 6, distribute, ink));
            button->setToolTip(distribute ? kDistributeTips[i - 6] : kAlignTips[i]);
            button->setAutoRaise(true);
            button->setFocusPolicy(Qt::NoFocus);
            button->setProperty(kCommandProperty, id);
            button->setEnabled(CommandEnabled(id));
            // A gap between the align and the distribute groups.
            if (i == 6) row->addSpacing(8);
            row->addWidget(button);
            connect(button, &QToolButton::clicked, this, [this, id] { OnCommand(id); });
        }
    });
    m_optionsPages->RegisterPage(kToolFreeTransform, [this](COptionsBar&, int, QWidget* page) {
        const struct {
            const char* text;
            FrameButton button;
        } turns[5] = {{"90", FrameButton::Turn90},
                      {"-90", FrameButton::TurnMinus90},
                      {"180", FrameButton::Turn180},
                      {"Horizontal", FrameButton::Horizontal},
                      {"Vertical", FrameButton::Vertical}};
        for (const auto& t : turns) {
            const FrameButton which = t.button;
            connect(PageButton(page, t.text), &QPushButton::clicked, this, [this, which] {
                if (!FreeTransformButton(*m_tools, which)) return;
                for (CChildFrame* child : Children()) child->View()->viewport()->update();
                // A curve layer's anchors moved with the frame.
                if (Image* image = ActiveImage()) DocumentChanged(*image);
            });
        }
        for (const bool commit : {true, false})
            connect(PageButton(page, commit ? "Commit" : "Cancel"), &QPushButton::clicked, this,
                    [this, commit] {
                        Image* image = ActiveImage();
                        if (!EndFreeTransform(*m_tools, commit)) return;
                        if (image) DocumentChanged(*image);
                        UpdateCommandUI();
                        RefreshPalettes();
                    });
        qobject_cast<QHBoxLayout*>(page->layout())->addStretch(1);
    });
}

void CMainFrame::RegisterMoveCommands() {
    m_handlers[kIdFreeTransform] = [this] {
        CChildFrame* child = ActiveChild();
        if (!child || !child->GetImage().IsReady()) return;
        CZelvoView* view = child->View();
        if (m_tools->EnterFreeTransform(view->Model())) view->setFocus(Qt::OtherFocusReason);
        view->viewport()->update();
    };
    m_enablers[kIdFreeTransform] = [this] {
        CChildFrame* child = ActiveChild();
        if (!child || !child->GetImage().IsReady() || m_tools->IsBusy()) return false;
        const LayerPtr layer = child->GetImage().Layers().CurrentLayer();
        return layer && layer->Kind() != LayerKind::Null;
    };
    // Image > Crop commits the crop tool's open frame on the active document, as the bar's
    // "Commit" does.
    m_handlers[kIdCrop] = [this] {
        CChildFrame* child = ActiveChild();
        if (!m_tools->CropButton(true)) return;
        OnToolActed(child);
        if (child) child->View()->setFocus(Qt::OtherFocusReason);
    };
    m_enablers[kIdCrop] = [this] {
        const CropFrameInfo* crop = m_tools->CropFrame();
        const Image* image = ActiveImage();
        return crop && image && crop->Frame() && crop->FrameImage() == image;
    };
}

bool CMainFrame::CommandEnabled(int id) const {
    auto enabled = m_enablers.find(id);
    return m_handlers.count(id) && (enabled == m_enablers.end() || enabled->second());
}

void CMainFrame::UpdateToolPageButtons() {
    if (!m_optionsStrip) return;
    for (QAbstractButton* b : m_optionsStrip->findChildren<QAbstractButton*>()) {
        const QVariant id = b->property(kCommandProperty);
        if (id.isValid()) b->setEnabled(CommandEnabled(id.toInt()));
    }
}

namespace {

// The preview is drawn over the finished picture: true to it only for a shown layer with nothing
// shown above it. Any other layer keeps its place in the picture while only the frame moves.
bool PreviewShowsTrue(Image& image, const LayerPtr& layer) {
    if (!layer->IsVisible()) return false;
    const std::vector<LayerPtr>& layers = image.Layers().Layers();
    const auto at = std::find(layers.begin(), layers.end(), layer);
    return at != layers.end() && std::none_of(at + 1, layers.end(), [](const LayerPtr& above) {
               return above->IsVisible() && above->Kind() != LayerKind::Null;
           });
}

}  // namespace

void CMainFrame::FollowFreeTransform() {
    const PendingPixelTransform pending = PendingPixelTransformOf(*m_tools);
    if (m_transformPreview && m_transformPreview->Layer() == pending.layer) return;
    if (m_transformPreview) {
        // The transform ended: the layer (or, after a commit, its former self kept by the
        // history) shows in the composite again.
        const LayerPtr held = m_transformPreview->Layer();
        held->SetHeldFromDisplay(false);
        m_transformPreview.reset();
        for (CChildFrame* child : Children()) {
            child->View()->SetTransformPreview(nullptr);
            child->View()->Invalidate();
        }
    }
    if (!pending.layer || !PreviewShowsTrue(*pending.image, pending.layer)) return;
    m_transformPreview = std::make_shared<TransformPreview>(*m_tools, pending.layer);
    pending.layer->SetHeldFromDisplay(true);
    for (CChildFrame* child : Children())
        if (&child->GetImage() == pending.image) {
            child->View()->SetTransformPreview(m_transformPreview);
            child->View()->Invalidate();
        }
}

}  // namespace zelvo
