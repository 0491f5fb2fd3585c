#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <map>

#include "ModuleFixture.h"
#include "store/Catalogue.h"

using namespace kordex;
using namespace kordex::store;
using namespace kordex::store::testing;

namespace {

// Column types as the files carry them: S<n> text of n characters, B boolean,
// I16 and I32 integers, A autoinc (the row id), T date-time.
QString SqlType(const QString& t) {
    if (t.startsWith('S')) return QStringLiteral("VARCHAR(%1)").arg(t.mid(1));
    if (t == "B") return "BOOLEAN";
    if (t == "I16") return "SMALLINT";
    if (t == "I32") return "INTEGER";
    if (t == "A") return "INTEGER pk";
    if (t == "T") return "REAL";
    return "?";
}

struct TableCase {
    const char* dir;
    const char* file;
    const char* columns;  // "Name Type, ..."
    QStringList indexes;  // "name [unique]: field [nocase], ..."
};

const char* UsersColumns =
    "Key S16, Name S50, Passwrd S32, IsRegister B, IsAdmin B, IsTableEdit B, IsPoints B, "
    "IsPath B, IsPrBook B, IsRead B, IsWrite B, IsTime B, IsPrEvs B, IsKDEvs B, IsKDs B, "
    "IsKDAEvs B";
const char* KeysColumns = "Key S16, Name S50, IsPrBook B, IsKD B";
const char* RoundColumns =
    "DateReg T, IDKD S16, KeyReg S16, KeyGuard S16, PathID I32, Mode I16, Memo S32, N I16, "
    "FromN I16, UnnecessaryN I16, Incidents I16, Duration T";
const char* TouchColumns = "DateReg T, Date T, ID A, Key S16, Type I16";
const char* MissedColumns = "DateReg T, ID A, Key S16";

const TableCase Tables[] = {
    {"DB", "Users.DB", UsersColumns, {"Names: Name nocase", "TableUsersIndex1 unique: Key"}},
    {"DB", "Keys.DB", KeysColumns, {"Names: Name nocase", "TablePointsIndex1 unique: Key"}},
    {"DB", "Pathes.DB", "ID A, Name S50", {"Names: Name nocase"}},
    {"DB", "PPathes.DB", "PathID I32, ID A, Key S16", {"TablePPathesIndex1 unique: PathID, ID"}},
    {"DB",
     "PrEvents.DB",
     "Date T, ID A, Key S16, Name S50",
     {"TablePrEventsIndex1 unique: Date, ID"}},
    {"DB", "KDEvents.DB", RoundColumns, {"TableKDFEventsIndex1 unique: DateReg"}},
    {"DB", "KDREvs.DB", TouchColumns, {"TableKDREventsIndex1 unique: DateReg, Date, ID"}},
    {"DB", "KDLEvs.DB", MissedColumns, {"TableKDLEventsIndex1 unique: DateReg, ID"}},
    {"DB.ARH", "KDEvents.DB", RoundColumns, {"TableKDAFEventsIndex1 unique: DateReg"}},
    {"DB.ARH", "KDREvs.DB", TouchColumns, {"TableKDRAEventsIndex1 unique: DateReg, Date, ID"}},
    {"DB.ARH", "KDLEvs.DB", MissedColumns, {"TableKDLAEventsIndex1 unique: DateReg, ID"}},
    {"DB.TMP", "KDEvents.DB", RoundColumns, {"TableKDTEventsIndex1 unique: DateReg"}},
    {"DB.TMP", "KDREvs.DB", TouchColumns, {"TableKDRTEventsIndex1 unique: DateReg, Date, ID"}},
    {"DB.TMP", "KDLEvs.DB", MissedColumns, {"TableKDLTEventsIndex1 unique: DateReg, ID"}},
};

QString ColumnsOf(const RawFile& f, const QString& table) {
    QStringList cols;
    for (const auto& r :
         f.Query(QStringLiteral("SELECT name, type, pk FROM pragma_table_info('%1')").arg(table)))
        cols << r.value(0) + ' ' + r.value(1) + (r.value(2) == "1" ? " pk" : "");
    return cols.join(", ");
}

QStringList IndexesOf(const RawFile& f, const QString& table) {
    QStringList out;
    for (const auto& ix : f.Query(
             QStringLiteral("SELECT name, \"unique\" FROM pragma_index_list('%1')").arg(table))) {
        QStringList cols;
        for (const auto& c :
             f.Query(QStringLiteral("SELECT name, coll FROM pragma_index_xinfo('%1')"
                                    " WHERE key = 1 ORDER BY seqno")
                         .arg(ix.value(0))))
            cols << c.value(0) +
                        (c.value(1).compare("NOCASE", Qt::CaseInsensitive) == 0 ? " nocase" : "");
        out << ix.value(0) + (ix.value(1) == "1" ? " unique" : "") + ": " + cols.join(", ");
    }
    out.sort();
    return out;
}

QStringList FilesIn(const QString& path) {
    QStringList files = QDir(path).entryList(QDir::Files);
    files.sort();
    return files;
}

}  // namespace

