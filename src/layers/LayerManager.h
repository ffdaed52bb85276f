// The per-document layer stack: the ordered list (head = bottom layer, tail = top), the id and
// serial counters, the current layer, the display buffer, and the composites of the visible
// layers for the screen, the thumbnail and flat saving.
//
// Layers are shared (std::shared_ptr): the history keeps further references to replaced layer
// objects. A layer frees its store block in its destructor, so the block goes back to the store
// exactly when the last holder (list, history, clipboard…) lets go; nobody frees by hand.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/PercentTables.h"
#include "layers/ImageGeometry.h"
#include "layers/Layer.h"
#include "layers/StoreMapping.h"
#include "store/FileDynamicStore.h"

namespace zelvo {

// What the layer manager asks of the document and the GUI; every method may be ignored.
class LayerEvents {
public:
    virtual ~LayerEvents() = default;
    // A render request code for the display refresher (1 full, 2 chosen by position, 5 chosen
    // by id with a redraw, …).
    virtual void RequestRender(int /*code*/) {}
    // The layers palette must be repainted.
    virtual void RefreshLayersPalette() {}
};

// Row orders and sizes of RenderFlat's format numbers (those of the save dispatch).
enum FlatFormat : int {
    kFormatBmp = 1,
    kFormatJpeg = 2,
    kFormatGif = 3,
    kFormatTiff = 4,
    kFormatPng = 5
};

// Whether a flat picture for `format` is kept top row first (TIFF, PNG, JPEG through libjpeg)
// rather than bottom row first (BMP, GIF, the own quality-12 JPEG writer).
constexpr bool FlatRowsTopFirst(int format, int option) {
    return format == kFormatTiff || format == kFormatPng || (format == kFormatJpeg && option != 12);
}

class LayerManager {
public:
    static constexpr int kMaxLayers = 100;

    LayerManager(FileDynamicStore& store, const PercentTables& tables, ImageGeometry& image,
                 int32_t screenWidth, int32_t screenHeight);
    ~LayerManager();  // DestroyAll
    LayerManager(const LayerManager&) = delete;
    LayerManager& operator=(const LayerManager&) = delete;

    void SetEvents(LayerEvents* events) { m_events = events; }
    FileDynamicStore& Store() const { return m_store; }
    const PercentTables& Tables() const { return m_tables; }
    ImageGeometry& Image() const { return m_image; }
    int32_t ScreenWidth() const { return m_screenWidth; }
    int32_t ScreenHeight() const { return m_screenHeight; }

    // Counters: each is incremented before it is used, so the first id and serial are 1.
    int32_t NextId() { return m_nextId < Layer::kMaxId ? ++m_nextId : m_nextId; }
    int32_t NextSerial() { return ++m_nextSerial; }
    int32_t LastId() const { return m_nextId; }
    int32_t LastSerial() const { return m_nextSerial; }
    // A document rebuilt from a record goes on counting where it left off.
    void SetCounters(int32_t lastId, int32_t lastSerial) {
        m_nextId = lastId;
        m_nextSerial = lastSerial;
    }

    // The list, bottom (index 0) to top.
    const std::vector<LayerPtr>& Layers() const { return m_layers; }
    int LayerCount() const { return int(m_layers.size()); }
    LayerPtr LayerAt(int index) const;
    int IndexOf(const Layer* layer) const;  // -1 when not in the list
    LayerPtr FindById(int32_t id) const;

    // List primitives for the stack operations and the history; they keep the current flags
    // as they are.
    bool InsertAt(int index, LayerPtr layer);  // index 0..count
    LayerPtr ReplaceAt(int index, LayerPtr layer);
    LayerPtr RemoveAt(int index);

    bool CheckLayerList();
    LayerPtr CurrentLayer();
    int CurrentIndex() const;
    // Where new layers go in: they are inserted directly above this position. -1 when none.
    int CurrentPosition() const { return CurrentIndex(); }
    bool SelectLayerById(int32_t id, int redraw, int32_t flag);
    bool SelectLayerByIndex(int n);  // n counted from the bottom, starting at 1
    // Unlinks the layer from the list without freeing it; the caller gets the reference.
    LayerPtr RemoveLayerById(int32_t id);

