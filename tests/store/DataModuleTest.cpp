#include <QDir>
#include <functional>

#include "ModuleFixture.h"

using namespace kordex;
using namespace kordex::store;
using namespace kordex::store::testing;

class DataModuleTest : public ModuleTest {
protected:
    // Three check points A..C (keys P1..P3), an incident and a collector.
    void AddKeys() {
        Add(dm->TablePoints(), {{"Key", "P2"}, {"Name", "B"}, {"IsPrBook", false}});
        Add(dm->TablePoints(), {{"Key", "P1"}, {"Name", "A"}, {"IsPrBook", false}});
        Add(dm->TablePoints(), {{"Key", "P3"}, {"Name", "C"}, {"IsPrBook", false}});
        Add(dm->TablePrBook(), {{"Key", "I1"}, {"Name", "fire"}, {"IsPrBook", true}});
        Add(dm->TableKDs(), {{"Key", "K1"}, {"Name", "collector"}, {"IsKD", true}});
    }

    // Rounds on days 1 and 2 with touches A, B and C, D.
    void AddRounds(View& rounds, View& touches) {
        Add(rounds, {{"DateReg", Stamp(1)}});
        Add(touches, {{"Date", Stamp(1, 8)}, {"Key", "A"}, {"Type", 7}});
        Add(touches, {{"Date", Stamp(1, 9)}, {"Key", "B"}});
        Add(rounds, {{"DateReg", Stamp(2)}});
        Add(touches, {{"Date", Stamp(2, 8)}, {"Key", "C"}});
        Add(touches, {{"Date", Stamp(2, 9)}, {"Key", "D"}});
    }
};

TEST_F(DataModuleTest, StartUpPutsBackTheDirectoriesTheFlagsAndTheSlots) {
    Open();
    AddKeys();
    dm->SaveBookmark(dm->TablePoints(), 0);
    ASSERT_TRUE(dm->HasBookmark(0));
    dm->DeletePermitted = dm->SkipValidation = dm->EditingCurrentRegistrar = true;
    dm->SkipTouchCalc = true;
    dm->RefreshEnabled = false;
    ASSERT_TRUE(QDir(PathOf("DB.TMP", "")).removeRecursively());

    dm->DMCreate();
    EXPECT_TRUE(QDir(PathOf("DB.TMP", "")).exists());
    EXPECT_EQ(dm->DatabaseT().Directory(), dm->ProgramDirectory() + "DB.TMP");
    EXPECT_FALSE(dm->HasBookmark(0));
    EXPECT_FALSE(dm->DeletePermitted);
    EXPECT_TRUE(dm->RefreshEnabled);
    EXPECT_FALSE(dm->SkipValidation);
    EXPECT_FALSE(dm->EditingCurrentRegistrar);
    EXPECT_FALSE(dm->SkipTouchCalc);
}

TEST_F(DataModuleTest, HasRowsUntilTheLastRowHasGone) {
    Open();
    AddKeys();
    View& points = dm->TablePoints();
    EXPECT_TRUE(TDM::HasRows(points));
    for (int i = 0; i < 3; ++i)
        points.Next();  // past the end
    EXPECT_TRUE(TDM::HasRows(points));
    points.Delete();
    points.Delete();
    EXPECT_TRUE(TDM::HasRows(points));
    points.Delete();
    EXPECT_FALSE(TDM::HasRows(points));
    EXPECT_TRUE(TDM::HasRows(dm->TableKDs()));
    dm->TableKDs().Close();
    EXPECT_FALSE(TDM::HasRows(dm->TableKDs()));
}

