#include <gtest/gtest.h>

#include "platform/Feedback.h"
#include "platform/Messages.h"
#include "testsupport/FeedbackTestSupport.h"

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

// A script's answer that names a button the box lacks takes the box's button of that sense.
TEST(RecordingMessages, QueuedAnswersFitTheBoxButtons) {
    struct Case {
        Answer queued;
        Buttons buttons;
        Answer given;
    };
    const Case cases[] = {
        {Answer::Yes, Buttons::OkCancel, Answer::Ok},
        {Answer::No, Buttons::OkCancel, Answer::Cancel},
        {Answer::Ok, Buttons::YesNo, Answer::Yes},
        {Answer::Cancel, Buttons::YesNo, Answer::No},
        {Answer::Ok, Buttons::YesNoCancel, Answer::Yes},
        {Answer::Cancel, Buttons::YesNoCancel, Answer::Cancel},
        {Answer::No, Buttons::YesNoCancel, Answer::No},
        {Answer::Cancel, Buttons::OkCancel, Answer::Cancel},
        {Answer::Cancel, Buttons::Ok, Answer::Ok},
    };
    for (const Case& c : cases) {
        ScopedRecordingMessages m;
        m.QueueAnswer(c.queued);
        EXPECT_EQ(AppMessages().Ask("q", c.buttons), c.given)
            << int(c.queued) << " to buttons " << int(c.buttons);
    }
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

TEST(ProgressRun, EndsOnEveryWayOutAndLeavesAHiddenRunAlone) {
    struct Case {
        bool shown;
        bool early;
        int begun, steps, ended;
    };
    for (const Case c : {Case{true, false, 1, 2, 1}, Case{true, true, 1, 1, 1},
                         Case{false, false, 0, 0, 0}, Case{false, true, 0, 0, 0}}) {
        test::CountingFeedback rec;
        {
            test::ScopedFeedback scoped(&rec);
            [&] {
                ProgressRun run(4, c.shown);
                run.Step();
                if (c.early) return;
                run.Step();
            }();
        }
        EXPECT_EQ(rec.begun, c.begun ? std::vector<int>{4} : std::vector<int>{})
            << c.shown << c.early;
        EXPECT_EQ(rec.steps, c.steps) << c.shown << c.early;
        EXPECT_EQ(rec.ended, c.ended) << c.shown << c.early;
    }
}

}  // namespace zelvo
