#include "platform/Messages.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>

namespace zelvo {

void RecordingMessages::Show(const std::string& text) {
    m_entries.push_back({Kind::Message, text});
    if (onEntry) onEntry(m_entries.back());
}

namespace {

// A queued answer the box does not offer stands for its button of the same sense (Yes for OK,
// No for Cancel): a script's "yes" to an OK/Cancel question must not quietly cancel.
Answer FitAnswer(Answer a, Buttons buttons) {
    const bool affirmative = a == Answer::Ok || a == Answer::Yes;
    switch (buttons) {
        case Buttons::Ok:
            return Answer::Ok;
        case Buttons::OkCancel:
            return affirmative ? Answer::Ok : Answer::Cancel;
        case Buttons::YesNo:
            return affirmative ? Answer::Yes : Answer::No;
        case Buttons::YesNoCancel:
            return a == Answer::Ok ? Answer::Yes : a;
    }
    return a;
}

}  // namespace

Answer RecordingMessages::Ask(const std::string& text, Buttons buttons, const std::string&) {
    m_entries.push_back({Kind::Question, text});
    if (onEntry) onEntry(m_entries.back());
    if (!m_answers.empty()) {
        const Answer a = m_answers.front();
        m_answers.pop_front();
        return FitAnswer(a, buttons);
    }
    return (buttons == Buttons::Ok || buttons == Buttons::OkCancel) ? Answer::Ok : Answer::Yes;
}

std::vector<std::string> RecordingMessages::Texts() const {
    std::vector<std::string> out;
    for (const auto& e : m_entries) out.push_back(e.text);
    return out;
}

bool RecordingMessages::Contains(const std::string& text) const {
    return std::any_of(m_entries.begin(), m_entries.end(),
                       [&](const Entry& e) { return e.text == text; });
}

namespace {
RecordingMessages g_fallback;
Messages* g_current = nullptr;
}  // namespace

Messages& AppMessages() {
    return g_current ? *g_current : g_fallback;
}
void SetAppMessages(Messages* m) {
    g_current = m;
}

ScopedRecordingMessages::ScopedRecordingMessages() : m_previous(g_current) {
    g_current = this;
}
ScopedRecordingMessages::~ScopedRecordingMessages() {
    g_current = m_previous;
}

std::string Format(const char* fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    va_list ap2;
    va_copy(ap2, ap);
    int n = std::vsnprintf(nullptr, 0, fmt, ap);
    va_end(ap);
    std::string out(n > 0 ? size_t(n) : 0, '\0');
    if (n > 0) std::vsnprintf(out.data(), out.size() + 1, fmt, ap2);
    va_end(ap2);
    return out;
}

}  // namespace zelvo
