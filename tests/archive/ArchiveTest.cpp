#include <sqlite3.h>

#include <QCryptographicHash>
#include <QDirIterator>
#include <map>

#include "../filters/FilterFixture.h"
#include "archive/Commands.h"
#include "zip/Archive.h"

namespace kordex::archive {
namespace {

using filters::testing::At;
using filters::testing::Column;
using filters::testing::KeyOf;
using store::View;
using store::testing::RawFile;

// Every file under a directory with a digest of its bytes.
std::map<QString, QByteArray> Snapshot(const QString& dir) {
    std::map<QString, QByteArray> out;
    QDirIterator it(dir, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        QFile f(path);
        f.open(QIODevice::ReadOnly);
        out[QDir(dir).relativeFilePath(path)] =
            QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha1);
    }
    return out;
}

// Runs SQL on a table file with SQLite itself.
void Exec(const QString& file, const QString& sql) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(QFile::encodeName(file).constData(), &db), SQLITE_OK);
    char* error = nullptr;
    const int rc = sqlite3_exec(db, sql.toUtf8().constData(), nullptr, nullptr, &error);
    const QString message = QString::fromUtf8(error != nullptr ? error : "");
    sqlite3_free(error);
    sqlite3_close(db);
    ASSERT_EQ(rc, SQLITE_OK) << message.toStdString();
}

// An open store with its rules, the pages' filters and the archive commands.
class ArchiveTest : public filters::testing::FilterTest {
protected:
    void SetUp() override {
        FilterTest::SetUp();
        commands = std::make_unique<Commands>(*dm, *rules, pages);
        ASSERT_TRUE(files.isValid());
    }
    void TearDown() override {
        commands.reset();
        FilterTest::TearDown();
    }

    // A round of the working or the archive tables with its touches and missed
    // points, written past the rules; the memo and the keys tell it apart.
    void PutRound(View& rounds, View& touches, View& missed, double reg, const QString& memo,
                  int touchCount, int missedCount) {
        Put(rounds, {{"DateReg", reg}, {"IDKD", KeyOf(201)}, {"Memo", memo}, {"N", touchCount}});
        for (int i = 0; i < touchCount; ++i)
            Put(touches, {{"DateReg", reg},
                          {"Date", reg + (i + 1) / 1440.0},
                          {"Key", KeyOf(300 + i)},
                          {"Type", 0}});
        for (int i = 0; i < missedCount; ++i)
            Put(missed, {{"DateReg", reg}, {"Key", KeyOf(400 + i)}});
    }
    void PutWorking(double reg, const QString& memo, int touchCount, int missedCount) {
        PutRound(dm->TableKDEvents(), dm->TableKDREvents(), dm->TableKDLEvents(), reg, memo,
                 touchCount, missedCount);
    }
    void PutArchived(double reg, const QString& memo, int touchCount, int missedCount) {
        PutRound(dm->TableKDAEvents(), dm->TableKDRAEvents(), dm->TableKDLAEvents(), reg, memo,
                 touchCount, missedCount);
    }

    // The rounds of a database directory as its files hold them:
    // "memo:touches:missed", in DateReg order.
    QStringList Contents(const QString& sub) const {
        RawFile rounds(PathOf(sub, "KDEvents.DB")), touches(PathOf(sub, "KDREvs.DB")),
            missed(PathOf(sub, "KDLEvs.DB"));
        auto counts = [](const RawFile& f, const QString& table) {
            std::map<QString, QString> out;
            for (const QStringList& r :
                 f.Query(QStringLiteral("SELECT DateReg, count(*) FROM %1 GROUP BY DateReg")
                             .arg(table)))
                if (r.size() == 2) out[r[0]] = r[1];
            return out;
        };
        auto t = counts(touches, "KDREvs"), m = counts(missed, "KDLEvs");
        QStringList out;
        for (const QStringList& r :
             rounds.Query("SELECT DateReg, Memo FROM KDEvents ORDER BY DateReg")) {
            if (r.size() != 2) return {QStringLiteral("<error>")};
            out << r[1] + ':' + (t.count(r[0]) ? t[r[0]] : "0") + ':' +
                       (m.count(r[0]) ? m[r[0]] : "0");
        }
        // Details whose round is not there.
        const int touchRows = touches.Scalar("SELECT count(*) FROM KDREvs").toInt();
        const int missedRows = missed.Scalar("SELECT count(*) FROM KDLEvs").toInt();
        int counted = 0, countedMissed = 0;
        for (const QStringList& r : rounds.Query("SELECT DateReg FROM KDEvents")) {
            counted += t.count(r[0]) ? t[r[0]].toInt() : 0;
            countedMissed += m.count(r[0]) ? m[r[0]].toInt() : 0;
        }
        if (counted != touchRows || countedMissed != missedRows) out << QStringLiteral("<orphans>");
        return out;
    }