class CatalogueTest : public ModuleTest {};

TEST_F(CatalogueTest, FirstStartMakesTheDirectoriesAndTheFirstOpeningEveryTable) {
    EXPECT_TRUE(dm->ProgramDirectory().endsWith('/'));
    EXPECT_EQ(QDir(dm->ProgramDirectory()).absolutePath(), QDir(dir.path()).absolutePath());
    for (const char* sub : {"DB", "DB.ARH", "DB.TMP"}) {
        EXPECT_TRUE(QFileInfo(PathOf(sub, "")).isDir()) << sub;
        EXPECT_TRUE(FilesIn(PathOf(sub, "")).isEmpty()) << "nothing is opened at start-up";
    }
    EXPECT_TRUE(NothingOpen());

    Open();
    EXPECT_TRUE(prompt.Asked().empty());
    EXPECT_EQ(status.Caption(), "Открытие баз данных");
    EXPECT_EQ(status.Text(), "Идет открытие баз данных...");
    EXPECT_EQ(status.Maximum(), static_cast<int>(dm->Components().size()));
    EXPECT_EQ(status.Position(), status.Maximum());
    EXPECT_EQ(status.Pumps(), status.Maximum());
    EXPECT_FALSE(status.IsShowing());
    EXPECT_EQ(dm->SessionPassword(), "LQmerovane&Kit");

    EXPECT_EQ(FilesIn(PathOf("DB", "")),
              QStringList({"KDEvents.DB", "KDLEvs.DB", "KDREvs.DB", "Keys.DB", "PPathes.DB",
                           "Pathes.DB", "PrEvents.DB", "Users.DB"}));
    for (const char* sub : {"DB.ARH", "DB.TMP"})
        EXPECT_EQ(FilesIn(PathOf(sub, "")), QStringList({"KDEvents.DB", "KDLEvs.DB", "KDREvs.DB"}))
            << sub;

    for (const TableCase& t : Tables) {
        SCOPED_TRACE(std::string(t.dir) + "/" + t.file);
        const RawFile f(PathOf(t.dir, t.file));
        ASSERT_TRUE(f.IsOpen());
        const QString table = QString(t.file).section('.', 0, 0);
        EXPECT_EQ(f.Scalar("SELECT count(*) FROM \"" + table + "\""), "0");
        QStringList expected;
        for (const QString& c : QString(t.columns).split(", "))
            expected << c.section(' ', 0, 0) + ' ' + SqlType(c.section(' ', 1));
        EXPECT_EQ(ColumnsOf(f, table), expected.join(", "));
        QStringList indexes = t.indexes;
        indexes.sort();
        EXPECT_EQ(IndexesOf(f, table), indexes);
    }
}

