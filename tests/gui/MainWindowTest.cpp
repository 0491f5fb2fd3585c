#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QTest>
#include <QTextCursor>
#include <QToolButton>

#include "GuiFixture.h"
#include "app/device/DevicePageWidgets.h"
#include "app/device/TestPage.h"
#include "app/settings/ProgramSettings.h"
#include "app/table/FastFind.h"
#include "app/window/Demo.h"
#include "app/window/HelpWindow.h"
#include "collector/DeviceTest.h"
#include "collector/Operations.h"
#include "store/Rules.h"
#include "widgets/DBGrid.h"

using namespace kordex;
using namespace kordex::app;
using namespace kordex::widgets;
using kordex::gui::AdminKey;
using kordex::gui::MainWindowTest;
using kordex::gui::RegistrarKey;
using kordex::gui::Type;

namespace {

const QStringList FlagPages = {"TabSheetUsers",    "TabSheetRound",     "TabSheetPoints",
                               "TabSheetPathes",   "TabSheetPrBook",    "TabSheetKDs",
                               "TabSheetRead",     "TabSheetWrite",     "TabSheetEvents",
                               "TabSheetPrEvents", "TabSheetKDEvents",  "TabSheetKDDEvents",
                               "TabSheetAEvents",  "TabSheetKDAEvents", "TabSheetKDDAEvents"};

// The collector ID the test page shows; empty when its figures are hidden.
QString ShownId(const collector::DeviceTest& test) {
    QString out;
    for (int g : test.Display().id)
        if (g >= 0 && g < 16) out += QStringLiteral("0123456789ABCDEF").at(g);
    return out;
}

}  // namespace

// --- Start-up

TEST_F(MainWindowTest, FirstStartInAnEmptyDirectoryOpensOnTheTestPage) {
    Start();
    for (const char* sub : {"DB", "DB.ARH", "DB.TMP"})
        EXPECT_TRUE(QDir(dir.filePath(QString::fromLatin1(sub))).exists()) << sub;
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Kordex Коммандер"));
    EXPECT_EQ(window->CurrentPageName(), QStringLiteral("TabSheetKordex"));
    EXPECT_EQ(window->CurrentSubPageName(), QStringLiteral("TabSheetTest"));
    EXPECT_EQ(ShownPages(FlagPages), QStringList());
    EXPECT_TRUE(PageShown(QStringLiteral("TabSheetTest")));

    // COM1 exists and is chosen; the others are disabled. Nothing was asked.
    EXPECT_TRUE(window->Action("ActionCOM1")->isChecked());
    EXPECT_TRUE(window->findChild<QToolButton*>(QStringLiteral("ToolButtonCOM1"))->isChecked());
    for (const char* n : {"ActionCOM2", "ActionCOM3", "ActionCOM4"})
        EXPECT_FALSE(window->Action(n)->isEnabled()) << n;
    EXPECT_TRUE(prompt.Asked().empty());
    // Design-time choices.
    EXPECT_EQ(window->WritePageWidget().Interval(), 10);
    EXPECT_EQ(window->WritePageWidget().PathMode(), 0);
    const collector::ReadOptions o = window->ReadPageWidget().Options();
    EXPECT_TRUE(o.autoKDAdd && o.autoRegAdd && o.autoGuardAdd && o.autoPAdd && o.checkOver);
    // Help on the page in front.
    window->Action("ActionContext")->trigger();
    EXPECT_EQ(window->Help().CurrentTopic(), 1);
    // Before a login nothing can be read, written or archived.
    for (const char* n : {"ActionDRead", "ActionDWrite", "ActionLoadArchive", "ActionNewRec"})
        EXPECT_FALSE(window->Action(n)->isEnabled()) << n;
}

