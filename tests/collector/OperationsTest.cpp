#include <gtest/gtest.h>

#include <sqlite3.h>

#include <QTemporaryDir>

#include "collector/MemoryMap.h"
#include "collector/Operations.h"
#include "link/KeyId.h"
#include "link/ReaderLink.h"
#include "shell/Clock.h"
#include "shell/Prompt.h"
#include "shell/StatusWindow.h"
#include "sim/Collector.h"
#include "sim/Reader.h"
#include "sim/SimPort.h"
#include "store/Catalogue.h"
#include "store/DataModule.h"
#include "store/Rules.h"

using namespace kordex;
using collector::text::AlreadyRead;
using shell::Answer;

namespace {

QString KeyOf(uint32_t serial) {
    return link::TouchKeyText(serial);
}

const QString Registrar = KeyOf(0x0A01);
const QString Guard = KeyOf(0x0A02);
const QString CollectorId = KeyOf(0x0A03);
const QDateTime Written(QDate(2026, 3, 15), QTime(14, 30, 5));

// The program's store and reader link, and a simulated collector in the reader.
class Operations : public ::testing::Test {
protected:
    Operations()
        : simCollector(clock),
          reader(simCollector),
          port(reader, clock),
          link(port, prompt, status, clock, pump) {}

    void SetUp() override {
        ops.reset();
        rules.reset();
        dm.reset();
        dir = std::make_unique<QTemporaryDir>();
        ASSERT_TRUE(dir->isValid());
        dm = std::make_unique<store::TDM>(prompt, status, clock, pump, dir->path());
        ASSERT_TRUE(dm->OpenDatabases());
        rules = std::make_unique<store::Rules>(*dm);
        ops = std::make_unique<collector::Operations>(link, *dm, *rules, prompt, status, clock,
                                                      pages);
        link.SetPortDigit(1);
        simCollector.SetId(CollectorId);
        simCollector.SetRegistrar(Registrar);
        simCollector.SetGuard(Guard);
        simCollector.SetStamp(Written, 10);
        simCollector.SetClock(Written);
    }

    // A person; a registrar becomes the one logged in.
    void AddUser(const QString& key, const QString& name, bool isRegister) {
        store::View& users = dm->TableUsers();
        users.Append();
        users.SetValue("Key", key);
        users.SetValue("Name", name);
        users.SetValue("IsRegister", isRegister);
        users.Post();
        dm->TableCurRegister().Refresh();
        dm->TableGuards().Refresh();
    }

    void AddPoint(const QString& key, const QString& name) {
        store::View& p = dm->TablePoints();
        p.Append();
        p.SetValue("Key", key);
        p.SetValue("Name", name);
        p.Post();
    }

    int AddPath(const QString& name, const QStringList& keys) {
        store::View& paths = dm->TablePathes();
        paths.Append();
        paths.SetValue("Name", name);
        paths.Post();
        for (const QString& k : keys) {
            dm->TablePPathes().Append();
            dm->TablePPathes().SetValue("Key", k);
            dm->TablePPathes().Post();
        }
        return paths.Value("ID").toInt();
    }

    void Touch(const QString& key, int minute) {
        simCollector.Touch(key, Written.addSecs(60 * minute));
    }

    // Reads and keeps the round, as the save question's Yes does.
    bool ReadAndKeep() {
        const bool ok = ops->ActionDReadExecute();
        if (ok) dm->TableKDEvents().Post();
        return ok;
    }

    int Count(store::View& v) {
        v.Refresh();
        return v.RecordCount();
    }

    QStringList Names(store::View& v) {
        QStringList out;
        for (int i = 0; i < v.RecordCount(); ++i)
            out << v.RowAt(i)[v.FieldIndex("Name")].toString();
        return out;
    }

    int64_t Rows(const QString& table) {
        store::View v("Temp", "DataE", store::CatalogueTable(table, "Temp"));
        v.Open(dm->DatabaseE());
        return v.RecordCount();
    }

    std::unique_ptr<QTemporaryDir> dir;
    shell::FakeClock clock{1000, Written.addSecs(3600)};
    shell::ScriptedPrompt prompt;
    shell::ScriptedStatusWindow status;
    shell::HookPump pump;
    sim::Collector simCollector;
    sim::Reader reader;
    sim::SimPort port;
    link::ReaderLink link;
    collector::PlainPages pages;
    std::unique_ptr<store::TDM> dm;
    std::unique_ptr<store::Rules> rules;
    std::unique_ptr<collector::Operations> ops;
};

}  // namespace

