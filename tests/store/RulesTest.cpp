#include <gtest/gtest.h>

#include "ModuleFixture.h"
#include "link/KeyId.h"
#include "store/Rules.h"

using namespace kordex;
using namespace kordex::store;
using namespace kordex::store::testing;

namespace {

// A genuine key ID (family 01, CRC right) from a serial number.
QString KeyOf(uint32_t serial) {
    return link::TouchKeyText(serial);
}

QString InUse(const QString& key) {
    return QStringLiteral("Ключ/ID с номером <%1> уже используется !").arg(key);
}

struct FakeList : LookupList {
    View* view = nullptr;
    QVariant key;
    QVariant KeyValue() const override { return key; }
    void SetKeyValue(const QVariant& k) override { key = k; }
    void ClearKeyValue() override { key = QVariant(); }
    View* ListView() const override { return view; }
};

class RulesTest : public ModuleTest {
protected:
    void SetUp() override {
        ModuleTest::SetUp();
        Open();
        rules = std::make_unique<Rules>(*dm);
    }

    // Posts a row, telling whether the rules let it through.
    bool Post(View& v, Row row) {
        v.Append();
        for (const auto& [field, value] : row)
            v.SetValue(QString::fromLatin1(field), value);
        try {
            v.Post();
            return true;
        } catch (const Abort&) {
            v.Cancel();
            return false;
        }
    }

    QStringList Journal() { return Column(dm->TablePrEvents(), "Name"); }

    std::unique_ptr<Rules> rules;
};

}  // namespace

TEST_F(RulesTest, TheFirstPersonBecomesAdministratorWhetherRegistrarOrGuard) {
    View& users = dm->TableUsers();
    ASSERT_TRUE(Post(users, {{"Key", KeyOf(1)}, {"Name", "Охранник"}, {"IsRegister", false}}));
    EXPECT_TRUE(users.Value("IsAdmin").toBool());
    // Still no registrar: the next one is administrator too.
    ASSERT_TRUE(Post(users, {{"Key", KeyOf(2)}, {"Name", "Регистратор"}, {"IsRegister", true}}));
    EXPECT_TRUE(users.Value("IsAdmin").toBool());
    ASSERT_TRUE(Post(users, {{"Key", KeyOf(3)}, {"Name", "Второй"}, {"IsRegister", true}}));
    EXPECT_TRUE(users.IsNull("IsAdmin"));
}

TEST_F(RulesTest, KeysAreCheckedAndUniqueAcrossPeopleAndKeys) {
    View& users = dm->TableUsers();
    View& points = dm->TablePoints();
    const QString badCrc = "0011223344556677";  // its CRC would be 71
    struct Case {
        View* view;
        QString key;
        bool posted;
        QString message;
    } cases[] = {
        {&users, badCrc, true, {}},  // a person's key starting with 00 is not checked further
        {&points, badCrc, false, link::MsgBadKeyValue},
        {&points, KeyOf(10), true, {}},
        {&users, KeyOf(10), false, InUse(KeyOf(10))},    // names a check point
        {&points, badCrc, false, link::MsgBadKeyValue},  // CRC first, then uniqueness
        {&users, KeyOf(11), true, {}},
        {&points, KeyOf(11), false, InUse(KeyOf(11))},  // names a person
        {&dm->TableKDs(), KeyOf(11), false, InUse(KeyOf(11))},
        {&points, KeyOf(10), false, InUse(KeyOf(10))},  // duplicate primary key
        {&users, "01234", false, link::MsgBadKeyLength},
    };
    for (const auto& c : cases) {
        prompt.Clear();
        EXPECT_EQ(Post(*c.view, {{"Key", c.key}, {"Name", "x"}}), c.posted) << c.key.toStdString();
        if (c.message.isEmpty())
            EXPECT_TRUE(prompt.Asked().empty()) << prompt.Texts().join('|').toStdString();
        else
            EXPECT_EQ(prompt.Texts(), QStringList{c.message});
    }
    // A refused row stays editable: the duplicate can be corrected and posted.
    points.Append();
    points.SetValue("Key", KeyOf(10));
    points.SetValue("Name", "y");
    EXPECT_THROW(points.Post(), Abort);
    EXPECT_EQ(points.State(), ViewState::Insert);
    points.SetValue("Key", KeyOf(12));
    points.Post();
    EXPECT_FALSE(points.Value("IsPrBook").toBool());
    EXPECT_TRUE(points.IsNull("IsKD"));
}

