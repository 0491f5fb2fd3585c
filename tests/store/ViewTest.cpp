#include <gtest/gtest.h>
#include <sqlite3.h>

#include <QTemporaryDir>

#include "store/Engine.h"
#include "store/View.h"

using namespace kordex::store;

namespace {

TableDef People() {
    TableDef t;
    t.file = "People.DB";
    t.fields = {{"Key", FieldType::String, 16},
                {"Name", FieldType::String, 10},
                {"IsRegister", FieldType::Boolean, 0},
                {"Age", FieldType::SmallInt, 0}};
    t.indexes = {{"PeopleIndex1", {"Key"}, true, false}, {"Names", {"Name"}, false, true}};
    return t;
}

TableDef Rounds() {
    TableDef t;
    t.file = "Rounds.DB";
    t.fields = {{"DateReg", FieldType::DateTime, 0}, {"Memo", FieldType::String, 32}};
    t.indexes = {{"RoundsIndex1", {"DateReg"}, true, false}};
    return t;
}

TableDef Touches() {
    TableDef t;
    t.file = "Touches.DB";
    t.fields = {{"DateReg", FieldType::DateTime, 0},
                {"Date", FieldType::DateTime, 0},
                {"ID", FieldType::AutoInc, 0},
                {"Key", FieldType::String, 16}};
    t.indexes = {{"TouchesIndex1", {"DateReg", "Date", "ID"}, true, false}};
    return t;
}

struct Listener : ViewListener {
    int data = 0, state = 0, refresh = 0;
    void ViewDataChanged(View&, const QString&) override { ++data; }
    void ViewStateChanged(View&) override { ++state; }
    void ViewRefreshed(View&) override { ++refresh; }
};

class ViewTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        db = std::make_unique<Database>("Data", dir.path());
        db->Connect();
        for (const auto& t : {People(), Rounds(), Touches()})
            db->CreateTable(t);
    }

    void AddPerson(View& v, const QString& key, const QString& name, QVariant isReg = {},
                   QVariant age = {}) {
        v.Insert();
        v.SetValue("Key", key);
        v.SetValue("Name", name);
        v.SetValue("IsRegister", isReg);
        v.SetValue("Age", age);
        v.Post();
    }

    QStringList Column(View& v, const QString& field) {
        QStringList out;
        for (v.First(); !v.Eof(); v.Next()) {
            out << v.Text(field);
            if (v.RecNo() == v.RecordCount()) break;
        }
        return out;
    }

    QTemporaryDir dir;
    std::unique_ptr<Database> db;
};

}  // namespace

TEST_F(ViewTest, OrderByNameIgnoresCaseForCyrillicAndSwitchesBack) {
    View v("TablePeople", "Data", People());
    v.SetIndexName("Names");
    v.Open(*db);
    AddPerson(v, "K3", "бета");
    AddPerson(v, "K1", "Альфа");
    AddPerson(v, "K4", "ВЕГА");
    AddPerson(v, "K2", "альфа2");
    AddPerson(v, "K5", "Zeta");
    AddPerson(v, "K6", "alpha");
    EXPECT_EQ(Column(v, "Name"), QStringList({"alpha", "Zeta", "Альфа", "альфа2", "бета", "ВЕГА"}));
    // Where the cursor stands after a post: on the posted row.
    v.Insert();
    v.SetValue("Key", "K7");
    v.SetValue("Name", "борис");
    v.Post();
    EXPECT_EQ(v.Text("Name"), "борис");
    EXPECT_EQ(v.RecNo(), 6);  // alpha Zeta Альфа альфа2 бета борис

    v.SetIndexName("PeopleIndex1");
    EXPECT_EQ(v.Text("Key"), "K7");  // the switch keeps the current row
    EXPECT_EQ(Column(v, "Key"), QStringList({"K1", "K2", "K3", "K4", "K5", "K6", "K7"}));
}