TEST_F(Operations, AnEmptyCollectorGivesARoundWithoutTouches) {
    ASSERT_TRUE(ReadAndKeep()) << prompt.Texts().join('|').toStdString();
    store::View& r = dm->TableKDEvents();
    ASSERT_TRUE(r.Locate("DateReg", link::DateTime::FromQDateTime(Written).Days()));
    EXPECT_EQ(r.Text("CDuration"), " 0:00");
    EXPECT_EQ(r.Text("KeyGuard"), Guard);
    EXPECT_EQ(r.Text("IDKD"), CollectorId);
    EXPECT_EQ(Rows("KDREvs.DB"), 0);
    EXPECT_EQ(prompt.Texts().last(), collector::text::ReadDone);
    EXPECT_EQ(pages.choices.interval, 10);
    EXPECT_EQ(status.Maximum(), 0);  // the last window shown was the building's, without touches
    // Unknown registrar, guard and collector were added; the registrar as administrator.
    dm->TableUsers().Refresh();
    ASSERT_TRUE(dm->TableUsers().Locate("Key", Registrar));
    EXPECT_EQ(dm->TableUsers().Text("Name"), "Неизвестный регистратор");
    EXPECT_TRUE(dm->TableUsers().Value("IsAdmin").toBool());
    ASSERT_TRUE(dm->TableUsers().Locate("Key", Guard));
    EXPECT_EQ(dm->TableUsers().Text("Name"), "Неизвестный охранник");
    EXPECT_FALSE(dm->TableUsers().Value("IsRegister").toBool());
    EXPECT_EQ(Names(dm->TableKDs()), QStringList{"Неизвестный Kordex"});
    EXPECT_EQ(Names(dm->TablePrEvents()), QStringList{"Чтение из Kordex'а"});
}

TEST_F(Operations, ReReadingAStoredRoundAsksBeforeReplacingIt) {
    AddPoint(KeyOf(1), "Ворота");
    Touch(KeyOf(1), 5);
    ASSERT_TRUE(ReadAndKeep());
    // No: nothing changes but the journal.
    prompt.Clear();
    prompt.SetDefault(shell::DefaultAnswer::Negative);
    EXPECT_FALSE(ops->ActionDReadExecute());
    EXPECT_EQ(prompt.Count(AlreadyRead), 1);
    EXPECT_EQ(Rows("KDEvents.DB"), 1);
    EXPECT_EQ(Rows("KDREvs.DB"), 1);
    EXPECT_EQ(Names(dm->TablePrEvents()),
              QStringList({"Чтение из Kordex'а", "Чтение из Kordex'а"}));
    // Yes: the round is read anew in place of the old one.
    Touch(KeyOf(1), 9);
    prompt.SetDefault(shell::DefaultAnswer::Affirmative);
    ASSERT_TRUE(ReadAndKeep());
    EXPECT_EQ(Rows("KDEvents.DB"), 1);
    EXPECT_EQ(Rows("KDREvs.DB"), 2);
}

TEST_F(Operations, TheCounterDecidesWhichSlotsAreRead) {
    struct Case {
        const char* what;
        int touches;
        std::optional<uint16_t> pointer;
        uint8_t flag;
        bool checkOver;
        Answer overflowAnswer;
        bool read;
        int expectTouches;
        bool asked;
        int firstMinute;  // minute of the oldest touch read
    } cases[] = {
        {"flag 1 pointer 0", 1000, std::nullopt, 1, true, Answer::Ok, true, 1000, false, 0},
        {"flag 1 pointer 7, OK", 1007, std::nullopt, 1, true, Answer::Ok, true, 1000, true, 7},
        {"flag 1 pointer 7, Cancel", 1007, std::nullopt, 1, true, Answer::Cancel, false, 0, true,
         0},
        {"overflow not honoured", 1007, std::nullopt, 1, false, Answer::Ok, true, 7, false, 1000},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        SetUp();  // a fresh store and collector for each case
        simCollector.SetPointer(0);
        simCollector.SetOverflow(0);
        for (int i = 0; i < c.touches; ++i)
            Touch(KeyOf(1), i);
        pages.options.checkOver = c.checkOver;
        prompt.Clear();
        prompt.Script({c.overflowAnswer});
        prompt.SetDefault(shell::DefaultAnswer::Affirmative);
        EXPECT_EQ(ReadAndKeep(), c.read);
        EXPECT_EQ(prompt.Count(collector::text::Overflow), c.asked ? 1 : 0);
        EXPECT_EQ(Rows("KDREvs.DB"), c.expectTouches);
        if (c.expectTouches > 0) {
            store::View& t = dm->TableKDREvents();
            t.First();
            // Touches keep no seconds.
            QDateTime expected = Written.addSecs(60 * c.firstMinute);
            expected.setTime(QTime(expected.time().hour(), expected.time().minute()));
            EXPECT_EQ(link::DateTime(t.Value("Date").toDouble()).ToQDateTime(), expected);
        }
    }
}

