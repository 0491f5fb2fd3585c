// Filling a store with years of rounds and journal entries for the benchmarks.
#pragma once

#include <QElapsedTimer>
#include <QStringList>
#include <cstdio>
#include <memory>
#include <utility>
#include <vector>

#include "link/KeyId.h"
#include "shell/Clock.h"
#include "shell/Prompt.h"
#include "shell/StatusWindow.h"
#include "store/DataModule.h"

namespace kordex::bench {

using namespace kordex::store;

inline QString KeyOf(uint32_t serial) {
    return link::TouchKeyText(serial);
}

inline double Ms(const QElapsedTimer& t) {
    return static_cast<double>(t.nsecsElapsed()) / 1e6;
}

// The options of the store benchmarks: --rounds N, --touches N (per round),
// --dir DIR (keep the store there; none: a temporary directory), and the
// whole-number options a benchmark adds. False, with its usage line on
// stderr, for anything else.
struct BenchOptions {
    int rounds = 10000;
    int touches = 100;
    QString dir;

    bool Parse(const char* bench, const QStringList& args,
               const std::vector<std::pair<const char*, int*>>& extra = {}) {
        for (int i = 1; i < args.size(); ++i) {
            const QString& a = args[i];
            const QString v = i + 1 < args.size() ? args[i + 1] : QString();
            int* number = a == QLatin1String("--rounds")    ? &rounds
                          : a == QLatin1String("--touches") ? &touches
                                                            : nullptr;
            for (const auto& [name, target] : extra)
                if (a == QLatin1String(name)) number = target;
            if (number != nullptr) {
                *number = v.toInt();
                ++i;
            } else if (a == QLatin1String("--dir")) {
                dir = v;
                ++i;
            } else {
                QString usage = QStringLiteral("Usage: %1 [--rounds N] [--touches N]").arg(bench);
                for (const auto& e : extra)
                    usage += QStringLiteral(" [%1 N]").arg(QLatin1String(e.first));
                std::fprintf(stderr, "%s [--dir DIR]\n", qPrintable(usage));
                return false;
            }
        }
        return true;
    }
};

// A store for a benchmark: no person to answer, the system's clock.
struct BenchStore {
    shell::ScriptedPrompt prompt;
    shell::ScriptedStatusWindow status;
    shell::SystemClock clock;
    shell::QtEventPump pump;
    std::unique_ptr<TDM> dm;

    // Opens the program directory dir; false, with the reason on stderr,
    // when it cannot.
    bool Open(const char* bench, const QString& dir) {
        dm = std::make_unique<TDM>(prompt, status, clock, pump, dir);
        if (dm->OpenDatabases()) return true;
        std::fprintf(stderr, "%s: cannot open the store: %s\n", bench,
                     qPrintable(prompt.Texts().join(" | ")));
        return false;
    }
};

inline void Fill(TDM& dm, int rounds, int touchesPerRound, int journal) {
    const int points = 100;
    for (int p = 0; p < points; ++p) {
        View& v = dm.TablePoints();
        v.Append();
        v.SetValue("Key", KeyOf(1000 + p));
        v.SetValue("Name", QStringLiteral("Точка %1").arg(p));
        v.SetValue("IsPrBook", false);
        v.Post();
    }
    // The round tables and the journal live on two connections: each fill
    // runs in one transaction per connection, or every row would commit alone.
    Database& db = dm.Database();
    Database& dbE = dm.DatabaseE();
    Table& r = *dm.TableKDEvents().PhysicalTable();
    Table& t = *dm.TableKDREvents().PhysicalTable();
    Table& j = *dm.TablePrEvents().PhysicalTable();
    const double start = 45000.0;
    db.Begin();
    dbE.Begin();
    Values round(r.Def().fields.size()), touch(t.Def().fields.size()), entry(j.Def().fields.size());
    for (int i = 0; i < rounds; ++i) {
        const double reg = start + i * 0.5;
        round.assign(round.size(), QVariant());
        round[0] = reg;
        round[4] = 1;
        round[5] = 2;
        r.Insert(round);
        for (int k = 0; k < touchesPerRound; ++k) {
            touch.assign(touch.size(), QVariant());
            touch[0] = reg;
            touch[1] = reg + (k + 1) / 1440.0;
            touch[3] = KeyOf(1000 + (k * 7 + i) % (points + 3));  // a few unknown keys
            touch[4] = k % 9 == 0 ? QVariant(7) : QVariant(0);
            t.Insert(touch);
        }
    }
    for (int i = 0; i < journal; ++i) {
        entry.assign(entry.size(), QVariant());
        entry[0] = start + i / 100.0;
        entry[3] = QStringLiteral("Чтение из Kordex'а");
        j.Insert(entry);
    }
    dbE.Commit();
    db.Commit();
}

}  // namespace kordex::bench
