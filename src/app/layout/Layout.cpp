#include "Layout.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <algorithm>

#include "app/settings/SettingsStore.h"
#include "app/settings/WindowSettings.h"

namespace kordex::app {

using widgets::ColumnLook;
using widgets::GridFont;
using widgets::GridLook;

void ReadFont(GridFont& font, SettingsStore& store, const QString& keyPath) {
    const SettingsKey key(store, keyPath);
    if (!key) return;
    if (auto v = key->ReadString(QStringLiteral("Name"))) font.name = *v;
    if (auto v = key->ReadInteger(QStringLiteral("Charset"))) font.charset = *v;
    if (auto v = key->ReadInteger(QStringLiteral("Size"))) font.size = *v;
    if (auto v = key->ReadInteger(QStringLiteral("Color"))) font.color = *v;
    if (auto v = key->ReadBool(QStringLiteral("fsBold"))) font.bold = *v;
    if (auto v = key->ReadBool(QStringLiteral("fsItalic"))) font.italic = *v;
    if (auto v = key->ReadBool(QStringLiteral("fsUnderline"))) font.underline = *v;
    if (auto v = key->ReadBool(QStringLiteral("fsStrikeOut"))) font.strikeOut = *v;
}

void WriteFont(const GridFont& font, SettingsStore& store, const QString& keyPath) {
    const SettingsKey key(store, keyPath);
    if (!key) return;
    key->WriteString(QStringLiteral("Name"), font.name);
    key->WriteInteger(QStringLiteral("Charset"), font.charset);
    key->WriteInteger(QStringLiteral("Size"), font.size);
    key->WriteInteger(QStringLiteral("Color"), font.color);
    key->WriteBool(QStringLiteral("fsBold"), font.bold);
    key->WriteBool(QStringLiteral("fsItalic"), font.italic);
    key->WriteBool(QStringLiteral("fsUnderline"), font.underline);
    key->WriteBool(QStringLiteral("fsStrikeOut"), font.strikeOut);
}

void RestoreGridLook(GridLook& look, SettingsStore& store, const QString& gridKey) {
    {
        const SettingsKey key(store, gridKey);
        if (key) {
            if (auto v = key->ReadString(QStringLiteral("Name"))) look.hint = *v;
            if (auto v = key->ReadBool(QStringLiteral("Grid"))) look.lines = *v;
            if (auto v = key->ReadInteger(QStringLiteral("Color"))) look.color = *v;
        }
    }
    // Saved positions by field, applied after every column has its values.
    std::vector<std::pair<qint32, QString>> places;
    for (ColumnLook& c : look.columns) {
        const QString columnKey = SubKey(gridKey, c.field);
        {
            const SettingsKey key(store, columnKey);
            if (!key) continue;
            if (auto v = key->ReadInteger(QStringLiteral("Width"))) c.width = *v;
            if (auto v = key->ReadBool(QStringLiteral("Visible"))) c.visible = *v;
            if (auto v = key->ReadInteger(QStringLiteral("Color"))) c.color = *v;
            if (auto v = key->ReadInteger(QStringLiteral("TColor"))) c.titleColor = *v;
            if (auto v = key->ReadInteger(QStringLiteral("Index")))
                places.emplace_back(*v, c.field);
        }
        ReadFont(c.font, store, SubKey(columnKey, QStringLiteral("Font")));
        ReadFont(c.titleFont, store, SubKey(columnKey, QStringLiteral("TFont")));
    }
    std::stable_sort(places.begin(), places.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    for (const auto& [index, field] : places) {
        auto it = std::find_if(look.columns.begin(), look.columns.end(),
                               [&field](const ColumnLook& c) { return c.field == field; });
        if (it == look.columns.end()) continue;
        ColumnLook moved = *it;
        look.columns.erase(it);
        const auto last = static_cast<qint32>(look.columns.size());
        const qint32 place = std::clamp(index, 0, last);
        look.columns.insert(look.columns.begin() + place, moved);
    }
}

void SaveGridLook(const GridLook& look, SettingsStore& store, const QString& gridKey) {
    {
        const SettingsKey key(store, gridKey);
        if (key) {
            key->WriteString(QStringLiteral("Name"), look.hint);
            key->WriteBool(QStringLiteral("Grid"), look.lines);
            key->WriteInteger(QStringLiteral("Color"), look.color);
        }
    }
    qint32 index = 0;
    for (const ColumnLook& c : look.columns) {
        const QString columnKey = SubKey(gridKey, c.field);
        {
            const SettingsKey key(store, columnKey);
            if (key) {
                key->WriteInteger(QStringLiteral("Width"), c.width);
                key->WriteBool(QStringLiteral("Visible"), c.visible);
                key->WriteInteger(QStringLiteral("Index"), index);
                key->WriteInteger(QStringLiteral("Color"), c.color);
                key->WriteInteger(QStringLiteral("TColor"), c.titleColor);
            }
        }
        ++index;
        WriteFont(c.font, store, SubKey(columnKey, QStringLiteral("Font")));
        WriteFont(c.titleFont, store, SubKey(columnKey, QStringLiteral("TFont")));
    }
}

void RestoreLayout(const LayoutForm& form, SettingsStore& store, const QString& key,
                   std::optional<QRect> screen) {
    QWidget* w = form.window;
    const QString formKey = SubKey(key, w->objectName());
    // Only a key that opens gives the form its place; a form without one
    // stays where it is.
    bool opens = false;
    {
        const SettingsKey k(store, formKey);
        opens = static_cast<bool>(k);
    }
    if (opens) {
        FormPlacement placement;
        placement.Load(store, key, w->objectName());
        if (!screen) {
            QScreen* s = QGuiApplication::primaryScreen();
            screen = s != nullptr ? s->availableGeometry() : QRect(0, 0, 1024, 768);
        }
        w->setGeometry(FormBounds(placement, form.designSize, form.dialogBorder, *screen));
        if (placement.state && !form.dialogBorder)
            if (std::optional<Qt::WindowState> st = WindowStateFromValue(*placement.state))
                // A program that starts minimised would look as if it had not started.
                if (*st != Qt::WindowMinimized) w->setWindowState(*st);
    }
    for (const LayoutGrid& g : form.grids) {
        GridLook look = g.look();
        RestoreGridLook(look, store, SubKey(formKey, g.name));
        g.setLook(look);
    }
}

void SaveLayout(const LayoutForm& form, SettingsStore& store, const QString& key) {
    QWidget* w = form.window;
    const bool kept = w->isMaximized() || w->isMinimized();
    FormPlacement::Of(kept ? w->normalGeometry() : w->geometry(), w->windowState())
        .Save(store, key, w->objectName(), form.dialogBorder);
    const QString formKey = SubKey(key, w->objectName());
    for (const LayoutGrid& g : form.grids)
        SaveGridLook(g.look(), store, SubKey(formKey, g.name));
}

}  // namespace kordex::app
