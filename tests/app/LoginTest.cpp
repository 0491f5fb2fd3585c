#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <functional>
#include <memory>
#include <set>

#include "../ReaderRig.h"
#include "../store/ModuleFixture.h"
#include "app/login/PasswordDialog.h"
#include "app/login/Rights.h"
#include "app/settings/SettingsStore.h"
#include "link/KeyId.h"
#include "store/Rules.h"

using namespace kordex;
using namespace kordex::app;
using namespace kordex::widgets;
using namespace kordex::store;
using namespace kordex::store::testing;

namespace {

const QString KeyA = link::TouchKeyText(101);  // Андреев, registrar, administrator
const QString KeyB = link::TouchKeyText(102);  // Борисов, registrar, empty password
const QString KeyG = link::TouchKeyText(103);  // Гусев, guard
const QString KeyUnknown = link::TouchKeyText(999);

// A scripted prompt that also runs a hook whenever a box comes up.
class HookPrompt : public shell::ScriptedPrompt {
public:
    shell::Answer Ask(const QString& caption, const QString& text, shell::Icon icon,
                      shell::Buttons buttons) override {
        if (onAsk) onAsk();
        return ScriptedPrompt::Ask(caption, text, icon, buttons);
    }
    std::function<void()> onAsk;
};

// The operator's choice in the name list.
void Choose(QComboBox& combo, const QString& name) {
    const int i = combo.findText(name);
    ASSERT_GE(i, 0) << name.toStdString();
    combo.setCurrentIndex(i);
    emit combo.activated(i);
}

// The data module with its rules and the password dialog over the simulated
// reader (COM1, no collector in it, nothing on the key contact).
class LoginTest : public ModuleTest {
protected:
    void SetUp() override {
        ModuleTest::SetUp();
        rules = std::make_unique<Rules>(*dm);
        rig.reader.SetCollectorPresent(false);
        rig.link.SetPortDigit(1);
    }

    void AddGuard() {
        Add(dm->TableUsers(), {{"Key", KeyG}, {"Name", "Гусев"}, {"IsRegister", false}});
    }
    // The first registrar stored becomes the administrator.
    void AddStaff() {
        Add(dm->TableUsers(),
            {{"Key", KeyA}, {"Name", "Андреев"}, {"Passwrd", "Secret"}, {"IsRegister", true}});
        Add(dm->TableUsers(),
            {{"Key", KeyB}, {"Name", "Борисов"}, {"IsRegister", true}, {"IsRead", true}});
        AddGuard();
    }

    TFormPWord& Make() {
        dialog = std::make_unique<TFormPWord>(*dm, *rules, rig.link, rig.prompt, settings);
        return *dialog;
    }

    // One login, with the operator choosing a name (unless none is given),
    // typing and pressing OK or Cancel in the modal run.
    LoginOutcome Login(const QString& name, const QString& typed, bool ok = true) {
        dialog->exec = [=](TFormPWord& d) {
            d.setResult(QDialog::Rejected);
            if (!name.isEmpty()) Choose(*d.DBLookupComboBoxName(), name);
            d.EditPWord()->setText(typed);
            if (ok)
                d.ButtonOkClick();
            else
                d.reject();
            return d.result();
        };
        return RunPasswordDialog(*dialog, *dm, *rules, rig.prompt);
    }

    // Every journal entry as "key|text".
    QStringList Journal() {
        View& j = dm->TablePrEvents();
        const QStringList keys = Column(j, "Key"), texts = Column(j, "Name");
        QStringList out;
        for (int i = 0; i < keys.size(); ++i)
            out << keys[i] + '|' + texts[i];
        return out;
    }
    QString Current() {
        View& cur = dm->TableCurRegister();
        return TDM::HasRows(cur) ? cur.Text("Name") : QString();
    }
    QString Chosen() { return dialog->DBLookupComboBoxName()->currentText(); }

    rig::ReaderRig<HookPrompt> rig;
    MemorySettingsStore settings;
    std::unique_ptr<Rules> rules;
    std::unique_ptr<TFormPWord> dialog;
};

}  // namespace

// --- rights and the pages they open -------------------------------------------------