TEST_F(MainWindowTest, WithoutAnyPortTheWarningShowsAtStart) {
    port.SetDevices({QStringLiteral("/dev/none")});
    Start();
    ASSERT_EQ(prompt.Asked().size(), 1u);
    EXPECT_EQ(prompt.Asked()[0].caption, QStringLiteral("Предупреждение"));
    EXPECT_EQ(prompt.Asked()[0].text, MsgNoFreePort);
    for (int d = 1; d <= 4; ++d)
        EXPECT_FALSE(window->Action(QStringLiteral("ActionCOM%1").arg(d))->isEnabled());
    Login({}, {});
    EXPECT_TRUE(PageShown(QStringLiteral("TabSheetRead")));
    EXPECT_FALSE(window->Action("ActionDRead")->isEnabled());
    EXPECT_FALSE(window->Action("ActionDWrite")->isEnabled());
}

TEST_F(MainWindowTest, ErrorsReachTheOperatorThroughTheFilter) {
    struct Case {
        QString error;
        std::optional<QString> shown;
    };
    const std::vector<Case> cases = {
        {"Cannot perform this operation on an empty dataset", MsgEmptyDataset},
        {"Grid index out of range", std::nullopt},
        {"You must be in ShowCheckbox mode to set to this date", std::nullopt},
        {"Key violation", QStringLiteral("Key violation")},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ExceptionFilterText(c.error), c.shown) << c.error.toStdString();
}

// --- Login

TEST_F(MainWindowTest, LoginWithoutRegistrarShowsEveryPageAndJournalsNothing) {
    Start();
    Login({}, {});
    ASSERT_TRUE(Dm().Database().Connected());
    EXPECT_EQ(ShownPages(FlagPages), FlagPages);
    EXPECT_TRUE(Dm().TablePrEvents().IsEmpty());
    EXPECT_TRUE(window->Action("ActionDRead")->isEnabled());
    EXPECT_TRUE(window->Action("ActionDWrite")->isEnabled());
    EXPECT_FALSE(window->DeviceTestPage().CorrectTimeButton()->isHidden());
}

// The first login (nobody to check yet) adds an administrator with the
// password "Secret" and a registrar who may only read, password "чт".
class TwoRegistrars : public MainWindowTest {
protected:
    void SetUp() override {
        Start();
        Login({}, {});
        AddUser(AdminKey, QStringLiteral("Администратор"), QStringLiteral("Secret"), {});
        AddUser(RegistrarKey, QStringLiteral("Чтец"), QStringLiteral("чт"), {"IsRead"});
    }
};

TEST_F(TwoRegistrars, OneWithOnlyTheReadRightSeesTheMappedPages) {
    Login(RegistrarKey, QStringLiteral("чт"));

    const QStringList shown = ShownPages(FlagPages);
    EXPECT_EQ(shown, QStringList({"TabSheetRead"}));
    EXPECT_TRUE(PageShown(QStringLiteral("TabSheetTest")));
    EXPECT_TRUE(window->Action("ActionDRead")->isEnabled());
    EXPECT_FALSE(window->Action("ActionDWrite")->isEnabled());
    EXPECT_TRUE(window->DeviceTestPage().CorrectTimeButton()->isHidden());
    EXPECT_TRUE(window->Grid("DBGridPoints")->property("ReadOnly").toBool());
    EXPECT_EQ(Dm().TablePrEvents().RecordCount(), 1);
    Dm().TablePrEvents().Last();
    EXPECT_EQ(Dm().TablePrEvents().Text("Name"), QStringLiteral("Разрешен доступ"));
    EXPECT_EQ(Dm().TablePrEvents().Text("Key"), RegistrarKey);
}

