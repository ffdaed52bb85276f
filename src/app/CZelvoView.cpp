#include "app/CZelvoView.h"

#include <algorithm>
#include <cstring>

#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QUrl>
#include <QWheelEvent>

#include "app/FileDialogs.h"
#include "app/ToolCursors.h"
#include "app/TransformPreview.h"
#include "doc/Image.h"
#include "layers/StoredDib.h"
#include "platform/Messages.h"
#include "tools/ToolController.h"
#include "view/DisplayRefresher.h"
#include "view/ToolEvents.h"
#include "view/ViewZoom.h"

namespace zelvo {

int ToolModifiers(Qt::KeyboardModifiers k) {
    return (k & Qt::ShiftModifier ? kShift : 0) | (k & Qt::ControlModifier ? kControl : 0) |
           (k & Qt::AltModifier ? kAlt : 0);
}

namespace {

ViewMouse ToViewMouse(const QMouseEvent* e) {
    auto bits = [](Qt::MouseButtons b) {
        int out = 0;
        if (b & Qt::LeftButton) out |= kLeftButton;
        if (b & Qt::RightButton) out |= kRightButton;
        if (b & Qt::MiddleButton) out |= kMiddleButton;
        return out;
    };
    ViewMouse m;
    const QPoint p = e->position().toPoint();
    m.client = {p.x(), p.y()};
    m.button = bits(e->button());
    m.buttons = bits(e->buttons());
    m.modifiers = ToolModifiers(e->modifiers());
    return m;
}

std::vector<std::string> LocalPaths(const QMimeData* data) {
    std::vector<std::string> paths;
    if (data && data->hasUrls())
        for (const QUrl& url : data->urls())
            if (std::string path = LocalFileBytes(url); !path.empty()) paths.push_back(path);
    return paths;
}

// The tools' lines: a dark dashed line over a light one reads on any picture, as the inverted
// pixels of a desktop without XOR drawing would.
class PainterCanvas : public OverlayCanvas {
public:
    explicit PainterCanvas(QPainter& p) : m_p(p) { m_p.setBrush(Qt::NoBrush); }
    void Line(Point from, Point to, ColorRef c) override {
        Draw(c, [&] { m_p.drawLine(from.x, from.y, to.x, to.y); });
    }
    void Frame(const Rect& r, ColorRef c) override {
        Draw(c, [&] { m_p.drawRect(r.left, r.top, r.Width() - 1, r.Height() - 1); });
    }

private:
    template <class F>
    void Draw(ColorRef c, F draw) {
        const QColor dark(RedOf(c), GreenOf(c), BlueOf(c));
        const QColor light = dark.lightness() < 128 ? Qt::white : Qt::black;
        m_p.setPen(QPen(light, 1));
        draw();
        QPen dashes(dark, 1, Qt::CustomDashLine);
        dashes.setDashPattern({4, 4});
        m_p.setPen(dashes);
        draw();
    }

