// Crash recovery in the main frame: the journal of this run's documents, and the offer at
// start of the documents a dead process left behind.
#include "app/CChildFrame.h"
#include "app/CMainFrame.h"
#include "app/CRecoveryDialog.h"
#include "app/CZelvoApp.h"
#include "app/CZelvoDoc.h"
#include "doc/Image.h"
#include "recovery/Recovery.h"
#include "recovery/RecoveryJournal.h"

namespace zelvo {

void CMainFrame::StartJournal() {
    m_journal = std::make_unique<RecoveryJournal>(m_workspace);
}

CRecoveryDialog::Choice CMainFrame::OfferRecovery() {
    const std::vector<RecoveryOffer> offers = FindRecoveryOffers(m_workspace);
    if (offers.empty()) return CRecoveryDialog::kLater;
    std::vector<std::string> lines;
    for (const RecoveryOffer& o : offers)
        for (std::string& line : DescribeOffer(o)) lines.push_back(std::move(line));
    CRecoveryDialog dialog(lines, this);
    dialog.exec();
    const CRecoveryDialog::Choice choice = dialog.Result();
    if (choice == CRecoveryDialog::kDiscard) {
        DiscardAll(offers);
    } else if (choice == CRecoveryDialog::kRecover) {
        ResetNewWindowSlot();
        RecoverAll(
            m_workspace, offers, [this](std::unique_ptr<Image> image, const JournalDocument&) {
                AddChild(std::make_unique<CZelvoDoc>(std::move(image)), m_app.Slots().Current());
                m_app.Slots().Advance();
            });
        UpdateCommandUI();
        RefreshPalettes();
    }
    return choice;
}

}  // namespace zelvo
