// The Select menu's pixel-count dialogs: "Feather Selection" (0..100, default 2) and the one
// dialog of Expand and Contract ("Expand Selection" / "Contract Selection", 1..50, default 1).
// OK with a value out of range is refused with the range message and the dialog stays open.
#pragma once

#include <cstdint>
#include <optional>

#include <QDialog>

#include "selection/SelectionDialogs.h"

class QLabel;
class QLineEdit;

namespace zelvo {

// The shared layout: "<label> [edit] Pixels" and the hint below.
class CSelectionPixelsDialog : public QDialog {
    Q_OBJECT
public:
    QLineEdit* ValueEdit() const { return m_edit; }
    QLabel* ValueLabel() const { return m_label; }
    QLabel* HintLabel() const { return m_hint; }
    // The value OK accepted.
    std::optional<int32_t> Result() const { return m_result; }

protected:
    CSelectionPixelsDialog(const QString& title, const QString& label, const char* unit,
                           const char* hint, int64_t value, QWidget* parent);
    std::optional<int32_t> m_result;
    QLineEdit* m_edit;

private:
    QLabel* m_label;
    QLabel* m_hint;
};

class CFeatherDialog : public CSelectionPixelsDialog {
    Q_OBJECT
public:
    explicit CFeatherDialog(QWidget* parent = nullptr);
    void accept() override;

private:
    FeatherDialogModel m_model;
};

class CExpandContractDialog : public CSelectionPixelsDialog {
    Q_OBJECT
public:
    CExpandContractDialog(bool contract, QWidget* parent = nullptr);
    void accept() override;

private:
    ExpandContractDialogModel m_model;
};

}  // namespace zelvo