TEST_F(CatalogueTest, KindsOfKeysAndPeopleShowOnlyInTheirViewsInNameOrder) {
    Open();
    // As the rules store them: a collector row carries IsKD only, a check
    // point or incident IsPrBook only.
    Add(dm->TableKDs(), {{"Key", "K1"}, {"Name", "collector"}, {"IsKD", true}});
    Add(dm->TablePoints(), {{"Key", "P2"}, {"Name", "b point"}, {"IsPrBook", false}});
    Add(dm->TablePoints(), {{"Key", "P1"}, {"Name", "A point"}, {"IsPrBook", false}});
    Add(dm->TablePoints(), {{"Key", "P3"}, {"Name", "c point"}, {"IsPrBook", false}});
    Add(dm->TablePrBook(), {{"Key", "I1"}, {"Name", "fire"}, {"IsPrBook", true}});

    EXPECT_EQ(Column(dm->TablePoints(), "Key"), QStringList({"P1", "P2", "P3"}));
    EXPECT_EQ(Column(dm->TablePrBook(), "Key"), QStringList({"I1"}));
    EXPECT_EQ(Column(dm->TableKDs(), "Key"), QStringList({"K1"}));

    Add(dm->TableUsers(), {{"Key", "U3"}, {"Name", "carl"}, {"IsRegister", true}});
    Add(dm->TableUsers(), {{"Key", "U1"}, {"Name", "Anna"}, {"IsRegister", true}});
    Add(dm->TableUsers(), {{"Key", "U2"}, {"Name", "bob"}, {"IsRegister", false}});
    Add(dm->TableUsers(), {{"Key", "U4"}, {"Name", "dan"}});
    for (View* v :
         {&dm->TableUsers(), &dm->TableCurRegister(), &dm->TableRegisters(), &dm->TableGuards()})
        v->Refresh();
    EXPECT_EQ(Column(dm->TableUsers(), "Key"), QStringList({"U1", "U2", "U3", "U4"}));
    EXPECT_EQ(Column(dm->TableCurRegister(), "Key"), QStringList({"U1", "U3"}));
    EXPECT_EQ(Column(dm->TableRegisters(), "Key"), QStringList({"U1", "U3"}));
    EXPECT_EQ(Column(dm->TableGuards(), "Key"), QStringList({"U2"}));
}

TEST_F(CatalogueTest, DetailViewsFollowTheirMastersAndTakeTheirKey) {
    Open();
    struct Case {
        View* master;
        const char* masterField;
        View* detail;
        const char* detailField;
        QVariant first, second;
    } cases[] = {
        {&dm->TablePathes(), "ID", &dm->TablePPathes(), "PathID", {}, {}},
        {&dm->TableKDEvents(), "DateReg", &dm->TableKDREvents(), "DateReg", Stamp(1), Stamp(2)},
        {&dm->TableKDEvents(), "DateReg", &dm->TableKDLEvents(), "DateReg", Stamp(3), Stamp(4)},
        {&dm->TableKDAEvents(), "DateReg", &dm->TableKDRAEvents(), "DateReg", Stamp(1), Stamp(2)},
        {&dm->TableKDAEvents(), "DateReg", &dm->TableKDLAEvents(), "DateReg", Stamp(3), Stamp(4)},
        {&dm->TableKDTEvents(), "DateReg", &dm->TableKDRTEvents(), "DateReg", Stamp(1), Stamp(2)},
        {&dm->TableKDTEvents(), "DateReg", &dm->TableKDLTEvents(), "DateReg", Stamp(3), Stamp(4)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.detail->Name().toStdString());
        View& m = *c.master;
        View& d = *c.detail;
        // Paths get their ID from the engine.
        if (c.first.isValid())
            Add(m, {{c.masterField, c.first}});
        else
            Add(m, {{"Name", "path 1"}});
        const QVariant firstKey = m.Value(c.masterField);
        Add(d, {{"Key", "A"}});
        Add(d, {{"Key", "B"}});
        if (c.second.isValid())
            Add(m, {{c.masterField, c.second}});
        else
            Add(m, {{"Name", "path 2"}});
        const QVariant secondKey = m.Value(c.masterField);
        ASSERT_NE(firstKey, secondKey);
        Add(d, {{"Key", "C"}});
        EXPECT_EQ(d.Value(c.detailField), secondKey);
        EXPECT_EQ(Column(d, "Key"), QStringList({"C"}));
        ASSERT_TRUE(m.Locate(c.masterField, firstKey));
        EXPECT_EQ(Column(d, "Key"), QStringList({"A", "B"}));
        EXPECT_EQ(d.Value(c.detailField), firstKey);
    }
    // The round views name DateReg as master field but show every round.
    EXPECT_EQ(dm->TableKDEvents().RecordCount(), 4);
    EXPECT_EQ(dm->TableKDEvents().MasterFields(), QStringList({"DateReg"}));
    EXPECT_EQ(dm->TableKDEvents().Master(), nullptr);
}

