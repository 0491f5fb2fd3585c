// Pictures of the main window for a person to look at: the password dialog,
// the test page before and after a login, the read page after the demo
// collector and after a full collector were read, at the design size and
// maximised, the other pages, and the column dialog. They go to the build directory
// (screenshots/).
#include <QDir>
#include <QImage>
#include <QListWidget>
#include <QPixmap>

#include "GuiFixture.h"
#include "app/device/DevicePageWidgets.h"
#include "app/layout/ColumnDialog.h"
#include "app/login/PasswordDialog.h"
#include "app/window/Demo.h"
#include "widgets/DBGrid.h"

using namespace kordex;
using kordex::gui::MainWindowTest;

namespace {

QString Saved(QWidget* w, const QString& name) {
    QDir().mkpath(QStringLiteral(KORDEX_SCREENSHOT_DIR));
    const QString path = QStringLiteral(KORDEX_SCREENSHOT_DIR "/") + name;
    const QImage image = w->grab().toImage();
    EXPECT_TRUE(image.save(path)) << path.toStdString();
    return path;
}

// Whether an image holds more than one colour in its middle band: a window
// drawn with nothing on it would not.
bool HasContent(const QImage& image) {
    const QRgb first = image.pixel(image.width() / 2, image.height() / 2);
    for (int y = image.height() / 4; y < image.height() * 3 / 4; y += 3)
        for (int x = 0; x < image.width(); x += 3)
            if (image.pixel(x, y) != first) return true;
    return false;
}

class ScreenshotTest : public MainWindowTest {
protected:
    void Shoot(QWidget* w, const char* name) {
        QApplication::processEvents();
        EXPECT_TRUE(HasContent(QImage(Saved(w, QString::fromLatin1(name))))) << name;
    }
    void TestTicks() {
        for (int i = 0; i < 6; ++i)
            window->DeviceTestPage().TimerTestTimer();
    }
};

}  // namespace

TEST_F(ScreenshotTest, TheTestAndReadPagesAndTheLogin) {
    QString error;
    ASSERT_TRUE(app::SeedDemoData(dir.path(), error)) << error.toStdString();
    sim::ApplyScenario(sim::DemoScenario(clock.Now()), collector, reader);
    Start();
    TestTicks();
    Shoot(window.get(), "main-test.png");

    // The password dialog as the operator sees it, a name chosen.
    app::TFormPWord& d = window->PasswordDialog();
    d.exec = [this](app::TFormPWord& dialog) {
        dialog.DBLookupComboBoxName()->SetKeyValue(sim::DemoKeyIds().registrar);
        dialog.show();
        Shoot(&dialog, "password.png");
        dialog.hide();
        return int(QDialog::Accepted);
    };
    window->ActionPWordExecute();
    TestTicks();
    Shoot(window.get(), "main-test-login.png");

    window->Action("ActionDRead")->trigger();
    ASSERT_TRUE(window->ReadPageWidget().Attached());
    Shoot(window.get(), "main-read.png");

    prompt.Script({shell::Answer::Yes});  // the round is kept
    window->PageControl()->setCurrentWidget(
        window->findChild<QWidget*>(QStringLiteral("TabSheetUsers")));
    Shoot(window.get(), "main-users.png");
    window->ShowPage(QStringLiteral("TabSheetKordex"), QStringLiteral("TabSheetWrite"));
    Shoot(window.get(), "main-write.png");
    window->ShowPage(QStringLiteral("TabSheetEvents"), QStringLiteral("TabSheetKDEvents"));
    Shoot(window.get(), "main-rounds.png");
    window->ShowPage(QStringLiteral("TabSheetEvents"), QStringLiteral("TabSheetKDDEvents"));
    Shoot(window.get(), "main-by-date.png");
}

TEST_F(ScreenshotTest, TheReadPageAfterAFullCollectorAtDesignSizeAndMaximised) {
    QString error;
    ASSERT_TRUE(app::SeedDemoData(dir.path(), error)) << error.toStdString();
    sim::ApplyScenario(sim::GeneratedScenario(1000, clock.Now()), collector, reader);
    Start();
    Login(sim::DemoKeyIds().registrar, {});
    window->Action("ActionDRead")->trigger();
    ASSERT_TRUE(window->ReadPageWidget().Attached());
    EXPECT_EQ(window->ReadPageWidget().TouchGrid()->Model()->rowCount(), 1000);
    Shoot(window.get(), "main-read-1000.png");
    window->showMaximized();
    QApplication::processEvents();
    Shoot(window.get(), "main-read-1000-maximised.png");
    prompt.Script({shell::Answer::No});  // the round is dropped at close
}

// The column dialog over the users' grid, one column and one title in
// colours and fonts of their own, and the grid after "&Применить".
TEST_F(ScreenshotTest, TheColumnDialog) {
    QString error;
    ASSERT_TRUE(app::SeedDemoData(dir.path(), error)) << error.toStdString();
    Start();
    Login(sim::DemoKeyIds().registrar, {});
    window->ShowPage(QStringLiteral("TabSheetUsers"));
    auto* grid = window->Grid(QStringLiteral("DBGridUsers"));
    QApplication::setActiveWindow(window.get());
    grid->setFocus();
    QApplication::processEvents();
    window->ActionRefresh(true);

    app::TFormTableCols& d = window->TableColsDialog();
    d.pickColor = [](widgets::ColorValue) { return widgets::ColorValue{0x00C0FFFF}; };
    d.pickFont = [](const widgets::GridFont& start) {
        widgets::GridFont f = start;
        f.bold = true;
        f.italic = true;
        f.color = 0x000000C0;
        return std::optional<widgets::GridFont>(f);
    };
    d.exec = [this](app::TFormTableCols& dialog) {
        dialog.show();
        dialog.CheckListBoxCols()->setCurrentRow(1);
        dialog.ActionColColorExecute();
        dialog.ActionColFontExecute();
        dialog.CheckListBoxCols()->item(2)->setCheckState(Qt::Unchecked);
        dialog.CheckListBoxCols()->setCurrentRow(0);
        dialog.ActionColTFontExecute();
        Shoot(&dialog, "table-cols.png");
        dialog.ButtonOk()->click();
        dialog.hide();
        return 0;
    };
    window->Action(QStringLiteral("ActionTableProperty"))->trigger();
    Shoot(window.get(), "main-users-columns.png");
}