TEST_F(TwoRegistrars, AWrongPasswordKeepsTheEarlierLogin) {
    Login(AdminKey, QStringLiteral("Secret"));
    ASSERT_EQ(Dm().TableCurRegister().Text("Key"), AdminKey);
    prompt.Clear();

    const QString typed = QStringLiteral("a-very-long-password-typed-wrongly-0123456789");
    Login(RegistrarKey, typed);
    ASSERT_EQ(prompt.Asked().size(), 1u);
    EXPECT_EQ(prompt.Asked()[0].text, QStringLiteral("Неверный пароль !"));
    EXPECT_EQ(prompt.Asked()[0].caption, QStringLiteral("Ошибка"));
    store::View& journal = Dm().TablePrEvents();
    journal.Last();
    const QString entry = QStringLiteral("Отказ в доступе. Неверный пароль: ") + typed;
    EXPECT_EQ(journal.Text("Name"), entry.left(50));
    EXPECT_EQ(journal.Text("Key"), RegistrarKey);
    // The administrator is still the one logged in, with all his pages.
    EXPECT_EQ(Dm().TableCurRegister().Text("Key"), AdminKey);
    EXPECT_TRUE(PageShown(QStringLiteral("TabSheetUsers")));
    EXPECT_TRUE(window->Action("ActionDWrite")->isEnabled());
}

// --- Reading the demo collector and leaving the read page

namespace {

struct LeaveCase {
    const char* name;
    shell::Answer answer;
    bool stored;    // the round is in KDEvents.DB afterwards
    bool left;      // the journal page is in front afterwards
    bool attached;  // the read page still shows the round
};

void PrintTo(const LeaveCase& c, std::ostream* os) {
    *os << c.name;
}

}  // namespace

class ReadAndLeave : public MainWindowTest, public ::testing::WithParamInterface<LeaveCase> {};

TEST_P(ReadAndLeave, TheSaveQuestionDecidesTheRound) {
    const LeaveCase c = GetParam();
    QString error;
    ASSERT_TRUE(SeedDemoData(dir.path(), error)) << error.toStdString();
    sim::ApplyScenario(sim::DemoScenario(clock.Now()), collector, reader);
    Start();
    Login(sim::DemoKeyIds().registrar, {});
    prompt.Clear();

    window->Action("ActionDRead")->trigger();
    ASSERT_EQ(prompt.Texts(), QStringList({collector::text::ReadDone}));
    EXPECT_EQ(window->CurrentSubPageName(), QStringLiteral("TabSheetRead"));
    ReadPage& page = window->ReadPageWidget();
    ASSERT_TRUE(page.Attached());
    EXPECT_TRUE(page.MissedGrid()->isEnabled());
    EXPECT_GT(page.TouchGrid()->model()->rowCount(), 0);
    ASSERT_TRUE(store::TDM::IsEditing(Dm().TableKDEvents()));
    const QVariant reg = Dm().TableKDEvents().Value(QStringLiteral("DateReg"));
    // The round was judged against the path (mode 2 with points).
    EXPECT_FALSE(Dm().TableKDEvents().IsNull(QStringLiteral("FromN")));
    // The write page took the round's guard and path.
    EXPECT_EQ(window->WritePageWidget().Choices().guardKey, sim::DemoKeyIds().guard);
    EXPECT_FALSE(window->WritePageWidget().GroupBoxPathMode()->isHidden());

    prompt.Clear();
    prompt.Script({c.answer});
    auto* pages = window->PageControl();
    pages->setCurrentWidget(window->findChild<QWidget*>(QStringLiteral("TabSheetEvents")));
    ASSERT_EQ(prompt.Texts(), QStringList({MsgSaveRead})) << c.name;
    EXPECT_EQ(prompt.Asked()[0].buttons, shell::Buttons::YesNoCancel);

    EXPECT_EQ(window->CurrentPageName() == QLatin1String("TabSheetEvents"), c.left) << c.name;
    EXPECT_EQ(page.Attached(), c.attached) << c.name;
    EXPECT_EQ(Dm().FindInTable(Dm().TableKDFEvents(), QStringLiteral("DateReg"), reg), c.stored)
        << c.name;
    EXPECT_EQ(store::TDM::IsEditing(Dm().TableKDEvents()), !c.left) << c.name;
}

INSTANTIATE_TEST_SUITE_P(SaveQuestion, ReadAndLeave,
                         ::testing::Values(LeaveCase{"Yes", shell::Answer::Yes, true, true, false},
                                           LeaveCase{"No", shell::Answer::No, false, true, false},
                                           LeaveCase{"Cancel", shell::Answer::Cancel, false, false,
                                                     true}),
                         [](const auto& info) { return std::string(info.param.name); });