TEST_F(Operations, KeysAddedOnTheWayAndTheirNumbers) {
    // The registrar's key names a check point already: not added as a person.
    AddPoint(Registrar, "Пост");
    Touch(KeyOf(101), 1);
    Touch(KeyOf(102), 2);
    Touch(KeyOf(101), 3);
    ASSERT_TRUE(ReadAndKeep());
    EXPECT_FALSE(dm->FindInTable(dm->TableUsers(), "Key", Registrar));
    dm->TablePoints().Refresh();
    EXPECT_EQ(Names(dm->TablePoints()),
              QStringList({"Неизвестная точка №0001", "Неизвестная точка №0002", "Пост"}));
    // A second read numbers from 1 again.
    simCollector.SetStamp(Written.addDays(1), 10);
    Touch(KeyOf(103), 4);
    ASSERT_TRUE(ReadAndKeep());
    dm->TablePoints().Refresh();
    EXPECT_TRUE(Names(dm->TablePoints()).count("Неизвестная точка №0001") == 2);
    // The first registrar added becomes administrator, the next one does not.
    for (uint32_t serial : {0x0B01u, 0x0B02u}) {
        simCollector.SetStamp(Written.addDays(static_cast<int>(serial - 0x0AFF)), 10);
        simCollector.SetRegistrar(KeyOf(serial));
        ASSERT_TRUE(ReadAndKeep());
    }
    dm->TableUsers().Refresh();
    ASSERT_TRUE(dm->TableUsers().Locate("Key", KeyOf(0x0B01)));
    EXPECT_TRUE(dm->TableUsers().Value("IsAdmin").toBool());
    ASSERT_TRUE(dm->TableUsers().Locate("Key", KeyOf(0x0B02)));
    EXPECT_FALSE(dm->TableUsers().Value("IsAdmin").toBool());
}

TEST_F(Operations, ATouchWithMonthZeroTakesThePreviousTime) {
    AddPoint(KeyOf(1), "A");
    Touch(KeyOf(1), 5);
    simCollector.SetEventRaw(1, {0x01, 0x00, 0x00, 0x00, 0x10, 0x15, 0x95, 0xC0});  // month 0
    simCollector.SetPointer(2);
    ASSERT_TRUE(ReadAndKeep());
    store::View& t = dm->TableKDREvents();
    ASSERT_EQ(t.RecordCount(), 2);
    EXPECT_EQ(t.RowAt(1)[t.FieldIndex("Date")], t.RowAt(0)[t.FieldIndex("Date")]);
}

TEST_F(Operations, PathBlockAndUnknownPaths) {
    // Mode 0xFF: no path, no mode.
    simCollector.ClearPath();
    ASSERT_TRUE(ReadAndKeep());
    EXPECT_TRUE(dm->TableKDEvents().IsNull("PathID"));
    EXPECT_TRUE(dm->TableKDEvents().IsNull("Mode"));
    EXPECT_EQ(dm->TableKDEvents().Text("CMode"), "Без маршрута");

    // A path the store does not know, OK: judged as a round without path.
    simCollector.SetStamp(Written.addDays(1), 10);
    simCollector.SetPath(77, 2);
    AddPoint(KeyOf(1), "A");
    Touch(KeyOf(1), 5);
    prompt.Clear();
    ASSERT_TRUE(ReadAndKeep());
    EXPECT_EQ(prompt.Count(collector::text::UnknownPath), 1);
    EXPECT_TRUE(dm->TableKDEvents().IsNull("PathID"));
    EXPECT_EQ(dm->TableKDEvents().Value("N").toInt(), 1);
    EXPECT_FALSE(pages.choices.pathId.has_value());

    // Cancel: the round stays pending, shown, not judged.
    simCollector.SetStamp(Written.addDays(2), 10);
    prompt.Clear();
    prompt.Script({Answer::Cancel});
    EXPECT_FALSE(ops->ActionDReadExecute());
    EXPECT_EQ(dm->TableKDEvents().State(), store::ViewState::Insert);
    EXPECT_EQ(dm->TableKDEvents().Value("PathID").toInt(), 77);
    EXPECT_TRUE(dm->TableKDEvents().IsNull("N"));
    EXPECT_TRUE(pages.attached);
    dm->DiscardInsert(dm->TableKDEvents());
}

