#include "app/FileDialogs.h"

#include <filesystem>

#include <QDir>
#include <QFileDialog>
#include <QFileIconProvider>
#include <QUrl>

#include "doc/SaveNames.h"
#include "platform/Messages.h"

namespace zelvo {

const char* const kOpenTitle = "Open Image File";
const char* const kSaveAsTitle = "Save As Image File";

QStringList OpenFilters() {
    return {
        "All Supported Formats (*.bmp *.jpg *.jpeg *.gif *.tif *.tiff *.png *.zld)",
        "JPG,JPEG File (*.jpg *.jpeg)",
        "GIF File (*.gif)",
        "TIFF File (*.tiff *.tif)",
        "PNG File (*.png)",
        "BMP File (*.bmp)",
        "ZLD File (*.zld)",
        "All File (*)",
    };
}

QStringList SaveAsFilters() {
    return {
        "JPG,JPEG File (*.jpg *.jpeg)", "GIF File (*.gif)",
        "TIFF File (*.tif *.tiff)",     "PNG File (*.png)",
        "BMP(24bit) (*.bmp)",           "ZLD File ( Zelvo layers data format) (*.zld)",
    };
}

namespace {

// Icons and type names from the name alone. Qt's own provider tells a file's type by reading
// its first bytes: a named pipe or a device file in the folder (or typed into the name box)
// would block the dialog, and the program with it, until something wrote there.
class NameOnlyIcons : public QFileIconProvider {
public:
    QIcon icon(const QFileInfo& info) const override {
        return QFileIconProvider::icon(info.isDir() ? Folder : File);
    }
    QString type(const QFileInfo& info) const override {
        if (info.isDir()) return "Folder";
        return info.suffix().isEmpty() ? QString("File") : info.suffix().toUpper() + " File";
    }
};

void SetUpDialog(QFileDialog* dialog) {
    dialog->setOption(QFileDialog::DontUseNativeDialog);
    // One provider for every dialog, kept for the program's life (the dialogs do not own it).
    static QFileIconProvider* const icons = new NameOnlyIcons;
    dialog->setIconProvider(icons);
}

}  // namespace

QFileDialog* CreateOpenDialog(QWidget* parent, const QString& folder) {
    auto* dialog = new QFileDialog(parent, kOpenTitle);
    SetUpDialog(dialog);
    dialog->setFileMode(QFileDialog::ExistingFiles);
    dialog->setAcceptMode(QFileDialog::AcceptOpen);
    dialog->setNameFilters(OpenFilters());
    // A folder that is gone starts the dialog without one.
    if (!folder.isEmpty() && QDir(folder).exists()) dialog->setDirectory(folder);
    return dialog;
}

QFileDialog* CreateSaveAsDialog(QWidget* parent, const QString& folder, const QString& name) {
    auto* dialog = new QFileDialog(parent, kSaveAsTitle);
    SetUpDialog(dialog);
    dialog->setFileMode(QFileDialog::AnyFile);
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setNameFilters(SaveAsFilters());
    if (!folder.isEmpty() && QDir(folder).exists()) dialog->setDirectory(folder);
    if (!name.isEmpty()) dialog->selectFile(name);
    return dialog;
}

QStringList RunOpenDialog(QWidget* parent, const QString& folder) {
    std::unique_ptr<QFileDialog> dialog(CreateOpenDialog(parent, folder));
    if (dialog->exec() != QDialog::Accepted) return {};
    return dialog->selectedFiles();
}

std::string SaveAsResult(const std::string& typed, int filterIndex) {
    static const SaveFilter kFilters[] = {SaveFilter::Jpeg, SaveFilter::Gif, SaveFilter::Tiff,
                                          SaveFilter::Png,  SaveFilter::Bmp, SaveFilter::Layered};
    if (filterIndex < 0 || filterIndex >= 6) filterIndex = 0;
    return ApplyFilterExtension(typed, kFilters[filterIndex]);
}

std::optional<std::string> RunSaveAsDialog(QWidget* parent, const QString& folder,
                                           const QString& name) {
    std::unique_ptr<QFileDialog> dialog(CreateSaveAsDialog(parent, folder, name));
    if (dialog->exec() != QDialog::Accepted || dialog->selectedFiles().isEmpty())
        return std::nullopt;
    const std::string typed = dialog->selectedFiles().first().toStdString();
    const int filter = int(SaveAsFilters().indexOf(dialog->selectedNameFilter()));
    const std::string result = SaveAsResult(typed, filter);
    if (!MayReplaceExtendedName(typed, result, kSaveAsTitle)) return std::nullopt;
    return result;
}

bool MayReplaceExtendedName(const std::string& typed, const std::string& extended,
                            const char* caption) {
    std::error_code ec;
    if (extended == typed || !std::filesystem::exists(extended, ec)) return true;
    const std::string question = std::filesystem::path(extended).filename().string() +
                                 " already exists.\nDo you want to replace it?";
    return AppMessages().Ask(question, Buttons::YesNo, caption) == Answer::Yes;
}

std::string LocalFileBytes(const QUrl& url) {
    if (!url.isLocalFile()) return {};
    if (!url.host().isEmpty() && url.host() != "localhost") return url.toLocalFile().toStdString();
    return QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1()).toStdString();
}

}  // namespace zelvo
