// bench-store: the store's views on years of data.
//
// Builds a store of 10 000 rounds of 100 touches (1 000 000 touches) and a
// journal of 1 000 000 entries in a temporary program directory, then
// measures, as its last lines:
//   open_ms           open the touch view without master link, in index
//                     order, and go to its last row
//   refilter_ms       reapply a filter callback that reads each row's fields
//   fetch_us_per_row  fetch rows with their calculated fields, as a grid
//                     scrolling through them does
//   append_journal_ms one journal entry appended to the big journal
//
// Options: --rounds N (default 10000), --touches N per round (default 100),
// --journal N (default 1000000), --dir DIR (keep the store there).

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <cstdio>
#include <memory>

#include "StoreFill.h"
#include "link/KeyId.h"
#include "shell/Clock.h"
#include "shell/Prompt.h"
#include "shell/StatusWindow.h"
#include "store/Catalogue.h"
#include "store/DataModule.h"
#include "store/Rules.h"

using namespace kordex;
using namespace kordex::store;
using namespace kordex::bench;

namespace {}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    BenchOptions options;
    int journal = 1000000;
    if (!options.Parse("bench-store", app.arguments(), {{"--journal", &journal}})) return 2;
    const int rounds = options.rounds, touches = options.touches;
    const QString keep = options.dir;
    QTemporaryDir temp;
    const QString dir = keep.isEmpty() ? temp.path() : keep;

    BenchStore store;
    if (!store.Open("bench-store", dir)) return 1;
    std::unique_ptr<TDM>& dm = store.dm;
    auto rules = std::make_unique<Rules>(*dm);
    QElapsedTimer fillTime;
    fillTime.start();
    Fill(*dm, rounds, touches, journal);
    for (View* big : {&dm->TableKDEvents(), &dm->TablePrEvents(), &dm->TablePrEventsReg()})
        big->Refresh();
    std::printf("rounds=%d touches=%lld journal=%d fill_s=%.1f\n", rounds,
                static_cast<long long>(rounds) * touches, journal, Ms(fillTime) / 1000);

    // The touch view of the rounds page with its master link taken off: every touch.
    View& v = dm->TableKDREvents();
    v.Close();
    v.SetMaster(nullptr, {}, {});
    // The check of the whole file that the first opening at login makes, apart.
    QElapsedTimer t;
    t.start();
    dm->OpenTable(v);
    const double checkMs = Ms(t);
    v.Close();
    t.restart();
    v.Open(dm->DatabaseE());
    v.Last();
    const double openMs = Ms(t);
    std::printf("login_check_and_open_ms=%.1f\n", checkMs);
    std::printf("touch_rows=%d\n", v.RecordCount());

    int seen = 0;
    v.onFilterRecord = [&](View& row) {
        ++seen;
        return row.Value(QStringLiteral("Date")).toDouble() > 45100.0 &&
               !row.Text(QStringLiteral("Key")).isEmpty();
    };
    v.SetFiltered(true);
    seen = 0;
    t.restart();
    TDM::ReapplyFilter(v);
    const double refilterMs = Ms(t);
    std::printf("filtered_rows=%d asked=%d\n", v.RecordCount(), seen);
    v.SetFiltered(false);

    const int sample = std::min(v.RecordCount(), 200000);
    const int step = std::max(1, v.RecordCount() / sample);
    int nonEmpty = 0;
    t.restart();
    for (int i = 0, n = 0; n < sample; i += step, ++n) {
        const std::vector<QVariant> row = v.RowAt(i);
        nonEmpty += !row[v.FieldIndex(QStringLiteral("CComment"))].isNull();
    }
    const double fetchUs = Ms(t) * 1000 / sample;
    std::printf("fetched=%d with_kind=%d\n", sample, nonEmpty);

    const int appends = 20;
    t.restart();
    for (int i = 0; i < appends; ++i)
        rules->AppendJournal(QStringLiteral("Разрешен доступ"));
    const double appendMs = Ms(t) / appends;
    std::printf("journal_rows=%d\n", dm->TablePrEvents().RecordCount());

    std::printf("open_ms=%.1f\n", openMs);
    std::printf("refilter_ms=%.1f\n", refilterMs);
    std::printf("fetch_us_per_row=%.2f\n", fetchUs);
    std::printf("append_journal_ms=%.2f\n", appendMs);
    rules.reset();
    dm.reset();
    return 0;
}