TEST_F(Operations, CancellingDropsTheRoundButKeepsTheKeysAdded) {
    for (int i = 0; i < 30; ++i)
        Touch(KeyOf(200 + i % 3), i);
    struct Case {
        const char* what;
        int closeAtPosition;
    } cases[] = {{"during the events", 200}, {"during the building", -2}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        prompt.Clear();
        if (c.closeAtPosition > 0) {
            status.CloseAtPosition(c.closeAtPosition);
        } else {
            // The building's window is the second one shown.
            const int shows = status.Shows();
            status.CloseAtPosition(-1);
            status.OnPump([&] {
                if (status.Shows() == shows + 2 && status.Position() >= 5) status.Close();
            });
        }
        EXPECT_FALSE(ops->ActionDReadExecute());
        status.OnPump({});
        status.CloseAtPosition(-1);
        EXPECT_NE(dm->TableKDEvents().State(), store::ViewState::Insert);
        EXPECT_EQ(Rows("KDEvents.DB"), 0);
        EXPECT_EQ(Rows("KDREvs.DB"), 0);
        EXPECT_EQ(Rows("KDLEvs.DB"), 0);
        EXPECT_FALSE(link.IsPortOpen());
        EXPECT_FALSE(status.IsShowing());
        EXPECT_TRUE(dm->FindInTable(dm->TableUsers(), "Key", Guard));
    }
}

TEST_F(Operations, WritingPutsEveryBlockIntoTheCollector) {
    // Logged in: a registrar of the store.
    AddUser(Registrar, "Иван", true);
    clock.SetNow(Written);  // Sunday 15 March 2026 14:30:05
    struct Case {
        std::optional<int> path;
        int mode;
        QString memo;
        QString pathBlock;
        std::vector<QString> memoBlocks;
    } cases[] = {
        {std::nullopt,
         2,
         "",
         "55 55 55 55 FF 55 55 55",
         {"00 20 20 20 20 20 20 20", "00 20 20 20 20 20 20 20", "00 20 20 20 20 20 20 20",
          "00 20 20 20 20 20 20 20"}},
        {7,
         2,
         "Обход склад",
         "07 00 00 00 02 55 55 55",
         {"CE E1 F5 EE E4 20 F1 EA", "EB E0 E4 00 20 20 20 20", "00 20 20 20 20 20 20 20",
          "00 20 20 20 20 20 20 20"}},
        {7,
         0,
         "1234567890ABCDEF",
         "07 00 00 00 00 55 55 55",
         {"31 32 33 34 35 36 37 38", "39 30 41 42 43 44 45 46", "00 20 20 20 20 20 20 20",
          "00 20 20 20 20 20 20 20"}},
    };
    auto hex = [](const sim::Block& b) {
        QStringList parts;
        for (uint8_t x : b)
            parts << QString("%1").arg(x, 2, 16, QChar('0')).toUpper();
        return parts.join(' ');
    };
    for (const auto& c : cases) {
        // The stamp is the whole second after the initialisation's entry.
        clock.SetNow(Written.addMSecs(-600));
        pages.choices = {Guard, c.path, c.mode, c.memo, 10};
        prompt.Clear();
        ASSERT_TRUE(ops->ActionDWriteExecute()) << prompt.Texts().join('|').toStdString();
        EXPECT_EQ(hex(simCollector.Read(0x1F80)), "05 30 14 95 C3 0A 00 00");
        EXPECT_EQ(hex(simCollector.Read(0x1F90)), c.pathBlock);
        for (int i = 0; i < 4; ++i)
            EXPECT_EQ(hex(simCollector.Read(static_cast<uint16_t>(0x1F50 + 8 * i))),
                      c.memoBlocks[i]);
        EXPECT_EQ(link::KeyIdToText(link::KeyIdToBytes(Registrar)),
                  collector::DecodeKeyBlock(simCollector.Read(0x1F78)));
        EXPECT_EQ(collector::DecodeKeyBlock(simCollector.Read(0x1F88)), Guard);
        EXPECT_EQ(prompt.Texts(),
                  QStringList({collector::text::WriteQuestion, collector::text::WriteDone}));
    }
    // The journal keeps the order of the operations, and the writing entry
    // carries the stamp itself.
    store::View& journal = dm->TablePrEvents();
    journal.EmptyTable();
    clock.SetNow(Written.addMSecs(-600));
    ASSERT_TRUE(ops->ActionDWriteExecute());
    ASSERT_EQ(journal.RecordCount(), 2);
    journal.Last();
    EXPECT_EQ(journal.Text("Name"), "Запись в Kordex");
    EXPECT_EQ(journal.Value("Date").toDouble(), link::DateTime::FromQDateTime(Written).Days());
    journal.Prior();
    EXPECT_EQ(journal.Text("Name"), "Инициализация Kordex'а");
    EXPECT_LT(journal.Value("Date").toDouble(), link::DateTime::FromQDateTime(Written).Days());
}