TEST_F(CatalogueTest, LookupFieldsShowTheNamesOfTheKeys) {
    Open();
    Add(dm->TableUsers(), {{"Key", "R1"}, {"Name", "registrar"}, {"IsRegister", true}});
    Add(dm->TableUsers(), {{"Key", "G1"}, {"Name", "guard"}, {"IsRegister", false}});
    Add(dm->TablePoints(), {{"Key", "P1"}, {"Name", "gate"}, {"IsPrBook", false}});
    Add(dm->TableKDs(), {{"Key", "K1"}, {"Name", "collector"}, {"IsKD", true}});
    Add(dm->TablePathes(), {{"Name", "night"}});
    const QVariant path = dm->TablePathes().Value("ID");
    Add(dm->TablePPathes(), {{"Key", "P1"}});
    Add(dm->TablePrEvents(), {{"Date", Stamp(1)}, {"Key", "R1"}, {"Name", "login"}});
    Add(dm->TablePrEventsReg(), {{"Date", Stamp(2)}, {"Key", "X"}, {"Name", "unknown"}});
    for (View* rounds : {&dm->TableKDEvents(), &dm->TableKDAEvents()}) {
        Add(*rounds, {{"DateReg", Stamp(1)},
                      {"IDKD", "K1"},
                      {"KeyReg", "R1"},
                      {"KeyGuard", "G1"},
                      {"PathID", path}});
        Add(*rounds, {{"DateReg", Stamp(2)}, {"IDKD", "P1"}, {"KeyReg", "G1"}});
    }
    dm->TableKDEvents().First();
    Add(dm->TableKDLEvents(), {{"Key", "P1"}});
    Add(dm->TableKDLAEvents(), {{"Key", "K1"}});  // not a check point
    dm->TablePrEventsReg().Refresh();

    struct Case {
        View* view;
        int row;
        const char* field;
        const char* name;
    } cases[] = {
        {&dm->TablePPathes(), 0, "LPoint", "gate"},
        {&dm->TablePrEvents(), 0, "LReg", "registrar"},
        {&dm->TablePrEventsReg(), 0, "LReg", "registrar"},
        {&dm->TablePrEventsReg(), 1, "LReg", ""},
        {&dm->TableKDEvents(), 0, "LKD", "collector"},
        {&dm->TableKDEvents(), 0, "LRegister", "registrar"},
        {&dm->TableKDEvents(), 0, "LGuard", "guard"},
        {&dm->TableKDEvents(), 0, "LPath", "night"},
        {&dm->TableKDEvents(), 1, "LKD", ""},  // a check point is no collector
        {&dm->TableKDEvents(), 1, "LRegister", "guard"},
        {&dm->TableKDAEvents(), 0, "LPath", "night"},
        {&dm->TableKDAEvents(), 1, "LGuard", ""},
        {&dm->TableKDLEvents(), 0, "LPoint", "gate"},
        {&dm->TableKDLAEvents(), 0, "LPoint", ""},
    };
    for (const Case& c : cases) {
        const std::vector<QVariant> row = c.view->RowAt(c.row);
        ASSERT_FALSE(row.empty()) << c.view->Name().toStdString();
        EXPECT_EQ(row.at(c.view->FieldIndex(c.field)).toString(), QString(c.name))
            << c.view->Name().toStdString() << " " << c.field;
    }
}

