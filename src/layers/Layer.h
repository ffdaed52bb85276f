// One layer of a document: its record fields and its pixels, a StoredDib in one block of the
// scratch store. The layer owns its block and frees it when the object goes away, so a layer
// object shared by the layer list and the history keeps its pixels until the last holder lets
// go (layers are held through std::shared_ptr).
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "core/Types.h"
#include "layers/CurveAnchor.h"
#include "layers/TextSettings.h"
#include "store/FileDynamicStore.h"
#include "store/RowCursor.h"

namespace zelvo {

enum class LayerKind : int32_t { Null = 0, Pixel = 1, Text = 2, Curve = 3 };

// "Null Layer", "Pixel Layer", "Text Layer", "Curve Layer" (the layers palette's names).
const char* LayerKindName(LayerKind kind);

class Layer {
public:
    static constexpr int32_t kMaxLinks = 128;
    // Every pixel edit and selection change takes a new id, so a long session passes 9,999:
    // ids run as far as the counter can count.
    static constexpr int32_t kMaxId = INT32_MAX - 1;

    explicit Layer(FileDynamicStore& store);
    ~Layer();  // frees the block
    Layer(const Layer&) = delete;
    Layer& operator=(const Layer&) = delete;

    // Makes the layer's buffer by the creation rule: size, position (0, 0), id, kind and bits;
    // a block of header + colour table + rows, zero-filled when asked; header and table
    // written; guards checked. A null layer only takes its id (size 0 x 0, no block). Returns 0
    // when the block cannot be had (the layer is then left without pixels).
    bool Create(int32_t width, int32_t height, LayerKind kind, int32_t id, int32_t bitsPerPixel,
                bool zeroFill);
    // The per-kind defaults: pixel 32 bits not cleared; text and curve 1 bit cleared; a curve
    // layer black, not closed, filled.
    bool Create(int32_t width, int32_t height, LayerKind kind, int32_t id);
    // Gives the block back to the store now (the layer keeps its other fields).
    void Free();

    int32_t Id() const { return m_id; }
    void SetId(int32_t id) { m_id = id; }
    int32_t Serial() const { return m_serial; }
    void SetSerial(int32_t serial) { m_serial = serial; }
    LayerKind Kind() const { return m_kind; }
    int32_t Width() const { return m_width; }
    int32_t Height() const { return m_height; }
    BlockHandle Block() const { return m_block; }
    bool IsCurrent() const { return m_current; }
    void SetCurrent(bool current) { m_current = current; }
    bool IsVisible() const { return m_visible; }
    void SetVisible(bool visible) { m_visible = visible; }
    void ToggleVisible() { m_visible = !m_visible; }
    // While a free transform is pending the view draws this layer itself, through the frame,
    // and composites leave it out; every command ends the transform, and clears this, first.
    bool HeldFromDisplay() const { return m_heldFromDisplay.load(std::memory_order_acquire); }
    void SetHeldFromDisplay(bool held) { m_heldFromDisplay.store(held, std::memory_order_release); }
    // Clamped to 0..100 both ways: a stored value can come from a file.
    int32_t Opacity() const { return Clamp100(m_opacity); }
    void SetOpacity(int32_t opacity) { m_opacity = Clamp100(opacity); }
    void SetPosition(int32_t x, int32_t y);
    Point Position() const { return {m_x, m_y}; }
    Rect Bounds() const { return m_bounds; }
    void SetBounds(const Rect& bounds) { m_bounds = bounds; }
    int32_t BitsPerPixel() const { return m_bitsPerPixel; }
    ColorRef Color() const { return m_color; }
    void SetColor(ColorRef color) { m_color = color; }
    // Curve flags (the anchor list itself belongs to the curve code).
    bool IsClosed() const { return m_closed; }
    void SetClosed(bool closed) { m_closed = closed; }
    bool IsFilled() const { return m_filled; }
    void SetFilled(bool filled) { m_filled = filled; }