TEST_F(Operations, WritingRefusesWithoutRegistrarOrGuardAndRetriesAStuckCounter) {
    pages.choices = {Guard, std::nullopt, 0, "", 10};
    EXPECT_FALSE(ops->ActionDWriteExecute());
    EXPECT_EQ(prompt.Texts(), QStringList{collector::text::NoRegistrar});
    EXPECT_EQ(reader.Exchanges().size(), 0u);

    AddUser(Registrar, "Иван", true);
    pages.choices.guardKey.clear();
    prompt.Clear();
    EXPECT_FALSE(ops->ActionDWriteExecute());
    EXPECT_EQ(prompt.Texts(), QStringList{collector::text::NoGuard});

    // A counter that will not clear: asked after every attempt.
    pages.choices.guardKey = Guard;
    Touch(KeyOf(1), 1);
    simCollector.SetCounterStuck(true);
    prompt.Clear();
    prompt.Script({Answer::Yes, Answer::Yes, Answer::Yes, Answer::No});
    EXPECT_FALSE(ops->ActionDWriteExecute());
    EXPECT_EQ(prompt.Count(collector::text::InitFailed), 3);
    EXPECT_EQ(simCollector.Initialisations(), 3);
    EXPECT_EQ(reader.Count(0x39, 0x1F80), 0);  // nothing written after a failed initialisation
    EXPECT_FALSE(link.IsPortOpen());
}

TEST_F(Operations, AMemoCharacterBeyondTheCodePageIsRefusedBeforeAnythingIsSent) {
    AddUser(Registrar, "Иван", true);
    simCollector.SetMemo("Old");
    pages.choices = {Guard, std::nullopt, 0, "Пост ☃ 3", 10};
    EXPECT_FALSE(ops->ActionDWriteExecute());
    EXPECT_EQ(prompt.Texts(),
              QStringList{"Символ «☃» в доп. информации не может быть записан в Kordex !"});
    EXPECT_EQ(prompt.Asked()[0].caption, shell::CaptionError);
    EXPECT_EQ(reader.Exchanges().size(), 0u);
    EXPECT_EQ(simCollector.Read(0x1F50)[0], 'O');
    EXPECT_EQ(dm->TablePrEvents().RecordCount(), 0);
    // The memo keeps its text, the character selected.
    EXPECT_EQ(pages.choices.memo, "Пост ☃ 3");
    EXPECT_EQ(pages.memoSelection, (std::pair<qsizetype, qsizetype>(5, 1)));
}

TEST_F(Operations, AWrittenCollectorReadsBackAsItsRoundJudged) {
    AddUser(Registrar, "Иван", true);
    AddUser(Guard, "Пётр", false);
    const QString p1 = KeyOf(1), p2 = KeyOf(2), p3 = KeyOf(3), off = KeyOf(9);
    AddPoint(p1, "Ворота");
    AddPoint(p2, "Склад");
    AddPoint(p3, "Гараж");
    AddPoint(off, "Котельная");
    const int path = AddPath("Ночной", {p1, p2, p3});

    clock.SetNow(Written);
    pages.choices = {Guard, path, 2, "Смена 1", 10};
    ASSERT_TRUE(ops->ActionDWriteExecute()) << prompt.Texts().join('|').toStdString();
    EXPECT_EQ(simCollector.Pointer(), 0);

    // The guard walks: P1, P3, P2 (out of order), P2 again (superfluous), and a
    // point off the path.
    int minute = 0;
    for (const QString& k : {p1, p3, p2, p2, off})
        Touch(k, minute += 7);
    clock.SetNow(Written.addSecs(3 * 3600));
    prompt.Clear();
    ASSERT_TRUE(ReadAndKeep()) << prompt.Texts().join('|').toStdString();

    store::View& j = dm->TablePrEvents();
    ASSERT_TRUE(j.Locate("Name", "Запись в Kordex"));
    store::View& r = dm->TableKDEvents();
    EXPECT_EQ(r.Value("DateReg").toDouble(), j.Value("Date").toDouble());
    EXPECT_EQ(r.Text("LGuard"), "Пётр");
    EXPECT_EQ(r.Text("LRegister"), "Иван");
    EXPECT_EQ(r.Text("LPath"), "Ночной");
    EXPECT_EQ(r.Text("Memo"), "Смена 1");
    EXPECT_EQ(r.Text("CMode"), "В порядке маршрута обхода");
    EXPECT_EQ(r.Value("N").toInt(), 3);
    EXPECT_EQ(r.Value("FromN").toInt(), 3);
    EXPECT_EQ(r.Value("UnnecessaryN").toInt(), 2);
    EXPECT_EQ(r.Text("CDuration"), " 0:28");
    store::View& t = dm->TableKDREvents();
    QStringList comments;
    for (int i = 0; i < t.RecordCount(); ++i)
        comments << t.RowAt(i)[t.FieldIndex("CComment")].toString();
    EXPECT_EQ(comments, QStringList({"Контрольная точка", "Контрольная точка",
                                     "Точка не по порядку", "Лишняя точка", "Точка вне маршрута"}));
    EXPECT_EQ(dm->TableKDLEvents().RecordCount(), 0);
    EXPECT_EQ(pages.choices.pathId, path);
}

