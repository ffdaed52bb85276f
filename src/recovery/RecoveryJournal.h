// The recovery journal beside the scratch file: rewritten whole, by a temporary file renamed
// over it, each time a document settles (opened, a history state recorded, undone or redone,
// saved) or closes. It names the blocks that make up every open document in its shown state;
// the store keeps those blocks pinned until the next rewrite, so a process killed at any
// moment leaves a journal that still describes intact pixels, or a seal that says otherwise.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "doc/DocumentWatcher.h"
#include "recovery/JournalFormat.h"
#include "store/FileDynamicStore.h"

namespace zelvo {

class Workspace;
class Layer;

// Puts `journal` at `path` whole or not at all (a temporary file, synced, renamed over it).
bool WriteJournalFile(const std::string& path, const Journal& journal);

class RecoveryJournal : public DocumentWatcher {
public:
    // Becomes the workspace's watcher; its store must be open.
    explicit RecoveryJournal(Workspace& workspace);
    // Stops watching and removes the journal: after a clean run nothing is left behind.
    ~RecoveryJournal() override;
    RecoveryJournal(const RecoveryJournal&) = delete;
    RecoveryJournal& operator=(const RecoveryJournal&) = delete;

    void DocumentChanged(Image& image) override;
    // After a command that may have changed a document without a history state (the current
    // layer, a save): rewrites the journal when what it would say differs from what it says.
    void Refresh();
    void DocumentClosing(Image& image) override;
    // With `on`, a settled document is written at the next Refresh instead of at once: a caller
    // that refreshes after every command of its own (zelvo-batch) writes once per command,
    // however many states the command records.
    void WriteAtRefresh(bool on) { m_atRefresh = on; }

    const std::string& Path() const { return m_path; }
    // Whether the last write reached the disk (a full disk makes it fail: the documents stay
    // as they are, and the previous journal holds).
    bool LastWriteOk() const { return m_lastOk; }
    uint32_t Writes() const { return m_sequence; }

    // The record of one document as it stands now (also used by the benchmark).
    static JournalDocument Capture(Image& image, const FileDynamicStore& store);

private:
    struct Entry {
        Image* image;
        BlockHandle seal;
    };
    bool Write();

    Workspace& m_workspace;
    FileDynamicStore& m_store;
    std::string m_path;
    std::vector<Entry> m_docs;
    std::vector<JournalDocument> m_written;  // what the journal on disk says
    uint32_t m_sequence = 0;
    bool m_lastOk = true;
    bool m_warned = false;
    bool m_atRefresh = false;
};

}  // namespace zelvo
