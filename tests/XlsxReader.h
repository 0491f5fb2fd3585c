// A small reader of the .xlsx files the export writes: the first sheet's
// cells, its frozen rows, autofilter and column widths, and the number
// format, boldness and font colour of each cell style. On libzip.
#pragma once

#include <zip.h>

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QXmlStreamReader>
#include <map>
#include <vector>

namespace kordex::xlsx {

struct XlsxCell {
    enum Kind { None, Text, Number } kind = None;
    QString text;
    double number = 0;
    int style = 0;
};

struct XlsxStyle {
    QString numberFormat;  // the format code; empty for the general format
    bool bold = false;
    QString colour;  // "RRGGBB", empty for the normal colour
};

struct XlsxBook {
    std::vector<std::vector<XlsxCell>> rows;  // rows[r][c], 0-based, gaps as None
    int frozenRows = 0;
    QString autoFilter;           // "A1:C5"
    std::map<int, double> width;  // by 0-based column
    std::vector<XlsxStyle> styles;

    const XlsxCell& Cell(size_t r, size_t c) const {
        static const XlsxCell none;
        return r < rows.size() && c < rows[r].size() ? rows[r][c] : none;
    }
    const XlsxStyle& StyleOf(const XlsxCell& cell) const {
        static const XlsxStyle general;
        return cell.style >= 0 && cell.style < static_cast<int>(styles.size()) ? styles[cell.style]
                                                                               : general;
    }
    // A date-time cell: a number in a format with a day, a year or an hour.
    bool IsDate(const XlsxCell& cell) const {
        const QString f = StyleOf(cell).numberFormat;
        return cell.kind == XlsxCell::Number &&
               (f.contains(QLatin1String("yy")) || f.contains(QLatin1String("dd")) ||
                f.contains(QLatin1String("hh")));
    }
};

inline bool ReadZipEntry(zip_t* z, const char* name, QByteArray& out) {
    zip_stat_t st;
    if (zip_stat(z, name, 0, &st) != 0) return false;
    zip_file_t* f = zip_fopen(z, name, 0);
    if (f == nullptr) return false;
    out.resize(static_cast<qsizetype>(st.size));
    const zip_int64_t n = zip_fread(f, out.data(), st.size);
    zip_fclose(f);
    return n == static_cast<zip_int64_t>(st.size);
}

// "C12" → row 11, column 2.
inline void CellRef(const QString& ref, size_t& row, size_t& col) {
    col = 0;
    int i = 0;
    while (i < ref.size() && ref[i].isLetter())
        col = col * 26 + static_cast<size_t>(ref[i++].toUpper().unicode() - 'A' + 1);
    col -= 1;
    row = static_cast<size_t>(ref.mid(i).toLongLong() - 1);
}

inline bool ReadXlsx(const QString& path, XlsxBook& book, QString& why) {
    int err = 0;
    zip_t* z = zip_open(path.toLocal8Bit().constData(), ZIP_RDONLY, &err);
    if (z == nullptr) {
        why = QStringLiteral("not a zip file: %1").arg(err);
        return false;
    }
    QByteArray sheet, styles;
    const bool read = ReadZipEntry(z, "xl/worksheets/sheet1.xml", sheet) &&
                      ReadZipEntry(z, "xl/styles.xml", styles);
    zip_close(z);
    if (!read) {
        why = QStringLiteral("no sheet1.xml or styles.xml");
        return false;
    }

    // Styles: number formats, fonts, and the cell formats that use them.
    std::map<int, QString> formats = {{14, "mm-dd-yy"}, {22, "m/d/yy h:mm"}};
    struct Font {
        bool bold = false;
        QString colour;
    };
    std::vector<Font> fonts;
    QXmlStreamReader sx(styles);
    bool inFont = false, inCellXfs = false;
    while (!sx.atEnd()) {
        sx.readNext();
        const QString n = sx.name().toString();
        if (sx.isStartElement()) {
            const QXmlStreamAttributes a = sx.attributes();
            if (n == "numFmt")
                formats[a.value("numFmtId").toInt()] = a.value("formatCode").toString();
            if (n == "font") {
                inFont = true;
                fonts.emplace_back();
            }
            if (inFont && n == "b") fonts.back().bold = true;
            if (inFont && n == "color" && a.hasAttribute("rgb"))
                fonts.back().colour = a.value("rgb").toString().right(6).toUpper();
            if (n == "cellXfs") inCellXfs = true;
            if (inCellXfs && n == "xf") {
                XlsxStyle s;
                const int fmt = a.value("numFmtId").toInt();
                s.numberFormat = formats.count(fmt) != 0 ? formats[fmt] : QString();
                const size_t font = a.value("fontId").toUInt();
                if (font < fonts.size()) {
                    s.bold = fonts[font].bold;
                    s.colour = fonts[font].colour;
                }
                book.styles.push_back(s);
            }
        } else if (sx.isEndElement()) {
            if (n == "font") inFont = false;
            if (n == "cellXfs") inCellXfs = false;
        }
    }

    QXmlStreamReader x(sheet);
    XlsxCell cell;
    size_t row = 0, col = 0;
    bool inCell = false;
    while (!x.atEnd()) {
        x.readNext();
        if (!x.isStartElement()) {
            if (x.isEndElement() && x.name() == QLatin1String("c") && inCell) {
                if (book.rows.size() <= row) book.rows.resize(row + 1);
                if (book.rows[row].size() <= col) book.rows[row].resize(col + 1);
                book.rows[row][col] = cell;
                inCell = false;
            }
            continue;
        }
        const QString n = x.name().toString();
        const QXmlStreamAttributes a = x.attributes();
        if (n == "pane" && a.value("state") == QLatin1String("frozen"))
            book.frozenRows = a.value("ySplit").toInt();
        else if (n == "autoFilter")
            book.autoFilter = a.value("ref").toString();
        else if (n == "col")
            for (int c = a.value("min").toInt(); c <= a.value("max").toInt(); ++c)
                book.width[c - 1] = a.value("width").toDouble();
        else if (n == "c") {
            inCell = true;
            cell = XlsxCell();
            cell.style = a.value("s").toInt();
            CellRef(a.value("r").toString(), row, col);
            cell.kind =
                a.value("t") == QLatin1String("inlineStr") || a.value("t") == QLatin1String("str")
                    ? XlsxCell::Text
                    : XlsxCell::Number;
        } else if (inCell && n == "t") {
            cell.text += x.readElementText();
        } else if (inCell && n == "v") {
            cell.text = x.readElementText();
            cell.number = cell.text.toDouble();
        }
    }
    if (x.hasError()) {
        why = x.errorString();
        return false;
    }
    return true;
}

}  // namespace kordex::xlsx
