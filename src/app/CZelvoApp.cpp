#include "app/CZelvoApp.h"

#include <algorithm>
#include <clocale>
#include <filesystem>

#include <QCommandLineParser>
#include <QIcon>
#include <QSettings>

#include "app/CChildFrame.h"
#include "app/CMainFrame.h"
#include "app/StartupRules.h"
#include "core/RowBands.h"
#include "files/SafeFile.h"
#include "platform/Disk.h"

namespace zelvo {

namespace {
QString SettingsPath() {
    return QString::fromStdString(ConfigPath("zelvo.ini"));
}
}  // namespace

CZelvoApp::CZelvoApp(int& argc, char** argv) : QApplication(argc, argv) {
    // Qt takes the user's locale for the C library too; numbers typed into the tools' fields,
    // written into files and shown in messages keep the point whatever the language.
    setlocale(LC_NUMERIC, "C");
    setApplicationName("Zelvo");
    setApplicationVersion(ZELVO_VERSION);
    setOrganizationName("Zelvo");
    // Every window, the image windows' title bars included, shows the program's picture.
    setWindowIcon(QIcon(":/icons/zelvo.svg"));
}

CZelvoApp::~CZelvoApp() {
    ExitInstance();
    if (m_installedMessages) SetAppMessages(nullptr);
}

CZelvoApp* CZelvoApp::Instance() {
    return qobject_cast<CZelvoApp*>(QCoreApplication::instance());
}

namespace {

constexpr const char* kDescription = "Zelvo, a raster photo editor with layers.";
constexpr const char* kFileHelp = "An image to open.";

// The options, for the parser and for the usage printed without one.
struct OptionText {
    const char* name;
    const char* value;  // empty for a flag
    const char* help;
};
constexpr OptionText kOptions[] = {
    {"no-splash", "", "Start without the start-up dialog and its wait."},
    {"temp-dir", "DIR", "Keep the scratch file in DIR."},
    {"screenshot", "OUT", "Write a PNG of the screen to OUT and quit."},
};

}  // namespace

std::optional<std::string> CZelvoApp::HelpRequested(int argc, const char* const* argv) {
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i] ? argv[i] : "";
        if (a == "--") break;
        if (a != "-h" && a != "--help") continue;
        const auto line = [](std::string left, const std::string& help) {
            left.resize(std::max<size_t>(left.size() + 2, 22), ' ');
            return left + help + "\n";
        };
        std::string text = std::string("Usage: zelvo [options] [file]\n") + kDescription +
                           "\n\nOptions:\n" + line("  -h, --help", "Show this help.");
        for (const OptionText& o : kOptions)
            text += line(
                std::string("  --") + o.name + (*o.value ? std::string(" <") + o.value + ">" : ""),
                o.help);
        return text + "\nArguments:\n" + line("  file", kFileHelp);
    }
    return std::nullopt;
}

std::optional<CZelvoApp::StartOptions> CZelvoApp::ParseCommandLine(const QStringList& args,
                                                                   QString* error) {
    QCommandLineParser parser;
    parser.setApplicationDescription(kDescription);
    parser.addHelpOption();
    for (const OptionText& o : kOptions)
        parser.addOption(QCommandLineOption(o.name, o.help, o.value));
    parser.addPositionalArgument("file", kFileHelp, "[file]");
    if (!parser.parse(args)) {
        if (error) *error = parser.errorText();
        return std::nullopt;
    }
    if (parser.positionalArguments().size() > 1) {
        if (error) *error = "Only one file can be named.";
        return std::nullopt;
    }
    StartOptions o;
    o.splash = !parser.isSet("no-splash");
    if (parser.isSet("temp-dir")) o.tempFolder = parser.value("temp-dir").toStdString();
    if (parser.isSet("screenshot")) o.screenshot = parser.value("screenshot");
    if (!parser.positionalArguments().isEmpty())
        o.file = parser.positionalArguments().first().toStdString();
    return o;
}

void CZelvoApp::KeepFileBytes(StartOptions& options, int argc, const char* const* argv) {
    if (options.file.find("\xEF\xBF\xBD") == std::string::npos) return;
    // The last such argument: the file comes after the options.
    for (int i = argc - 1; i >= 1; --i) {
        if (argv[i] && QString::fromLocal8Bit(argv[i]).toStdString() == options.file) {
            options.file = argv[i];
            return;
        }
    }
}

