// The store under faults: other processes on its files, a disk that fills,
// files that are not what they claim to be, a second program.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <QFile>
#include <QThread>
#include <atomic>
#include <thread>

#include "ModuleFixture.h"
#include "store/Rules.h"

using namespace kordex;
using namespace kordex::store;
using namespace kordex::store::testing;

namespace {

// A connection of another process, in the words of SQLite: its own handle
// on one table file.
class OtherConnection {
public:
    explicit OtherConnection(const QString& path) {
        sqlite3_open_v2(QFile::encodeName(path).constData(), &db_, SQLITE_OPEN_READWRITE, nullptr);
    }
    ~OtherConnection() { sqlite3_close(db_); }
    int Exec(const char* sql) { return sqlite3_exec(db_, sql, nullptr, nullptr, nullptr); }

private:
    sqlite3* db_ = nullptr;
};

}  // namespace

// SQLite may undo a whole transaction after a full disk or an I/O error: no
// later statement of it runs on its own, and its commit says it failed.
TEST_F(ModuleTest, ATransactionSQLiteUndidStaysUndone) {
    Open();
    Database& db = dm->DatabaseE();
    View& rounds = dm->TableKDEvents();
    Add(rounds, {{"DateReg", Stamp(1)}});
    int statements = 0;
    db.faultHook = [&](const QString& sql) {
        return sql.startsWith("INSERT") && ++statements == 2 ? SQLITE_FULL : SQLITE_OK;
    };
    db.Begin();
    Add(rounds, {{"DateReg", Stamp(2)}});
    EXPECT_THROW(Add(rounds, {{"DateReg", Stamp(3)}}), Error);
    rounds.Cancel();
    EXPECT_TRUE(db.TransactionLost());
    // Carrying on would store rows outside any transaction: refused.
    EXPECT_THROW(Add(rounds, {{"DateReg", Stamp(4)}}), Error);
    rounds.Cancel();
    EXPECT_THROW(db.Commit(), Error);
    db.faultHook = nullptr;
    EXPECT_FALSE(db.InTransaction());
    RawFile file(PathOf("DB", "KDEvents.DB"));
    EXPECT_EQ(file.Scalar("SELECT count(*) FROM KDEvents"), "1");
    // The connection works again afterwards.
    Add(rounds, {{"DateReg", Stamp(5)}});
    EXPECT_EQ(file.Scalar("SELECT count(*) FROM KDEvents"), "2");
}

// A real full disk, as SQLite sees one: the file may not grow.
TEST_F(ModuleTest, ARealFullDiskFailsThePostAndKeepsTheTransactionAtItsStart) {
    Open();
    Database& db = dm->DatabaseE();
    View& touches = dm->TableKDREvents();
    db.Exec("PRAGMA \"KDREvs\".max_page_count = 3");
    db.Begin();
    bool failed = false;
    for (int i = 0; i < 2000 && !failed; ++i) {
        try {
            Add(touches, {{"DateReg", Stamp(1)}, {"Date", Stamp(1, 1, i % 60)}, {"Key", "AA"}});
        } catch (const Error& e) {
            failed = true;
            touches.Cancel();
            EXPECT_TRUE(e.Cause().contains("full")) << e.Cause().toStdString();
            EXPECT_TRUE(e.Cause().contains("KDREvs.DB")) << e.Cause().toStdString();
        }
    }
    ASSERT_TRUE(failed);
    db.Rollback();
    EXPECT_FALSE(db.InTransaction());
    RawFile file(PathOf("DB", "KDREvs.DB"));
    EXPECT_EQ(file.Scalar("SELECT count(*) FROM KDREvs"), "0");
}

// Another process reading a table holds its lock for a moment: a post
// waits for it instead of failing at once.
TEST_F(ModuleTest, APostWaitsForAnotherProcessReadingTheTable) {
    Open();
    std::atomic<bool> holding{false};
    std::thread other([&] {
        OtherConnection c(PathOf("DB", "PrEvents.DB"));
        c.Exec("BEGIN EXCLUSIVE");
        holding = true;
        QThread::msleep(400);
        c.Exec("COMMIT");
    });
    while (!holding)
        QThread::msleep(5);
    Rules rules(*dm);
    EXPECT_NO_THROW(rules.AppendJournal("Разрешен доступ"));
    other.join();
    RawFile file(PathOf("DB", "PrEvents.DB"));
    EXPECT_EQ(file.Scalar("SELECT count(*) FROM PrEvents"), "1");
}