TEST_F(Operations, TheYearsOfARoundAcrossNewYearAndTheLeapCycle) {
    // The collector keeps no year, only its place in the leap cycle: the stamp
    // is dated nearest the PC's clock, each touch nearest the one before.
    struct Case {
        const char* what;
        QDateTime written;               // the stamp, from the writing PC's clock
        std::vector<QDateTime> touches;  // as the collector's own clock stood
        QDateTime readAt;                // the reading PC's clock
    };
    auto at = [](int y, int mo, int d, int h, int mi) {
        return QDateTime(QDate(y, mo, d), QTime(h, mi));
    };
    const Case cases[] = {
        {"written just after midnight, the collector's clock a few minutes slow",
         at(2026, 1, 1, 0, 5),
         {at(2025, 12, 31, 23, 58), at(2026, 1, 1, 0, 2)},
         at(2026, 1, 1, 8, 0)},
        {"the same over a leap-cycle boundary",
         at(2028, 1, 1, 0, 5),
         {at(2027, 12, 31, 23, 58), at(2028, 1, 1, 0, 2)},
         at(2028, 1, 1, 8, 0)},
        {"written before midnight, touched both sides, read after it",
         at(2027, 12, 31, 23, 50),
         {at(2027, 12, 31, 23, 55), at(2028, 1, 1, 0, 10)},
         at(2028, 1, 1, 0, 30)},
        {"read on a PC whose clock is still in the old year",
         at(2028, 1, 1, 0, 1),
         {at(2028, 1, 1, 0, 3)},
         at(2027, 12, 31, 23, 59)},
        {"the leap day, read a year later",
         at(2024, 2, 29, 9, 0),
         {at(2024, 2, 29, 9, 30), at(2024, 3, 1, 0, 10)},
         at(2025, 2, 28, 12, 0)},
    };
    AddPoint(KeyOf(1), "A");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        simCollector.Write(sim::Collector::AddrInit, {});
        simCollector.SetStamp(c.written, 10);
        for (const QDateTime& t : c.touches)
            simCollector.Touch(KeyOf(1), t);
        clock.SetNow(c.readAt);
        prompt.Clear();
        ASSERT_TRUE(ReadAndKeep()) << prompt.Texts().join('|').toStdString();
        store::View& r = dm->TableKDEvents();
        EXPECT_EQ(link::DateTime(r.Value("DateReg").toDouble()).ToText(),
                  link::DateTime::FromQDateTime(c.written).ToText());
        store::View& t = dm->TableKDREvents();
        ASSERT_EQ(t.RecordCount(), static_cast<int>(c.touches.size()));
        for (int i = 0; i < t.RecordCount(); ++i)
            EXPECT_EQ(link::DateTime(t.RowAt(i)[t.FieldIndex("Date")].toDouble()).ToText(),
                      link::DateTime::FromQDateTime(c.touches[static_cast<size_t>(i)]).ToText())
                << i;
    }
}

// --- Failures of the store and of the line during a read or a write ---------

namespace {

// Fails the n-th statement (1-based) whose SQL contains `what`, with `code`.
struct StatementFault {
    QString what;
    int n = 1;
    int code = SQLITE_IOERR;
    int seen = 0;
    bool fired = false;
    int operator()(const QString& sql) {
        if (fired || !sql.contains(what)) return SQLITE_OK;
        if (++seen < n) return SQLITE_OK;
        fired = true;
        return code;
    }
};

}  // namespace

