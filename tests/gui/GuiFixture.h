// The whole main window over the in-process simulated reader, on a fake
// clock, with scripted message boxes and settings in memory.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <memory>

#include "app/device/TestPage.h"
#include "app/login/PasswordDialog.h"
#include "app/settings/SettingsStore.h"
#include "app/window/MainWindow.h"
#include "link/ReaderLink.h"
#include "shell/Clock.h"
#include "shell/Prompt.h"
#include "sim/Collector.h"
#include "sim/Reader.h"
#include "sim/Scenario.h"
#include "sim/SimPort.h"
#include "store/DataModule.h"
#include "widgets/DataWidgets.h"

namespace kordex::gui {

// Keys of the registrars the tests add: an administrator and one other.
inline const QString AdminKey = sim::TouchKeyText(0x00A1B2C3);
inline const QString RegistrarKey = sim::TouchKeyText(0x00D4E5F6);

// Types text as the keyboard sends it, into whatever has the focus.
inline void Type(const QString& text) {
    for (const QChar ch : text) {
        QWidget* target = QApplication::focusWidget();
        ASSERT_NE(target, nullptr);
        QKeyEvent down(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(ch));
        QApplication::sendEvent(target, &down);
        QKeyEvent up(QEvent::KeyRelease, Qt::Key_unknown, Qt::NoModifier, QString(ch));
        QApplication::sendEvent(QApplication::focusWidget(), &up);
    }
}

class MainWindowTest : public ::testing::Test {
protected:
    MainWindowTest() : collector(clock), reader(collector), port(reader, clock) {
        // Only COM1 exists.
        port.SetDevices({link::PortMap::DefaultDevice(QStringLiteral("COM1"))});
        collector.SetId(sim::DemoKeyIds().collector);
        collector.SetBattery(100);
    }
    ~MainWindowTest() override { Stop(); }

    void Start() {
        app::MainEnv env;
        env.prompt = boxes != nullptr ? boxes : &prompt;
        env.clock = &clock;
        env.pump = &pump;
        env.port = &port;
        env.settings = store != nullptr ? store : &settings;
        env.programDirectory = dir.path();
        window = std::make_unique<app::TFormMain>(env);
        // The device test polls only when a test asks it to.
        window->DeviceTestPage().Stop();
        window->show();
        QApplication::processEvents();
    }
    // An orderly close, as from the window's frame.
    void Close() {
        if (!window) return;
        window->close();
        window.reset();
    }
    void Stop() {
        if (window) window->FormClose();
        window.reset();
    }

    // The login with the dialog played: the name chosen by key (empty: none)
    // and the password typed; false: the dialog is cancelled.
    void Login(const QString& key, const QString& password, bool ok = true) {
        app::TFormPWord& d = window->PasswordDialog();
        d.exec = [key, password, ok](app::TFormPWord& dialog) {
            if (!key.isEmpty()) dialog.DBLookupComboBoxName()->SetKeyValue(key);
            dialog.EditPWord()->setText(password);
            return ok ? int(QDialog::Accepted) : int(QDialog::Rejected);
        };
        window->ActionPWordExecute();
    }

    store::TDM& Dm() { return window->Dm(); }

    // A registrar (or a guard) posted through the users view.
    void AddUser(const QString& key, const QString& name, const QString& password,
                 std::initializer_list<const char*> rights, bool registrar = true) {
        store::View& users = Dm().TableUsers();
        users.Append();
        users.SetValue(QStringLiteral("Key"), key);
        users.SetValue(QStringLiteral("Name"), name);
        users.SetValue(QStringLiteral("Passwrd"), password);
        users.SetValue(QStringLiteral("IsRegister"), registrar);
        for (const char* r : rights)
            users.SetValue(QString::fromLatin1(r), true);
        users.Post();
    }

    // Whether a page can be reached: its tab shows, and so does its parent's.
    bool PageShown(const QString& name) const {
        auto* page = window->findChild<QWidget*>(name);
        if (page == nullptr) return false;
        for (QTabWidget* t : window->findChildren<QTabWidget*>()) {
            const int i = t->indexOf(page);
            if (i < 0) continue;
            if (!t->isTabVisible(i)) return false;
            for (QWidget* up = t->parentWidget(); up != nullptr; up = up->parentWidget())
                if (up->objectName().startsWith(QLatin1String("TabSheet")))
                    return PageShown(up->objectName());
            return true;
        }
        return false;
    }

    // Those of the pages that can be reached, in the order given.
    QStringList ShownPages(const QStringList& pages) const {
        QStringList out;
        for (const QString& p : pages)
            if (PageShown(p)) out << p;
        return out;
    }

    QTemporaryDir dir;
    shell::FakeClock clock;
    shell::ScriptedPrompt prompt;
    shell::Prompt* boxes = nullptr;  // set: the window asks it instead of prompt
    shell::QtEventPump pump;
    sim::Collector collector;
    sim::Reader reader;
    sim::SimPort port;
    app::MemorySettingsStore settings;
    app::SettingsStore* store = nullptr;  // set: the window keeps its settings there instead
    std::unique_ptr<app::TFormMain> window;
};

}  // namespace kordex::gui
