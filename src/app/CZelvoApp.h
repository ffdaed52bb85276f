// The application object: the start-up in its order, the file named on the command line or
// dropped on the main window, the four recent files, the folder the file dialogs start in and
// the slot of the next image window.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include <QApplication>
#include <QStringList>

#include "app/QtMessages.h"
#include "app/WindowLayout.h"

namespace zelvo {

class CChildFrame;
class CMainFrame;

class CZelvoApp : public QApplication {
    Q_OBJECT
public:
    static constexpr int kRecentFileCount = 4;

    struct StartOptions {
        bool splash = true;                     // --no-splash skips the start-up dialog
        std::optional<std::string> tempFolder;  // --temp-dir DIR instead of the chosen disk
        std::string file;                       // a file named on the command line, as bytes
        QString screenshot;                     // --screenshot OUT.png (see main.cpp)
        bool useMessageBoxes = true;            // false: keep the installed message service
    };
    // nullopt with `error` set when the arguments are not understood.
    static std::optional<StartOptions> ParseCommandLine(const QStringList& args, QString* error);
    // When the command line asks for help (-h, --help): the usage text, which needs no display.
    static std::optional<std::string> HelpRequested(int argc, const char* const* argv);
    // Qt reads the command line as UTF-8, putting U+FFFD for bytes that are not, so a file
    // named in another encoding (an old Latin-1 "caf\xE9.jpg") could not be found: the
    // argument that reads as the same text gives the name its own bytes back.
    static void KeepFileBytes(StartOptions& options, int argc, const char* const* argv);

    CZelvoApp(int& argc, char** argv);
    ~CZelvoApp() override;
    // The running application object, nullptr when the process has another one.
    static CZelvoApp* Instance();

    // Start-up; false when the program should end.
    bool InitInstance(const StartOptions& options);
    // Destroys the main frame once it has closed (or at once, for tests).
    void ExitInstance();
    CMainFrame* MainFrame() const { return m_frame.get(); }

    // File New asked by the framework at start-up is refused; true when this request may go on.
    bool TakeNewDocumentRequest();
    // Opens a file into a new window in the current slot and advances the slot; nullptr when
    // it could not be opened (the user has been told). A file already open in a window brings
    // that window forward instead: two windows on one file would overwrite each other's saves.
    CChildFrame* OpenDocumentFile(const QString& path);
    CChildFrame* OpenDocumentFile(const std::string& path);

    const std::string& LastFolder() const { return m_lastFolder; }
    void SetLastFolderFrom(const std::string& path);
    WindowSlots& Slots() { return m_slots; }

    QStringList RecentFiles() const { return m_recent; }
    void AddRecentFile(const QString& path);
    // The file a document was opened from or saved to becomes the first recent file.
    void NoteRecentFile(const std::string& path);
    // The File menu's recent file `index`: opened as a file named on the command line; one
    // that cannot be opened (moved, deleted) leaves the list after its message.
    void OpenRecentFile(int index);

    QtMessages& MessageBoxes() { return m_messages; }

private:
    void LoadRecentFiles();
    // The [Performance] Threads cap of the pixel passes.
    void LoadThreadSetting();
    void SaveRecentFiles() const;

    std::unique_ptr<CMainFrame> m_frame;
    QtMessages m_messages;
    bool m_installedMessages = false;
    bool m_firstNewRequest = true;
    std::string m_lastFolder;
    WindowSlots m_slots;
    QStringList m_recent;
};

}  // namespace zelvo
