#include <gtest/gtest.h>

#include "../ReaderRig.h"

#include <functional>

#include "collector/KeyCapture.h"
#include "link/ReaderLink.h"
#include "shell/Clock.h"
#include "shell/Prompt.h"
#include "shell/StatusWindow.h"
#include "sim/Collector.h"
#include "sim/Reader.h"
#include "sim/SimPort.h"

using namespace kordex;
using collector::DialogResult;
using collector::Focus;
using collector::GetIDKDLogic;
using collector::GetKeyLogic;
using collector::KeyCaptureLogic;

namespace {

const QString KeyA = "01000000FBD8B3E6";
const QString KeyB = "01000000001A2C37";

// Answers from a script and lets a test act while a question is open, as the
// operator would (take the collector out, look at the busy counter).
class OperatorPrompt : public shell::Prompt {
public:
    shell::Answer Ask(const QString& caption, const QString& text, shell::Icon icon,
                      shell::Buttons buttons) override {
        if (onAsk) onAsk();
        return script.Ask(caption, text, icon, buttons);
    }
    shell::ScriptedPrompt script;
    std::function<void()> onAsk;
};

// The key dialogs over the in-process simulator: a collector with ID KeyA in
// the reader unless a test takes it out, nothing on the key contact.
class KeyDialogs : public ::testing::Test, protected kordex::rig::ReaderRig<OperatorPrompt> {
protected:
    KeyDialogs() {
        collector.SetId(KeyA);
        link.SetPortDigit(1);
        prompt.onAsk = [this] { busyAtQuestion.push_back(link.ReaderBusy()); };
    }

    // Ticks of a dialog until it first polls the reader: the number of idle
    // ticks before that poll, or -1 when it does not poll within the limit.
    int IdleTicks(KeyCaptureLogic& dialog, int limit = 10) {
        for (int i = 0; i <= limit; ++i) {
            reader.ClearLog();
            dialog.TimerPollTimer(link, prompt);
            if (!reader.Exchanges().empty()) return i;
        }
        return -1;
    }
    int Completions() const { return reader.Count(link::CmdReadBlock, 0x2010); }
    QStringList Asked() const { return prompt.script.Texts(); }

    std::vector<int> busyAtQuestion;

    GetKeyLogic getKey;
    GetIDKDLogic getId;
};

}  // namespace

TEST(KeyField, ShowsEightPairsAndKeepsTheValueWithoutSpaces) {
    EXPECT_EQ(collector::KeyTextForMask(KeyA), "01 00 00 00 FB D8 B3 E6");
    EXPECT_EQ(collector::KeyTextForMask("010000"), "01 00 00");
    EXPECT_EQ(collector::KeyTextForMask("01000"), "01 00 0");
    EXPECT_EQ(collector::KeyTextFromMask("01 00 00 00 FB D8 B3 E6"), KeyA);
    EXPECT_EQ(collector::KeyTextFromMask("01 0_ __ __ __ __ __ __"), "010");

    GetKeyLogic dialog;
    dialog.SetKeyText("01 00 00 00 FB D8 B3 E6");
    EXPECT_EQ(dialog.KeyText(), KeyA);
    dialog.SetKeyText(KeyA + "77");
    EXPECT_EQ(dialog.KeyText(), KeyA);
}

TEST(KeyField, TakesCharactersUpToFInUpperCase) {
    GetKeyLogic dialog;
    const std::pair<QChar, QChar> cases[] = {
        {u'a', u'A'},    {u'f', u'F'},    {u'F', u'F'},    {u'0', u'0'},    {u'9', u'9'},
        {u'@', u'@'},    {u':', u':'},    {u'g', QChar()}, {u'G', QChar()}, {u'z', QChar()},
        {u'_', QChar()}, {u'ф', QChar()}, {u'а', QChar()},  // Cyrillic
    };
    for (const auto& [typed, taken] : cases)
        EXPECT_EQ(dialog.MaskEditKeyKeyPress(typed), taken) << QString(typed).toStdString();
}

