#include <sqlite3.h>

#include "FilterFixture.h"

using namespace kordex;
using namespace kordex::filters;
using namespace kordex::filters::testing;

namespace {

// Users A, B and C (C never touches); points 1..4; X is nobody's key.
const QString A = KeyOf(101), B = KeyOf(102), C = KeyOf(103), X = KeyOf(999);
QString P(int n) {
    return KeyOf(300 + n);
}

class ComplexTest : public FilterTest {
protected:
    void SetUp() override {
        FilterTest::SetUp();
        Put(dm->TableUsers(), {{"Key", A}, {"Name", "A"}, {"IsRegister", false}});
        Put(dm->TableUsers(), {{"Key", B}, {"Name", "B"}, {"IsRegister", true}});
        Put(dm->TableUsers(), {{"Key", C}, {"Name", "C"}, {"IsRegister", false}});
        for (int n = 1; n <= 4; ++n)
            Put(dm->TablePoints(), {{"Key", P(n)}, {"Name", QString::number(n)}});
    }

    // Touches of one round per list, rounds an hour apart, touches a minute apart.
    void AddRounds(store::View& touches, const std::vector<QStringList>& rounds) {
        for (size_t r = 0; r < rounds.size(); ++r) {
            const double reg = At(10, 8 + static_cast<int>(r));
            for (int i = 0; i < rounds[r].size(); ++i) {
                const qint32 id = Put(
                    touches,
                    {{"DateReg", reg}, {"Date", reg + (i + 1) / 1440.0}, {"Key", rounds[r][i]}});
                keyOfId[id] = rounds[r][i];
            }
        }
        DateMode(touches);
        RereadAll();
    }

    // The keys of the listed touch IDs, in list order.
    QStringList Keys(const QList<qint32>& ids) const {
        QStringList out;
        for (qint32 id : ids)
            out << Name(keyOfId.value(id));
        return out;
    }
    QStringList Shown(store::View& touches) const {
        QStringList out;
        for (const QString& key : Column(touches, "Key"))
            out << Name(key);
        return out;
    }
    static QString Name(const QString& key) {
        if (key == A) return "A";
        if (key == B) return "B";
        if (key == X) return "X";
        for (int n = 1; n <= 4; ++n)
            if (key == P(n)) return QString::number(n);
        return key;
    }

    // The complex filter of user `who` on a touch page.
    static void ChooseComplex(TouchFilterSettings& s, const QString& who) {
        s = TouchFilterSettings{};
        s.interval.noInterval = true;
        s.ChooseEventKind(EventKind::User);
        s.event = who;
        s.complex = true;
    }

    QHash<qint32, QString> keyOfId;
};

}  // namespace

TEST_F(ComplexTest, FromTheUsersTouchUpToAnotherUsersInBothDatabases) {
    for (TouchFilter* page : {&filters->KDDEvents(), &filters->KDDAEvents()}) {
        keyOfId.clear();
        AddRounds(page->Table(), {{A, P(1), P(2), B, P(3), A, P(4)}});
        ChooseComplex(page->Settings(), A);
        status = shell::ScriptedStatusWindow{};
        ASSERT_TRUE(page->Set());
        EXPECT_EQ(Keys(page->Settings().complexIds.Ids()), QStringList({"A", "1", "2", "A", "4"}));
        EXPECT_EQ(Shown(page->Table()), QStringList({"A", "1", "2", "A", "4"}));
        EXPECT_TRUE(page->Active());
        // The status window came and went, its gauge over every touch.
        EXPECT_EQ(status.Caption(), "Формирование данных");
        EXPECT_EQ(status.Text(), "Идет формирование данных для сложного фильтра...");
        EXPECT_EQ(status.Maximum(), 7);
        EXPECT_EQ(status.Position(), 7);
        EXPECT_EQ(status.Shows(), 1);
        EXPECT_FALSE(status.IsShowing());
        EXPECT_TRUE(prompt.Asked().empty());
    }
}

TEST_F(ComplexTest, TheTriggerCarriesAcrossRoundsAndKeysOfNobodyNeverSwitchIt) {
    AddRounds(dm->TableKDREvents(), {{P(1), A, P(2)}, {X, P(3), B, P(4), A}});
    TouchFilter& page = filters->KDDEvents();
    ChooseComplex(page.Settings(), A);
    ASSERT_TRUE(page.Set());
    EXPECT_EQ(Keys(page.Settings().complexIds.Ids()), QStringList({"A", "2", "X", "3", "A"}));
    // The other settings apply as usual: the touches of the first round only.
    page.Settings().interval.noInterval = false;
    page.Settings().interval.dateFrom = page.Settings().interval.dateTo = At(10);
    page.Settings().interval.timeFrom = 8.0 / 24;
    page.Settings().interval.timeTo = 8.5 / 24;
    ASSERT_TRUE(page.Set());
    EXPECT_EQ(Shown(page.Table()), QStringList({"A", "2"}));
}