TEST_F(RulesTest, KindFlagsKeepTheKeysApart) {
    ASSERT_TRUE(Post(dm->TablePoints(), {{"Key", KeyOf(1)}, {"Name", "Точка"}}));
    ASSERT_TRUE(Post(dm->TablePrBook(), {{"Key", KeyOf(2)}, {"Name", "Пожар"}}));
    ASSERT_TRUE(Post(dm->TableKDs(), {{"Key", KeyOf(3)}, {"Name", "Kordex 1"}}));
    for (View* v : {&dm->TablePoints(), &dm->TablePrBook(), &dm->TableKDs()})
        v->Refresh();
    EXPECT_EQ(Column(dm->TablePoints(), "Name"), QStringList{"Точка"});
    EXPECT_EQ(Column(dm->TablePrBook(), "Name"), QStringList{"Пожар"});
    EXPECT_EQ(Column(dm->TableKDs(), "Name"), QStringList{"Kordex 1"});
}

TEST_F(RulesTest, NothingIsDeletedWithoutPermission) {
    ASSERT_TRUE(Post(dm->TablePoints(), {{"Key", KeyOf(1)}, {"Name", "Точка"}}));
    EXPECT_THROW(dm->TablePoints().Delete(), Abort);
    EXPECT_EQ(dm->TablePoints().RecordCount(), 1);
    {
        ScopedFlag permit(dm->DeletePermitted, true);
        dm->TablePoints().Delete();
    }
    EXPECT_EQ(dm->TablePoints().RecordCount(), 0);
    EXPECT_FALSE(dm->DeletePermitted);
}

TEST_F(RulesTest, APathTakesItsPointsWithItAndOnlyThem) {
    View& paths = dm->TablePathes();
    View& pp = dm->TablePPathes();
    ASSERT_TRUE(Post(paths, {{"Name", "Второй"}}));
    const int second = paths.Value("ID").toInt();
    Add(pp, {{"Key", KeyOf(9)}});
    ASSERT_TRUE(Post(paths, {{"Name", "Первый"}}));
    const int first = paths.Value("ID").toInt();
    for (int k = 1; k <= 3; ++k)
        Add(pp, {{"Key", KeyOf(k)}});
    EXPECT_EQ(pp.RecordCount(), 3);
    EXPECT_EQ(pp.Value("PathID").toInt(), first);

    ScopedFlag permit(dm->DeletePermitted, true);
    ASSERT_TRUE(paths.Locate("ID", first));
    paths.Delete();
    RawFile raw(PathOf("DB", "PPathes.DB"));
    EXPECT_EQ(raw.Scalar(QString("SELECT count(*) FROM PPathes WHERE PathID=%1").arg(first)), "0");
    EXPECT_EQ(raw.Scalar(QString("SELECT count(*) FROM PPathes WHERE PathID=%1").arg(second)), "1");

    // A path without points deletes nothing else.
    ASSERT_TRUE(Post(paths, {{"Name", "Пустой"}}));
    paths.Delete();
    EXPECT_EQ(dm->PendingCascadeKey.toInt(), -1);
    EXPECT_EQ(raw.Scalar("SELECT count(*) FROM PPathes"), "1");
}

TEST_F(RulesTest, ARoundTakesItsTouchesAndMissedPointsInItsOwnDatabaseOnly) {
    const double reg = Stamp(10, 8);
    for (auto [rounds, touches, missed] :
         {std::tuple{&dm->TableKDEvents(), &dm->TableKDREvents(), &dm->TableKDLEvents()},
          std::tuple{&dm->TableKDAEvents(), &dm->TableKDRAEvents(), &dm->TableKDLAEvents()}}) {
        Add(*rounds, {{"DateReg", reg}});
        Add(*touches, {{"Date", Stamp(10, 9)}, {"Key", KeyOf(1)}});
        Add(*touches, {{"Date", Stamp(10, 10)}, {"Key", KeyOf(2)}});
        Add(*missed, {{"Key", KeyOf(3)}});
    }
    ScopedFlag permit(dm->DeletePermitted, true);
    dm->TableKDEvents().Delete();
    RawFile current(PathOf("DB", "KDREvs.DB")), archive(PathOf("DB.ARH", "KDREvs.DB"));
    RawFile currentMissed(PathOf("DB", "KDLEvs.DB")), archiveMissed(PathOf("DB.ARH", "KDLEvs.DB"));
    EXPECT_EQ(current.Scalar("SELECT count(*) FROM KDREvs"), "0");
    EXPECT_EQ(currentMissed.Scalar("SELECT count(*) FROM KDLEvs"), "0");
    EXPECT_EQ(archive.Scalar("SELECT count(*) FROM KDREvs"), "2");
    EXPECT_EQ(archiveMissed.Scalar("SELECT count(*) FROM KDLEvs"), "1");
}

