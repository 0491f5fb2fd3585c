#pragma once

#include <QString>
#include <QStringList>
#include <memory>

#include "link/SerialPort.h"

namespace kordex::sim {
class PtyServer;
}  // namespace kordex::sim

namespace kordex::app {

// Names the demo's reference data give the keys of the demo collector.
namespace demo {
inline const QString RegistrarName = QStringLiteral("Иванов И.И.");
inline const QString GuardName = QStringLiteral("Петров П.П.");
inline const QString IncidentName = QStringLiteral("Открыта дверь");
inline const QString CollectorName = QStringLiteral("Kordex №1");
inline const QString PathName = QStringLiteral("Обход территории");
// The check points of the demo path, in its order.
const QStringList& PointNames();
inline const QString NotAvailable =
    QStringLiteral("Демонстрационный режим в этой системе недоступен !");
}  // namespace demo

// The shift the demo guard walks after every write of the demo collector:
// the path's points with the second and third swapped (one point out of
// order), and the incident after the fourth.
QStringList DemoShiftKeys();

// Writes the demo's reference data into the store of a program directory
// (creating its database directories and tables as the program does): the
// registrar (administrator, empty password), the guard, the check points of
// the demo path, the incident, the collector, and the path with its points in
// order, under the keys of the demo collector. All of it or nothing; a store
// whose Users.DB holds rows already is left as it is. False with the reason
// when the store cannot be opened or a row is refused.
bool SeedDemoData(const QString& programDirectory, QString& error);

// The program's demo mode: a program directory of its own, seeded on first
// use, and the simulated reader with the demo collector on a pseudo-terminal
// served inside the process, for COM1.
//
//   DemoSession demo;
//   QString error;
//   if (!demo.Start(DemoSession::DefaultDirectory(), error)) ... show error
//   env.programDirectory = demo.ProgramDirectory();
//   env.ports = demo.Ports();
//   QSettingsStore settings(demo.SettingsFile());
//
// The program's own directory and its settings are never touched.
class DemoSession {
public:
    DemoSession();
    // Stops the reader.
    ~DemoSession();
    DemoSession(const DemoSession&) = delete;
    DemoSession& operator=(const DemoSession&) = delete;

    // "Kordex/demo" in the user's data directory (~/.local/share on Linux),
    // whatever the application's name.
    static QString DefaultDirectory();

    // Creates the directory, seeds its store on first use, presets the demo
    // settings that are not set yet (path mode "В порядке маршрута обхода",
    // the registrar preselected at login) and starts the simulated reader
    // with the demo collector as of now. A running session is stopped first.
    // False with the reason (the reader is not running then).
    bool Start(const QString& directory, QString& error);
    // Stops the reader; the directory stays. Safe to call again.
    void Stop();
    bool IsRunning() const;

    // The demo's program directory (absolute, with '/' separators).
    const QString& ProgramDirectory() const { return directory_; }
    // The terminal the simulated reader answers on; empty when not running.
    QString DevicePath() const;
    // The port mapping for the run: COM1 is the simulated reader.
    link::PortMap Ports() const;
    // The demo's own settings file in its directory.
    QString SettingsFile() const;
    // The running reader, for changes to it (null when not running).
    sim::PtyServer* Server() const;

private:
    struct Line;
    std::unique_ptr<Line> line_;
    QString directory_;
};

}  // namespace kordex::app