    // Link group: the same ids (itself included) and count in every member; 0 = unlinked.
    const std::array<uint16_t, kMaxLinks>& LinkIds() const { return m_linkIds; }
    std::array<uint16_t, kMaxLinks>& LinkIds() { return m_linkIds; }
    int32_t LinkCount() const { return m_linkCount; }
    void SetLinkCount(int32_t count) { m_linkCount = count; }

    // Pixels. The layer keeps one sliding row window for the user-interface thread's own work
    // (Rows()); a renderer on another thread opens its own with OpenRows().
    uint32_t Stride() const;
    uint32_t RowsOffset() const;
    bool HasPixels() const { return m_block != 0 && m_width > 0 && m_height > 0; }
    // Stored rows (bottom-up) of the buffer; nullptr for a layer without pixels.
    RowCursor* Rows();
    std::unique_ptr<RowCursor> OpenRows() const;
    // Stored rows for reading only: what shows or samples a layer outside an edit reads through
    // these, so that the document stays recoverable.
    std::unique_ptr<ReadRowCursor> OpenReadRows() const;
    // The layer's own window for reading only, beside Rows().
    ReadRowCursor* ReadRows();
    // Drops the layer's own windows (unmapping them).
    void ReleaseRows() {
        m_rows.reset();
        m_readRows.reset();
    }
    FileDynamicStore& Store() const { return m_store; }

    // Zero-fills the rows, keeping header and colour table.
    bool Clear();
    // Pixel layers only: sets the opacity and writes every pixel as (alpha << 24) | R G B.
    bool FillColor(ColorRef color, int32_t alpha, int32_t opacity, bool flush);
    // Whether the layer covers canvas point (cx, cy) with a set mask bit or a non-zero alpha.
    bool ContainsOpaquePixel(int32_t cx, int32_t cy);

    // The buffer row (bottom-up) that holds canvas row cy, possibly out of 0..height-1.
    int32_t StoredRowOf(int32_t cy) const { return m_height + m_y - cy - 1; }

    // The text settings of a text layer (rendered by RenderText).
    TextSettings& Text() { return m_text; }
    const TextSettings& Text() const { return m_text; }
    // The anchors of a curve layer, in path order, and the rectangle around all their points
    // that rendering leaves (right and bottom exclusive).
    std::vector<CurveAnchor>& Anchors() { return m_anchors; }
    const std::vector<CurveAnchor>& Anchors() const { return m_anchors; }
    Rect CurveBounds() const { return m_curveBounds; }
    void SetCurveBounds(const Rect& bounds) { m_curveBounds = bounds; }

private:
    static int32_t Clamp100(int32_t v) { return v < 0 ? 0 : (v > 100 ? 100 : v); }

    FileDynamicStore& m_store;
    int32_t m_id = 0;
    int32_t m_serial = 0;
    LayerKind m_kind = LayerKind::Null;
    int32_t m_width = 0;
    int32_t m_height = 0;
    BlockHandle m_block = 0;
    bool m_current = false;
    bool m_visible = true;
    std::atomic<bool> m_heldFromDisplay{false};  // set on the GUI thread, read by the renderer
    int32_t m_opacity = 100;
    int32_t m_x = 0;
    int32_t m_y = 0;
    Rect m_bounds;
    int32_t m_bitsPerPixel = 0;
    ColorRef m_color = 0;
    bool m_closed = false;
    bool m_filled = false;
    std::array<uint16_t, kMaxLinks> m_linkIds{};
    int32_t m_linkCount = 0;
    std::unique_ptr<RowCursor> m_rows;
    std::unique_ptr<ReadRowCursor> m_readRows;
    TextSettings m_text;
    std::vector<CurveAnchor> m_anchors;
    Rect m_curveBounds;
};

using LayerPtr = std::shared_ptr<Layer>;

}  // namespace zelvo
