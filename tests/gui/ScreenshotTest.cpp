// Pictures of the main window for a person to look at: on the test page at
// start, and on the read page after the demo collector was read. They go to
// the build directory (screenshots/).
#include <QDir>
#include <QImage>
#include <QPixmap>

#include "GuiFixture.h"
#include "app/DBGrid.h"
#include "app/Demo.h"
#include "app/DevicePageWidgets.h"

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

}  // namespace

TEST_F(MainWindowTest, ScreenshotsOfTheTestAndReadPages) {
    QString error;
    ASSERT_TRUE(app::SeedDemoData(dir.path(), error)) << error.toStdString();
    sim::ApplyScenario(sim::DemoScenario(clock.Now()), collector, reader);
    Start();
    for (int i = 0; i < 6; ++i)
        window->DeviceTestPage().TimerTestTimer();
    QApplication::processEvents();
    const QString test = Saved(window.get(), QStringLiteral("main-test.png"));
    EXPECT_TRUE(HasContent(QImage(test)));

    Login(sim::DemoKeyIds().registrar, {});
    window->Action("ActionDRead")->trigger();
    ASSERT_TRUE(window->ReadPageWidget().Attached());
    QApplication::processEvents();
    const QString read = Saved(window.get(), QStringLiteral("main-read.png"));
    EXPECT_TRUE(HasContent(QImage(read)));

    prompt.Script({shell::Answer::Yes});  // the round is kept
    window->PageControl()->setCurrentWidget(
        window->findChild<QWidget*>(QStringLiteral("TabSheetUsers")));
    QApplication::processEvents();
    EXPECT_TRUE(HasContent(QImage(Saved(window.get(), QStringLiteral("main-users.png")))));
    window->ShowPage(QStringLiteral("TabSheetKordex"), QStringLiteral("TabSheetWrite"));
    QApplication::processEvents();
    EXPECT_TRUE(HasContent(QImage(Saved(window.get(), QStringLiteral("main-write.png")))));
    window->ShowPage(QStringLiteral("TabSheetEvents"), QStringLiteral("TabSheetKDEvents"));
    QApplication::processEvents();
    EXPECT_TRUE(HasContent(QImage(Saved(window.get(), QStringLiteral("main-rounds.png")))));
}
