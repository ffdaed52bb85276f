// The layered document file (.zld): a 32-byte header, a table of 28 bytes per layer (bottom
// layer first), then one record per non-null layer, back to back in table order. All numbers
// are 32-bit little-endian. Pixel layers keep their stored rows raw; text and curve layers
// keep their settings and anchors and are drawn again when read.
#pragma once

#include <cstdint>
#include <string>

#include "core/Limits.h"
#include "layers/LayerManager.h"

namespace zelvo {

namespace zld {

constexpr char kMagic[4] = {'z', 'l', 'd', '0'};
constexpr uint32_t kVersion = 1;
constexpr uint32_t kHeaderBytes = 32;
constexpr uint32_t kEntryBytes = 28;
constexpr uint32_t kRecordMarker = 0xFF00FF00u;
constexpr uint32_t kPixelHeaderBytes = 48;
constexpr uint32_t kTextHeaderBytes = 88;
constexpr uint32_t kCurveHeaderBytes = 48;
constexpr uint32_t kAnchorBytes = 32;
constexpr uint32_t kFaceBytes = 32;
constexpr uint32_t kMinFileBytes = 60;
// As large as Open takes a flat picture (after its question), so that such a picture saved
// with its layers opens again.
constexpr int64_t kMaxCanvasPixels = int64_t(kMaxImageSide) * kMaxImageSide;
constexpr uint32_t kMaxLayers = 127;

// What the reader accepts beyond the checks of the format itself: a layer record is read only
// when it lies inside the file where the table says, and its sizes stay within these.
struct Limits {
    int64_t maxPixels = kMaxCanvasPixels;                 // pixel layer w x h
    int32_t maxSide = 10000;                              // canvas width and height
    uint32_t maxTextBytes = uint32_t(kMaxTextBytes + 1);  // text length + 1
    uint32_t maxAnchors = uint32_t(kMaxCurveAnchors);
    // Layer positions, text origins and anchor coordinates.
    int32_t maxCoordinate = kMaxCoordinate;
};

}  // namespace zld

// Writes the document (layers bottom first, the canvas and `resolution`) to `path` through a
// temporary file renamed over it when complete. 1 on success, 0 when the file cannot be
// written, -1 when the document is too large for the format and the user has been told (the
// previous file is untouched either way).
int WriteLayeredDocument(const std::string& path, LayerManager& layers, int32_t resolution);

// 1 when the file passes every check of the format (size, magic and version, canvas size,
// total length, layer count, table, record markers), else 0.
int CheckLayeredDocument(const std::string& path);

// Reads the file into an empty document: the canvas size goes to layers.Image(), the
// resolution read to `resolution`, the layers to the list (the bottom one current). 1 on
// success; 0 when the file cannot be read or its records do not agree with its table and
// limits, and then the document is left empty.
int ReadLayeredDocument(const std::string& path, LayerManager& layers, int32_t& resolution,
                        const zld::Limits& limits = {});

}  // namespace zelvo