// --- Device test

TEST_F(MainWindowTest, DeviceTestShowsTheCollectorAndHidesItWhenRemoved) {
    Start();
    TestPage& page = window->DeviceTestPage();
    ASSERT_TRUE(window->Link().IsPortOpen()) << "the test page opens the chosen port";
    auto cycle = [&] {
        for (int i = 0; i < 6; ++i)
            page.TimerTestTimer();
    };
    cycle();
    const collector::DeviceTest& test = page.Test();
    EXPECT_EQ(ShownId(test), sim::DemoKeyIds().collector);
    EXPECT_TRUE(page.Bar()->View().drawn);
    EXPECT_GT(page.Bar()->View().hundredths, 0);

    reader.SetCollectorPresent(false);
    cycle();
    EXPECT_TRUE(ShownId(test).isEmpty());
    EXPECT_FALSE(page.Bar()->View().drawn && page.Bar()->View().hundredths > 0);

    // Leaving the test page closes the port and stops the test.
    window->ShowPage(QStringLiteral("TabSheetKordex"), QStringLiteral("TabSheetRead"));
    EXPECT_FALSE(window->Link().IsPortOpen());
    EXPECT_FALSE(page.Running());
}

// --- Writing

TEST_F(TwoRegistrars, AMemoCharacterTheCollectorCannotKeepIsShownAndNothingIsWritten) {
    const QString guard = sim::TouchKeyText(0x00C0FFEE);
    AddUser(guard, QStringLiteral("Охранник"), {}, {}, false);
    Login(AdminKey, QStringLiteral("Secret"));
    collector.SetMemo("Old");
    window->ShowPage(QStringLiteral("TabSheetKordex"), QStringLiteral("TabSheetWrite"));
    WritePage& page = window->WritePageWidget();
    Dm().TableGuards().Refresh();
    page.GuardChoice()->SetKeyValue(guard);
    ASSERT_EQ(page.Choices().guardKey, guard);
    for (const QChar ch : QStringLiteral("Пост ☃ 3")) {
        QKeyEvent key(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(ch));
        QApplication::sendEvent(page.MemoEdit(), &key);
    }
    ASSERT_EQ(page.Choices().memo, QStringLiteral("Пост ☃ 3"));
    page.MemoEdit()->moveCursor(QTextCursor::Start);
    prompt.Clear();

    window->Action("ActionDWrite")->trigger();
    EXPECT_EQ(prompt.Texts(),
              QStringList{"Символ «☃» в доп. информации не может быть записан в Kordex !"});
    EXPECT_EQ(page.Choices().memo, QStringLiteral("Пост ☃ 3"));  // nothing lost
    EXPECT_EQ(page.MemoEdit()->textCursor().selectedText(), QStringLiteral("☃"));
    EXPECT_EQ(collector.Read(0x1F50)[0], 'O');
    EXPECT_EQ(collector.Initialisations(), 0);
}

// --- Settings across runs

TEST_F(MainWindowTest, SettingsWrittenAtCloseAreReadAtTheNextStart) {
    Start();
    window->WritePageWidget().SetInterval(42);
    window->WritePageWidget().SetPathMode(2);
    window->ReadPageWidget().CheckBoxOver()->setChecked(false);
    window->ReadPageWidget().CheckBoxAutoPAdd()->setChecked(false);
    Login({}, {});
    Close();

    ASSERT_TRUE(settings.Open(ProgramKey));
    EXPECT_EQ(settings.ReadInteger(QStringLiteral("Com")), 1);
    EXPECT_EQ(settings.ReadString(QStringLiteral("User")).value_or(QString()), QString());
    settings.Close();

    Start();
    EXPECT_EQ(window->WritePageWidget().Interval(), 42);
    EXPECT_EQ(window->WritePageWidget().PathMode(), 2);
    EXPECT_FALSE(window->ReadPageWidget().CheckBoxOver()->isChecked());
    EXPECT_FALSE(window->ReadPageWidget().CheckBoxAutoPAdd()->isChecked());
    EXPECT_TRUE(window->ReadPageWidget().CheckBoxAutoKDAdd()->isChecked());
    // The exit was journaled under nobody.
    Login({}, {});
    Dm().TablePrEvents().Last();
    EXPECT_EQ(Dm().TablePrEvents().Text("Name"), JournalExit);
}

