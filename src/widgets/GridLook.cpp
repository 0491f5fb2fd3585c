#include "GridLook.h"

#include <cmath>

namespace kordex::widgets {

bool IsSystemColor(ColorValue value) {
    return (static_cast<quint32>(value) & 0xFF000000u) != 0;
}

QPalette::ColorRole SystemColorRole(ColorValue value) {
    switch (static_cast<quint32>(value) & 0xFFu) {
        case 5:  // window
            return QPalette::Base;
        case 7:  // menu text
        case 8:  // window text
            return QPalette::Text;
        case 9:   // caption text
        case 18:  // button text
            return QPalette::ButtonText;
        case 13:
            return QPalette::Highlight;
        case 14:
            return QPalette::HighlightedText;
        case 15:  // button face
            return QPalette::Button;
        case 16:  // button shadow
            return QPalette::Dark;
        case 20:  // button highlight
            return QPalette::Light;
        case 21:  // 3D dark shadow
        case 6:   // window frame
            return QPalette::Shadow;
        case 22:  // 3D light
            return QPalette::Midlight;
        case 23:
            return QPalette::ToolTipText;
        case 24:
            return QPalette::ToolTipBase;
        case 17:  // grey text
            return QPalette::PlaceholderText;
        default:  // desktop, captions, menus, scroll bars, application workspace
            return QPalette::Window;
    }
}

QColor ToQColor(ColorValue value, const QPalette& palette) {
    if (IsSystemColor(value)) {
        // Grey text is the disabled text of the palette.
        if ((static_cast<quint32>(value) & 0xFFu) == 17)
            return palette.color(QPalette::Disabled, QPalette::Text);
        return palette.color(QPalette::Active, SystemColorRole(value));
    }
    const auto v = static_cast<quint32>(value);
    return QColor(static_cast<int>(v & 0xFFu), static_cast<int>((v >> 8) & 0xFFu),
                  static_cast<int>((v >> 16) & 0xFFu));
}

ColorValue ToColorValue(const QColor& color) {
    const QColor c = color.toRgb();
    return static_cast<ColorValue>(static_cast<quint32>(c.red()) |
                                   (static_cast<quint32>(c.green()) << 8) |
                                   (static_cast<quint32>(c.blue()) << 16));
}

GridFont GridFont::Of(const QFont& font, ColorValue color) {
    GridFont f;
    f.name = font.family();
    f.size =
        font.pointSize() > 0
            ? font.pointSize()
            : static_cast<qint32>(std::lround(font.pointSizeF() > 0 ? font.pointSizeF() : 8.0));
    f.color = color;
    f.bold = font.bold();
    f.italic = font.italic();
    f.underline = font.underline();
    f.strikeOut = font.strikeOut();
    return f;
}

QFont GridFont::ToQFont(const QFont& base) const {
    QFont f = base;
    if (!name.isEmpty()) f.setFamily(name);
    if (size > 0) f.setPointSize(size);
    f.setBold(bold);
    f.setItalic(italic);
    f.setUnderline(underline);
    f.setStrikeOut(strikeOut);
    return f;
}

ColumnLook* GridLook::Column(const QString& field) {
    for (ColumnLook& c : columns)
        if (c.field.compare(field, Qt::CaseInsensitive) == 0) return &c;
    return nullptr;
}

const ColumnLook* GridLook::Column(const QString& field) const {
    return const_cast<GridLook*>(this)->Column(field);
}

}  // namespace kordex::widgets