// A store error anywhere in a read ends the read with its cause; the rounds
// stay as they were, what was added automatically before the failure stays,
// and the program goes on (a later read works).
TEST_F(Operations, AStoreErrorAtEachPointOfAReadEndsItAndKeepsTheStore) {
    AddPoint(KeyOf(1), "Ворота");
    // A round stored before, which every failed read must leave as it is.
    simCollector.SetStamp(Written.addDays(-1), 10);
    Touch(KeyOf(1), -1440 + 5);
    ASSERT_TRUE(ReadAndKeep());
    simCollector.SetStamp(Written, 10);
    for (int i = 0; i < 5; ++i)
        Touch(i % 2 == 0 ? KeyOf(1) : KeyOf(100 + i), 10 + i);
    simCollector.SetPath(AddPath("Обход", {KeyOf(1), KeyOf(2)}), 0);

    struct Case {
        const char* what;
        bool main;  // on the connection of the reference tables and the journal
        const char* sql;
        int n;
        int code;
        bool guardStays;  // the guard added automatically before the failure
    } cases[] = {
        {"adding the registrar", true, "INSERT INTO \"Users\"", 1, SQLITE_IOERR, false},
        {"the journal entry", true, "INSERT INTO \"PrEvents\"", 1, SQLITE_FULL, false},
        {"adding the collector", true, "INSERT INTO \"Keys\"", 1, SQLITE_BUSY, false},
        {"adding the guard", true, "INSERT INTO \"Users\"", 2, SQLITE_READONLY, false},
        {"the first touch", false, "INSERT INTO \"KDREvs\"", 1, SQLITE_IOERR, true},
        {"a touch, disk full", false, "INSERT INTO \"KDREvs\"", 4, SQLITE_FULL, true},
        {"adding a check point", true, "INSERT INTO \"Keys\"", 2, SQLITE_FULL, true},
        {"the missed points", false, "INTO \"KDLEvs\"", 1, SQLITE_IOERR, true},
        {"judging a touch", false, "UPDATE \"KDREvs\"", 2, SQLITE_IOERR, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        // The keys of this read are unknown again, as on a fresh store.
        for (const QString& key : {Registrar, Guard})
            dm->DeleteFromTable(dm->TableUsers(), "Key", key);
        for (const QString& key : {CollectorId, KeyOf(101), KeyOf(103)})
            dm->DeleteFromTable(dm->TableKDs(), "Key", key);
        dm->TableUsers().Refresh();

        const int64_t rounds = Rows("KDEvents.DB"), touches = Rows("KDREvs.DB");
        StatementFault fault{c.sql, c.n, c.code};
        store::Database& db = c.main ? dm->Database() : dm->DatabaseE();
        db.faultHook = std::ref(fault);
        prompt.Clear();

        EXPECT_FALSE(ops->ActionDReadExecute());
        db.faultHook = nullptr;

        EXPECT_TRUE(fault.fired);
        ASSERT_FALSE(prompt.Asked().empty());
        const QString said = prompt.Asked().back().text;
        EXPECT_EQ(said.section('\r', 0, 0), collector::text::ReadFailed) << said.toStdString();
        EXPECT_FALSE(said.section('\r', 1).isEmpty());
        EXPECT_EQ(prompt.Count(collector::text::ReadDone), 0);
        EXPECT_FALSE(dm->DatabaseE().InTransaction());
        EXPECT_FALSE(dm->RoundOpen());
        EXPECT_FALSE(store::TDM::IsEditing(dm->TableKDEvents()));
        EXPECT_FALSE(status.IsShowing());
        EXPECT_FALSE(link.IsPortOpen());
        EXPECT_EQ(Rows("KDEvents.DB"), rounds);
        EXPECT_EQ(Rows("KDREvs.DB"), touches);
        EXPECT_EQ(Rows("KDLEvs.DB"), 0);
        EXPECT_EQ(dm->FindInTable(dm->TableUsers(), "Key", Guard), c.guardStays);
    }
    // Nothing is left broken: the same read now goes through.
    prompt.Clear();
    ASSERT_TRUE(ReadAndKeep()) << prompt.Texts().join('|').toStdString();
    EXPECT_EQ(Rows("KDEvents.DB"), 2);
    EXPECT_EQ(Rows("KDREvs.DB"), 1 + 6);  // the collector keeps the touch of the day before
}

// The round is stored by its post: a commit that fails says why, stores
// nothing and leaves the program as it was before the read.
TEST_F(Operations, ARoundThatCannotBeStoredIsReportedAndNothingOfItStays) {
    AddPoint(KeyOf(1), "Ворота");
    Touch(KeyOf(1), 5);
    ASSERT_TRUE(ops->ActionDReadExecute());
    EXPECT_TRUE(dm->RoundOpen());
    StatementFault fault{"COMMIT", 1, SQLITE_FULL};
    dm->DatabaseE().faultHook = std::ref(fault);
    prompt.Clear();
    EXPECT_THROW(dm->TableKDEvents().Post(), store::Abort);
    dm->DatabaseE().faultHook = nullptr;
    ASSERT_EQ(prompt.Asked().size(), 1u);
    EXPECT_EQ(prompt.Asked()[0].text.section('\r', 0, 0), store::text::RoundNotStored);
    EXPECT_TRUE(prompt.Asked()[0].text.contains("full")) << prompt.Asked()[0].text.toStdString();
    EXPECT_FALSE(dm->RoundOpen());
    EXPECT_FALSE(dm->DatabaseE().InTransaction());
    EXPECT_EQ(Rows("KDEvents.DB"), 0);
    EXPECT_EQ(Rows("KDREvs.DB"), 0);
    EXPECT_EQ(dm->TableKDEvents().RecordCount(), 0);
    EXPECT_EQ(dm->TableKDREvents().RecordCount(), 0);
}

// A re-read replaces the stored round only when the new one is stored: a
// re-read that fails, or one that is not kept, leaves the stored round.
TEST_F(Operations, AStoredRoundStaysUntilItsReplacementIsStored) {
    AddPoint(KeyOf(1), "Ворота");
    for (int m = 1; m <= 3; ++m)
        Touch(KeyOf(1), m);
    ASSERT_TRUE(ReadAndKeep());
    const double reg = link::DateTime::FromQDateTime(Written).Days();
    auto stored = [&] {
        store::View v("Temp", "DataE", store::CatalogueTable("KDREvs.DB", "Temp"));
        v.Open(dm->DatabaseE());
        QStringList out;
        v.ForEachRow([&](const store::Values& row) {
            out << QString::number(row[0].toDouble(), 'f', 8) + row[3].toString();
        });
        return out;
    };
    const QStringList before = stored();
    ASSERT_EQ(before.size(), 3);
    Touch(KeyOf(1), 4);

    // The line fails in the middle of the events, after Yes.
    reader.Inject(sim::Fault(sim::FaultKind::Silence, -1, collector::EventAddress(2)));
    prompt.Clear();
    EXPECT_FALSE(ops->ActionDReadExecute());
    EXPECT_EQ(prompt.Count(AlreadyRead), 1);
    reader.ClearFaults();
    EXPECT_EQ(stored(), before);
    EXPECT_TRUE(dm->FindInTable(dm->TableKDEvents(), "DateReg", reg));

    // Read whole, then not kept (the save question's No).
    prompt.Clear();
    ASSERT_TRUE(ops->ActionDReadExecute());
    EXPECT_EQ(dm->TableKDREvents().RecordCount(), 4);
    dm->DiscardInsert(dm->TableKDEvents());
    EXPECT_EQ(stored(), before);
    EXPECT_TRUE(dm->FindInTable(dm->TableKDEvents(), "DateReg", reg));
    EXPECT_EQ(Count(dm->TableKDEvents()), 1);

    // Read whole and kept: replaced.
    ASSERT_TRUE(ReadAndKeep());
    EXPECT_EQ(stored().size(), 4);
    EXPECT_EQ(Rows("KDEvents.DB"), 1);
}

// An answer given by a policy (the command line's --yes) does not repeat a
// failing step for ever.
TEST_F(Operations, APolicyAnswerGivesUpOnACounterThatNeverClears) {
    AddUser(Registrar, "Иван", true);
    AddUser(Guard, "Пётр", false);
    pages.choices = {Guard, std::nullopt, 0, "", 10};
    Touch(KeyOf(1), 1);
    simCollector.SetCounterStuck(true);
    prompt.SetDefault(shell::DefaultAnswer::Affirmative);
    EXPECT_FALSE(ops->ActionDWriteExecute());
    EXPECT_EQ(prompt.Count(collector::text::InitFailed), shell::PolicyAnswers::MaxRepeats + 1);
    EXPECT_FALSE(link.IsPortOpen());
}

// A store error during a write ends it with its cause; the program goes on.
TEST_F(Operations, AStoreErrorDuringAWriteEndsItWithItsCause) {
    AddUser(Registrar, "Иван", true);
    AddUser(Guard, "Пётр", false);
    pages.choices = {Guard, std::nullopt, 0, "", 10};
    for (int n : {1, 2}) {
        SCOPED_TRACE(n);
        StatementFault fault{"INSERT INTO \"PrEvents\"", n, SQLITE_FULL};
        dm->Database().faultHook = std::ref(fault);
        prompt.Clear();
        EXPECT_FALSE(ops->ActionDWriteExecute());
        dm->Database().faultHook = nullptr;
        ASSERT_FALSE(prompt.Asked().empty());
        EXPECT_EQ(prompt.Asked().back().text.section('\r', 0, 0), collector::text::WriteFailed);
        EXPECT_EQ(prompt.Count(collector::text::WriteDone), 0);
        EXPECT_FALSE(status.IsShowing());
        EXPECT_FALSE(link.IsPortOpen());
        EXPECT_FALSE(dm->Database().InTransaction());
    }
    prompt.Clear();
    EXPECT_TRUE(ops->ActionDWriteExecute()) << prompt.Texts().join('|').toStdString();
}