TEST_F(MainWindowTest, StoredValuesAreClampedAndAMissingPortIsNotChosen) {
    struct Case {
        int stored;
        int shown;
    };
    for (const Case c : {Case{300, 255}, Case{-5, 0}, Case{7, 7}}) {
        ASSERT_TRUE(settings.Open(ProgramKey));
        settings.WriteInteger(QStringLiteral("Interval"), c.stored);
        settings.WriteInteger(QStringLiteral("Com"), 3);  // COM3 is gone
        settings.Close();
        Start();
        EXPECT_EQ(window->WritePageWidget().Interval(), c.shown) << c.stored;
        EXPECT_TRUE(window->Action("ActionCOM1")->isChecked());
        EXPECT_FALSE(window->Action("ActionCOM3")->isEnabled());
        EXPECT_EQ(window->Link().PortDigit(), 1);
        Stop();
    }
}

TEST_F(MainWindowTest, TheWindowPlacementIsKeptAcrossRuns) {
    Start();
    window->setGeometry(QRect(40, 50, 700, 480));
    Close();
    Start();
    EXPECT_EQ(window->geometry().size(), QSize(700, 480));
}

// --- Fast find

TEST_F(MainWindowTest, FastFindTakesLowerCaseCyrillicInANameColumn) {
    Start();
    Login({}, {});
    store::View& points = Dm().TablePoints();
    int serial = 0x300;
    for (const char* name : {"Проходная", "Склад №1", "Гараж", "склад №2", "Котельная"}) {
        points.Append();
        points.SetValue(QStringLiteral("Key"), sim::TouchKeyText(++serial));
        points.SetValue(QStringLiteral("Name"), QString::fromUtf8(name));
        points.Post();
    }
    window->ShowPage(QStringLiteral("TabSheetRound"), QStringLiteral("TabSheetPoints"));
    DBGrid* grid = window->Grid("DBGridPoints");
    ASSERT_NE(grid, nullptr);
    window->activateWindow();
    grid->setFocus();
    QApplication::processEvents();
    // By name: Гараж, Котельная, Проходная, Склад №1, склад №2.
    ASSERT_TRUE(points.Locate(QStringLiteral("Name"), QStringLiteral("Проходная")));
    grid->setCurrentIndex(grid->model()->index(grid->currentIndex().row(), 1));

    Type(QStringLiteral("ск"));  // into the grid, then into the panel it opens
    TPanelFFind* panel = TPanelFFind::Current();
    ASSERT_NE(panel, nullptr);
    EXPECT_EQ(panel->ShownText(), QStringLiteral("Ск"));
    EXPECT_EQ(points.Text(QStringLiteral("Name")), QStringLiteral("Склад №1"));
    // F3: the next one, shown as it is written there; F3 again wraps round to the first.
    QTest::keyClick(panel, Qt::Key_F3);
    EXPECT_EQ(points.Text(QStringLiteral("Name")), QStringLiteral("склад №2"));
    EXPECT_EQ(panel->ShownText(), QStringLiteral("ск"));
    QTest::keyClick(panel, Qt::Key_F3);
    EXPECT_EQ(points.Text(QStringLiteral("Name")), QStringLiteral("Склад №1"));

    // Changing the page closes the panel.
    window->ShowPage(QStringLiteral("TabSheetKordex"), QStringLiteral("TabSheetTest"));
    QApplication::processEvents();
    EXPECT_EQ(TPanelFFind::Current(), nullptr);
}
