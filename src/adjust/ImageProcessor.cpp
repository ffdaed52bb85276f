#include "adjust/ImageProcessor.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "adjust/AdjustPass.h"
#include "adjust/BoxSums.h"
#include "selection/SelectionMask.h"

namespace zelvo {

bool ImageProcessor::Prepare(HistoryManager& history, int32_t code, double zoom, const Rect& view) {
    LayerManager& lm = history.Layers();
    m_layer = CurrentPixelLayer(lm);
    if (!m_layer) return false;
    m_history = &history;
    const Rect canvas = CanvasRect(lm);
    m_canvasWidth = canvas.Width();
    m_canvasHeight = canvas.Height();
    m_zoom = zoom > 0 ? zoom : 1;
    m_mask = lm.Selection();
    m_hasSelection = m_mask != nullptr;
    m_view = view.Intersect(canvas);
    for (int i = 0; i < 128; ++i) m_zoomTable[size_t(i)] = int32_t(i / m_zoom);
    m_params.clear();
    m_code = code;
    m_redraw = m_hasSelection ? m_mask->Bounds().Intersect(m_view) : m_view;
    m_previewSource = m_previewResult = PixelBuffer{};
    if ((code >= kPreviewBlur && code <= kPreviewMosaic) || code == kPreviewShadowHighlight)
        BuildPreviewSource();
    if (code == kPreviewShadowHighlight || code == kPreviewLevels)
        m_histogram = LayerHistogram(*m_layer);
    if (code == kPreviewAddNoise)
        m_noise = DrawNoiseField(m_previewSource.width, m_previewSource.height, false);
    return true;
}

void ImageProcessor::BuildPreviewSource() {
    // Screen resolution: below zoom 1 every screen pixel samples the canvas through the table.
    const double z = std::min(m_zoom, 1.0);
    const int32_t w = int32_t(m_view.Width() * z), h = int32_t(m_view.Height() * z);
    m_previewSource = PixelBuffer{w, h, std::vector<uint32_t>(size_t(w) * size_t(h), 0)};
    m_previewStrength.assign(m_hasSelection ? m_previewSource.px.size() : 0, 0);
    std::vector<uint8_t> strengths(m_hasSelection ? size_t(m_canvasWidth) : 0);
    const Rect b = m_layer->Bounds();
    RowReader rows(m_layer->Store(), m_layer->Block(), m_layer->RowsOffset(), m_layer->Stride(),
                   uint32_t(m_layer->Height()));
    m_sampleX.resize(size_t(w));
    m_sampleY.resize(size_t(h));
    for (int32_t x = 0; x < w; ++x) m_sampleX[size_t(x)] = m_view.left + PreviewOffset(x);
    for (int32_t y = 0; y < h; ++y) m_sampleY[size_t(y)] = m_view.top + PreviewOffset(y);
    for (int32_t y = 0; y < h; ++y) {
        const int32_t cy = m_sampleY[size_t(y)];
        if (m_hasSelection) {
            ReadMaskRow(*m_mask, cy, 0, m_canvasWidth, strengths.data());
            for (int32_t x = 0; x < w; ++x)
                m_previewStrength[size_t(y) * size_t(w) + size_t(x)] =
                    strengths[size_t(m_sampleX[size_t(x)])];
        }
        if (cy < b.top || cy >= b.bottom) continue;
        const uint8_t* row = rows.Row(uint32_t(m_layer->StoredRowOf(cy)));
        if (!row) continue;
        for (int32_t x = 0; x < w; ++x) {
            const int32_t cx = m_sampleX[size_t(x)];
            if (cx < b.left || cx >= b.right) continue;
            uint32_t p;
            std::memcpy(&p, row + 4 * size_t(cx - b.left), 4);
            m_previewSource.At(x, y) = p;
        }
    }
}

PixelBuffer ImageProcessor::InsideLayer(const BufferFilter& filter) const {
    const Rect b = m_layer->Bounds();
    const int32_t w = m_previewSource.width, h = m_previewSource.height;
    int32_t x0 = w, x1 = 0, y0 = h, y1 = 0;
    for (int32_t x = 0; x < w; ++x)
        if (const int32_t cx = m_sampleX[size_t(x)]; cx >= b.left && cx < b.right)
            x0 = std::min(x0, x), x1 = x + 1;
    for (int32_t y = 0; y < h; ++y)
        if (const int32_t cy = m_sampleY[size_t(y)]; cy >= b.top && cy < b.bottom)
            y0 = std::min(y0, y), y1 = y + 1;
    PixelBuffer out = m_previewSource;
    if (x0 >= x1 || y0 >= y1) return out;
    const int32_t sw = x1 - x0, sh = y1 - y0;
    PixelBuffer sub{sw, sh, std::vector<uint32_t>(size_t(sw) * size_t(sh))};
    std::vector<uint8_t> strengths(m_previewStrength.empty() ? 0 : sub.px.size());
    for (int32_t y = 0; y < sh; ++y) {
        const size_t from = size_t(y0 + y) * size_t(w) + size_t(x0), to = size_t(y) * size_t(sw);
        std::copy_n(&m_previewSource.px[from], sw, &sub.px[to]);
        if (!strengths.empty()) std::copy_n(&m_previewStrength[from], sw, &strengths[to]);
    }
    const PixelBuffer result = filter(sub, strengths);
    for (int32_t y = 0; y < sh; ++y)
        std::copy_n(&result.px[size_t(y) * size_t(sw)], sw,
                    &out.px[size_t(y0 + y) * size_t(w) + size_t(x0)]);
    return out;
}

void ImageProcessor::Preview(const std::vector<int32_t>& params) {
    m_params = params;
    auto at = [&](size_t i) { return i < params.size() ? params[i] : 0; };
    switch (m_code) {
        case kPreviewBrightnessContrast:
            m_bc = BuildBrightnessContrastTable(at(0), at(1));
            break;
        case kPreviewLevels:
            m_transfer = BuildLevelsTable({at(0), at(1), at(2), at(3), at(4)});
            break;
        case kPreviewCurves:
            if (params.size() >= 256) std::copy_n(params.begin(), 256, m_transfer.begin());
            break;
        case kPreviewColorBalance:
            m_channels = BuildColorBalanceTables(at(0), at(1), at(2));
            break;
        case kPreviewBlur:
            // The box blur grows the layer over what lies around it; the Gaussian keeps it.
            if (at(0) > 10) {
                m_previewResult = BoxBlurResult(m_previewSource, at(0) - 10);
                for (size_t i = 0; i < m_previewStrength.size(); ++i)
                    m_previewResult.px[i] = BoxSelectionMix(
                        m_previewSource.px[i], m_previewResult.px[i], m_previewStrength[i]);
                break;
            }
            m_previewResult =
                InsideLayer([&](const PixelBuffer& src, const std::vector<uint8_t>& strengths) {
                    PixelBuffer r = GaussianBlurResult(src, at(0));
                    for (size_t i = 0; i < strengths.size(); ++i)
                        r.px[i] = GaussianSelectionMix(src.px[i], r.px[i], strengths[i]);
                    return r;
                });
            break;
        case kPreviewSharpen:
            m_previewResult =
                InsideLayer([&](const PixelBuffer& src, const std::vector<uint8_t>& strengths) {
                    return SharpenMoreResult(src, at(0), at(1), strengths);
                });
            break;
        case kPreviewAddNoise:
            if (params.size() > 2 && params[2])
                m_noise = DrawNoiseField(m_previewSource.width, m_previewSource.height, at(1) != 0);
            m_previewResult = m_previewSource;
            for (size_t i = 0; i < m_noise.size(); ++i)
                m_previewResult.px[i] =
                    NoisePixel(m_previewSource.px[i], m_noise[i], at(0),
                               m_previewStrength.empty() ? 100 : m_previewStrength[i]);
            break;
        case kPreviewShadowHighlight:
            m_previewResult =
                InsideLayer([&](const PixelBuffer& src, const std::vector<uint8_t>& strengths) {
                    return ShadowHighlightResult(src, strengths, m_histogram, at(0), at(1),
                                                 std::max(1, at(2)));
                });
            break;
        case kPreviewMosaic:
            // The cells lie on the layer's grid, as the filter lays them.
            m_previewResult = MosaicPreview(m_previewSource, std::max(2, at(0)), m_sampleX,
                                            m_sampleY, m_layer->Bounds());
            for (size_t i = 0; i < m_previewStrength.size(); ++i)
                m_previewResult.px[i] = MosaicSelectionMix(
                    m_previewSource.px[i], m_previewResult.px[i], m_previewStrength[i]);
            break;
        default:
            break;
    }
}

uint32_t ImageProcessor::PreviewPixel(uint32_t p, int32_t s) const {
    auto at = [&](size_t i) { return i < m_params.size() ? m_params[i] : 0; };
    switch (m_code) {
        case kPreviewBrightnessContrast:
            return m_bc.empty() ? p : BrightnessContrastPixel(m_bc, p, s < 0 ? 100 : s);
        case kPreviewLevels:
        case kPreviewCurves:
            return TransferPixel(m_transfer, p, s);
        case kPreviewSaturation:
            return SaturationPixel(at(0), p, s);
        case kPreviewColorBalance:
            return ChannelTablesPixel(m_channels, p, s < 0 ? 100 : s);
        default:
            return p;
    }
}

int ImageProcessor::Finish(int apply) {
    int done = 0;
    const Rect before = m_layer ? m_layer->Bounds() : Rect{};
    if (apply && m_history) {
        auto at = [&](size_t i) { return i < m_params.size() ? m_params[i] : 0; };
        HistoryManager& h = *m_history;
        switch (m_code) {
            case kPreviewBrightnessContrast:
                done = ApplyBrightnessContrast(h, at(0), at(1));
                break;
            case kPreviewLevels:
                done = ApplyLevels(h, {at(0), at(1), at(2), at(3), at(4)});
                break;
            case kPreviewCurves:
                done = m_params.size() >= 257 && m_params[256]
                           ? ApplyTransfer(h, m_transfer, "Curves")
                           : 0;
                break;
            case kPreviewSaturation:
                done = ApplySaturation(h, at(0));
                break;
            case kPreviewColorBalance:
                done = ApplyColorBalance(h, at(0), at(1), at(2));
                break;
            case kPreviewShadowHighlight:
                done = ApplyShadowHighlight(h, at(0), at(1), at(2));
                break;
            case kPreviewBlur:
                done = ApplyBlur(h, at(0));
                break;
            case kPreviewSharpen:
                done = ApplySharpenMore(h, at(0), at(1));
                break;
            case kPreviewAddNoise:
                done = ApplyAddNoise(h, at(0), at(1) != 0);
                break;
            case kPreviewMosaic:
                done = ApplyMosaic(h, at(0));
                break;
            default:
                break;
        }
    }
    if (done) {
        // The layer's rectangle before and after (Blur above 10 grows it); the commit has
        // already asked for the redraw.
        const LayerPtr now = CurrentPixelLayer(m_history->Layers());
        m_redraw = before.Union(now ? now->Bounds() : Rect{});
    } else if (m_history && m_code != kPreviewNone) {
        // Cancel, or OK without a change: the preview is taken off the view.
        m_history->Host().Redraw();
    }
    m_previewSource = m_previewResult = PixelBuffer{};
    m_previewStrength.clear();
    m_noise.clear();
    m_layer.reset();
    m_mask.reset();
    m_code = kPreviewNone;
    return done;
}

}  // namespace zelvo