bool CZelvoApp::InitInstance(const StartOptions& options) {
    // 1. Settings: the recent-file list of four.
    if (options.useMessageBoxes) {
        SetAppMessages(&m_messages);
        m_installedMessages = true;
    }
    LoadRecentFiles();
    LoadThreadSetting();
    m_firstNewRequest = true;
    // 3. The main frame.
    m_frame = std::make_unique<CMainFrame>(*this);
    m_messages.SetParentWidget(m_frame.get());
    CMainFrame::Options frameOptions;
    frameOptions.splash = options.splash;
    frameOptions.tempFolder = options.tempFolder;
    if (!m_frame->Create(frameOptions)) {
        m_messages.SetParentWidget(nullptr);
        m_frame.reset();
        return false;
    }
    // 4. Dropped files.
    m_frame->setAcceptDrops(true);
    // 6. Shown maximised (before the shell command, so that windows find their room).
    m_frame->ShowMaximised();
    // 7. The palettes are shown for the first time, where the user left them last; before the
    // file opens, so that its window takes the room they leave.
    m_frame->ShowPalettesAtStart();
    m_frame->ResetNewWindowSlot();
    // A file an in-place save was killed over gets its old bytes back before anything opens it.
    RestoreInterruptedSaves();
    // 5. The shell command: the file named on the command line, else File New, which the first
    // time is the framework's own request and is refused, so the program starts empty. With a
    // file there is no such request, and the user's first File New must not be taken for it.
    if (!options.file.empty() && !OpenDocumentFile(options.file)) {
        m_frame->ShutDown();
        m_messages.SetParentWidget(nullptr);
        m_frame.reset();
        return false;
    }
    TakeNewDocumentRequest();
    m_frame->UpdateCommandUI();
    // Work a dead copy of the program left behind is offered once the frame stands.
    m_frame->OfferRecovery();
    return true;
}

void CZelvoApp::ExitInstance() {
    if (!m_frame) return;
    m_frame->ShutDown();
    m_messages.SetParentWidget(nullptr);
    m_frame.reset();
}

bool CZelvoApp::TakeNewDocumentRequest() {
    if (m_firstNewRequest) {
        m_firstNewRequest = false;
        return false;
    }
    return true;
}

CChildFrame* CZelvoApp::OpenDocumentFile(const QString& path) {
    return OpenDocumentFile(path.toStdString());
}

CChildFrame* CZelvoApp::OpenDocumentFile(const std::string& path) {
    if (!m_frame) return nullptr;
    std::error_code ec;
    std::string absolute = std::filesystem::absolute(path, ec).lexically_normal().string();
    if (ec) absolute = path;
    CChildFrame* child = m_frame->FindDocument(absolute);
    if (child)
        m_frame->ActivateChild(child);
    else
        child = m_frame->OpenDocument(absolute);
    if (child) NoteRecentFile(absolute);
    return child;
}

void CZelvoApp::NoteRecentFile(const std::string& path) {
    std::error_code ec;
    std::string absolute = std::filesystem::absolute(path, ec).lexically_normal().string();
    if (ec) absolute = path;
    // A name that is not UTF-8 cannot be kept in the list as text.
    const QString listed = QString::fromStdString(absolute);
    if (listed.toStdString() == absolute) AddRecentFile(listed);
}

void CZelvoApp::SetLastFolderFrom(const std::string& path) {
    if (auto folder = LastFolderFor(path)) m_lastFolder = *folder;
}

void CZelvoApp::OpenRecentFile(int index) {
    if (index < 0 || index >= m_recent.size()) return;
    const QString path = m_recent[index];
    if (OpenDocumentFile(path)) return;
    m_recent.removeAll(path);
    SaveRecentFiles();
    if (m_frame) m_frame->UpdateRecentFiles();
}

void CZelvoApp::AddRecentFile(const QString& path) {
    m_recent.removeAll(path);
    m_recent.prepend(path);
    while (m_recent.size() > kRecentFileCount) m_recent.removeLast();
    SaveRecentFiles();
    if (m_frame) m_frame->UpdateRecentFiles();
}

void CZelvoApp::LoadThreadSetting() {
    // A cap only: a missing or malformed value leaves every core to the pixel passes.
    QSettings settings(SettingsPath(), QSettings::IniFormat);
    const std::string text = settings.value("Performance/Threads").toString().toStdString();
    const int32_t n = ParseThreadCount(text.c_str());
    SetPassThreadLimit(n > 0 ? std::min(n, MachineCores()) : 0);
}

void CZelvoApp::LoadRecentFiles() {
    QSettings settings(SettingsPath(), QSettings::IniFormat);
    m_recent.clear();
    for (int i = 1; i <= kRecentFileCount; ++i) {
        const QString f = settings.value(QString("Recent File List/File%1").arg(i)).toString();
        if (!f.isEmpty()) m_recent.append(f);
    }
}

void CZelvoApp::SaveRecentFiles() const {
    QSettings settings(SettingsPath(), QSettings::IniFormat);
    for (int i = 1; i <= kRecentFileCount; ++i) {
        const QString key = QString("Recent File List/File%1").arg(i);
        if (i <= m_recent.size())
            settings.setValue(key, m_recent[i - 1]);
        else
            settings.remove(key);
    }
}

}  // namespace zelvo
