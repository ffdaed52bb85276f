#include "batch/BatchRunner.h"

#include <algorithm>

#include <unistd.h>

#include <iostream>

#include "batch/Script.h"
#include "batch/ToolVerbs.h"
#include "files/SafeFile.h"
#include "platform/Feedback.h"
#include "recovery/RecoveryJournal.h"
#include "store/SpaceFailures.h"
#include "workspace/Workspace.h"

namespace zelvo {

namespace {

// Draws the progress bar on standard error when it is a terminal; quiet otherwise.
class TerminalFeedback : public ProgressCounter {
protected:
    void ShowPercent(int percent) override {
        if (!isatty(STDERR_FILENO)) return;
        if (Total() == 0 && percent == 0) {
            std::cerr << "\r\033[K" << std::flush;
            return;
        }
        int filled = percent / 5;
        std::cerr << "\r[" << std::string(size_t(filled), '#')
                  << std::string(size_t(20 - filled), ' ') << "] " << percent << "%" << std::flush;
    }
};

// Installs a service for the run and puts the previous one back afterwards.
template <class T, void (*Set)(T*), T& (*Get)()>
class Installed {
public:
    explicit Installed(T* service) : m_previous(&Get()) { Set(service); }
    ~Installed() { Set(m_previous); }

private:
    T* m_previous;
};

}  // namespace

BatchRunner::BatchRunner(std::ostream& out, std::ostream& err) : m_out(out), m_err(err) {}
BatchRunner::~BatchRunner() = default;

std::function<bool(const std::string&)> OneOf(std::vector<std::string> words) {
    return [words = std::move(words)](const std::string& w) {
        return std::find(words.begin(), words.end(), w) != words.end();
    };
}

void BatchRunner::Register(const std::string& name, CommandHandler handler,
                           std::function<bool(const std::string&)> knowsSubcommand) {
    m_commands[name] = std::move(handler);
    if (knowsSubcommand)
        m_subcommands[name] = std::move(knowsSubcommand);
    else
        m_subcommands.erase(name);
}

const std::function<bool(const std::string&)>* BatchRunner::Subcommands(
    const std::string& name) const {
    const auto it = m_subcommands.find(name);
    return it == m_subcommands.end() ? nullptr : &it->second;
}

int BatchRunner::Run(std::istream& script, const std::optional<std::string>& tempDir) {
    RecordingMessages messages;
    messages.onEntry = [this](const RecordingMessages::Entry& e) {
        m_err << (e.kind == RecordingMessages::Kind::Message ? "message: " : "question: ")
              << EscapeForOutput(e.text) << "\n";
        m_err.flush();
    };
    TerminalFeedback feedback;
    Installed<Messages, SetAppMessages, AppMessages> installMessages(&messages);
    Installed<Feedback, SetAppFeedback, AppFeedback> installFeedback(&feedback);

    // Read the whole script first, so that a script error anywhere is found before the
    // workspace is set up and before any file is touched.
    std::vector<ScriptLine> lines;
    std::string text;
    for (int number = 1; std::getline(script, text); ++number) {
        // A comment is not lexed: its quotes need not pair.
        const size_t first = text.find_first_not_of(" \t\r");
        if (first == std::string::npos || text[first] == '#') continue;
        LexResult lexed = LexLine(text);
        if (!lexed.error.empty()) {
            m_err << "line " << number << ": " << lexed.error << "\n";
            return kScriptError;
        }
        if (lexed.words.empty()) continue;
        if (!m_commands.count(lexed.words[0])) {
            m_err << "line " << number << ": unknown command '" << lexed.words[0] << "'\n";
            return kScriptError;
        }
        if (const auto* knows = Subcommands(lexed.words[0]);
            knows && lexed.words.size() > 1 && !(*knows)(lexed.words[1])) {
            m_err << "line " << number << ": unknown " << lexed.words[0] << " command '"
                  << lexed.words[1] << "'\n";
            return kScriptError;
        }
        lines.push_back({number, std::move(lexed.words)});
    }

    // A file an in-place save was killed over gets its old bytes back before anything opens it.
    RestoreInterruptedSaves();
    Workspace workspace;
    if (!workspace.Setup(tempDir)) return kCommandFailed;
    // Every document of the run is journaled, so a killed run can be recovered by the next.
    RecoveryJournal journal(workspace);
    // Once per command: a command that records many states (a curve of many anchors) would
    // otherwise rewrite the journal, every anchor in it, for each.
    journal.WriteAtRefresh(true);

    BatchSession session{workspace, messages, m_out, {}, &m_err};
    int status = kDone;
    for (const ScriptLine& line : lines) {
        std::vector<std::string> args(line.words.begin() + 1, line.words.end());
        const std::string& verb = line.words[0];
        if (verb != "key" && verb != "keydown" && verb != "keyup") RecordHeldNudge(session);
        const uint64_t spaceFailures = ScratchSpaceFailures();
        CommandResult r = m_commands[verb](session, args);
        // A command that could not get scratch space failed, whatever it returned: the store
        // has shown the disk message and the command has put back what it changed.
        if (r.kind == CommandResult::Kind::Ok && ScratchSpaceFailures() != spaceFailures)
            r = CommandResult::Fail();
        journal.Refresh();
        if (r.kind == CommandResult::Kind::ScriptError) {
            m_err << "line " << line.number << ": " << r.error << "\n";
            status = kScriptError;
            break;
        }
        if (r.kind == CommandResult::Kind::Failed) {
            if (!r.error.empty()) m_err << "line " << line.number << ": " << r.error << "\n";
            status = kCommandFailed;
            break;
        }
    }
    m_out.flush();
    // The tools let go of their views first; documents and their blocks go before the
    // workspace and its store.
    session.state.erase("tools");
    session.state.clear();
    return status;
}

}  // namespace zelvo
