// bench-archive: the event archive commands on years of rounds.
//
// Builds a store of 10 000 rounds of 100 touches (1 000 000 touches) in a
// temporary program directory and measures, each against a baseline timed in
// the same run on the same machine:
//   save_ms      Save of the working tables into a new zip file
//   zip_ms       `zip -6 -j` of the same three table files into another one
//   load_ms      Load of the saved file into the archive
//   merge_ms     add current of every round into an empty archive
//   sql_ms       SQLite's own INSERT ... SELECT of the same rows from the
//                working files into empty copies of them, in one transaction
//   sql_rowwise_ms  the same with a WHERE clause, which keeps SQLite from
//                copying the stored records as they are (for comparison)
// and prints, last:
//   save_ratio   save_ms / zip_ms   (aim: at most 1.2)
//   load_ms
//   merge_ratio  merge_ms / sql_ms  (aim: at most 3)
//
// Options: --rounds N (default 10000), --touches N per round (default 100),
// --dir DIR (keep the program directory there).

#include <sqlite3.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <cstdio>
#include <memory>

#include "StoreFill.h"
#include "archive/Commands.h"
#include "store/Catalogue.h"
#include "store/DataModule.h"
#include "store/Rules.h"

using namespace kordex;
using namespace kordex::store;
using namespace kordex::bench;

namespace {

// The three files of the rounds, as both database directories name them.
const QStringList RoundFiles = {QStringLiteral("KDEvents.DB"), QStringLiteral("KDREvs.DB"),
                                QStringLiteral("KDLEvs.DB")};

// A connection of SQLite itself; every failure ends the benchmark.
class Sql {
public:
    explicit Sql(const QString& file) {
        if (sqlite3_open(QFile::encodeName(file).constData(), &db_) != SQLITE_OK) Die(file);
    }
    ~Sql() { sqlite3_close(db_); }
    Sql(const Sql&) = delete;
    Sql& operator=(const Sql&) = delete;

    void Exec(const QString& sql) {
        if (sqlite3_exec(db_, sql.toUtf8().constData(), nullptr, nullptr, nullptr) != SQLITE_OK)
            Die(sql);
    }
    QStringList Column(const QString& sql) {
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v2(db_, sql.toUtf8().constData(), -1, &st, nullptr) != SQLITE_OK)
            Die(sql);
        QStringList out;
        while (sqlite3_step(st) == SQLITE_ROW)
            out << QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)));
        sqlite3_finalize(st);
        return out;
    }
    long long Count(const QString& schema, const QString& table) {
        const QStringList r =
            Column(QStringLiteral("SELECT count(*) FROM \"%1\".\"%2\"").arg(schema, table));
        return r.isEmpty() ? -1 : r.first().toLongLong();
    }

private:
    [[noreturn]] void Die(const QString& what) {
        std::fprintf(stderr, "bench-archive: %s: %s\n", qPrintable(what), sqlite3_errmsg(db_));
        std::exit(1);
    }
    sqlite3* db_ = nullptr;
};

QString TableOf(const QString& file) {
    return file.section(QLatin1Char('.'), 0, 0);
}

// Rows of each round file of a directory, "rounds/touches/missed".
QString Rows(const QString& dir) {
    Sql sql(QStringLiteral(":memory:"));
    QStringList out;
    for (const QString& f : RoundFiles) {
        sql.Exec(QStringLiteral("ATTACH '%1' AS x").arg(QDir(dir).filePath(f)));
        out << QString::number(sql.Count("x", TableOf(f)));
        sql.Exec(QStringLiteral("DETACH x"));
    }
    return out.join(QLatin1Char('/'));
}

// Empty copies of the round files of a directory: the same tables and indexes.
void EmptyCopies(const QString& from, const QString& to) {
    QDir().mkpath(to);
    for (const QString& f : RoundFiles) {
        Sql sql(QDir(to).filePath(f));
        sql.Exec(QStringLiteral("ATTACH '%1' AS src").arg(QDir(from).filePath(f)));
        const QStringList schema = sql.Column(QStringLiteral(
            "SELECT sql FROM src.sqlite_master WHERE sql IS NOT NULL AND name NOT LIKE 'sqlite_%'"
            " ORDER BY type DESC"));
        sql.Exec(QStringLiteral("DETACH src"));
        for (const QString& s : schema)
            sql.Exec(s);
    }
}

