#include "ProgramSettings.h"

#include <algorithm>

#include "SettingsStore.h"

namespace kordex::app {

namespace {

constexpr int PortCount = 4;
constexpr int DefaultInterval = 10;
constexpr int MaxInterval = 255;
constexpr int PathModeCount = 3;

QString PortName(int digit) {
    return QStringLiteral("COM") + QString::number(digit);
}

void ReadBool(const SettingsKey& key, const QString& name, bool& value) {
    if (const auto b = key->ReadBool(name)) value = *b;
}

}  // namespace

void ProgramSettings::Load(SettingsStore& store) {
    {
        const SettingsKey key(store, ProgramKey);
        if (key) {
            const auto com = key->ReadInteger(QStringLiteral("Com"));
            if (com && *com >= 1 && *com <= PortCount) savedPort = *com;

            const auto seconds = key->ReadInteger(QStringLiteral("Interval"));
            interval = seconds ? std::clamp<qint32>(*seconds, 0, MaxInterval) : DefaultInterval;

            if (const auto mode = key->ReadInteger(QStringLiteral("PathMode")))
                pathMode = *mode >= 0 && *mode < PathModeCount ? *mode : 0;

            ReadBool(key, QStringLiteral("AutoKDAdd"), autoKDAdd);
            ReadBool(key, QStringLiteral("AutoRegAdd"), autoRegAdd);
            ReadBool(key, QStringLiteral("AutoGuardAdd"), autoGuardAdd);
            ReadBool(key, QStringLiteral("AutoPAdd"), autoPAdd);
            ReadBool(key, QStringLiteral("CheckOver"), checkOver);

            if (const auto name = key->ReadString(QStringLiteral("User"))) user = *name;
        }
    }
    const SettingsKey key(store, SubKey(ProgramKey, PortsKey));
    if (!key) return;
    for (int digit = 1; digit <= PortCount; ++digit) {
        const QString name = PortName(digit);
        const auto device = key->ReadString(name);
        if (device && !device->isEmpty()) ports.Set(name, *device);
    }
}

void ProgramSettings::Save(SettingsStore& store) const {
    {
        const SettingsKey key(store, ProgramKey);
        if (key) {
            key->WriteInteger(QStringLiteral("Com"),
                              port >= 1 && port <= PortCount ? port : NoPortValue);
            key->WriteInteger(QStringLiteral("Interval"), interval);
            key->WriteInteger(QStringLiteral("PathMode"), pathMode);
            key->WriteBool(QStringLiteral("AutoKDAdd"), autoKDAdd);
            key->WriteBool(QStringLiteral("AutoRegAdd"), autoRegAdd);
            key->WriteBool(QStringLiteral("AutoGuardAdd"), autoGuardAdd);
            key->WriteBool(QStringLiteral("AutoPAdd"), autoPAdd);
            key->WriteBool(QStringLiteral("CheckOver"), checkOver);
            if (user) key->WriteString(QStringLiteral("User"), *user);
        }
    }
    // Every port's device is written, defaults too, so that the mapping can be
    // found and edited where the settings lie.
    const SettingsKey key(store, SubKey(ProgramKey, PortsKey));
    if (!key) return;
    for (int digit = 1; digit <= PortCount; ++digit) {
        const QString name = PortName(digit);
        key->WriteString(name, ports.DeviceFor(name));
    }
}

int ProgramSettings::StartPort(const std::array<bool, 4>& exists) const {
    if (savedPort && exists[static_cast<size_t>(*savedPort - 1)]) return *savedPort;
    const auto first = std::find(exists.begin(), exists.end(), true);
    return first == exists.end() ? 0 : static_cast<int>(first - exists.begin()) + 1;
}

collector::ReadOptions ProgramSettings::ReadPageOptions() const {
    collector::ReadOptions options;
    options.autoRegAdd = autoRegAdd;
    options.autoKDAdd = autoKDAdd;
    options.autoGuardAdd = autoGuardAdd;
    options.autoPAdd = autoPAdd;
    options.checkOver = checkOver;
    return options;
}

void ProgramSettings::TakeReadPageOptions(const collector::ReadOptions& options) {
    autoRegAdd = options.autoRegAdd;
    autoKDAdd = options.autoKDAdd;
    autoGuardAdd = options.autoGuardAdd;
    autoPAdd = options.autoPAdd;
    checkOver = options.checkOver;
}

void ProgramSettings::FillWritePage(collector::WriteChoices& choices) const {
    choices.interval = interval;
    choices.mode = pathMode;
}

void ProgramSettings::TakeWritePage(const collector::WriteChoices& choices) {
    interval = choices.interval;
    pathMode = choices.mode;
}

}  // namespace kordex::app