TEST_F(DataModuleTest, FindAndDeleteSeeTheWholeTableAndLeaveTheVisibleViewsAlone) {
    Open();
    AddKeys();
    View& points = dm->TablePoints();
    ASSERT_TRUE(points.Locate("Key", "P2"));
    const int pointsAt = points.RecNo();

    // The collector and the incident are outside the check-point view's filter.
    EXPECT_TRUE(dm->FindInTable(points, "Key", "K1"));
    EXPECT_TRUE(dm->FindInTable(points, "Key", "I1"));
    EXPECT_FALSE(dm->FindInTable(points, "Key", "k1"));  // exact match
    EXPECT_FALSE(dm->FindInTable(points, "Key", "P9"));
    EXPECT_THROW(dm->FindInTable(points, "NoSuchField", "P1"), Error);
    EXPECT_EQ(points.RecNo(), pointsAt);
    EXPECT_EQ(points.Text("Key"), "P2");
    EXPECT_EQ(points.RecordCount(), 3);

    View& rounds = dm->TableKDEvents();
    View& touches = dm->TableKDREvents();
    AddRounds(rounds, touches);
    ASSERT_TRUE(touches.Locate("Key", "D"));
    // The private cursor runs no handler: the visible view's guard is not asked.
    touches.beforeDelete = [](View&) { throw Abort{}; };
    dm->DeleteFromTable(touches, "DateReg", Stamp(1));
    EXPECT_FALSE(dm->FindInTable(touches, "DateReg", Stamp(1)));
    EXPECT_TRUE(dm->FindInTable(touches, "Key", "C"));
    EXPECT_EQ(touches.Text("Key"), "D");
    EXPECT_EQ(touches.RecNo(), 2);
    EXPECT_EQ(rounds.Value("DateReg").toDouble(), Stamp(2));
    ASSERT_TRUE(rounds.Locate("DateReg", Stamp(1)));
    EXPECT_EQ(touches.RecordCount(), 0);
    dm->DeleteFromTable(touches, "DateReg", Stamp(7));  // nothing to delete
    ASSERT_TRUE(rounds.Locate("DateReg", Stamp(2)));
    EXPECT_EQ(Column(touches, "Key"), QStringList({"C", "D"}));
}

TEST_F(DataModuleTest, CopyRowAppendsTheSourceRowWithoutItsCounter) {
    Open();
    View& source = dm->TableKDREvents();
    View& target = dm->TableKDRAEvents();
    source.onCalcFields = [](View& v) { v.SetValue("CPoint", "point " + v.Text("Key")); };
    AddRounds(dm->TableKDEvents(), source);
    Add(dm->TableKDAEvents(), {{"DateReg", Stamp(1)}});
    ASSERT_TRUE(dm->TableKDEvents().Locate("DateReg", Stamp(1)));
    source.First();

    target.Append();  // a pending row of the target goes in first
    target.SetValue("Date", Stamp(1, 7));
    target.SetValue("Key", "P");
    dm->CopyRow(source, target);

    EXPECT_TRUE(dm->FindInTable(target, "Key", "P"));
    EXPECT_FALSE(dm->FindInTable(target, "Key", "A"));
    EXPECT_EQ(target.State(), ViewState::Insert);
    EXPECT_EQ(target.Value("DateReg").toDouble(), Stamp(1));
    EXPECT_EQ(target.Value("Date").toDouble(), Stamp(1, 8));
    EXPECT_EQ(target.Text("Key"), "A");
    EXPECT_EQ(target.Value("Type"), QVariant(7));
    EXPECT_TRUE(target.IsNull("ID"));
    // The buffer holds every field of the source row, lookups and calculations too.
    EXPECT_EQ(dm->Buffer()[source.FieldIndex("CPoint")].toString(), "point A");
    EXPECT_EQ(dm->Buffer()[source.FieldIndex("ID")], source.Value("ID"));

    target.Post();
    EXPECT_EQ(Column(target, "Key"), QStringList({"P", "A"}));
    EXPECT_EQ(source.State(), ViewState::Browse);
    EXPECT_EQ(source.Text("Key"), "A");
}

