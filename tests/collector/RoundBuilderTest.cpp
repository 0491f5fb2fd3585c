#include <gtest/gtest.h>

#include <QStringList>
#include <vector>

#include "../store/ModuleFixture.h"
#include "collector/RoundBuilder.h"
#include "link/KeyId.h"
#include "store/Rules.h"

using namespace kordex;
using namespace kordex::store;
using namespace kordex::store::testing;

namespace {

constexpr int Empty = -1;  // an empty Type or total

// A genuine key ID (family 01, CRC right) from a serial number.
QString KeyOf(uint32_t serial) {
    return link::TouchKeyText(serial);
}

// The keys of the tests by short name: check points P1..P9, an incident I, a
// registrar R, a guard G, and U that names nothing.
QString K(const QString& name) {
    if (name.startsWith('P')) return KeyOf(name.mid(1).toUInt());
    static const QString others = QStringLiteral("IRGU");
    return KeyOf(100 + others.indexOf(name));
}

QStringList Keys(const QStringList& names) {
    QStringList out;
    for (const QString& n : names)
        out << K(n);
    return out;
}

int IntOr(const QVariant& v) {
    return v.isValid() && !v.isNull() ? v.toInt() : Empty;
}

struct Touch {
    const char* key;
    int minute;    // after the first moment of the round
    int expected;  // Type after building; Empty: not judged
};

class RoundBuilderTest : public ModuleTest {
protected:
    void SetUp() override {
        ModuleTest::SetUp();
        Open();
        rules = std::make_unique<Rules>(*dm);
        for (int i = 1; i <= 9; ++i)
            Add(dm->TablePoints(), {{"Key", K(QStringLiteral("P%1").arg(i))}, {"Name", "Точка"}});
        Add(dm->TablePrBook(), {{"Key", K("I")}, {"Name", "Пожар"}});
        Add(dm->TableUsers(), {{"Key", K("R")}, {"Name", "Регистратор"}, {"IsRegister", true}});
        Add(dm->TableUsers(), {{"Key", K("G")}, {"Name", "Охранник"}, {"IsRegister", false}});
    }

    // A path with its points in path order; its ID.
    int AddPath(const QStringList& points) {
        Add(dm->TablePathes(), {{"Name", "Маршрут"}});
        const int id = dm->TablePathes().Value("ID").toInt();
        for (const QString& p : points)
            Add(dm->TablePPathes(), {{"PathID", id}, {"Key", K(p)}});
        return id;
    }

    // The pending round, as a read leaves it: unposted, with posted touches.
    void StartRound(const QVariant& pathId, int mode, const std::vector<Touch>& touches) {
        View& round = dm->TableKDEvents();
        round.Append();
        round.SetValue("DateReg", Stamp(10, 8));
        round.SetValue("PathID", pathId);
        round.SetValue("Mode", mode);
        for (const Touch& t : touches)
            Add(dm->TableKDREvents(),
                {{"Date", Stamp(10, 9) + t.minute / 1440.0}, {"Key", K(t.key)}});
    }

    QStringList MissedKeys() { return Column(dm->TableKDLEvents(), "Key"); }

    std::vector<int> Types() {
        std::vector<int> out;
        View& v = dm->TableKDREvents();
        for (int i = 0; i < v.RecordCount(); ++i)
            out.push_back(IntOr(v.RowAt(i).at(v.FieldIndex("Type"))));
        return out;
    }

