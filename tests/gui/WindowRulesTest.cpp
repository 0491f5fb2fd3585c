// What the window shows to whom: the clock correction, the path mode of the
// write page, the status window's frame.
#include <QAction>
#include <QGroupBox>
#include <QProcess>
#include <QPushButton>
#include <QWindow>

#include "GuiFixture.h"
#include "app/device/DevicePageWidgets.h"
#include "app/device/TestPage.h"
#include "app/window/StatusForm.h"
#include "widgets/DBGrid.h"

using namespace kordex;
using namespace kordex::app;
using namespace kordex::widgets;
using kordex::gui::AdminKey;
using kordex::gui::MainWindowTest;
using kordex::gui::RegistrarKey;

namespace {

// Seconds between the collector's clock and the PC's.
qint64 ClockLag(const sim::Collector& collector, shell::Clock& clock) {
    return std::abs(collector.ClockNow().secsTo(clock.Now()));
}

}  // namespace

// Before a login nobody may set a collector's clock: the "=" buttons are
// hidden and a click on them sets nothing. A login shows them to those with
// the right, and to nobody else.
TEST_F(MainWindowTest, ClockCorrectionWaitsForALoginWithTheRight) {
    Start();
    TestPage& page = window->DeviceTestPage();
    for (int i = 0; i < 3; ++i)
        page.TimerTestTimer();  // the collector answers: the buttons may be pressed
    ASSERT_TRUE(page.CorrectTimeButton()->isEnabled());
    const QString keeperKey = sim::TouchKeyText(0x00C10C);

    struct Step {
        const char* who;
        QString key, password;
        bool shown;
    };
    const Step steps[] = {
        {"before any login", {}, {}, false},
        {"a registrar without the right", RegistrarKey, QStringLiteral("чт"), false},
        {"a registrar with the right", keeperKey, QStringLiteral("ч"), true},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.who);
        if (s.key == RegistrarKey) {
            Login({}, {});
            AddUser(AdminKey, QStringLiteral("Администратор"), QStringLiteral("1"), {});
            AddUser(RegistrarKey, QStringLiteral("Чтец"), QStringLiteral("чт"), {"IsRead"});
            AddUser(keeperKey, QStringLiteral("Часовщик"), QStringLiteral("ч"), {"IsTime"});
        }
        if (!s.key.isEmpty()) Login(s.key, s.password);
        window->ShowPage(QStringLiteral("TabSheetKordex"), QStringLiteral("TabSheetTest"));
        collector.SetClock(clock.Now().addSecs(-3600));
        for (QPushButton* b : {page.CorrectDateButton(), page.CorrectTimeButton()})
            EXPECT_EQ(b->isHidden(), !s.shown) << b->objectName().toStdString();
        page.CorrectTimeButton()->click();
        EXPECT_EQ(ClockLag(collector, clock) < 2, s.shown);
    }
}

// The path mode group shows exactly while a path is chosen: also when the
// chosen path is deleted, by its row or with its whole table, which empties
// the choice and takes the path off the list.
TEST_F(MainWindowTest, ThePathModeGoesWithTheDeletedPath) {
    Start();
    Login({}, {});
    store::View& pathes = Dm().TablePathes();
    WritePage& write = window->WritePageWidget();
    for (const char* command : {"ActionDelRec", "ActionEmptyTable"}) {
        SCOPED_TRACE(command);
        pathes.Append();
        pathes.SetValue(QStringLiteral("Name"), QStringLiteral("Периметр"));
        pathes.Post();
        const QVariant id = pathes.Value(QStringLiteral("ID"));
        window->ShowPage(QStringLiteral("TabSheetKordex"), QStringLiteral("TabSheetWrite"));
        write.PathChoice()->SetKeyValue(id);
        ASSERT_FALSE(write.GroupBoxPathMode()->isHidden());

        // Deleted by the operator on the paths page.
        window->ShowPage(QStringLiteral("TabSheetRound"), QStringLiteral("TabSheetPathes"));
        DBGrid* grid = window->Grid(QStringLiteral("DBGridPathes"));
        ASSERT_NE(grid, nullptr);
        window->activateWindow();
        QApplication::setActiveWindow(window.get());
        grid->setFocus();
        QApplication::processEvents();
        window->ActionRefresh(true);
        ASSERT_TRUE(window->Action(command)->isEnabled());
        prompt.Script({shell::Answer::Yes});
        window->Action(command)->trigger();
        ASSERT_TRUE(pathes.IsEmpty());

        window->ShowPage(QStringLiteral("TabSheetKordex"), QStringLiteral("TabSheetWrite"));
        EXPECT_EQ(write.PathChoice()->currentIndex(), -1);
        EXPECT_EQ(write.PathChoice()->count(), 0);
        EXPECT_TRUE(write.GroupBoxPathMode()->isHidden());
        EXPECT_FALSE(write.Choices().pathId.has_value());
    }
}

// The status window is a dialog of the main window: it stands over it, with
// a fixed size and no buttons in its title bar.
TEST_F(MainWindowTest, TheStatusWindowBelongsToTheMainWindow) {
    Start();
    TFormStatus& status = window->Status();
    status.Show(QStringLiteral("Чтение из устройства"), QStringLiteral("Идет чтение"), 10);
    ASSERT_NE(status.windowHandle(), nullptr);
    EXPECT_EQ(status.windowHandle()->transientParent(), window->windowHandle());
    const Qt::WindowFlags flags = status.windowFlags();
    EXPECT_FALSE(flags & (Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint |
                          Qt::WindowSystemMenuHint));
    EXPECT_EQ(status.minimumSize(), status.maximumSize());
    EXPECT_EQ(status.windowTitle(), QStringLiteral("Чтение из устройства"));
    status.Close();
}

// "--home" with nothing after it is refused with a message and status 2, as
// the command line program does; it does not fall back to the directory
// beside the program.
TEST(Kordex, RefusesAnEmptyProgramDirectory) {
    QProcess kordex;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    kordex.setProcessEnvironment(env);
    kordex.start(QStringLiteral(KORDEX_PATH), {QStringLiteral("--home"), QString()});
    ASSERT_TRUE(kordex.waitForStarted(10000));
    if (!kordex.waitForFinished(20000)) {
        kordex.kill();
        kordex.waitForFinished();
        FAIL() << "kordex --home '' started instead of refusing";
    }
    EXPECT_EQ(kordex.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(kordex.exitCode(), 2);
    EXPECT_TRUE(QString::fromLocal8Bit(kordex.readAllStandardError())
                    .contains(QStringLiteral("--home needs a directory")));
}
