// Checking and reading a .zld file. The check is the format's own (size, magic, version,
// canvas, total length, count, table, markers). The reader goes further before it makes
// anything: every record must sit where the records back to back put it, agree with its table
// entry and its own header, and stay within the limits; only then are the layers made, so a
// refused file leaves no layer and no block behind.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <vector>

#include "curves/Curve.h"
#include "history/LayerListOps.h"
#include "layerops/Zld.h"
#include "layers/TextLayer.h"
#include "platform/Feedback.h"

namespace zelvo {

namespace {

using namespace zld;

uint32_t Get32(const uint8_t* p) {
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}
int32_t GetSigned(const uint8_t* p) {
    return int32_t(Get32(p));
}

class File {
public:
    // O_NONBLOCK: a FIFO would otherwise hold the open until a writer came; it is refused
    // below with everything else that is not a regular file.
    explicit File(const std::string& path)
        : m_fd(open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK)) {
        struct stat st;
        if (m_fd >= 0 && (fstat(m_fd, &st) != 0 || !S_ISREG(st.st_mode))) {
            close(m_fd);
            m_fd = -1;
        } else if (m_fd >= 0) {
            m_size = uint64_t(st.st_size);
        }
    }
    ~File() {
        if (m_fd >= 0) close(m_fd);
    }
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    bool IsOpen() const { return m_fd >= 0; }
    int Fd() const { return m_fd; }
    uint64_t Size() const { return m_size; }
    // All `size` bytes at `offset`, or false.
    bool ReadAt(uint64_t offset, void* data, size_t size) const {
        if (offset > m_size || size > m_size - offset) return false;
        size_t done = 0;
        while (done < size) {
            const ssize_t n =
                pread(m_fd, static_cast<uint8_t*>(data) + done, size - done, off_t(offset + done));
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return false;
            done += size_t(n);
        }
        return true;
    }

private:
    int m_fd = -1;
    uint64_t m_size = 0;
};

struct Header {
    uint32_t total = 0;
    int32_t width = 0, height = 0, resolution = 0;
    uint32_t count = 0;
    std::vector<uint8_t> table;  // 28 bytes per entry
};

uint32_t HeaderBytesOf(uint32_t kind) {
    switch (kind) {
        case 1:
            return kPixelHeaderBytes;
        case 2:
            return kTextHeaderBytes;
        case 3:
            return kCurveHeaderBytes;
        default:
            return 0;
    }
}

// The format's seven checks. `header` is filled on success.
bool CheckFile(const File& file, Header& header) {
    if (!file.IsOpen() || file.Size() < kMinFileBytes) return false;
    uint8_t h[kHeaderBytes];
    if (!file.ReadAt(0, h, sizeof h)) return false;
    if (std::memcmp(h, kMagic, 4) != 0 || Get32(h + 24) != kVersion) return false;
    header.total = Get32(h + 4);
    header.width = GetSigned(h + 8);
    header.height = GetSigned(h + 12);
    header.resolution = GetSigned(h + 16);
    header.count = Get32(h + 20);
    // The product in full width: a pair whose 32-bit product wraps into range is no canvas.
    const int64_t pixels = int64_t(header.width) * int64_t(header.height);
    if (header.width < 0 || header.height < 0 || pixels > kMaxCanvasPixels) return false;
    if (header.total != file.Size()) return false;
    if (header.count > kMaxLayers) return false;
    const uint64_t tableEnd = kHeaderBytes + uint64_t(kEntryBytes) * header.count;
    if (file.Size() < tableEnd) return false;
    header.table.resize(size_t(kEntryBytes) * header.count);
    if (!file.ReadAt(kHeaderBytes, header.table.data(), header.table.size())) return false;
    for (uint32_t i = 0; i < header.count; ++i) {
        const uint8_t* e = header.table.data() + size_t(kEntryBytes) * i;
        const uint32_t bytes = HeaderBytesOf(Get32(e));
        if (bytes == 0) continue;
        uint8_t record[kTextHeaderBytes];
        if (!file.ReadAt(Get32(e + 16), record, bytes)) return false;
        if (Get32(record) != kRecordMarker) return false;
    }
    return true;
}

// One layer as the records describe it, checked before anything is made.
struct Planned {
    LayerKind kind = LayerKind::Null;
    uint64_t offset = 0;  // the record
    std::vector<uint8_t> head;
    // pixel
    int32_t width = 0, height = 0;
    // text
    uint32_t textBytes = 0;
    // curve
    uint32_t anchors = 0;
};

bool InRange(int32_t v, int32_t limit) {
    return v >= -limit && v <= limit;
}

bool IsOpacity(int32_t v) {
    return v >= 0 && v <= 100;
}

bool PlanLayers(const File& file, const Header& header, const Limits& limits,
                std::vector<Planned>& plan) {
    if (header.count == 0) return false;  // a document holds at least one layer
    // The canvas is one the program could have made: not empty, no side past the limit.
    if (header.width <= 0 || header.height <= 0 || header.width > limits.maxSide ||
        header.height > limits.maxSide)
        return false;
    uint64_t pos = kHeaderBytes + uint64_t(kEntryBytes) * header.count;
    // A pixel layer may reach past the canvas and be far wider than it (Free Transform only
    // cuts past the pixel limit): the count of its pixels is its only limit.
    const int64_t maxLayerSide = limits.maxPixels;
    for (uint32_t i = 0; i < header.count; ++i) {
        const uint8_t* e = header.table.data() + size_t(kEntryBytes) * i;
        const uint32_t kind = Get32(e);
        const uint32_t offset = Get32(e + 16);
        const uint32_t length = Get32(e + 20);
        Planned p;
        if (kind > 3) return false;
        p.kind = LayerKind(kind);
        if (p.kind == LayerKind::Null) {
            if (length != 0) return false;
            plan.push_back(std::move(p));
            continue;
        }
        // Records lie back to back in table order: the reader reads them in sequence.
        if (offset != pos) return false;
        p.offset = pos;
        p.head.resize(HeaderBytesOf(kind));
        if (!file.ReadAt(pos, p.head.data(), p.head.size())) return false;
        const uint8_t* h = p.head.data();
        if (Get32(h) != kRecordMarker || Get32(h + 4) != kind) return false;
        uint64_t expected = 0;
        switch (p.kind) {
            case LayerKind::Pixel: {
                p.width = GetSigned(h + 8);
                p.height = GetSigned(h + 12);
                if (p.width <= 0 || p.height <= 0 || p.width > maxLayerSide ||
                    p.height > maxLayerSide)
                    return false;
                const uint64_t pixels = uint64_t(p.width) * uint64_t(p.height);
                if (pixels > uint64_t(limits.maxPixels)) return false;
                if (Get32(e + 4) != uint32_t(p.width) || Get32(e + 8) != uint32_t(p.height))
                    return false;
                if (Get32(h + 40) != pos + kPixelHeaderBytes || Get32(h + 44) != 4 * pixels)
                    return false;
                if (!InRange(GetSigned(h + 16), limits.maxCoordinate) ||
                    !InRange(GetSigned(h + 20), limits.maxCoordinate) ||
                    !IsOpacity(GetSigned(h + 28)))
                    return false;
                expected = kPixelHeaderBytes + 4 * pixels;
                break;
            }
            case LayerKind::Text: {
                p.textBytes = Get32(h + 28);
                if (p.textBytes == 0 || p.textBytes > limits.maxTextBytes) return false;
                if (Get32(h + 84) != p.textBytes || Get32(h + 80) != pos + kTextHeaderBytes)
                    return false;
                if (!InRange(GetSigned(h + 36), limits.maxCoordinate) ||
                    !InRange(GetSigned(h + 40), limits.maxCoordinate) ||
                    !InRange(GetSigned(h + 32), kMaxLayerFontSize) || !IsOpacity(GetSigned(h + 12)))
                    return false;
                expected = uint64_t(kTextHeaderBytes) + p.textBytes;
                break;
            }
            case LayerKind::Curve: {
                p.anchors = Get32(h + 32);
                if (p.anchors > limits.maxAnchors) return false;
                if (!IsOpacity(GetSigned(h + 12))) return false;
                if (Get32(h + 44) != uint64_t(kAnchorBytes) * p.anchors ||
                    Get32(h + 40) != pos + kCurveHeaderBytes)
                    return false;
                expected = kCurveHeaderBytes + uint64_t(kAnchorBytes) * p.anchors;
                break;
            }
            case LayerKind::Null:
                break;
        }
        if (length != expected || pos + expected > file.Size()) return false;
        pos += expected;
        plan.push_back(std::move(p));
    }
    // The records end where the file does.
    return pos == file.Size();
}

// Copies `bytes` of the file from `from` into the store's file at `to`.
// Every pixel's alpha (its fourth byte) is a percent: a damaged record is refused rather than
// composited with alphas the percent tables do not hold.
bool AlphasArePercents(int storeFd, uint64_t at, uint64_t bytes) {
    std::vector<uint8_t> buffer(size_t(std::min<uint64_t>(bytes, 1u << 20)));
    for (uint64_t done = 0; done < bytes;) {
        const size_t want = size_t(std::min<uint64_t>(buffer.size(), bytes - done));
        const ssize_t n = pread(storeFd, buffer.data(), want, off_t(at + done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0 || n % 4 != 0) return false;
        for (ssize_t i = 3; i < n; i += 4)
            if (buffer[size_t(i)] > 100) return false;
        done += uint64_t(n);
    }
    return true;
}

bool CopyIntoStore(const File& file, uint64_t from, int storeFd, uint64_t to, uint64_t bytes) {
    loff_t in = loff_t(from), out = loff_t(to);
    uint64_t left = bytes;
    // In the kernel where it can; a plain copy where it cannot (other file systems, old kernels).
    while (left > 0) {
        const ssize_t n = copy_file_range(file.Fd(), &in, storeFd, &out,
                                          size_t(std::min<uint64_t>(left, 1u << 30)), 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        left -= uint64_t(n);
    }
    std::vector<uint8_t> buffer;
    while (left > 0) {
        if (buffer.empty()) buffer.resize(size_t(std::min<uint64_t>(left, 4u << 20)));
        const size_t want = size_t(std::min<uint64_t>(buffer.size(), left));
        if (!file.ReadAt(uint64_t(in), buffer.data(), want)) return false;
        size_t done = 0;
        while (done < want) {
            const ssize_t n =
                pwrite(storeFd, buffer.data() + done, want - done, off_t(out + loff_t(done)));
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return false;
            done += size_t(n);
        }
        in += loff_t(want);
        out += loff_t(want);
        left -= want;
    }
    return true;
}

// Text up to its first NUL.
std::string CString(const uint8_t* p, size_t n) {
    const uint8_t* end = static_cast<const uint8_t*>(std::memchr(p, 0, n));
    return std::string(reinterpret_cast<const char*>(p), end ? size_t(end - p) : n);
}

LayerPtr MakeLayer(const File& file, const Planned& p, LayerManager& lm, const Header& header,
                   const Limits& limits) {
    auto layer = std::make_shared<Layer>(lm.Store());
    const uint8_t* h = p.head.data();
    switch (p.kind) {
        case LayerKind::Null:
            layer->Create(0, 0, LayerKind::Null, lm.NextId());
            break;
        case LayerKind::Pixel: {
            if (!layer->Create(p.width, p.height, LayerKind::Pixel, lm.NextId())) return nullptr;
            const FileDynamicStore& store = lm.Store();
            const int fd = store.FileHandle();
            const FileDynamicStore::Span span = store.Payload(layer->Block());
            const uint64_t bytes = 4 * uint64_t(p.width) * uint64_t(p.height);
            if (fd < 0 || span.length < layer->RowsOffset() + bytes ||
                !CopyIntoStore(file, p.offset + kPixelHeaderBytes, fd,
                               span.offset + layer->RowsOffset(), bytes) ||
                !AlphasArePercents(fd, span.offset + layer->RowsOffset(), bytes))
                return nullptr;
            layer->SetPosition(GetSigned(h + 16), GetSigned(h + 20));
            layer->SetOpacity(GetSigned(h + 28));
            layer->SetVisible(Get32(h + 32) != 0);
            if (!lm.Store().CheckBlock(layer->Block())) return nullptr;
            break;
        }
        case LayerKind::Text: {
            if (!layer->Create(header.width, header.height, LayerKind::Text, lm.NextId()))
                return nullptr;
            std::vector<uint8_t> text(p.textBytes);
            if (!file.ReadAt(p.offset + kTextHeaderBytes, text.data(), text.size())) return nullptr;
            layer->SetOpacity(GetSigned(h + 12));
            layer->SetVisible(Get32(h + 16) != 0);
            TextSettings& t = layer->Text();
            t.direction = Get32(h + 24) == 1 ? kTextHorizontal : kTextVertical;
            t.fontSize = GetSigned(h + 32);
            t.originX = GetSigned(h + 36);
            t.originY = GetSigned(h + 40);
            layer->SetColor(Get32(h + 44) & 0x00FFFFFFu);
            SetTextFace(t, CString(h + 48, kFaceBytes));
            t.text = CString(text.data(), text.size());
            // A mask that cannot be drawn has been reported; the settings are still the layer.
            RenderText(*layer);
            break;
        }
        case LayerKind::Curve: {
            if (!layer->Create(header.width, header.height, LayerKind::Curve, lm.NextId()))
                return nullptr;
            std::vector<uint8_t> data(size_t(kAnchorBytes) * p.anchors);
            if (!file.ReadAt(p.offset + kCurveHeaderBytes, data.data(), data.size()))
                return nullptr;
            std::vector<CurveAnchor>& anchors = layer->Anchors();
            anchors.resize(p.anchors);
            for (uint32_t i = 0; i < p.anchors; ++i) {
                const uint8_t* a = data.data() + size_t(kAnchorBytes) * i;
                int32_t v[6];
                for (int k = 0; k < 6; ++k) {
                    v[k] = GetSigned(a + 4 + 4 * k);
                    if (!InRange(v[k], limits.maxCoordinate)) return nullptr;
                }
                anchors[i].in = {v[0], v[1]};
                anchors[i].point = {v[2], v[3]};
                anchors[i].out = {v[4], v[5]};
                anchors[i].mode = GetSigned(a + 28);
            }
            layer->SetOpacity(GetSigned(h + 12));
            layer->SetVisible(Get32(h + 16) != 0);
            layer->SetClosed(Get32(h + 24) == 1);
            layer->SetFilled(Get32(h + 28) == 1);
            layer->SetColor(Get32(h + 36) & 0x00FFFFFFu);
            RenderCurve(*layer);
            break;
        }
    }
    layer->SetSerial(lm.NextSerial());
    return layer;
}

}  // namespace

int CheckLayeredDocument(const std::string& path) {
    File file(path);
    Header header;
    return CheckFile(file, header) ? 1 : 0;
}

int ReadLayeredDocument(const std::string& path, LayerManager& lm, int32_t& resolution,
                        const Limits& limits) {
    if (lm.LayerCount() != 0) return 0;
    File file(path);
    Header header;
    if (!CheckFile(file, header)) return 0;
    std::vector<Planned> plan;
    if (!PlanLayers(file, header, limits, plan)) return 0;

    ProgressRun progress(int(header.count) + 3);
    // Text and curve layers are drawn at the canvas size while they are made.
    ImageGeometry& canvas = lm.Image();
    const ImageGeometry before = canvas;
    canvas.width = header.width;
    canvas.height = header.height;
    progress.Step();
    std::vector<LayerPtr> made;
    for (const Planned& p : plan) {
        LayerPtr layer = MakeLayer(file, p, lm, header, limits);
        if (!layer) {
            canvas = before;
            return 0;  // the layers made so far go with `made`, and their blocks with them
        }
        made.push_back(std::move(layer));
        progress.Step();
    }
    for (LayerPtr& l : made) lm.InsertAt(lm.LayerCount(), std::move(l));
    MakeCurrentAt(lm, 0);
    resolution = header.resolution;
    progress.Step();
    return 1;
}

}  // namespace zelvo
