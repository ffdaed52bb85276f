#include "doc/Image.h"

#include <atomic>
#include <chrono>
#include <filesystem>
#include <optional>
#include <thread>

#include "core/RowBands.h"
#include "doc/DocumentWatcher.h"
#include "files/PixelRows.h"
#include "files/RasterFile.h"
#include "geometry/Geometry.h"
#include "geometry/RotateCanvas.h"
#include "layerops/LinkGroups.h"
#include "layerops/Zld.h"
#include "platform/Feedback.h"
#include "platform/Messages.h"
#include "store/RowWriter.h"
#include "store/SpaceFailures.h"
#include "workspace/Workspace.h"

namespace zelvo {

namespace {

// The flattened layers as an encoder's row source, rendered band by band on demand.
class FlatRows : public RowSource {
public:
    FlatRows(const LayerManager& layers, RowOrder order) : m_layers(layers), m_order(order) {}
    int32_t Width() const override { return m_layers.Image().width; }
    int32_t Height() const override { return m_layers.Image().height; }
    RowOrder Order() const override { return m_order; }
    bool Fill(int32_t first, int32_t end, RowOrder order, uint8_t* dst,
              size_t stride) const override {
        return m_layers.RenderFlatRows(first, end, order == RowOrder::TopDown, dst, stride, 3);
    }

private:
    const LayerManager& m_layers;
    RowOrder m_order;
};

}  // namespace

Image::Image(Workspace& workspace)
    : m_workspace(workspace),
      m_layers(workspace.Store(), workspace.Tables(), m_geometry, workspace.ScreenWidth(),
               workspace.ScreenHeight()),
      m_history(m_layers, this) {
    m_layers.SetEvents(this);
    m_workspace.NoteRenderRequest();  // a new image starts with its first redraw asked for
}

void Image::RequestRender(int code) {
    m_renderRequest.store(code, std::memory_order_release);
    m_workspace.NoteRenderRequest();
}

Image::~Image() {
    Release();
    m_history.ClearHistory();
    m_layers.DestroyAll();
}

std::string Image::Title() const {
    if (!m_path.empty()) return std::filesystem::path(m_path).filename().string();
    return "Untitled-" + std::to_string(m_untitledNumber);
}

bool Image::NewImage(const NewImageSize& size) {
    if (!CheckNewImageSize(size.width, size.height)) return false;
    WaitCursor wait;
    m_geometry.width = size.width;
    m_geometry.height = size.height;
    if (!m_layers.CreateFirstLayer(size.width, size.height) ||
        !m_layers.CurrentLayer()->FillColor(Rgb(255, 255, 255), 100, 100, true)) {
        // The store has said why; leave nothing half made.
        m_layers.DestroyAll();
        m_geometry = {};
        return false;
    }
    m_untitledNumber = m_workspace.NextUntitledNumber();
    Finish("", size.resolution);
    m_history.RecordState(nullptr, m_layers.Layers(), kStateOpenImage, 0, "New Image",
                          {{size.width, size.height}, {}, {}});
    return true;
}

namespace {

// One band of the first layer's rows. Whole rows go to the file by pwrite: mapping every page of
// a fresh layer costs a fault per page, and a full disk becomes a failed write, not a crash.
class LayerRows : public RasterRows {
public:
    LayerRows(FileDynamicStore& store, const Layer& layer, uint64_t window)
        : m_rows(store, layer.Block(), layer.RowsOffset(), layer.Stride(), uint32_t(layer.Height()),
                 window),
          m_width(layer.Width()) {}
    bool Put(int32_t y, const uint8_t* bgr) override {
        uint8_t* dst = m_rows.Row(uint32_t(y));  // both bottom row first
        if (!dst) return false;
        ExpandBgrRow(bgr, dst, m_width, 100);
        return true;
    }
    bool Flush() override { return m_rows.Flush(); }

private:
    RowWriter m_rows;
    int32_t m_width;
};

// A decoder's scratch room as blocks of the store, freed when the read is over.
class StoreScratch : public DecodeScratch {
public:
    explicit StoreScratch(FileDynamicStore& store) : m_store(store) {}
    ~StoreScratch() override {
        for (BlockHandle b : m_blocks) m_store.Free(b);
    }
    StoreScratch(const StoreScratch&) = delete;
    StoreScratch& operator=(const StoreScratch&) = delete;

