// The whole main window over the in-process simulated reader, on a fake
// clock, with scripted message boxes and settings in memory.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <memory>

#include "app/DataWidgets.h"
#include "app/MainWindow.h"
#include "app/PasswordDialog.h"
#include "app/SettingsStore.h"
#include "app/TestPage.h"
#include "link/ReaderLink.h"
#include "shell/Clock.h"
#include "shell/Prompt.h"
#include "sim/Collector.h"
#include "sim/Reader.h"
#include "sim/Scenario.h"
#include "sim/SimPort.h"
#include "store/DataModule.h"

namespace kordex::gui {

class MainWindowTest : public ::testing::Test {
protected:
    MainWindowTest() : collector(clock), reader(collector), port(reader, clock) {
        // Only COM1 exists.
        port.SetDevices({link::PortMap::DefaultDevice(QStringLiteral("COM1"))});
        collector.SetId(sim::DemoKeyIds().collector);
        collector.SetBattery(100);
    }
    ~MainWindowTest() override { Stop(); }

    void Start(bool show = true) {
        app::MainEnv env;
        env.prompt = &prompt;
        env.clock = &clock;
        env.pump = &pump;
        env.port = &port;
        env.settings = &settings;
        env.programDirectory = dir.path();
        window = std::make_unique<app::TFormMain>(env);
        // The device test polls only when a test asks it to.
        window->DeviceTestPage().Stop();
        if (show) {
            window->show();
            QApplication::processEvents();
        }
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

    QTemporaryDir dir;
    shell::FakeClock clock;
    shell::ScriptedPrompt prompt;
    shell::QtEventPump pump;
    sim::Collector collector;
    sim::Reader reader;
    sim::SimPort port;
    app::MemorySettingsStore settings;
    std::unique_ptr<app::TFormMain> window;
};

}  // namespace kordex::gui
