#include "recovery/RecoveryJournal.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>

#include "doc/Image.h"
#include "platform/Messages.h"
#include "store/CrashPoint.h"
#include "workspace/Workspace.h"

namespace zelvo {

namespace {

JournalBlock BlockOf(const FileDynamicStore& store, BlockHandle h) {
    if (!h) return {};
    FileDynamicStore::Node n = store.GetNode(h);
    return n.inUse ? JournalBlock{n.start, n.size} : JournalBlock{};
}

JournalLayer CaptureLayer(const Layer& l, const FileDynamicStore& store) {
    JournalLayer j;
    j.kind = int32_t(l.Kind());
    j.id = l.Id();
    j.serial = l.Serial();
    j.width = l.Width();
    j.height = l.Height();
    j.bitsPerPixel = l.BitsPerPixel();
    j.x = l.Position().x;
    j.y = l.Position().y;
    j.opacity = l.Opacity();
    j.visible = l.IsVisible() ? 1 : 0;
    j.current = l.IsCurrent() ? 1 : 0;
    j.color = l.Color();
    j.closed = l.IsClosed() ? 1 : 0;
    j.filled = l.IsFilled() ? 1 : 0;
    j.bounds = l.Bounds();
    j.curveBounds = l.CurveBounds();
    j.linkCount = l.LinkCount();
    const auto& ids = l.LinkIds();
    size_t used = ids.size();
    while (used > 0 && ids[used - 1] == 0) --used;
    j.linkIds.assign(ids.begin(), ids.begin() + std::ptrdiff_t(used));
    j.block = BlockOf(store, l.Block());
    if (l.Kind() == LayerKind::Text) j.text = l.Text();
    if (l.Kind() == LayerKind::Curve) j.anchors = l.Anchors();
    return j;
}

bool WriteAll(int fd, const uint8_t* p, size_t n) {
    for (size_t done = 0; done < n;) {
        // Half the record first, so a kill can land between the halves.
        size_t step = done == 0 && n > 1 ? n / 2 : n - done;
        ssize_t put = write(fd, p + done, step);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) return false;
        done += size_t(put);
        if (done < n) CrashPoint("journal-write");
    }
    return true;
}

}  // namespace

bool WriteJournalFile(const std::string& path, const Journal& journal) {
    const std::vector<uint8_t> bytes = EncodeJournal(journal);
    const std::string tmp = path + ".tmp";
    int fd = open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    bool ok = fd >= 0 && WriteAll(fd, bytes.data(), bytes.size()) && fsync(fd) == 0;
    if (fd >= 0 && close(fd) != 0) ok = false;
    CrashPoint("journal-rename");
    ok = ok && rename(tmp.c_str(), path.c_str()) == 0;
    if (!ok) {
        unlink(tmp.c_str());
        return false;
    }
    // The rename is durable only once the folder is.
    const std::string folder = std::filesystem::path(path).parent_path().string();
    int dir = open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        fsync(dir);
        close(dir);
    }
    return true;
}

RecoveryJournal::RecoveryJournal(Workspace& workspace)
    : m_workspace(workspace),
      m_store(workspace.Store()),
      m_path(FileDynamicStore::JournalName(workspace.Store().FileName())) {
    m_workspace.SetWatcher(this);
}

RecoveryJournal::~RecoveryJournal() {
    if (m_workspace.Watcher() == this) m_workspace.SetWatcher(nullptr);
    m_store.SetPins({});
    for (const Entry& e : m_docs)
        if (e.seal) m_store.Free(e.seal);
    unlink(m_path.c_str());
    unlink((m_path + ".tmp").c_str());
}

JournalDocument RecoveryJournal::Capture(Image& image, const FileDynamicStore& store) {
    JournalDocument d;
    d.title = image.Title();
    d.path = image.Path();
    d.width = image.Width();
    d.height = image.Height();
    d.resolution = image.Resolution();
    d.modified = image.IsModified() ? 1 : 0;
    HistoryManager& h = image.History();
    const int k = h.CurrentStateIndex();
    if (!h.ShowingStart() && k >= 1) {
        const HistoryState& s = h.States()[size_t(k - 1)];
        d.stateId = s.id;
        d.stateName = s.name;
    }
    LayerManager& lm = image.Layers();
    d.lastLayerId = lm.LastId();
    d.lastSerial = lm.LastSerial();
    for (const LayerPtr& l : lm.Layers()) d.layers.push_back(CaptureLayer(*l, store));
    if (LayerPtr sel = lm.Selection()) {
        d.hasSelection = true;
        d.selection = CaptureLayer(*sel, store);
        d.selectionBounds = lm.SelectionBounds();
    }
    return d;
}