TEST_F(RulesTest, EmptyingKeepsOtherKindsAndJournalsEachTable) {
    ASSERT_TRUE(Post(dm->TablePoints(), {{"Key", KeyOf(1)}, {"Name", "A"}}));
    ASSERT_TRUE(Post(dm->TablePoints(), {{"Key", KeyOf(2)}, {"Name", "B"}}));
    ASSERT_TRUE(Post(dm->TablePrBook(), {{"Key", KeyOf(3)}, {"Name", "Пожар"}}));
    ASSERT_TRUE(Post(dm->TableKDs(), {{"Key", KeyOf(4)}, {"Name", "Kordex"}}));
    rules->EmptyWithCompanions(dm->TablePoints());
    RawFile keys(PathOf("DB", "Keys.DB"));
    EXPECT_EQ(
        keys.Scalar("SELECT group_concat(Name, ',') FROM (SELECT Name FROM Keys ORDER BY Name)"),
        "Kordex,Пожар");
    EXPECT_EQ(Journal(), QStringList{"Очистка таблицы: TablePoints"});
    EXPECT_FALSE(dm->DeletePermitted);
    EXPECT_TRUE(dm->RefreshEnabled);

    Add(dm->TableKDEvents(), {{"DateReg", Stamp(1)}});
    Add(dm->TableKDREvents(), {{"Date", Stamp(1, 1)}, {"Key", KeyOf(1)}});
    rules->EmptyWithCompanions(dm->TableKDEvents());
    EXPECT_EQ(Journal(),
              QStringList({"Очистка таблицы: TablePoints", "Очистка таблицы: TableKDEvents",
                           "Очистка таблицы: TableKDREvents", "Очистка таблицы: TableKDLEvents"}));
    RawFile touches(PathOf("DB", "KDREvs.DB"));
    EXPECT_EQ(touches.Scalar("SELECT count(*) FROM KDREvs"), "0");
}

TEST_F(RulesTest, JournalEntriesCutTheirTextAndKeepTheirOrderWithinOneMoment) {
    ASSERT_TRUE(
        Post(dm->TableUsers(), {{"Key", KeyOf(1)}, {"Name", "Иван"}, {"IsRegister", true}}));
    dm->TableCurRegister().Refresh();
    const QString password(40, QChar('x'));
    rules->AppendJournal("Отказ в доступе. Неверный пароль: " + password);
    rules->AppendJournal("Разрешен доступ");  // the same moment: the fake clock stands still
    View& j = dm->TablePrEvents();
    j.First();
    EXPECT_EQ(j.Text("Name").size(), 50);
    EXPECT_EQ(j.Text("Name"), "Отказ в доступе. Неверный пароль: " + QString(16, QChar('x')));
    EXPECT_EQ(j.Text("Key"), KeyOf(1));
    EXPECT_EQ(j.Text("LReg"), "Иван");
    EXPECT_EQ(link::DateTime(j.Value("CDate").toDouble()).DateText(), "15.03.2026");
    EXPECT_EQ(link::DateTime(j.Value("CTime").toDouble()).TimeText(), "14:30:05");
    j.Next();
    EXPECT_EQ(j.Text("Name"), "Разрешен доступ");
    // A registrar deleted later leaves his entries without a name.
    {
        ScopedFlag permit(dm->DeletePermitted, true);
        dm->TableUsers().Delete();
    }
    j.Refresh();
    j.First();
    EXPECT_TRUE(j.IsNull("LReg"));
}