TEST_F(CatalogueTest, FieldsAddedByTheViewsAndHowTheyAreShown) {
    struct Case {
        const char* view;
        const char* field;
        FieldKind kind;
        FieldType type;
        int size;
        int width;
        const char* format;
    } cases[] = {
        {"TableUsers", "Key", FieldKind::Data, FieldType::String, 16, 20, ""},
        {"TableUsers", "Passwrd", FieldKind::Data, FieldType::String, 32, 16, ""},
        {"TableRegisters", "Key", FieldKind::Data, FieldType::String, 16, 0, ""},
        {"TableRegisters", "Name", FieldKind::Data, FieldType::String, 50, 0, ""},
        {"TableGuards", "Name", FieldKind::Data, FieldType::String, 50, 30, ""},
        {"TablePathes", "Name", FieldKind::Data, FieldType::String, 50, 30, ""},
        {"TablePPathes", "LPoint", FieldKind::Lookup, FieldType::String, 50, 35, ""},
        {"TablePrEvents", "Date", FieldKind::Data, FieldType::DateTime, 0, 19,
         "dd.mm.yyyy hh:mm:ss"},
        {"TablePrEvents", "CDate", FieldKind::Calculated, FieldType::Date, 0, 0, "dd.mm.yyyy"},
        {"TablePrEvents", "CTime", FieldKind::Calculated, FieldType::Time, 0, 0, "hh:mm:ss"},
        {"TablePrEventsReg", "Date", FieldKind::Data, FieldType::DateTime, 0, 0,
         "dd.mm.yyyy hh:mm:ss"},
        {"TablePrEventsReg", "Name", FieldKind::Data, FieldType::String, 50, 30, ""},
        {"TableKDEvents", "DateReg", FieldKind::Data, FieldType::DateTime, 0, 19,
         "dd.mm.yyyy hh:mm:ss"},
        {"TableKDAEvents", "CMode", FieldKind::Calculated, FieldType::String, 30, 20, ""},
        {"TableKDAEvents", "CDuration", FieldKind::Calculated, FieldType::String, 8, 0, ""},
        {"TableKDEvents", "LPath", FieldKind::Lookup, FieldType::String, 50, 20, ""},
        {"TableKDREvents", "DateReg", FieldKind::Data, FieldType::DateTime, 0, 18,
         "dd.mm.yyyy hh:mm:ss"},
        {"TableKDRAEvents", "DateReg", FieldKind::Data, FieldType::DateTime, 0, 0,
         "dd.mm.yyyy hh:mm:ss"},
        {"TableKDRAEvents", "Date", FieldKind::Data, FieldType::DateTime, 0, 17,
         "dd.mm.yyyy hh:mm"},
        {"TableKDREvents", "CPoint", FieldKind::Calculated, FieldType::String, 50, 20, ""},
        {"TableKDREvents", "CComment", FieldKind::Calculated, FieldType::String, 25, 18, ""},
        {"TableKDRAEvents", "CTComment", FieldKind::Calculated, FieldType::SmallInt, 0, 0, ""},
        {"TableKDREvents", "CTime", FieldKind::Calculated, FieldType::Time, 0, 0, "hh:mm"},
        {"TableKDLAEvents", "LPoint", FieldKind::Lookup, FieldType::String, 50, 20, ""},
        {"TableKDRTEvents", "Key", FieldKind::Data, FieldType::String, 16, 0, ""},
        {"TableKDRTEvents", "Date", FieldKind::Data, FieldType::DateTime, 0, 0, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.view) + "." + c.field);
        View* v = dm->ViewByName(c.view);
        ASSERT_NE(v, nullptr);
        const Field* f = v->FindField(c.field);
        ASSERT_NE(f, nullptr);
        EXPECT_EQ(f->kind, c.kind);
        EXPECT_EQ(f->type, c.type);
        if (c.type == FieldType::String) {
            EXPECT_EQ(f->size, c.size);
        }
        EXPECT_EQ(f->displayWidth, c.width);
        EXPECT_EQ(f->displayFormat, QString(c.format));
    }
    // The touch views: the table's fields, then the calculated ones.
    QStringList names;
    for (const Field& f : dm->TableKDREvents().Fields())
        names << f.name;
    EXPECT_EQ(names.join(' '), "DateReg Date ID Key Type CPoint CComment CTComment CDate CTime");
}

TEST_F(CatalogueTest, ReportViewsAreSkippedWhenOpeningAndEveryOtherViewOpens) {
    Open();
    for (const auto& c : dm->Components()) {
        if (c.view == nullptr) continue;
        const bool report =
            c.view == &dm->MTable() || c.view == &dm->DTable() || c.view == &dm->D2Table();
        EXPECT_EQ(c.view->Tag(), report ? 1 : 0) << c.name.toStdString();
        EXPECT_EQ(c.view->IsOpen(), !report) << c.name.toStdString();
    }
    for (const char* none :
         {"TableKDFEvents", "TableKDAFEvents", "TableKDRTEvents", "TableKDLTEvents"})
        EXPECT_EQ(dm->DataSourceByName(QString("DataSource") + QString(none).mid(5)), nullptr);
    ASSERT_NE(dm->DataSourceByName("DataSourceKDREvents"), nullptr);
    EXPECT_EQ(dm->DataSourceByName("DataSourceKDREvents")->view, &dm->TableKDREvents());
    EXPECT_EQ(dm->DataSourceByName("DataSourceKDTEvents")->view, &dm->TableKDTEvents());
}