    int Borrow(uint64_t bytes) noexcept override {
        try {
            m_blocks.reserve(m_blocks.size() + 1);
        } catch (const std::bad_alloc&) {
            return -1;
        }
        const BlockHandle b = m_store.Allocate(bytes);
        if (!b) return -1;
        m_blocks.push_back(b);
        return int(m_blocks.size() - 1);
    }
    bool Write(int area, uint64_t offset, const void* data, size_t n) noexcept override {
        const uint64_t at = Place(area, offset, n);
        return at != 0 && WriteStoreBytes(m_store, at, static_cast<const uint8_t*>(data), n);
    }
    bool Read(int area, uint64_t offset, void* data, size_t n) noexcept override {
        const uint64_t at = Place(area, offset, n);
        return at != 0 && ReadStoreBytes(m_store, at, static_cast<uint8_t*>(data), n);
    }

private:
    // The file offset of bytes [offset, offset + n) of `area`; 0 when they are not all in it.
    uint64_t Place(int area, uint64_t offset, size_t n) const {
        if (area < 0 || size_t(area) >= m_blocks.size()) return 0;
        const FileDynamicStore::Span p = m_store.Payload(m_blocks[size_t(area)]);
        if (p.length == 0 || offset > p.length || n > p.length - offset) return 0;
        return p.offset + offset;
    }

    FileDynamicStore& m_store;
    std::vector<BlockHandle> m_blocks;
};

// Makes the first layer as soon as the reader knows the picture's size, and takes the rows as
// they are decoded, so that a picture read from a file is never held whole in memory.
class FirstLayerSink : public RasterSink {
public:
    FirstLayerSink(LayerManager& layers, ImageGeometry& geometry)
        : m_layers(layers), m_geometry(geometry), m_scratch(layers.Store()) {}

    DecodeScratch* Scratch() override { return &m_scratch; }

    bool Start(int32_t width, int32_t height) override {
        m_started = true;
        m_wait.emplace();
        m_progress.emplace(5);
        m_geometry.width = width;
        m_geometry.height = height;
        m_progress->Step();
        if (!m_layers.CreateFirstLayer(width, height)) {
            m_layerFailed = true;  // the store has said why
            return false;
        }
        m_layer = m_layers.CurrentLayer();
        if (!m_layer || !m_layer->HasPixels()) {
            m_rowsFailed = true;
            return false;
        }
        m_window =
            BandWindowBytes(RowCursor::kDefaultWindowBytes, RowBandCount(height, kLeastBandRows));
        m_progress->Step();
        return true;
    }
    std::unique_ptr<RasterRows> Band(int32_t, int32_t) override {
        return std::make_unique<LayerRows>(m_layers.Store(), *m_layer, m_window);
    }

    // After the last row: whether the layer holds every row.
    bool Finish() {
        if (!m_layers.Store().CheckBlock(m_layer->Block())) {
            m_rowsFailed = true;
            return false;
        }
        m_progress->Step();
        return true;
    }
    void Step() { m_progress->Step(); }

