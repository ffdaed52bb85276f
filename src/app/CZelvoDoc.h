// The document of one image window: the image object, and the dialogs around its saving and
// closing (Save As, the JPEG and TIFF options, the save question).
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "doc/Image.h"

class QWidget;

namespace zelvo {

class Workspace;

class CZelvoDoc {
public:
    explicit CZelvoDoc(Workspace& workspace);
    // A document whose image was made elsewhere (crash recovery).
    explicit CZelvoDoc(std::unique_ptr<Image> image);
    ~CZelvoDoc();
    CZelvoDoc(const CZelvoDoc&) = delete;
    CZelvoDoc& operator=(const CZelvoDoc&) = delete;

    Image& GetImage() { return *m_image; }
    const Image& GetImage() const { return *m_image; }

    bool OnNewDocument(const NewImageSize& size);
    // On success the file's folder becomes the application's last folder.
    bool OnOpenDocument(const std::string& path);
    // Save: Save As without a path, else to the path.
    bool DoSave(QWidget* parent);
    bool DoSaveAs(QWidget* parent);
    // Asks for the JPEG or TIFF options the format needs (Cancel ends the save), then saves.
    bool OnSaveDocument(const std::string& path, QWidget* parent);
    // The close of the window: "Whether the save the file?" when modified; false on Cancel or a
    // failed save. On true the image has been released.
    bool CloseWithQuestion(QWidget* parent);

    // Called when the title may have changed (after Save As).
    std::function<void()> onTitleChanged;

private:
    std::unique_ptr<Image> m_image;
};

}  // namespace zelvo