// --- Opening: cancel, repair, refusal ----------------------------------------

class OpeningTest : public ModuleTest {};

TEST_F(OpeningTest, ClosingTheStatusWindowLeavesEverythingClosedAndTheNextLoginTriesAgain) {
    const int components = static_cast<int>(dm->Components().size());
    for (int at : {1, 3, 6, 20, components}) {
        SCOPED_TRACE(at);
        status.CloseAtPump(at);
        EXPECT_FALSE(dm->OpenDatabases());
        EXPECT_TRUE(NothingOpen());
        EXPECT_FALSE(status.IsShowing());
        EXPECT_TRUE(prompt.Asked().empty());
    }
    status.CloseAtPump(0);
    Open();
    EXPECT_TRUE(dm->TableKDLTEvents().IsOpen());
}

TEST_F(OpeningTest, ADamagedIndexIsRebuiltAndEveryRowKept) {
    struct Case {
        const char* dir;
        const char* file;
        const char* index;
    } cases[] = {
        {"DB", "Users.DB", "Names"},                       // read by the views' order
        {"DB", "Keys.DB", "TablePointsIndex1"},            // not read when the views open
        {"DB.ARH", "KDLEvs.DB", "TableKDLAEventsIndex1"},  // read by the master range
    };
    constexpr int Rows = 600;
    Open();
    {
        dm->Database().Begin();
        for (int i = 0; i < Rows; ++i)
            Add(dm->TableUsers(),
                {{"Key", QString("%1").arg(i, 16, 10, QChar('0'))},
                 {"Name", QString("Person number %1 with a long name").arg(Rows - i)}});
        for (int i = 0; i < Rows; ++i)
            Add(dm->TablePoints(), {{"Key", QString("%1").arg(i, 16, 10, QChar('0'))},
                                    {"Name", QString("Point %1").arg(i)},
                                    {"IsPrBook", false}});
        dm->Database().Commit();
        dm->DatabaseA().Begin();
        Add(dm->TableKDAEvents(), {{"DateReg", Stamp(2)}});
        for (int i = 0; i < Rows; ++i)
            Add(dm->TableKDLAEvents(), {{"Key", "K"}});
        dm->DatabaseA().Commit();
    }
    dm->CloseDatabases();

    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const QString path = PathOf(c.dir, c.file);
        int root = 0, pageSize = 0;
        {
            const RawFile f(path);
            root =
                f.Scalar(QString("SELECT rootpage FROM sqlite_master WHERE name='%1'").arg(c.index))
                    .toInt();
            pageSize = f.Scalar("PRAGMA page_size").toInt();
        }
        ASSERT_GT(root, 1);
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        file.seek(qint64(root - 1) * pageSize + 8);
        QByteArray garbage(pageSize / 2, '\0');
        for (char& b : garbage)
            b = char(0xA5);
        file.write(garbage);
        file.close();
        ASSERT_NE(RawFile(path).Scalar("PRAGMA integrity_check(1)"), "ok");
    }

    Open();
    EXPECT_TRUE(prompt.Asked().empty());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const RawFile f(PathOf(c.dir, c.file));
        EXPECT_EQ(f.Scalar("PRAGMA integrity_check(1)"), "ok");
        EXPECT_EQ(
            f.Scalar(QString("SELECT count(*) FROM sqlite_master WHERE name='%1'").arg(c.index)),
            "1");
        const QString table = QString(c.file).section('.', 0, 0);
        EXPECT_EQ(f.Scalar("SELECT count(*) FROM \"" + table + "\""), QString::number(Rows));
    }
    EXPECT_EQ(dm->TableUsers().RecordCount(), Rows);
    EXPECT_EQ(Column(dm->TableUsers(), "Name").first(), "Person number 1 with a long name");
    EXPECT_EQ(dm->TablePoints().RecordCount(), Rows);
    EXPECT_TRUE(dm->TablePoints().Locate("Key", QString("%1").arg(Rows - 1, 16, 10, QChar('0'))));
    dm->TableKDAEvents().First();
    EXPECT_EQ(dm->TableKDLAEvents().RecordCount(), Rows);
}

