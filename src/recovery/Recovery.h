// Crash recovery at start: the scratch files of the series that a dead process left behind
// with a journal beside them, what their journals list, and the rebuilding of each document
// from the blocks the journal names (copied into this run's store), or the discarding of it
// all. The files are let go only after everything that can be rebuilt has been.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "recovery/JournalFormat.h"

namespace zelvo {

class Image;
class Workspace;

struct RecoveryOffer {
    std::string scratchPath;
    std::string journalPath;
    bool readable = false;  // the journal passed its checks
    std::string why;        // when not: the reason, for the user
    Journal journal;
};

// The unlocked scratch files of the series in `folder` (other than `ownScratch`) that have a
// journal beside them, with their journals read. Never fails: what cannot be read says why.
std::vector<RecoveryOffer> FindRecoveryOffers(const std::string& folder,
                                              const std::string& ownScratch);
// The offers of every folder where the workspace's run may find a dead run's files.
std::vector<RecoveryOffer> FindRecoveryOffers(const Workspace& workspace);

// One line per document of an offer, for the dialog and the batch listing:
// `TITLE — W × H, N layers, at "STATE"`.
std::vector<std::string> DescribeOffer(const RecoveryOffer& offer);

struct RecoveryResult {
    int recovered = 0;
    int refused = 0;
};

// Rebuilds every document of every offer into a new image of `workspace`, handing each to
// `adopt` as a modified document. A document or journal that fails its checks is refused with
// a message saying why. Each scratch file and its journal are removed once its documents are
// done; an offer whose journal cannot be read, or whose file another process holds meanwhile,
// is left alone.
using AdoptRecovered = std::function<void(std::unique_ptr<Image>, const JournalDocument&)>;
RecoveryResult RecoverAll(Workspace& workspace, const std::vector<RecoveryOffer>& offers,
                          const AdoptRecovered& adopt);
// Removes the offers' scratch files and journals unread. Returns how many were removed.
int DiscardAll(const std::vector<RecoveryOffer>& offers);

}  // namespace zelvo