TEST_F(ViewTest, FilterExpressionsAndEmptyBooleans) {
    View all("All", "Data", People());
    all.Open(*db);
    AddPerson(all, "R1", "Reg", true);
    AddPerson(all, "G1", "Guard", false);
    AddPerson(all, "U1", "Nobody");  // IsRegister empty
    AddPerson(all, "R2", "it's and", true);

    struct Case {
        const char* filter;
        QStringList keys;
    } cases[] = {
        {"IsRegister=True", {"R1", "R2"}},
        {"IsRegister=False", {"G1"}},
        {"(Name='Guard')", {"G1"}},
        {"(Name='Reg') and (Key='R1')", {"R1"}},
        {"(Name='Reg') and (Key='R2')", {}},
        {"(Name='it''s and')", {"R2"}},
        {"Age=5", {}},
    };
    View v("V", "Data", People());
    v.Open(*db);
    v.SetFiltered(true);
    for (const auto& c : cases) {
        v.SetFilterText(c.filter);
        EXPECT_EQ(Column(v, "Key"), c.keys) << c.filter;
        EXPECT_EQ(v.RecordCount(), c.keys.size()) << c.filter;
    }
    v.SetFiltered(false);
    EXPECT_EQ(v.RecordCount(), 4);
    EXPECT_THROW(v.SetFilterText("Nonsense"), Error);
}

TEST_F(ViewTest, FilterCallbackSeesEachRowAndPostedRowsAreTestedToo) {
    View v("V", "Data", People());
    v.Open(*db);
    for (int i = 1; i <= 6; ++i)
        AddPerson(v, QString("K%1").arg(i), "n", {}, i);
    int asked = 0;
    v.onFilterRecord = [&](View& view) {
        ++asked;
        return view.Value("Age").toInt() % 2 == 0;
    };
    v.SetFiltered(true);
    EXPECT_EQ(asked, 6);
    EXPECT_EQ(Column(v, "Key"), QStringList({"K2", "K4", "K6"}));

    // A new row that fails the test is stored but not shown.
    AddPerson(v, "K7", "n", {}, 7);
    EXPECT_EQ(v.RecordCount(), 3);
    AddPerson(v, "K8", "n", {}, 8);
    EXPECT_EQ(v.RecordCount(), 4);
    EXPECT_EQ(v.Text("Key"), "K8");
    v.SetFiltered(false);
    EXPECT_EQ(v.RecordCount(), 8);
}

TEST_F(ViewTest, MasterRangeFollowsThePendingMasterRow) {
    View rounds("Rounds", "Data", Rounds());
    View touches("Touches", "Data", Touches());
    touches.SetMaster(&rounds, {"DateReg"}, {"DateReg"});
    rounds.Open(*db);
    touches.Open(*db);

    rounds.Insert();
    rounds.SetValue("DateReg", 100.5);
    rounds.Post();
    touches.Insert();
    touches.SetValue("Date", 100.6);
    touches.SetValue("Key", "A");
    touches.Post();
    EXPECT_EQ(touches.Value("DateReg").toDouble(), 100.5);

    // A new round, not yet posted: touches go under its DateReg and show at once.
    rounds.Insert();
    EXPECT_EQ(touches.RecordCount(), 0);
    rounds.SetValue("DateReg", 200.25);
    for (int i = 0; i < 3; ++i) {
        touches.Insert();
        touches.SetValue("Date", 200.3 - i * 0.01);
        touches.SetValue("Key", QString("T%1").arg(i));
        touches.Post();
    }
    EXPECT_EQ(touches.RecordCount(), 3);
    EXPECT_EQ(Column(touches, "Key"), QStringList({"T2", "T1", "T0"}));  // by Date
    // Cancelling the round leaves its touches stored but out of the range.
    rounds.Cancel();
    EXPECT_EQ(touches.RecordCount(), 1);
    EXPECT_EQ(touches.Text("Key"), "A");

    rounds.First();
    EXPECT_EQ(touches.RecordCount(), 1);
    // A touch whose round is missing from the master shows under no round.
    View raw("Raw", "Data", Touches());
    raw.Open(*db);
    EXPECT_EQ(raw.RecordCount(), 4);
}

