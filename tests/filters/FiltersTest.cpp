#include <functional>

#include "FilterFixture.h"

using namespace kordex;
using namespace kordex::filters;
using namespace kordex::filters::testing;

namespace {

constexpr double Ms = 1.0 / link::DateTime::MsPerDay;

double TimeOf(int hour, int minute = 0, int second = 0) {
    return (hour * 3600 + minute * 60 + second) / 86400.0;
}

// 10 to 12 March, the whole day, continuous.
IntervalSettings March10To12() {
    IntervalSettings s;
    s.dateFrom = At(10);
    s.dateTo = At(12);
    return s;
}

IntervalSettings PerDay(double from, double to, int dayFrom = 10, int dayTo = 12) {
    IntervalSettings s;
    s.dateFrom = At(dayFrom);
    s.dateTo = At(dayTo);
    s.timeFrom = from;
    s.timeTo = to;
    s.kind = IntervalKind::PerDay;
    return s;
}

}  // namespace

TEST(IntervalTest, EdgesOfTheBoundsAndTheWindows) {
    IntervalSettings fromEight = March10To12();
    fromEight.timeFrom = TimeOf(8);
    IntervalSettings single = March10To12();
    single.dateFrom = single.dateTo = At(11);
    single.timeFrom = single.timeTo = TimeOf(12);
    IntervalSettings ignored = March10To12();
    ignored.noInterval = true;
    ignored.dateFrom = At(20);  // reversed, and still nothing is refused
    const IntervalSettings night = PerDay(TimeOf(22), TimeOf(6));
    const IntervalSettings allDay = PerDay(TimeOf(8), TimeOf(8));
    const IntervalSettings office = PerDay(TimeOf(8), TimeOf(18));

    struct Case {
        const char* name;
        IntervalSettings s;
        double v;
        bool passes;
    } cases[] = {
        {"date to at 23:59:59", March10To12(), At(12, 23, 59, 59), true},
        {"date to at 23:59:59.5", March10To12(), At(12, 23, 59, 59, 500), false},
        {"date from at 00:00", March10To12(), At(10), true},
        {"the day before date from", March10To12(), At(9, 23, 59, 59), false},
        {"0.5 ms before the lower bound", fromEight, At(10, 8) - 0.5 * Ms, true},
        {"2 ms before the lower bound", fromEight, At(10, 8) - 2 * Ms, false},
        {"0.5 ms after the upper bound", March10To12(), At(12, 23, 59, 59) + 0.5 * Ms, true},
        {"from equal to to, at it", single, At(11, 12), true},
        {"from equal to to, 1 s later", single, At(11, 12, 0, 1), false},
        {"per day 22-06 at 23:30", night, At(10, 23, 30), true},
        {"per day 22-06 at 05:00 of date from", night, At(10, 5), true},
        {"per day 22-06 at 05:00 of date to", night, At(12, 5), true},
        {"per day 22-06 at 12:00", night, At(11, 12), false},
        {"per day 22-06 at 22:00", night, At(11, 22), true},
        {"per day 22-06 at 06:00", night, At(11, 6), true},
        {"per day 22-06 at 02:00 the day after date to", night, At(13, 2), false},
        {"per day 22-06 at 23:30 the day before date from", night, At(9, 23, 30), false},
        {"per day 08-08 at 03:00", allDay, At(11, 3), true},
        {"per day 08-08 at 12:00", allDay, At(11, 12), true},
        {"per day 08-08 the day after date to", allDay, At(13, 12), false},
        {"per day 08-18 at 07:59", office, At(11, 7, 59), false},
        {"per day 08-18 at 18:00", office, At(11, 18), true},
        {"per day 08-18 at 18:00:01", office, At(11, 18, 0, 1), false},
        {"per day 08-18 at 19:00 of date to", office, At(12, 19), false},
        {"ignore interval", ignored, At(1), true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(IntervalPasses(c.s, c.v), c.passes) << c.name;
}

TEST(IntervalTest, OkRefusesOnlyALowerBoundAfterTheUpper) {
    IntervalSettings reversed = March10To12();
    reversed.dateFrom = At(13);
    IntervalSettings reversedIgnored = reversed;
    reversedIgnored.noInterval = true;
    IntervalSettings equal = March10To12();
    equal.dateTo = At(10);
    equal.timeTo = 0;
    struct Case {
        const char* name;
        IntervalSettings s;
        bool accepted;
    } cases[] = {
        {"10 to 12", March10To12(), true},
        {"equal bounds", equal, true},
        {"date from after date to", reversed, false},
        {"ignored", reversedIgnored, true},
        {"per day 22-06 on one day", PerDay(TimeOf(22), TimeOf(6), 11, 11), false},
        {"per day 22-06 over two days", PerDay(TimeOf(22), TimeOf(6), 11, 12), true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(IntervalAccepted(c.s), c.accepted) << c.name;
}

TEST(SettingsTest, DefaultsAndTheEventKind) {
    shell::FakeClock clock(1000, QDateTime(QDate(2026, 3, 15), QTime(14, 30, 5)));
    const double today = link::DateTime::FromDate(QDate(2026, 3, 15)).Days();
    TouchFilterSettings s = TouchFilterSettings::Defaults(clock);
    EXPECT_FALSE(s.interval.noInterval);
    EXPECT_EQ(s.interval.dateFrom, today);
    EXPECT_EQ(s.interval.dateTo, today);
    EXPECT_EQ(s.interval.timeFrom, 0.0);
    EXPECT_EQ(link::DateTime(s.interval.timeTo).TimeText(), "23:59:59");
    EXPECT_EQ(s.interval.kind, IntervalKind::Continuous);
    EXPECT_EQ(IntervalKindCaption(s.interval), "непрерывный");
    EXPECT_FALSE(s.collector || s.registrar || s.guard || s.path || s.event);
    EXPECT_EQ(s.eventKind, EventKind::Point);
    EXPECT_FALSE(s.complex);
    EXPECT_FALSE(s.ComplexEnabled());
    EXPECT_TRUE(s.complexIds.IsEmpty());
    EXPECT_EQ(ProgramEventFilterSettings::Defaults(clock).interval.dateFrom, today);
    EXPECT_EQ(RoundFilterSettings::Defaults(clock).interval.dateTo, today);

    // A kind clears the event; the complex box keeps its tick and counts
    // only for users with a user chosen.
    s.event = KeyOf(1);
    s.complex = true;
    s.ChooseEventKind(EventKind::User);
    EXPECT_FALSE(s.event);
    EXPECT_TRUE(s.complex);
    EXPECT_TRUE(s.ComplexEnabled());
    EXPECT_FALSE(s.ComplexInForce());
    s.event = KeyOf(1);
    EXPECT_TRUE(s.ComplexInForce());
    s.ChooseEventKind(EventKind::Incident);
    EXPECT_TRUE(s.complex);
    EXPECT_FALSE(s.ComplexEnabled());
}

namespace {

class PageFilterTest : public FilterTest {
protected:
    // Four rounds, tagged in Memo.
    void AddRounds(store::View& rounds) {
        Put(rounds, {{"DateReg", At(10, 9)},
                     {"IDKD", KeyOf(201)},
                     {"KeyReg", KeyOf(101)},
                     {"KeyGuard", KeyOf(111)},
                     {"PathID", 1},
                     {"Memo", "R1"}});
        Put(rounds, {{"DateReg", At(10, 21)},
                     {"IDKD", KeyOf(202)},
                     {"KeyReg", KeyOf(101)},
                     {"KeyGuard", KeyOf(112)},
                     {"Memo", "R2"}});
        Put(rounds, {{"DateReg", At(11, 9)},
                     {"IDKD", KeyOf(201)},
                     {"KeyReg", KeyOf(102)},
                     {"KeyGuard", KeyOf(111)},
                     {"PathID", 2},
                     {"Memo", "R3"}});
        Put(rounds, {{"DateReg", At(13, 9)},
                     {"IDKD", KeyOf(201)},
                     {"KeyReg", KeyOf(101)},
                     {"KeyGuard", KeyOf(111)},
                     {"PathID", 1},
                     {"Memo", "R4"}});
    }
};

}  // namespace

TEST_F(PageFilterTest, ProgramEventsByRegistrarAndDate) {
    store::View& journal = dm->TablePrEvents();
    Put(journal, {{"Date", At(10, 9)}, {"Key", KeyOf(101)}, {"Name", "a"}});
    Put(journal, {{"Date", At(10, 10)}, {"Key", KeyOf(102)}, {"Name", "b"}});
    Put(journal, {{"Date", At(11, 10)}, {"Name", "c"}});
    Put(journal, {{"Date", At(14, 10)}, {"Key", KeyOf(101)}, {"Name", "d"}});
    RereadAll();
    ProgramEventFilter& page = filters->PrEvents();
    page.Settings().interval = March10To12();
    ASSERT_TRUE(page.Set());
    EXPECT_TRUE(page.Active());
    EXPECT_TRUE(journal.Filtered());
    EXPECT_EQ(Column(journal, "Name"), QStringList({"a", "b", "c"}));
    page.Settings().registrar = KeyOf(101);
    ASSERT_TRUE(page.Set());
    EXPECT_EQ(Column(journal, "Name"), QStringList({"a"}));
    ASSERT_TRUE(page.Remove());
    EXPECT_FALSE(page.Active());
    EXPECT_FALSE(journal.Filtered());
    EXPECT_EQ(journal.RecordCount(), 4);
    EXPECT_EQ(page.Settings().registrar, KeyOf(101));  // kept for the next Set
}

TEST_F(PageFilterTest, RoundsByEveryChoiceInBothDatabases) {
    AddRounds(dm->TableKDEvents());
    AddRounds(dm->TableKDAEvents());
    RereadAll();
    using Change = std::function<void(RoundFilterSettings&)>;
    struct Case {
        const char* name;
        Change change;
        QStringList shown;
    } cases[] = {
        {"nothing chosen", [](RoundFilterSettings&) {}, {"R1", "R2", "R3"}},
        {"collector", [](RoundFilterSettings& s) { s.collector = KeyOf(201); }, {"R1", "R3"}},
        {"registrar and guard",
         [](RoundFilterSettings& s) {
             s.registrar = KeyOf(101);
             s.guard = KeyOf(112);
         },
         {"R2"}},
        {"path 1 (a round without a path never matches)",
         [](RoundFilterSettings& s) { s.path = 1; },
         {"R1"}},
        {"path 1 without interval",
         [](RoundFilterSettings& s) {
             s.path = 1;
             s.interval.noInterval = true;
         },
         {"R1", "R4"}},
        {"per day 20:00-23:00",
         [](RoundFilterSettings& s) { s.interval = PerDay(TimeOf(20), TimeOf(23)); },
         {"R2"}},
        {"a collector of no round", [](RoundFilterSettings& s) { s.collector = KeyOf(299); }, {}},
    };
    for (RoundFilter* page : {&filters->KDEvents(), &filters->KDAEvents()}) {
        for (const Case& c : cases) {
            RoundFilterSettings& s = page->Settings();
            s = RoundFilterSettings{};
            s.interval = March10To12();
            c.change(s);
            ASSERT_TRUE(page->Set());
            EXPECT_EQ(Column(page->Table(), "Memo"), c.shown) << c.name;
            EXPECT_TRUE(page->Active());
        }
    }
    // Each page has settings of its own.
    filters->KDEvents().Settings().guard = KeyOf(111);
    EXPECT_FALSE(filters->KDAEvents().Settings().guard.has_value());
}

namespace {

class TouchPageTest : public PageFilterTest {
protected:
    void SetUp() override {
        PageFilterTest::SetUp();
        AddRounds(dm->TableKDEvents());
        store::View& t = dm->TableKDREvents();
        // Round R1: a point and a user; R2: a point, and a touch on the 13th;
        // one touch whose round is gone.
        t1 = Put(t, {{"DateReg", At(10, 9)}, {"Date", At(10, 9, 5)}, {"Key", KeyOf(301)}});
        t2 = Put(t, {{"DateReg", At(10, 9)}, {"Date", At(10, 9, 10)}, {"Key", KeyOf(111)}});
        t3 = Put(t, {{"DateReg", At(10, 21)}, {"Date", At(10, 21, 5)}, {"Key", KeyOf(301)}});
        t4 = Put(t, {{"DateReg", At(10, 15)}, {"Date", At(10, 15, 5)}, {"Key", KeyOf(301)}});
        t5 = Put(t, {{"DateReg", At(10, 21)}, {"Date", At(13, 1)}, {"Key", KeyOf(302)}});
        DateMode(t);
        RereadAll();
    }

    QStringList Shown() { return Column(dm->TableKDREvents(), "ID"); }
    static QStringList Ids(std::initializer_list<qint32> ids) {
        QStringList out;
        for (qint32 id : ids)
            out << QString::number(id);
        return out;
    }

    qint32 t1 = 0, t2 = 0, t3 = 0, t4 = 0, t5 = 0;
};

}  // namespace

TEST_F(TouchPageTest, EventRoundAndIntervalSteps) {
    using Change = std::function<void(TouchFilterSettings&)>;
    struct Case {
        const char* name;
        Change change;
        QStringList shown;
    } cases[] = {
        {"nothing chosen: the touch without a round passes", [](TouchFilterSettings&) {},
         Ids({t1, t2, t4, t3})},
        {"collector: the touch without a round fails",
         [](TouchFilterSettings& s) { s.collector = KeyOf(201); }, Ids({t1, t2})},
        {"path", [](TouchFilterSettings& s) { s.path = 1; }, Ids({t1, t2})},
        {"the interval is the touch's own date, not the round's",
         [](TouchFilterSettings& s) {
             s.guard = KeyOf(112);
             s.interval.dateFrom = s.interval.dateTo = At(13);
         },
         Ids({t5})},
        {"a check point", [](TouchFilterSettings& s) { s.event = KeyOf(301); }, Ids({t1, t4, t3})},
        {"a check point of one collector",
         [](TouchFilterSettings& s) {
             s.event = KeyOf(301);
             s.collector = KeyOf(202);
         },
         Ids({t3})},
        {"a user with the complex box unticked: his own touches",
         [](TouchFilterSettings& s) {
             s.ChooseEventKind(EventKind::User);
             s.event = KeyOf(111);
         },
         Ids({t2})},
        {"complex ticked but not a user's kind: the key decides",
         [](TouchFilterSettings& s) {
             s.complex = true;
             s.event = KeyOf(301);
         },
         Ids({t1, t4, t3})},
        {"complex ticked without a user: no build, every event passes",
         [](TouchFilterSettings& s) {
             s.ChooseEventKind(EventKind::User);
             s.complex = true;
         },
         Ids({t1, t2, t4, t3})},
    };
    TouchFilter& page = filters->KDDEvents();
    for (const Case& c : cases) {
        TouchFilterSettings& s = page.Settings();
        s = TouchFilterSettings{};
        s.interval = March10To12();
        c.change(s);
        status = shell::ScriptedStatusWindow{};
        ASSERT_TRUE(page.Set()) << c.name;
        EXPECT_EQ(Shown(), c.shown) << c.name;
        EXPECT_EQ(status.Shows(), 0) << c.name;
    }
}

TEST_F(TouchPageTest, RoundStepAnswersTheSameInAnyRowOrder) {
    TouchFilterSettings s;
    s.interval.noInterval = true;
    s.collector = KeyOf(201);
    RoundCursor cursor(dm->TableKDFEvents());
    TouchTest test(s, cursor);
    store::View& t = dm->TableKDREvents();
    QStringList forward, backward;
    for (int p = 1; p <= t.RecordCount(); ++p) {
        t.SetRecNo(p);
        if (test(t)) forward << t.Text("ID");
    }
    for (int p = t.RecordCount(); p >= 1; --p) {
        t.SetRecNo(p);
        if (test(t)) backward.prepend(t.Text("ID"));
    }
    EXPECT_EQ(forward, Ids({t1, t2}));
    EXPECT_EQ(backward, forward);
    // The cursor stands on the round it found last, and the touch test moved
    // nothing else.
    EXPECT_EQ(dm->TableKDFEvents().Text("Memo"), "R1");
}

TEST_F(TouchPageTest, AChangedRoundIsLookedUpAgain) {
    TouchFilter& page = filters->KDDEvents();
    page.Settings().interval.noInterval = true;
    page.Settings().collector = KeyOf(202);
    ASSERT_TRUE(page.Set());
    EXPECT_EQ(Shown(), Ids({t3, t5}));
    // R2's collector changes; the touches are read again without a new Set.
    store::View& rounds = dm->TableKDEvents();
    ASSERT_TRUE(rounds.Locate("Memo", "R2"));
    rounds.Edit();
    rounds.SetValue("IDKD", KeyOf(201));
    rounds.Post();
    dm->TableKDREvents().Refresh();
    EXPECT_EQ(Shown(), QStringList());
    page.Settings().collector = KeyOf(201);
    dm->TableKDREvents().Refresh();
    EXPECT_EQ(Shown(), Ids({t1, t2, t3, t5}));
}

TEST_F(TouchPageTest, RemoveKeepsSettingsAndSetComesBack) {
    TouchFilter& page = filters->KDDEvents();
    page.Settings().interval = March10To12();
    page.Settings().event = KeyOf(301);
    ASSERT_TRUE(page.Set());
    ASSERT_TRUE(page.Remove());
    EXPECT_FALSE(page.Active());
    EXPECT_EQ(Shown(), Ids({t1, t2, t4, t3, t5}));
    ASSERT_TRUE(page.Set());
    EXPECT_EQ(Shown(), Ids({t1, t4, t3}));
    EXPECT_FALSE(filters->KDDAEvents().Active());
}

// --- Chosen keys after the reference data changed ---------------------------------

namespace {

class SelectionTest : public FilterTest {
protected:
    void SetUp() override {
        FilterTest::SetUp();
        Seed();
    }

    // A registrar, a guard, a point, an incident, a collector and a path,
    // chosen on every page that has such a choice.
    void Seed() {
        Put(dm->TableUsers(), {{"Key", registrar}, {"Name", "Регистратор"}, {"IsRegister", true}});
        Put(dm->TableUsers(), {{"Key", guard}, {"Name", "Охранник"}, {"IsRegister", false}});
        Put(dm->TablePoints(), {{"Key", point}, {"Name", "Точка"}, {"IsPrBook", false}});
        Put(dm->TablePoints(), {{"Key", incident}, {"Name", "Пожар"}, {"IsPrBook", true}});
        Put(dm->TablePoints(),
            {{"Key", collector}, {"Name", "Kordex"}, {"IsPrBook", false}, {"IsKD", true}});
        path = Put(dm->TablePathes(), {{"Name", "Маршрут"}});
        RereadAll();
        filters->PrEvents().Settings().registrar = registrar;
        for (RoundFilterSettings* s : Rounds()) {
            s->registrar = registrar;
            s->guard = guard;
            s->collector = collector;
            s->path = path;
        }
        TouchFilterSettings& working = filters->KDDEvents().Settings();
        working.ChooseEventKind(EventKind::User);
        working.event = guard;
        TouchFilterSettings& archive = filters->KDDAEvents().Settings();
        archive.event = point;
    }

    std::vector<RoundFilterSettings*> Rounds() {
        return {&filters->KDEvents().Settings(), &filters->KDDEvents().Settings(),
                &filters->KDAEvents().Settings(), &filters->KDDAEvents().Settings()};
    }

    // What is still chosen, page by page.
    QStringList Chosen() {
        QStringList out;
        out << (filters->PrEvents().Settings().registrar ? "reg" : "-");
        for (RoundFilterSettings* s : Rounds())
            out << QStringLiteral("%1 %2 %3 %4")
                       .arg(s->registrar ? "reg" : "-", s->guard ? "guard" : "-",
                            s->collector ? "kd" : "-", s->path ? "path" : "-");
        out << (filters->KDDEvents().Settings().event ? "user" : "-")
            << (filters->KDDAEvents().Settings().event ? "point" : "-");
        return out;
    }

    void Delete(store::View& v, const QString& field, const QVariant& key) {
        ASSERT_TRUE(v.Locate(field, key)) << field.toStdString();
        store::ScopedFlag permit(dm->DeletePermitted, true);
        v.Delete();
    }

    const QString registrar = KeyOf(101), guard = KeyOf(111), point = KeyOf(301),
                  incident = KeyOf(302), collector = KeyOf(201);
    qint32 path = 0;
};

}  // namespace

TEST_F(SelectionTest, ADeletedKeyIsNoLongerChosenAnywhere) {
    const QString all = "reg guard kd path";
    struct Case {
        const char* name;
        std::function<void()> change;
        QStringList chosen;
    } cases[] = {
        {"guard deleted",
         [&] { Delete(dm->TableUsers(), "Key", guard); },
         {"reg", "reg - kd path", "reg - kd path", "reg - kd path", "reg - kd path", "-", "point"}},
        {"point deleted",
         [&] { Delete(dm->TablePoints(), "Key", point); },
         {"reg", all, all, all, all, "user", "-"}},
        {"collector deleted",
         [&] { Delete(dm->TableKDs(), "Key", collector); },
         {"reg", "reg guard - path", "reg guard - path", "reg guard - path", "reg guard - path",
          "user", "point"}},
        {"path deleted",
         [&] { Delete(dm->TablePathes(), "ID", path); },
         {"reg", "reg guard kd -", "reg guard kd -", "reg guard kd -", "reg guard kd -", "user",
          "point"}},
        {"registrar made a guard",
         [&] {
             store::View& users = dm->TableUsers();
             ASSERT_TRUE(users.Locate("Key", registrar));
             users.Edit();
             users.SetValue("IsRegister", false);
             users.Post();
         },
         {"-", "- guard kd path", "- guard kd path", "- guard kd path", "- guard kd path", "user",
          "point"}},
        {"an incident deleted changes nothing chosen",
         [&] { Delete(dm->TablePrBook(), "Key", incident); },
         {"reg", all, all, all, all, "user", "point"}},
    };
    for (const Case& c : cases) {
        for (store::View* v : {&dm->TableUsers(), &dm->TablePoints(), &dm->TablePathes()})
            v->PhysicalTable()->Empty();
        Seed();
        ASSERT_EQ(Chosen(), QStringList({"reg", all, all, all, all, "user", "point"}));
        c.change();
        EXPECT_EQ(Chosen(), c.chosen) << c.name;
    }
}

TEST_F(SelectionTest, TheNextFilterAfterADeletedGuardNoLongerNarrows) {
    store::View& rounds = dm->TableKDEvents();
    Put(rounds, {{"DateReg", At(10, 9)}, {"KeyGuard", guard}, {"Memo", "his"}});
    Put(rounds, {{"DateReg", At(10, 10)}, {"KeyGuard", KeyOf(112)}, {"Memo", "other"}});
    RereadAll();
    RoundFilter& page = filters->KDEvents();
    page.Settings() = RoundFilterSettings{};
    page.Settings().interval.noInterval = true;
    page.Settings().guard = guard;
    ASSERT_TRUE(page.Set());
    EXPECT_EQ(Column(rounds, "Memo"), QStringList({"his"}));
    Delete(dm->TableUsers(), "Key", guard);
    ASSERT_TRUE(page.Set());
    EXPECT_EQ(Column(rounds, "Memo"), QStringList({"his", "other"}));
}

TEST_F(SelectionTest, RefreshLookupChecksOnlyTheListsOfTheChangedData) {
    store::View& kds = dm->TableKDs();
    ASSERT_TRUE(kds.Locate("Key", collector));
    kds.PhysicalTable()->Remove(kds.CurrentRowId());
    kds.Refresh();
    filters->RefreshLookup(Reference::Users);
    EXPECT_TRUE(filters->KDEvents().Settings().collector.has_value());
    filters->RefreshLookup(Reference::Collectors);
    for (RoundFilterSettings* s : Rounds())
        EXPECT_FALSE(s->collector.has_value());
    EXPECT_EQ(filters->KDDEvents().Settings().guard, guard);
}
