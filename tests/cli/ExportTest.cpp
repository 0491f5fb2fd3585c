#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <functional>
#include <memory>

#include "CliRun.h"
#include "XlsxReader.h"
#include "link/DateTime.h"
#include "link/KeyId.h"
#include "shell/Clock.h"
#include "shell/Prompt.h"
#include "shell/StatusWindow.h"
#include "store/DataModule.h"
#include "store/EventViews.h"
#include "store/Rules.h"

using namespace kordex;
using Result = kordex::testing::CliRun;
using kordex::testing::Cli;

namespace {

// The rows of a CSV file of the export: cells split at ';' outside quotes,
// quotes undone, rows at CR LF. The byte-order mark must lead.
std::vector<QStringList> ParseCsv(const QByteArray& bytes, bool& bom) {
    bom = bytes.startsWith("\xEF\xBB\xBF");
    const QString text = QString::fromUtf8(bom ? bytes.mid(3) : bytes);
    std::vector<QStringList> rows;
    QStringList row;
    QString cell;
    bool quoted = false;
    for (int i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (quoted) {
            if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
                cell += '"';
                ++i;
            } else if (c == '"') {
                quoted = false;
            } else {
                cell += c;
            }
        } else if (c == '"') {
            quoted = true;
        } else if (c == ';') {
            row << cell;
            cell.clear();
        } else if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            row << cell;
            rows.push_back(row);
            row.clear();
            cell.clear();
            ++i;
        } else {
            cell += c;
        }
    }
    if (!cell.isEmpty() || !row.isEmpty()) rows.push_back(row << cell);  // no CR LF at the end
    return rows;
}

QString Key(uint32_t serial) {
    return link::TouchKeyText(serial);
}

// The installation the store is read from: one collector, one registrar,
// two guards, five check points.
const QString Collector = Key(0x00C0FFEE);
const QString Registrar = Key(0x00013A01);
const QString Guard1 = Key(0x00013A02);
const QString Guard2 = Key(0x00013A03);
const QString P[6] = {
    {}, Key(0x0003A101), Key(0x0003A102), Key(0x0003A103), Key(0x0003A104), Key(0x0003A105)};

// Day 1 is two days ago, day 2 yesterday; the touches at 08:00, 08:05, ...
const QDate Day1 = QDate::currentDate().addDays(-2);
const QDate Day2 = QDate::currentDate().addDays(-1);
// Round 1 by guard 1, round 2 by guard 2: the guard touches his own key, the
// registrar's key ends a run of the complex filter.
const QStringList Round1 = {P[1], Guard1, P[2], P[3], Registrar, P[4]};
const QStringList Round2 = {P[5], P[1], Guard1, P[2]};

QString Minute(const QDate& day, int i) {
    return QDateTime(day, QTime(8, 0).addSecs(300 * i)).toString("dd.MM.yyyy hh:mm");
}

QString Stamp(const QDate& day, const QTime& t) {
    return QDateTime(day, t).toString("dd.MM.yyyy hh:mm:ss");
}

// kordex-sim serving one collector, read into the store by kordex-cli read.
bool ReadRound(const QString& home, const QString& guard, const QDate& day, const QStringList& keys,
               QString& why) {
    QJsonArray events;
    for (int i = 0; i < keys.size(); ++i)
        events.append(QJsonObject{{"key", keys[i]}, {"time", Minute(day, i)}});
    const QJsonObject scenario{
        {"id", Collector}, {"registrar", Registrar},
        {"guard", guard},  {"stamp", Stamp(day, QTime(7, 59))},
        {"interval", 0},   {"path", QJsonValue::Null},
        {"memo", "Обход"}, {"events", events},
    };
    const QString file = QDir(home).filePath("scenario.json");
    QFile f(file);
    if (!f.open(QIODevice::WriteOnly)) return why = "scenario", false;
    f.write(QJsonDocument(scenario).toJson());
    f.close();

    QProcess sim;
    sim.start(QStringLiteral(KORDEX_SIM_PATH), {"--scenario", file});
    if (!sim.waitForStarted(5000)) return why = "kordex-sim", false;
    for (int i = 0; i < 50 && !sim.canReadLine(); ++i)
        sim.waitForReadyRead(100);
    const QString device = QString::fromLocal8Bit(sim.readLine()).trimmed();
    const Result read = Cli({"read", "--device", device, "--home", home, "--yes"});
    sim.terminate();
    sim.waitForFinished(5000);
    QFile::remove(file);
    why = read.err;
    return device.startsWith("/dev/") && read.code == 0;
}

