// The image object of one open document: canvas size and resolution, the modified flag and
// path, the readiness flag the worker threads check, the layer stack and the history.
// New Image, opening, saving and closing run here; the GUI's document class only adds windows
// and file dialogs around them.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "curves/Curve.h"
#include "curves/CurveEdit.h"
#include "curves/TextEdit.h"
#include "doc/NewImage.h"
#include "doc/SaveNames.h"
#include "history/HistoryHost.h"
#include "history/HistoryManager.h"
#include "layers/ImageGeometry.h"
#include "layers/LayerManager.h"
#include "layers/TextLayer.h"

namespace zelvo {

class Workspace;
class RasterImage;
class StrokeOverlay;

// The view state beside the geometry, and the flags of the redraw protocol shared with the
// display refresher and the outline animator. The user-interface thread changes what the
// refresher reads only while it holds `holdRender` and `renderBusy` is clear; the plain fields
// are written under that hold and read by the refresher only while it is busy.
struct ImageViewState {
    bool firstDrawDone = false;  // the first paint has chosen the starting zoom
    int32_t scrollOriginX = 0;   // scroll position / zoom, truncated
    int32_t scrollOriginY = 0;
    int32_t clientWidth = 0;  // the view's client area the layout was made for
    int32_t clientHeight = 0;
    bool hasView = false;
    // The layer list as the refresher composes it, taken under the hold whenever a render is
    // requested through the view, so the refresher never walks a list being changed.
    std::vector<LayerPtr> renderLayers;
    LayerPtr renderSelection;
    // A brush stroke in progress the refresher draws over the layers (null when none).
    std::shared_ptr<StrokeOverlay> renderStroke;
    std::atomic<bool> holdRender{false};
    std::atomic<bool> renderBusy{false};
    std::atomic<bool> animatorBusy{false};
    std::atomic<bool> fastScroll{false};       // a scroll-thumb drag is in progress
    std::atomic<bool> outlinePrepared{false};  // the tiles carry the outline of the selection
    std::atomic<int32_t> tickCounter{0};
    // The request handed to the refresher with a fresh `renderLayers` (0 when none is due).
    std::atomic<int> pendingRender{0};
    // The canvas rectangle whose pixels changed, with a pending refresh of a rectangle (12).
    Rect renderRect;
};

class Image : public LayerEvents, public HistoryHost {
public:
    static constexpr int32_t kOpenedResolution = 2834;  // 72 pixels per inch
    static constexpr int64_t kWarnPixels = 20000000;

    explicit Image(Workspace& workspace);
    ~Image() override;
    Image(const Image&) = delete;
    Image& operator=(const Image&) = delete;

    // New Image with a size the dialog accepted: checks the limits, makes the white first layer.
    bool NewImage(const NewImageSize& size);
    // Opens a flat raster file (a layered document once that format is readable).
    bool Open(const std::string& path);
    // Saves to `path` in the format its extension names; clears `modified` on success.
    bool Save(const std::string& path, const SaveOptions& options);
    // Whether a save to `path` can be tried: its folder exists and its extension names a
    // format. Says why not. Checked before a format's options are asked for, so that nobody
    // chooses a quality for a save that cannot happen.
    static bool CheckSavePath(const std::string& path);
    // Finishes a document whose canvas, layers and selection were rebuilt into this empty
    // image from the crash-recovery journal: it opens as a modified document at `path`
    // (untitled when empty) with a fresh history.
    bool FinishRecovered(const std::string& path, int32_t resolution);
    // The release when the window closes: history, layers, fields; then the store is shrunk
    // and checked. The save question belongs to the caller (see AskAndClose).
    void Release();

    int32_t UntitledNumber() const { return m_untitledNumber; }
    std::string Title() const;
    int32_t Width() const { return m_geometry.width; }
    int32_t Height() const { return m_geometry.height; }
    int32_t Resolution() const { return m_resolution; }
    void SetResolution(int32_t ppm) { m_resolution = ppm; }
    bool IsModified() const { return m_modified; }
    void SetModified(bool modified) override { m_modified = modified; }
    const std::string& Path() const { return m_path; }
    bool IsReady() const { return m_ready.load(std::memory_order_acquire); }

    ImageGeometry& Geometry() { return m_geometry; }
    LayerManager& Layers() { return m_layers; }
    HistoryManager& History() { return m_history; }
    // The text and curve edits of this document (their history states go to History()).
    TextEdit& Texts() { return m_textEdit; }
    CurveEdit& Curves() { return m_curveEdit; }
    Workspace& GetWorkspace() { return m_workspace; }

    // LayerEvents
    void RequestRender(int code) override;
    // HistoryHost
    void Redraw() override { RequestRender(1); }
    int32_t DocumentResolution() const override { return m_resolution; }
    void SetDocumentResolution(int32_t ppm) override { m_resolution = ppm; }
    void StateSettled() override;
    // The tool hooks reach the run's tool controller, when there is one.
    bool ToolBusy() override;
    void EndToolInteraction() override;
    void CloseCurveAnchorEdit() override;
    // A deselect state went away: its mask is no longer offered to Reselect.
    void ForgetDeselected(const Layer* selection) override {
        if (m_layers.LastDeselected().get() == selection) m_layers.SetLastDeselected(nullptr, 0, 0);
    }
    bool SwapTextOrigin(Layer& layer, Point& origin) override {
        zelvo::SwapTextOrigin(layer, origin);
        return true;
    }
    void MoveCurve(Layer& layer, int32_t dx, int32_t dy) override {
        zelvo::MoveCurve(layer, dx, dy);
    }
    void RenderCurve(Layer& layer) override { zelvo::RenderCurve(layer); }
    BlockHandle WriteCurveSnapshot(Layer& layer) override {
        return m_curveEdit.WriteSnapshot(layer);
    }
    bool LoadCurveSnapshot(Layer& layer, BlockHandle block, bool after) override {
        return m_curveEdit.LoadSnapshot(layer, block, after);
    }
    int RenderRequest() const { return m_renderRequest.load(std::memory_order_acquire); }
    // Takes the pending render request, leaving 0.
    int TakeRenderRequest() { return m_renderRequest.exchange(0, std::memory_order_acq_rel); }
    ImageViewState& ViewState() { return m_viewState; }

private:
    // The layered (.zld) reading of Open, after the flat reading failed.
    // False when the file is not a layered document, or (`declined`) its size was refused.
    bool OpenLayered(const std::string& path, bool& declined);
    bool SaveFlat(const std::string& path, FileFormat format, const SaveOptions& options);
    void Finish(const std::string& path, int32_t resolution);

    Workspace& m_workspace;
    int32_t m_untitledNumber = 0;
    ImageGeometry m_geometry;
    int32_t m_resolution = 0;
    bool m_modified = false;
    std::string m_path;
    std::atomic<bool> m_ready{false};
    std::atomic<int> m_renderRequest{2};
    ImageViewState m_viewState;
    LayerManager m_layers;
    HistoryManager m_history;
    // After the history: an open text edit is cancelled before the history goes.
    CurveEdit m_curveEdit{m_layers, m_history};
    TextEdit m_textEdit{m_layers, m_history};
};

// The close of a document window: asks "Whether the save the file?" when modified. Yes saves
// through `saveAs` when the image has no path, else to its path. Returns false (nothing
// released) on Cancel or when the save failed.
bool AskAndClose(Image& image, const SaveOptions& options,
                 const std::function<bool(Image&)>& saveAs);

}  // namespace zelvo