TEST_F(KeyDialogs, ShowPollsOnlyWithThePortReadyAndCloseClosesIt) {
    for (KeyCaptureLogic* dialog :
         {static_cast<KeyCaptureLogic*>(&getKey), static_cast<KeyCaptureLogic*>(&getId)}) {
        link.SetPortDigit(0);
        dialog->FormShow(link);
        EXPECT_EQ(dialog->Page(), collector::PageError);
        EXPECT_EQ(dialog->FocusTarget(), Focus::MaskEditKey);
        EXPECT_FALSE(dialog->TimerOn());
        EXPECT_EQ(IdleTicks(*dialog, 6), -1);
        dialog->FormClose(link);

        link.SetPortDigit(1);
        dialog->FormShow(link);
        EXPECT_EQ(dialog->Page(), collector::PageAuto);
        EXPECT_EQ(dialog->FocusTarget(), Focus::EditComment);
        EXPECT_TRUE(dialog->TimerOn());
        EXPECT_TRUE(link.IsPortOpen());
        dialog->FormClose(link);
        EXPECT_FALSE(dialog->TimerOn());
        EXPECT_FALSE(link.IsPortOpen());
        EXPECT_EQ(IdleTicks(*dialog, 6), -1);
    }
    EXPECT_TRUE(Asked().empty());
}

// --- key dialog ---------------------------------------------------------------

TEST_F(KeyDialogs, CollectorLeftInTheReaderIsAskedOutAfterEveryOk) {
    reader.SetKeyContact(KeyB);
    prompt.onAsk = [this] {
        busyAtQuestion.push_back(link.ReaderBusy());
        if (busyAtQuestion.size() == 3) reader.SetCollectorPresent(false);  // taken out
    };
    getKey.FormShow(link);
    getKey.TimerPollTimer(link, prompt);

    EXPECT_EQ(Asked(), QStringList(3, collector::MsgRemoveCollector));
    const shell::Question& q = prompt.script.Asked().front();
    EXPECT_EQ(q.caption, "Сообщение");
    EXPECT_EQ(q.icon, shell::Icon::Information);
    EXPECT_EQ(q.buttons, shell::Buttons::OkCancel);
    EXPECT_EQ(busyAtQuestion, (std::vector<int>{1, 1, 1}));
    EXPECT_EQ(link.ReaderBusy(), 0);
    EXPECT_EQ(reader.Count(link::CmdReadBlock, 0x0000), 4);
    EXPECT_EQ(getKey.KeyText(), KeyB);
    EXPECT_EQ(getKey.Page(), collector::PageAuto);
}

TEST_F(KeyDialogs, CancelInTheQuestionGivesUpTheAutomaticEntry) {
    reader.SetKeyContact(KeyB);
    getKey.SetKeyText("010000");
    getKey.FormShow(link);
    prompt.script.Script({shell::Answer::Ok, shell::Answer::Cancel});
    getKey.TimerPollTimer(link, prompt);

    EXPECT_EQ(Asked().size(), 2);
    EXPECT_EQ(getKey.Page(), collector::PageCancel);
    EXPECT_FALSE(getKey.TimerOn());
    EXPECT_FALSE(link.IsPortOpen());
    EXPECT_EQ(link.ReaderBusy(), 0);
    EXPECT_EQ(reader.Count(link::CmdReadBlock, 0x2000), 0);
    EXPECT_EQ(getKey.KeyText(), "010000");
    EXPECT_EQ(IdleTicks(getKey, 6), -1);

    // The key can still be typed.
    getKey.SetKeyText(KeyA);
    getKey.SetComment("Пост 1");
    getKey.ButtonOKClick(link, prompt, false);
    EXPECT_EQ(getKey.Result(), DialogResult::Ok);
}

