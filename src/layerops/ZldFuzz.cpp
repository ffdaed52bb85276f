#include "layerops/ZldFuzz.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <memory>

#include "core/PercentTables.h"
#include "layerops/Zld.h"
#include "layers/LayerManager.h"

namespace zelvo {

namespace {

void Require(bool ok, const char* what) {
    if (ok) return;
    std::fprintf(stderr, "FuzzReadLayered: %s\n", what);
    std::abort();
}

const PercentTables& Tables() {
    static const PercentTables tables;
    return tables;
}

}  // namespace

void FuzzReadLayered(FileDynamicStore& store, const uint8_t* data, size_t size) {
    const std::string path = store.Folder() + "fuzz-input.zld";
    {
        const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        Require(fd >= 0, "cannot write the input file");
        size_t done = 0;
        while (done < size) {
            const ssize_t n = write(fd, data + done, size - done);
            Require(n > 0, "cannot write the input file");
            done += size_t(n);
        }
        close(fd);
    }
    const uint32_t usedBefore = store.UsedCount();
    {
        ImageGeometry image;
        LayerManager layers(store, Tables(), image, 16, 16);
        // Small limits keep one input cheap; the checks are the same at any size.
        zld::Limits limits;
        limits.maxPixels = 1 << 20;
        limits.maxSide = 2048;
        limits.maxTextBytes = 1 << 12;
        limits.maxAnchors = 256;
        int32_t resolution = 0;
        const int checked = CheckLayeredDocument(path);
        const int read = ReadLayeredDocument(path, layers, resolution, limits);
        Require(!read || checked, "read a file the check refuses");
        if (read) {
            Require(layers.LayerCount() >= 1 && layers.LayerCount() <= 127, "layer count");
            Require(layers.CurrentIndex() == 0, "the bottom layer is current");
            for (const LayerPtr& l : layers.Layers()) {
                if (l->Kind() == LayerKind::Null) continue;
                Require(l->HasPixels(), "a layer without pixels");
                Require(store.CheckBlock(l->Block()), "a damaged block");
                if (l->Kind() != LayerKind::Pixel)
                    Require(l->Width() == image.width && l->Height() == image.height,
                            "a vector layer not of the canvas size");
            }
        } else {
            Require(layers.LayerCount() == 0, "a refused file left layers");
        }
    }
    Require(store.UsedCount() == usedBefore, "a block was left behind");
    unlink(path.c_str());
}

}  // namespace zelvo
