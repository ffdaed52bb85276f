// The dialog offered at start when a dead process left documents in its scratch file: the
// list of them and "Recover", "Discard" or "Later" (keep the files for the next start).
#pragma once

#include <string>
#include <vector>

#include <QDialog>

class QListWidget;
class QPushButton;

namespace zelvo {

class CRecoveryDialog : public QDialog {
    Q_OBJECT
public:
    enum Choice { kLater = 0, kRecover = 1, kDiscard = 2 };
    static constexpr const char* kCaption = "Recover Work";
    static constexpr const char* kText =
        "Zelvo stopped without closing these documents. Each can be reopened as it was at its "
        "last recorded step:";

    explicit CRecoveryDialog(const std::vector<std::string>& lines, QWidget* parent = nullptr);

    Choice Result() const { return m_choice; }
    QListWidget* List() const { return m_list; }
    QPushButton* Button(Choice choice) const;

private:
    void Choose(Choice choice);

    Choice m_choice = kLater;
    QListWidget* m_list = nullptr;
    QPushButton* m_recover = nullptr;
    QPushButton* m_discard = nullptr;
    QPushButton* m_later = nullptr;
};

}  // namespace zelvo