TEST_F(ViewTest, InsertPostCancelAndDuplicateKeys) {
    View v("V", "Data", People());
    v.Open(*db);
    AddPerson(v, "K1", "Один");
    AddPerson(v, "K3", "Три");
    v.First();
    Listener l;
    v.AddListener(&l);

    v.Insert();
    EXPECT_EQ(v.State(), ViewState::Insert);
    EXPECT_EQ(v.RecordCount(), 2);  // the pending row is not counted
    v.SetValue("Key", "K2");
    v.SetValue("Name", "Два-длинное-имя");
    EXPECT_EQ(v.Text("Name"), "Два-длинно");  // cut to the field's 10 characters
    v.Cancel();
    EXPECT_EQ(v.State(), ViewState::Browse);
    EXPECT_EQ(v.Text("Key"), "K1");
    EXPECT_EQ(v.RecordCount(), 2);
    EXPECT_GE(l.state, 2);

    // A duplicate key: the error names the key violation and the row stays pending.
    v.Insert();
    v.SetValue("Key", "K3");
    try {
        v.Post();
        FAIL() << "duplicate posted";
    } catch (const Error& e) {
        EXPECT_TRUE(e.Message().contains("Key violation")) << e.Message().toStdString();
    }
    EXPECT_EQ(v.State(), ViewState::Insert);
    // A post-error handler can turn it into a silent abort.
    int handled = 0;
    v.onPostError = [&](View&, const Error& e, PostErrorAction& a) {
        ++handled;
        if (e.Message().contains("Key violation")) a = PostErrorAction::Abort;
    };
    EXPECT_THROW(v.Post(), Abort);
    EXPECT_EQ(handled, 1);
    EXPECT_EQ(v.State(), ViewState::Insert);
    v.SetValue("Key", "K2");
    v.Post();
    EXPECT_EQ(v.RecordCount(), 3);

    // Setting a value needs edit or insert state.
    EXPECT_THROW(v.SetValue("Name", "x"), Error);
}

TEST_F(ViewTest, StringsAreCutAndAutoIncValuesAreNeverReused) {
    View t("T", "Data", Touches());
    t.Open(*db);
    auto add = [&](double date) {
        t.Insert();
        t.SetValue("DateReg", 1.0);
        t.SetValue("Date", date);
        t.SetValue("Key", "0123456789ABCDEFXYZ");
        t.Post();
        return t.Value("ID").toInt();
    };
    const int a = add(1.1), b = add(1.2);
    EXPECT_EQ(t.Text("Key"), "0123456789ABCDEF");
    EXPECT_GT(b, a);
    t.Last();
    t.Delete();
    EXPECT_GT(add(1.3), b);
    const int before = t.Value("ID").toInt();
    t.EmptyTable();
    EXPECT_TRUE(t.IsEmpty());
    EXPECT_GT(add(1.4), before);
    t.Edit();
    EXPECT_THROW(t.SetValue("ID", 1), Error);
    t.Cancel();
}

TEST_F(ViewTest, MovingLocatingAndBookmarks) {
    View v("V", "Data", People());
    v.Open(*db);
    EXPECT_TRUE(v.Bof());
    EXPECT_TRUE(v.Eof());
    EXPECT_THROW(v.Delete(), Error);
    EXPECT_THROW(v.Edit(), Error);
    for (int i = 1; i <= 5; ++i)
        AddPerson(v, QString("K%1").arg(i), i == 4 ? "Same" : "Name", {}, i);

    v.First();
    EXPECT_TRUE(v.Bof());
    EXPECT_FALSE(v.Eof());
    v.Prior();
    EXPECT_TRUE(v.Bof());
    EXPECT_EQ(v.RecNo(), 1);
    v.Last();
    EXPECT_TRUE(v.Eof());
    v.Next();
    EXPECT_EQ(v.RecNo(), 5);
    EXPECT_EQ(v.MoveBy(-2), -2);
    EXPECT_EQ(v.Text("Key"), "K3");

    const Bookmark b = v.GetBookmark();
    EXPECT_TRUE(v.Locate("Key", "K5"));
    EXPECT_FALSE(v.Locate("Key", "k5"));  // exact and case-sensitive
    EXPECT_EQ(v.Text("Key"), "K5");       // a failed locate does not move
    EXPECT_TRUE(v.Locate("Name", "Name"));
    EXPECT_EQ(v.Text("Key"), "K1");  // the first in view order
    EXPECT_TRUE(v.Locate(QStringList{"Name", "Age"}, {QString("Same"), 4}));
    EXPECT_TRUE(v.GotoBookmark(b));
    EXPECT_EQ(v.Text("Key"), "K3");
    v.Delete();
    EXPECT_EQ(v.Text("Key"), "K4");  // deletion moves to the next row
    EXPECT_FALSE(v.BookmarkValid(b));
    EXPECT_FALSE(v.GotoBookmark(b));
    EXPECT_EQ(v.Text("Key"), "K4");
}