    // Saves the working tables into a file of the test's file directory.
    QString SaveWorking(const QString& name) {
        const QString file = files.filePath(name);
        EXPECT_TRUE(commands->Save(file)) << prompt.Texts().join('|').toStdString();
        prompt.Clear();
        return file;
    }

    // Empties the working tables (past the rules).
    void EmptyWorking() {
        for (View* v : {&dm->TableKDEvents(), &dm->TableKDREvents(), &dm->TableKDLEvents()})
            v->PhysicalTable()->Empty();
        RereadAll();
    }

    bool FlagsAtRest() const {
        for (int slot = 0; slot < store::TDM::BookmarkSlotCount; ++slot)
            if (dm->HasBookmark(slot)) return false;
        return dm->RefreshEnabled && !dm->SkipTouchCalc && !commands->Busy() &&
               !status.IsShowing() && !dm->DatabaseA().InTransaction();
    }

    QTemporaryDir files;  // outside the program directory
    PlainArchivePages pages;
    std::unique_ptr<Commands> commands;
};

// --- Default name and dialogs ---------------------------------------------------------

TEST(ArchiveDefaultName, MonthInTwoDigitsAndTheYearWithoutLeadingZero) {
    const struct {
        QDate date;
        const char* name;
    } cases[] = {
        {QDate(2005, 3, 5), "KDEv035"},    {QDate(2012, 11, 1), "KDEv1112"},
        {QDate(2026, 12, 31), "KDEv1226"}, {QDate(2000, 1, 1), "KDEv010"},
        {QDate(2099, 10, 9), "KDEv1099"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(DefaultName(c.date), QString::fromLatin1(c.name))
            << c.date.toString().toStdString();
}

TEST(ArchiveDialogs, QtFilterKeepsTheTextsWithTheirMasks) {
    EXPECT_EQ(QtDialogFilter(),
              QStringLiteral("Архив событий Kordex'а (KDEv*.zip);;Все файлы (*.*)"));
}

TEST_F(ArchiveTest, DialogsStartInTheProgramDirectoryThenWhereTheLastFileWas) {
    clock.SetNow(QDateTime(QDate(2005, 3, 5), QTime(10, 0)));
    PutWorking(At(10, 9), "R1", 1, 0);
    pages.chosenFile = files.filePath("saved/first.zip");
    QDir(files.path()).mkpath("saved");
    ASSERT_TRUE(commands->ActionSaveArchiveExecute()) << prompt.Texts().join('|').toStdString();
    ASSERT_TRUE(commands->ActionSaveArchiveExecute());
    ASSERT_EQ(pages.dialogs.size(), 2u);
    EXPECT_EQ(pages.dialogs[0].kind, FileDialog::Kind::Save);
    EXPECT_EQ(pages.dialogs[0].fileName, "KDEv035");
    EXPECT_EQ(pages.dialogs[0].defaultSuffix, "zip");
    EXPECT_EQ(pages.dialogs[0].filter, DialogFilter);
    EXPECT_EQ(QDir(pages.dialogs[0].directory), QDir(dir.path()));
    EXPECT_EQ(QDir(pages.dialogs[1].directory), QDir(files.filePath("saved")));
    EXPECT_EQ(pages.journalShown, 2);
    EXPECT_EQ(pages.archiveShown, 0);

    // The open dialog has its own directory, shared by load and add.
    pages.dialogs.clear();
    pages.chosenFile.clear();  // cancelled: nothing happens
    prompt.Clear();
    EXPECT_FALSE(commands->ActionLoadArchiveExecute());
    EXPECT_TRUE(prompt.Texts().isEmpty());
    pages.chosenFile = files.filePath("saved/first.zip");
    ASSERT_TRUE(commands->ActionAddArchiveExecute()) << prompt.Texts().join('|').toStdString();
    EXPECT_TRUE(commands->ActionLoadArchiveExecute());
    ASSERT_EQ(pages.dialogs.size(), 3u);
    EXPECT_EQ(pages.dialogs[0].kind, FileDialog::Kind::Open);
    EXPECT_EQ(QDir(pages.dialogs[0].directory), QDir(dir.path()));
    EXPECT_EQ(QDir(pages.dialogs[1].directory), QDir(dir.path()));
    EXPECT_EQ(QDir(pages.dialogs[2].directory), QDir(files.filePath("saved")));
    EXPECT_EQ(pages.archiveShown, 3);
}

TEST_F(ArchiveTest, RefusedPageLeaveDoesNothing) {
    PutWorking(At(10, 9), "R1", 1, 0);
    pages.leaveAllowed = false;
    pages.chosenFile = files.filePath("x.zip");
    EXPECT_FALSE(commands->ActionSaveArchiveExecute());
    EXPECT_FALSE(commands->ActionLoadArchiveExecute());
    EXPECT_FALSE(commands->ActionAddArchiveExecute());
    EXPECT_FALSE(commands->ActionAddCurArchiveExecute());
    EXPECT_TRUE(pages.dialogs.empty());
    EXPECT_EQ(pages.journalShown + pages.archiveShown, 0);
    EXPECT_EQ(status.Shows(), 1);  // the opening of the databases only
    EXPECT_FALSE(QFile::exists(files.filePath("x.zip")));
    EXPECT_TRUE(Contents("DB.ARH").isEmpty());
}

// --- Save and load ----------------------------------------------------------------------

TEST_F(ArchiveTest, SaveThenLoadCarriesEveryRoundAndPutsTheViewsBack) {
    PutWorking(At(10, 9), "R1", 3, 1);
    PutWorking(At(11, 9), "R2", 0, 2);
    PutWorking(At(12, 9), "R3", 2, 0);
    RereadAll();
    View& rounds = dm->TableKDEvents();
    rounds.First();
    rounds.Next();  // on R2
    const QString file = files.filePath("events.zip");
    ASSERT_TRUE(commands->Save(file));
    EXPECT_EQ(status.Caption(), "Архивация данных");
    EXPECT_EQ(status.Text(), "Идет архивация событий Kordex'а...");
    EXPECT_EQ(status.Maximum(), 100);
    EXPECT_EQ(status.Position(), 100);
    ASSERT_EQ(prompt.Asked().size(), 1u);
    EXPECT_EQ(prompt.Asked()[0].caption, "Сообщение");
    EXPECT_EQ(prompt.Asked()[0].text, "Архивации данных успешно завершена !");
    EXPECT_EQ(prompt.Asked()[0].icon, shell::Icon::Information);
    // The working views are open again where they stood.
    ASSERT_TRUE(rounds.IsOpen() && dm->TableKDFEvents().IsOpen() && dm->TableKDLEvents().IsOpen());
    EXPECT_EQ(rounds.Text("Memo"), "R2");
    EXPECT_EQ(dm->TableKDLEvents().RecordCount(), 2);
    EXPECT_TRUE(FlagsAtRest());

    prompt.Clear();
    ASSERT_TRUE(commands->Load(file)) << prompt.Texts().join('|').toStdString();
    EXPECT_EQ(status.Caption(), "Разархивация данных");
    EXPECT_EQ(status.Text(), "Идет разархивация событий Kordex'а...");
    EXPECT_EQ(prompt.Texts(), QStringList{"Разархивации данных успешно завершена !"});
    EXPECT_EQ(Contents("DB.ARH"), QStringList({"R1:3:1", "R2:0:2", "R3:2:0"}));
    EXPECT_EQ(Column(dm->TableKDAEvents(), "Memo"), QStringList({"R1", "R2", "R3"}));
    EXPECT_EQ(dm->TableKDAFEvents().RecordCount(), 3);
    EXPECT_GE(pages.actionRefreshes, 1);
    EXPECT_TRUE(FlagsAtRest());
    // Nothing of the unpacking is left behind.
    EXPECT_FALSE(QFileInfo::exists(PathOf("DB.ARH", "unpack.tmp")));
}

TEST_F(ArchiveTest, SavingOverAnExistingFileYieldsOnlyTheCurrentTables) {
    PutWorking(At(10, 9), "R1", 1, 0);
    // An older archive of the name, with a file that is no table of ours.
    QDir(files.path()).mkpath("old");
    QFile junk(files.filePath("old/Notes.txt"));
    ASSERT_TRUE(junk.open(QIODevice::WriteOnly));
    junk.write("not a table");
    junk.close();
    zip::Archive older;
    older.SetName(files.filePath("KDEv035.zip"));
    ASSERT_TRUE(older.AddFiles(files.filePath("old"), {"*.*"}).IsOk());

    SaveWorking("KDEv035.zip");
    zip::Archive saved;
    saved.SetName(files.filePath("KDEv035.zip"));
    ASSERT_TRUE(saved.ReadDirectory().IsOk());
    QStringList names;
    for (const zip::Entry& e : saved.Entries())
        names << e.bareName;
    names.sort();
    EXPECT_EQ(names, QStringList({"KDEvents.DB", "KDLEvs.DB", "KDREvs.DB"}));
}

TEST_F(ArchiveTest, SaveFailureSaysWhyAndReopensTheViews) {
    PutWorking(At(10, 9), "R1", 1, 0);
    RereadAll();
    // A directory where the file should go.
    const QString file = files.filePath("taken.zip");
    QDir(files.path()).mkpath("taken.zip");
    EXPECT_FALSE(commands->Save(file));
    ASSERT_EQ(prompt.Asked().size(), 1u);
    EXPECT_EQ(prompt.Asked()[0].caption, "Ошибка");
    EXPECT_EQ(prompt.Asked()[0].icon, shell::Icon::Warning);
    EXPECT_TRUE(prompt.Asked()[0].text.startsWith("Ошибка при архивации данных !\r"))
        << prompt.Asked()[0].text.toStdString();
    EXPECT_TRUE(dm->TableKDEvents().IsOpen());
    EXPECT_EQ(dm->TableKDEvents().Text("Memo"), "R1");
    EXPECT_TRUE(FlagsAtRest());
}

TEST_F(ArchiveTest, LoadingFewerTablesLeavesTheOthersOfTheArchive) {
    PutArchived(At(1, 9), "A1", 2, 1);
    PutWorking(At(10, 9), "R1", 3, 0);
    dm->CloseDatabases();
    // A file holding the rounds table alone.
    QDir(files.path()).mkpath("one");
    ASSERT_TRUE(QFile::copy(PathOf("DB", "KDEvents.DB"), files.filePath("one/KDEvents.DB")));
    zip::Archive z;
    z.SetName(files.filePath("one.zip"));
    ASSERT_TRUE(z.AddFiles(files.filePath("one"), {"KD*.*"}).IsOk());
    const auto before = Snapshot(PathOf("DB.ARH", ""));
    Open();

    ASSERT_TRUE(commands->Load(files.filePath("one.zip")))
        << prompt.Texts().join('|').toStdString();
    // The rounds are the file's; the touches and missed points stay the archive's.
    RawFile rounds(PathOf("DB.ARH", "KDEvents.DB"));
    EXPECT_EQ(rounds.Query("SELECT Memo FROM KDEvents"), std::vector<QStringList>{{"R1"}});
    const auto after = Snapshot(PathOf("DB.ARH", ""));
    EXPECT_EQ(after.at("KDREvs.DB"), before.at("KDREvs.DB"));
    EXPECT_EQ(after.at("KDLEvs.DB"), before.at("KDLEvs.DB"));
}

// An entry whose data are damaged: the CRC message, then the load's failure;
// the archive database is as it was.
TEST_F(ArchiveTest, AnEntryThatCannotBeExtractedFailsTheLoadAndChangesNothing) {
    PutWorking(At(10, 9), "R1", 40, 0);
    PutArchived(At(1, 9), "A1", 2, 1);
    const QString file = SaveWorking("bad.zip");
    zip::Directory d;
    ASSERT_TRUE(zip::ReadDirectory(file, d).IsOk());
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
    for (const zip::Entry& e : d.entries) {
        if (e.bareName != "KDREvs.DB") continue;
        ASSERT_GT(e.compressedSize, 40u);
        f.seek(qint64(e.dataOffset + e.compressedSize / 2));
        char c = 0;
        f.getChar(&c);
        f.seek(qint64(e.dataOffset + e.compressedSize / 2));
        f.putChar(char(c ^ 0x55));
    }
    f.close();
    dm->CloseDatabases();
    const auto before = Snapshot(PathOf("DB.ARH", ""));
    Open();
    EXPECT_FALSE(commands->Load(file));
    ASSERT_FALSE(prompt.Texts().isEmpty());
    EXPECT_TRUE(prompt.Texts().last().startsWith("Ошибка при разархивации данных !\r"))
        << prompt.Texts().join('|').toStdString();
    EXPECT_EQ(prompt.Asked().back().caption, "Ошибка");
    EXPECT_FALSE(status.IsShowing());
    dm->CloseDatabases();
    EXPECT_EQ(Snapshot(PathOf("DB.ARH", "")), before);
}

// A file cut short has no directory, as the first disk of a multi-volume set:
// the operator is told to insert the last disk, and nothing more.
TEST_F(ArchiveTest, AFileWithoutItsDirectoryAsksForTheLastDisk) {
    PutWorking(At(10, 9), "R1", 40, 1);
    PutArchived(At(1, 9), "A1", 2, 1);
    const QString file = SaveWorking("cut.zip");
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
    ASSERT_TRUE(f.resize(f.size() / 2));
    f.close();
    EXPECT_FALSE(commands->Load(file));
    ASSERT_EQ(prompt.Asked().size(), 1u) << prompt.Texts().join('|').toStdString();
    EXPECT_EQ(prompt.Asked()[0].caption, "Подтверждение");
    EXPECT_EQ(prompt.Asked()[0].icon, shell::Icon::Information);
    EXPECT_EQ(prompt.Asked()[0].text,
              "Вставьте, пожайлуста, последний диск многотомного архива и повторите "
              "разархивацию.");
    EXPECT_FALSE(status.IsShowing());
    EXPECT_EQ(Contents("DB.ARH"), QStringList{"A1:2:1"});
}

// While one command runs, no other starts (a key press handled in a pump).
TEST_F(ArchiveTest, NoCommandStartsWhileOneRuns) {
    PutWorking(At(10, 9), "R1", 2, 0);
    RereadAll();
    pages.chosenFile = files.filePath("inner.zip");
    std::vector<bool> started;
    status.OnPump([&] {
        started.push_back(commands->ActionSaveArchiveExecute());
        started.push_back(commands->ActionAddCurArchiveExecute());
    });
    ASSERT_TRUE(commands->AddCurrent());
    EXPECT_FALSE(started.empty());
    for (bool s : started)
        EXPECT_FALSE(s);
    EXPECT_TRUE(pages.dialogs.empty());
    EXPECT_FALSE(QFile::exists(files.filePath("inner.zip")));
    EXPECT_EQ(Contents("DB.ARH"), QStringList{"R1:2:0"});
}

// --- Hostile table files ------------------------------------------------------------------

struct Hostile {
    const char* name;
    const char* file;  // the table file made hostile
    const char* sql;   // run on a good copy; empty: the file is replaced by text
};

class HostileTest : public ArchiveTest, public ::testing::WithParamInterface<Hostile> {};

TEST_P(HostileTest, IsRefusedAndChangesNothing) {
    const Hostile& h = GetParam();
    PutWorking(At(10, 9), "R1", 2, 1);
    PutArchived(At(1, 9), "A1", 2, 1);
    // A scratch round from an earlier add, which must stay as it is.
    Put(dm->TableKDTEvents(), {{"DateReg", At(2, 9)}, {"Memo", "T1"}});
    dm->CloseDatabases();
    QDir(files.path()).mkpath("src");
    for (const char* f : {"KDEvents.DB", "KDREvs.DB", "KDLEvs.DB"})
        ASSERT_TRUE(QFile::copy(PathOf("DB", f), files.filePath(QStringLiteral("src/") + f)));
    const QString target = files.filePath(QStringLiteral("src/") + h.file);
    if (*h.sql != 0) {
        Exec(target, QString::fromUtf8(h.sql));
    } else {
        QFile t(target);
        ASSERT_TRUE(t.open(QIODevice::WriteOnly | QIODevice::Truncate));
        t.write(QByteArray("This is no table, only text.\n").repeated(200));
    }
    zip::Archive z;
    z.SetName(files.filePath("hostile.zip"));
    ASSERT_TRUE(z.AddFiles(files.filePath("src"), {"KD*.*"}).IsOk());
    const auto archiveBefore = Snapshot(PathOf("DB.ARH", ""));
    const auto tempBefore = Snapshot(PathOf("DB.TMP", ""));
    const auto outsideBefore = Snapshot(files.path());
    Open();

    EXPECT_FALSE(commands->Load(files.filePath("hostile.zip")));
    ASSERT_EQ(prompt.Asked().size(), 1u) << prompt.Texts().join('|').toStdString();
    EXPECT_TRUE(prompt.Texts()[0].startsWith("Ошибка при разархивации данных !\r"));
    EXPECT_TRUE(prompt.Texts()[0].contains(h.file)) << prompt.Texts()[0].toStdString();
    EXPECT_EQ(Column(dm->TableKDAEvents(), "Memo"), QStringList{"A1"});
    prompt.Clear();

    EXPECT_FALSE(commands->Add(files.filePath("hostile.zip")));
    ASSERT_EQ(prompt.Asked().size(), 1u) << prompt.Texts().join('|').toStdString();
    EXPECT_TRUE(prompt.Texts()[0].startsWith("Ошибка при добавлении данных !\r"));
    EXPECT_TRUE(prompt.Texts()[0].contains(h.file)) << prompt.Texts()[0].toStdString();
    EXPECT_EQ(Column(dm->TableKDTEvents(), "Memo"), QStringList{"T1"});
    EXPECT_TRUE(FlagsAtRest());

    dm->CloseDatabases();
    EXPECT_EQ(Snapshot(PathOf("DB.ARH", "")), archiveBefore);
    EXPECT_EQ(Snapshot(PathOf("DB.TMP", "")), tempBefore);
    EXPECT_EQ(Snapshot(files.path()), outsideBefore);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
              QStringList({"DB", "DB.ARH", "DB.TMP"}));
}

INSTANTIATE_TEST_SUITE_P(
    ArchiveFiles, HostileTest,
    ::testing::Values(
        Hostile{"Trigger", "KDEvents.DB",
                "CREATE TRIGGER Spy AFTER INSERT ON KDEvents BEGIN DELETE FROM KDEvents; END"},
        Hostile{"View", "KDREvs.DB", "CREATE VIEW Everything AS SELECT * FROM KDREvs"},
        Hostile{"ExtraColumn", "KDLEvs.DB", "ALTER TABLE KDLEvs ADD COLUMN Extra TEXT"},
        Hostile{"CheckConstraint", "KDEvents.DB",
                "PRAGMA writable_schema=ON;"
                " UPDATE sqlite_master SET sql=replace(sql, '\"Duration\" REAL',"
                " '\"Duration\" REAL CHECK(length(\"Memo\")<0)') WHERE name='KDEvents'"},
        Hostile{"OtherIndex", "KDREvs.DB", "CREATE INDEX ByKey ON KDREvs (\"Key\")"},
        Hostile{"Damaged", "KDREvs.DB",
                "PRAGMA writable_schema=ON; UPDATE sqlite_master SET rootpage=1 WHERE "
                "type='index'"},
        Hostile{"WideId", "KDREvs.DB",
                "INSERT INTO KDREvs (\"DateReg\", \"Date\", \"ID\") VALUES (1, 1, 4294967296)"},
        Hostile{"WideCounter", "KDLEvs.DB",
                "INSERT INTO KDLEvs (\"DateReg\", \"Key\") VALUES (1, 'x');"
                " UPDATE sqlite_sequence SET seq=9000000000000000000"},
        Hostile{"NotSQLite", "KDREvs.DB", ""}),
    [](const ::testing::TestParamInfo<Hostile>& info) { return std::string(info.param.name); });

// --- Adding ----------------------------------------------------------------------------------

TEST_F(ArchiveTest, AddingTheSameFileTwiceAddsNothingTheSecondTime) {
    PutWorking(At(10, 9), "R1", 3, 1);
    PutWorking(At(11, 9), "R2", 2, 0);
    PutArchived(At(1, 9), "A1", 1, 1);
    const QString file = SaveWorking("two.zip");

    ASSERT_TRUE(commands->Add(file)) << prompt.Texts().join('|').toStdString();
    EXPECT_EQ(prompt.Texts(), QStringList{"Добавление данных успешно завершено !"});
    EXPECT_EQ(status.Caption(), "Добавление данных");
    EXPECT_EQ(status.Text(), "Идет добавление к архиву событий Kordex'а...");
    EXPECT_EQ(status.Maximum(), 2 * 1010);
    EXPECT_EQ(status.Position(), 2 * 1010);
    EXPECT_EQ(commands->LastTally().added, 2);
    EXPECT_EQ(Contents("DB.ARH"), QStringList({"A1:1:1", "R1:3:1", "R2:2:0"}));
    EXPECT_EQ(Column(dm->TableKDAEvents(), "Memo"), QStringList({"A1", "R1", "R2"}));
    EXPECT_EQ(dm->TableKDAFEvents().RecordCount(), 3);
    EXPECT_TRUE(FlagsAtRest());

    prompt.Clear();
    ASSERT_TRUE(commands->Add(file));
    EXPECT_EQ(commands->LastTally().added, 0);
    EXPECT_EQ(commands->LastTally().skipped, 2);
    EXPECT_EQ(status.Position(), 2 * 1010);
    EXPECT_EQ(Contents("DB.ARH"), QStringList({"A1:1:1", "R1:3:1", "R2:2:0"}));
    // The unpacked tables stay in the scratch directory.
    EXPECT_EQ(Contents("DB.TMP"), QStringList({"R1:3:1", "R2:2:0"}));
}

// A file without a table is read as holding none of its rows, never as the
// table an earlier add left in the scratch directory.
TEST_F(ArchiveTest, AddReadsNoScratchTableLeftByAnEarlierAdd) {
    PutWorking(At(10, 9), "R1", 3, 1);
    const QString full = SaveWorking("full.zip");
    ASSERT_TRUE(commands->Add(full));
    prompt.Clear();
    dm->TableKDAEvents().PhysicalTable()->Empty();
    dm->TableKDRAEvents().PhysicalTable()->Empty();
    dm->TableKDLAEvents().PhysicalTable()->Empty();
    dm->CloseDatabases();
    QDir(files.path()).mkpath("one");
    ASSERT_TRUE(QFile::copy(PathOf("DB", "KDEvents.DB"), files.filePath("one/KDEvents.DB")));
    zip::Archive z;
    z.SetName(files.filePath("one.zip"));
    ASSERT_TRUE(z.AddFiles(files.filePath("one"), {"KD*.*"}).IsOk());
    Open();
    ASSERT_TRUE(commands->Add(files.filePath("one.zip"))) << prompt.Texts().join('|').toStdString();
    EXPECT_EQ(Contents("DB.ARH"), QStringList({"R1:0:0"}));
}

TEST_F(ArchiveTest, ARoundAlreadyArchivedIsSkippedWhateverItHolds) {
    PutArchived(At(10, 9), "old", 1, 0);
    PutWorking(At(10, 9), "new", 4, 2);
    PutWorking(At(11, 9), "R2", 1, 1);
    RereadAll();
    ASSERT_TRUE(commands->ActionAddCurArchiveExecute()) << prompt.Texts().join('|').toStdString();
    EXPECT_EQ(pages.archiveShown, 1);
    EXPECT_EQ(status.Text(), "Идет добавление к архиву текущих событий Kordex'а...");
    EXPECT_EQ(commands->LastTally().added, 1);
    EXPECT_EQ(commands->LastTally().skipped, 1);
    EXPECT_EQ(Contents("DB.ARH"), QStringList({"old:1:0", "R2:1:1"}));
    // The working tables are not changed.
    EXPECT_EQ(Contents("DB"), QStringList({"new:4:2", "R2:1:1"}));
}

TEST_F(ArchiveTest, AddCurrentFollowsTheRoundsFilter) {
    PutWorking(At(9, 9), "R0", 1, 0);
    PutWorking(At(10, 9), "R1", 2, 1);
    PutWorking(At(11, 9), "R2", 1, 0);
    PutWorking(At(14, 9), "R3", 1, 0);
    RereadAll();
    filters::RoundFilter& page = filters->KDEvents();
    page.Settings().interval.dateFrom = At(10);
    page.Settings().interval.dateTo = At(12);
    ASSERT_TRUE(page.Set());
    View& rounds = dm->TableKDEvents();
    rounds.Last();  // on R2
    ASSERT_TRUE(commands->AddCurrent()) << prompt.Texts().join('|').toStdString();
    EXPECT_EQ(status.Maximum(), 2 * 1010);
    EXPECT_EQ(Contents("DB.ARH"), QStringList({"R1:2:1", "R2:1:0"}));
    EXPECT_EQ(rounds.Text("Memo"), "R2");  // back where it stood
    EXPECT_TRUE(FlagsAtRest());

    ASSERT_TRUE(page.Remove());
    ASSERT_TRUE(commands->AddCurrent());
    EXPECT_EQ(commands->LastTally().added, 2);
    EXPECT_EQ(Contents("DB.ARH"), QStringList({"R0:1:0", "R1:2:1", "R2:1:0", "R3:1:0"}));
}

TEST_F(ArchiveTest, TheGaugeSpreadsEachRoundOverItsTouchesAndMissedPoints) {
    PutWorking(At(10, 9), "A", 3, 1);
    PutWorking(At(11, 9), "B", 0, 0);
    PutWorking(At(12, 9), "C", 1, 2);
    RereadAll();
    std::vector<int> atPump;
    status.OnPump([&] { atPump.push_back(status.Position()); });
    ASSERT_TRUE(commands->AddCurrent());
    // A: round, 3 touches, 1 missed; B: round; C: round, 1 touch, 2 missed.
    EXPECT_EQ(atPump, std::vector<int>({0, 0, 333, 667, 1000, 1010, 2020, 2020, 3020, 3025}));
    EXPECT_EQ(status.Position(), 3030);
}

// Closing the status window stops the add: the rounds before stay whole, the
// round being added goes with everything stored for it.
TEST_F(ArchiveTest, InterruptionKeepsWholeRoundsAndDropsTheRoundBeingAdded) {
    const struct {
        int pump;  // the pump at which the operator closes the window
        QStringList archive;
    } cases[] = {
        {1, {"Z:1:0"}},                     // before the first round
        {6, {"A:3:1", "Z:1:0"}},            // between A and B
        {7, {"A:3:1", "Z:1:0"}},            // at B's first touch
        {8, {"A:3:1", "Z:1:0"}},            // after one touch of B
        {9, {"A:3:1", "Z:1:0"}},            // at B's missed point
        {10, {"A:3:1", "B:2:1", "Z:1:0"}},  // between B and C
        {11, {"A:3:1", "B:2:1", "Z:1:0"}},  // at C's touch
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pump);
        for (View* v : {&dm->TableKDEvents(), &dm->TableKDREvents(), &dm->TableKDLEvents(),
                        &dm->TableKDAEvents(), &dm->TableKDRAEvents(), &dm->TableKDLAEvents()})
            v->PhysicalTable()->Empty();
        PutWorking(At(10, 9), "A", 3, 1);
        PutWorking(At(11, 9), "B", 2, 1);
        PutWorking(At(12, 9), "C", 1, 0);
        PutArchived(At(20, 9), "Z", 1, 0);
        RereadAll();
        prompt.Clear();
        status.CloseAtPump(c.pump);
        EXPECT_FALSE(commands->AddCurrent());
        status.CloseAtPump(0);
        EXPECT_TRUE(prompt.Texts().isEmpty()) << prompt.Texts().join('|').toStdString();
        EXPECT_EQ(Contents("DB.ARH"), c.archive);
        QStringList memos = c.archive;
        for (QString& m : memos)
            m = m.section(':', 0, 0);
        EXPECT_EQ(Column(dm->TableKDAEvents(), "Memo"), memos);
        EXPECT_EQ(dm->TableKDAFEvents().RecordCount(), memos.size());
        EXPECT_TRUE(FlagsAtRest());
    }
}

