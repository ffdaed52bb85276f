// ReadRasterFile: recognises the format by the first two bytes or the extension and hands the
// bytes to its decoder.
#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <stdexcept>
#include <vector>

#include "files/Codecs.h"
#include "platform/Messages.h"

namespace zelvo {

namespace {

enum class Kind { None, Bmp, Jpeg, Gif, Png, Tiff };

std::string ExtensionOf(const std::string& path) {
    const size_t dot = path.rfind('.');
    const size_t slash = path.rfind('/');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
    return path.substr(dot + 1);
}

Kind KindOf(ByteSource& source, const std::string& extension) {
    uint8_t b[2] = {};
    source.ReadAt(0, b, 2);
    if (b[0] == 'B' && b[1] == 'M') return Kind::Bmp;
    if (b[0] == 0xFF && b[1] == 0xD8) return Kind::Jpeg;
    // The first three letters of the extension decide, so ".tiff" is TIFF.
    std::string e = extension.substr(0, 3);
    std::transform(e.begin(), e.end(), e.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    if (e == "gif") return Kind::Gif;
    if (e == "png") return Kind::Png;
    if (e == "tif") return Kind::Tiff;
    return Kind::None;
}

// The rows of a streaming decoder kept in the result's image, for the callers that want one.
class ImageRows : public RasterRows {
public:
    explicit ImageRows(RasterImage& image) : m_image(image) {}
    bool Put(int32_t y, const uint8_t* bgr) override {
        std::memcpy(m_image.BottomRow(y), bgr, size_t(m_image.Width()) * 3);
        return true;
    }
    bool Flush() override { return true; }

private:
    RasterImage& m_image;
};

class ImageSink : public RasterSink {
public:
    explicit ImageSink(RasterImage& image) : m_image(image) {}
    bool Start(int32_t width, int32_t height) override {
        return m_image.Allocate(width, height, 24, RowOrder::BottomUp);
    }
    std::unique_ptr<RasterRows> Band(int32_t, int32_t) override {
        return std::make_unique<ImageRows>(m_image);
    }

private:
    RasterImage& m_image;
};

// Notes whether the decoder got as far as its rows: a file whose rows have begun to go out is
// tried as no other format.
class StartWatch : public RasterSink {
public:
    explicit StartWatch(RasterSink& sink) : m_sink(sink) {}
    bool Start(int32_t width, int32_t height) override {
        started = true;
        return m_sink.Start(width, height);
    }
    std::unique_ptr<RasterRows> Band(int32_t first, int32_t end) override {
        return m_sink.Band(first, end);
    }
    DecodeScratch* Scratch() override { return m_sink.Scratch(); }
    bool started = false;

private:
    RasterSink& m_sink;
};

bool DecodeAs(Kind kind, ByteSource& source, const ReadLimits& limits, RasterSink& sink,
              int& orientation) {
    switch (kind) {
        case Kind::Gif:
            return DecodeGif(source, limits, sink);
        case Kind::Png:
            return DecodePng(source, limits, sink);
        case Kind::Tiff:
            return DecodeTiff(source, limits, sink, &orientation);
        default:
            return false;
    }
}

RasterReadResult Read(ByteSource& source, const std::string& extension, const ReadLimits& given,
                      RasterSink* sink) {
    // A file tried as one format after another is asked about once.
    ReadLimits limits = given;
    std::optional<bool> asked;
    if (given.confirmLarge) {
        limits.confirmLarge = [&given, &asked](int64_t w, int64_t h) {
            if (!asked) asked = given.confirmLarge(w, h);
            return *asked;
        };
    }
    RasterReadResult out;
    bool ok = false;
    if (source.Size() > kMinRasterFileSize) {
        const Kind kind = KindOf(source, extension);
        ImageSink own(out.image);
        if (kind == Kind::Bmp) {
            ok = DecodeBmp(source, limits, sink ? *sink : own, out.incomplete);
        } else if (kind == Kind::Jpeg) {
            JpegNotes notes;
            ok = DecodeJpeg(source, limits, sink ? *sink : own, kJpegChunkBytes, &notes);
            out.incomplete = notes.endedEarly;
            out.orientation = notes.orientation;
        } else if (kind != Kind::None) {
            StartWatch watch(sink ? *sink : own);
            ok = DecodeAs(kind, source, limits, watch, out.orientation);
            // A file named for one of these formats may hold another of them.
            for (Kind other : {Kind::Png, Kind::Tiff, Kind::Gif}) {
                if (ok || other == kind || watch.started) continue;
                ok = DecodeAs(other, source, limits, watch, out.orientation);
            }
        }
    }
    if (!ok) {
        out = RasterReadResult{};
        out.message = kCannotOpenText;
        out.declined = asked.has_value() && !*asked;
        return out;
    }
    out.ok = true;
    if (out.incomplete) AppMessages().Show(kIncompleteFileText);
    return out;
}

}  // namespace

bool AcceptRasterSize(const ReadLimits& limits, int64_t width, int64_t height) {
    if (!IsAcceptableRasterSize(width, height, limits.maxPixels)) return false;
    if (width * height <= kQuietRasterPixels) return true;
    return limits.confirmLarge && limits.confirmLarge(width, height);
}

RasterReadResult ReadRasterFile(const std::string& path) {
    return ReadRasterFile(path, nullptr);
}

RasterReadResult ReadRasterFile(const std::string& path, RasterSink* sink) {
    FileSource source;
    if (!source.Open(path)) {
        RasterReadResult out;
        out.message = kCannotOpenText;
        return out;
    }
    ReadLimits limits;
    limits.confirmLarge = [](int64_t, int64_t) {
        return AppMessages().Ask(kLargePictureText, Buttons::OkCancel) == Answer::Ok;
    };
    return Read(source, ExtensionOf(path), limits, sink);
}

RasterReadResult ReadRasterMemory(const uint8_t* data, size_t size, const std::string& extension,
                                  const ReadLimits& limits) {
    MemorySource source(data, data ? size : 0);
    return Read(source, extension, limits, nullptr);
}

}  // namespace zelvo
