#include <QCoreApplication>
#include <QDir>
#include <cstdio>

#include "Export.h"
#include "archive/Commands.h"
#include "archive/Pages.h"
#include "filters/PageFilters.h"
#include "shell/Clock.h"
#include "store/DataModule.h"
#include "store/Rules.h"

namespace kordex::cli {

namespace {

int Refuse(const QString& why) {
    std::fputs((QStringLiteral("kordex-cli: ") + why + QLatin1Char('\n')).toLocal8Bit().constData(),
               stderr);
    return 2;
}

// The rounds page, whose filter the add of the current rounds follows.
const QString RoundsPage = QStringLiteral("rounds");

}  // namespace

QString ArchiveUsage() {
    return QStringLiteral(
        "       kordex-cli archive save FILE | load FILE | add FILE [--home DIR]\n"
        "       kordex-cli archive add-current [--home DIR] [filter options of rounds]");
}

int RunArchive(const QStringList& args, shell::Prompt& prompt, shell::StatusWindow& status) {
    if (args.isEmpty())
        return Refuse(QStringLiteral("archive needs save, load, add or add-current"));
    const QString command = args[0];
    const bool current = command == QLatin1String("add-current");
    if (!current && command != QLatin1String("save") && command != QLatin1String("load") &&
        command != QLatin1String("add"))
        return Refuse(QStringLiteral("unknown archive command ") + command);
    QString file, home;
    QStringList filterOptions;
    for (int i = 1; i < args.size(); ++i) {
        const QString& a = args[i];
        if (a == QLatin1String("--home")) {
            if (i + 1 >= args.size() || args[i + 1].trimmed().isEmpty())
                return Refuse(QStringLiteral("--home needs a directory"));
            home = args[++i];
        } else if (current) {
            filterOptions << a;
        } else if (!a.startsWith(QLatin1String("--")) && file.isEmpty() && !a.isEmpty()) {
            file = a;
        } else {
            return Refuse(QStringLiteral("bad argument ") + a);
        }
    }
    if (!current && file.isEmpty())
        return Refuse(QStringLiteral("archive %1 needs a file").arg(command));
    if (current && !CheckFilterOptions(RoundsPage, filterOptions)) return 2;
    if (home.isEmpty()) home = QCoreApplication::applicationDirPath();
    if (!file.isEmpty()) file = QDir::current().absoluteFilePath(file);

    shell::SystemClock clock;
    shell::QtEventPump pump;
    store::TDM dm(prompt, status, clock, pump, home);
    // Takes the program directory's lock, or says who holds it.
    if (!dm.OpenDatabases()) return 1;
    store::Rules rules(dm);
    rules.SetNobodyLoggedIn(true);
    filters::PageFilters pageFilters(dm);
    archive::PlainArchivePages pages;
    archive::Commands commands(dm, rules, pages);

    bool done = false;
    if (command == QLatin1String("save")) {
        done = commands.Save(file);
    } else if (command == QLatin1String("load")) {
        done = commands.Load(file);
    } else {
        if (current) {
            const int set = SetFilterOptions(RoundsPage, filterOptions, dm, pageFilters);
            if (set != 0) return set;
            done = commands.AddCurrent();
        } else {
            done = commands.Add(file);
        }
        const archive::Commands::Tally t = commands.LastTally();
        std::fputs(QStringLiteral("rounds added=%1 skipped=%2\n")
                       .arg(t.added)
                       .arg(t.skipped)
                       .toLocal8Bit()
                       .constData(),
                   stdout);
    }
    return done ? 0 : 1;
}

}  // namespace kordex::cli
