#include "app/CZelvoDoc.h"

#include <QApplication>
#include <QWidget>

#include "app/CChildFrame.h"
#include "app/CJpegOptionsDialog.h"
#include "app/CMainFrame.h"
#include "app/CTiffOptionsDialog.h"
#include "app/CZelvoApp.h"
#include "app/FileDialogs.h"
#include "platform/Messages.h"

namespace zelvo {

CZelvoDoc::CZelvoDoc(Workspace& workspace) : m_image(std::make_unique<Image>(workspace)) {}

CZelvoDoc::CZelvoDoc(std::unique_ptr<Image> image) : m_image(std::move(image)) {}

CZelvoDoc::~CZelvoDoc() = default;

bool CZelvoDoc::OnNewDocument(const NewImageSize& size) {
    return m_image->NewImage(size);
}

bool CZelvoDoc::OnOpenDocument(const std::string& path) {
    if (!m_image->Open(path)) return false;
    if (CZelvoApp* app = CZelvoApp::Instance()) app->SetLastFolderFrom(path);
    return true;
}

bool CZelvoDoc::DoSave(QWidget* parent) {
    if (m_image->Path().empty()) return DoSaveAs(parent);
    return OnSaveDocument(m_image->Path(), parent);
}

bool CZelvoDoc::DoSaveAs(QWidget* parent) {
    const std::string proposed = ProposeSaveName(m_image->Path(), m_image->UntitledNumber());
    CZelvoApp* app = CZelvoApp::Instance();
    const QString folder = app ? QString::fromStdString(app->LastFolder()) : QString();
    auto name = RunSaveAsDialog(parent, folder, QString::fromStdString(proposed));
    if (!name) return false;
    if (CMainFrame* frame = app ? app->MainFrame() : nullptr) {
        CChildFrame* holder = frame->FindDocument(*name);
        if (holder && &holder->GetImage() != m_image.get()) {
            AppMessages().Show(OpenElsewhereMessage(*name));
            return false;
        }
    }
    if (!OnSaveDocument(*name, parent)) return false;
    if (app) app->NoteRecentFile(*name);
    if (onTitleChanged) onTitleChanged();
    return true;
}

bool CZelvoDoc::OnSaveDocument(const std::string& path, QWidget* parent) {
    if (path.empty()) return DoSaveAs(parent);
    if (!Image::CheckSavePath(path)) return false;
    SaveOptionDialogs dialogs;
    dialogs.jpeg = [parent](SaveOptions& options) {
        CJpegOptionsDialog dialog(parent);
        if (dialog.exec() != QDialog::Accepted) return false;
        options.jpegQuality = dialog.Quality();
        return true;
    };
    dialogs.tiff = [parent](SaveOptions& options) {
        CTiffOptionsDialog dialog(parent);
        if (dialog.exec() != QDialog::Accepted) return false;
        options.tiffCompression = dialog.Compression();
        options.tiffQuality = dialog.Quality();
        return true;
    };
    const std::optional<SaveOptions> options = ChooseSaveOptions(path, dialogs);
    if (!options || !m_image->Save(path, *options)) return false;
    if (CZelvoApp* app = CZelvoApp::Instance()) app->SetLastFolderFrom(path);
    if (onTitleChanged) onTitleChanged();
    return true;
}

bool CZelvoDoc::CloseWithQuestion(QWidget* parent) {
    // Text typed and not yet committed is a change the question must cover.
    m_image->EndToolInteraction();
    if (m_image->IsModified()) {
        QApplication::beep();
        const Answer a =
            AppMessages().Ask("Whether the save the file?", Buttons::YesNoCancel, "Close File");
        if (a == Answer::Cancel) return false;
        if (a == Answer::Yes && !DoSave(parent)) return false;
    }
    m_image->Release();
    return true;
}

}  // namespace zelvo
