// bench-round: one whole read of a collector into a big store.
//
// A store that already holds 10 000 rounds of 100 touches; a path of 500
// points in mode 2; a collector with 1000 touches of that path, read from the
// in-process simulator (no line pacing), stored and judged. Prints
// read_store_judge_ms last.

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <cstdio>
#include <memory>

#include "BigShift.h"
#include "collector/Operations.h"
#include "link/ReaderLink.h"
#include "shell/Clock.h"
#include "shell/Prompt.h"
#include "shell/StatusWindow.h"
#include "sim/Collector.h"
#include "sim/Reader.h"
#include "sim/SimPort.h"
#include "store/Rules.h"

using namespace kordex;
using namespace kordex::bench;

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    const QDateTime written(QDate::currentDate().addDays(-1), QTime(20, 0, 0));
    shell::FakeClock clock(1000, written.addSecs(12 * 3600));
    shell::ScriptedPrompt prompt;
    shell::ScriptedStatusWindow status;
    shell::HookPump pump;
    auto dm = std::make_unique<store::TDM>(prompt, status, clock, pump, dir.path());
    if (!dm->OpenDatabases()) return 1;
    auto rules = std::make_unique<store::Rules>(*dm);
    Fill(*dm, 10000, 100, 0);

    // The path: 500 check points.
    const int pathPoints = 500;
    const int pathId = AddBigPath(*dm, pathPoints);
    for (store::View* v : {&dm->TableKDEvents(), &dm->TablePoints()})
        v->Refresh();

    // The collector: 1000 touches walking the path twice.
    sim::Collector collector(clock);
    sim::Reader reader(collector);
    sim::SimPort port(reader, clock);
    LayBigShift(collector, written, clock.Now(), pathId, pathPoints);

    link::ReaderLink link(port, prompt, status, clock, pump);
    link.SetPortDigit(1);
    collector::PlainPages pages;
    collector::Operations ops(link, *dm, *rules, prompt, status, clock, pages);

    QElapsedTimer t;
    t.start();
    const bool ok = ops.ActionDReadExecute();
    const double ms = Ms(t);
    store::View& round = dm->TableKDEvents();
    std::printf("stored_touches=%lld read_ok=%d touches=%d N=%d FromN=%d missed=%d\n",
                static_cast<long long>(dm->TableKDREvents().PhysicalTable()->Count()), ok ? 1 : 0,
                dm->TableKDREvents().RecordCount(), round.Value("N").toInt(),
                round.Value("FromN").toInt(), dm->TableKDLEvents().RecordCount());
    if (!ok) std::fprintf(stderr, "bench-round: %s\n", qPrintable(prompt.Texts().join(" | ")));
    std::printf("read_store_judge_ms=%.1f\n", ms);
    return ok ? 0 : 1;
}