TEST_F(KeyDialogs, TakesTheKeyTouchingTheContact) {
    reader.SetCollectorPresent(false);
    getKey.SetKeyText("010000");
    getKey.FormShow(link);
    struct Step {
        const char* what;
        bool silent;
        QString contact;
        collector::InfoPage page;
        QString key;
        int completions;
    } steps[] = {
        {"reader silent", true, "", collector::PageError, "010000", 0},
        {"no key touching", false, "", collector::PageError, "010000", 0},
        {"a key touching", false, KeyA, collector::PageAuto, KeyA, 1},
        {"another key", false, KeyB, collector::PageAuto, KeyB, 2},
    };
    for (const auto& s : steps) {
        SCOPED_TRACE(s.what);
        reader.ClearFaults();
        if (s.silent) reader.Inject({sim::FaultKind::Silence, -1});
        reader.SetKeyContact(s.contact);
        getKey.TimerPollTimer(link, prompt);
        EXPECT_EQ(getKey.Page(), s.page);
        EXPECT_EQ(getKey.KeyText(), s.key);
        EXPECT_EQ(Completions(), s.completions);
    }
    EXPECT_TRUE(Asked().empty());
}

// --- both dialogs -------------------------------------------------------------

TEST_F(KeyDialogs, KeyPressesHoldPollingForFiveTicks) {
    reader.SetCollectorPresent(false);
    for (KeyCaptureLogic* dialog :
         {static_cast<KeyCaptureLogic*>(&getKey), static_cast<KeyCaptureLogic*>(&getId)}) {
        dialog->FormShow(link);
        EXPECT_EQ(IdleTicks(*dialog), 0);

        dialog->MaskEditKeyKeyPress(u'a');
        EXPECT_EQ(IdleTicks(*dialog, 2), -1);
        dialog->FormKeyPress();  // a press of the comment field or a button
        EXPECT_EQ(IdleTicks(*dialog), 5);
        dialog->FormClose(link);
    }
}

TEST_F(KeyDialogs, HoldOffRunsDownWhileBusyOnlyInTheIdDialog) {
    reader.SetCollectorPresent(false);
    const std::pair<KeyCaptureLogic*, int> cases[] = {{&getKey, 5}, {&getId, 0}};
    for (const auto& [dialog, idleAfterBusy] : cases) {
        dialog->FormShow(link);
        dialog->FormKeyPress();
        link.RaiseBusy();
        EXPECT_EQ(IdleTicks(*dialog, 4), -1);
        link.LowerBusy();
        EXPECT_EQ(IdleTicks(*dialog), idleAfterBusy);
        dialog->FormClose(link);
    }
}

TEST_F(KeyDialogs, OkNeedsAValidKeyAndAComment) {
    struct Case {
        QString key, comment, label;
        QString message;  // empty: none
        DialogResult result;
        Focus focus;
    } cases[] = {
        {KeyA, "Пост 1", "", "", DialogResult::Ok, Focus::EditComment},
        {KeyA, "", "", "Не задано комментарий !", DialogResult::None, Focus::EditComment},
        {KeyA, "", "Наименование", "Не задано наименование !", DialogResult::None,
         Focus::EditComment},
        {"01000000FBD8B3E7", "Пост 1", "", "Недопустимое значение ключа(ID) !", DialogResult::None,
         Focus::MaskEditKey},
        {"010000", "", "", "Неверная длина ключа(ID) !", DialogResult::None, Focus::MaskEditKey},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message.toStdString());
        prompt.script.Clear();
        busyAtQuestion.clear();
        GetKeyLogic dialog;
        dialog.SetKeyText(c.key);
        dialog.SetComment(c.comment);
        if (!c.label.isEmpty()) dialog.SetCommentLabel(c.label);
        // Shown without the port the dialog focuses the key field, with it the
        // comment: start where the expected focus is not.
        const bool portReady = c.result == DialogResult::Ok || c.focus == Focus::MaskEditKey;
        link.SetPortDigit(portReady ? 1 : 0);
        dialog.FormShow(link);
        ASSERT_TRUE(c.result == DialogResult::Ok || dialog.FocusTarget() != c.focus);

        dialog.ButtonOKClick(link, prompt, false);
        EXPECT_EQ(dialog.Result(), c.result);
        EXPECT_EQ(link.ReaderBusy(), 0);
        if (c.message.isEmpty()) {
            EXPECT_TRUE(Asked().empty());
            EXPECT_FALSE(dialog.TimerOn());
            EXPECT_FALSE(link.IsPortOpen());
            continue;
        }
        ASSERT_EQ(Asked(), QStringList{c.message});
        EXPECT_EQ(prompt.script.Asked()[0].caption, "Ошибка");
        EXPECT_EQ(prompt.script.Asked()[0].icon, shell::Icon::Error);
        EXPECT_EQ(busyAtQuestion, std::vector<int>{1});
        EXPECT_EQ(dialog.FocusTarget(), c.focus);
        EXPECT_EQ(dialog.TimerOn(), portReady);  // the dialog stays open
        dialog.FormClose(link);
    }
}