    std::unique_ptr<Rules> rules;
};

struct Case {
    const char* name;
    bool withPath;  // without path the round still carries a Mode, which must not matter
    int mode;
    QStringList path;
    std::vector<Touch> touches;
    int n, fromN, unnecessaryN, incidents;
    int durationMinutes;
    QStringList missed;
};

const Case Cases[] = {
    {"without path every check-point touch counts",
     false,
     2,
     {},
     {{"P1", 0, Empty},
      {"P1", 3, Empty},
      {"P2", 5, Empty},
      {"I", 7, Empty},
      {"P9", 8, Empty},
      {"R", 9, Empty}},
     4,
     Empty,
     Empty,
     1,
     9,
     {}},
    {"in order",
     true,
     2,
     {"P1", "P2", "P3"},
     {{"P1", 0, 0}, {"P2", 10, 0}, {"P3", 20, 0}},
     3,
     3,
     0,
     0,
     20,
     {}},
    {"the last two swapped",
     true,
     2,
     {"P1", "P2", "P3"},
     {{"P1", 0, 0}, {"P3", 10, 0}, {"P2", 20, 7}},
     3,
     3,
     0,
     0,
     20,
     {}},
    {"the first two swapped",
     true,
     2,
     {"P1", "P2", "P3"},
     {{"P2", 0, 0}, {"P1", 10, 7}, {"P3", 20, 0}},
     3,
     3,
     0,
     0,
     20,
     {}},
    {"a point skipped stays missed",
     true,
     2,
     {"P1", "P2", "P3"},
     {{"P1", 0, 0}, {"P3", 10, 0}},
     2,
     3,
     0,
     0,
     10,
     {"P2"}},
    {"a repeat in mode 2 is superfluous",
     true,
     2,
     {"P1", "P2", "P3"},
     {{"P1", 0, 0}, {"P1", 1, 6}, {"P2", 10, 0}, {"P3", 20, 0}},
     3,
     3,
     1,
     0,
     20,
     {}},
    {"reaching the last point ends the in-order scan",
     true,
     2,
     {"P1", "P2", "P3"},
     {{"P3", 0, 0}, {"P1", 10, 7}, {"P2", 20, 7}},
     3,
     3,
     0,
     0,
     20,
     {}},
    {"the expected position stays after out-of-order touches",
     true,
     2,
     {"P1", "P2", "P3", "P4"},
     {{"P3", 0, 0}, {"P1", 10, 7}, {"P2", 20, 7}, {"P4", 30, 0}},
     4,
     4,
     0,
     0,
     30,
     {}},
    {"a repeated path point is scanned for from the expected position",
     true,
     2,
     {"P1", "P2", "P1"},
     {{"P1", 0, 0}, {"P1", 10, 0}, {"P2", 20, 7}},
     3,
     3,
     0,
     0,
     20,
     {}},
    {"a repeat in mode 0 is not judged",
     true,
     0,
     {"P1", "P2"},
     {{"P1", 0, 0}, {"P1", 5, Empty}, {"P2", 10, 0}},
     2,
     2,
     0,
     0,
     10,
     {}},
    {"a repeat in mode 1 is superfluous",
     true,
     1,
     {"P1", "P2"},
     {{"P1", 0, 0}, {"P1", 5, 6}, {"P2", 10, 0}},
     2,
     2,
     1,
     0,
     10,
     {}},
    {"off the path in mode 0",
     true,
     0,
     {"P1", "P2"},
     {{"P9", 0, 8}, {"P1", 5, 0}},
     1,
     2,
     1,
     0,
     5,
     {"P2"}},
    {"off the path in mode 1",
     true,
     1,
     {"P1", "P2"},
     {{"P1", 0, 0}, {"P9", 5, 8}, {"P2", 10, 0}},
     2,
     2,
     1,
     0,
     10,
     {}},
    {"off the path in mode 2",
     true,
     2,
     {"P1", "P2"},
     {{"P1", 0, 0}, {"P2", 5, 0}, {"P9", 10, 8}},
     2,
     2,
     1,
     0,
     10,
     {}},
    {"a point listed twice in mode 1",
     true,
     1,
     {"P1", "P2", "P1"},
     {{"P1", 0, 0}, {"P2", 10, 0}, {"P1", 20, 0}},
     3,
     3,
     0,
     0,
     20,
     {}},
    {"incidents and people count only for incidents and duration",
     true,
     2,
     {"P1", "P2"},
     {{"U", 0, Empty},
      {"P1", 2, 0},
      {"I", 4, Empty},
      {"R", 6, Empty},
      {"I", 8, Empty},
      {"P2", 10, 0},
      {"G", 25, Empty}},
     2,
     2,
     0,
     2,
     25,
     {}},
    {"no touches", true, 2, {"P1", "P2", "P3", "P4"}, {}, 0, 4, 0, 0, 0, {"P1", "P2", "P3", "P4"}},
};

}  // namespace