TEST_F(DataModuleTest, BookmarkSlotsParkOnePositionEach) {
    Open();
    AddKeys();
    View& points = dm->TablePoints();

    // A slot keeps the first position parked in it until it is restored.
    ASSERT_TRUE(points.Locate("Key", "P2"));
    dm->SaveBookmark(points, 0);
    points.Last();
    dm->SaveBookmark(points, 0);
    dm->RestoreBookmark(points, 0);
    EXPECT_EQ(points.Text("Key"), "P2");
    EXPECT_FALSE(dm->HasBookmark(0));

    // An empty slot restores nothing; a dropped slot is empty.
    points.Last();
    dm->RestoreBookmark(points, 0);
    EXPECT_EQ(points.Text("Key"), "P3");
    dm->SaveBookmark(points, 1);
    points.First();
    dm->DropBookmark(points, 1);
    EXPECT_FALSE(dm->HasBookmark(1));
    dm->RestoreBookmark(points, 1);
    EXPECT_EQ(points.Text("Key"), "P1");

    // Nothing is parked for a view without rows.
    dm->SaveBookmark(dm->TablePPathes(), 2);
    EXPECT_FALSE(dm->HasBookmark(2));

    // A parked row that has gone: the slot is freed, the cursor stays.
    dm->SaveBookmark(points, 3);
    points.Delete();
    points.Last();
    dm->RestoreBookmark(points, 3);
    EXPECT_FALSE(dm->HasBookmark(3));
    EXPECT_EQ(points.Text("Key"), "P3");

    // A view that has become empty.
    dm->SaveBookmark(points, 4);
    while (points.RecordCount() > 0)
        points.Delete();
    dm->RestoreBookmark(points, 4);
    EXPECT_FALSE(dm->HasBookmark(4));
    Add(points, {{"Key", "P4"}, {"IsPrBook", false}});
    dm->SaveBookmark(points, 4);
    EXPECT_TRUE(dm->HasBookmark(4));

    // Slots are independent of each other.
    Add(points, {{"Key", "P5"}, {"Name", "Z"}, {"IsPrBook", false}});
    dm->SaveBookmark(points, 5);
    points.First();
    dm->RestoreBookmark(points, 5);
    EXPECT_EQ(points.Text("Key"), "P5");
    EXPECT_TRUE(dm->HasBookmark(4));
    dm->RestoreBookmark(points, 4);
    EXPECT_EQ(points.Text("Key"), "P4");
}

TEST_F(DataModuleTest, AReportCopyOfTheTouchViewFollowsItsSource) {
    Open();
    View& rounds = dm->TableKDEvents();
    View& touches = dm->TableKDREvents();
    AddRounds(rounds, touches);
    touches.Last();
    touches.onCalcFields = [](View& v) { v.SetValue("CPoint", "point " + v.Text("Key")); };

    dm->CloneView(dm->MTable(), &touches);
    View& m = dm->MTable();
    ASSERT_EQ(m.Fields().size(), touches.Fields().size());
    for (size_t i = 0; i < m.Fields().size(); ++i) {
        EXPECT_EQ(m.Fields()[i].componentName, QString("Field%1").arg(i));
        EXPECT_EQ(m.Fields()[i].name, touches.Fields()[i].name);
        EXPECT_EQ(m.Fields()[i].kind, touches.Fields()[i].kind);
    }
    for (const char* f : {"CDate", "CTime", "Date", "DateReg"})
        EXPECT_EQ(m.FindField(f)->type, FieldType::DateTime) << f;
    EXPECT_EQ(m.FindField("CDate")->displayFormat, "dd.mm.yyyy");
    EXPECT_EQ(m.FindField("CTime")->displayFormat, "hh:mm");
    EXPECT_EQ(m.FindField("Date")->displayFormat, "dd.mm.yyyy hh:mm");
    EXPECT_EQ(m.FindField("ID")->type, FieldType::Integer);
    EXPECT_EQ(m.FindField("CPoint")->size, 50);

    // Open on the source's row, with the source's calculation, over the whole
    // table: the report copy has no master of its own.
    EXPECT_TRUE(m.IsOpen());
    EXPECT_EQ(m.DatabaseAlias(), "DataE");
    EXPECT_EQ(m.Text("Key"), "D");
    EXPECT_EQ(m.Text("CPoint"), "point D");
    EXPECT_EQ(Column(m, "Key"), QStringList({"A", "B", "C", "D"}));
    EXPECT_EQ(m.MasterFields(), QStringList({"DateReg"}));

    // The round copy takes effect as a detail once the master source is bound.
    dm->CloneView(dm->DTable(), &rounds);
    View& d = dm->DTable();
    EXPECT_EQ(d.RecordCount(), 2);
    dm->BindMDataSource(&m);
    EXPECT_EQ(dm->MDataSource().view, &m);
    EXPECT_EQ(d.RecordCount(), 1);
    EXPECT_EQ(d.Value("DateReg").toDouble(), Stamp(2));
    m.First();
    EXPECT_EQ(d.RecordCount(), 1);
    EXPECT_EQ(d.Value("DateReg").toDouble(), Stamp(1));
    dm->BindMDataSource(nullptr);
    EXPECT_EQ(d.RecordCount(), 2);

    // Without a source only the master fields go.
    dm->CloneView(dm->D2Table(), &dm->TableKDLEvents());
    EXPECT_EQ(dm->D2Table().MasterFields(), QStringList({"DateReg"}));
    dm->CloneView(dm->D2Table(), nullptr);
    EXPECT_TRUE(dm->D2Table().MasterFields().isEmpty());
    EXPECT_EQ(dm->D2Table().Def().file, "KDLEvs.DB");
}

