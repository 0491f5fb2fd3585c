// bench-window: the read of bench-round through the main window: a 1000-event
// collector on a 500-point path in mode 2, read with the grids bound and a
// grid focused, so that every posted touch also runs the window's refresh of
// its commands; then the switch to all touches by date and time and back.
// Prints window_read_ms last; compare it with bench-round's
// read_store_judge_ms for the cost of the window.
//
//   bench-window [--rounds N]   rounds of 100 touches already stored (default 1000)

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <cstdio>
#include <memory>

#include "BigShift.h"
#include "app/device/TestPage.h"
#include "app/login/PasswordDialog.h"
#include "app/settings/SettingsStore.h"
#include "app/window/MainWindow.h"
#include "link/ReaderLink.h"
#include "shell/Clock.h"
#include "shell/Prompt.h"
#include "shell/StatusWindow.h"
#include "sim/Collector.h"
#include "sim/Reader.h"
#include "sim/SimPort.h"
#include "store/Rules.h"
#include "widgets/DBGrid.h"

using namespace kordex;
using namespace kordex::bench;

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    int rounds = 1000;
    const QStringList args = app.arguments();
    for (int i = 1; i + 1 < args.size(); ++i)
        if (args[i] == QLatin1String("--rounds")) rounds = args[i + 1].toInt();

    QTemporaryDir dir;
    const QDateTime written(QDate::currentDate().addDays(-1), QTime(20, 0, 0));
    shell::FakeClock clock(1000, written.addSecs(12 * 3600));
    shell::ScriptedPrompt prompt;
    shell::QtEventPump pump;
    const int pathPoints = 500;
    int pathId = 0;
    {
        // The store as years of work left it, with the path.
        shell::ScriptedStatusWindow status;
        store::TDM dm(prompt, status, clock, pump, dir.path());
        if (!dm.OpenDatabases()) return 1;
        store::Rules rules(dm);
        Fill(dm, rounds, 100, 0);
        pathId = AddBigPath(dm, pathPoints);
        dm.CloseDatabases();
    }

    sim::Collector collector(clock);
    sim::Reader reader(collector);
    sim::SimPort port(reader, clock);
    port.SetDevices({link::PortMap::DefaultDevice(QStringLiteral("COM1"))});
    LayBigShift(collector, written, clock.Now(), pathId, pathPoints);

    app::MemorySettingsStore settings;
    app::MainEnv env;
    env.prompt = &prompt;
    env.clock = &clock;
    env.pump = &pump;
    env.port = &port;
    env.settings = &settings;
    env.programDirectory = dir.path();
    app::TFormMain window(env);
    window.show();
    window.DeviceTestPage().Stop();
    window.PasswordDialog().exec = [](app::TFormPWord&) { return int(QDialog::Accepted); };
    QElapsedTimer login;
    login.start();
    window.ActionPWordExecute();
    const double loginMs = Ms(login);

    // The operator stands in the rounds grid of the journal when he starts the read.
    window.ShowPage(QStringLiteral("TabSheetEvents"), QStringLiteral("TabSheetKDEvents"));
    window.activateWindow();
    QApplication::setActiveWindow(&window);
    window.Grid(QStringLiteral("DBGridKDEvents"))->setFocus();
    QApplication::processEvents();

    QElapsedTimer t;
    t.start();
    window.Action(QStringLiteral("ActionDRead"))->trigger();
    const double ms = Ms(t);
    store::View& round = window.Dm().TableKDEvents();
    const bool ok =
        prompt.Texts().contains(QStringLiteral("Данные успешно прочитаны из устройства."));
    std::printf("stored_rounds=%d login_ms=%.1f read_ok=%d touches=%d N=%d FromN=%d\n", rounds,
                loginMs, ok ? 1 : 0, window.Dm().TableKDREvents().RecordCount(),
                round.Value("N").toInt(), round.Value("FromN").toInt());
    if (!ok) std::fprintf(stderr, "bench-window: %s\n", qPrintable(prompt.Texts().join(" | ")));
    // Keep the round, then show every touch by date and time and come back.
    prompt.Script({shell::Answer::Yes});
    window.PageControl()->setCurrentWidget(
        window.findChild<QWidget*>(QStringLiteral("TabSheetUsers")));
    QElapsedTimer d;
    d.start();
    window.ShowPage(QStringLiteral("TabSheetEvents"), QStringLiteral("TabSheetKDDEvents"));
    QApplication::processEvents();
    const double dateMs = Ms(d);
    d.restart();
    window.ShowPage(QStringLiteral("TabSheetEvents"), QStringLiteral("TabSheetKDEvents"));
    QApplication::processEvents();
    const double roundsMs = Ms(d);
    std::printf("date_page_ms=%.1f (%d touches) rounds_page_ms=%.1f\n", dateMs,
                static_cast<int>(window.Dm().TableKDREvents().PhysicalTable()->Count()), roundsMs);
    std::printf("window_read_ms=%.1f\n", ms);
    window.FormClose();
    return ok ? 0 : 1;
}
