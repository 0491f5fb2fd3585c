#pragma once

#include <QString>
#include <QStringList>

#include "shell/Prompt.h"
#include "shell/StatusWindow.h"
#include "store/PageColumns.h"

namespace kordex::cli {

// kordex-cli export PAGE --csv FILE|--xlsx FILE [--home DIR] [filter options];
// args are
// the words after "export". Bad usage is refused (exit 2) before anything is
// opened; the store is opened for reading only and without the program
// directory's lock. Exit status 0 done, 1 failed, 2 bad usage.
int RunExport(const QStringList& args, shell::Prompt& prompt, shell::StatusWindow& status);

// The usage lines of the export command.
QString ExportUsage();

}  // namespace kordex::cli
