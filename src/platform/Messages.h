// The user-facing message service: every text shown to the user goes through here, so the GUI
// can show a dialog while tests and zelvo-batch record, print and answer from a queue.
#pragma once

#include <deque>
#include <functional>
#include <string>
#include <vector>

namespace zelvo {

enum class Buttons { Ok, OkCancel, YesNo, YesNoCancel };
enum class Answer { Ok, Cancel, Yes, No };

class Messages {
public:
    virtual ~Messages() = default;
    virtual void Show(const std::string& text) = 0;
    // `caption` is the box's title where the program gives one; it is not part of the question.
    virtual Answer Ask(const std::string& text, Buttons buttons,
                       const std::string& caption = {}) = 0;
};

// Records every message and question; questions take queued answers, else the affirmative
// button (Yes or OK).
class RecordingMessages : public Messages {
public:
    enum class Kind { Message, Question };
    struct Entry {
        Kind kind;
        std::string text;
    };

    void Show(const std::string& text) override;
    Answer Ask(const std::string& text, Buttons buttons, const std::string& caption = {}) override;

    void QueueAnswer(Answer a) { m_answers.push_back(a); }
    const std::vector<Entry>& Entries() const { return m_entries; }
    std::vector<std::string> Texts() const;
    // The last message or question shown, empty when none.
    std::string Last() const { return m_entries.empty() ? std::string() : m_entries.back().text; }
    bool Contains(const std::string& text) const;
    void Clear() { m_entries.clear(); }
    size_t PendingAnswers() const { return m_answers.size(); }

    // Called for every entry as it happens (zelvo-batch prints them).
    std::function<void(const Entry&)> onEntry;

private:
    std::vector<Entry> m_entries;
    std::deque<Answer> m_answers;
};

// The process-wide service. Until one is installed, a RecordingMessages stands in.
Messages& AppMessages();
void SetAppMessages(Messages* m);

// Installs a RecordingMessages for the lifetime of the object (tests).
class ScopedRecordingMessages : public RecordingMessages {
public:
    ScopedRecordingMessages();
    ~ScopedRecordingMessages() override;
    ScopedRecordingMessages(const ScopedRecordingMessages&) = delete;
    ScopedRecordingMessages& operator=(const ScopedRecordingMessages&) = delete;

private:
    Messages* m_previous;
};

// printf-style formatting of the program's message templates.
std::string Format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

}  // namespace zelvo
