#pragma once

#include <QIODevice>
#include <QString>
#include <QVariant>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "store/EventViews.h"
#include "store/PageColumns.h"
#include "store/View.h"

namespace kordex::sheets {

namespace text {
// The status window of an export.
inline const QString ExportCaption = QStringLiteral("Экспорт данных");
inline const QString ExportStatus = QStringLiteral("Идет экспорт данных в файл...");
}  // namespace text

// One column of a sheet: the view's field, its title and its width.
struct Column {
    QString field;
    QString title;
    // Width in characters of the spreadsheet's standard font; 0: the
    // field's display width.
    double width = 0;
    // Date-time columns: the display format ("dd.mm.yyyy hh:nn:ss" style) the
    // cells are shown in; empty: the field's own.
    QString dateFormat;
};

// The text colour of a row, from the values of every field of the view (as
// View::RowAt gives them); nothing: the normal colour.
using RowColour = std::function<std::optional<store::Rgb>(const std::vector<QVariant>&)>;

// What a sheet shows: the rows of a view, in its order and range as they
// stand, in the columns given. The view must stay as it is while the sheet is
// written.
struct Sheet {
    store::View* view = nullptr;
    std::vector<Column> columns;
    RowColour rowColour;
};

// The colours of the touch kinds, for a view with the touch kind field
// (CTComment); an empty callback for any other view.
RowColour TouchKindColours(const store::View& view);

// A page's grid as it is laid out when nobody has changed it: its columns
// with their fields' widths and formats, the touch rows in their kinds'
// colours.
Sheet PageSheet(store::View& view, const store::PageColumns& columns);

// The width in characters a field asks for: its display width, else its size
// (text) or what its type needs, at least the title's length.
double FieldWidth(const store::Field& field, const QString& title);

// A display format ("dd.mm.yyyy hh:nn:ss": n minutes, z milliseconds, text in
// quotes) as a spreadsheet number format ("dd.mm.yyyy hh:mm:ss").
QString SpreadsheetFormat(const QString& displayFormat);

// --- CSV

// One CSV cell: quoted when it holds ';', '"' or a line break, quotes doubled.
QString CsvCell(const QString& text);

// The text of a value in a CSV file: date-times as "dd.mm.yyyy hh:mm:ss"
// (dates and times of day alone in their part), numbers plain, booleans
// "Да"/"Нет", empty values empty.
QString ExportText(const store::Field& field, const QVariant& value);

// --- Writing

enum class FileKind { Csv, Xlsx };
// By the name's suffix (.csv, .xlsx, any case); nothing for another one.
std::optional<FileKind> FileKindOf(const QString& path);

// Told after every batch of rows: rows written and rows in all. False stops
// the writing.
using Progress = std::function<bool(int64_t done, int64_t total)>;

// The rows an .xlsx sheet holds below its title row.
constexpr int64_t MaxXlsxRows = 1048575;

// Writes the CSV of a sheet to a device: UTF-8 with a byte-order mark, ';'
// between cells, CR LF after each row, the titles first. False when progress
// stopped it. Throws store::Error when a field is missing or the device
// refuses the bytes.
bool WriteCsv(const Sheet& sheet, QIODevice& out, const Progress& progress = {});

// Writes a sheet to a file, whole or not at all: into a temporary file beside
// it, which replaces the file only when it is complete. A stop (progress
// false) or a failure leaves no new file and an old one as it was. False when
// stopped. Throws store::Error (with the file's name) on failure.
//
// .xlsx: one sheet; the title row bold and frozen with an autofilter over the
// columns; column widths from the columns; date-times as date-time cells in
// the column's format, numbers as numbers, text as text, booleans
// "Да"/"Нет"; each row's text in its row colour. More rows than a sheet holds
// (MaxXlsxRows) are refused before anything is written.
bool WriteFile(const Sheet& sheet, const QString& path, FileKind kind,
               const Progress& progress = {});

}  // namespace kordex::sheets
