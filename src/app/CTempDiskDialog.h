// "Select Temporary Disk": the fixed disks with their free space; Ok remembers the chosen one
// for the next start.
#pragma once

#include <QDialog>

#include "store/TempDisk.h"

class QComboBox;

namespace zelvo {

class CTempDiskDialog : public QDialog {
    Q_OBJECT
public:
    CTempDiskDialog(DiskService& disks, const std::string& tempFolder, QWidget* parent = nullptr);
    QComboBox* DiskList() const { return m_list; }
    TempDiskDialog& Model() { return m_model; }
    void accept() override;

private:
    TempDiskDialog m_model;
    QComboBox* m_list;
};

}  // namespace zelvo