// A table another process keeps locked, a file that holds more than the
// table (a trigger, a view) or less (a missing index): the opening stops and
// names the cause and the file.
TEST_F(ModuleTest, OpeningNamesTheCauseOfATableThatCannotBeOpened) {
    Open();
    dm->CloseDatabases();
    struct Case {
        const char* what;
        const char* file;
        const char* sql;
        const char* cause;
    } cases[] = {
        {"a trigger", "Users.DB",
         "CREATE TRIGGER t AFTER INSERT ON Users BEGIN DELETE FROM Users; END", "structure"},
        {"a view", "Keys.DB", "CREATE VIEW v AS SELECT * FROM Keys", "structure"},
        {"no unique index", "KDREvs.DB", "DROP INDEX TableKDREventsIndex1", "structure"},
        {"another index", "Pathes.DB", "CREATE INDEX extra ON Pathes(Name)", "structure"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const QString path = PathOf("DB", c.file);
        QFile::copy(path, path + ".orig");
        {
            OtherConnection other(path);
            ASSERT_EQ(other.Exec(c.sql), SQLITE_OK);
        }
        prompt.Clear();
        EXPECT_FALSE(dm->OpenDatabases());
        ASSERT_EQ(prompt.Asked().size(), 1u);
        const QString said = prompt.Asked()[0].text;
        EXPECT_EQ(said.section('\r', 0, 0), "Ошибка при открытии баз данных !");
        EXPECT_TRUE(said.section('\r', 1).contains(c.cause)) << said.toStdString();
        EXPECT_TRUE(said.section('\r', 1).contains(path)) << said.toStdString();
        EXPECT_TRUE(NothingOpen());
        QFile::remove(path);
        QFile::rename(path + ".orig", path);
    }
    // Locked by another process for longer than the program waits.
    {
        OtherConnection other(PathOf("DB", "Users.DB"));
        ASSERT_EQ(other.Exec("BEGIN EXCLUSIVE"), SQLITE_OK);
        prompt.Clear();
        EXPECT_FALSE(dm->OpenDatabases());
        ASSERT_EQ(prompt.Asked().size(), 1u);
        EXPECT_TRUE(prompt.Asked()[0].text.section('\r', 1).contains("locked"))
            << prompt.Asked()[0].text.toStdString();
        other.Exec("COMMIT");
    }
    Open();
}

// The working round tables copied as they are into the archive directory (as
// an archive of them is loaded) are the archive's tables: their indexes carry
// the working views' names, and that is no difference of structure.
TEST_F(ModuleTest, WorkingRoundFilesOpenAsTheArchive) {
    Open();
    dm->CloseDatabases();
    for (const char* file : {"KDEvents.DB", "KDREvs.DB", "KDLEvs.DB"}) {
        const QString archive = PathOf("DB.ARH", file);
        ASSERT_TRUE(QFile::remove(archive));
        ASSERT_TRUE(QFile::copy(PathOf("DB", file), archive));
    }
    prompt.Clear();
    ASSERT_TRUE(dm->OpenDatabases())
        << (prompt.Asked().empty() ? std::string() : prompt.Asked()[0].text.toStdString());
    EXPECT_TRUE(dm->TableKDAEvents().IsOpen());
    EXPECT_TRUE(dm->TableKDRAEvents().IsOpen());
}

// Two programs on one program directory: the second is refused with a clear
// message until the first has closed its databases; opening deletes nothing.
TEST_F(ModuleTest, ASecondProgramOnTheDirectoryIsRefused) {
    Open();
    shell::ScriptedPrompt otherPrompt;
    shell::ScriptedStatusWindow otherStatus;
    TDM other(otherPrompt, otherStatus, clock, pump, dir.path());
    EXPECT_FALSE(other.OpenDatabases());
    ASSERT_EQ(otherPrompt.Asked().size(), 1u);
    const QString said = otherPrompt.Asked()[0].text;
    EXPECT_EQ(said.section('\r', 0, 0), "Ошибка при открытии баз данных !");
    EXPECT_TRUE(said.contains("занят другой программой")) << said.toStdString();
    EXPECT_FALSE(other.Database().Connected());
    EXPECT_TRUE(dm->TableUsers().IsOpen());

    dm->CloseDatabases();
    otherPrompt.Clear();
    EXPECT_TRUE(other.OpenDatabases()) << otherPrompt.Texts().join('|').toStdString();
    // Its lock is the one that counts now.
    EXPECT_FALSE(dm->OpenDatabases());
}

// Rows another process deleted under an open view: the view reads its range
// again instead of comparing with a row that is not there.
TEST_F(ModuleTest, RowsDeletedByAnotherProcessAreNoCrash) {
    Open();
    View& points = dm->TablePoints();
    for (int i = 0; i < 8; ++i)
        Add(points, {{"Key", QString("01000000000000%1").arg(i, 2, 10, QChar('0'))},
                     {"Name", QString("Точка %1").arg(i)},
                     {"IsPrBook", false}});
    {
        OtherConnection other(PathOf("DB", "Keys.DB"));
        ASSERT_EQ(other.Exec("DELETE FROM Keys WHERE Name <> 'Точка 0'"), SQLITE_OK);
    }
    points.First();
    EXPECT_NO_THROW(
        Add(points, {{"Key", "0100000000000099"}, {"Name", "Точка 5a"}, {"IsPrBook", false}}));
    EXPECT_EQ(points.Text("Name"), "Точка 5a");
    EXPECT_EQ(Column(points, "Name"), QStringList({"Точка 0", "Точка 5a"}));
    // Editing a row that is gone says so and stores nothing.
    ASSERT_TRUE(points.Locate("Name", "Точка 0"));
    {
        OtherConnection other(PathOf("DB", "Keys.DB"));
        ASSERT_EQ(other.Exec("DELETE FROM Keys WHERE Name = 'Точка 0'"), SQLITE_OK);
    }
    points.Edit();
    points.SetValue("Name", "Точка ноль");
    EXPECT_THROW(points.Post(), Error);
    points.Cancel();
}