TEST_F(RoundBuilderTest, JudgesTheTouchesAgainstThePath) {
    for (const Case& c : Cases) {
        SCOPED_TRACE(c.name);
        const QVariant pathId = c.withPath ? QVariant(AddPath(c.path)) : QVariant();
        // Another path is current, as after editing the paths.
        AddPath({"P5", "P6"});
        StartRound(pathId, c.mode, c.touches);

        ASSERT_TRUE(collector::BuildRound(*dm, status));

        std::vector<int> expected;
        for (const Touch& t : c.touches)
            expected.push_back(t.expected);
        EXPECT_EQ(Types(), expected);
        View& round = dm->TableKDEvents();
        EXPECT_EQ(round.State(), ViewState::Insert);
        EXPECT_EQ(IntOr(round.Value("N")), c.n);
        EXPECT_EQ(IntOr(round.Value("FromN")), c.fromN);
        EXPECT_EQ(IntOr(round.Value("UnnecessaryN")), c.unnecessaryN);
        EXPECT_EQ(IntOr(round.Value("Incidents")), c.incidents);
        ASSERT_FALSE(round.IsNull("Duration"));
        EXPECT_NEAR(round.Value("Duration").toDouble(), c.durationMinutes / 1440.0, 1e-9);
        EXPECT_EQ(MissedKeys(), Keys(c.missed));

        const int touches = static_cast<int>(c.touches.size());
        const int points = static_cast<int>(c.path.size());
        EXPECT_EQ(status.Caption(), "Обработка данных");
        EXPECT_EQ(status.Text(), "Идет обработка прочитанных данных из Kordex'а...");
        EXPECT_EQ(status.Maximum(), c.withPath ? points + 2 * touches : touches);
        EXPECT_EQ(status.Position(), status.Maximum());
        EXPECT_TRUE(status.IsShowing());

        View& touchView = dm->TableKDREvents();
        View& missedView = dm->TableKDLEvents();
        EXPECT_EQ(touchView.State(), ViewState::Browse);
        EXPECT_EQ(touchView.RecNo(), touches > 0 ? 1 : 0);
        EXPECT_EQ(missedView.RecNo(), c.missed.isEmpty() ? 0 : 1);
        EXPECT_TRUE(touchView.ControlsDisabled());
        EXPECT_TRUE(missedView.ControlsDisabled());
        EXPECT_FALSE(dm->HasBookmark(0));
        EXPECT_FALSE(dm->DeletePermitted);
        EXPECT_FALSE(dm->DatabaseE().InTransaction());

        // What the read does with a round that is not kept.
        touchView.EnableControls();
        missedView.EnableControls();
        dm->DiscardInsert(round);
        status.Close();
    }
}

// Path P1, P2, P3 in mode 2, touches P9, P1, P2: the gauge runs 3 + 2 × 3, the
// pumps 1-3 come before each point, 4-6 before each touch of the first pass,
// 7-9 of the second.
TEST_F(RoundBuilderTest, ClosingTheStatusWindowStopsAtOnce) {
    struct {
        const char* name;
        int closeAtPump;
        bool outerTransaction;
        int missedRows;  // left in the table
        std::vector<int> types;
    } cases[] = {
        {"while appending missed points", 2, false, 0, {Empty, Empty, Empty}},
        {"while appending missed points, in the caller's transaction",
         2,
         true,
         1,
         {Empty, Empty, Empty}},
        {"in the first pass", 5, false, 0, {Empty, Empty, Empty}},
        {"in the first pass, in the caller's transaction", 5, true, 3, {8, Empty, Empty}},
        {"in the second pass", 9, false, 0, {Empty, Empty, Empty}},
        {"in the second pass, in the caller's transaction", 9, true, 2, {8, 0, Empty}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        StartRound(AddPath({"P1", "P2", "P3"}), 2, {{"P9", 0, 0}, {"P1", 1, 0}, {"P2", 2, 0}});
        Database& db = dm->DatabaseE();
        if (c.outerTransaction) db.Begin();
        const int pumps = status.Pumps();
        status.CloseAtPump(c.closeAtPump);

        EXPECT_FALSE(collector::BuildRound(*dm, status));

        EXPECT_EQ(status.Pumps() - pumps, c.closeAtPump);
        EXPECT_EQ(status.Position(), c.closeAtPump - 1);
        EXPECT_EQ(db.InTransaction(), c.outerTransaction);
        if (c.outerTransaction) db.Commit();
        // The missed-point view shows what the table holds.
        EXPECT_EQ(dm->TableKDLEvents().PhysicalTable()->Count(), c.missedRows);
        EXPECT_EQ(dm->TableKDLEvents().RecordCount(), c.missedRows);
        EXPECT_EQ(Types(), c.types);
        EXPECT_FALSE(dm->HasBookmark(0));

        dm->TableKDREvents().EnableControls();
        dm->TableKDLEvents().EnableControls();
        dm->DiscardInsert(dm->TableKDEvents());
    }
}
