// "New Image": the built-in and the user's own size presets, width, height and resolution
// with their units. OK gives the pixel size or shows why not and stays open; the user presets
// are written back when the dialog closes with OK or Cancel.
#pragma once

#include <optional>

#include <QDialog>

#include "doc/NewImage.h"

class QComboBox;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace zelvo {

class CNewImageDialog : public QDialog {
    Q_OBJECT
public:
    explicit CNewImageDialog(QWidget* parent = nullptr);
    // The size chosen on OK.
    std::optional<NewImageSize> Result() const { return m_result; }
    NewImageDialogModel& Model() { return m_model; }

    QListWidget* BuiltInList() const { return m_builtIn; }
    QListWidget* UserList() const { return m_user; }
    QLineEdit* WidthEdit() const { return m_width; }
    QLineEdit* HeightEdit() const { return m_height; }
    QLineEdit* ResolutionEdit() const { return m_resolution; }
    QComboBox* UnitBox() const { return m_unit; }
    QComboBox* ResolutionUnitBox() const { return m_resolutionUnit; }
    QPushButton* AddButton() const { return m_add; }
    QPushButton* DeleteButton() const { return m_delete; }
    QPushButton* OkButton() const { return m_ok; }
    QPushButton* CancelButton() const { return m_cancel; }

    void accept() override;
    void reject() override;

private:
    void ShowFields();
    void ShowUserList();
    void TakeFields();

    NewImageDialogModel m_model;
    std::optional<NewImageSize> m_result;
    QListWidget* m_builtIn;
    QListWidget* m_user;
    QLineEdit* m_width;
    QLineEdit* m_height;
    QLineEdit* m_resolution;
    QComboBox* m_unit;
    QComboBox* m_resolutionUnit;
    QPushButton* m_add;
    QPushButton* m_delete;
    QPushButton* m_ok;
    QPushButton* m_cancel;
};

}  // namespace zelvo