TEST(RightsTest, PagesAndCommandsFollowTheRights) {
    RegistrarRights none;
    none.registrar = true;
    none.full = false;
    const auto with = [&](auto set) {
        RegistrarRights r = none;
        set(r);
        return r;
    };
    const std::set<QString> everything = {
        "TabSheetUsers",      "TabSheetRound",     "TabSheetPoints",    "TabSheetPathes",
        "TabSheetPrBook",     "TabSheetKDs",       "TabSheetRead",      "TabSheetWrite",
        "TabSheetEvents",     "TabSheetPrEvents",  "TabSheetKDEvents",  "TabSheetKDDEvents",
        "ButtonCorrectTime",  "ButtonCorrectDate", "TabSheetAEvents",   "ActionDRead",
        "ActionDWrite",       "ActionLoadArchive", "ActionSaveArchive", "ActionAddArchive",
        "ActionAddCurArchive"};
    std::set<QString> everythingButDevice = everything;
    everythingButDevice.erase("ActionDRead");
    everythingButDevice.erase("ActionDWrite");
    const std::set<QString> archive = {"TabSheetAEvents", "ActionLoadArchive", "ActionSaveArchive",
                                       "ActionAddArchive", "ActionAddCurArchive"};

    struct Case {
        const char* what;
        RegistrarRights rights;
        bool port;
        std::set<QString> open;
        bool writable;
    } cases[] = {
        {"no registrar", RegistrarRights{}, true, everything, true},
        {"no registrar, no port", RegistrarRights{}, false, everythingButDevice, true},
        {"administrator", with([](auto& r) { r.IsAdmin = r.full = true; }), true, everything, true},
        {"no flags", none, true, {}, false},
        {"only IsRead",
         with([](auto& r) { r.IsRead = true; }),
         true,
         {"TabSheetRead", "ActionDRead"},
         false},
        {"only IsRead, no port",
         with([](auto& r) { r.IsRead = true; }),
         false,
         {"TabSheetRead"},
         false},
        {"only IsWrite, no port",
         with([](auto& r) { r.IsWrite = true; }),
         false,
         {"TabSheetWrite"},
         false},
        {"IsKDEvs alone",
         with([](auto& r) { r.IsKDEvs = true; }),
         true,
         {"TabSheetEvents", "TabSheetKDEvents", "TabSheetKDDEvents"},
         false},
        {"IsPrEvs alone",
         with([](auto& r) { r.IsPrEvs = true; }),
         true,
         {"TabSheetEvents", "TabSheetPrEvents"},
         false},
        {"IsPath alone",
         with([](auto& r) { r.IsPath = true; }),
         true,
         {"TabSheetRound", "TabSheetPathes"},
         false},
        {"IsPoints and IsPrBook",
         with([](auto& r) { r.IsPoints = r.IsPrBook = true; }),
         true,
         {"TabSheetRound", "TabSheetPoints", "TabSheetPrBook"},
         false},
        {"IsKDs alone", with([](auto& r) { r.IsKDs = true; }), true, {"TabSheetKDs"}, false},
        {"IsTime alone",
         with([](auto& r) { r.IsTime = true; }),
         true,
         {"ButtonCorrectTime", "ButtonCorrectDate"},
         false},
        {"IsKDAEvs alone", with([](auto& r) { r.IsKDAEvs = true; }), true, archive, false},
        {"IsTableEdit only", with([](auto& r) { r.IsTableEdit = true; }), true, {}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const PageMapping m = MapPages(c.rights, c.port);
        std::set<QString> open;
        for (const auto& [name, on] : MappedComponents(m))
            if (on) open.insert(name);
        EXPECT_EQ(open, c.open);
        EXPECT_EQ(m.gridsWritable, c.writable);
    }
}

TEST_F(LoginTest, RightsAreTheFlagsOfTheCurrentRegistrar) {
    // Before the databases open nobody restricts anything.
    RegistrarRights r = CurrentRights(*dm);
    EXPECT_TRUE(r.full);
    EXPECT_FALSE(r.registrar);

    Open();
    AddGuard();  // guards are no registrars
    r = CurrentRights(*dm);
    EXPECT_TRUE(r.full);
    EXPECT_FALSE(r.registrar);

    Add(dm->TableUsers(), {{"Key", KeyA}, {"Name", "Андреев"}, {"IsRegister", true}});
    Add(dm->TableUsers(), {{"Key", KeyB},
                           {"Name", "Борисов"},
                           {"IsRegister", true},
                           {"IsRead", true},
                           {"IsKDAEvs", true},
                           {"IsTime", false}});
    View& cur = dm->TableCurRegister();
    ASSERT_TRUE(cur.Locate("Key", KeyB));
    r = CurrentRights(*dm);
    EXPECT_TRUE(r.registrar);
    EXPECT_FALSE(r.full);
    EXPECT_TRUE(r.IsRead && r.IsKDAEvs);
    EXPECT_FALSE(r.IsAdmin || r.IsTableEdit || r.IsTime || r.IsPoints || r.IsKDEvs);

    ASSERT_TRUE(cur.Locate("Key", KeyA));  // the administrator
    r = CurrentRights(*dm);
    EXPECT_TRUE(r.full && r.IsAdmin);
    EXPECT_FALSE(r.IsRead);
}

// --- the login --------------------------------------------------------------------

TEST_F(LoginTest, WithoutRegistrarsTheLoginNeedsNoNameAndJournalsNothing) {
    Open();
    Make();
    for (bool guards : {false, true}) {
        SCOPED_TRACE(guards ? "only guards" : "no users");
        if (guards) AddGuard();
        EXPECT_EQ(dialog->DBLookupComboBoxName()->count(), 0);
        EXPECT_EQ(Login({}, "anything"), LoginOutcome::Accepted);
        EXPECT_TRUE(Journal().isEmpty());
        EXPECT_TRUE(rig.prompt.Asked().empty());
        EXPECT_TRUE(MapPages(CurrentRights(*dm), true).users);
    }
}

TEST_F(LoginTest, ThePasswordMustMatchExactly) {
    Open();
    AddStaff();
    Make();
    ASSERT_EQ(Login("Андреев", "Secret"), LoginOutcome::Accepted);
    ASSERT_EQ(Current(), "Андреев");

    struct Case {
        const char* name;
        const char* typed;
        bool accepted;
    } cases[] = {
        {"Борисов", "x", false},       {"Борисов", "", true},         {"Андреев", "secret", false},
        {"Андреев", "Secret ", false}, {"Андреев", " Secret", false}, {"Андреев", "Secret", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " '" + c.typed + "'");
        const QString before = Current();
        rig.prompt.Clear();
        const QString chosenKey = c.name == QString("Андреев") ? KeyA : KeyB;

        const LoginOutcome outcome = Login(c.name, c.typed);
        const QString entry = Journal().constLast();
        if (c.accepted) {
            EXPECT_EQ(outcome, LoginOutcome::Accepted);
            EXPECT_EQ(entry, chosenKey + "|Разрешен доступ");
            EXPECT_EQ(Current(), c.name);
            EXPECT_TRUE(rig.prompt.Asked().empty());
        } else {
            EXPECT_EQ(outcome, LoginOutcome::Refused);
            // Journaled under the registrar chosen, who then is not logged in.
            EXPECT_EQ(entry, chosenKey + "|Отказ в доступе. Неверный пароль: " + QString(c.typed));
            EXPECT_EQ(Current(), before);
            EXPECT_EQ(Chosen(), before);
            ASSERT_EQ(rig.prompt.Asked().size(), 1u);
            const shell::Question& q = rig.prompt.Asked()[0];
            EXPECT_EQ(q.text, "Неверный пароль !");
            EXPECT_EQ(q.caption, "Ошибка");
            EXPECT_EQ(q.icon, shell::Icon::Error);
        }
    }
    EXPECT_EQ(Journal().size(), 7);
}

TEST_F(LoginTest, ARefusedPasswordIsJournaledUpToFiftyCharacters) {
    Open();
    AddStaff();
    Make();
    ASSERT_EQ(Login("Борисов", ""), LoginOutcome::Accepted);
    const QString typed = "0123456789abcdefghijklmnopqrstuvwxyz0123";  // 40 characters
    dialog->EditPWord()->setText("left over");

    EXPECT_EQ(Login("Андреев", typed), LoginOutcome::Refused);
    EXPECT_EQ(Journal().constLast(), KeyA + "|Отказ в доступе. Неверный пароль: 0123456789abcdef");
    // The dialog is as before: the earlier registrar and his text.
    EXPECT_EQ(Current(), "Борисов");
    EXPECT_EQ(Chosen(), "Борисов");
    EXPECT_EQ(dialog->EditPWord()->text(), "left over");
    EXPECT_EQ(MapPages(CurrentRights(*dm), true).users, false);
}

TEST_F(LoginTest, CancelChangesNothing) {
    Open();
    AddStaff();
    Make();
    ASSERT_EQ(Login("Андреев", "Secret"), LoginOutcome::Accepted);
    const QStringList journal = Journal();
    dialog->EditPWord()->setText("kept");

    EXPECT_EQ(Login("Борисов", "", false), LoginOutcome::Cancelled);
    EXPECT_EQ(Journal(), journal);
    EXPECT_TRUE(rig.prompt.Asked().empty());
    EXPECT_EQ(Current(), "Андреев");
    EXPECT_EQ(Chosen(), "Андреев");
    EXPECT_EQ(dialog->EditPWord()->text(), "kept");
}

TEST_F(LoginTest, ARefusalBeforeAnyChoiceKeepsTheRegistrarOfTheView) {
    // No name was chosen yet: the registrar view sits on its first row.
    Open();
    AddStaff();
    Make();
    ASSERT_EQ(Chosen(), "");
    ASSERT_EQ(Current(), "Андреев");
    EXPECT_EQ(Login("Борисов", "wrong"), LoginOutcome::Refused);
    EXPECT_EQ(Current(), "Андреев");
    EXPECT_EQ(Chosen(), "");
    EXPECT_EQ(Login("Борисов", "wrong", false), LoginOutcome::Cancelled);
    EXPECT_EQ(Current(), "Андреев");
}

TEST_F(LoginTest, OkWithoutANameKeepsTheDialogOpen) {
    Open();
    AddStaff();
    Make();
    std::vector<int> busy;
    rig.prompt.onAsk = [&] { busy.push_back(rig.link.ReaderBusy()); };
    dialog->DBLookupComboBoxName()->ClearKeyValue();

    dialog->show();
    dialog->ButtonOkClick();
    EXPECT_TRUE(dialog->isVisible());
    ASSERT_EQ(rig.prompt.Asked().size(), 1u);
    EXPECT_EQ(rig.prompt.Asked()[0].text, "Не выбрано имя пользователя !");
    EXPECT_EQ(rig.prompt.Asked()[0].caption, "Ошибка");
    EXPECT_EQ(rig.prompt.Asked()[0].icon, shell::Icon::Warning);
    EXPECT_EQ(busy, std::vector<int>{1});
    EXPECT_EQ(rig.link.ReaderBusy(), 0);

    Choose(*dialog->DBLookupComboBoxName(), "Борисов");
    dialog->ButtonOkClick();
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(dialog->result(), QDialog::Accepted);
    EXPECT_EQ(Current(), "Борисов");
}

TEST_F(LoginTest, TheNameOfTheLastCloseIsPreselectedOnceTheListOpens) {
    Open();
    AddStaff();
    dm->CloseDatabases();
    for (const QString& saved : {KeyB, KeyUnknown}) {
        SCOPED_TRACE(saved.toStdString());
        settings.Put(ProgramKey, "User", saved);
        Make();
        EXPECT_EQ(Chosen(), "");  // nothing to show yet
        Open();
        const bool known = saved == KeyB;
        EXPECT_EQ(Chosen(), known ? "Борисов" : "");
        EXPECT_EQ(Current(), known ? "Борисов" : "Андреев");
        dialog.reset();
        dm->CloseDatabases();
    }
}

TEST_F(LoginTest, TheNameListFollowsTheUsersTable) {
    Open();
    Make();
    Add(dm->TableUsers(), {{"Key", KeyA}, {"Name", "Андреев"}, {"IsRegister", true}});
    // The first registrar posted while no name is chosen becomes the choice.
    EXPECT_EQ(Chosen(), "Андреев");
    AddGuard();
    Add(dm->TableUsers(), {{"Key", KeyB}, {"Name", "Борисов"}, {"IsRegister", true}});
    QStringList names;
    for (int i = 0; i < dialog->DBLookupComboBoxName()->count(); ++i)
        names << dialog->DBLookupComboBoxName()->itemText(i);
    EXPECT_EQ(names, (QStringList{"Андреев", "Борисов"}));
    EXPECT_EQ(Chosen(), "Андреев");

    // A dialog gone is no longer told.
    dialog.reset();
    Add(dm->TableUsers(), {{"Key", KeyUnknown}, {"Name", "Яковлев"}, {"IsRegister", true}});
    EXPECT_EQ(dm->TableCurRegister().RecordCount(), 3);
}

// --- showing the dialog and the automatic name choice -------------------------------

TEST_F(LoginTest, ShowingTheDialogArmsTheReaderPollOnlyWithNamesAndAPort) {
    Open();
    AddStaff();
    Make();
    EXPECT_EQ(dialog->Timer()->interval(), 200);
    EXPECT_FALSE(dialog->Timer()->isActive());
    struct Case {
        const char* what;
        bool rows;
        int port;
        bool portOpenBefore;
        bool polls;
    } cases[] = {
        {"port closed", true, 1, false, true},
        {"port open", true, 1, true, true},
        {"no port chosen", true, 0, false, false},
        {"no registrars", false, 1, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        rig.link.SetPortDigit(c.port);
        if (c.portOpenBefore) {
            ASSERT_TRUE(rig.link.PortEnsureOpen());
        }
        if (!c.rows) dm->TableCurRegister().Close();
        dialog->EditPWord()->setText("old");

        dialog->show();
        EXPECT_TRUE(dialog->Showing());
        EXPECT_EQ(dialog->Timer()->isActive(), c.polls);
        EXPECT_EQ(dialog->OpenedPort(), c.polls && !c.portOpenBefore);
        EXPECT_EQ(dialog->focusWidget(),
                  c.polls ? static_cast<QWidget*>(dialog->EditPWord())
                          : static_cast<QWidget*>(dialog->DBLookupComboBoxName()));
        EXPECT_EQ(dialog->EditPWord()->text(), "");

        dialog->reject();
        EXPECT_FALSE(dialog->Showing());
        EXPECT_FALSE(dialog->Timer()->isActive());
        // The port is closed again only if the dialog opened it.
        EXPECT_EQ(rig.link.IsPortOpen(), c.portOpenBefore);
        rig.link.PortClose();
        if (!c.rows) dm->OpenTable(dm->TableCurRegister());
    }
    EXPECT_TRUE(rig.prompt.Asked().empty());
}

TEST_F(LoginTest, AKeyOnTheReaderContactChoosesTheRegistrar) {
    Open();
    AddStaff();
    Make();
    dialog->show();
    ASSERT_TRUE(dialog->Timer()->isActive());
    sim::Reader& reader = rig.reader;
    const auto completions = [&] { return reader.Count(link::CmdReadBlock, 0x2010); };

    // Nothing on the contact: nothing chosen, no completion.
    dialog->TimerTimer();
    EXPECT_EQ(reader.Count(link::CmdReadBlock, 0x0000), 1);
    EXPECT_EQ(reader.Count(link::CmdReadBlock, 0x2000), 1);
    EXPECT_EQ(completions(), 0);
    EXPECT_EQ(Chosen(), "");

    struct Case {
        QString key;
        const char* chosen;
    } cases[] = {
        {KeyB, "Борисов"}, {KeyA, "Андреев"}, {KeyG, ""}, {KeyB, "Борисов"}, {KeyUnknown, ""}};
    int expectedCompletions = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.key.toStdString());
        reader.SetKeyContact(c.key);
        dialog->TimerTimer();
        EXPECT_EQ(Chosen(), c.chosen);
        if (*c.chosen) {
            EXPECT_EQ(Current(), c.chosen);  // the registrar view moves too
        }
        EXPECT_EQ(completions(), ++expectedCompletions);
    }
    EXPECT_TRUE(rig.prompt.Asked().empty());
    EXPECT_TRUE(dialog->Timer()->isActive());
}

