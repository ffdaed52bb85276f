#include "recovery/JournalFormat.h"

#include <zlib.h>

#include <cstring>

#include "core/Limits.h"

namespace zelvo {

namespace {

class Writer {
public:
    void U32(uint32_t v) {
        for (int i = 0; i < 4; ++i) m_bytes.push_back(uint8_t(v >> (8 * i)));
    }
    void I32(int32_t v) { U32(uint32_t(v)); }
    void U64(uint64_t v) {
        U32(uint32_t(v));
        U32(uint32_t(v >> 32));
    }
    void Str(const std::string& s) {
        U32(uint32_t(s.size()));
        m_bytes.insert(m_bytes.end(), s.begin(), s.end());
    }
    void R(const Rect& r) {
        I32(r.left);
        I32(r.top);
        I32(r.right);
        I32(r.bottom);
    }
    void P(const Point& p) {
        I32(p.x);
        I32(p.y);
    }
    std::vector<uint8_t>& Bytes() { return m_bytes; }

private:
    std::vector<uint8_t> m_bytes;
};

// Every read is bounded by what is left; the first short read fails the whole decode.
class Reader {
public:
    Reader(const uint8_t* p, size_t n) : m_p(p), m_n(n) {}
    bool Ok() const { return m_ok; }
    uint32_t U32() {
        if (!Take(4)) return 0;
        const uint8_t* b = m_p + m_at - 4;
        return uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
    }
    int32_t I32() { return int32_t(U32()); }
    uint64_t U64() {
        uint64_t lo = U32();
        return lo | uint64_t(U32()) << 32;
    }
    std::string Str(uint32_t max) {
        uint32_t n = U32();
        if (n > max || !Take(n)) {
            m_ok = false;
            return {};
        }
        return std::string(reinterpret_cast<const char*>(m_p + m_at - n), n);
    }
    Rect R() {
        Rect r;
        r.left = I32();
        r.top = I32();
        r.right = I32();
        r.bottom = I32();
        return r;
    }
    Point P() {
        Point p;
        p.x = I32();
        p.y = I32();
        return p;
    }
    bool AtEnd() const { return m_at == m_n; }
    void Fail() { m_ok = false; }

private:
    bool Take(size_t k) {
        if (!m_ok || k > m_n - m_at) return m_ok = false;
        m_at += k;
        return true;
    }
    const uint8_t* m_p;
    size_t m_n;
    size_t m_at = 0;
    bool m_ok = true;
};

void PutLayer(Writer& w, const JournalLayer& l) {
    for (int32_t v : {l.kind, l.id, l.serial, l.width, l.height, l.bitsPerPixel, l.x, l.y,
                      l.opacity, l.visible, l.current})
        w.I32(v);
    w.U32(l.color);
    w.I32(l.closed);
    w.I32(l.filled);
    w.R(l.bounds);
    w.R(l.curveBounds);
    w.I32(l.linkCount);
    w.U32(uint32_t(l.linkIds.size()));
    for (uint16_t id : l.linkIds) w.U32(id);
    w.U32(l.block.start);
    w.U32(l.block.size);
    w.Str(l.text.text);
    w.I32(l.text.originX);
    w.I32(l.text.originY);
    w.I32(l.text.fontSize);
    w.Str(l.text.face);
    w.I32(l.text.direction);
    w.U32(uint32_t(l.anchors.size()));
    for (const CurveAnchor& a : l.anchors) {
        w.P(a.in);
        w.P(a.point);
        w.P(a.out);
        w.I32(a.mode);
    }
}

bool GetLayer(Reader& r, JournalLayer& l, std::string& why) {
    l.kind = r.I32();
    l.id = r.I32();
    l.serial = r.I32();
    l.width = r.I32();
    l.height = r.I32();
    l.bitsPerPixel = r.I32();
    l.x = r.I32();
    l.y = r.I32();
    l.opacity = r.I32();
    l.visible = r.I32();
    l.current = r.I32();
    l.color = r.U32();
    l.closed = r.I32();
    l.filled = r.I32();
    l.bounds = r.R();
    l.curveBounds = r.R();
    l.linkCount = r.I32();
    uint32_t links = r.U32();
    if (!r.Ok() || links > journal::kMaxLinks) {
        why = "a layer's link group is too large";
        return false;
    }
    for (uint32_t i = 0; i < links; ++i) l.linkIds.push_back(uint16_t(r.U32()));
    l.block.start = r.U32();
    l.block.size = r.U32();
    l.text.text = r.Str(journal::kMaxString);
    l.text.originX = r.I32();
    l.text.originY = r.I32();
    l.text.fontSize = r.I32();
    l.text.face = r.Str(TextSettings::kFaceBytes - 1);
    l.text.direction = r.I32();
    uint32_t anchors = r.U32();
    if (!r.Ok() || anchors > journal::kMaxAnchors) {
        why = "a curve has too many anchors";
        return false;
    }
    l.anchors.resize(anchors);
    for (CurveAnchor& a : l.anchors) {
        a.in = r.P();
        a.point = r.P();
        a.out = r.P();
        a.mode = r.I32();
    }
    if (!r.Ok()) {
        why = "a layer record is cut short";
        return false;
    }
    // A pixel layer may reach far past the canvas (Free Transform, Image Size of a layer
    // larger than the canvas): its pixel count is the limit, not the canvas's side.
    const bool sized = l.width >= 0 && l.height >= 0 &&
                       int64_t(l.width) * l.height <= kMaxImagePixels &&
                       l.width <= kMaxImagePixels && l.height <= kMaxImagePixels;
    if (l.kind < 0 || l.kind > 3 || !sized || l.linkCount < 0 ||
        l.linkCount > int32_t(journal::kMaxLinks)) {
        why = "a layer record holds impossible values";
        return false;
    }
    return true;
}

}  // namespace

std::vector<uint8_t> EncodeJournal(const Journal& j) {
    Writer body;
    for (const JournalDocument& d : j.documents) {
        body.U32(d.seal.start);
        body.U32(d.seal.size);
        body.Str(d.title);
        body.Str(d.path);
        for (int32_t v : {d.width, d.height, d.resolution, d.modified}) body.I32(v);
        body.U32(d.stateId);
        body.Str(d.stateName);
        body.I32(d.lastLayerId);
        body.I32(d.lastSerial);
        body.U32(uint32_t(d.layers.size()));
        for (const JournalLayer& l : d.layers) PutLayer(body, l);
        body.U32(d.hasSelection ? 1 : 0);
        if (d.hasSelection) {
            PutLayer(body, d.selection);
            body.R(d.selectionBounds);
        }
    }
    const std::vector<uint8_t>& b = body.Bytes();
    Writer out;
    out.Bytes().insert(out.Bytes().end(), journal::kMagic, journal::kMagic + 4);
    out.U32(journal::kVersion);
    out.U64(j.scratchDevice);
    out.U64(j.scratchInode);
    out.U32(j.sequence);
    out.U32(uint32_t(j.documents.size()));
    out.U32(uint32_t(b.size()));
    out.U32(uint32_t(crc32(0L, b.data(), uInt(b.size()))));
    out.Bytes().insert(out.Bytes().end(), b.begin(), b.end());
    return std::move(out.Bytes());
}

bool DecodeJournal(const std::vector<uint8_t>& bytes, Journal& out, std::string& why) {
    out = {};
    if (bytes.size() < journal::kHeaderBytes || std::memcmp(bytes.data(), journal::kMagic, 4)) {
        why = "it is not a recovery journal";
        return false;
    }
    Reader h(bytes.data() + 4, journal::kHeaderBytes - 4);
    const uint32_t version = h.U32();
    out.scratchDevice = h.U64();
    out.scratchInode = h.U64();
    out.sequence = h.U32();
    const uint32_t count = h.U32();
    const uint32_t length = h.U32();
    const uint32_t crc = h.U32();
    if (version != journal::kVersion) {
        why = "it was written by another version of the program";
        return false;
    }
    const uint8_t* body = bytes.data() + journal::kHeaderBytes;
    if (length != bytes.size() - journal::kHeaderBytes ||
        crc != uint32_t(crc32(0L, body, uInt(length)))) {
        why = "it is incomplete or damaged";
        return false;
    }
    if (count > journal::kMaxDocuments) {
        why = "it lists too many documents";
        return false;
    }
    Reader r(body, length);
    for (uint32_t i = 0; i < count; ++i) {
        JournalDocument d;
        d.seal.start = r.U32();
        d.seal.size = r.U32();
        d.title = r.Str(4096);
        d.path = r.Str(4096);
        d.width = r.I32();
        d.height = r.I32();
        d.resolution = r.I32();
        d.modified = r.I32();
        d.stateId = r.U32();
        d.stateName = r.Str(4096);
        d.lastLayerId = r.I32();
        d.lastSerial = r.I32();
        const uint32_t layers = r.U32();
        if (!r.Ok() || layers == 0 || layers > journal::kMaxLayers) {
            why = "a document record is damaged";
            return false;
        }
        if (d.width <= 0 || d.height <= 0 || d.width > journal::kMaxSide ||
            d.height > journal::kMaxSide) {
            why = "a document's canvas size is impossible";
            return false;
        }
        d.layers.resize(layers);
        for (JournalLayer& l : d.layers)
            if (!GetLayer(r, l, why)) return false;
        const uint32_t hasSelection = r.U32();
        if (!r.Ok() || hasSelection > 1) {
            why = "a document record is damaged";
            return false;
        }
        d.hasSelection = hasSelection == 1;
        if (d.hasSelection) {
            if (!GetLayer(r, d.selection, why)) return false;
            d.selectionBounds = r.R();
        }
        out.documents.push_back(std::move(d));
    }
    if (!r.Ok() || !r.AtEnd()) {
        why = "its length does not match its documents";
        return false;
    }
    return true;
}

}  // namespace zelvo