TEST_F(ComplexTest, AUserWhoNeverTouchesLeavesNothing) {
    AddRounds(dm->TableKDREvents(), {{A, P(1), B, P(2)}});
    TouchFilter& page = filters->KDDEvents();
    ChooseComplex(page.Settings(), C);
    ASSERT_TRUE(page.Set());
    EXPECT_TRUE(page.Settings().complexIds.IsEmpty());
    EXPECT_EQ(page.Table().RecordCount(), 0);
    // The list of an earlier build is gone too.
    ChooseComplex(page.Settings(), A);
    ASSERT_TRUE(page.Set());
    EXPECT_EQ(page.Table().RecordCount(), 2);
    ChooseComplex(page.Settings(), C);
    ASSERT_TRUE(page.Set());
    EXPECT_EQ(page.Table().RecordCount(), 0);
}

TEST_F(ComplexTest, AnInterruptedBuildLeavesTheFilterAsItWas) {
    AddRounds(dm->TableKDREvents(), {{A, P(1), P(2), B, P(3), A, P(4)}});
    TouchFilter& page = filters->KDDEvents();
    store::View& touches = page.Table();
    struct Case {
        const char* name;
        bool filterOn;
    } cases[] = {{"filter off", false}, {"filter on", true}};
    for (const Case& c : cases) {
        if (page.Active()) {
            ASSERT_TRUE(page.Remove());
        }
        page.Settings() = TouchFilterSettings{};
        page.Settings().interval.noInterval = true;
        page.Settings().event = P(1);
        if (c.filterOn) {
            ASSERT_TRUE(page.Set());
        }
        const QStringList before = Shown(touches);
        const bool filtered = touches.Filtered();

        ChooseComplex(page.Settings(), A);
        status = shell::ScriptedStatusWindow{};
        clock.SetStepPerRead(BuildPumpIntervalMs);  // time enough for a pump at every row
        status.CloseAtPump(3);                      // the operator closes it at the third row
        EXPECT_FALSE(page.Set()) << c.name;
        clock.SetStepPerRead(0);

        EXPECT_EQ(page.Active(), c.filterOn) << c.name;
        EXPECT_EQ(touches.Filtered(), filtered) << c.name;
        EXPECT_EQ(Shown(touches), before) << c.name;
        EXPECT_FALSE(status.IsShowing()) << c.name;
        EXPECT_TRUE(prompt.Asked().empty()) << c.name;
        // What was gathered before the window closed.
        EXPECT_EQ(Keys(page.Settings().complexIds.Ids()), QStringList({"A", "1"})) << c.name;
        // The settings just entered stay.
        EXPECT_EQ(page.Settings().event, A) << c.name;
    }
}

TEST_F(ComplexTest, AFailedReadIsToldAndLeavesTheFilterAsItWas) {
    AddRounds(dm->TableKDREvents(), {{A, P(1), B}});
    TouchFilter& page = filters->KDDEvents();
    page.Settings().interval.noInterval = true;
    ASSERT_TRUE(page.Set());
    const int shown = page.Table().RecordCount();
    ChooseComplex(page.Settings(), A);
    // The walk over the touches (a query of their values) fails.
    dm->DatabaseE().faultHook = [](const QString& sql) {
        return sql.startsWith("SELECT rowid,") && sql.contains("KDREvs") ? SQLITE_IOERR : SQLITE_OK;
    };
    status = shell::ScriptedStatusWindow{};
    EXPECT_FALSE(page.Set());
    dm->DatabaseE().faultHook = nullptr;
    ASSERT_EQ(prompt.Asked().size(), 1u);
    const shell::Question& q = prompt.Asked()[0];
    EXPECT_EQ(q.caption, "Ошибка");
    EXPECT_TRUE(q.text.startsWith("Ошибка при формировании данных для фильтра !\r"))
        << q.text.toStdString();
    EXPECT_EQ(q.icon, shell::Icon::Warning);
    EXPECT_EQ(status.Shows(), 1);
    EXPECT_FALSE(status.IsShowing());
    EXPECT_TRUE(page.Active());
    EXPECT_EQ(page.Table().RecordCount(), shown);
}

TEST_F(ComplexTest, RowsAddedAfterTheBuildFailUntilTheNextSet) {
    AddRounds(dm->TableKDREvents(), {{A, P(1)}});
    TouchFilter& page = filters->KDDEvents();
    ChooseComplex(page.Settings(), A);
    ASSERT_TRUE(page.Set());
    EXPECT_EQ(page.Table().RecordCount(), 2);
    Put(page.Table(), {{"DateReg", At(10, 8)}, {"Date", At(10, 8, 30)}, {"Key", P(2)}});
    page.Table().Refresh();
    EXPECT_EQ(page.Table().RecordCount(), 2);
    ASSERT_TRUE(page.Set());
    EXPECT_EQ(page.Table().RecordCount(), 3);
}
