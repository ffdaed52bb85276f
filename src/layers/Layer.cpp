#include "layers/Layer.h"

#include <cstring>

#include "core/InternalError.h"
#include "layers/StoredDib.h"
#include "store/RowWriter.h"
#include "store/ZeroedBlock.h"

namespace zelvo {

const char* LayerKindName(LayerKind kind) {
    switch (kind) {
        case LayerKind::Null:
            return "Null Layer";
        case LayerKind::Pixel:
            return "Pixel Layer";
        case LayerKind::Text:
            return "Text Layer";
        case LayerKind::Curve:
            return "Curve Layer";
    }
    return "";
}

Layer::Layer(FileDynamicStore& store) : m_store(store) {}

Layer::~Layer() {
    Free();
}

void Layer::Free() {
    m_rows.reset();
    if (m_block != 0) {
        m_store.Free(m_block);
        m_block = 0;
    }
}

bool Layer::Create(int32_t width, int32_t height, LayerKind kind, int32_t id) {
    switch (kind) {
        case LayerKind::Pixel:
            return Create(width, height, kind, id, 32, false);
        case LayerKind::Text:
            return Create(width, height, kind, id, 1, true);
        case LayerKind::Curve:
            if (!Create(width, height, kind, id, 1, true)) return false;
            m_color = Rgb(0, 0, 0);
            m_closed = false;
            m_filled = true;
            return true;
        case LayerKind::Null:
            return Create(0, 0, kind, id, 0, false);
    }
    return false;
}

bool Layer::Create(int32_t width, int32_t height, LayerKind kind, int32_t id, int32_t bitsPerPixel,
                   bool zeroFill) {
    Free();
    if (kind == LayerKind::Null) {
        m_id = id;
        m_kind = kind;
        return true;
    }
    m_width = width;
    m_height = height;
    SetPosition(0, 0);
    m_id = id;
    m_kind = kind;
    m_bitsPerPixel = bitsPerPixel;
    if (width <= 0 || height <= 0 || StoredDib::Stride(width, bitsPerPixel) == 0) return false;

    const uint64_t bytes = StoredDib::PayloadBytes(width, height, bitsPerPixel);
    m_block = zeroFill ? AllocateZeroed(m_store, bytes) : m_store.Allocate(bytes);
    if (m_block == 0) return false;  // the store has told the user

    const uint32_t headerBytes = StoredDib::RowsOffset(bitsPerPixel);
    const FileDynamicStore::Span span = m_store.Payload(m_block);
    MappedView view(m_store, span.offset, headerBytes);
    if (!view.IsValid()) {
        Free();
        return false;
    }
    StoredDib::WriteHeader(view.Data(), width, height, bitsPerPixel);
    view.Reset();
    m_store.CheckBlock(m_block);
    return true;
}

void Layer::SetPosition(int32_t x, int32_t y) {
    m_x = x;
    m_y = y;
    m_bounds = {x, y, x + m_width, y + m_height};
}

uint32_t Layer::Stride() const {
    return StoredDib::Stride(m_width, m_bitsPerPixel);
}

uint32_t Layer::RowsOffset() const {
    return StoredDib::RowsOffset(m_bitsPerPixel);
}

std::unique_ptr<RowCursor> Layer::OpenRows() const {
    if (!HasPixels()) return nullptr;
    return std::make_unique<RowCursor>(m_store, m_block, RowsOffset(), Stride(),
                                       uint32_t(m_height));
}

std::unique_ptr<ReadRowCursor> Layer::OpenReadRows() const {
    if (!HasPixels()) return nullptr;
    return std::make_unique<ReadRowCursor>(m_store, m_block, RowsOffset(), Stride(),
                                           uint32_t(m_height));
}

ReadRowCursor* Layer::ReadRows() {
    if (!m_readRows) m_readRows = OpenReadRows();
    return m_readRows.get();
}

RowCursor* Layer::Rows() {
    if (!m_rows) m_rows = OpenRows();
    return m_rows.get();
}

bool Layer::Clear() {
    RowCursor* rows = Rows();
    if (!rows) return false;
    const uint32_t stride = Stride();
    for (int32_t r = 0; r < m_height; ++r) {
        uint8_t* row = rows->Row(uint32_t(r));
        if (!row) return false;
        std::memset(row, 0, stride);
    }
    return true;
}

bool Layer::FillColor(ColorRef color, int32_t alpha, int32_t opacity, bool flush) {
    if (m_kind != LayerKind::Pixel || m_bitsPerPixel != 32) return false;
    SetOpacity(opacity);
    if (!HasPixels()) return false;
    const uint32_t word = StoredDib::PixelWord(color, uint32_t(alpha) & 0xFF);
    {
        // Written by pwrite in whole aligned stretches rather than through a mapped window: no
        // page takes a fault, and the page cache holds the block in large pages, which every
        // later read of the layer copies faster.
        RowWriter rows(m_store, m_block, RowsOffset(), Stride(), uint32_t(m_height));
        for (int32_t r = 0; r < m_height; ++r) {
            uint8_t* row = rows.Row(uint32_t(r));
            if (!row) return false;
            for (int32_t i = 0; i < m_width; ++i) std::memcpy(row + 4 * size_t(i), &word, 4);
        }
        if (!(flush ? rows.FlushToDisk() : rows.Flush())) return false;
    }
    return m_store.CheckBlock(m_block);
}

bool Layer::ContainsOpaquePixel(int32_t cx, int32_t cy) {
    if (m_kind == LayerKind::Null || !m_visible || !m_bounds.Contains({cx, cy}) || !HasPixels())
        return false;
    const int32_t col = cx - m_x;
    const int32_t row = StoredRowOf(cy);
    if (col < 0 || col >= m_width || row < 0 || row >= m_height) return false;
    RowCursor* rows = Rows();
    const uint8_t* p = rows ? rows->Row(uint32_t(row)) : nullptr;
    if (!p) return false;
    if (m_bitsPerPixel == 1) return (p[col >> 3] >> (7 - (col & 7))) & 1;
    if (m_bitsPerPixel == 32) return p[4 * size_t(col) + 3] != 0;
    return false;
}

}  // namespace zelvo