void RecoveryJournal::DocumentChanged(Image& image) {
    auto it = std::find_if(m_docs.begin(), m_docs.end(),
                           [&](const Entry& e) { return e.image == &image; });
    if (it == m_docs.end()) {
        // The seal: one word that says whether the document's pixels still match its record.
        BlockHandle seal = m_store.Allocate(4);
        if (!seal || !m_store.WriteWord(seal, 0, FileDynamicStore::kSealDirty)) {
            if (seal) m_store.Free(seal);
            return;  // the store has said why; this document simply is not journaled
        }
        m_docs.push_back({&image, seal});
    }
    if (!m_atRefresh) Write();
}

void RecoveryJournal::Refresh() {
    if (m_docs.empty()) return;
    std::vector<JournalDocument> now;
    for (const Entry& e : m_docs) {
        now.push_back(Capture(*e.image, m_store));
        now.back().seal = BlockOf(m_store, e.seal);
    }
    if (now != m_written) Write();
}

void RecoveryJournal::DocumentClosing(Image& image) {
    auto it = std::find_if(m_docs.begin(), m_docs.end(),
                           [&](const Entry& e) { return e.image == &image; });
    if (it == m_docs.end()) return;
    const BlockHandle seal = it->seal;
    m_docs.erase(it);
    if (m_docs.empty()) {
        // Nothing left to recover: no journal at all, rather than an empty one.
        unlink(m_path.c_str());
        m_store.SetPins({});
        m_written.clear();
    } else if (!Write()) {
        // The old journal still names this document; it must not point at freed blocks.
        unlink(m_path.c_str());
        m_store.SetPins({});
    }
    m_store.Free(seal);
}

bool RecoveryJournal::Write() {
    Journal j;
    struct stat st;
    const int storeFd = m_store.IsOpen() ? m_store.FileHandle() : -1;
    if (storeFd < 0 || fstat(storeFd, &st) != 0) return m_lastOk = false;
    j.scratchDevice = uint64_t(st.st_dev);
    j.scratchInode = uint64_t(st.st_ino);
    j.sequence = ++m_sequence;
    std::vector<FileDynamicStore::Pin> pins;
    for (const Entry& e : m_docs) {
        JournalDocument d = Capture(*e.image, m_store);
        d.seal = BlockOf(m_store, e.seal);
        auto pin = [&](const Layer* l) {
            if (l && l->Block()) pins.push_back({l->Block(), e.seal});
        };
        for (const LayerPtr& l : e.image->Layers().Layers()) pin(l.get());
        pin(e.image->Layers().Selection().get());
        j.documents.push_back(std::move(d));
    }
    // From the moment the new journal is in place it names the pixels as they are, though its
    // seal can only be cleared after it: a crash in between must not lose the document.
    for (const Entry& e : m_docs) {
        uint32_t seal = FileDynamicStore::kSealClean;
        if (m_store.ReadWord(e.seal, 0, seal) && seal != FileDynamicStore::kSealClean)
            m_store.WriteWord(e.seal, 0, FileDynamicStore::SealCoveredBy(j.sequence));
    }
    if (!WriteJournalFile(m_path, j)) {
        if (!m_warned)
            AppMessages().Show(
                "The recovery journal could not be written: " + m_path +
                "\nYour documents are unchanged, but work since the last save could not be "
                "recovered after a crash.");
        m_warned = true;
        return m_lastOk = false;
    }
    m_warned = false;
    CrashPoint("journal-pins");
    // The old journal is gone: the blocks only it named may go, the new ones stay.
    m_store.SetPins(pins);
    for (const Entry& e : m_docs) m_store.WriteWord(e.seal, 0, FileDynamicStore::kSealClean);
    m_written = std::move(j.documents);
    return m_lastOk = true;
}

}  // namespace zelvo
