#include "Sheet.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QTemporaryFile>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <map>
#include <string>
#include <tuple>

#ifdef _WIN32
#include <windows.h>
#endif

#include <xlsxwriter.h>

#include "link/DateTime.h"

namespace kordex::sheets {

namespace {

using store::FieldType;

const QString TouchKindField = QStringLiteral("CTComment");
// Rows between two reports of progress.
constexpr int BatchRows = 2048;
// The longest text an .xlsx cell holds.
constexpr int MaxCellText = 32767;

bool IsNumber(FieldType t) {
    return t == FieldType::SmallInt || t == FieldType::Integer || t == FieldType::AutoInc;
}

bool IsDateTime(FieldType t) {
    return t == FieldType::DateTime || t == FieldType::Date || t == FieldType::Time;
}

bool IsEmpty(const QVariant& v) {
    return !v.isValid() || v.isNull();
}

// A column with what its cells need.
struct Resolved {
    int field = -1;
    const store::Field* def = nullptr;
};

std::vector<Resolved> Resolve(const Sheet& sheet) {
    if (sheet.view == nullptr) throw store::Error(QStringLiteral("No view to write"));
    std::vector<Resolved> out;
    for (const Column& c : sheet.columns) {
        const int f = sheet.view->FieldIndex(c.field);
        if (f < 0)
            throw store::Error(
                QStringLiteral("%1: Field '%2' not found").arg(sheet.view->Name(), c.field));
        out.push_back({f, &sheet.view->Fields()[f]});
    }
    return out;
}

// Walks the rows of the sheet's view: fn(row values) per row, progress after
// every batch and at the end. False when progress stopped the walk.
bool ForEachRow(const Sheet& sheet, const Progress& progress,
                const std::function<void(const std::vector<QVariant>&)>& fn) {
    store::View& view = *sheet.view;
    const int64_t total = view.IsOpen() ? view.RecordCount() : 0;
    int64_t done = 0;
    bool stopped = false;
    if (progress && !progress(0, total)) return false;
    view.ForEachFullRow([&](const std::vector<QVariant>& row) {
        fn(row);
        if (++done % BatchRows == 0 && progress && !progress(done, total)) {
            stopped = true;
            return false;
        }
        return true;
    });
    if (stopped) return false;
    if (progress && done % BatchRows != 0 && !progress(done, total)) return false;
    return true;
}

// --- CSV, straight into UTF-8 bytes

void AppendUtf8(std::string& out, const QString& s) {
    const char16_t* p = reinterpret_cast<const char16_t*>(s.utf16());
    const qsizetype n = s.size();
    for (qsizetype i = 0; i < n; ++i) {
        uint32_t c = p[i];
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
            continue;
        }
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < n && p[i + 1] >= 0xDC00 && p[i + 1] < 0xE000) {
            c = 0x10000 + ((c - 0xD800) << 10) + (p[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c < 0xE000) {
            c = 0xFFFD;  // a lone surrogate
        }
        if (c < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        } else if (c < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (c >> 12)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (c >> 18)));
            out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        }
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

void AppendCsvText(std::string& out, const QString& s) {
    bool quote = false;
    for (const QChar c : s)
        if (c == QLatin1Char(';') || c == QLatin1Char('"') || c == QLatin1Char('\n') ||
            c == QLatin1Char('\r')) {
            quote = true;
            break;
        }
    if (!quote) {
        AppendUtf8(out, s);
        return;
    }
    out.push_back('"');
    const size_t start = out.size();
    AppendUtf8(out, s);
    // Double the quotes of what was just appended.
    const size_t quotes = static_cast<size_t>(std::count(out.begin() + start, out.end(), '"'));
    if (quotes > 0) {
        std::string body(out.begin() + start, out.end());
        out.resize(start);
        out.reserve(start + body.size() + quotes);
        for (const char ch : body) {
            out.push_back(ch);
            if (ch == '"') out.push_back('"');
        }
    }
    out.push_back('"');
}

void AppendDigits(std::string& out, int value, int width) {
    char buf[12];
    int n = 0;
    do {
        buf[n++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value > 0);
    while (n < width)
        buf[n++] = '0';
    while (n > 0)
        out.push_back(buf[--n]);
}

// dd.mm.yyyy, hh:mm:ss or both, as link::DateTime writes them.
void AppendDateTime(std::string& out, double days, FieldType type) {
    const qint64 totalMs = std::llround(days * link::DateTime::MsPerDay);
    qint64 day = totalMs / 86400000LL;
    qint64 ms = totalMs % 86400000LL;
    if (ms < 0) {
        ms += 86400000LL;
        --day;
    }
    if (type != FieldType::Time) {
        static const qint64 base = QDate(1899, 12, 30).toJulianDay();
        int y = 0, m = 0, d = 0;
        QDate::fromJulianDay(base + day).getDate(&y, &m, &d);
        AppendDigits(out, d, 2);
        out.push_back('.');
        AppendDigits(out, m, 2);
        out.push_back('.');
        if (y < 0) {
            out.push_back('-');
            y = -y;
        }
        AppendDigits(out, y, 4);
        if (type == FieldType::Date) return;
        out.push_back(' ');
    }
    const int s = static_cast<int>(ms / 1000);
    AppendDigits(out, s / 3600, 2);
    out.push_back(':');
    AppendDigits(out, s / 60 % 60, 2);
    out.push_back(':');
    AppendDigits(out, s % 60, 2);
}

void AppendCsvCell(std::string& out, const store::Field& f, const QVariant& v) {
    if (IsEmpty(v)) return;
    if (IsNumber(f.type)) {
        char buf[24];
        const auto r = std::to_chars(buf, buf + sizeof buf, v.toLongLong());
        out.append(buf, r.ptr);
        return;
    }
    if (IsDateTime(f.type)) {
        AppendDateTime(out, v.toDouble(), f.type);
        return;
    }
    if (f.type == FieldType::Boolean) {
        out += v.toBool() ? "Да" : "Нет";
        return;
    }
    if (v.typeId() == QMetaType::QString) {
        AppendCsvText(out, *static_cast<const QString*>(v.constData()));
        return;
    }
    AppendCsvText(out, v.toString());
}

void Write(QIODevice& out, const std::string& bytes, const QString& name) {
    if (out.write(bytes.data(), static_cast<qint64>(bytes.size())) !=
        static_cast<qint64>(bytes.size()))
        throw store::Error(QStringLiteral("Cannot write: ") + out.errorString(), name);
}

// --- XLSX

QString XlsxError(lxw_error e) {
    return QString::fromUtf8(lxw_strerror(e));
}

// Text an .xlsx cell can hold: no control characters but tab and line
// breaks, at most MaxCellText characters.
QByteArray XlsxText(const QString& text) {
    QString s = text.left(MaxCellText);
    for (QChar& c : s)
        if (c.unicode() < 0x20 && c != QLatin1Char('\t') && c != QLatin1Char('\n') &&
            c != QLatin1Char('\r'))
            c = QLatin1Char('?');
    return s.toUtf8();
}

enum class XlsxCell { Text, Number, DateTime, Boolean };

// One cell format per kind of cell, date format and colour, made as needed.
class Formats {
public:
    explicit Formats(lxw_workbook* wb) : wb_(wb) {}

    lxw_format* Get(const QByteArray& numberFormat, std::optional<store::Rgb> colour,
                    bool bold = false) {
        const auto key = std::make_tuple(
            numberFormat, colour ? (colour->r << 16 | colour->g << 8 | colour->b) : -1, bold);
        auto it = formats_.find(key);
        if (it != formats_.end()) return it->second;
        lxw_format* f = nullptr;
        if (!numberFormat.isEmpty() || colour || bold) {
            f = workbook_add_format(wb_);
            if (f == nullptr) throw std::bad_alloc();
            if (!numberFormat.isEmpty()) format_set_num_format(f, numberFormat.constData());
            if (colour) {
                const auto rgb =
                    static_cast<lxw_color_t>(colour->r << 16 | colour->g << 8 | colour->b);
                // The library reads 0 as no colour at all: black has a value of its own.
                format_set_font_color(f,
                                      rgb == 0 ? static_cast<lxw_color_t>(LXW_COLOR_BLACK) : rgb);
            }
            if (bold) format_set_bold(f);
        }
        formats_.emplace(key, f);
        return f;
    }

private:
    lxw_workbook* wb_;
    std::map<std::tuple<QByteArray, int, bool>, lxw_format*> formats_;
};

// Writes the .xlsx into `path` (a fresh temporary file); false when stopped.
bool WriteXlsx(const Sheet& sheet, const QString& path, const QString& shownName,
               const Progress& progress) {
    const std::vector<Resolved> cols = Resolve(sheet);
    const int64_t total = sheet.view->IsOpen() ? sheet.view->RecordCount() : 0;
    if (total > MaxXlsxRows)
        throw store::Error(
            QStringLiteral("%1 rows are more than a sheet holds (%2)").arg(total).arg(MaxXlsxRows),
            shownName);
    if (cols.size() > static_cast<size_t>(LXW_COL_MAX))
        throw store::Error(QStringLiteral("Too many columns for a sheet"), shownName);

    lxw_workbook_options options = {};
    // Rows go to disk as they are written: a million rows take no more
    // memory than one.
    options.constant_memory = LXW_TRUE;
    const QByteArray file = QFile::encodeName(path);
    lxw_workbook* wb = workbook_new_opt(file.constData(), &options);
    if (wb == nullptr) throw store::Error(QStringLiteral("Cannot create the workbook"), shownName);
    bool closed = false;
    auto fail = [&](lxw_error e) {
        if (e == LXW_NO_ERROR) return;
        if (!closed) lxw_workbook_free(wb);
        closed = true;
        throw store::Error(XlsxError(e), shownName);
    };
    try {
        lxw_worksheet* ws = workbook_add_worksheet(wb, nullptr);
        if (ws == nullptr) fail(LXW_ERROR_MEMORY_MALLOC_FAILED);
        Formats formats(wb);

        // What comes before the rows: constant memory writes each row once.
        std::vector<XlsxCell> kinds;
        std::vector<QByteArray> numberFormats;
        for (size_t c = 0; c < cols.size(); ++c) {
            const store::Field& f = *cols[c].def;
            const Column& column = sheet.columns[c];
            XlsxCell kind = XlsxCell::Text;
            QByteArray format;
            if (IsNumber(f.type)) {
                kind = XlsxCell::Number;
            } else if (IsDateTime(f.type)) {
                kind = XlsxCell::DateTime;
                format = SpreadsheetFormat(column.dateFormat.isEmpty() ? f.DateTimeFormat()
                                                                       : column.dateFormat)
                             .toUtf8();
            } else if (f.type == FieldType::Boolean) {
                kind = XlsxCell::Boolean;
            }
            kinds.push_back(kind);
            numberFormats.push_back(format);
            const double width = column.width > 0 ? column.width : FieldWidth(f, column.title);
            fail(worksheet_set_column(ws, static_cast<lxw_col_t>(c), static_cast<lxw_col_t>(c),
                                      width, nullptr));
        }
        worksheet_freeze_panes(ws, 1, 0);
        if (!cols.empty())
            fail(worksheet_autofilter(ws, 0, 0, static_cast<lxw_row_t>(total),
                                      static_cast<lxw_col_t>(cols.size() - 1)));

        lxw_format* bold = formats.Get({}, std::nullopt, true);
        for (size_t c = 0; c < cols.size(); ++c)
            fail(worksheet_write_string(ws, 0, static_cast<lxw_col_t>(c),
                                        XlsxText(sheet.columns[c].title).constData(), bold));

        lxw_row_t r = 0;
        const bool go = ForEachRow(sheet, progress, [&](const std::vector<QVariant>& row) {
            ++r;
            const std::optional<store::Rgb> colour =
                sheet.rowColour ? sheet.rowColour(row) : std::nullopt;
            for (size_t c = 0; c < cols.size(); ++c) {
                const QVariant& v = row[cols[c].field];
                if (IsEmpty(v)) continue;
                const auto col = static_cast<lxw_col_t>(c);
                lxw_format* format = formats.Get(numberFormats[c], colour);
                switch (kinds[c]) {
                    case XlsxCell::Number:
                        fail(worksheet_write_number(ws, r, col, static_cast<double>(v.toLongLong()),
                                                    format));
                        break;
                    case XlsxCell::DateTime:
                        // The spreadsheet counts days from 30.12.1899 as the
                        // program does.
                        fail(worksheet_write_number(ws, r, col, v.toDouble(), format));
                        break;
                    case XlsxCell::Boolean:
                        fail(worksheet_write_string(ws, r, col, v.toBool() ? "Да" : "Нет", format));
                        break;
                    case XlsxCell::Text:
                        fail(worksheet_write_string(ws, r, col, XlsxText(v.toString()).constData(),
                                                    format));
                        break;
                }
            }
        });
        if (!go) {
            lxw_workbook_free(wb);
            closed = true;
            return false;
        }
        closed = true;
        fail(workbook_close(wb));
    } catch (...) {
        if (!closed) lxw_workbook_free(wb);
        throw;
    }
    return true;
}

// Puts a finished temporary file in the target's place.
bool Replace(const QString& from, const QString& to) {
#ifdef _WIN32
    return MoveFileExW(reinterpret_cast<LPCWSTR>(QDir::toNativeSeparators(from).utf16()),
                       reinterpret_cast<LPCWSTR>(QDir::toNativeSeparators(to).utf16()),
                       MOVEFILE_REPLACE_EXISTING) != 0;
#else
    return std::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0;
#endif
}

}  // namespace

RowColour TouchKindColours(const store::View& view) {
    const int kind = view.FieldIndex(TouchKindField);
    if (kind < 0) return {};
    return [kind](const std::vector<QVariant>& row) -> std::optional<store::Rgb> {
        const QVariant& v = row[kind];
        return store::TouchKindColor(IsEmpty(v) ? 0 : v.toInt());
    };
}

Sheet PageSheet(store::View& view, const store::PageColumns& columns) {
    Sheet s;
    s.view = &view;
    for (const store::PageColumn& c : columns)
        s.columns.push_back({c.field, c.title, 0, {}});
    s.rowColour = TouchKindColours(view);
    return s;
}

double FieldWidth(const store::Field& f, const QString& title) {
    int chars = f.displayWidth;
    if (chars <= 0) {
        switch (f.type) {
            case FieldType::String:
                chars = f.size;
                break;
            case FieldType::Boolean:
                chars = 5;
                break;
            case FieldType::SmallInt:
                chars = 6;
                break;
            case FieldType::Integer:
            case FieldType::AutoInc:
                chars = 11;
                break;
            case FieldType::DateTime:
            case FieldType::Date:
            case FieldType::Time:
                chars = static_cast<int>(
                    f.DateTimeFormat().remove(QLatin1Char('"')).remove(QLatin1Char('\'')).size());
                break;
        }
    }
    // A little room for the autofilter's button beside the title.
    return std::max<double>(chars, title.size() + 2) + 1;
}

QString SpreadsheetFormat(const QString& format) {
    QString out;
    for (int i = 0; i < format.size();) {
        const QChar c = format[i];
        if (c == QLatin1Char('\'') || c == QLatin1Char('"')) {
            const int end = format.indexOf(c, i + 1);
            const int stop = end < 0 ? format.size() : end;
            QString text = format.mid(i + 1, stop - i - 1);
            text.remove(QLatin1Char('"'));
            out += QLatin1Char('"') + text + QLatin1Char('"');
            i = stop + 1;
            continue;
        }
        const QChar lower = c.toLower();
        int n = 1;
        while (i + n < format.size() && format[i + n].toLower() == lower)
            ++n;
        switch (lower.unicode()) {
            case 'y':
                out += n >= 3 ? QStringLiteral("yyyy") : QStringLiteral("yy");
                break;
            case 'd':
            case 'm':
            case 'h':
            case 's':
                out += QString(std::min(n, 2), lower);
                break;
            case 'n':  // minutes
                out += QString(std::min(n, 2), QLatin1Char('m'));
                break;
            case 'z':  // milliseconds, after the seconds' point
                out += QString(n >= 3 ? 3 : 1, QLatin1Char('0'));
                break;
            default:
                // Letters the spreadsheet would read as codes stand as text;
                // other characters but its plain separators are escaped.
                if (c.isLetter())
                    out += QLatin1Char('"') + format.mid(i, n) + QLatin1Char('"');
                else
                    for (int k = 0; k < n; ++k) {
                        if (!QStringLiteral(" $-+/():!^&~{}<>=").contains(c))
                            out += QLatin1Char('\\');
                        out += c;
                    }
                break;
        }
        i += n;
    }
    return out;
}

QString CsvCell(const QString& text) {
    if (!text.contains(QLatin1Char(';')) && !text.contains(QLatin1Char('"')) &&
        !text.contains(QLatin1Char('\n')) && !text.contains(QLatin1Char('\r')))
        return text;
    QString quoted = text;
    quoted.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

QString ExportText(const store::Field& field, const QVariant& value) {
    if (IsEmpty(value)) return {};
    switch (field.type) {
        case FieldType::DateTime:
            return link::DateTime(value.toDouble()).ToText();
        case FieldType::Date:
            return link::DateTime(value.toDouble()).DateText();
        case FieldType::Time:
            return link::DateTime(value.toDouble()).TimeText();
        case FieldType::SmallInt:
        case FieldType::Integer:
        case FieldType::AutoInc:
            return QString::number(value.toLongLong());
        case FieldType::Boolean:
            return value.toBool() ? QStringLiteral("Да") : QStringLiteral("Нет");
        case FieldType::String:
            break;
    }
    return value.toString();
}

std::optional<FileKind> FileKindOf(const QString& path) {
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == QLatin1String("csv")) return FileKind::Csv;
    if (suffix == QLatin1String("xlsx")) return FileKind::Xlsx;
    return std::nullopt;
}

bool WriteCsv(const Sheet& sheet, QIODevice& out, const Progress& progress) {
    const std::vector<Resolved> cols = Resolve(sheet);
    const QString name = out.objectName();
    std::string chunk = "\xEF\xBB\xBF";
    for (size_t c = 0; c < cols.size(); ++c) {
        if (c > 0) chunk.push_back(';');
        AppendCsvText(chunk, sheet.columns[c].title);
    }
    chunk += "\r\n";
    const bool done = ForEachRow(sheet, progress, [&](const std::vector<QVariant>& row) {
        for (size_t c = 0; c < cols.size(); ++c) {
            if (c > 0) chunk.push_back(';');
            AppendCsvCell(chunk, *cols[c].def, row[cols[c].field]);
        }
        chunk += "\r\n";
        if (chunk.size() >= 1 << 16) {
            Write(out, chunk, name);
            chunk.clear();
        }
    });
    if (!done) return false;
    Write(out, chunk, name);
    return true;
}

bool WriteFile(const Sheet& sheet, const QString& path, FileKind kind, const Progress& progress) {
    if (kind == FileKind::Csv) {
        QSaveFile out(path);
        out.setObjectName(path);
        if (!out.open(QIODevice::WriteOnly))
            throw store::Error(QStringLiteral("Cannot write: ") + out.errorString(), path);
        try {
            if (!WriteCsv(sheet, out, progress)) {
                out.cancelWriting();
                return false;
            }
        } catch (...) {
            out.cancelWriting();
            throw;
        }
        if (!out.commit())
            throw store::Error(QStringLiteral("Cannot write: ") + out.errorString(), path);
        return true;
    }
    // The workbook is written by name: a temporary name beside the target,
    // taken away again on every way out but the last.
    const QFileInfo target(path);
    QTemporaryFile temp(
        target.absoluteDir().filePath(target.fileName() + QStringLiteral(".XXXXXX")));
    if (!temp.open())
        throw store::Error(QStringLiteral("Cannot write: ") + temp.errorString(), path);
    temp.close();
    if (!WriteXlsx(sheet, temp.fileName(), path, progress)) return false;
    // The temporary file is the owner's alone; the new file reads as the
    // one it replaces, or as any new file.
    const QFileDevice::Permissions permissions =
        target.exists() ? QFile::permissions(path)
                        : QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                              QFileDevice::ReadGroup | QFileDevice::ReadOther;
    QFile::setPermissions(temp.fileName(), permissions);
    if (!Replace(temp.fileName(), target.absoluteFilePath()))
        throw store::Error(QStringLiteral("Cannot replace the file"), path);
    temp.setAutoRemove(false);
    return true;
}

}  // namespace kordex::sheets