TEST_F(LoginTest, ACollectorInTheReaderIsToBeTakenOutFirst) {
    Open();
    AddStaff();
    Make();
    rig.reader.SetKeyContact(KeyB);
    rig.reader.SetCollectorPresent(true);
    std::vector<int> busy;
    rig.prompt.onAsk = [&] {
        busy.push_back(rig.link.ReaderBusy());
        // Taken out at the third request.
        if (busy.size() == 3) rig.reader.SetCollectorPresent(false);
    };
    dialog->show();

    dialog->TimerTimer();
    EXPECT_EQ(rig.prompt.Count("Для правильного автоматического выбора имени пользователя "
                               "уберите Kordex из устройства чтения !"),
              3);
    const shell::Question& q = rig.prompt.Asked().at(0);
    EXPECT_EQ(q.caption, "Сообщение");
    EXPECT_EQ(q.icon, shell::Icon::Information);
    EXPECT_EQ(q.buttons, shell::Buttons::OkCancel);
    EXPECT_EQ(busy, (std::vector<int>{1, 1, 1}));
    EXPECT_EQ(rig.link.ReaderBusy(), 0);
    EXPECT_EQ(Chosen(), "Борисов");
    EXPECT_TRUE(dialog->Timer()->isActive());

    // Cancel gives the automatic choice up and closes the port the dialog opened.
    rig.reader.SetCollectorPresent(true);
    rig.prompt.Clear();
    rig.prompt.Script({shell::Answer::Ok, shell::Answer::Cancel});
    rig.reader.SetKeyContact(KeyA);
    dialog->TimerTimer();
    EXPECT_EQ(rig.prompt.Asked().size(), 2u);
    EXPECT_FALSE(dialog->Timer()->isActive());
    EXPECT_FALSE(rig.link.IsPortOpen());
    EXPECT_EQ(Chosen(), "Борисов");
    EXPECT_TRUE(dialog->isVisible());

    rig.reader.ClearLog();
    dialog->TimerTimer();  // a tick still queued does nothing
    EXPECT_TRUE(rig.reader.Exchanges().empty());
}

