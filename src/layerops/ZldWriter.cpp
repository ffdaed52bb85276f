// Writing a .zld file: header and table first with the lengths left 0, the records in list
// order, then the header and the table again with the offsets, lengths and total filled in.
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "core/Limits.h"
#include "files/SafeFile.h"
#include "layerops/Zld.h"
#include "platform/Feedback.h"
#include "platform/Messages.h"

namespace zelvo {

namespace {

using namespace zld;

void Put32(std::vector<uint8_t>& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(uint8_t(v >> (8 * i)));
}

// The length of a layer's record (0 for a null layer); 64-bit so that a document too large
// for the format is seen before anything is written.
uint64_t RecordLength(const Layer& layer) {
    switch (layer.Kind()) {
        case LayerKind::Pixel:
            return kPixelHeaderBytes + 4 * uint64_t(layer.Width()) * uint64_t(layer.Height());
        case LayerKind::Text:
            return kTextHeaderBytes + uint64_t(layer.Text().text.size()) + 1;
        case LayerKind::Curve:
            return kCurveHeaderBytes + uint64_t(kAnchorBytes) * layer.Anchors().size();
        case LayerKind::Null:
            return 0;
    }
    return 0;
}

struct Entry {
    uint32_t kind = 0, width = 0, height = 0, offset = 0, length = 0;
};

std::vector<uint8_t> HeaderAndTable(const LayerManager& lm, int32_t resolution, uint32_t total,
                                    const std::vector<Entry>& entries) {
    std::vector<uint8_t> out;
    out.reserve(kHeaderBytes + size_t(kEntryBytes) * entries.size());
    for (char c : kMagic) out.push_back(uint8_t(c));
    Put32(out, total);
    Put32(out, uint32_t(lm.Image().width));
    Put32(out, uint32_t(lm.Image().height));
    Put32(out, uint32_t(resolution));
    Put32(out, uint32_t(entries.size()));
    Put32(out, kVersion);
    Put32(out, 0);
    for (const Entry& e : entries) {
        Put32(out, e.kind);
        Put32(out, e.width);
        Put32(out, e.height);
        Put32(out, 0);
        Put32(out, e.offset);
        Put32(out, e.length);
        Put32(out, 0);
    }
    return out;
}

// The pixel rows straight from the layer's block: stored bottom-up, 4 bytes per pixel and no
// padding, exactly as the record holds them.
bool WritePixels(SafeFile& file, const Layer& layer) {
    const FileDynamicStore& store = layer.Store();
    const int fd = store.FileHandle();
    if (fd < 0) return false;
    const FileDynamicStore::Span span = store.Payload(layer.Block());
    const uint64_t bytes = 4 * uint64_t(layer.Width()) * uint64_t(layer.Height());
    if (span.length < layer.RowsOffset() + bytes) return false;
    std::vector<uint8_t> buffer(size_t(std::min<uint64_t>(bytes, 4u << 20)));
    uint64_t done = 0;
    while (done < bytes) {
        const size_t want = size_t(std::min<uint64_t>(buffer.size(), bytes - done));
        const ssize_t n =
            pread(fd, buffer.data(), want, off_t(span.offset + layer.RowsOffset() + done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        if (!file.Write(buffer.data(), size_t(n))) return false;
        done += uint64_t(n);
    }
    return true;
}

bool WriteRecord(SafeFile& file, const Layer& layer, uint32_t offset, uint32_t length) {
    std::vector<uint8_t> h;
    Put32(h, kRecordMarker);
    Put32(h, uint32_t(layer.Kind()));
    const uint32_t visible = layer.IsVisible() ? 1 : 0;
    const uint32_t current = layer.IsCurrent() ? 1 : 0;
    switch (layer.Kind()) {
        case LayerKind::Pixel: {
            Put32(h, uint32_t(layer.Width()));
            Put32(h, uint32_t(layer.Height()));
            Put32(h, uint32_t(layer.Position().x));
            Put32(h, uint32_t(layer.Position().y));
            Put32(h, 32);
            Put32(h, uint32_t(layer.Opacity()));
            Put32(h, visible);
            Put32(h, current);
            Put32(h, offset + kPixelHeaderBytes);
            Put32(h, length - kPixelHeaderBytes);
            return file.Write(h.data(), h.size()) && WritePixels(file, layer);
        }
        case LayerKind::Text: {
            const TextSettings& t = layer.Text();
            const uint32_t textBytes = uint32_t(t.text.size()) + 1;
            Put32(h, uint32_t(layer.BitsPerPixel()));
            Put32(h, uint32_t(layer.Opacity()));
            Put32(h, visible);
            Put32(h, current);
            Put32(h, uint32_t(t.direction));
            Put32(h, textBytes);
            Put32(h, uint32_t(t.fontSize));
            Put32(h, uint32_t(t.originX));
            Put32(h, uint32_t(t.originY));
            Put32(h, layer.Color());
            uint8_t face[kFaceBytes] = {};
            std::memcpy(face, t.face.data(), std::min<size_t>(t.face.size(), kFaceBytes - 1));
            h.insert(h.end(), face, face + kFaceBytes);
            Put32(h, offset + kTextHeaderBytes);
            Put32(h, textBytes);
            h.insert(h.end(), t.text.begin(), t.text.end());
            h.push_back(0);
            return file.Write(h.data(), h.size());
        }
        case LayerKind::Curve: {
            const std::vector<CurveAnchor>& anchors = layer.Anchors();
            Put32(h, uint32_t(layer.BitsPerPixel()));
            Put32(h, uint32_t(layer.Opacity()));
            Put32(h, visible);
            Put32(h, current);
            Put32(h, layer.IsClosed() ? 1 : 0);
            Put32(h, layer.IsFilled() ? 1 : 0);
            Put32(h, uint32_t(anchors.size()));
            Put32(h, layer.Color());
            Put32(h, offset + kCurveHeaderBytes);
            Put32(h, uint32_t(kAnchorBytes * anchors.size()));
            for (const CurveAnchor& a : anchors) {
                Put32(h, 0);
                for (const Point& p : {a.in, a.point, a.out}) {
                    Put32(h, uint32_t(p.x));
                    Put32(h, uint32_t(p.y));
                }
                Put32(h, uint32_t(a.mode));
            }
            return file.Write(h.data(), h.size());
        }
        case LayerKind::Null:
            return true;
    }
    return false;
}

// Whether the reader will take the layer's coordinates back: a file it refuses would lose every
// layer, not only this one.
bool CoordinatesFit(const Layer& layer) {
    switch (layer.Kind()) {
        case LayerKind::Pixel:
            return IsCoordinate(layer.Position().x) && IsCoordinate(layer.Position().y);
        case LayerKind::Text:
            return IsCoordinate(layer.Text().originX) && IsCoordinate(layer.Text().originY);
        case LayerKind::Curve:
            for (const CurveAnchor& a : layer.Anchors())
                for (const Point& p : {a.in, a.point, a.out})
                    if (!IsCoordinate(p.x) || !IsCoordinate(p.y)) return false;
            return true;
        case LayerKind::Null:
            return true;
    }
    return true;
}

}  // namespace

int WriteLayeredDocument(const std::string& path, LayerManager& lm, int32_t resolution) {
    const std::vector<LayerPtr>& layers = lm.Layers();
    const size_t n = layers.size();
    uint64_t total = kHeaderBytes + uint64_t(kEntryBytes) * n;
    for (const LayerPtr& l : layers) total += RecordLength(*l);
    // Offsets and lengths are 32-bit: a larger document cannot be written as a whole.
    if (total > 0xFFFFFFFFu) {
        AppMessages().Show("The document is too large for the layered format (.zld).");
        return -1;
    }

    for (const LayerPtr& l : layers) {
        if (!CoordinatesFit(*l)) {
            AppMessages().Show(
                "A layer lies too far from the canvas for the layered format (.zld).");
            return -1;
        }
    }

    SafeFile file(path);
    if (!file.Open()) return 0;
    ProgressRun progress(int(n) + 1);
    std::vector<Entry> entries(n);
    for (size_t i = 0; i < n; ++i) {
        entries[i].kind = uint32_t(layers[i]->Kind());
        entries[i].width = uint32_t(layers[i]->Width());
        entries[i].height = uint32_t(layers[i]->Height());
    }
    std::vector<uint8_t> head = HeaderAndTable(lm, resolution, 0, entries);
    if (!file.Write(head.data(), head.size())) return 0;
    for (size_t i = 0; i < n; ++i) {
        const Layer& layer = *layers[i];
        if (layer.Kind() != LayerKind::Null) {
            entries[i].offset = uint32_t(file.Position());
            entries[i].length = uint32_t(RecordLength(layer));
            if (!WriteRecord(file, layer, entries[i].offset, entries[i].length)) return 0;
        }
        progress.Step();
    }
    if (file.Position() != total) return 0;
    head = HeaderAndTable(lm, resolution, uint32_t(total), entries);
    if (!file.Seek(0) || !file.Write(head.data(), head.size())) return 0;
    return file.Commit() ? 1 : 0;
}

}  // namespace zelvo
