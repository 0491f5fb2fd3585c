// The path and the shift of the read benchmarks: a path of many check points
// in mode 2 and a collector whose 1000 touches walk it.
#pragma once

#include <QDateTime>

#include "StoreFill.h"
#include "sim/Collector.h"
#include "store/DataModule.h"

namespace kordex::bench {

constexpr uint32_t FirstPathKey = 50000;

// Check points and a path through them, in one transaction; the path's ID.
inline int AddBigPath(store::TDM& dm, int points) {
    dm.Database().Begin();
    for (int p = 0; p < points; ++p) {
        dm.TablePoints().Append();
        dm.TablePoints().SetValue("Key", KeyOf(FirstPathKey + p));
        dm.TablePoints().SetValue("Name", QStringLiteral("Точка маршрута %1").arg(p));
        dm.TablePoints().Post();
    }
    dm.TablePathes().Append();
    dm.TablePathes().SetValue("Name", QStringLiteral("Большой маршрут"));
    dm.TablePathes().Post();
    const int pathId = dm.TablePathes().Value("ID").toInt();
    for (int p = 0; p < points; ++p) {
        dm.TablePPathes().Append();
        dm.TablePPathes().SetValue("Key", KeyOf(FirstPathKey + p));
        dm.TablePPathes().Post();
    }
    dm.Database().Commit();
    return pathId;
}

// A collector written at `written` for that path in mode 2, with 1000 touches
// walking it round (a full ring: pointer 0, overflow flag 1).
inline void LayBigShift(sim::Collector& collector, const QDateTime& written, const QDateTime& now,
                        int pathId, int points) {
    collector.SetId(KeyOf(0x0C01));
    collector.SetRegistrar(KeyOf(0x0C02));
    collector.SetGuard(KeyOf(0x0C03));
    collector.SetStamp(written, 10);
    collector.SetPath(pathId, 2);
    collector.SetClock(now);
    for (int i = 0; i < 1000; ++i)
        collector.Touch(KeyOf(FirstPathKey + i % points), written.addSecs(30 * i));
    collector.SetPointer(0);
    collector.SetOverflow(1);
}

}  // namespace kordex::bench