    bool CreateFirstLayer(int32_t width, int32_t height);
    // The display buffer of the screen's size, when there is none yet (a document read from a
    // layered file gets its layers without CreateFirstLayer).
    bool CreateDisplayBuffer();
    LayerPtr AppendLayer(int32_t width, int32_t height, LayerKind kind);
    void DestroyAll();

    // 1 when a layer was hit (made current if it was not), 0 otherwise.
    int HitTest(int32_t viewX, int32_t viewY);

    // The display buffer (screen size, 32 bits, not in the list); null before CreateFirstLayer.
    Layer* DisplayBuffer() const { return m_display.get(); }

    // The whole canvas at scale 1 into `dst` (rows `stride` bytes apart, 24 or 32 bits per
    // pixel, fourth byte of a 32-bit pixel untouched). Row order by format, see FlatFormat.
    bool RenderFlat(uint8_t* dst, size_t stride, int bits, int format, int option);
    // Rows [first, end) of that flat picture, counted from the top when `topFirst`, else from
    // the bottom, into `dst` in that order (`step` 3 or 4 bytes a pixel). The same bytes as the
    // whole picture has there; safe to call from several threads at once while the layers do
    // not change.
    bool RenderFlatRows(int32_t first, int32_t end, bool topFirst, uint8_t* dst, size_t stride,
                        int step) const;
    // A 24-bit DIB (header + bottom-up rows) of the canvas fitted into width x height; empty
    // when nothing can be drawn.
    std::vector<uint8_t> RenderThumbnail(int32_t width, int32_t height);
    // The visible part of the canvas at the current zoom into the display buffer, at the
    // screen positions of screenRect.
    bool RenderDisplay();
    // Lets go of the scratch-file pages RenderDisplay keeps mapped between renders (for a
    // window that is not redrawn often).
    void DropMappedPages() { m_sourceMapping.DropPages(); }

    // Selection state (the selection commands fill it).
    LayerPtr Selection() const { return m_selection; }
    void SetSelectionObject(LayerPtr selection) { m_selection = std::move(selection); }
    Rect SelectionBounds() const { return m_selectionBounds; }
    void SetSelectionBounds(const Rect& r) { m_selectionBounds = r; }
    // The mask removed by the latest Deselect and the canvas size at that moment (Reselect).
    LayerPtr LastDeselected() const { return m_lastDeselected; }
    int32_t DeselectWidth() const { return m_deselectWidth; }
    int32_t DeselectHeight() const { return m_deselectHeight; }
    void SetLastDeselected(LayerPtr mask, int32_t canvasWidth, int32_t canvasHeight) {
        m_lastDeselected = std::move(mask);
        m_deselectWidth = canvasWidth;
        m_deselectHeight = canvasHeight;
    }

private:
    void MakeCurrent(int index);
    void RequestRender(int code);
    void RefreshPalette();

    int32_t m_nextId = 0;
    int32_t m_nextSerial = 0;
    FileDynamicStore& m_store;
    const PercentTables& m_tables;
    ImageGeometry& m_image;
    int32_t m_screenWidth;
    int32_t m_screenHeight;
    LayerEvents* m_events = nullptr;
    std::unique_ptr<Layer> m_display;
    std::unique_ptr<RowCursor> m_displayRows;  // RenderDisplay's own window on the display buffer
    StoreMapping m_sourceMapping;              // RenderDisplay reads the layers in place through it
    LayerPtr m_selection;
    Rect m_selectionBounds;
    LayerPtr m_lastDeselected;
    int32_t m_deselectWidth = 0;
    int32_t m_deselectHeight = 0;
    std::vector<LayerPtr> m_layers;
};

}  // namespace zelvo
