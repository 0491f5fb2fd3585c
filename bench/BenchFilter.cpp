// bench-filter: the page filters on years of rounds.
//
// Builds a store of 10 000 rounds of 100 touches (1 000 000 touches) in a
// temporary program directory, the touches page in date mode, and measures,
// as its last lines:
//   touch_refilter_ms    the touch filter with a per-day window and a
//                        collector chosen, so that every touch takes the
//                        round step
//   complex_build_ms     the complex ID list of one user over every touch
//   complex_refilter_ms  the touch filter with that list in force
//   round_refilter_ms    the round filter with a collector and a per-day window
//
// Each is the best of --repeat N runs (default 3). Other options: --rounds N
// (default 10000), --touches N per round (default 100), --dir DIR (keep the
// store there).

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>

#include "StoreFill.h"
#include "filters/PageFilters.h"
#include "shell/Clock.h"
#include "shell/Prompt.h"
#include "shell/StatusWindow.h"
#include "store/DataModule.h"
#include "store/Rules.h"

using namespace kordex;
using namespace kordex::store;
using namespace kordex::bench;

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    BenchOptions options;
    int repeat = 3;
    if (!options.Parse("bench-filter", app.arguments(), {{"--repeat", &repeat}})) return 2;
    repeat = std::max(1, repeat);
    const int rounds = options.rounds, touches = options.touches;
    const QString keep = options.dir;
    QTemporaryDir temp;
    const QString dir = keep.isEmpty() ? temp.path() : keep;

    BenchStore store;
    if (!store.Open("bench-filter", dir)) return 1;
    std::unique_ptr<TDM>& dm = store.dm;
    auto rules = std::make_unique<Rules>(*dm);
    auto filters = std::make_unique<filters::PageFilters>(*dm);
    filters->ConnectRules(*rules);

    QElapsedTimer fillTime;
    fillTime.start();
    dm->DatabaseE().Begin();
    Fill(*dm, rounds, touches, 0);
    // Two collectors take turns; the last two keys of the touches are users.
    Table& roundTable = *dm->TableKDEvents().PhysicalTable();
    dm->DatabaseE().Exec(
        QStringLiteral("UPDATE %1 SET \"IDKD\"=CASE WHEN rowid % 2 = 0 THEN '%2' ELSE '%3' END")
            .arg(roundTable.Sql(), KeyOf(5001), KeyOf(5002)));
    dm->DatabaseE().Commit();
    const QString userA = KeyOf(1101), userB = KeyOf(1102);
    for (const QString& key : {userA, userB}) {
        View& users = dm->TableUsers();
        users.Append();
        users.SetValue("Key", key);
        users.SetValue("Name", key == userA ? QStringLiteral("А") : QStringLiteral("Б"));
        users.SetValue("IsRegister", false);
        users.Post();
    }
    for (const auto& c : dm->Components())
        if (c.view != nullptr && c.view->IsOpen()) c.view->Refresh();
    std::printf("rounds=%d touches=%lld fill_s=%.1f\n", rounds,
                static_cast<long long>(rounds) * touches, Ms(fillTime) / 1000);

    // The touches page in date mode: every touch, following nothing.
    View& t = dm->TableKDREvents();
    t.SetMaster(nullptr, {}, {});
    filters::TouchFilter& touchPage = filters->KDDEvents();
    filters::TouchFilterSettings& ts = touchPage.Settings();
    ts.interval.kind = filters::IntervalKind::PerDay;
    ts.interval.dateFrom = 45000;
    ts.interval.dateTo = 50000;
    ts.interval.timeFrom = 22.0 / 24;
    ts.interval.timeTo = 18.0 / 24;
    ts.collector = KeyOf(5001);
    // Each figure is the best of a few runs: the machine is shared.
    auto best = [&](const std::function<void()>& run) {
        double fastest = 0;
        for (int i = 0; i < repeat; ++i) {
            QElapsedTimer time;
            time.start();
            run();
            const double ms = Ms(time);
            if (i == 0 || ms < fastest) fastest = ms;
        }
        return fastest;
    };
    const double touchMs = best([&] { touchPage.Set(); });
    std::printf("touch_rows=%d\n", t.RecordCount());

    ts = filters::TouchFilterSettings{};
    ts.interval.noInterval = true;
    ts.ChooseEventKind(filters::EventKind::User);
    ts.event = userA;
    ts.complex = true;
    bool built = true;
    const double buildMs = best([&] { built = built && filters::BuildComplexFilter(*dm, ts, t); });
    if (!built) {
        std::fprintf(stderr, "bench-filter: the build failed: %s\n",
                     qPrintable(store.prompt.Texts().join(" | ")));
        return 1;
    }
    std::printf("complex_list=%d\n", ts.complexIds.Size());
    const double complexMs = best([&] { filters::Refilter(t); });
    std::printf("complex_rows=%d\n", t.RecordCount());

    filters::RoundFilter& roundPage = filters->KDEvents();
    filters::RoundFilterSettings& rs = roundPage.Settings();
    rs.interval.kind = filters::IntervalKind::PerDay;
    rs.interval.dateFrom = 45000;
    rs.interval.dateTo = 50000;
    rs.interval.timeFrom = 6.0 / 24;
    rs.interval.timeTo = 18.0 / 24;
    rs.collector = KeyOf(5001);
    const double roundMs = best([&] { roundPage.Set(); });
    std::printf("round_rows=%d\n", dm->TableKDEvents().RecordCount());

    std::printf("touch_refilter_ms=%.1f\n", touchMs);
    std::printf("complex_build_ms=%.1f\n", buildMs);
    std::printf("complex_refilter_ms=%.1f\n", complexMs);
    std::printf("round_refilter_ms=%.1f\n", roundMs);
    filters.reset();
    rules.reset();
    dm.reset();
    return 0;
}