// The store of the two rounds; the archive holds copies of both.
class ExportTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        home = dir.path();
        QString why;
        ASSERT_TRUE(ReadRound(home, Guard1, Day1, Round1, why)) << why.toStdString();
        ASSERT_TRUE(ReadRound(home, Guard2, Day2, Round2, why)) << why.toStdString();
        // The archive: a copy of every round, its touches and missed points.
        shell::ScriptedPrompt prompt;
        shell::ScriptedStatusWindow status;
        shell::SystemClock clock;
        shell::HookPump pump;
        store::TDM dm(prompt, status, clock, pump, home);
        ASSERT_TRUE(dm.OpenDatabases()) << prompt.Texts().join('|').toStdString();
        const std::pair<store::View*, store::View*> copies[] = {
            {&dm.TableKDEvents(), &dm.TableKDAEvents()},
            {&dm.TableKDREvents(), &dm.TableKDRAEvents()},
            {&dm.TableKDLEvents(), &dm.TableKDLAEvents()}};
        for (const auto& [from, to] : copies) {
            from->SetMaster(nullptr, {}, {});
            to->SetMaster(nullptr, {}, {});
            for (from->First(); !from->Eof(); from->Next()) {
                to->Append();
                for (const store::Field& f : from->Fields())
                    if (f.kind == store::FieldKind::Data && f.type != store::FieldType::AutoInc)
                        to->SetValue(f.name, from->Value(f.name));
                to->Post();
            }
        }
    }

    // The page exported to standard output, as rows of cells.
    std::vector<QStringList> Export(const QString& page, const QStringList& options = {}) {
        const Result r = Cli(QStringList{"export", page, "--csv", "-", "--home", home} + options);
        EXPECT_EQ(r.code, 0) << r.err.toStdString();
        bool bom = false;
        auto rows = ParseCsv(r.bytes, bom);
        EXPECT_TRUE(bom);
        return rows;
    }

    QTemporaryDir dir;
    QString home;
};

// The store as the program sees it, opened beside the exports.
struct Store {
    explicit Store(const QString& home)
        : dm(prompt, status, clock, pump, home, store::TDM::Access::ReadOnly) {
        opened = dm.OpenDatabases();
        rules = std::make_unique<store::Rules>(dm);
    }
    // The rows of a view with the fields given, dates as the export writes them.
    std::vector<QStringList> Rows(store::View& v, const QStringList& fields,
                                  const std::function<bool(const QStringList&)>& keep = {}) {
        std::vector<QStringList> out;
        for (int i = 0; i < v.RecordCount(); ++i) {
            const std::vector<QVariant> row = v.RowAt(i);
            QStringList cells;
            for (const QString& f : fields) {
                const QVariant value = row.at(v.FieldIndex(f));
                const bool date = f == "Date" || f == "DateReg";
                cells << (value.isNull() ? QString()
                          : date         ? link::DateTime(value.toDouble()).ToText()
                                         : value.toString());
            }
            if (!keep || keep(cells)) out.push_back(cells);
        }
        return out;
    }

    shell::ScriptedPrompt prompt;
    shell::ScriptedStatusWindow status;
    shell::SystemClock clock;
    shell::HookPump pump;
    store::TDM dm;
    std::unique_ptr<store::Rules> rules;
    bool opened = false;
};

std::vector<QStringList> WithHeader(QStringList header, std::vector<QStringList> rows) {
    rows.insert(rows.begin(), header);
    return rows;
}

}  // namespace

