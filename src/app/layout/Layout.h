#pragma once

#include <QRect>
#include <QSize>
#include <QString>
#include <functional>
#include <optional>
#include <vector>

#include "widgets/GridLook.h"

class QWidget;

namespace kordex::app {

class SettingsStore;

// A grid whose look is kept, by its component name: how to take its look and
// how to give it one.
struct LayoutGrid {
    QString name;
    std::function<widgets::GridLook()> look;
    std::function<void(const widgets::GridLook&)> setLook;
};

// What the layout of a form is: the window (its object name is the key's
// name), its design size, whether it has a dialog border (it then keeps its
// design size and only its position is stored), and its grids.
struct LayoutForm {
    QWidget* window = nullptr;
    QSize designSize;
    bool dialogBorder = false;
    std::vector<LayoutGrid> grids;
};

// Reads a font from a key path: only the values present change it.
void ReadFont(widgets::GridFont& font, SettingsStore& store, const QString& keyPath);
// Writes all eight values of a font into a key path.
void WriteFont(const widgets::GridFont& font, SettingsStore& store, const QString& keyPath);

// Reads the layout of a grid below a form's key into its look: the grid's
// name text, lines and colour, then each column's values, found by the field
// it shows; columns with a saved position move there in ascending order of
// it. Whatever is missing stays as it was.
void RestoreGridLook(widgets::GridLook& look, SettingsStore& store, const QString& gridKey);
// Writes every value of a grid's look, the columns' positions as they stand.
void SaveGridLook(const widgets::GridLook& look, SettingsStore& store, const QString& gridKey);

// The form's bounds from its key, centred where nothing is stored, moved and
// cut onto the screen (the primary screen's free area unless given), its
// state, then every grid's look. A key that does not open is skipped.
void RestoreLayout(const LayoutForm& form, SettingsStore& store, const QString& key,
                   std::optional<QRect> screen = std::nullopt);
// The form's position (and, without a dialog border, its size and state) and
// every grid's look.
void SaveLayout(const LayoutForm& form, SettingsStore& store, const QString& key);

}  // namespace kordex::app
