#pragma once

#include <QRect>
#include <QSize>
#include <QString>
#include <Qt>
#include <optional>

namespace kordex::app {

class SettingsStore;

// Where a form was and how big, kept in the program key's subkey named after
// the form ("FormMain", "FormTableCols"): "Left", "Top", "Height", "Width" and
// "State" (0 normal, 1 minimised, 2 maximised). A form with a dialog border
// keeps its design size, so only its position is stored.
struct FormPlacement {
    std::optional<int> left, top, width, height, state;

    // The placement of a window with these bounds and this state.
    static FormPlacement Of(const QRect& bounds, Qt::WindowStates states);

    // Reads the form's key: each member gets its value, or nothing when the
    // value is missing. A key that does not open leaves the members as they are.
    void Load(SettingsStore& store, const QString& formName);
    // The same below another key than the program key.
    void Load(SettingsStore& store, const QString& key, const QString& formName);
    // Writes the values that are set: "Left" and "Top", and for a form without
    // a dialog border also "Height", "Width" and "State".
    void Save(SettingsStore& store, const QString& formName, bool dialogBorder) const;
    void Save(SettingsStore& store, const QString& key, const QString& formName,
              bool dialogBorder) const;
};

// The bounds to give a form of the design size on the screen: the saved
// values where there are any, centred otherwise, then moved and, if still too
// large, cut so that the form lies on the screen. A saved width or height of 0
// limits the form to 4/5 of the screen's width and 2/3 of its height.
QRect FormBounds(const FormPlacement& saved, const QSize& designSize, bool dialogBorder,
                 const QRect& screen);

// "State" and the window states: empty for a value that is no state.
std::optional<Qt::WindowState> WindowStateFromValue(int value);
int WindowStateValue(Qt::WindowStates states);

}  // namespace kordex::app
