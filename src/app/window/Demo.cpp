#include "Demo.h"

#include <QDateTime>
#include <QDir>
#include <QStandardPaths>

#include "app/settings/SettingsStore.h"
#include "shell/Clock.h"
#include "shell/Prompt.h"
#include "shell/StatusWindow.h"
#include "sim/Scenario.h"
#include "store/DataModule.h"
#include "store/Rules.h"

#if KORDEX_SIM_PTY
#include "sim/PtyReader.h"
#endif

namespace kordex::app {

namespace {

const QString Key = QStringLiteral("Key");
const QString Name = QStringLiteral("Name");
const QString SettingsFileName = QStringLiteral("Kordex Commander 2.0.ini");

// The path number the demo collector carries.
int DemoPathId() {
    return sim::DemoScenario(QDateTime::currentDateTime()).path->id;
}

// Appends a row with the given values and posts it; a refused post leaves nothing pending.
void Post(store::View& view, std::initializer_list<std::pair<QString, QVariant>> values) {
    view.Append();
    try {
        for (const auto& [field, value] : values)
            view.SetValue(field, value);
        view.Post();
    } catch (...) {
        view.Cancel();
        throw;
    }
}

void SeedRows(store::TDM& dm) {
    const sim::DemoKeys& k = sim::DemoKeyIds();
    const QStringList& names = demo::PointNames();

    Post(dm.TableUsers(), {{Key, k.registrar},
                           {Name, demo::RegistrarName},
                           {QStringLiteral("Passwrd"), QString()},
                           {QStringLiteral("IsRegister"), true},
                           {QStringLiteral("IsAdmin"), true}});
    Post(dm.TableUsers(), {{Key, k.guard},
                           {Name, demo::GuardName},
                           {QStringLiteral("IsRegister"), false},
                           {QStringLiteral("IsAdmin"), false}});
    for (qsizetype i = 0; i < k.points.size(); ++i)
        Post(dm.TablePoints(), {{Key, k.points[i]}, {Name, names.value(i)}});
    Post(dm.TablePrBook(), {{Key, k.incident}, {Name, demo::IncidentName}});
    Post(dm.TableKDs(), {{Key, k.collector}, {Name, demo::CollectorName}});

    store::View& paths = dm.TablePathes();
    Post(paths, {{Name, demo::PathName}});
    const int pathId = paths.Value(QStringLiteral("ID")).toInt();
    if (pathId != DemoPathId())
        throw store::Error(
            QStringLiteral("Маршрут демонстрации получил номер %1 вместо %2: в каталоге "
                           "остались маршруты прежних данных !")
                .arg(pathId)
                .arg(DemoPathId()));
    paths.Locate(QStringLiteral("ID"), pathId);
    for (const QString& point : k.points)
        Post(dm.TablePPathes(), {{QStringLiteral("PathID"), pathId}, {Key, point}});
}

// What the store said when it refused: its messages, or the error's text.
QString Reason(const shell::ScriptedPrompt& prompt, const QString& fallback) {
    if (prompt.Texts().isEmpty()) return fallback;
    QString said = prompt.Texts().join(QLatin1Char(' '));
    return said.replace(QLatin1Char('\r'), QLatin1Char(' '));
}

// The settings a newcomer needs and has not chosen otherwise: the path mode
// of the demo path, and the registrar offered at login.
void PresetSettings(const QString& file) {
    QSettingsStore settings(file);
    const SettingsKey key(settings, ProgramKey);
    if (!key) return;
    if (!key->ValueExists(QStringLiteral("PathMode")))
        key->WriteInteger(QStringLiteral("PathMode"),
                          sim::DemoScenario(QDateTime::currentDateTime()).path->mode);
    if (!key->ValueExists(QStringLiteral("User")))
        key->WriteString(QStringLiteral("User"), sim::DemoKeyIds().registrar);
}

}  // namespace

const QStringList& demo::PointNames() {
    static const QStringList names = {QStringLiteral("Проходная"), QStringLiteral("Склад №1"),
                                      QStringLiteral("Склад №2"), QStringLiteral("Гараж"),
                                      QStringLiteral("Котельная")};
    return names;
}

QStringList DemoShiftKeys() {
    const sim::DemoKeys& k = sim::DemoKeyIds();
    QStringList keys = k.points;
    keys.swapItemsAt(1, 2);
    keys.insert(4, k.incident);
    return keys;
}

bool SeedDemoData(const QString& programDirectory, QString& error) {
    shell::ScriptedPrompt prompt(shell::DefaultAnswer::Negative);
    shell::ScriptedStatusWindow status;
    shell::SystemClock clock;
    shell::HookPump pump;
    try {
        store::TDM dm(prompt, status, clock, pump, programDirectory);
        if (!dm.OpenDatabases()) {
            error = Reason(prompt, QStringLiteral("Ошибка при открытии баз данных !"));
            return false;
        }
        if (store::TDM::HasRows(dm.TableUsers())) return true;
        store::Rules rules(dm);
        store::Database& db = dm.Database();
        db.Begin();
        try {
            SeedRows(dm);
        } catch (...) {
            db.Rollback();
            throw;
        }
        db.Commit();
    } catch (const store::Abort&) {
        error = Reason(prompt, QStringLiteral("Данные демонстрации не записаны !"));
        return false;
    } catch (const store::Error& e) {
        error = e.Message();
        return false;
    }
    return true;
}

// --- DemoSession ---

#if KORDEX_SIM_PTY
struct DemoSession::Line {
    explicit Line(const sim::Scenario& scenario) : server(scenario) {}
    sim::PtyServer server;
};
#else
struct DemoSession::Line {};
#endif

DemoSession::DemoSession() = default;

DemoSession::~DemoSession() {
    Stop();
}

QString DemoSession::DefaultDirectory() {
    // The generic location: the application's name must not move the demo.
    QString base = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (base.isEmpty()) base = QDir::homePath();
    return QDir(base).filePath(QStringLiteral("Kordex/demo"));
}

bool DemoSession::Start(const QString& directory, QString& error) {
    Stop();
#if !KORDEX_SIM_PTY
    (void)directory;
    error = demo::NotAvailable;
    return false;
#else
    directory_ = QDir::cleanPath(QDir::fromNativeSeparators(
        QDir(directory.isEmpty() ? DefaultDirectory() : directory).absolutePath()));
    if (!QDir().mkpath(directory_)) {
        error = QStringLiteral("Невозможно создать каталог демонстрации %1 !")
                    .arg(QDir::toNativeSeparators(directory_));
        return false;
    }
    if (!SeedDemoData(directory_, error)) return false;
    PresetSettings(SettingsFile());

    auto line = std::make_unique<Line>(sim::DemoScenario(QDateTime::currentDateTime()));
    line->server.SetShiftAfterWrite(DemoShiftKeys());
    QString why;
    if (!line->server.Start(why)) {
        error = QStringLiteral("Невозможно запустить имитатор устройства чтения: %1").arg(why);
        return false;
    }
    line_ = std::move(line);
    return true;
#endif
}

void DemoSession::Stop() {
    line_.reset();  // the server stops and its thread is joined
}

bool DemoSession::IsRunning() const {
    return Server() != nullptr && Server()->Running();
}

QString DemoSession::DevicePath() const {
    return Server() != nullptr ? Server()->SlavePath() : QString();
}

link::PortMap DemoSession::Ports() const {
    link::PortMap ports;
    if (Server() != nullptr) ports.Set(QStringLiteral("COM1"), Server()->SlavePath());
    return ports;
}

QString DemoSession::SettingsFile() const {
    return directory_.isEmpty() ? QString() : QDir(directory_).filePath(SettingsFileName);
}

sim::PtyServer* DemoSession::Server() const {
#if KORDEX_SIM_PTY
    return line_ ? &line_->server : nullptr;
#else
    return nullptr;
#endif
}

}  // namespace kordex::app