// Every page unfiltered: the grid's titles, then the view's rows in its order
// with the grid's columns.
TEST_F(ExportTest, EveryPageIsWrittenAsItsGridShowsIt) {
    Store s(home);
    ASSERT_TRUE(s.opened) << s.prompt.Texts().join('|').toStdString();
    store::TDM& dm = s.dm;
    // The touches by date and time follow no round.
    dm.TableKDREvents().SetMaster(nullptr, {}, {});
    dm.TableKDRAEvents().SetMaster(nullptr, {}, {});
    const QStringList person = {"Номер ключа", "Имя пользователя"};
    const QStringList round = {"Регистрация", "Kordex",  "Регистратор",
                               "Охранник",    "Маршрут", "Режим обхода точек"};
    const QStringList roundFields = {"DateReg", "LKD", "LRegister", "LGuard", "LPath", "CMode"};
    const QStringList touch = {"Дата и время", "Событие", "Комментарий"};
    const QStringList touchFields = {"Date", "CPoint", "CComment"};
    struct Case {
        const char* page;
        QStringList header;
        store::View& view;
        QStringList fields;
        int rows;
    } cases[] = {
        {"users", person + QStringList{"Пароль"}, dm.TableUsers(), {"Key", "Name", "Passwrd"}, 3},
        {"registrars", person, dm.TableRegisters(), {"Key", "Name"}, 1},
        {"guards", person, dm.TableGuards(), {"Key", "Name"}, 2},
        {"points", {"Номер ключа", "Название точки обхода"}, dm.TablePoints(), {"Key", "Name"}, 5},
        {"prbook", {"Номер ключа", "Название происшествия"}, dm.TablePrBook(), {"Key", "Name"}, 0},
        {"kds", {"ID Kordex'а", "Название Kordex'а"}, dm.TableKDs(), {"Key", "Name"}, 1},
        {"pathes", {"Название маршрута обхода"}, dm.TablePathes(), {"Name"}, 0},
        {"journal",
         {"Дата и время", "Регистратор", "Событие"},
         dm.TablePrEvents(),
         {"Date", "LReg", "Name"},
         -1},
        {"rounds", round, dm.TableKDEvents(), roundFields, 2},
        {"touches", touch, dm.TableKDREvents(), touchFields, 10},
        {"archive-rounds", round, dm.TableKDAEvents(), roundFields, 2},
        {"archive-touches", touch, dm.TableKDRAEvents(), touchFields, 10},
    };
    for (Case& c : cases) {
        SCOPED_TRACE(c.page);
        const auto expected = s.Rows(c.view, c.fields);
        if (c.rows >= 0) {
            EXPECT_EQ(static_cast<int>(expected.size()), c.rows);
        }
        EXPECT_EQ(Export(c.page), WithHeader(c.header, expected));
    }

    // The touches of both rounds in their order, at the minutes they were
    // made, with the seconds written out.
    const auto touches = Export("touches");
    ASSERT_EQ(touches.size(), 11u);
    for (int i = 0; i < 10; ++i) {
        const bool first = i < Round1.size();
        const QString when =
            Minute(first ? Day1 : Day2, first ? i : i - static_cast<int>(Round1.size())) + ":00";
        EXPECT_EQ(touches[i + 1][0], when) << i;
    }
    EXPECT_EQ(touches[2][2], "Охранник");
    EXPECT_EQ(touches[5][2], "Регистратор");
    EXPECT_EQ(touches[1][2], "Контрольная точка");
    EXPECT_EQ(Export("rounds")[2][0], Stamp(Day2, QTime(7, 59)));
    EXPECT_EQ(Export("rounds")[2][5], "Без маршрута");
}