    bool Started() const { return m_started; }
    bool LayerFailed() const { return m_layerFailed; }
    bool RowsFailed() const { return m_rowsFailed; }

private:
    LayerManager& m_layers;
    ImageGeometry& m_geometry;
    StoreScratch m_scratch;
    LayerPtr m_layer;
    uint64_t m_window = 0;
    bool m_started = false;
    bool m_layerFailed = false;
    bool m_rowsFailed = false;
    std::optional<WaitCursor> m_wait;
    std::optional<ProgressRun> m_progress;
};

// A photo whose Exif orientation says the camera was held turned opens the way it was seen:
// the first layer is turned, and flipped for the mirrored orientations.
bool TurnUpright(LayerManager& layers, ImageGeometry& geometry, int orientation) {
    static const std::vector<int> kTurns[9] = {{},
                                               {},
                                               {kFlipHorizontal},
                                               {kRotate180},
                                               {kFlipVertical},
                                               {kRotateClockwise, kFlipHorizontal},
                                               {kRotateClockwise},
                                               {kRotateClockwise, kFlipVertical},
                                               {kRotateCounterclockwise}};
    if (orientation < 1 || orientation > 8) return true;
    for (int code : kTurns[orientation]) {
        const LayerPtr old = layers.LayerAt(0);
        if (!old) return false;
        int32_t w = 0, h = 0;
        RotatedCanvasSize(code, old->Width(), old->Height(), w, h);
        LayerPtr fresh = NewLayerLike(layers, *old, LayerKind::Pixel, w, h);
        if (!fresh || !TurnPixels(*old, *fresh, code)) return false;
        layers.ReplaceAt(0, std::move(fresh));
        geometry.width = w;
        geometry.height = h;
    }
    return true;
}

}  // namespace

bool Image::Open(const std::string& path) {
    FirstLayerSink sink(m_layers, m_geometry);
    RasterReadResult read = ReadRasterFile(path, &sink);
    auto fail = [&]() {
        // A picture that cannot be copied whole is not opened at all: a document with missing
        // rows would be saved over the original without anyone noticing.
        if (sink.RowsFailed()) AppMessages().Show("This image file can not be a complete open!");
        m_layers.DestroyAll();
        m_geometry = {};
        return false;
    };
    if (!read.ok) {
        if (sink.Started()) {
            // This late a read fails for a layer that could not be made or filled, for memory,
            // or for a JPEG broken past its header.
            if (!sink.LayerFailed() && !sink.RowsFailed()) AppMessages().Show(kCannotOpenText);
            return fail();
        }
        if (read.declined) return false;
        const uint64_t spaceFailures = ScratchSpaceFailures();
        bool declined = false;
        if (OpenLayered(path, declined)) return true;
        if (declined) return false;
        // A file that could not be taken in for want of scratch space is not at fault: the
        // store has said the disk is full.
        if (ScratchSpaceFailures() == spaceFailures) AppMessages().Show(kCannotOpenText);
        return false;
    }
    if (!sink.Finish() || !TurnUpright(m_layers, m_geometry, read.orientation)) return fail();
    const int32_t w = m_geometry.width, h = m_geometry.height;
    sink.Step();
    m_untitledNumber = m_workspace.NextUntitledNumber();
    Finish(path, kOpenedResolution);
    m_history.RecordState(nullptr, m_layers.Layers(), kStateOpenImage, 0, "Open Image File",
                          {{w, h}, {}, {}});
    sink.Step();
    return true;
}

bool Image::OpenLayered(const std::string& path, bool& declined) {
    WaitCursor wait;
    int32_t resolution = 0;
    if (!CheckLayeredDocument(path) || !ReadLayeredDocument(path, m_layers, resolution) ||
        !m_layers.CreateDisplayBuffer()) {
        m_layers.DestroyAll();
        m_geometry = {};
        return false;
    }
    // A large canvas is agreed to as a large flat picture is.
    if (int64_t(m_geometry.width) * m_geometry.height > kQuietRasterPixels &&
        AppMessages().Ask(kLargePictureText, Buttons::OkCancel) != Answer::Ok) {
        m_layers.DestroyAll();
        m_geometry = {};
        declined = true;
        return false;
    }
    m_untitledNumber = m_workspace.NextUntitledNumber();
    // The resolution read is replaced, as for every opened file.
    Finish(path, kOpenedResolution);
    m_history.RecordState(nullptr, m_layers.Layers(), kStateOpenImage, 0, "Open Image File",
                          {{m_geometry.width, m_geometry.height}, {}, {}});
    return true;
}

bool Image::FinishRecovered(const std::string& path, int32_t resolution) {
    if (IsReady() || m_layers.LayerCount() == 0 || !m_layers.CreateDisplayBuffer()) {
        m_layers.DestroyAll();
        m_geometry = {};
        return false;
    }
    m_untitledNumber = m_workspace.NextUntitledNumber();
    Finish(path, resolution);
    // The recovered work is in no file yet.
    m_modified = true;
    m_history.RecordState(nullptr, m_layers.Layers(), kStateOpenImage, 0, "Open Image File",
                          {{m_geometry.width, m_geometry.height}, {}, {}});
    return true;
}

void Image::StateSettled() {
    // Links are not part of the history: an undo can take away a member of a group, which
    // would leave the group naming a layer that is gone (and Merge Linked an internal error).
    // Such groups dissolve, as linking does with them.
    if (!LinkGroupsConsistent(m_layers)) ClearLinkGroups(m_layers);
    if (IsReady())
        if (DocumentWatcher* w = m_workspace.Watcher()) w->DocumentChanged(*this);
}

void Image::Finish(const std::string& path, int32_t resolution) {
    m_path = path;
    m_resolution = resolution;
    m_modified = false;
    m_geometry.visible = {0, 0, m_geometry.width, m_geometry.height};
    m_ready.store(true, std::memory_order_release);
    RequestRender(1);
}

bool Image::CheckSavePath(const std::string& path) {
    namespace fs = std::filesystem;
    fs::path folder = fs::path(path).parent_path();
    std::error_code ec;
    if (!folder.empty() && !fs::is_directory(folder, ec)) {
        // The drive-letter text this stands in for reads as one word after a folder's name.
        AppMessages().Show("The folder " + folder.string() +
                           "/ is not there: the document cannot be saved in it. Please use Save "
                           "As to save in another folder!");
        return false;
    }
    if (FormatForPath(path) == FileFormat::None) {
        AppMessages().Show("Can not save the document without extension!");
        return false;
    }
    return true;
}

bool Image::Save(const std::string& path, const SaveOptions& options) {
    // Text being typed, a curve being drawn, a stroke under way: what the user sees goes into
    // the file, as before any command (an open text edit holds the layer without its text).
    EndToolInteraction();
    if (!CheckSavePath(path)) return false;
    const FileFormat format = FormatForPath(path);
    if (format == FileFormat::Layered) {
        WaitCursor wait;
        const int written = WriteLayeredDocument(path, m_layers, m_resolution);
        if (written != 1) {
            if (written == 0) AppMessages().Show("The file could not be written: " + path);
            return false;
        }
        m_path = path;
        m_modified = false;
        StateSettled();
        return true;
    }
    if (!SaveFlat(path, format, options)) return false;
    m_path = path;
    m_modified = false;
    StateSettled();
    return true;
}

bool Image::SaveFlat(const std::string& path, FileFormat format, const SaveOptions& options) {
    WaitCursor wait;
    ProgressRun progress(3);
    const int type = int(format);
    const int option = format == FileFormat::Jpeg   ? options.jpegQuality
                       : format == FileFormat::Tiff ? options.tiffCompression
                                                    : 0;
    if (Width() <= 0 || Height() <= 0) return false;
    // The encoder renders the rows a band at a time as it writes them; the order the picture
    // is said to be kept in is the one RenderFlat gives the format (the GIF palette follows it).
    const FlatRows flat(m_layers,
                        FlatRowsTopFirst(type, option) ? RowOrder::TopDown : RowOrder::BottomUp);
    const int quality = format == FileFormat::Tiff ? options.tiffQuality : options.jpegQuality;
    if (!WriteRasterFile(path, flat, type, quality, options.tiffCompression)) {
        AppMessages().Show("The file could not be written: " + path);
        return false;
    }
    progress.Step();
    progress.Step();
    return true;
}

void Image::Release() {
    if (!IsReady()) return;
    WaitCursor wait;
    // The journal lets go of this document's blocks before any of them is freed.
    if (DocumentWatcher* w = m_workspace.Watcher()) w->DocumentClosing(*this);
    m_ready.store(false, std::memory_order_release);
    // The outline animator and the display refresher finish their passes over this image
    // before anything they read goes.
    while (m_viewState.animatorBusy.load() || m_viewState.renderBusy.load())
        std::this_thread::sleep_for(std::chrono::milliseconds(15));
    m_viewState.renderLayers.clear();
    m_viewState.renderSelection.reset();
    m_viewState.outlinePrepared.store(false);
    m_viewState.firstDrawDone = false;
    // An edit left open would keep layers (and their blocks) past the store's clean-up.
    if (m_textEdit.EditMode() != TextEdit::Mode::None) m_textEdit.EndText(0);
    if (m_curveEdit.IsOpen()) m_curveEdit.CancelCurveEdit();
    m_history.ClearHistory();
    m_layers.DestroyAll();
    m_geometry = {};
    m_resolution = 0;
    m_modified = false;
    m_path.clear();
    FileDynamicStore& store = m_workspace.Store();
    store.Shrink();
    store.CheckStore();
}

bool AskAndClose(Image& image, const SaveOptions& options,
                 const std::function<bool(Image&)>& saveAs) {
    // Text typed and not yet committed is a change the question must cover.
    image.EndToolInteraction();
    if (image.IsModified()) {
        Answer a =
            AppMessages().Ask("Whether the save the file?", Buttons::YesNoCancel, "Close File");
        if (a == Answer::Cancel) return false;
        if (a == Answer::Yes) {
            bool saved = image.Path().empty() ? (saveAs && saveAs(image))
                                              : image.Save(image.Path(), options);
            if (!saved) return false;
        }
    }
    image.Release();
    return true;
}

bool Image::ToolBusy() {
    const ToolHooks* tools = m_workspace.Tools();
    return tools && tools->ToolBusy();
}

void Image::EndToolInteraction() {
    if (ToolHooks* tools = m_workspace.Tools()) tools->EndToolInteraction();
}

void Image::CloseCurveAnchorEdit() {
    if (ToolHooks* tools = m_workspace.Tools()) tools->CloseCurveAnchorEdit();
}

}  // namespace zelvo