TEST_F(RulesTest, TouchesAreClassifiedByWhatTheirKeyNames) {
    Add(dm->TableUsers(), {{"Key", KeyOf(3)}, {"Name", "Регистратор"}, {"IsRegister", true}});
    Add(dm->TableUsers(), {{"Key", KeyOf(4)}, {"Name", "Охранник"}, {"IsRegister", false}});
    Add(dm->TableUsers(), {{"Key", KeyOf(5)}, {"Name", "Кто-то"}});
    Add(dm->TablePoints(), {{"Key", KeyOf(1)}, {"Name", "Ворота"}});
    Add(dm->TablePrBook(), {{"Key", KeyOf(2)}, {"Name", "Пожар"}});
    Add(dm->TableKDs(), {{"Key", KeyOf(6)}, {"Name", "Kordex"}});
    for (View* v : {&dm->TableRegisters(), &dm->TableGuards()})
        v->Refresh();

    Add(dm->TableKDEvents(),
        {{"DateReg", Stamp(1)}, {"PathID", 3}, {"Mode", 5}, {"Duration", 7.0 / 1440}});
    EXPECT_EQ(dm->TableKDEvents().Text("CMode"), "Неизвестный");
    EXPECT_EQ(dm->TableKDEvents().Text("CDuration"), " 0:07");
    struct Case {
        QString key;
        QVariant type;
        QString point, comment;
        int kind;
    } cases[] = {
        {KeyOf(1), {}, "Ворота", "Контрольная точка", 1},
        {KeyOf(1), 0, "Ворота", "Контрольная точка", 1},
        {KeyOf(1), 7, "Ворота", "Точка не по порядку", 7},
        {KeyOf(1), 6, "Ворота", "Лишняя точка", 6},
        {KeyOf(2), 7, "Пожар", "Происшествие", 2},  // Type counts for check points only
        {KeyOf(3), {}, "Регистратор", "Регистратор", 3},
        {KeyOf(4), {}, "Охранник", "Охранник", 4},
        {KeyOf(5), {}, "Кто-то", "Пользователь", 5},
        {KeyOf(6), {}, "", "Неизвестная точка", 0},  // a collector's key
        {KeyOf(99), {}, "", "Неизвестная точка", 0},
    };
    View& t = dm->TableKDREvents();
    int minute = 0;
    for (const auto& c : cases)
        Add(t, {{"Date", Stamp(1, 1, ++minute)}, {"Key", c.key}, {"Type", c.type}});
    ASSERT_EQ(t.RecordCount(), static_cast<int>(std::size(cases)));
    for (int i = 0; i < t.RecordCount(); ++i) {
        const auto row = t.RowAt(i);
        const auto& c = cases[i];
        EXPECT_EQ(row[t.FieldIndex("CPoint")].toString(), c.point) << i;
        EXPECT_EQ(row[t.FieldIndex("CComment")].toString(), c.comment) << i;
        EXPECT_EQ(row[t.FieldIndex("CTComment")].toInt(), c.kind) << i;
    }
    EXPECT_EQ(link::DateTime(t.RowAt(0)[t.FieldIndex("CTime")].toDouble()).TimeText(), "01:01:00");

    // Renaming a point shows at once in the touches.
    View& p = dm->TablePoints();
    p.First();
    p.Edit();
    p.SetValue("Name", "Калитка");
    p.Post();
    EXPECT_EQ(t.RowAt(0)[t.FieldIndex("CPoint")].toString(), "Калитка");

    {
        ScopedFlag skip(dm->SkipTouchCalc, true);
        const auto row = t.RowAt(0);
        EXPECT_TRUE(row[t.FieldIndex("CComment")].isNull());
        EXPECT_TRUE(row[t.FieldIndex("CDate")].isNull());
    }
}

TEST_F(RulesTest, ARegistrarWhoChangesHisOwnKeyStaysSelectedForLogin) {
    FakeList login;
    login.view = &dm->TableUsers();
    rules->RegisterList(Rules::ListLogin, &login);
    View& users = dm->TableUsers();
    Add(users, {{"Key", KeyOf(1)}, {"Name", "Иван"}, {"IsRegister", true}});
    Add(users, {{"Key", KeyOf(2)}, {"Name", "Пётр"}, {"IsRegister", true}});
    EXPECT_EQ(login.key.toString(), KeyOf(1));  // nothing was selected: the first posted row
    dm->TableCurRegister().Refresh();
    ASSERT_TRUE(dm->TableCurRegister().Locate("Key", KeyOf(1)));

    // Someone else's row: the selection stays.
    ASSERT_TRUE(users.Locate("Key", KeyOf(2)));
    users.Edit();
    users.SetValue("Name", "Павел");
    users.Post();
    EXPECT_EQ(login.key.toString(), KeyOf(1));

    // His own row with a new key: the list follows.
    ASSERT_TRUE(users.Locate("Key", KeyOf(1)));
    users.Edit();
    EXPECT_TRUE(dm->EditingCurrentRegistrar);
    users.SetValue("Key", KeyOf(7));
    users.Post();
    EXPECT_EQ(login.key.toString(), KeyOf(7));
    rules->UnregisterList(&login);
}

