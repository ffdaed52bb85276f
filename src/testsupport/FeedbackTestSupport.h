// The progress service replaced for a scope by one that counts its calls.
#pragma once

#include <vector>

#include "platform/Feedback.h"

namespace zelvo::test {

// Counts the progress calls.
struct CountingFeedback : Feedback {
    std::vector<int> begun;
    int steps = 0;
    int ended = 0;
    void BeginProgress(int total) override { begun.push_back(total); }
    void StepProgress() override { ++steps; }
    void EndProgress() override { ++ended; }
};

class ScopedFeedback {
public:
    explicit ScopedFeedback(Feedback* f) : m_previous(&AppFeedback()) { SetAppFeedback(f); }
    ~ScopedFeedback() { SetAppFeedback(m_previous); }

private:
    Feedback* m_previous;
};

}  // namespace zelvo::test