TEST_F(LoginTest, TheReaderIsLeftAloneWhileBusyAndAfterTyping) {
    Open();
    AddStaff();
    Make();
    dialog->show();
    const auto tickPolls = [&] {
        rig.reader.ClearLog();
        dialog->TimerTimer();
        return !rig.reader.Exchanges().empty();
    };

    rig.link.RaiseBusy();
    EXPECT_FALSE(tickPolls());
    rig.link.LowerBusy();

    struct Case {
        const char* what;
        QWidget* target;
        Qt::Key key;
        bool holdsOff;
    } cases[] = {
        {"password", dialog->EditPWord(), Qt::Key_A, true},
        {"name list", dialog->DBLookupComboBoxName(), Qt::Key_B, true},
        {"OK button", dialog->ButtonOk(), Qt::Key_Space, true},
        {"Tab", dialog->EditPWord(), Qt::Key_Tab, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QTest::keyClick(c.target, c.key);
        ASSERT_TRUE(dialog->isVisible());
        if (c.holdsOff) {
            EXPECT_EQ(dialog->Countdown(), 5);
            for (int tick = 0; tick < 5; ++tick)
                EXPECT_FALSE(tickPolls()) << tick;
        }
        EXPECT_EQ(dialog->Countdown(), 0);
        EXPECT_TRUE(tickPolls());
    }
}

TEST_F(LoginTest, ChoosingANameMovesToThePassword) {
    Open();
    AddStaff();
    rig.link.SetPortDigit(0);
    Make();
    dialog->show();
    ASSERT_EQ(dialog->focusWidget(), dialog->DBLookupComboBoxName());
    Choose(*dialog->DBLookupComboBoxName(), "Борисов");
    EXPECT_EQ(dialog->focusWidget(), dialog->EditPWord());
    EXPECT_EQ(Current(), "Борисов");
}

TEST_F(LoginTest, TheDialogShowsItsControls) {
    Make();
    EXPECT_EQ(dialog->objectName(), "FormPWord");
    EXPECT_EQ(dialog->windowTitle(), "Ввод пароля");
    QLineEdit* edit = dialog->findChild<QLineEdit*>("EditPWord");
    ASSERT_NE(edit, nullptr);
    EXPECT_EQ(edit->maxLength(), 32);
    EXPECT_EQ(edit->echoMode(), QLineEdit::Password);
    auto* ok = dialog->findChild<QPushButton*>("ButtonOk");
    ASSERT_NE(ok, nullptr);
    EXPECT_EQ(ok->text(), "&OK");
    EXPECT_TRUE(ok->isDefault());
    EXPECT_EQ(dialog->findChild<QPushButton*>("ButtonCancel")->text(), "Отмена");
    EXPECT_NE(dialog->findChild<DBLookupComboBox*>("DBLookupComboBoxName"), nullptr);
    EXPECT_NE(dialog->findChild<QTimer*>("Timer"), nullptr);
    QStringList labels;
    for (const QLabel* l : dialog->findChildren<QLabel*>())
        labels << l->text();
    EXPECT_EQ(labels, (QStringList{"Имя", "Пароль"}));

    // Cancel and Escape close the dialog as cancelled.
    dialog->show();
    QTest::keyClick(edit, Qt::Key_Escape);
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(dialog->result(), QDialog::Rejected);
    if (qEnvironmentVariableIsSet("KORDEX_SHOT_DIR")) {
        dialog->show();
        dialog->grab().save(
            QDir(qEnvironmentVariable("KORDEX_SHOT_DIR")).filePath("FormPWord.png"));
        dialog->reject();
    }
}