// A store error in the middle of a round ends the add with its cause. The
// round being added goes; the rounds before it stay whole, unless SQLite
// undid the whole transaction (an I/O error), which leaves the archive as it was.
TEST_F(ArchiveTest, AStoreErrorDropsTheRoundBeingAddedAndSaysWhy) {
    const struct {
        int code;
        QStringList archive;
    } cases[] = {
        {SQLITE_ERROR, {"A:2:0", "Z:1:0"}},
        {SQLITE_IOERR_WRITE, {"Z:1:0"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.code);
        for (View* v : {&dm->TableKDEvents(), &dm->TableKDREvents(), &dm->TableKDLEvents(),
                        &dm->TableKDAEvents(), &dm->TableKDRAEvents(), &dm->TableKDLAEvents()})
            v->PhysicalTable()->Empty();
        PutWorking(At(10, 9), "A", 2, 0);
        PutWorking(At(11, 9), "B", 3, 1);
        PutArchived(At(20, 9), "Z", 1, 0);
        RereadAll();
        prompt.Clear();
        int touchInserts = 0;
        dm->DatabaseA().faultHook = [&](const QString& sql) {
            return sql.startsWith("INSERT") && sql.contains("KDREvs") && ++touchInserts == 4
                       ? c.code
                       : SQLITE_OK;
        };
        EXPECT_FALSE(commands->AddCurrent());
        dm->DatabaseA().faultHook = nullptr;
        ASSERT_EQ(prompt.Asked().size(), 1u);
        EXPECT_TRUE(prompt.Texts()[0].startsWith("Ошибка при добавлении данных !\r"))
            << prompt.Texts()[0].toStdString();
        EXPECT_TRUE(prompt.Texts()[0].contains("KDREvs.DB")) << prompt.Texts()[0].toStdString();
        EXPECT_EQ(Contents("DB.ARH"), c.archive);
        QStringList memos = c.archive;
        for (QString& m : memos)
            m = m.section(':', 0, 0);
        EXPECT_EQ(Column(dm->TableKDAEvents(), "Memo"), memos);
        EXPECT_TRUE(FlagsAtRest());
    }
}

// The whole merge is one transaction: until it ends, the file holds none of it.
TEST_F(ArchiveTest, NothingOfTheMergeIsInTheFileBeforeItEnds) {
    PutWorking(At(10, 9), "A", 2, 0);
    PutWorking(At(11, 9), "B", 1, 0);
    RereadAll();
    QStringList seen;
    status.OnPump([&] { seen << Contents("DB.ARH").join(','); });
    ASSERT_TRUE(commands->AddCurrent());
    for (const QString& s : seen)
        EXPECT_TRUE(s.isEmpty() || s == "<error>") << s.toStdString();
    EXPECT_EQ(Contents("DB.ARH"), QStringList({"A:2:0", "B:1:0"}));
}

}  // namespace
}  // namespace kordex::archive
