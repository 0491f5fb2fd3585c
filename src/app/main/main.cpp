// kordex: the program. "--demo" runs it against a simulated reader on COM1
// in a demo program directory of its own, with reference data to match.
#include <QAction>
#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <cstdio>
#include <exception>

#include "app/settings/SettingsStore.h"
#include "app/window/Demo.h"
#include "app/window/MainWindow.h"
#include "app/window/Startup.h"
#if KORDEX_SIM_PTY
#include "sim/PtyReader.h"
#endif

namespace {

// Errors that escape an event handler end here instead of ending the program.
class KordexApplication : public QApplication {
public:
    using QApplication::QApplication;
    kordex::app::TFormMain* window = nullptr;

    bool notify(QObject* receiver, QEvent* event) override {
        try {
            return QApplication::notify(receiver, event);
        } catch (const std::exception& e) {
            const QString text = QString::fromUtf8(e.what());
            if (window != nullptr)
                window->MyException(text);
            else
                std::fprintf(stderr, "kordex: %s\n", e.what());
        }
        return false;
    }
};

}  // namespace

int main(int argc, char** argv) {
    KordexApplication app(argc, argv);
    kordex::app::InitApplication(app);

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Kordex Коммандер"));
    parser.addHelpOption();
    const QCommandLineOption demo(
        QStringLiteral("demo"),
        QStringLiteral("Run with a simulated reader on COM1 in a demo program directory."));
    const QCommandLineOption home(
        QStringLiteral("home"), QStringLiteral("Program directory (default: beside the program)."),
        QStringLiteral("dir"));
    parser.addOption(demo);
    parser.addOption(home);
    parser.process(app);
    // An empty directory is a mistake, not the directory beside the program.
    if (parser.isSet(home) && parser.value(home).trimmed().isEmpty()) {
        std::fprintf(stderr, "kordex: --home needs a directory\n");
        return 2;
    }

    kordex::app::MainEnv env;
    env.programDirectory = parser.value(home);
    kordex::app::DemoSession session;
    std::unique_ptr<kordex::app::SettingsStore> demoSettings;
    if (parser.isSet(demo)) {
        QString error;
        const QString dir = env.programDirectory.isEmpty()
                                ? kordex::app::DemoSession::DefaultDirectory()
                                : env.programDirectory;
        if (!session.Start(dir, error)) {
            std::fprintf(stderr, "kordex: %s\n", qPrintable(error));
            QMessageBox::critical(nullptr, kordex::app::MainCaption, error);
            return 1;
        }
        env.programDirectory = session.ProgramDirectory();
        demoSettings = std::make_unique<kordex::app::QSettingsStore>(session.SettingsFile());
        env.settings = demoSettings.get();
        // Only COM1 is there: the simulated reader.
        kordex::link::PortMap ports = session.Ports();
        for (const char* other : {"COM2", "COM3", "COM4"})
            ports.Set(QString::fromLatin1(other), QString());
        env.ports = ports;
        std::printf("kordex: demo in %s, simulated reader on %s\n",
                    qPrintable(QDir::toNativeSeparators(session.ProgramDirectory())),
                    qPrintable(session.DevicePath()));
        std::fflush(stdout);
    }

    int result = 0;
    {
        kordex::app::TFormMain window(std::move(env));
        app.window = &window;
        if (parser.isSet(demo)) {
            window.ActionCOMExecute(1);  // the simulated reader
            // The demo's own menu: take the simulated collector out of the
            // reader and put it back, as an operator does with the real one.
            QMenu* menu = window.menuBar()->addMenu(QStringLiteral("&Демо"));
            menu->setObjectName(QStringLiteral("MenuDemo"));
            QAction* inReader = menu->addAction(QStringLiteral("Kordex в устройстве &чтения"));
            inReader->setObjectName(QStringLiteral("ActionDemoCollectorIn"));
            inReader->setCheckable(true);
            inReader->setChecked(true);
#if KORDEX_SIM_PTY
            QObject::connect(inReader, &QAction::toggled, &window, [&session](bool in) {
                if (session.Server() != nullptr) session.Server()->SetCollectorPresent(in);
            });
#endif
        }
        window.show();
        result = QApplication::exec();
        app.window = nullptr;
    }
    session.Stop();
    return result;
}