TEST_F(ViewTest, HandlersCanRefuseEditPostAndDelete) {
    View v("V", "Data", People());
    v.Open(*db);
    AddPerson(v, "K1", "One");
    bool allow = false;
    v.beforeDelete = [&](View&) {
        if (!allow) throw Abort{};
    };
    EXPECT_THROW(v.Delete(), Abort);
    EXPECT_EQ(v.RecordCount(), 1);
    allow = true;
    int after = 0;
    v.afterDelete = [&](View&) { ++after; };
    v.Delete();
    EXPECT_EQ(after, 1);
    EXPECT_TRUE(v.IsEmpty());

    v.beforePost = [](View& view) {
        if (view.Text("Name").isEmpty()) throw Abort{};
        view.SetValue("Age", 42);  // a rule may fill fields before the write
    };
    v.Insert();
    v.SetValue("Key", "K2");
    EXPECT_THROW(v.Post(), Abort);
    EXPECT_EQ(v.State(), ViewState::Insert);
    v.SetValue("Name", "Two");
    v.Post();
    EXPECT_EQ(v.Value("Age").toInt(), 42);
}

TEST_F(ViewTest, LookupAndCalculatedFieldsFollowTheirSources) {
    View people("People", "Data", People());
    View touches("Touches", "Data", Touches());
    touches.AddLookupField("LName", 10, "Key", &people, "Key", "Name");
    touches.AddCalculatedField("CDay", FieldType::Date);
    int calcs = 0;
    touches.onCalcFields = [&](View& t) {
        ++calcs;
        t.SetValue("CDay", std::floor(t.Value("Date").toDouble()));
    };
    people.Open(*db);
    touches.Open(*db);
    AddPerson(people, "K1", "Иван");
    touches.Insert();
    touches.SetValue("DateReg", 1.0);
    touches.SetValue("Date", 46096.75);
    touches.SetValue("Key", "K1");
    touches.Post();
    EXPECT_EQ(touches.Text("LName"), "Иван");
    EXPECT_EQ(touches.Value("CDay").toDouble(), 46096.0);

    people.First();
    people.Edit();
    people.SetValue("Name", "Пётр");
    people.Post();
    EXPECT_EQ(touches.RowAt(0)[touches.FieldIndex("LName")].toString(), "Пётр");
    people.Delete();
    EXPECT_TRUE(touches.RowAt(0)[touches.FieldIndex("LName")].isNull());
    EXPECT_GT(calcs, 0);
}

TEST_F(ViewTest, ThePendingRowComesAfterTheLastRowWithItsLookupsUntilPostedOrCancelled) {
    View people("People", "Data", People());
    View touches("Touches", "Data", Touches());
    touches.AddLookupField("LName", 10, "Key", &people, "Key", "Name");
    touches.AddCalculatedField("CDay", FieldType::Date);
    touches.onCalcFields = [](View& t) {
        if (!t.IsNull("Date")) t.SetValue("CDay", std::floor(t.Value("Date").toDouble()));
    };
    people.Open(*db);
    touches.Open(*db);
    AddPerson(people, "K1", "Иван");
    AddPerson(people, "K2", "Пётр");
    for (double date : {10.5, 30.5}) {
        touches.Insert();
        touches.SetValue("DateReg", 1.0);
        touches.SetValue("Date", date);
        touches.Post();
    }
    touches.First();
    EXPECT_FALSE(touches.PendingInsert());
    EXPECT_EQ(touches.PendingPosition(), -1);

    touches.Append();
    EXPECT_TRUE(touches.PendingInsert());
    EXPECT_EQ(touches.PendingPosition(), 2);
    EXPECT_TRUE(touches.IsNull("LName"));
    // The lookup and the calculation follow every value set, not only the first.
    touches.SetValue("Key", "K1");
    EXPECT_EQ(touches.Text("LName"), "Иван");
    touches.SetValue("Key", "K2");
    EXPECT_EQ(touches.Text("LName"), "Пётр");
    touches.SetValue("Key", "K9");
    EXPECT_TRUE(touches.IsNull("LName"));
    touches.SetValue("Date", 20.25);
    EXPECT_EQ(touches.Value("CDay").toDouble(), 20.0);
    touches.Cancel();
    EXPECT_FALSE(touches.PendingInsert());
    EXPECT_EQ(touches.PendingPosition(), -1);
    EXPECT_EQ(touches.RecordCount(), 2);

    // Posted, it takes its place by the order.
    touches.Append();
    touches.SetValue("DateReg", 1.0);
    touches.SetValue("Date", 20.25);
    touches.SetValue("Key", "K2");
    touches.Post();
    EXPECT_EQ(touches.PendingPosition(), -1);
    EXPECT_EQ(touches.RecNo(), 2);
    EXPECT_EQ(touches.Text("LName"), "Пётр");

    // A stored row being edited is no pending row.
    touches.Edit();
    EXPECT_FALSE(touches.PendingInsert());
    EXPECT_EQ(touches.PendingPosition(), -1);
    touches.Cancel();
}

