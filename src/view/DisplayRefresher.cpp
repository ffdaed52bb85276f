#include "view/DisplayRefresher.h"

#include <chrono>
#include <thread>

#include "view/StrokeOverlay.h"
#include "view/ToolEvents.h"

namespace zelvo {

namespace {
void Nap(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}
}  // namespace

HoldRender::HoldRender(ImageViewState& state) : m_state(state) {
    m_was = state.holdRender.exchange(true);
    while (state.renderBusy.load()) Nap(kPollMs);
}

HoldRender::~HoldRender() {
    if (!m_was) m_state.holdRender.store(false);
}

void HandToRefresher(Image& image, int code, const Rect& canvasRect) {
    ImageViewState& vs = image.ViewState();
    HoldRender hold(vs);
    vs.renderLayers = image.Layers().Layers();
    vs.renderSelection = image.Layers().Selection();
    const int pending = vs.pendingRender.load();
    constexpr int kRect = DisplayRefresher::kRefreshRect;
    if (code == kRect) {
        if (canvasRect.IsEmpty() && pending != 0) return;
        if (pending == kRect) {
            vs.renderRect = vs.renderRect.Union(canvasRect);
        } else if (pending == 0 || pending == 8) {
            // The rectangle's pass lays the tiles out anew too, as a move does.
            vs.renderRect = canvasRect;
            vs.pendingRender.store(kRect);
        } else if (pending == 3) {
            vs.pendingRender.store(1);
        }
        return;
    }
    // A pending full redraw is not downgraded by a lighter request; a current-layer refresh
    // after a rectangle needs both, which only a full redraw gives.
    if (code == 3 && pending == kRect) {
        vs.pendingRender.store(1);
        return;
    }
    const bool lighter = (code == 3 || code == 8) && pending != 0 && pending != 3 && pending != 8;
    if (!lighter) vs.pendingRender.store(code);
}

void ShowStroke(Image& image, std::shared_ptr<StrokeOverlay> overlay) {
    HoldRender hold(image.ViewState());
    image.ViewState().renderStroke = std::move(overlay);
}

int OutlinePhase::Advance() {
    int p = m_phase.load(std::memory_order_acquire) - 2;
    if (p < 0) p = kStart;
    m_phase.store(p, std::memory_order_release);
    return p;
}

bool StripeIsBlack(int32_t i, int32_t j, int phase) {
    const int32_t v = j < i ? 100 + (i - j) - phase : (j - i) + phase + 5;
    return v % 10 > 4;
}

DisplayRefresher::DisplayRefresher(int32_t screenWidth, int32_t screenHeight,
                                   const PercentTables& tables)
    : m_cache(screenWidth, screenHeight), m_renderer(m_cache, tables) {}

void DisplayRefresher::SetActive(Image* image) {
    Image* old = m_active.exchange(image);
    if (old == image || !old) return;
    // A worker that took the old image before the exchange finishes with it first.
    while (m_refreshing.load() || m_animating.load()) Nap(HoldRender::kPollMs);
    // With no image a tick renders nothing, so the mapping of the scratch file can go: the
    // store shrinks once the documents are closed.
    if (!image) m_renderer.ReleaseMapping();
}

int DisplayRefresher::Serve(Image& image, int code) {
    ImageViewState& vs = image.ViewState();
    TileFrame frame;
    frame.layers = &vs.renderLayers;
    frame.selection = vs.renderSelection.get();
    frame.document = image.UntitledNumber();
    frame.geometry = image.Geometry();
    frame.clientWidth = vs.clientWidth;
    frame.clientHeight = vs.clientHeight;
    // A thumb drag is one fast-scroll pass: the layers' table is kept for all its moves.
    if (vs.fastScroll.load() != m_renderer.FastScroll())
        m_renderer.SetFastScroll(vs.fastScroll.load());
    const ImageProcessor* preview = m_previewImage.load() == &image ? m_preview.load() : nullptr;
    frame.preview = preview;
    // A preview taken off leaves its pictures in tiles that still look current.
    if (!preview && m_renderer.PreviewShown()) {
        m_renderer.EndPreview();
        code = 1;
    }
    // 3: only the current layer changed; 8: the view moved; 12: the pixels of a rectangle
    // changed; the rest: the pixels changed.
    const StrokeOverlay* stroke = preview ? nullptr : vs.renderStroke.get();
    frame.stroke = stroke;
    int tiles;
    if (preview) {
        tiles = m_renderer.RenderPreview(frame, code != 3 && code != 8);
    } else if (stroke && code == kRefreshRect) {
        // The painter's rectangle: its tiles keep their split and take the records anew; tiles
        // a new layout brings in are rendered and then take the whole stroke.
        const int laid = m_renderer.Render(frame, false);
        tiles = laid + m_renderer.ShowStroke(frame, laid > 0 ? stroke->Bounds() : vs.renderRect);
    } else {
        if (code == 3)
            tiles = m_renderer.RecomposeCurrent(frame);
        else if (code == kRefreshRect)
            tiles = m_renderer.RenderRect(frame, vs.renderRect);
        else
            tiles = m_renderer.Render(frame, code != 8);
        if (stroke) tiles += m_renderer.ShowStroke(frame, stroke->Bounds());
    }
    m_rendered = frame.geometry;
    m_renderedClientWidth = frame.clientWidth;
    m_renderedClientHeight = frame.clientHeight;
    m_renderedDocument = frame.document;
    vs.outlinePrepared.store(frame.selection != nullptr);
    m_lastTiles.store(tiles);
    m_passes.fetch_add(1);
    return tiles;
}

void DisplayRefresher::Tick() {
    m_refreshing.store(true);
    Image* image = m_active.load();
    if (image && image->IsReady()) {
        ImageViewState& vs = image->ViewState();
        vs.renderBusy.store(true);
        if (!vs.holdRender.load() && image->IsReady()) {
            bool repaint = false;
            if (vs.hasView) {
                const int code = vs.pendingRender.exchange(0);
                if (code != 0) {
                    Serve(*image, code);
                    // A served 6 asks for a full redraw next.
                    int none = 0;
                    if (code == 6) vs.pendingRender.compare_exchange_strong(none, 1);
                    repaint = true;
                }
            }
            int32_t ticks = vs.tickCounter.load() + 1;
            if (ticks > kTickWrap) ticks = 100;
            if (repaint) ticks = 0;
            vs.tickCounter.store(ticks);
            if (ticks == kRepaintTicks) {
                repaint = vs.hasView;
                // Idle for a while: the file pages the passes touched need not stay resident.
                m_renderer.DropMappedPages();
            }
            if (repaint && onTilesReady) onTilesReady(image);
        }
        vs.renderBusy.store(false);
    }
    m_refreshing.store(false);
}

void DisplayRefresher::SetPreview(Image* image, const ImageProcessor* preview) {
    m_previewImage.store(preview ? image : nullptr);
    m_preview.store(preview);
}

void DisplayRefresher::SetToolController(const ToolEvents* tools) {
    const ToolEvents* old = m_tools.exchange(tools);
    if (old == tools || !old) return;
    while (m_animating.load()) Nap(HoldRender::kPollMs);
}

void DisplayRefresher::AnimatorTick(int state) {
    if (state == kPausedAnimatorState) return;
    m_animating.store(true);
    Image* image = m_active.load();
    if (image && image->IsReady()) {
        ImageViewState& vs = image->ViewState();
        vs.animatorBusy.store(true);
        const ToolEvents* tools = m_tools.load();
        if (image->IsReady() && vs.outlinePrepared.load() &&
            (!tools || tools->AllowsOutlineAnimation())) {
            const int phase = m_phase.Advance();
            if (onOutline) onOutline(image, phase);
        }
        vs.animatorBusy.store(false);
    }
    m_animating.store(false);
}

}  // namespace zelvo