TEST_F(OpeningTest, AFileThatIsNoTableStopsTheOpeningAndStaysAsItWas) {
    struct Case {
        const char* dir;
        const char* file;
    } cases[] = {{"DB", "Keys.DB"}, {"DB.ARH", "KDREvs.DB"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const QString path = PathOf(c.dir, c.file);
        QByteArray garbage(12288, '\0');
        QRandomGenerator gen(7);
        for (char& b : garbage)
            b = char(gen.bounded(256));
        {
            QFile f(path);
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
            f.write(garbage);
        }
        prompt.Clear();
        EXPECT_FALSE(dm->OpenDatabases());
        ASSERT_EQ(prompt.Asked().size(), 1u);
        EXPECT_EQ(prompt.Asked()[0].caption, "Ошибка");
        // The cause and the file on a second line.
        EXPECT_EQ(prompt.Asked()[0].text.section('\r', 0, 0), "Ошибка при открытии баз данных !");
        EXPECT_TRUE(prompt.Asked()[0].text.section('\r', 1).contains(path))
            << prompt.Asked()[0].text.toStdString();
        EXPECT_EQ(prompt.Asked()[0].icon, shell::Icon::Warning);
        EXPECT_TRUE(NothingOpen());
        EXPECT_FALSE(status.IsShowing());
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        EXPECT_TRUE(f.readAll() == garbage);
        for (const QString& name : FilesIn(PathOf(c.dir, "")))
            EXPECT_TRUE(name.endsWith(".DB")) << name.toStdString();
        QFile::remove(path);
    }
    Open();  // once the file is gone it is created empty
}

// Opening never deletes rows: touches and missed points without a stored
// round (an older rounds file put back, say) stay until someone deletes them.
TEST_F(OpeningTest, TouchesAndMissedPointsWithoutTheirRoundStayAtOpening) {
    Open();
    struct Set {
        View *rounds, *touches, *missed;
    } sets[] = {
        {&dm->TableKDEvents(), &dm->TableKDREvents(), &dm->TableKDLEvents()},
        {&dm->TableKDAEvents(), &dm->TableKDRAEvents(), &dm->TableKDLAEvents()},
        {&dm->TableKDTEvents(), &dm->TableKDRTEvents(), &dm->TableKDLTEvents()},
    };
    for (const Set& s : sets) {
        Add(*s.rounds, {{"DateReg", Stamp(1)}});
        Add(*s.rounds, {{"IDKD", "round without stamp"}});
        for (double round : {Stamp(1), Stamp(2)}) {
            Add(*s.touches, {{"DateReg", round}, {"Date", round}, {"Key", "A"}});
            Add(*s.touches, {{"DateReg", round}, {"Date", round}, {"Key", "B"}});
            Add(*s.missed, {{"DateReg", round}, {"Key", "C"}});
        }
        Add(*s.touches, {{"DateReg", QVariant()}, {"Date", Stamp(3)}, {"Key", "D"}});
    }
    dm->CloseDatabases();
    Open();
    for (const Set& s : sets) {
        SCOPED_TRACE(s.rounds->Name().toStdString());
        EXPECT_TRUE(dm->FindInTable(*s.touches, "DateReg", Stamp(2)));
        EXPECT_TRUE(dm->FindInTable(*s.missed, "DateReg", Stamp(2)));
        EXPECT_TRUE(dm->FindInTable(*s.touches, "Key", "D"));
        ASSERT_TRUE(s.rounds->Locate("DateReg", Stamp(1)));
        EXPECT_EQ(Column(*s.touches, "Key"), QStringList({"A", "B"}));
        EXPECT_EQ(Column(*s.missed, "Key"), QStringList({"C"}));
    }
}

// --- Opening for reading only ------------------------------------------------

// A reader beside the program: an export opens the tables the program holds
// open and locked, reads what is committed, and changes nothing, also where
// the program would have created or repaired.
class ReaderOpeningTest : public ModuleTest {
protected:
    std::unique_ptr<TDM> Reader(const QString& home) {
        return std::make_unique<TDM>(readerPrompt, readerStatus, clock, pump, home,
                                     TDM::Access::ReadOnly);
    }

    // Every file under the program directory with its bytes.
    std::map<QString, QByteArray> Files() const {
        std::map<QString, QByteArray> out;
        for (const char* sub : {".", "DB", "DB.ARH", "DB.TMP"})
            for (const QString& name :
                 QDir(QDir(dir.path()).filePath(sub)).entryList(QDir::Files)) {
                QFile f(PathOf(sub, name));
                EXPECT_TRUE(f.open(QIODevice::ReadOnly));
                out[QString::fromLatin1(sub) + '/' + name] = f.readAll();
            }
        return out;
    }

    shell::ScriptedPrompt readerPrompt;
    shell::ScriptedStatusWindow readerStatus;
};

TEST_F(ReaderOpeningTest, AReaderOpensBesideTheProgramAndWritesNothing) {
    Open();  // the program: its lock taken, every table created
    Add(dm->TableUsers(), {{"Key", "K1"}, {"Name", "Иванов"}, {"IsRegister", true}});
    Add(dm->TablePrEvents(), {{"Date", Stamp(2)}, {"Name", "Вход"}, {"Key", "K1"}});
    const auto before = Files();
    ASSERT_TRUE(before.count("./Kordex.lck"));

    auto reader = Reader(dir.path());
    ASSERT_TRUE(reader->OpenDatabases()) << readerPrompt.Texts().join('|').toStdString();
    EXPECT_EQ(Column(reader->TableRegisters(), "Name"), QStringList{"Иванов"});
    reader->TablePrEvents().First();
    EXPECT_EQ(reader->TablePrEvents().Text("LReg"), "Иванов");
    // A write through the reader is refused by the engine.
    EXPECT_ANY_THROW(Add(reader->TablePoints(), {{"Key", "P1"}, {"Name", "Point"}}));
    reader->TablePoints().Cancel();
    reader->CloseDatabases();
    EXPECT_TRUE(Files() == before);
    // The program kept its lock and goes on writing.
    EXPECT_TRUE(QFile::exists(dm->LockFilePath()));
    Add(dm->TablePoints(), {{"Key", "P2"}, {"Name", "Point"}, {"IsPrBook", false}});
}

TEST_F(ReaderOpeningTest, AMissingOrDamagedTableFailsTheReaderAndStaysAsItWas) {
    // No store at all: nothing is created, not even the directories.
    QTemporaryDir empty;
    {
        auto reader = Reader(empty.path());
        EXPECT_FALSE(reader->OpenDatabases());
        ASSERT_EQ(readerPrompt.Asked().size(), 1u);
        EXPECT_TRUE(readerPrompt.Asked()[0].text.contains("Users.DB"))
            << readerPrompt.Asked()[0].text.toStdString();
    }
    EXPECT_TRUE(QDir(empty.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries).isEmpty());

    // A damaged index, which the program would rebuild.
    Open();
    dm->Database().Begin();
    for (int i = 0; i < 600; ++i)
        Add(dm->TableUsers(), {{"Key", QString("%1").arg(i, 16, 10, QChar('0'))},
                               {"Name", QString("Person number %1 with a long name").arg(i)}});
    dm->Database().Commit();
    dm->CloseDatabases();
    const QString path = PathOf("DB", "Users.DB");
    int root = 0, pageSize = 0;
    {
        const RawFile f(path);
        root = f.Scalar("SELECT rootpage FROM sqlite_master WHERE name='Names'").toInt();
        pageSize = f.Scalar("PRAGMA page_size").toInt();
    }
    ASSERT_GT(root, 1);
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        file.seek(qint64(root - 1) * pageSize + 8);
        file.write(QByteArray(pageSize / 2, char(0xA5)));
    }
    ASSERT_NE(RawFile(path).Scalar("PRAGMA integrity_check(1)"), "ok");
    const auto before = Files();

    readerPrompt.Clear();
    auto reader = Reader(dir.path());
    EXPECT_FALSE(reader->OpenDatabases());
    ASSERT_EQ(readerPrompt.Asked().size(), 1u);
    EXPECT_EQ(readerPrompt.Asked()[0].text.section('\r', 0, 0), "Ошибка при открытии баз данных !");
    EXPECT_TRUE(readerPrompt.Asked()[0].text.section('\r', 1).contains(path))
        << readerPrompt.Asked()[0].text.toStdString();
    EXPECT_FALSE(reader->Database().Connected());
    EXPECT_TRUE(Files() == before);
}
