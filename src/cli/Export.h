#pragma once

#include <QString>
#include <QStringList>

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

// kordex-cli export PAGE --csv FILE|--xlsx FILE [--home DIR] [filter options];
// args are
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