TEST_F(DataModuleTest, AReportCopyShowsTheRowsOfItsSourceInItsOrder) {
    Open();
    AddKeys();
    Add(dm->TableUsers(), {{"Key", "U2"}, {"Name", "b"}, {"IsRegister", false}});
    Add(dm->TableUsers(), {{"Key", "U1"}, {"Name", "A"}, {"IsRegister", false}});
    Add(dm->TableUsers(), {{"Key", "U3"}, {"Name", "c"}, {"IsRegister", true}});
    dm->TableGuards().Refresh();
    Add(dm->TablePathes(), {{"Name", "night"}});
    Add(dm->TablePPathes(), {{"Key", "P3"}});
    Add(dm->TablePPathes(), {{"Key", "P1"}});
    for (View* source : {&dm->TablePoints(), &dm->TableGuards(), &dm->TablePPathes()}) {
        SCOPED_TRACE(source->Name().toStdString());
        source->First();
        dm->CloneView(dm->MTable(), source);
        EXPECT_EQ(Column(dm->MTable(), "Key"), Column(*source, "Key"));
        EXPECT_GE(dm->MTable().RecordCount(), 2);
    }
    EXPECT_EQ(Column(dm->MTable(), "LPoint"), QStringList({"C", "A"}));
}

TEST_F(DataModuleTest, DiscardInsertPermitsTheDeleteHandlersOnlyWhileItRuns) {
    Open();
    View& rounds = dm->TableKDEvents();
    enum Throw { None, Before, After };
    for (Throw t : {None, Before, After}) {
        SCOPED_TRACE(t);
        std::vector<std::pair<bool, ViewState>> seen;
        rounds.beforeDelete = [&](View& v) {
            seen.emplace_back(dm->DeletePermitted, v.State());
            if (t == Before) throw Abort{};
        };
        rounds.afterDelete = [&](View& v) {
            seen.emplace_back(dm->DeletePermitted, v.State());
            if (t == After) throw Error("after delete failed");
        };
        rounds.Append();
        rounds.SetValue("DateReg", Stamp(5));
        if (t == Before)
            EXPECT_THROW(dm->DiscardInsert(rounds), Abort);
        else if (t == After)
            EXPECT_THROW(dm->DiscardInsert(rounds), Error);
        else
            dm->DiscardInsert(rounds);
        EXPECT_FALSE(dm->DeletePermitted);
        ASSERT_FALSE(seen.empty());
        EXPECT_EQ(seen[0], std::make_pair(true, ViewState::Insert));
        if (t == Before) {
            EXPECT_EQ(seen.size(), 1u);
            EXPECT_EQ(rounds.State(), ViewState::Insert);
            rounds.Cancel();
        } else {
            ASSERT_EQ(seen.size(), 2u);
            EXPECT_EQ(seen[1], std::make_pair(true, ViewState::Browse));
        }
        EXPECT_FALSE(dm->FindInTable(rounds, "DateReg", Stamp(5)));
    }
}