// Each filter option sets its namesake of the page's dialog: the export keeps
// the rows the page's row test passes, and only those.
TEST_F(ExportTest, FilterOptionsKeepTheRowsThePageFilterPasses) {
    Store s(home);
    ASSERT_TRUE(s.opened);
    store::TDM& dm = s.dm;
    dm.TableKDREvents().SetMaster(nullptr, {}, {});
    const QStringList touchFields = {"Date", "CPoint", "CComment"};
    const QStringList roundFields = {"DateReg", "LKD", "LRegister", "LGuard", "LPath", "CMode"};
    const auto allTouches = s.Rows(dm.TableKDREvents(), touchFields);
    ASSERT_EQ(allTouches.size(), 10u);
    auto touchesAt = [&](std::initializer_list<int> rows) {
        std::vector<QStringList> out;
        for (int r : rows)
            out.push_back(allTouches[r]);
        return out;
    };
    const auto allRounds = s.Rows(dm.TableKDEvents(), roundFields);
    ASSERT_EQ(allRounds.size(), 2u);
    const QString day1 = Day1.toString("dd.MM.yyyy"), day2 = Day2.toString("dd.MM.yyyy");
    struct Case {
        const char* page;
        QStringList options;
        std::vector<QStringList> rows;
    } cases[] = {
        {"rounds", {"--guard", Guard2}, {allRounds[1]}},
        {"rounds", {"--registrar", Registrar, "--collector", Collector}, allRounds},
        {"rounds", {"--from", day2 + " 00:00:00", "--to", day2 + " 23:59:59"}, {allRounds[1]}},
        {"archive-rounds", {"--guard", Guard1}, {allRounds[0]}},
        // Continuous: from 08:05 on day 1 to 08:05 on day 2.
        {"touches",
         {"--from", day1 + " 08:05:00", "--to", day2 + " 08:05:00"},
         touchesAt({1, 2, 3, 4, 5, 6, 7})},
        // Per day: 08:05 to 08:10 on each of the two days.
        {"touches",
         {"--from", day1 + " 08:05:00", "--to", day2 + " 08:10:00", "--per-day"},
         touchesAt({1, 2, 7, 8})},
        {"touches", {"--guard", Guard2}, touchesAt({6, 7, 8, 9})},
        {"touches", {"--event", P[2]}, touchesAt({2, 9})},
        {"archive-touches", {"--event", P[1], "--guard", Guard1}, touchesAt({0})},
        // From the guard's own touch up to the next touch of another person's
        // key, across the rounds.
        {"touches", {"--event", Guard1, "--complex"}, touchesAt({1, 2, 3, 8, 9})},
        {"touches", {"--event", Guard1}, touchesAt({1, 8})},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.page) + " " + c.options.join(' ').toStdString());
        auto got = Export(c.page, c.options);
        ASSERT_FALSE(got.empty());
        got.erase(got.begin());
        EXPECT_EQ(got, c.rows);
    }
    // Nothing of the journal was done by a registrar logged in.
    EXPECT_EQ(Export("journal", {"--registrar", Registrar}).size(), 1u);
    EXPECT_EQ(Export("journal", {"--from", "01.01.2000 00:00:00", "--to", "31.12.2099 23:59:59"}),
              Export("journal"));
}

