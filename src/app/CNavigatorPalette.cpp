#include "app/CNavigatorPalette.h"

#include <cstring>

#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QSlider>

#include "app/DialogFields.h"
#include "app/NavigatorTarget.h"
#include "app/ToolIcons.h"
#include "layers/StoredDib.h"

namespace zelvo {

namespace NR = NavigatorRules;

namespace {

void Place(QWidget* w, const Rect& r) {
    w->setGeometry(r.left, r.top, r.Width(), r.Height());
}

int32_t ReadInt32(const uint8_t* p) {
    int32_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

uint16_t ReadUint16(const uint8_t* p) {
    uint16_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

// A 24-bit bottom-up DIB as a picture; null when the buffer is not one or is cut short.
QImage PictureOfDib(const std::vector<uint8_t>& dib) {
    if (dib.size() < StoredDib::kHeaderBytes) return {};
    const int32_t headerBytes = ReadInt32(dib.data());
    const int32_t width = ReadInt32(dib.data() + 4), height = ReadInt32(dib.data() + 8);
    if (headerBytes < int32_t(StoredDib::kHeaderBytes) || ReadUint16(dib.data() + 14) != 24)
        return {};
    if (width <= 0 || height <= 0 || width > NR::kThumbnailArea.Width() ||
        height > NR::kThumbnailArea.Height())
        return {};
    const size_t stride = StoredDib::Stride(width, 24);
    if (dib.size() < size_t(headerBytes) + stride * size_t(height)) return {};
    QImage picture(width, height, QImage::Format_RGB888);
    const uint8_t* rows = dib.data() + headerBytes;
    for (int32_t y = 0; y < height; ++y) {
        const uint8_t* src = rows + size_t(StoredDib::StoredRow(y, height)) * stride;
        uint8_t* dst = picture.scanLine(y);
        for (int32_t x = 0; x < width; ++x) {
            dst[3 * x] = src[3 * x + 2];
            dst[3 * x + 1] = src[3 * x + 1];
            dst[3 * x + 2] = src[3 * x];
        }
    }
    return picture;
}

// A 1-pixel frame on the inside edge of `r` (right and bottom exclusive), as FrameRect draws it.
void DrawFrame(QPainter& painter, const Rect& r, const QColor& color) {
    if (r.IsEmpty()) return;
    painter.fillRect(r.left, r.top, r.Width(), 1, color);
    painter.fillRect(r.left, r.bottom - 1, r.Width(), 1, color);
    painter.fillRect(r.left, r.top, 1, r.Height(), color);
    painter.fillRect(r.right - 1, r.top, 1, r.Height(), color);
}

}  // namespace

CNavigatorPalette::CNavigatorPalette(QWidget* parent) : QWidget(parent) {
    setFixedSize(NR::kPaletteWidth, NR::kPaletteHeight);
    m_edit = new QLineEdit(this);
    Place(m_edit, NR::kZoomEdit);
    m_zoomOut = new QPushButton(NR::kZoomOutCaption, this);
    Place(m_zoomOut, NR::kZoomOutButton);
    m_slider = new QSlider(Qt::Horizontal, this);
    Place(m_slider, NR::kSlider);
    m_slider->setRange(NR::kSliderMin, NR::kSliderMax);
    m_slider->setPageStep(NR::kSliderPage);
    m_slider->setValue(NR::kSliderInitial);
    m_zoomIn = new QPushButton(NR::kZoomInCaption, this);
    Place(m_zoomIn, NR::kZoomInButton);
    // The step buttons must not steal Enter from the zoom box.
    m_zoomOut->setAutoDefault(false);
    m_zoomIn->setAutoDefault(false);
    // A magnifier says more than the arrows; they stay as the tool-tips.
    for (auto [button, icon] : {std::pair{m_zoomOut, "zoom-out"}, std::pair{m_zoomIn, "zoom-in"}}) {
        button->setToolTip(button->text());
        button->setText({});
        button->setIcon(PaletteIcon(icon));
        button->setIconSize(QSize(16, 16));
    }

    connect(m_edit, &QLineEdit::returnPressed, this, [this] { OnZoomEntered(); });
    // Only Enter zooms; a box left without it shows the zoom in use, not the typed one.
    ShowInUseWhenLeft(m_edit, [this] {
        return m_target ? QString::fromStdString(NR::ZoomText(m_zoom)) : QString();
    });
    connect(m_slider, &QSlider::valueChanged, this,
            [this](int position) { OnSliderMoved(position); });
    connect(m_zoomOut, &QPushButton::clicked, this, [this] { OnZoomOut(); });
    connect(m_zoomIn, &QPushButton::clicked, this, [this] { OnZoomIn(); });
    ShowNoDocument();
}

void CNavigatorPalette::SetTarget(NavigatorTarget* target) {
    if (target == m_target) return;
    m_target = target;
    m_dragging = false;
    m_resync = true;
    m_stale = true;
    if (!m_target) ShowNoDocument();
}

void CNavigatorPalette::Refresh(bool always) {
    if (!m_target) {
        ShowNoDocument();
        return;
    }
    if (always || m_stale) RenderThumbnail();
    m_visible = m_target->VisibleRect();
    const float zoom = m_target->Zoom();
    if (m_resync || zoom != m_zoom) {
        m_resync = false;
        ShowZoom(zoom);
    }
    update();
}

void CNavigatorPalette::ShowNoDocument() {
    m_updating = true;
    m_zoom = 0.0f;
    m_resync = true;
    m_dragging = false;
    m_thumbnail = QImage();
    m_scale = {};
    m_origin = {};
    m_visible = {};
    m_edit->clear();
    m_edit->setEnabled(false);
    m_slider->setValue(NR::kSliderNoDocument);
    m_slider->setEnabled(false);
    m_zoomOut->setEnabled(false);
    m_zoomIn->setEnabled(false);
    m_updating = false;
    update();
}

void CNavigatorPalette::ShowZoom(float zoom) {
    m_updating = true;
    m_zoom = zoom;
    m_edit->setEnabled(true);
    m_edit->setText(QString::fromStdString(NR::ZoomText(zoom)));
    m_slider->setEnabled(true);
    m_slider->setValue(NR::SliderForZoom(zoom));
    m_zoomOut->setEnabled(true);
    m_zoomIn->setEnabled(true);
    m_updating = false;
}

void CNavigatorPalette::Apply(float zoom) {
    // Stored first: the view refreshes the navigator while it zooms, and the controls must not
    // then be pulled to the zoom's own slider position.
    m_zoom = zoom;
    m_target->ApplyZoom(zoom);
}

void CNavigatorPalette::OnZoomEntered() {
    if (!m_target) return;
    const std::optional<float> typed =
        NR::TypedZoom(NR::ParseTypedValue(m_edit->text().toStdString()));
    const bool changed = typed && *typed != m_zoom;
    if (changed) {
        m_updating = true;
        m_slider->setValue(NR::SliderForZoom(*typed));
        m_updating = false;
    }
    m_edit->setText(QString::fromStdString(NR::ZoomText(changed ? *typed : m_zoom)));
    if (changed) Apply(*typed);
}

void CNavigatorPalette::OnSliderMoved(int position) {
    if (m_updating || !m_target) return;
    const float zoom = NR::SliderToZoom(position);
    m_edit->setText(QString::fromStdString(NR::ZoomText(zoom)));
    if (zoom != m_zoom) Apply(zoom);
}

void CNavigatorPalette::Step(int position) {
    if (!m_target || m_target->ToolBusy()) return;
    m_slider->setValue(position);  // valueChanged applies the zoom
}

void CNavigatorPalette::OnZoomOut() {
    Step(NR::StepDown(m_slider->value()));
}

void CNavigatorPalette::OnZoomIn() {
    Step(NR::StepUp(m_slider->value()));
}

void CNavigatorPalette::RenderThumbnail() {
    m_stale = false;
    ++m_renders;
    m_thumbnail =
        PictureOfDib(m_target->Thumbnail(NR::kThumbnailMaxWidth, NR::kThumbnailMaxHeight));
    if (m_thumbnail.isNull()) {
        m_scale = {};
        m_origin = {};
        return;
    }
    m_scale = NR::ThumbnailScale(m_thumbnail.width(), m_thumbnail.height(), m_target->CanvasWidth(),
                                 m_target->CanvasHeight());
    m_origin = NR::ThumbnailOrigin(m_thumbnail.width(), m_thumbnail.height());
}

void CNavigatorPalette::paintEvent(QPaintEvent*) {
    if (m_thumbnail.isNull()) return;
    QPainter painter(this);
    const Rect& area = NR::kThumbnailArea;
    painter.setClipRect(area.left, area.top, area.Width(), area.Height());
    painter.drawImage(m_origin.x, m_origin.y, m_thumbnail);
    if (!m_scale.Valid() || m_visible.IsEmpty()) return;
    const QColor red(RedOf(NR::kFrameColor), GreenOf(NR::kFrameColor), BlueOf(NR::kFrameColor));
    const NR::Frames frames = NR::FrameRects(m_visible, m_scale, m_origin);
    DrawFrame(painter, frames.outer, red);
    if (frames.inner) DrawFrame(painter, *frames.inner, red);
}

void CNavigatorPalette::ScrollTo(Point pressed) {
    const std::optional<Point> at =
        NR::DragTarget(pressed, m_dragOrigin, m_dragScale, m_target->Zoom(),
                       m_target->CanvasWidth(), m_target->CanvasHeight());
    if (!at) return;
    m_target->ScrollToZoomedPoint(at->x, at->y);
    m_visible = m_target->VisibleRect();
    update();
}

void CNavigatorPalette::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !m_target || m_target->ToolBusy() ||
        !m_scale.Valid()) {
        QWidget::mousePressEvent(event);
        return;
    }
    // The press grabs the mouse until the release, so a drag may leave the palette.
    m_dragging = true;
    m_dragScale = m_scale;
    m_dragOrigin = m_origin;
    ScrollTo({int32_t(event->position().x()), int32_t(event->position().y())});
}

void CNavigatorPalette::mouseMoveEvent(QMouseEvent* event) {
    if (!m_dragging || !m_target || !(event->buttons() & Qt::LeftButton)) return;
    if (m_target->ToolBusy()) return;
    ScrollTo({int32_t(event->position().x()), int32_t(event->position().y())});
}

void CNavigatorPalette::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) m_dragging = false;
}

}  // namespace zelvo