    QPainter& m_p;
};

}  // namespace

CZelvoView::CZelvoView(Image& image, DisplayRefresher& refresher, QWidget* parent)
    : QAbstractScrollArea(parent),
      m_image(image),
      m_refresher(refresher),
      m_model(image),
      m_hand(std::make_unique<ToolController>()) {
    setObjectName("ZelvoView");
    setFrameShape(QFrame::NoFrame);
    setAcceptDrops(true);
    setFocusPolicy(Qt::StrongFocus);
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    viewport()->setMouseTracking(true);
    setMinimumSize(50, 40);
    // A thumb drag is one fast-scroll pass; its end repaints the whole client area.
    for (QScrollBar* bar : {horizontalScrollBar(), verticalScrollBar()}) {
        connect(bar, &QScrollBar::sliderPressed, this,
                [this] { m_image.ViewState().fastScroll.store(true); });
        connect(bar, &QScrollBar::sliderReleased, this, [this] {
            m_image.ViewState().fastScroll.store(false);
            RequestRender(8);
        });
    }
}

CZelvoView::~CZelvoView() {
    Detach();
}

ToolEvents* CZelvoView::Tools() const {
    return m_tools ? m_tools : m_hand.get();
}

void CZelvoView::SetToolController(ToolEvents* tools) {
    m_tools = tools;
    m_cursorSet = false;
    UpdateCursor();
    // The animator asks the active view's controller whether the outline may move.
    if (m_active) m_refresher.SetToolController(Tools());
}

void CZelvoView::SetActive(bool active) {
    if (active == m_active) return;
    m_active = active;
    if (active) {
        m_refresher.SetToolController(Tools());
        m_refresher.SetActive(&m_image);
        // The status bar shows the zoom of the active window.
        if (m_image.IsReady() && m_image.ViewState().firstDrawDone) ShowRatio();
        // The tiles may hold another image: what does not match is rendered.
        if (m_image.IsReady() && m_image.ViewState().hasView) m_model.RequestRender(8);
    } else if (m_refresher.Active() == &m_image) {
        m_refresher.SetActive(nullptr);
        if (m_refresher.Tools() == Tools()) m_refresher.SetToolController(nullptr);
    }
}

void CZelvoView::Detach() {
    m_active = false;
    if (m_refresher.Active() == &m_image) m_refresher.SetActive(nullptr);
    // The Hand tool goes with the view: the animator must not ask it any more.
    if (m_refresher.Tools() == Tools()) m_refresher.SetToolController(nullptr);
}

void CZelvoView::Closing() {
    if (m_closingSent) return;
    m_closingSent = true;
    Tools()->ViewClosing(m_model);
}

void CZelvoView::RequestRender(int code) {
    if (!m_image.IsReady()) return;
    if (m_model.CanvasChanged()) {
        // The canvas took another size: scroll bars, layout and navigator follow at once.
        m_model.CanvasResized();
        Changed(true);
        return;
    }
    if (!m_image.ViewState().hasView) {
        // Not laid out yet: the first layout asks for the full redraw.
        if (viewport()->width() > 0) m_model.LayOutAndRequest(code);
        return;
    }
    if (m_active) {
        m_model.RequestRender(code);
    } else {
        RenderHere();
        viewport()->update();
    }
}

void CZelvoView::RequestRenderRect(const Rect& canvasRect) {
    if (!m_image.IsReady()) return;
    if (m_active && m_image.ViewState().hasView && !m_model.CanvasChanged())
        m_model.RequestRenderRect(canvasRect);
    else
        RequestRender(1);
}

void CZelvoView::ShowPreview(const ImageProcessor* preview) {
    {
        HoldRender hold(m_image.ViewState());
        m_refresher.SetPreview(&m_image, preview);
    }
    if (preview) RequestRender(3);
}

void CZelvoView::ServePending() {
    const int code = m_image.TakeRenderRequest();
    if (code != 0) RequestRender(code);
}

void CZelvoView::SetTransformPreview(std::shared_ptr<const TransformPreview> preview) {
    m_transformPreview = std::move(preview);
    viewport()->update();
}

void CZelvoView::SetZoomMode(int mode) {
    if (!m_image.IsReady()) return;
    m_model.SetZoomMode(mode);
    Changed(true);
}

bool CZelvoView::WheelZoom(int delta, bool buttonHeld) {
    if (!m_image.IsReady()) return false;
    if (!m_model.WheelZoom(delta, buttonHeld, Tools()->PolygonBusy())) return false;
    Changed(true);
    return true;
}

void CZelvoView::ShowRatio() {
    emit statusText(QString::fromStdString(Format("Show ratio：%d%%", int(m_model.Zoom() * 100))));
}

void CZelvoView::Changed(bool showRatio) {
    SyncScrollBars();
    if (!m_active) RenderHere();
    if (showRatio) ShowRatio();
    viewport()->update();
    emit viewChanged();
}

void CZelvoView::SyncScrollBars() {
    m_syncing = true;
    QScrollBar* h = horizontalScrollBar();
    QScrollBar* v = verticalScrollBar();
    h->setRange(0, m_model.MaxScrollX());
    h->setPageStep(std::max(1, m_model.ClientWidth()));
    h->setSingleStep(16);
    h->setValue(m_model.ScrollX());
    v->setRange(0, m_model.MaxScrollY());
    v->setPageStep(std::max(1, m_model.ClientHeight()));
    v->setSingleStep(16);
    v->setValue(m_model.ScrollY());
    m_syncing = false;
}

void CZelvoView::resizeEvent(QResizeEvent*) {
    if (!m_image.IsReady()) return;
    const QSize size = viewport()->size();
    const QSize barless = maximumViewportSize();
    m_model.SetBarlessClient(barless.width(), barless.height());
    m_model.Resize(size.width(), size.height());
    SyncScrollBars();
    if (!m_active) RenderHere();
    viewport()->update();
    emit viewChanged();
}

void CZelvoView::scrollContentsBy(int dx, int dy) {
    if (m_syncing || !m_image.IsReady()) return;
    ShiftPicture(dx, dy);
    m_model.ScrollTo(horizontalScrollBar()->value(), verticalScrollBar()->value());
    if (!m_active) RenderHere();
    viewport()->update();
    emit viewChanged();
}

void CZelvoView::ShiftPicture(int dx, int dy) {
    // Until the tiles arrive the old picture moves along.
    if (m_picture.isNull() || (dx == 0 && dy == 0)) return;
    QImage moved(m_picture.size(), QImage::Format_RGB32);
    moved.fill(palette().color(QPalette::Dark));
    QPainter p(&moved);
    p.drawImage(dx, dy, m_picture);
    p.end();
    m_picture = moved;
    m_outline.clear();
}

void CZelvoView::OnTilesReady() {
    if (!m_active || !m_image.IsReady() || m_printing) return;
    Rect damage;
    {
        HoldRender hold(m_image.ViewState());
        const ImageGeometry& now = m_image.Geometry();
        const ImageGeometry& done = m_refresher.RenderedGeometry();
        // A layout changed since the pass: its own pass follows.
        if (m_refresher.RenderedDocument() != m_image.UntitledNumber() || done.zoom != now.zoom ||
            done.visible != now.visible || done.screenRect != now.screenRect ||
            m_refresher.RenderedClientWidth() != m_model.ClientWidth() ||
            m_refresher.RenderedClientHeight() != m_model.ClientHeight())
            return;
        // While a stroke paints only its tiles change: they alone are copied and repainted.
        bool all = false;
        damage = m_refresher.Renderer().TakeDamage(all);
        const QSize size(m_model.ClientWidth(), m_model.ClientHeight());
        if (all || damage.IsEmpty() || m_picture.size() != size) damage = {};
        CopyTiles(damage);
    }
    PaintOutline(m_refresher.Phase().Value());
    if (damage.IsEmpty())
        viewport()->update();
    else
        viewport()->update(damage.left, damage.top, damage.Width(), damage.Height());
}

void CZelvoView::CopyTiles(const Rect& part) {
    const QSize size(m_model.ClientWidth(), m_model.ClientHeight());
    if (size.isEmpty()) return;
    Rect shown = m_image.Geometry().screenRect.Intersect({0, 0, size.width(), size.height()});
    if (part.IsEmpty()) {
        if (m_picture.size() != size) m_picture = QImage(size, QImage::Format_RGB32);
        m_picture.fill(palette().color(QPalette::Dark));
        m_outline.clear();
    } else {
        shown = shown.Intersect(part);
        std::erase_if(m_outline, [&](const OutlinePixel& o) { return part.Contains({o.x, o.y}); });
    }
    const ImageGeometry& g = m_image.Geometry();
    const TileRenderer& renderer = m_refresher.Renderer();
    const TilePlacement& grid = renderer.Grid();
    TileCache& cache = m_refresher.Cache();
    constexpr int32_t kT = TileCache::kTileSize;
    for (int32_t r = 0; r < grid.rows; ++r)
        for (int32_t c = 0; c < grid.columns; ++c) {
            const TileCache::Tile& t = cache.At(r, c);
            if (!t.valid || t.document != m_image.UntitledNumber() || t.zoom != g.zoom) continue;
            const int32_t x0 = renderer.SlotX(c), y0 = renderer.SlotY(r);
            const Rect part = Rect{x0, y0, x0 + kT, y0 + kT}.Intersect(shown);
            for (int32_t y = part.top; y < part.bottom; ++y) {
                const uint32_t* src = t.out + size_t(y - y0) * kT;
                auto* dst = reinterpret_cast<uint32_t*>(m_picture.scanLine(y));
                for (int32_t x = part.left; x < part.right; ++x) {
                    const uint32_t w = src[x - x0];
                    dst[x] = 0xFF000000u | (w & 0x00FFFFFFu);
                    if ((w >> 24) == TileCache::kOutlineMarker)
                        m_outline.push_back({x, y, kT - (y - y0), x - x0});
                }
            }
        }
}

void CZelvoView::PaintOutline(int phase) {
    if (m_outline.empty() || m_picture.isNull()) return;
    for (const OutlinePixel& p : m_outline) {
        if (p.x >= m_picture.width() || p.y >= m_picture.height()) continue;
        auto* row = reinterpret_cast<uint32_t*>(m_picture.scanLine(p.y));
        row[p.x] = StripeIsBlack(p.i, p.j, phase) ? 0xFF000000u : 0xFFFFFFFFu;
    }
}

void CZelvoView::OnOutline(int phase) {
    if (!m_active || m_outline.empty() || m_printing) return;
    PaintOutline(phase);
    viewport()->update();
}

void CZelvoView::RenderHere() {
    // A window that is not the active one is drawn here through the display buffer: the
    // refresher works for the active window alone.
    if (!m_image.IsReady() || !m_image.ViewState().hasView) return;
    const QSize size(m_model.ClientWidth(), m_model.ClientHeight());
    if (size.isEmpty()) return;
    LayerManager& lm = m_image.Layers();
    const bool rendered = lm.RenderDisplay();
    // Windows other than the active one are redrawn seldom: keep no file pages for them.
    lm.DropMappedPages();
    if (!rendered || !lm.DisplayBuffer()) return;
    if (m_picture.size() != size) m_picture = QImage(size, QImage::Format_RGB32);
    m_picture.fill(palette().color(QPalette::Dark));
    m_outline.clear();
    Layer& display = *lm.DisplayBuffer();
    const Rect shown =
        m_image.Geometry().screenRect.Intersect({0, 0, std::min(size.width(), lm.ScreenWidth()),
                                                 std::min(size.height(), lm.ScreenHeight())});
    for (int32_t y = shown.top; y < shown.bottom; ++y) {
        const uint8_t* src =
            display.Rows()->Row(uint32_t(StoredDib::StoredRow(y, display.Height())));
        if (!src) break;
        auto* dst = reinterpret_cast<uint32_t*>(m_picture.scanLine(y));
        for (int32_t x = shown.left; x < shown.right; ++x) {
            uint32_t w;
            std::memcpy(&w, src + 4 * size_t(x), 4);
            dst[x] = 0xFF000000u | (w & 0x00FFFFFFu);
        }
    }
    display.ReleaseRows();
}

void CZelvoView::paintEvent(QPaintEvent*) {
    if (m_printing) return;
    QPainter p(viewport());
    const QColor grey = palette().color(QPalette::Dark);
    if (m_image.IsReady() && !m_image.ViewState().firstDrawDone && !m_firstDrawPosted) {
        // The first paint fits the image into the window as it is shown, never enlarging it,
        // and paints once more.
        m_firstDrawPosted = true;
        QMetaObject::invokeMethod(
            this,
            [this] {
                const QSize size = viewport()->size();
                const QSize barless = maximumViewportSize();
                m_model.SetBarlessClient(barless.width(), barless.height());
                m_model.Resize(size.width(), size.height());
                if (m_model.FirstDraw()) Changed(true);
            },
            Qt::QueuedConnection);
    }
    if (m_picture.isNull() || !m_image.IsReady()) {
        p.fillRect(viewport()->rect(), grey);
        return;
    }
    p.drawImage(0, 0, m_picture);
    const QRect covered(0, 0, m_picture.width(), m_picture.height());
    if (!covered.contains(viewport()->rect())) {
        p.fillRect(
            QRect(covered.width(), 0, viewport()->width() - covered.width(), viewport()->height()),
            grey);
        p.fillRect(
            QRect(0, covered.height(), covered.width(), viewport()->height() - covered.height()),
            grey);
    }
    if (m_transformPreview) m_transformPreview->Paint(p, m_image.Geometry());
    PainterCanvas canvas(p);
    Tools()->Overlay(m_model, canvas);
}

bool CZelvoView::viewportEvent(QEvent* event) {
    // The mouse capture left the view while a tool held it.
    if (event->type() == QEvent::UngrabMouse && m_captured) {
        m_captured = false;
        if (m_image.IsReady()) Tools()->CaptureLost(m_model);
    }
    return QAbstractScrollArea::viewportEvent(event);
}

void CZelvoView::focusOutEvent(QFocusEvent* event) {
    // A window that takes the focus in the middle of a drag (a message, another program) takes
    // the mouse too.
    if (m_captured && event->reason() != Qt::PopupFocusReason) {
        m_captured = false;
        if (m_image.IsReady()) {
            const Before before = Snapshot();
            Tools()->CaptureLost(m_model);
            AfterToolEvent(before, true);
        }
    }
    QAbstractScrollArea::focusOutEvent(event);
}

CZelvoView::Before CZelvoView::Snapshot() const {
    return {m_model.Zoom(), m_model.ScrollX(), m_model.ScrollY(), Tools()->Busy()};
}

void CZelvoView::AfterToolEvent(const Before& before, bool acted) {
    const bool busy = Tools()->Busy();
    if (m_model.Zoom() != before.zoom) {
        Changed(true);
    } else if (m_model.ScrollX() != before.scrollX || m_model.ScrollY() != before.scrollY) {
        ShiftPicture(before.scrollX - m_model.ScrollX(), before.scrollY - m_model.ScrollY());
        Changed(false);
    } else if (busy || before.busy) {
        // The tool's lines over the picture follow the pointer.
        viewport()->update();
    }
    UpdateCursor();
    if (acted) emit toolActed();
}

void CZelvoView::UpdateCursor() {
    const CursorInfo info = Tools()->Cursor(m_model);
    if (m_cursorSet && info == m_cursor) return;
    m_cursor = info;
    m_cursorSet = true;
    viewport()->setCursor(ToolCursor(info));
}

void CZelvoView::wheelEvent(QWheelEvent* event) {
    const QPoint d = event->angleDelta();
    // Alt turns the wheel sideways on some systems.
    const int delta = d.y() != 0 ? d.y() : d.x();
    if (m_image.IsReady() && Tools()->Wheel(m_model, delta, ToolModifiers(event->modifiers()))) {
        event->accept();
        return;
    }
    WheelZoom(delta, event->buttons() != Qt::NoButton);
    UpdateCursor();
    event->accept();
}

void CZelvoView::mousePressEvent(QMouseEvent* event) {
    if (!m_image.IsReady()) return;
    setFocus(Qt::MouseFocusReason);
    const ViewMouse m = ToViewMouse(event);
    if (event->button() == Qt::RightButton) {
        const ContextChoice choice = Tools()->ContextMenu(m_model, m.client, m.modifiers);
        if (choice.kind != ContextChoice::None)
            emit contextMenu(choice.kind, choice.subMenu,
                             viewport()->mapToGlobal(event->position().toPoint()) + QPoint(3, 3));
        return;
    }
    if (event->button() != Qt::LeftButton) return;
    m_captured = true;
    const Before before = Snapshot();
    Tools()->MouseDown(m_model, m);
    // A click that finished at once (the wand, a zoom step) may have changed the document.
    AfterToolEvent(before, !Tools()->Busy());
}

CZelvoView* CZelvoView::OtherViewAt(const QPoint& global) const {
    for (QWidget* w = QApplication::widgetAt(global); w; w = w->parentWidget())
        if (auto* view = qobject_cast<CZelvoView*>(w))
            return view != this && view->Tools() == Tools() && view->m_image.IsReady() ? view
                                                                                       : nullptr;
    return nullptr;
}

bool CZelvoView::IsUnder(const QPoint& global) const {
    for (QWidget* w = QApplication::widgetAt(global); w; w = w->parentWidget())
        if (w == this) return true;
    return false;
}

void CZelvoView::ForwardToOther(CZelvoView* other, const QMouseEvent* event, bool release) {
    ViewMouse m = ToViewMouse(event);
    const QPoint local = other->viewport()->mapFromGlobal(event->globalPosition().toPoint());
    m.client = {local.x(), local.y()};
    if (release)
        Tools()->MouseUp(other->m_model, m);
    else
        Tools()->MouseMove(other->m_model, m);
    other->viewport()->update();
}

void CZelvoView::mouseMoveEvent(QMouseEvent* event) {
    if (!m_image.IsReady()) return;
    const Before before = Snapshot();
    // A drag begun here over another image window goes on there (a layer dropped on another
    // document); the window left behind loses its drop frame.
    CZelvoView* other = m_captured && Tools()->DragCrossesViews()
                            ? OtherViewAt(event->globalPosition().toPoint())
                            : nullptr;
    if (m_lastOther && m_lastOther != other) m_lastOther->viewport()->update();
    m_lastOther = other;
    if (other)
        ForwardToOther(other, event, false);
    else if (before.busy)
        Tools()->MouseMove(m_model, ToViewMouse(event));
    AfterToolEvent(before, false);
}

void CZelvoView::mouseReleaseEvent(QMouseEvent* event) {
    if (!m_image.IsReady() || event->button() != Qt::LeftButton) return;
    m_captured = false;
    const Before before = Snapshot();
    m_lastOther = nullptr;
    const QPoint global = event->globalPosition().toPoint();
    if (CZelvoView* other = Tools()->DragCrossesViews() ? OtherViewAt(global) : nullptr)
        ForwardToOther(other, event, true);
    else if (Tools()->DragCrossesViews() && !IsUnder(global))
        Tools()->DropNowhere(m_model);
    else
        Tools()->MouseUp(m_model, ToViewMouse(event));
    AfterToolEvent(before, true);
}

void CZelvoView::mouseDoubleClickEvent(QMouseEvent* event) {
    if (!m_image.IsReady() || event->button() != Qt::LeftButton) return;
    const Before before = Snapshot();
    Tools()->DoubleClick(m_model, ToViewMouse(event));
    AfterToolEvent(before, true);
}

void CZelvoView::keyPressEvent(QKeyEvent* event) {
    if (m_image.IsReady()) {
        // Held Space and Ctrl repeat; the temporary tool needs only the first.
        if (event->isAutoRepeat() &&
            (event->key() == Qt::Key_Space || event->key() == Qt::Key_Control)) {
            event->accept();
            return;
        }
        const Before before = Snapshot();
        if (Tools()->Key(m_model, event->key(), true, ToolModifiers(event->modifiers()))) {
            AfterToolEvent(before, true);
            event->accept();
            return;
        }
        UpdateCursor();
    }
    QAbstractScrollArea::keyPressEvent(event);
}

void CZelvoView::keyReleaseEvent(QKeyEvent* event) {
    if (m_image.IsReady()) {
        // A repeating key sends up and down pairs; only the real key-up ends a nudge.
        if (event->isAutoRepeat()) {
            event->accept();
            return;
        }
        const Before before = Snapshot();
        if (Tools()->Key(m_model, event->key(), false, ToolModifiers(event->modifiers()))) {
            AfterToolEvent(before, true);
            event->accept();
            return;
        }
        UpdateCursor();
    }
    QAbstractScrollArea::keyReleaseEvent(event);
}

void CZelvoView::dragEnterEvent(QDragEnterEvent* event) {
    // Files the tools do not take go on to the main window, which opens them.
    if (m_image.IsReady() && Tools()->DragOver(m_model, LocalPaths(event->mimeData())))
        event->acceptProposedAction();
    else
        event->ignore();
}

void CZelvoView::dragMoveEvent(QDragMoveEvent* event) {
    if (m_image.IsReady() && Tools()->DragOver(m_model, LocalPaths(event->mimeData())))
        event->acceptProposedAction();
    else
        event->ignore();
}

void CZelvoView::dropEvent(QDropEvent* event) {
    if (m_image.IsReady() && Tools()->Drop(m_model, LocalPaths(event->mimeData())))
        event->acceptProposedAction();
    else
        event->ignore();
}

float CZelvoView::Zoom() const {
    return m_image.Geometry().zoom;
}

void CZelvoView::ApplyZoom(float factor) {
    if (!m_image.IsReady() || !m_model.SetZoom(factor)) return;
    Changed(true);
}

int32_t CZelvoView::CanvasWidth() const {
    return m_image.Width();
}
int32_t CZelvoView::CanvasHeight() const {
    return m_image.Height();
}
Rect CZelvoView::VisibleRect() const {
    return m_image.Geometry().visible;
}

std::vector<uint8_t> CZelvoView::Thumbnail(int32_t width, int32_t height) {
    if (!m_image.IsReady()) return {};
    std::vector<uint8_t> dib = m_image.Layers().RenderThumbnail(width, height);
    // A layer held by a pending free transform is out of the composite; its preview stands in.
    if (m_transformPreview)
        m_transformPreview->PaintOverThumbnail(dib, m_image.Width(), m_image.Height());
    return dib;
}

void CZelvoView::ScrollToZoomedPoint(int32_t x, int32_t y) {
    if (!m_image.IsReady()) return;
    m_model.CentreOn(x, y);
    SyncScrollBars();
    if (!m_active) RenderHere();
    viewport()->update();
}

bool CZelvoView::ToolBusy() const {
    return Tools()->Busy();
}

}  // namespace zelvo