// What the page's dialog does not have, what its lists do not hold and what
// is no date is refused before anything is written.
TEST_F(ExportTest, BadOptionsAreRefusedWithExitStatusTwo) {
    const QString day = Day1.toString("dd.MM.yyyy");
    struct Case {
        QStringList args;
        const char* says;
    } cases[] = {
        {{}, "needs a page"},
        {{"nowhere"}, "no page nowhere"},
        {{"users", "--bogus"}, "bad argument --bogus"},
        {{"users", "--guard", Guard1}, "the page users has no filter option --guard"},
        {{"points", "--from", day + " 00:00:00", "--to", day + " 23:59:59"},
         "the page points has no filter option --from"},
        {{"journal", "--guard", Guard1}, "the page journal has no filter option --guard"},
        {{"rounds", "--event", P[1]}, "the page rounds has no filter option --event"},
        {{"touches", "--from", day + " 00:00:00"}, "--from and --to go together"},
        {{"touches", "--from", "31.02." + day.right(4) + " 00:00:00", "--to", day + " 23:59:59"},
         "is no date and time"},
        {{"touches", "--from", day + " 12:00:00", "--to", day + " 11:00:00"},
         "Ошибка: Неверно задан интервал !"},
        {{"touches", "--per-day"}, "--per-day needs --from and --to"},
        {{"touches", "--complex"}, "--complex needs --event"},
        {{"rounds", "--path", "one"}, "--path takes a path ID"},
        {{"rounds", "--path", "1"}, "no path has the ID 1"},
        {{"rounds", "--guard", Registrar}, "no guard has the key"},
        {{"rounds", "--registrar", Guard1}, "no registrar has the key"},
        {{"rounds", "--collector", P[1]}, "no collector has the key"},
        {{"touches", "--event", Key(0x00777777)}, "no check point, incident or user has the key"},
        {{"touches", "--event", P[1], "--complex"}, "--complex: no user has the key"},
        {{"users", "--home", ""}, "--home needs a directory"},
    };
    const QString file = QDir(home).filePath("out.csv");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.join(' ').toStdString());
        QStringList args = QStringList{"export"} + c.args;
        if (!c.args.contains("--home")) args << "--home" << home;
        const Result r = Cli(args << "--csv" << file);
        EXPECT_EQ(r.code, 2) << r.err.toStdString();
        EXPECT_TRUE(r.err.contains(QString::fromUtf8(c.says))) << r.err.toStdString();
        EXPECT_FALSE(QFile::exists(file));
    }
    const Result noFile = Cli({"export", "users", "--home", home});
    EXPECT_EQ(noFile.code, 2);
    EXPECT_TRUE(noFile.err.contains("export needs --csv FILE")) << noFile.err.toStdString();
    const Result noValue = Cli({"export", "journal", "--home", home, "--csv", file, "--registrar"});
    EXPECT_EQ(noValue.code, 2);
    EXPECT_TRUE(noValue.err.contains("--registrar needs a value")) << noValue.err.toStdString();
    EXPECT_FALSE(QFile::exists(file));
}

// A program holding the directory, in the middle of its work: the export
// reads what is committed beside it, quotes what needs quoting, and writes a
// file; a directory without a store is a failure that creates nothing.
TEST_F(ExportTest, ExportRunsBesideTheProgramThatHoldsTheDirectory) {
    shell::ScriptedPrompt prompt;
    shell::ScriptedStatusWindow status;
    shell::SystemClock clock;
    shell::HookPump pump;
    store::TDM program(prompt, status, clock, pump, home);
    ASSERT_TRUE(program.OpenDatabases()) << prompt.Texts().join('|').toStdString();
    ASSERT_TRUE(QFile::exists(program.LockFilePath()));
    store::View& users = program.TableUsers();
    users.Append();
    users.SetValue("Key", Key(0x00013A09));
    users.SetValue("Name", "Петров; \"Петя\"");
    users.SetValue("IsRegister", false);
    users.Post();
    // A round on its way in, not committed.
    program.DatabaseE().Begin();
    program.TableKDEvents().Append();
    program.TableKDEvents().SetValue("DateReg", link::DateTime::FromDate(Day2, QTime(9, 0)).Days());
    program.TableKDEvents().Post();

    const QString file = QDir(home).filePath("Охранники; смена.csv");
    const Result r = Cli({"export", "guards", "--csv", file, "--home", home});
    EXPECT_EQ(r.code, 0) << r.err.toStdString();
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray bytes = f.readAll();
    EXPECT_TRUE(bytes.contains("\r\n01000000013A09"));
    EXPECT_TRUE(bytes.contains(QString(";\"Петров; \"\"Петя\"\"\"\r\n").toUtf8()))
        << bytes.toStdString();
    bool bom = false;
    EXPECT_EQ(ParseCsv(bytes, bom).size(), 4u);
    EXPECT_EQ(Export("rounds").size(), 3u);  // the pending round is not there

    program.DatabaseE().Rollback();
    program.CloseDatabases();

    QTemporaryDir empty;
    const Result none = Cli({"export", "users", "--csv", "-", "--home", empty.path()});
    EXPECT_EQ(none.code, 1);
    EXPECT_TRUE(none.err.contains("Ошибка при открытии баз данных !")) << none.err.toStdString();
    EXPECT_TRUE(QDir(empty.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries).isEmpty());
}

