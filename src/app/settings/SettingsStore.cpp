#include "SettingsStore.h"

#include <QSettings>
#include <QStringList>
#include <limits>

namespace kordex::app {

namespace {

const QString Organisation = QStringLiteral("Kordex");
const QString Application = QStringLiteral("Kordex Commander 2.0");

std::optional<qint32> ToInt32(qlonglong n) {
    if (n < std::numeric_limits<qint32>::min() || n > std::numeric_limits<qint32>::max())
        return std::nullopt;
    return static_cast<qint32>(n);
}

// The QSettings group of a key path below the program key: "" for the program
// key itself, "Ports" for its subkey Ports, "FormMain/DBGridUsers" and so on.
// Empty when the path lies outside the program key.
std::optional<QString> GroupOf(const QString& keyPath) {
    const QStringList root = ProgramKey.split(QLatin1Char('\\'), Qt::SkipEmptyParts);
    const QStringList parts = keyPath.split(QLatin1Char('\\'), Qt::SkipEmptyParts);
    if (parts.size() < root.size()) return std::nullopt;
    // Registry key names do not tell case apart.
    for (qsizetype i = 0; i < root.size(); ++i)
        if (parts[i].compare(root[i], Qt::CaseInsensitive) != 0) return std::nullopt;
    return parts.mid(root.size()).join(QLatin1Char('/'));
}

}  // namespace

QString SubKey(const QString& key, const QString& name) {
    return key + QLatin1Char('\\') + name;
}

std::optional<bool> SettingsStore::ReadBool(const QString& name) const {
    const auto n = ReadInteger(name);
    if (!n) return std::nullopt;
    return *n != 0;
}

// --- QSettingsStore ---

QSettingsStore::QSettingsStore()
#ifdef Q_OS_WIN
    : settings_(std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                            Organisation, Application))
#else
    : settings_(std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope,
                                            Organisation, Application))
#endif
{
    // Only the program's own key counts: no organisation-wide or system-wide values.
    settings_->setFallbacksEnabled(false);
}

QSettingsStore::QSettingsStore(const QString& iniFile)
    : settings_(std::make_unique<QSettings>(iniFile, QSettings::IniFormat)) {
    settings_->setFallbacksEnabled(false);
}

QSettingsStore::~QSettingsStore() {
    Close();
}

QString QSettingsStore::Location() const {
    return settings_->fileName();
}

bool QSettingsStore::Open(const QString& keyPath) {
    Close();
    const auto group = GroupOf(keyPath);
    if (!group) return false;
    // A store that cannot be written is not opened, as a registry key opened
    // for writing fails without the rights to write it.
    if (settings_->status() != QSettings::NoError || !settings_->isWritable()) return false;
    settings_->beginGroup(*group);
    open_ = true;
    return true;
}

void QSettingsStore::Close() {
    if (!open_) return;
    settings_->endGroup();
    open_ = false;
    settings_->sync();
}

bool QSettingsStore::ValueExists(const QString& name) const {
    return open_ && settings_->contains(name);
}

std::optional<qint32> QSettingsStore::ReadInteger(const QString& name) const {
    if (!open_) return std::nullopt;
    const QVariant v = settings_->value(name);
    bool ok = false;
    switch (v.typeId()) {
        case QMetaType::Int:
            return v.toInt();
        case QMetaType::UInt:
            // A registry DWORD above 0x7FFFFFFF is a negative 32-bit integer.
            return static_cast<qint32>(v.toUInt());
        case QMetaType::LongLong:
            return ToInt32(v.toLongLong());
        case QMetaType::QString: {
            // An INI file keeps every value as text.
            const qlonglong n = v.toString().trimmed().toLongLong(&ok);
            if (!ok) return std::nullopt;
            return ToInt32(n);
        }
        default:
            return std::nullopt;
    }
}

std::optional<QString> QSettingsStore::ReadString(const QString& name) const {
    if (!open_) return std::nullopt;
    const QVariant v = settings_->value(name);
    if (!v.isValid()) return std::nullopt;
    // An INI line with unquoted commas comes back as a list.
    if (v.typeId() == QMetaType::QStringList) return v.toStringList().join(QLatin1Char(','));
    if (!v.canConvert<QString>()) return std::nullopt;
    return v.toString();
}

void QSettingsStore::WriteInteger(const QString& name, qint32 value) {
    if (open_) settings_->setValue(name, static_cast<int>(value));
}

void QSettingsStore::WriteString(const QString& name, const QString& value) {
    if (open_) settings_->setValue(name, value);
}

// --- MemorySettingsStore ---

bool MemorySettingsStore::Open(const QString& keyPath) {
    Close();
    if (failing_.contains(keyPath)) return false;
    // Every key on the way is created.
    const QStringList parts = keyPath.split(QLatin1Char('\\'));
    for (qsizetype n = 1; n <= parts.size(); ++n) {
        const QString path = parts.mid(0, n).join(QLatin1Char('\\'));
        if (!keys_.contains(path)) keys_.insert(path, {});
    }
    current_ = keyPath;
    return true;
}

void MemorySettingsStore::Close() {
    current_.reset();
}

std::optional<QVariant> MemorySettingsStore::Current(const QString& name) const {
    if (!current_) return std::nullopt;
    return Get(*current_, name);
}

bool MemorySettingsStore::ValueExists(const QString& name) const {
    return Current(name).has_value();
}

std::optional<qint32> MemorySettingsStore::ReadInteger(const QString& name) const {
    const auto v = Current(name);
    if (!v || v->typeId() != QMetaType::Int) return std::nullopt;
    return v->toInt();
}

std::optional<QString> MemorySettingsStore::ReadString(const QString& name) const {
    const auto v = Current(name);
    if (!v || v->typeId() != QMetaType::QString) return std::nullopt;
    return v->toString();
}

void MemorySettingsStore::WriteInteger(const QString& name, qint32 value) {
    if (current_) keys_[*current_].insert(name, QVariant(static_cast<int>(value)));
}

void MemorySettingsStore::WriteString(const QString& name, const QString& value) {
    if (current_) keys_[*current_].insert(name, QVariant(value));
}

void MemorySettingsStore::Put(const QString& keyPath, const QString& name, const QVariant& value) {
    keys_[keyPath].insert(name, value);
}

std::optional<QVariant> MemorySettingsStore::Get(const QString& keyPath,
                                                 const QString& name) const {
    const auto key = keys_.constFind(keyPath);
    if (key == keys_.constEnd()) return std::nullopt;
    const auto it = key->constFind(name);
    if (it == key->constEnd()) return std::nullopt;
    return it.value();
}

}  // namespace kordex::app
