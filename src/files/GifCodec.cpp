// GIF reading (the first frame on its logical screen) and single-frame GIF89a writing of an
// 8-bit indexed picture, with giflib.
#include <algorithm>
#include <memory>
#include <new>
#include <vector>

#include <gif_lib.h>

#include "files/Codecs.h"

namespace zelvo {

namespace {

int ReadFromCursor(GifFileType* gif, GifByteType* data, int size) {
    if (size <= 0) return 0;
    return int(static_cast<SourceCursor*>(gif->UserData)->Read(data, size_t(size)));
}

int WriteToFile(GifFileType* gif, const GifByteType* data, int size) {
    if (size <= 0) return 0;
    return static_cast<SafeFile*>(gif->UserData)->Write(data, size_t(size)) ? size : 0;
}

struct GifCloser {
    GifFileType* gif;
    ~GifCloser() {
        int error = 0;
        if (gif) DGifCloseFile(gif, &error);
    }
};

bool SkipExtension(GifFileType* gif) {
    int code = 0;
    GifByteType* block = nullptr;
    if (DGifGetExtension(gif, &code, &block) == GIF_ERROR) return false;
    while (block) {
        if (DGifGetExtensionNext(gif, &block) == GIF_ERROR) return false;
    }
    return true;
}

// The first frame on its logical screen, handed to `sink` row by row as it is decoded: the rows
// outside the frame first, then the frame's rows in the file's order (an interlaced frame's four
// passes go straight to their rows).
bool ReadFrame(GifFileType* gif, const ReadLimits& limits, RasterSink& sink,
               std::unique_ptr<RasterRows>& rows) {
    if (DGifGetImageDesc(gif) == GIF_ERROR) return false;
    const GifImageDesc& d = gif->Image;
    if (d.Width <= 0 || d.Height <= 0 || d.Left < 0 || d.Top < 0) return false;
    // The frame sits on the logical screen; a frame reaching past it widens the picture.
    const int64_t width = std::max<int64_t>(gif->SWidth, int64_t(d.Left) + d.Width);
    const int64_t height = std::max<int64_t>(gif->SHeight, int64_t(d.Top) + d.Height);
    if (!AcceptRasterSize(limits, width, height)) return false;
    if (!sink.Start(int32_t(width), int32_t(height)) || !(rows = sink.Band(0, int32_t(height))))
        return false;

    PaletteEntry palette[256] = {};
    const ColorMapObject* map = d.ColorMap ? d.ColorMap : gif->SColorMap;
    if (map) {
        for (int i = 0; i < std::min(map->ColorCount, 256); ++i)
            palette[i] = {map->Colors[i].Blue, map->Colors[i].Green, map->Colors[i].Red};
    } else {
        for (int i = 0; i < 256; ++i) palette[i] = {uint8_t(i), uint8_t(i), uint8_t(i)};
    }
    PaletteEntry background{};
    if (gif->SColorMap && gif->SBackGroundColor >= 0 &&
        gif->SBackGroundColor < gif->SColorMap->ColorCount) {
        const GifColorType& c = gif->SColorMap->Colors[gif->SBackGroundColor];
        background = {c.Blue, c.Green, c.Red};
    }
    // One row of the picture; what lies beside the frame stays the background.
    std::vector<uint8_t> bgr(size_t(width) * 3);
    for (size_t x = 0; x < size_t(width); ++x) {
        bgr[3 * x] = background.blue;
        bgr[3 * x + 1] = background.green;
        bgr[3 * x + 2] = background.red;
    }
    const int32_t bottom = int32_t(height) - 1;
    for (int64_t y = 0; y < height; ++y)
        if ((y < d.Top || y >= int64_t(d.Top) + d.Height) &&
            !rows->Put(int32_t(bottom - y), bgr.data()))
            return false;

    std::vector<GifPixelType> line(size_t(d.Width));
    auto putLine = [&](int y) {
        if (DGifGetLine(gif, line.data(), d.Width) == GIF_ERROR) return false;
        uint8_t* p = bgr.data() + 3 * size_t(d.Left);
        for (int x = 0; x < d.Width; ++x, p += 3) {
            const PaletteEntry& e = palette[line[x]];
            p[0] = e.blue;
            p[1] = e.green;
            p[2] = e.red;
        }
        return rows->Put(bottom - (d.Top + y), bgr.data());
    };
    if (d.Interlace) {
        static const int kStart[4] = {0, 4, 2, 1}, kStep[4] = {8, 8, 4, 2};
        for (int pass = 0; pass < 4; ++pass)
            for (int y = kStart[pass]; y < d.Height; y += kStep[pass])
                if (!putLine(y)) return false;
    } else {
        for (int y = 0; y < d.Height; ++y)
            if (!putLine(y)) return false;
    }
    return rows->Flush();
}

}  // namespace

bool DecodeGif(ByteSource& source, const ReadLimits& limits, RasterSink& sink) {
    uint8_t magic[6];
    if (source.ReadAt(0, magic, 6) != 6 || magic[0] != 'G' || magic[1] != 'I' || magic[2] != 'F')
        return false;
    SourceCursor cursor(source);
    int error = 0;
    GifCloser closer{DGifOpen(&cursor, ReadFromCursor, &error)};
    if (!closer.gif) return false;
    std::unique_ptr<RasterRows> rows;
    try {
        for (;;) {
            GifRecordType type;
            if (DGifGetRecordType(closer.gif, &type) == GIF_ERROR) break;
            if (type == IMAGE_DESC_RECORD_TYPE) {
                return ReadFrame(closer.gif, limits, sink, rows);
            }
            if (type == EXTENSION_RECORD_TYPE) {
                if (!SkipExtension(closer.gif)) break;
                continue;
            }
            break;  // the trailer before any frame, or garbage
        }
    } catch (const std::bad_alloc&) {
    }
    return false;
}

bool EncodeGif(SafeFile& file, const RowSource& indexed,
               const std::array<PaletteEntry, 256>& palette) {
    if (indexed.Width() <= 0 || indexed.Height() <= 0 || indexed.Bits() != 8 ||
        indexed.Width() > 65535 || indexed.Height() > 65535)
        return false;
    SaveBands bands(indexed, RowOrder::TopDown, size_t(indexed.Width()));
    int error = 0;
    GifFileType* gif = EGifOpen(&file, WriteToFile, &error);
    if (!gif) return false;
    EGifSetGifVersion(gif, true);
    GifColorType colors[256];
    for (int i = 0; i < 256; ++i) {
        const PaletteEntry& e = palette[i];
        colors[i] = {e.red, e.green, e.blue};
    }
    ColorMapObject* map = GifMakeMapObject(256, colors);
    bool ok =
        map && EGifPutScreenDesc(gif, indexed.Width(), indexed.Height(), 8, 0, map) != GIF_ERROR &&
        EGifPutImageDesc(gif, 0, 0, indexed.Width(), indexed.Height(), false, nullptr) != GIF_ERROR;
    for (int32_t y = 0; ok && y < indexed.Height(); ++y) {
        uint8_t* row = bands.Row(y);
        ok = row && EGifPutLine(gif, row, indexed.Width()) != GIF_ERROR;
    }
    // Closing writes the trailer and frees the handle whatever happened before.
    if (EGifCloseFile(gif, &error) == GIF_ERROR) ok = false;
    if (map) GifFreeMapObject(map);
    return ok && !file.Failed();
}

}  // namespace zelvo