TEST_F(DataModuleTest, PostAllPostsEveryEditingViewOrStopsAtTheFirstFailure) {
    Open();
    Add(dm->TableUsers(), {{"Key", "U1"}, {"Name", "old"}});
    auto pending = [&] {
        TDM::EnsureEdit(dm->TableUsers());
        dm->TableUsers().SetValue("Name", "new");
        dm->TablePoints().Append();
        dm->TablePoints().SetValue("Key", "P1");
        dm->TableKDEvents().Append();
        dm->TableKDEvents().SetValue("DateReg", Stamp(1));
    };
    pending();
    EXPECT_TRUE(dm->PostAll());
    for (View* v : {&dm->TableUsers(), &dm->TablePoints(), &dm->TableKDEvents()})
        EXPECT_FALSE(TDM::IsEditing(*v)) << v->Name().toStdString();
    EXPECT_TRUE(dm->FindInTable(dm->TableUsers(), "Name", "new"));
    EXPECT_TRUE(dm->FindInTable(dm->TablePoints(), "Key", "P1"));
    dm->DeleteFromTable(dm->TablePoints(), "Key", "P1");
    dm->DeleteFromTable(dm->TableKDEvents(), "DateReg", Stamp(1));
    dm->TablePoints().Refresh();
    dm->TableKDEvents().Refresh();

    struct Case {
        const char* what;
        std::function<void()> arrange;
    } cases[] = {
        {"a rule refuses", [&] { dm->TableUsers().beforePost = [](View&) { throw Abort{}; }; }},
        {"duplicate key",
         [&] {
             dm->TableUsers().Cancel();
             dm->TableUsers().Append();
             dm->TableUsers().SetValue("Key", "U1");
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        pending();
        c.arrange();
        EXPECT_FALSE(dm->PostAll());
        EXPECT_TRUE(TDM::IsEditing(dm->TableUsers()));
        EXPECT_TRUE(TDM::IsEditing(dm->TablePoints()));
        EXPECT_TRUE(TDM::IsEditing(dm->TableKDEvents()));
        EXPECT_FALSE(dm->FindInTable(dm->TablePoints(), "Key", "P1"));
        for (View* v : {&dm->TableUsers(), &dm->TablePoints(), &dm->TableKDEvents()})
            v->Cancel();
        dm->TableUsers().beforePost = nullptr;
    }
}

TEST_F(DataModuleTest, ReapplyFilterAsksTheFilterCallbackAgain) {
    Open();
    View& rounds = dm->TableKDEvents();
    for (int day : {1, 2, 3})
        Add(rounds, {{"DateReg", Stamp(day)}});
    double from = Stamp(2);
    rounds.onFilterRecord = [&](View& v) { return v.Value("DateReg").toDouble() >= from; };
    ASSERT_FALSE(rounds.Filtered());
    TDM::ReapplyFilter(rounds);
    EXPECT_TRUE(rounds.Filtered());
    EXPECT_EQ(rounds.RecordCount(), 2);
    from = Stamp(3);
    TDM::ReapplyFilter(rounds);
    EXPECT_EQ(rounds.RecordCount(), 1);
    EXPECT_FALSE(rounds.ControlsDisabled());
}

namespace {

// A list control: its selection and its list view.
struct ListStub : LookupList {
    QVariant key;
    View* view = nullptr;
    QVariant KeyValue() const override { return key; }
    void SetKeyValue(const QVariant& k) override { key = k; }
    void ClearKeyValue() override { key = QVariant(); }
    View* ListView() const override { return view; }
};

}  // namespace

TEST_F(DataModuleTest, RefreshLookupSelectsTheKeptKeyOnlyIfTheListStillHoldsIt) {
    Open();
    Add(dm->TableUsers(), {{"Key", "R1"}, {"Name", "a"}, {"IsRegister", true}});
    Add(dm->TableUsers(), {{"Key", "R2"}, {"Name", "b"}, {"IsRegister", true}});
    Add(dm->TableUsers(), {{"Key", "G1"}, {"Name", "c"}, {"IsRegister", false}});
    View& registers = dm->TableRegisters();
    registers.Refresh();
    registers.First();
    struct Case {
        QVariant kept;
        bool open;
        QVariant selected;
    } cases[] = {
        {"R2", true, "R2"}, {"G1", true, {}},  // a guard is not in the registrar list
        {"XX", true, {}},   {{}, true, {}},   {"R2", false, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.kept.toString().toStdString());
        if (!c.open) registers.Close();
        ListStub list;
        list.view = &registers;
        list.key = c.kept;
        TDM::RefreshLookup(list);
        EXPECT_EQ(list.key, c.selected);
        if (c.open) {
            EXPECT_EQ(registers.Text("Key"), "R1");
        }
    }
}
