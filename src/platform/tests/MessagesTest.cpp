#include <gtest/gtest.h>

#include "platform/Feedback.h"
#include "platform/Messages.h"

namespace zelvo {

TEST(RecordingMessages, QuestionsTakeQueuedAnswersThenTheAffirmativeButton) {
    ScopedRecordingMessages m;
    m.QueueAnswer(Answer::No);
    m.QueueAnswer(Answer::Cancel);
    EXPECT_EQ(AppMessages().Ask("a", Buttons::YesNoCancel), Answer::No);
    EXPECT_EQ(AppMessages().Ask("b", Buttons::YesNoCancel), Answer::Cancel);
    EXPECT_EQ(AppMessages().Ask("c", Buttons::YesNo), Answer::Yes);
    EXPECT_EQ(AppMessages().Ask("d", Buttons::OkCancel), Answer::Ok);
    AppMessages().Show("e");
    ASSERT_EQ(m.Entries().size(), 5u);
    EXPECT_EQ(m.Entries()[0].kind, RecordingMessages::Kind::Question);
    EXPECT_EQ(m.Entries()[4].kind, RecordingMessages::Kind::Message);
    EXPECT_EQ(m.Last(), "e");
}

TEST(RecordingMessages, ScopesNestAndRestoreThePreviousService) {
    ScopedRecordingMessages outer;
    {
        ScopedRecordingMessages inner;
        AppMessages().Show("inner");
        EXPECT_TRUE(inner.Contains("inner"));
    }
    AppMessages().Show("outer");
    EXPECT_EQ(outer.Texts(), std::vector<std::string>{"outer"});
}

TEST(Format, FillsTemplatesLikePrintf) {
    EXPECT_EQ(Format("check error! =%d", 3), "check error! =3");
    EXPECT_EQ(Format("%s disk", std::string(300, 'x').c_str()).size(), 305u);
}

TEST(ProgressCounter, StepsHeldAtTotalAndEndResets) {
    ProgressCounter p;
    p.StepProgress();  // no run: nothing
    EXPECT_EQ(p.Done(), 0);
    p.BeginProgress(3);
    p.StepProgress();
    EXPECT_EQ(p.Percent(), 33);
    p.StepProgress();
    p.StepProgress();
    p.StepProgress();
    EXPECT_EQ(p.Done(), 3);
    EXPECT_EQ(p.Percent(), 100);
    p.EndProgress();
    EXPECT_EQ(p.Percent(), 0);
    EXPECT_EQ(p.Total(), 0);
}

}  // namespace zelvo