TEST_F(KeyDialogs, KeyOf00IsAcceptedOnlyForTheUsersPage) {
    struct Case {
        const char* what;
        KeyCaptureLogic* dialog;
        bool usersPage;
        DialogResult result;
    } cases[] = {
        {"key dialog, users page", &getKey, true, DialogResult::Ok},
        {"key dialog, points page", &getKey, false, DialogResult::None},
        {"collector-ID dialog, users page", &getId, true, DialogResult::None},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        prompt.script.Clear();
        c.dialog->SetKeyText("00 11 22 33 44 55 66 77");
        c.dialog->SetComment("Иванов");
        c.dialog->FormShow(link);
        c.dialog->ButtonOKClick(link, prompt, c.usersPage);
        EXPECT_EQ(c.dialog->Result(), c.result);
        EXPECT_EQ(Asked().isEmpty(), c.result == DialogResult::Ok);
        c.dialog->FormClose(link);
    }
}

TEST_F(KeyDialogs, CancelClosesWithCancel) {
    getKey.FormShow(link);
    getKey.ButtonCancelClick(link);
    EXPECT_EQ(getKey.Result(), DialogResult::Cancel);
    EXPECT_FALSE(getKey.TimerOn());
    EXPECT_FALSE(link.IsPortOpen());
}

// --- collector-ID dialog --------------------------------------------------------

TEST_F(KeyDialogs, IdDialogTakesEachCollectorOnceAndKeepsTheOperatorsEdit) {
    getId.FormShow(link);
    getId.TimerPollTimer(link, prompt);
    EXPECT_EQ(getId.KeyText(), KeyA);
    EXPECT_EQ(Completions(), 1);

    getId.SetKeyText("01 00 00 00 FB D8 B3 E7");  // the operator's edit
    for (int i = 0; i < 3; ++i)
        getId.TimerPollTimer(link, prompt);
    EXPECT_EQ(getId.KeyText(), "01000000FBD8B3E7");
    EXPECT_EQ(Completions(), 1);

    collector.SetId(KeyB);  // another collector
    getId.TimerPollTimer(link, prompt);
    EXPECT_EQ(getId.KeyText(), KeyB);
    EXPECT_EQ(Completions(), 2);

    // Shown again, the dialog takes the collector still in the reader.
    getId.FormClose(link);
    getId.SetKeyText("");
    getId.FormShow(link);
    getId.TimerPollTimer(link, prompt);
    EXPECT_EQ(getId.KeyText(), KeyB);
    EXPECT_TRUE(Asked().empty());
}

TEST_F(KeyDialogs, IdDialogPagesFollowTheReader) {
    getId.FormShow(link);
    struct Step {
        const char* what;
        bool silent, present;
        collector::InfoPage page;
    } steps[] = {
        {"reader silent", true, true, collector::PageError},
        {"no collector", false, false, collector::PageAuto},
        {"reader silent again", true, false, collector::PageError},
        {"collector put in", false, true, collector::PageAuto},
    };
    for (const auto& s : steps) {
        SCOPED_TRACE(s.what);
        reader.ClearFaults();
        if (s.silent) reader.Inject({sim::FaultKind::Silence, -1});
        reader.SetCollectorPresent(s.present);
        getId.TimerPollTimer(link, prompt);
        EXPECT_EQ(getId.Page(), s.page);
    }
    EXPECT_EQ(reader.Count(link::CmdReadBlock, 0x2000), 0);  // no key contact here
}
