#include "WindowSettings.h"

#include "SettingsStore.h"

namespace kordex::app {

namespace {

constexpr int StateNormal = 0;
constexpr int StateMinimised = 1;
constexpr int StateMaximised = 2;

}  // namespace

FormPlacement FormPlacement::Of(const QRect& bounds, Qt::WindowStates states) {
    FormPlacement p;
    p.left = bounds.x();
    p.top = bounds.y();
    p.width = bounds.width();
    p.height = bounds.height();
    p.state = WindowStateValue(states);
    return p;
}

void FormPlacement::Load(SettingsStore& store, const QString& formName) {
    Load(store, ProgramKey, formName);
}

void FormPlacement::Load(SettingsStore& store, const QString& programKey, const QString& formName) {
    const SettingsKey key(store, SubKey(programKey, formName));
    if (!key) return;
    left = key->ReadInteger(QStringLiteral("Left"));
    top = key->ReadInteger(QStringLiteral("Top"));
    height = key->ReadInteger(QStringLiteral("Height"));
    width = key->ReadInteger(QStringLiteral("Width"));
    state = key->ReadInteger(QStringLiteral("State"));
}

void FormPlacement::Save(SettingsStore& store, const QString& formName, bool dialogBorder) const {
    Save(store, ProgramKey, formName, dialogBorder);
}

void FormPlacement::Save(SettingsStore& store, const QString& programKey, const QString& formName,
                         bool dialogBorder) const {
    const SettingsKey key(store, SubKey(programKey, formName));
    if (!key) return;
    const auto write = [&key](const char* name, const std::optional<int>& value) {
        if (value) key->WriteInteger(QString::fromLatin1(name), *value);
    };
    write("Left", left);
    write("Top", top);
    if (dialogBorder) return;
    write("Height", height);
    write("Width", width);
    write("State", state);
}

QRect FormBounds(const FormPlacement& saved, const QSize& designSize, bool dialogBorder,
                 const QRect& screen) {
    // Wide arithmetic: stored values may be anything a 32-bit integer holds.
    qint64 w = designSize.width();
    qint64 h = designSize.height();
    if (!dialogBorder) {
        if (saved.height) h = *saved.height;
        if (saved.width) w = *saved.width;
    }
    qint64 sw = screen.width();
    qint64 sh = screen.height();
    // Positions relative to the screen's top left corner.
    qint64 l = saved.left ? qint64{*saved.left} - screen.x() : (sw - w) / 2;
    qint64 t = saved.top ? qint64{*saved.top} - screen.y() : (sh - h) / 2;

    if (h == 0 || w == 0) {
        sw = sw * 4 / 5;
        sh = sh * 2 / 3;
    }
    if (l + w > sw) l = sw - w;
    if (l < 0) l = 0;
    if (t + h > sh) t = sh - h;
    if (t < 0) t = 0;
    if (h < 1 || t + h > sh) h = sh - t;
    if (w < 1 || l + w > sw) w = sw - l;
    return QRect(static_cast<int>(screen.x() + l), static_cast<int>(screen.y() + t),
                 static_cast<int>(w), static_cast<int>(h));
}

std::optional<Qt::WindowState> WindowStateFromValue(int value) {
    switch (value) {
        case StateNormal:
            return Qt::WindowNoState;
        case StateMinimised:
            return Qt::WindowMinimized;
        case StateMaximised:
            return Qt::WindowMaximized;
        default:
            return std::nullopt;
    }
}

int WindowStateValue(Qt::WindowStates states) {
    if (states.testFlag(Qt::WindowMinimized)) return StateMinimised;
    if (states.testFlag(Qt::WindowMaximized)) return StateMaximised;
    return StateNormal;
}

}  // namespace kordex::app
