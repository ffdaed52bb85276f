#include "app/CLayersPalette.h"

#include <algorithm>
#include <cstring>

#include <QCoreApplication>
#include <QFontMetrics>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QScrollBar>
#include <QSlider>

#include "app/CMainFrame.h"
#include "app/ToolIcons.h"
#include "commands/DocumentRerender.h"
#include "doc/Image.h"
#include "layerops/LayerCommands.h"
#include "layerops/LayerThumbnail.h"
#include "layerops/LayersPaletteModel.h"
#include "view/DisplayRefresher.h"

namespace zelvo {

namespace {

const QColor kCurrentFill(10, 36, 106);

// The rows area: paints through the palette and passes its clicks on.
class LayerRowsWidget : public QWidget {
public:
    explicit LayerRowsWidget(CLayersPalette* palette) : QWidget(palette), m_palette(palette) {}

protected:
    void paintEvent(QPaintEvent*) override { m_palette->PaintRows(this); }
    void mousePressEvent(QMouseEvent* e) override {
        if (e->button() == Qt::LeftButton)
            m_palette->ClickRow(int(e->position().x()), int(e->position().y()), e->modifiers());
        else if (e->button() == Qt::RightButton)
            m_palette->ContextClick(int(e->position().y()), e->globalPosition().toPoint());
    }
    // The wheel over the rows scrolls them as over their scroll bar.
    void wheelEvent(QWheelEvent* e) override {
        QCoreApplication::sendEvent(m_palette->ScrollBar(), e);
    }

private:
    CLayersPalette* m_palette;
};

}  // namespace

CLayersPalette::CLayersPalette(QWidget* parent) : QWidget(parent) {
    setFixedSize(kWidth, kHeight);
    m_rows = new LayerRowsWidget(this);
    m_rows->setGeometry(0, 0, kRowWidth, kRowHeight * kVisibleRows);
    m_scroll = new QScrollBar(Qt::Vertical, this);
    m_scroll->setGeometry(kRowWidth + 2, 0, 16, kRowHeight * kVisibleRows);
    m_slider = new QSlider(Qt::Horizontal, this);
    m_slider->setRange(0, 100);
    m_slider->setGeometry(0, 154, 140, 20);
    m_slider->setToolTip(kOpacityTooltip);
    m_edit = new QLineEdit(this);
    m_edit->setGeometry(144, 154, 52, 20);
    m_edit->setToolTip(kOpacityTooltip);
    m_new = new QPushButton(LayersPaletteModel::kNewLayerCaption, this);
    m_delete = new QPushButton(LayersPaletteModel::kDeleteLayerCaption, this);
    m_up = new QPushButton(LayersPaletteModel::kUpCaption, this);
    m_down = new QPushButton(LayersPaletteModel::kDownCaption, this);
    // The four buttons share the row by what their icon and caption need; a row too narrow for
    // all four captions shows the arrows alone (their captions stay as tooltips).
    const char* icons[] = {"layer-new", "layer-delete", "layer-up", "layer-down"};
    QPushButton* buttons[] = {m_new, m_delete, m_up, m_down};
    int need[4], total = 0;
    for (int k = 0; k < 4; ++k) {
        QPushButton* b = buttons[k];
        QFont f = b->font();
        f.setPointSize(7);
        b->setFont(f);
        b->setIcon(PaletteIcon(icons[k]));
        b->setIconSize(QSize(12, 12));
        b->setToolTip(b->text());
        b->setAccessibleName(b->text());
        b->setStyleSheet("QPushButton { padding: 0px 2px; }");
        need[k] = 12 + 4 + QFontMetrics(f).horizontalAdvance(b->text()) + 8;
        total += need[k];
    }
    if (total > kWidth) {
        for (int k = 2; k < 4; ++k) {
            buttons[k]->setText(QString());
            total -= need[k];
            need[k] = 24;
            total += need[k];
        }
    }
    int x = 0;
    const int spare = std::max(0, kWidth - total);
    for (int k = 0; k < 4; ++k) {
        const int w = k == 3 ? kWidth - x : need[k] + spare / 4;
        buttons[k]->setGeometry(x, 177, w, 22);
        x += w;
    }
    connect(m_new, &QPushButton::clicked, this, [this] { RunCommand(kCmdNewLayer); });
    connect(m_delete, &QPushButton::clicked, this, [this] { RunCommand(kCmdDeleteLayer); });
    connect(m_up, &QPushButton::clicked, this, [this] { RunCommand(kCmdMoveUp); });
    connect(m_down, &QPushButton::clicked, this, [this] { RunCommand(kCmdMoveDown); });

    connect(m_scroll, &QScrollBar::valueChanged, m_rows, [this](int v) {
        if (m_model) m_model->SetScrollOffset(v * kRowHeight);
        m_rows->update();
    });
    connect(m_slider, &QSlider::sliderMoved, this, [this](int v) { ApplyOpacity(v, false); });
    connect(m_slider, &QSlider::sliderReleased, this,
            [this] { ApplyOpacity(m_slider->value(), true); });
    connect(m_slider, &QSlider::valueChanged, this, [this](int v) {
        // Keys and page clicks move without a drag: each is final.
        if (!m_refreshing && !m_slider->isSliderDown()) ApplyOpacity(v, true);
    });
    connect(m_edit, &QLineEdit::editingFinished, this, [this] {
        if (!HaveDocument()) return;
        const std::string typed = m_edit->text().trimmed().toStdString();
        EndToolWork();  // may show the opacity anew
        if (HaveDocument() && m_model->EditEntered(typed)) Changed();
        // Taken or not, what was typed gives way to the opacity in force, written as the box
        // writes it.
        ShowOpacity(true);
        // Enter hands the keyboard back, so that Ctrl+Z is the menu's Undo and not the box's.
        if (m_edit->hasFocus()) m_edit->clearFocus();
    });
    Refresh();
}

CLayersPalette::~CLayersPalette() = default;

CMainFrame* CLayersPalette::Frame() const {
    for (QObject* p = parent(); p; p = p->parent())
        if (auto* frame = qobject_cast<CMainFrame*>(p)) return frame;
    return nullptr;
}

bool CLayersPalette::HaveDocument() const {
    return m_image && m_model && m_image->IsReady();
}

void CLayersPalette::SetDocument(Image* image) {
    if (image == m_image) return;
    m_image = image;
    m_model = image ? std::make_unique<LayersPaletteModel>(image->History()) : nullptr;
    m_scroll->setValue(0);
    Refresh();
}

void CLayersPalette::Refresh() {
    const bool ready = HaveDocument();
    const int n = ready ? m_model->RowCount() : 0;
    m_refreshing = true;
    m_scroll->setRange(0, std::max(0, n - kVisibleRows));
    m_scroll->setPageStep(kVisibleRows);
    m_scroll->setEnabled(ready && m_model->ScrollEnabled());
    if (m_model) m_model->SetScrollOffset(m_scroll->value() * kRowHeight);
    m_refreshing = false;
    m_slider->setEnabled(n > 0);
    m_edit->setEnabled(n > 0);
    HistoryManager* history = ready ? &m_image->History() : nullptr;
    m_new->setEnabled(LayerCommandEnabled(kCmdNewLayer, history));
    m_delete->setEnabled(LayerCommandEnabled(kCmdDeleteLayer, history));
    m_up->setEnabled(LayerCommandEnabled(kCmdMoveUp, history));
    m_down->setEnabled(LayerCommandEnabled(kCmdMoveDown, history));
    ShowOpacity();
    m_rows->update();
}

void CLayersPalette::ShowOpacity(bool typingDone) {
    if (m_slider->isSliderDown()) return;
    const int opacity = HaveDocument() ? m_model->SliderValue() : 100;
    m_refreshing = true;
    m_slider->setValue(opacity);
    if (typingDone || !m_edit->hasFocus()) m_edit->setText(QString::asprintf("%d%%", opacity));
    m_refreshing = false;
}

void CLayersPalette::EndToolWork() {
    // What a tool has open (typed text, a transform) ends as before a menu command, so the
    // palette acts on the layers as they will stay.
    if (m_image) m_image->EndToolInteraction();
}

void CLayersPalette::ApplyOpacity(int value, bool final) {
    if (!HaveDocument()) return;
    EndToolWork();
    {
        HoldRender hold(m_image->ViewState());
        if (final)
            m_model->SliderReleased(value);
        else
            m_model->SliderMoved(value);
    }
    m_refreshing = true;
    m_edit->setText(QString::asprintf("%d%%", value));
    if (!m_slider->isSliderDown()) m_slider->setValue(value);
    m_refreshing = false;
    Changed();
}

void CLayersPalette::RunCommand(int id) {
    if (!HaveDocument()) return;
    if (CMainFrame* frame = Frame()) {
        frame->OnCommand(id);
        return;
    }
    RunLayerCommand(LayerCommandId(id), m_image->History());
    Changed();
}

void CLayersPalette::Changed() {
    if (!m_image) return;
    if (CMainFrame* frame = Frame()) {
        frame->DocumentChanged(*m_image);
        frame->UpdateCommandUI();
        frame->RefreshPalettes();
        return;
    }
    m_image->RequestRender(1);
    Refresh();
}

int CLayersPalette::LayerIndexOfRow(int row) const {
    if (!HaveDocument() || row < 0) return -1;
    return m_model->LayerIndexOfRow(row + m_scroll->value());
}

void CLayersPalette::ContextClick(int y, const QPoint& global) {
    if (!HaveDocument()) return;
    // The layer under the pointer is the one the menu acts on, as a click on its name makes it.
    if (LayerIndexOfRow(y / kRowHeight) >= 0) ClickRow(kRowWidth / 2, y);
    if (CMainFrame* frame = Frame()) frame->ShowLayerMenu(global);
}

void CLayersPalette::ClickRow(int x, int y, Qt::KeyboardModifiers modifiers) {
    if (!HaveDocument() || y < 0) return;
    // Ending the tool's work may drop an untouched new text and shift the rows: the click
    // goes to the layer that was under the pointer.
    const LayerPtr clicked = m_image->Layers().LayerAt(LayerIndexOfRow(y / kRowHeight));
    EndToolWork();
    if (!HaveDocument() || !clicked) return;
    const int index = m_image->Layers().IndexOf(clicked.get());
    m_model->SetScrollOffset(m_scroll->value() * kRowHeight);
    DocumentRerender rerender;
    LayersPaletteModel::ClickResult result;
    {
        // Show/Hide, links and the current layer change fields the refresher reads.
        HoldRender hold(m_image->ViewState());
        result = m_model->ClickLayer(x, index, modifiers.testFlag(Qt::ControlModifier), &rerender);
    }
    if (result == LayersPaletteModel::ClickResult::Nothing) return;
    Changed();
}

QImage CLayersPalette::Thumbnail(int row) {
    if (!HaveDocument()) return {};
    const int index = m_model->LayerIndexOfRow(row);
    if (index < 0) return {};
    LayerPtr layer = m_image->Layers().LayerAt(index);
    if (!layer) return {};
    const HistoryManager& h = m_image->History();
    const ThumbnailKey key{layer->Block(),        layer->Width(),         layer->Height(),
                           layer->Position().x,   layer->Position().y,    m_image->Width(),
                           m_image->Height(),     int32_t(layer->Kind()), h.LastId(),
                           h.CurrentStateIndex(), h.StateCount()};
    auto it = m_thumbnails.find(layer.get());
    if (it != m_thumbnails.end() && it->second.first == key) return it->second.second;
    const std::vector<uint32_t> words =
        LayerThumbnail(*layer, m_image->Width(), m_image->Height(), kThumbnailSide);
    QImage picture(kThumbnailSide, kThumbnailSide, QImage::Format_ARGB32);
    picture.fill(Qt::transparent);
    if (words.size() == size_t(kThumbnailSide * kThumbnailSide))
        for (int y = 0; y < kThumbnailSide; ++y)
            std::memcpy(picture.scanLine(y), words.data() + size_t(y * kThumbnailSide),
                        size_t(kThumbnailSide) * 4);
    // Layers gone from the document leave with their pictures.
    if (m_thumbnails.size() > 2 * size_t(m_model->RowCount()) + 8) m_thumbnails.clear();
    m_thumbnails[layer.get()] = {key, picture};
    return picture;
}

void CLayersPalette::PaintRows(QWidget* target) {
    QPainter p(target);
    p.fillRect(target->rect(), Qt::white);
    if (!HaveDocument()) return;
    for (int row = 0; row < kVisibleRows + 1; ++row) {
        const int modelRow = row + m_scroll->value();
        if (m_model->LayerIndexOfRow(modelRow) < 0) break;
        const LayersPaletteModel::Row info = m_model->RowAt(modelRow);
        const QRect r(0, row * kRowHeight, kRowWidth, kRowHeight);
        p.setPen(Qt::gray);
        p.drawRect(r.adjusted(0, 0, -1, -1));
        p.setPen(Qt::black);
        p.drawText(
            QRect(r.left() + 3, r.top(), LayersPaletteModel::kVisibilityRight - 3, kRowHeight),
            Qt::AlignVCenter, QString::fromStdString(info.visibility));
        if (info.linkMark) {
            p.drawEllipse(QPoint(r.left() + 46, r.center().y()), 4, 4);
            p.drawEllipse(QPoint(r.left() + 54, r.center().y()), 4, 4);
        }
        const QRect name(r.left() + LayersPaletteModel::kLinkRight, r.top(),
                         kRowWidth - LayersPaletteModel::kLinkRight, kRowHeight);
        if (info.current) {
            p.fillRect(name, kCurrentFill);
            p.setPen(Qt::white);
        }
        const QImage picture = Thumbnail(modelRow);
        const QRect thumb(name.left() + 2, r.top() + (kRowHeight - kThumbnailSide) / 2,
                          kThumbnailSide, kThumbnailSide);
        if (!picture.isNull()) p.drawImage(thumb, picture);
        p.drawText(name.adjusted(kThumbnailSide + 6, 0, 0, 0), Qt::AlignVCenter,
                   QString::fromStdString(info.name));
    }
}

}  // namespace zelvo
