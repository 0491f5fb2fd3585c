// bench-export: the export of every touch by date and time.
//
// Builds a store of 10 000 rounds of 100 touches (1 000 000 touches) in a
// temporary program directory and writes the touches page, as kordex-cli
// export touches does, to an .xlsx file and to a .csv file. Prints the sizes
// and, as its last lines:
//   xlsx_rows_per_s  rows written to the .xlsx per second
//   csv_rows_per_s   rows written to the .csv per second
//
// Options: --rounds N (default 10000), --touches N per round (default 100),
// --dir DIR (keep the store and the files there).

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>
#include <cstdio>
#include <ctime>
#include <memory>

#include "StoreFill.h"
#include "sheets/Sheet.h"
#include "shell/Clock.h"
#include "shell/Prompt.h"
#include "shell/StatusWindow.h"
#include "store/DataModule.h"
#include "store/PageColumns.h"
#include "store/Rules.h"

using namespace kordex;
using namespace kordex::store;
using namespace kordex::bench;

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    BenchOptions options;
    if (!options.Parse("bench-export", app.arguments())) return 2;
    const int rounds = options.rounds, touches = options.touches;
    const QString keep = options.dir;
    QTemporaryDir temp;
    const QString dir = keep.isEmpty() ? temp.path() : keep;

    shell::ScriptedPrompt prompt;
    shell::ScriptedStatusWindow status;
    shell::SystemClock clock;
    shell::QtEventPump pump;
    auto dm = std::make_unique<TDM>(prompt, status, clock, pump, dir);
    if (!dm->OpenDatabases()) {
        std::fprintf(stderr, "bench-export: cannot open the store: %s\n",
                     qPrintable(prompt.Texts().join(" | ")));
        return 1;
    }
    auto rules = std::make_unique<Rules>(*dm);
    QElapsedTimer t;
    t.start();
    Fill(*dm, rounds, touches, 0);
    std::printf("rounds=%d touches=%lld fill_s=%.1f\n", rounds,
                static_cast<long long>(rounds) * touches, Ms(t) / 1000);

    // The touches page: every touch by date and time, no round followed.
    View& v = dm->TableKDREvents();
    v.SetMaster(nullptr, {}, {});
    const int rows = v.RecordCount();
    std::printf("touch_rows=%d\n", rows);
    const sheets::Sheet sheet = sheets::PageSheet(v, columns::Touches());
    int reports = 0;
    const sheets::Progress progress = [&](int64_t, int64_t) {
        ++reports;
        return true;
    };

    auto run = [&](sheets::FileKind kind, const char* name) {
        const QString file = QDir(dir).filePath(QString::fromLatin1(name));
        QElapsedTimer w;
        w.start();
        const std::clock_t cpu = std::clock();
        if (!sheets::WriteFile(sheet, file, kind, progress)) {
            std::fprintf(stderr, "bench-export: stopped\n");
            std::exit(1);
        }
        const double s = Ms(w) / 1000;
        std::printf("%s_bytes=%lld %s_s=%.2f %s_cpu_s=%.2f\n", name,
                    static_cast<long long>(QFileInfo(file).size()), name, s, name,
                    static_cast<double>(std::clock() - cpu) / CLOCKS_PER_SEC);
        return rows / s;
    };
    const double xlsx = run(sheets::FileKind::Xlsx, "touches.xlsx");
    const double csv = run(sheets::FileKind::Csv, "touches.csv");
    std::printf("progress_reports=%d\n", reports);
    std::printf("xlsx_rows_per_s=%.0f\n", xlsx);
    std::printf("csv_rows_per_s=%.0f\n", csv);
    rules.reset();
    dm.reset();
    return 0;
}