// The baseline of the merge: every row of the working files copied into the
// empty copies by INSERT ... SELECT, in one transaction, with the journal and
// sync settings the store uses. Into empty tables of the same schema SQLite
// copies the stored records and index entries as they are; rowwise (a WHERE
// clause) makes it decode and insert row by row instead.
double SqlCopy(const QString& from, const QString& to, bool rowwise) {
    QElapsedTimer time;
    time.start();
    Sql sql(QStringLiteral(":memory:"));
    for (const QString& f : RoundFiles) {
        const QString t = TableOf(f);
        sql.Exec(QStringLiteral("ATTACH '%1' AS \"src%2\"").arg(QDir(from).filePath(f), t));
        sql.Exec(QStringLiteral("ATTACH '%1' AS \"arch%2\"").arg(QDir(to).filePath(f), t));
        sql.Exec(QStringLiteral("PRAGMA \"arch%1\".journal_mode=DELETE;"
                                " PRAGMA \"arch%1\".synchronous=FULL;"
                                " PRAGMA \"arch%1\".cache_size=-8192")
                     .arg(t));
    }
    sql.Exec(QStringLiteral("BEGIN"));
    for (const QString& f : RoundFiles) {
        const QString t = TableOf(f);
        sql.Exec(QStringLiteral("INSERT INTO \"arch%1\".\"%1\" SELECT * FROM \"src%1\".\"%1\"%2")
                     .arg(t, rowwise ? QStringLiteral(" WHERE rowid IS NOT NULL") : QString()));
    }
    sql.Exec(QStringLiteral("COMMIT"));
    return Ms(time);
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    BenchOptions options;
    if (!options.Parse("bench-archive", app.arguments())) return 2;
    const int rounds = options.rounds, touches = options.touches;
    const QString keep = options.dir;
    QTemporaryDir temp, files;
    const QString dir = keep.isEmpty() ? temp.path() : keep;
    const QString data = QDir(dir).filePath(DirData);
    const QString archive = QDir(dir).filePath(DirArchive);

    BenchStore store;
    if (!store.Open("bench-archive", dir)) return 1;
    std::unique_ptr<TDM>& dm = store.dm;
    auto rules = std::make_unique<Rules>(*dm);
    archive::PlainArchivePages pages;
    auto commands = std::make_unique<archive::Commands>(*dm, *rules, pages);
    auto failed = [&](const char* what) {
        std::fprintf(stderr, "bench-archive: %s failed: %s\n", what,
                     qPrintable(store.prompt.Texts().join(" | ")));
        return 1;
    };

    QElapsedTimer fillTime;
    fillTime.start();
    Fill(*dm, rounds, touches, 0);
    for (const auto& c : dm->Components())
        if (c.view != nullptr && c.view->IsOpen()) c.view->Refresh();
    const QString working = Rows(data);
    std::printf("rounds=%d touches=%lld fill_s=%.1f rows=%s\n", rounds,
                static_cast<long long>(rounds) * touches, Ms(fillTime) / 1000, qPrintable(working));

    // Save against zip of the same files.
    const QString saved = files.filePath("KDEv0126.zip");
    QElapsedTimer time;
    time.start();
    if (!commands->Save(saved)) return failed("save");
    const double saveMs = Ms(time);
    store.prompt.Clear();

    const QString zipped = files.filePath("zip.zip");
    QStringList zipArgs = {QStringLiteral("-6"), QStringLiteral("-j"), QStringLiteral("-q"),
                           zipped};
    for (const QString& f : RoundFiles)
        zipArgs << QDir(data).filePath(f);
    QProcess zip;
    time.restart();
    zip.start(QStringLiteral("zip"), zipArgs);
    if (!zip.waitForFinished(-1) || zip.exitStatus() != QProcess::NormalExit ||
        zip.exitCode() != 0) {
        std::fprintf(stderr, "bench-archive: zip failed: %s\n",
                     qPrintable(zip.errorString() + QString::fromLocal8Bit(zip.readAll())));
        return 1;
    }
    const double zipMs = Ms(time);
    std::printf("save_ms=%.1f zip_ms=%.1f save_bytes=%lld zip_bytes=%lld\n", saveMs, zipMs,
                static_cast<long long>(QFileInfo(saved).size()),
                static_cast<long long>(QFileInfo(zipped).size()));

    // Add current into the empty archive, against SQLite copying the same rows
    // into empty copies of the files.
    if (Rows(archive) != QStringLiteral("0/0/0")) {
        std::fprintf(stderr, "bench-archive: the archive is not empty\n");
        return 1;
    }
    const QString copies = files.filePath("copies"), rowCopies = files.filePath("rowwise");
    EmptyCopies(data, copies);
    EmptyCopies(data, rowCopies);
    time.restart();
    if (!commands->AddCurrent()) return failed("add current");
    const double mergeMs = Ms(time);
    store.prompt.Clear();
    const QString merged = Rows(archive);
    const double sqlMs = SqlCopy(data, copies, false);
    const QString copied = Rows(copies);
    const double rowwiseMs = SqlCopy(data, rowCopies, true);
    std::printf("merge_ms=%.1f sql_ms=%.1f added=%d merged=%s copied=%s\n", mergeMs, sqlMs,
                commands->LastTally().added, qPrintable(merged), qPrintable(copied));
    std::printf("sql_rowwise_ms=%.1f merge_over_rowwise=%.2f\n", rowwiseMs, mergeMs / rowwiseMs);
    if (merged != working || copied != working || Rows(rowCopies) != working) {
        std::fprintf(stderr, "bench-archive: the copies do not hold the working rows\n");
        return 1;
    }

    // Load the saved file into the archive.
    time.restart();
    if (!commands->Load(saved)) return failed("load");
    const double loadMs = Ms(time);
    const QString loaded = Rows(archive);
    std::printf("loaded=%s\n", qPrintable(loaded));
    if (loaded != working) {
        std::fprintf(stderr, "bench-archive: the loaded archive differs\n");
        return 1;
    }

    std::printf("save_ratio=%.2f\n", saveMs / zipMs);
    std::printf("load_ms=%.1f\n", loadMs);
    std::printf("merge_ratio=%.2f\n", mergeMs / sqlMs);
    commands.reset();
    rules.reset();
    dm.reset();
    return 0;
}
