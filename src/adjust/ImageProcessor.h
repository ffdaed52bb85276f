// The working state of an open adjustment or filter dialog and its protocol: prepare (take
// the document, layer, mask, canvas and zoom; reset the parameters; set the preview code),
// preview (rebuild the tables and ask for a redraw; the view then passes each visible pixel
// through PreviewPixel), and finish (apply with the last parameters, or only redraw).
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <vector>

#include "adjust/Adjustments.h"
#include "adjust/Filters.h"
#include "core/Types.h"
#include "history/HistoryManager.h"

namespace zelvo {

enum PreviewCode : int32_t {
    kPreviewNone = 0,
    kPreviewBrightnessContrast = 1,
    kPreviewLevels = 3,
    kPreviewCurves = 4,
    kPreviewSaturation = 6,
    kPreviewColorBalance = 7,
    kPreviewBlur = 8,
    kPreviewSharpen = 9,
    kPreviewAddNoise = 10,
    kPreviewMosaic = 11,
    kPreviewShadowHighlight = 12,
};

class ImageProcessor {
public:
    // Takes the working state for a dialog with preview code `code`. `view` is the canvas area
    // visible in the view. Returns false when the current layer is not a pixel layer.
    bool Prepare(HistoryManager& history, int32_t code, double zoom, const Rect& view);
    // New parameters from the dialog: the tables (or the preview buffer) are rebuilt; the view
    // then redraws RedrawRect(). By code: 1 {brightness, contrast}; 3 {input black, middle,
    // white, output black, white}; 4 {the 256 table entries, changed 0/1}; 6 {value};
    // 7 {cyan-red, magenta-green, yellow-blue}; 8 {slider}; 9 {amount, radius};
    // 10 {amount, monochromatic, regenerate the noise field}; 11 {cell}; 12 {shadows,
    // highlights, radius}.
    void Preview(const std::vector<int32_t>& params);
    // The displayed pixel for a source pixel at strength s (s < 0: no selection) under the
    // table codes; the filter codes and Shadow/Highlight show their preview buffer instead.
    uint32_t PreviewPixel(uint32_t p, int32_t s) const;
    // For the filter codes: the visible area sampled through the zoom table (screen
    // resolution) and the filter's result over it, the selection's rule applied.
    const PixelBuffer& PreviewSource() const { return m_previewSource; }
    const PixelBuffer& PreviewResult() const { return m_previewResult; }
    // The canvas area the buffers cover, and the canvas offset within it of buffer column (or
    // row) i: trunc(i / zoom) below zoom 1, as the view maps its screen pixels, else i.
    const Rect& PreviewArea() const { return m_view; }
    int32_t PreviewOffset(int32_t i) const {
        return m_zoom < 1 ? int32_t(float(i) / float(m_zoom)) : i;
    }
    // Whether the view shows the filter's buffer (a filter or Shadow/Highlight whose result
    // has been computed) rather than the per-pixel rule.
    bool ShowsBuffer() const {
        return !m_previewResult.px.empty() &&
               m_previewResult.px.size() == m_previewSource.px.size();
    }
    // OK (apply 1) or Cancel (apply 0): frees the preview buffers and clears the code. Returns
    // 1 when a state was recorded.
    int Finish(int apply);

    int32_t Code() const { return m_code; }
    const std::array<int32_t, 128>& ZoomTable() const { return m_zoomTable; }
    const Table256& Transfer() const { return m_transfer; }
    bool HasSelection() const { return m_hasSelection; }
    // The canvas rectangle the view must redraw: after Prepare and each Preview the previewed
    // area (the mask rectangle within the view, or the view); after Finish the layer's
    // rectangle before and after the applied command, or the previewed area when nothing was
    // applied. Finish has then asked the document for the redraw (HistoryHost::Redraw).
    Rect RedrawRect() const { return m_redraw; }
    // The layer's sampled histogram (Levels and Shadow/Highlight), read when prepared.
    const std::array<int64_t, 256>& Histogram() const { return m_histogram; }

private:
    void BuildPreviewSource();
    // The filter run on the part of the preview source that samples the layer, with its
    // strengths, and the rest of the source as it is: a filter that keeps the layer's
    // rectangle sees only the layer, as when it is applied.
    using BufferFilter =
        std::function<PixelBuffer(const PixelBuffer&, const std::vector<uint8_t>&)>;
    PixelBuffer InsideLayer(const BufferFilter& filter) const;

    HistoryManager* m_history = nullptr;
    int32_t m_canvasWidth = 0, m_canvasHeight = 0;
    double m_zoom = 1;
    LayerPtr m_layer, m_mask;
    bool m_hasSelection = false;
    Rect m_view, m_redraw;
    std::array<int32_t, 128> m_zoomTable{};
    Table256 m_transfer{};
    ChannelTables m_channels;
    BrightnessContrastTable m_bc;
    std::vector<int32_t> m_params;
    int32_t m_code = kPreviewNone;
    PixelBuffer m_previewSource, m_previewResult;
    std::vector<uint8_t> m_previewStrength;     // empty without a selection
    std::vector<int32_t> m_sampleX, m_sampleY;  // the canvas column and row of each sample
    std::vector<uint32_t> m_noise;
    std::array<int64_t, 256> m_histogram{};
};

}  // namespace zelvo
