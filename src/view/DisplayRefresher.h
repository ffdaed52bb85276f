// The display refresher and the selection-outline animator, as the worker threads run them,
// and the user-interface side of the redraw protocol.
//
// Protocol: the user-interface thread changes what the refresher reads (layout, the layer list
// it composes) only inside a HoldRender scope: `holdRender` set, then a wait, polling every
// 15 ms, while `renderBusy` is set. The refresher sets `renderBusy` first and then looks at
// `holdRender`, so one of the two always sees the other. No lock is taken.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>

#include "core/PercentTables.h"
#include "doc/Image.h"
#include "view/TileCache.h"
#include "view/TileRenderer.h"

namespace zelvo {

class ImageProcessor;
class ToolEvents;

// Holds the refresher off an image for the scope's life. Nests.
class HoldRender {
public:
    static constexpr int kPollMs = 15;
    explicit HoldRender(ImageViewState& state);
    ~HoldRender();
    HoldRender(const HoldRender&) = delete;
    HoldRender& operator=(const HoldRender&) = delete;

private:
    ImageViewState& m_state;
    bool m_was;
};

// Stores a request for the refresher together with a fresh copy of the layer list and the
// selection it composes (user-interface thread; takes the hold itself). Code 12, the refresh
// of a rectangle, carries the canvas rectangle whose pixels changed: only the tiles showing
// part of it are rendered again. Requests meet as follows: a full redraw is never lowered to a
// lighter one, rectangles pending together are joined, and a rectangle meeting a pending
// current-layer refresh (3) becomes a full redraw.
void HandToRefresher(Image& image, int code, const Rect& canvasRect = {});

// The animator's phase: starts at 100, lowered by 2 each tick, back to 100 below 0.
class OutlinePhase {
public:
    static constexpr int kStart = 100;
    int Value() const { return m_phase.load(std::memory_order_acquire); }
    int Advance();

private:
    std::atomic<int> m_phase{kStart};
};

// The colour of outline pixel (j, i) of a tile — column j from the left, row i counted from the
// bottom of the tile — at `phase`: diagonal stripes of five black and five white pixels.
bool StripeIsBlack(int32_t i, int32_t j, int phase);

class DisplayRefresher {
public:
    static constexpr int kRepaintTicks = 14;
    static constexpr int32_t kTickWrap = 0x70000000;
    static constexpr int kPausedAnimatorState = 9;
    static constexpr int kRefreshRect = 12;

    DisplayRefresher(int32_t screenWidth, int32_t screenHeight, const PercentTables& tables);
    DisplayRefresher(const DisplayRefresher&) = delete;
    DisplayRefresher& operator=(const DisplayRefresher&) = delete;

    // User-interface thread: the image whose view is active (null for none). Replacing an image
    // waits until neither worker is inside a pass that may still use the old one.
    void SetActive(Image* image);
    Image* Active() const { return m_active.load(std::memory_order_acquire); }

    // User-interface thread: the tool controller the animator asks whether the outline may
    // move (null: always). Replacing it waits until the animator is out of its tick, so the
    // old one may go away afterwards.
    void SetToolController(const ToolEvents* tools);
    const ToolEvents* Tools() const { return m_tools.load(); }

    // User-interface thread, inside the image's HoldRender: while an adjustment or filter
    // dialog on `image` previews, every pass over it draws the current layer through `preview`
    // (see TileRenderer::RenderPreview); null ends the preview, and the next pass draws every
    // tile anew. The processor's tables and buffers change only under the hold too.
    void SetPreview(Image* image, const ImageProcessor* preview);
    const ImageProcessor* Preview() const { return m_preview.load(); }

    // Refresher thread, every 20 ms.
    void Tick();
    // Animator thread, every 300 ms. `state` is the selection animator's state word.
    void AnimatorTick(int state);

    // Called on the worker threads; they must only post to the user-interface thread.
    std::function<void(Image*)> onTilesReady;  // a pass rendered tiles (or a periodic repaint)
    std::function<void(Image*, int phase)> onOutline;

    // Read under the hold (user-interface thread) or by the refresher.
    TileCache& Cache() { return m_cache; }
    TileRenderer& Renderer() { return m_renderer; }
    // The layout the tiles were last rendered for, to be compared with the current one.
    const ImageGeometry& RenderedGeometry() const { return m_rendered; }
    int32_t RenderedClientWidth() const { return m_renderedClientWidth; }
    int32_t RenderedClientHeight() const { return m_renderedClientHeight; }
    int32_t RenderedDocument() const { return m_renderedDocument; }
    int LastTilesRendered() const { return m_lastTiles.load(); }
    long Passes() const { return m_passes.load(); }
    OutlinePhase& Phase() { return m_phase; }

    // Serves one request on the calling thread, as a tick does (tests and benchmarks).
    int Serve(Image& image, int code);

private:
    TileCache m_cache;
    TileRenderer m_renderer;
    std::atomic<Image*> m_active{nullptr};
    std::atomic<bool> m_refreshing{false};
    std::atomic<bool> m_animating{false};
    std::atomic<const ToolEvents*> m_tools{nullptr};
    std::atomic<Image*> m_previewImage{nullptr};
    std::atomic<const ImageProcessor*> m_preview{nullptr};
    ImageGeometry m_rendered;
    int32_t m_renderedClientWidth = 0;
    int32_t m_renderedClientHeight = 0;
    int32_t m_renderedDocument = 0;
    std::atomic<int> m_lastTiles{0};
    std::atomic<long> m_passes{0};
    OutlinePhase m_phase;
};

}  // namespace zelvo
