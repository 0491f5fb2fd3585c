#include <gtest/gtest.h>

#include "shell/Clock.h"
#include "shell/Prompt.h"
#include "shell/StatusWindow.h"

using namespace kordex::shell;

TEST(ScriptedPrompt, AnswersFromScriptThenByPolicyAndRecordsEverything) {
    ScriptedPrompt p(DefaultAnswer::Negative);
    p.Script({Answer::Yes});
    EXPECT_EQ(p.Ask("c1", "q1", Icon::Question, Buttons::YesNo), Answer::Yes);
    EXPECT_EQ(p.Ask("c2", "q2", Icon::Question, Buttons::YesNo), Answer::No);
    EXPECT_EQ(p.Ask("c3", "q3", Icon::Information, Buttons::OkCancel), Answer::Cancel);
    EXPECT_EQ(p.Ask("c4", "q4", Icon::Error, Buttons::Ok), Answer::Ok);
    ASSERT_EQ(p.Asked().size(), 4u);
    EXPECT_EQ(p.Asked()[2].caption, "c3");
    EXPECT_EQ(p.Asked()[2].icon, Icon::Information);
    EXPECT_EQ(p.Texts(), QStringList({"q1", "q2", "q3", "q4"}));
}

TEST(DefaultFor, EveryButtonSetUnderBothPolicies) {
    struct Case {
        Buttons b;
        Answer yes, no;
    } cases[] = {
        {Buttons::Ok, Answer::Ok, Answer::Ok},
        {Buttons::OkCancel, Answer::Ok, Answer::Cancel},
        {Buttons::YesNo, Answer::Yes, Answer::No},
        {Buttons::YesNoCancel, Answer::Yes, Answer::Cancel},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(DefaultFor(c.b, DefaultAnswer::Affirmative), c.yes);
        EXPECT_EQ(DefaultFor(c.b, DefaultAnswer::Negative), c.no);
    }
}

TEST(ScriptedStatusWindow, ClosesAtChosenPumpOrPositionAndClosingTwiceDoesNothing) {
    ScriptedStatusWindow w;
    w.Show("Чтение из устройства", "Идет чтение данных из Kordex'а...", 1010);
    EXPECT_TRUE(w.IsShowing());
    EXPECT_EQ(w.Maximum(), 1010);
    w.CloseAtPump(3);
    w.Pump();
    w.Pump();
    EXPECT_TRUE(w.IsShowing());
    w.Pump();
    EXPECT_FALSE(w.IsShowing());
    w.Close();
    EXPECT_EQ(w.Closes(), 1);

    w.Show("x", "y", 10);
    EXPECT_EQ(w.Position(), 0);
    w.CloseAtPosition(5);
    w.Step(4);
    EXPECT_TRUE(w.IsShowing());
    w.Step();
    EXPECT_FALSE(w.IsShowing());
}

TEST(FakeClock, AdvancesTickAndDateTimeTogetherAndWraps) {
    FakeClock c(0xFFFFFFF0u, QDateTime(QDate(2026, 1, 1), QTime(0, 0)));
    const uint32_t t0 = c.TickMs();
    c.Sleep(0x20);
    EXPECT_EQ(c.TickMs() - t0, 0x20u);  // unsigned difference survives the wrap
    EXPECT_EQ(c.Now(), QDateTime(QDate(2026, 1, 1), QTime(0, 0, 0, 32)));
    c.SetStepPerRead(5);
    const uint32_t a = c.TickMs();
    EXPECT_EQ(c.TickMs() - a, 5u);
}
