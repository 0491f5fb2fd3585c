#pragma once

#include <QColor>
#include <QFont>
#include <QPalette>
#include <QString>
#include <vector>

namespace kordex::widgets {

// Colours as the layout keeps them: 0x00BBGGRR for a colour of its own, or a
// system colour (high byte set, the low byte its number) that follows the
// platform's palette. A settings file thus means the same on every platform.
using ColorValue = qint32;

inline constexpr ColorValue ClSystem = static_cast<ColorValue>(0x80000000u);
inline constexpr ColorValue ClWindow = ClSystem | 5;
inline constexpr ColorValue ClWindowText = ClSystem | 8;
inline constexpr ColorValue ClHighlight = ClSystem | 13;
inline constexpr ColorValue ClHighlightText = ClSystem | 14;
inline constexpr ColorValue ClBtnFace = ClSystem | 15;
inline constexpr ColorValue ClBtnText = ClSystem | 18;

bool IsSystemColor(ColorValue value);
// The palette role a system colour stands for (Window for one unknown).
QPalette::ColorRole SystemColorRole(ColorValue value);
// The colour to draw with: a system colour from the palette given.
QColor ToQColor(ColorValue value, const QPalette& palette);
// The value of a colour chosen by the operator: 0x00BBGGRR.
ColorValue ToColorValue(const QColor& color);

// A font as the layout keeps it: face, character set, size in points, colour
// and the four styles. The character set is kept for the settings only; the
// platform picks the glyphs by itself.
struct GridFont {
    static constexpr qint32 DefaultCharset = 1;

    QString name;
    qint32 charset = DefaultCharset;
    qint32 size = 8;
    ColorValue color = ClWindowText;
    bool bold = false;
    bool italic = false;
    bool underline = false;
    bool strikeOut = false;

    // A Qt font's face, size and styles, in this colour.
    static GridFont Of(const QFont& font, ColorValue color = ClWindowText);
    // The Qt font: `base` with this face, size and styles.
    QFont ToQFont(const QFont& base = QFont()) const;

    bool operator==(const GridFont&) const = default;
};

// How one column looks and where it stands.
struct ColumnLook {
    QString field;  // the field the column shows: the column's identity
    QString title;
    int width = 0;  // without the stretch of the last column
    bool visible = true;
    ColorValue color = ClWindow;
    GridFont font;
    ColorValue titleColor = ClBtnFace;
    GridFont titleFont;

    bool operator==(const ColumnLook&) const = default;
};

// How a grid looks: its name text, grid lines, background colour, and its
// columns in the order they stand, left to right.
struct GridLook {
    QString hint;
    bool lines = true;
    ColorValue color = ClWindow;
    std::vector<ColumnLook> columns;

    bool operator==(const GridLook&) const = default;
    // The column of a field, or null.
    ColumnLook* Column(const QString& field);
    const ColumnLook* Column(const QString& field) const;
};

}  // namespace kordex::widgets
