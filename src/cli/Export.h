#pragma once

#include <QIODevice>
#include <QString>
#include <QStringList>
#include <vector>

#include "shell/Prompt.h"
#include "shell/StatusWindow.h"
#include "store/PageColumns.h"

namespace kordex::store {
class TDM;
}
namespace kordex::filters {
class PageFilters;
}

namespace kordex::cli {

// One cell of a CSV file: quoted when it holds the separator, a quote or a
// line break, its quotes doubled.
QString CsvCell(const QString& text);

// The text of a value as the export writes it: date-times as
// "dd.mm.yyyy hh:mm:ss" (dates and times of day alone in their part), numbers
// plain, booleans "Да"/"Нет", empty values empty.
QString ExportText(const store::Field& field, const QVariant& value);

// Writes the rows of the view in its order with the columns given, their
// titles as the header row: UTF-8 with a byte-order mark, ';' between cells,
// CR LF after each row. Throws store::Error when a field is missing or the
// device refuses the bytes.
void WriteCsv(store::View& view, const store::PageColumns& columns, QIODevice& out);

// kordex-cli export PAGE --csv FILE [--home DIR] [filter options]; args are
// the words after "export". Bad usage is refused (exit 2) before anything is
// opened; the store is opened for reading only and without the program
// directory's lock. Exit status 0 done, 1 failed, 2 bad usage.
int RunExport(const QStringList& args, shell::Prompt& prompt, shell::StatusWindow& status);

// The filter options of a page ("rounds", ...) as export takes them, without
// --csv and --home: checked before the store is opened (false after the
// refusal was printed), then put on the page's filter and set. Set gives 0
// when the filter is set or there are no options, 1 when setting it failed
// (having said why), 2 for a key or path the lists do not hold.
bool CheckFilterOptions(const QString& page, const QStringList& options);
int SetFilterOptions(const QString& page, const QStringList& options, store::TDM& dm,
                     filters::PageFilters& pageFilters);

// kordex-cli archive save|load|add FILE | add-current [rounds filter options]
// [--home DIR]: the archive commands on the program directory, holding its
// lock. The adds print "rounds added=N skipped=M". Exit status 0 done, 1
// failed or stopped, 2 bad usage.
int RunArchive(const QStringList& args, shell::Prompt& prompt, shell::StatusWindow& status);
QString ArchiveUsage();

// The usage lines of the export command.
QString ExportUsage();

}  // namespace kordex::cli
