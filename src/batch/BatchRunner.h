// The script runner behind zelvo-batch: reads commands line by line, prints every message and
// question, answers questions from the queue and maps results to the exit status
// (0 done, 1 a command failed, 2 a script error).
#pragma once

#include <functional>
#include <iosfwd>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/Messages.h"

namespace zelvo {

class Workspace;

struct CommandResult {
    enum class Kind { Ok, Failed, ScriptError };
    Kind kind = Kind::Ok;
    std::string error;  // for script errors: what was wrong with the line

    static CommandResult Ok() { return {}; }
    // A failure whose message the engine has shown already; `why` adds a line of our own.
    static CommandResult Fail(std::string why = {}) { return {Kind::Failed, std::move(why)}; }
    static CommandResult Script(std::string what) { return {Kind::ScriptError, std::move(what)}; }
    // 1 -> Ok, 0 -> Failed: the engine's own success flags.
    static CommandResult From(bool ok) { return ok ? Ok() : Fail(); }
};

// What the commands of one run share. Later subsystems keep their per-run state here.
struct BatchSession {
    Workspace& workspace;
    RecordingMessages& messages;
    std::ostream& out;
    // Per-subsystem state added by command families (documents, ...), owned here.
    std::map<std::string, std::shared_ptr<void>> state;
    // Standard error, where status-bar texts go.
    std::ostream* err = nullptr;

    template <class T>
    T& State(const std::string& key) {
        auto& slot = state[key];
        if (!slot) slot = std::make_shared<T>();
        return *static_cast<T*>(slot.get());
    }
};

using CommandHandler =
    std::function<CommandResult(BatchSession&, const std::vector<std::string>& args)>;

// A family's subcommand check: one of these words.
std::function<bool(const std::string&)> OneOf(std::vector<std::string> words);

class BatchRunner {
public:
    enum ExitCode { kDone = 0, kCommandFailed = 1, kScriptError = 2 };

    BatchRunner(std::ostream& out, std::ostream& err);
    ~BatchRunner();

    // Registers a command by its first word; the handler gets the remaining words. A family
    // of subcommands names the second words it knows, so that a misspelled one is found before
    // anything runs, as an unknown first word is; its handler then sees only those words.
    void Register(const std::string& name, CommandHandler handler,
                  std::function<bool(const std::string&)> knowsSubcommand = nullptr);
    // The second words `name` knows; nullptr when it takes no subcommand.
    const std::function<bool(const std::string&)>* Subcommands(const std::string& name) const;

    // Runs a whole script. `tempDir` forces the scratch folder; else the chosen temporary disk.
    int Run(std::istream& script, const std::optional<std::string>& tempDir);

private:
    std::ostream& m_out;
    std::ostream& m_err;
    std::map<std::string, CommandHandler> m_commands;
    std::map<std::string, std::function<bool(const std::string&)>> m_subcommands;
};

// Every command family registers itself here (one function per family).
void RegisterCoreCommands(BatchRunner& runner);
void RegisterDocumentCommands(BatchRunner& runner);
void RegisterHistoryCommands(BatchRunner& runner);
void RegisterTextCurveCommands(BatchRunner& runner);
void RegisterSelectionCommands(BatchRunner& runner);
void RegisterLayerCommands(BatchRunner& runner);
void RegisterImageCommands(BatchRunner& runner);
void RegisterAdjustCommands(BatchRunner& runner);
void RegisterPrintCommands(BatchRunner& runner);
void RegisterRecoveryCommands(BatchRunner& runner);
void RegisterToolCommands(BatchRunner& runner);
void RegisterAllCommands(BatchRunner& runner);

}  // namespace zelvo
