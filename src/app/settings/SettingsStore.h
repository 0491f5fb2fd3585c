#pragma once

#include <QMap>
#include <QSet>
#include <QString>
#include <QVariant>
#include <memory>
#include <optional>

class QSettings;

namespace kordex::app {

// The program key below the current user's root. Settings lie in it, the
// port mapping and the window layout in its subkeys.
inline const QString ProgramKey = QStringLiteral("Software\\Kordex\\Kordex Commander 2.0");

// key + "\" + name.
QString SubKey(const QString& key, const QString& name);

// The per-user store of settings, one key open at a time: open a key path
// (creating the missing keys on the way), test, read and write its values,
// close it. Booleans are kept as the integers 0 and 1.
class SettingsStore {
public:
    virtual ~SettingsStore() = default;

    // Opens the key path below the user's root, closing a key left open.
    // False: the key cannot be used, and the caller skips its values without a word.
    virtual bool Open(const QString& keyPath) = 0;
    // Safe to call when nothing is open.
    virtual void Close() = 0;

    virtual bool ValueExists(const QString& name) const = 0;
    // Empty when the value is missing or is not a 32-bit integer.
    virtual std::optional<qint32> ReadInteger(const QString& name) const = 0;
    virtual std::optional<QString> ReadString(const QString& name) const = 0;
    virtual void WriteInteger(const QString& name, qint32 value) = 0;
    virtual void WriteString(const QString& name, const QString& value) = 0;

    // Any non-zero integer reads as true.
    std::optional<bool> ReadBool(const QString& name) const;
    void WriteBool(const QString& name, bool value) { WriteInteger(name, value ? 1 : 0); }
};

// An open key for the length of a scope: closed however the scope is left.
class SettingsKey {
public:
    SettingsKey(SettingsStore& store, const QString& keyPath)
        : store_(store), open_(store.Open(keyPath)) {}
    ~SettingsKey() { store_.Close(); }
    SettingsKey(const SettingsKey&) = delete;
    SettingsKey& operator=(const SettingsKey&) = delete;

    explicit operator bool() const { return open_; }
    SettingsStore* operator->() const { return &store_; }

private:
    SettingsStore& store_;
    bool open_;
};

// The store over QSettings. The program key is the root of the QSettings
// object and each subkey one of its groups ("Ports", "FormMain", ...): on
// Windows the registry key HKEY_CURRENT_USER\Software\Kordex\Kordex Commander 2.0,
// elsewhere the INI file "Kordex/Kordex Commander 2.0.ini" in the user's
// configuration directory (~/.config on Linux). Key paths outside the program
// key cannot be opened.
class QSettingsStore : public SettingsStore {
public:
    // The user's own store.
    QSettingsStore();
    // An INI file of its own (a demo run, tests).
    explicit QSettingsStore(const QString& iniFile);
    ~QSettingsStore() override;

    // Where the values go: the INI file's path, or the registry path on Windows.
    QString Location() const;

    bool Open(const QString& keyPath) override;
    void Close() override;
    bool ValueExists(const QString& name) const override;
    std::optional<qint32> ReadInteger(const QString& name) const override;
    std::optional<QString> ReadString(const QString& name) const override;
    void WriteInteger(const QString& name, qint32 value) override;
    void WriteString(const QString& name, const QString& value) override;

private:
    std::unique_ptr<QSettings> settings_;
    bool open_ = false;
};

// The store in memory, for tests: key path → value name → value. Values keep
// their types as a registry does, so an integer read of a string finds nothing.
// Names are matched exactly.
class MemorySettingsStore : public SettingsStore {
public:
    bool Open(const QString& keyPath) override;
    void Close() override;
    bool ValueExists(const QString& name) const override;
    std::optional<qint32> ReadInteger(const QString& name) const override;
    std::optional<QString> ReadString(const QString& name) const override;
    void WriteInteger(const QString& name, qint32 value) override;
    void WriteString(const QString& name, const QString& value) override;

    // Opening this key path fails from now on.
    void FailOpen(const QString& keyPath) { failing_.insert(keyPath); }
    void Put(const QString& keyPath, const QString& name, const QVariant& value);
    std::optional<QVariant> Get(const QString& keyPath, const QString& name) const;
    bool HasKey(const QString& keyPath) const { return keys_.contains(keyPath); }
    bool IsOpen() const { return current_.has_value(); }

private:
    std::optional<QVariant> Current(const QString& name) const;

    QMap<QString, QMap<QString, QVariant>> keys_;
    QSet<QString> failing_;
    std::optional<QString> current_;
};

}  // namespace kordex::app