// The own-row flag lasts one edit of the logged-in registrar's row: a person
// added after it, by hand or by a read (rules skipped), never moves the login
// choice.
TEST_F(RulesTest, OnlyAnEditOfTheOwnRowMovesTheLoginChoice) {
    FakeList login;
    login.view = &dm->TableUsers();
    rules->RegisterList(Rules::ListLogin, &login);
    View& users = dm->TableUsers();
    Add(users, {{"Key", KeyOf(1)}, {"Name", "Иван"}, {"IsRegister", true}});
    dm->TableCurRegister().Refresh();
    ASSERT_TRUE(dm->TableCurRegister().Locate("Key", KeyOf(1)));
    ASSERT_EQ(login.key.toString(), KeyOf(1));

    struct Case {
        const char* name;
        bool posted;     // his own edit ends by a post, else by a cancel
        bool automatic;  // the new person comes from a read
    };
    uint32_t serial = 10;
    for (const Case c :
         {Case{"post, then by hand", true, false}, Case{"post, then by a read", true, true},
          Case{"cancel, then by hand", false, false},
          Case{"cancel, then by a read", false, true}}) {
        ASSERT_TRUE(users.Locate("Key", KeyOf(1))) << c.name;
        users.Edit();
        EXPECT_TRUE(dm->EditingCurrentRegistrar) << c.name;
        users.SetValue("Passwrd", QString::number(serial));
        if (c.posted)
            users.Post();
        else
            users.Cancel();
        EXPECT_FALSE(dm->EditingCurrentRegistrar) << c.name;
        ScopedFlag skip(dm->SkipValidation, c.automatic);
        Add(users, {{"Key", KeyOf(++serial)}, {"Name", "Новый"}, {"IsRegister", true}});
        EXPECT_EQ(login.key.toString(), KeyOf(1)) << c.name;
    }
    rules->UnregisterList(&login);
}

// A person, check point, incident or collector without a name and a path
// point without its check point are refused with the key dialog's texts; a
// read, which skips the rules, still stores what it finds.
TEST_F(RulesTest, RowsWithoutANameOrAPointAreRefused) {
    ASSERT_TRUE(Post(dm->TablePathes(), {{"Name", "Маршрут"}}));
    struct Case {
        View* view;
        QVariant key;
        QVariant name;
        QString message;
    } cases[] = {
        {&dm->TableUsers(), KeyOf(1), QVariant(), text::NoUserName},
        {&dm->TablePoints(), KeyOf(2), QString(), text::NoPointName},
        {&dm->TablePrBook(), KeyOf(3), QVariant(), text::NoIncidentName},
        {&dm->TableKDs(), KeyOf(4), QString(), text::NoCollectorName},
        {&dm->TablePPathes(), QVariant(), QVariant(), text::NoPathPoint},
    };
    for (const Case& c : cases) {
        for (const bool skipped : {false, true}) {
            prompt.Clear();
            ScopedFlag skip(dm->SkipValidation, skipped);
            const bool posted = c.view == &dm->TablePPathes()
                                    ? Post(*c.view, {{"Key", c.key}})
                                    : Post(*c.view, {{"Key", c.key}, {"Name", c.name}});
            EXPECT_EQ(posted, skipped) << c.view->Name().toStdString();
            EXPECT_EQ(prompt.Texts(), skipped ? QStringList() : QStringList{c.message})
                << c.view->Name().toStdString();
        }
    }
    EXPECT_EQ(dm->TablePPathes().RecordCount(), 1);

    // A name cleared in an edit is refused too, and the row stays in edit.
    View& book = dm->TablePrBook();
    ASSERT_TRUE(Post(book, {{"Key", KeyOf(5)}, {"Name", "Пожар"}}));
    book.Edit();
    book.SetValue("Name", QString());
    prompt.Clear();
    EXPECT_THROW(book.Post(), Abort);
    EXPECT_EQ(prompt.Texts(), QStringList{text::NoIncidentName});
    EXPECT_EQ(book.State(), ViewState::Edit);
    book.Cancel();
}