TEST_F(ViewTest, DisabledControlsHearNothingAndDetailsCatchUpAfterwards) {
    View rounds("Rounds", "Data", Rounds());
    View touches("Touches", "Data", Touches());
    touches.SetMaster(&rounds, {"DateReg"}, {"DateReg"});
    rounds.Open(*db);
    touches.Open(*db);
    for (double d : {1.0, 2.0}) {
        rounds.Insert();
        rounds.SetValue("DateReg", d);
        rounds.Post();
        touches.Insert();
        touches.SetValue("Date", d + 0.1);
        touches.Post();
        touches.Insert();
        touches.SetValue("Date", d + 0.2);
        touches.Post();
    }
    rounds.First();
    Listener l;
    rounds.AddListener(&l);
    rounds.DisableControls();
    rounds.Next();
    rounds.Prior();
    rounds.Next();
    EXPECT_EQ(l.data + l.refresh, 0);
    EXPECT_NEAR(touches.Value("DateReg").toDouble(), 1.0, 1e-9);  // not followed yet
    rounds.EnableControls();
    EXPECT_EQ(l.refresh, 1);
    EXPECT_NEAR(touches.Value("DateReg").toDouble(), 2.0, 1e-9);
    EXPECT_EQ(touches.RecordCount(), 2);
    rounds.Prior();
    EXPECT_EQ(l.data, 1);
}

TEST_F(ViewTest, TableFilesStayPlainSqliteAndBatchesCommitTogether) {
    View v("V", "Data", People());
    v.Open(*db);
    db->Begin();
    AddPerson(v, "K1", "Один", true, 3);
    AddPerson(v, "K2", "Два");
    db->Rollback();
    v.Refresh();
    EXPECT_EQ(v.RecordCount(), 0);
    // A rollback inside an outer batch undoes the whole batch at its end,
    // and the outer commit says so.
    db->Begin();
    db->Begin();
    AddPerson(v, "K9", "Девять");
    db->Rollback();
    EXPECT_THROW(db->Commit(), Error);
    EXPECT_FALSE(db->InTransaction());
    v.Refresh();
    EXPECT_EQ(v.RecordCount(), 0);
    db->Begin();
    AddPerson(v, "K1", "Один", true, 3);
    db->Commit();
    v.Close();

    sqlite3* raw = nullptr;
    ASSERT_EQ(sqlite3_open_v2(QDir(dir.path()).filePath("People.DB").toUtf8().constData(), &raw,
                              SQLITE_OPEN_READONLY, nullptr),
              SQLITE_OK);
    sqlite3_stmt* st = nullptr;
    ASSERT_EQ(
        sqlite3_prepare_v2(raw, "SELECT Key, Name, IsRegister, Age FROM People", -1, &st, nullptr),
        SQLITE_OK);
    ASSERT_EQ(sqlite3_step(st), SQLITE_ROW);
    EXPECT_STREQ(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)), "K1");
    EXPECT_EQ(QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, 1))), "Один");
    EXPECT_EQ(sqlite3_column_int(st, 2), 1);
    EXPECT_EQ(sqlite3_step(st), SQLITE_DONE);
    sqlite3_finalize(st);
    sqlite3_close(raw);
    // Closed, a table is its one file: no journal is left beside it.
    EXPECT_FALSE(QFile::exists(QDir(dir.path()).filePath("People.DB-journal")));
}

TEST_F(ViewTest, AListenerMayLeaveOrTakeAnotherOffWhileBeingTold) {
    View v("V", "Data", People());
    v.Open(*db);
    struct Leaver : Listener {
        View* view = nullptr;
        ViewListener* other = nullptr;
        void ViewRefreshed(View& v2) override {
            Listener::ViewRefreshed(v2);
            view->RemoveListener(this);
            view->RemoveListener(other);
        }
    };
    Listener second;
    Leaver first;
    first.view = &v;
    first.other = &second;
    v.AddListener(&first);
    v.AddListener(&second);
    v.Refresh();
    EXPECT_EQ(first.refresh, 1);
    EXPECT_EQ(second.refresh, 0);  // taken off before its turn
    v.Refresh();
    EXPECT_EQ(first.refresh, 1);
}