// export touches --xlsx: the rows and columns of the CSV export, the dates as
// date cells in the grid's format, the title row bold and frozen under an
// autofilter, each touch in its kind's colour; a filter keeps its rows here
// too. The file replaces an old one only when it is whole.
TEST_F(ExportTest, TouchesAsAWorkbookHoldTheRowsAndDateCells) {
    using xlsx::XlsxBook;
    using xlsx::XlsxCell;
    const QString file = QDir(home).filePath("touches.xlsx");
    for (const QStringList& filter : {QStringList{}, QStringList{"--guard", Guard2}}) {
        SCOPED_TRACE(filter.join(' ').toStdString());
        const Result r =
            Cli(QStringList{"export", "touches", "--xlsx", file, "--home", home} + filter);
        ASSERT_EQ(r.code, 0) << r.err.toStdString();
        XlsxBook book;
        QString why;
        ASSERT_TRUE(xlsx::ReadXlsx(file, book, why)) << why.toStdString();
        const std::vector<QStringList> csv = Export("touches", filter);
        ASSERT_EQ(book.rows.size(), csv.size());
        ASSERT_EQ(csv.size(), filter.isEmpty() ? 11u : 5u);
        for (size_t c = 0; c < 3; ++c) {
            EXPECT_EQ(book.Cell(0, c).text, csv[0][c]);
            EXPECT_TRUE(book.StyleOf(book.Cell(0, c)).bold);
        }
        EXPECT_EQ(book.frozenRows, 1);
        EXPECT_EQ(book.autoFilter, QStringLiteral("A1:C%1").arg(csv.size()));
        EXPECT_GE(book.width[0], 17);  // the grid's width of "dd.mm.yyyy hh:mm"
        std::map<QString, QString> colours;
        for (size_t r = 1; r < csv.size(); ++r) {
            SCOPED_TRACE(r);
            const XlsxCell& date = book.Cell(r, 0);
            ASSERT_TRUE(book.IsDate(date));
            EXPECT_EQ(book.StyleOf(date).numberFormat, "dd\\.mm\\.yyyy hh:mm");
            EXPECT_EQ(link::DateTime(date.number).ToText(), csv[r][0]);
            EXPECT_EQ(book.Cell(r, 1).kind, XlsxCell::Text);
            EXPECT_EQ(book.Cell(r, 1).text, csv[r][1]);
            EXPECT_EQ(book.Cell(r, 2).text, csv[r][2]);
            colours[csv[r][2]] = book.StyleOf(book.Cell(r, 2)).colour;
        }
        auto hex = [](int kind) {
            const store::Rgb c = store::TouchKindColor(kind);
            return QStringLiteral("%1%2%3")
                .arg(c.r, 2, 16, QLatin1Char('0'))
                .arg(c.g, 2, 16, QLatin1Char('0'))
                .arg(c.b, 2, 16, QLatin1Char('0'))
                .toUpper();
        };
        EXPECT_EQ(colours["Контрольная точка"], hex(store::TouchPoint));
        EXPECT_EQ(colours["Охранник"], hex(store::TouchGuard));
        EXPECT_NE(hex(store::TouchPoint), hex(store::TouchGuard));
    }

    // Usage: one file, and a workbook never to standard output.
    for (const QStringList& bad :
         {QStringList{"--csv", "-", "--xlsx", file}, QStringList{"--xlsx", "-"}}) {
        const Result r = Cli(QStringList{"export", "touches", "--home", home} + bad);
        EXPECT_EQ(r.code, 2) << bad.join(' ').toStdString();
    }
    // The second export above replaced the first file, leaving nothing
    // beside it; a file that cannot be written fails with its name.
    EXPECT_EQ(QDir(home).entryList({"touches.xlsx*"}, QDir::Files), QStringList{"touches.xlsx"});
    const QString nowhere = QDir(home).filePath("no such directory/touches.xlsx");
    const Result failed = Cli({"export", "touches", "--xlsx", nowhere, "--home", home});
    EXPECT_EQ(failed.code, 1);
    EXPECT_TRUE(failed.err.contains(nowhere)) << failed.err.toStdString();
}
