#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QKeyEvent>
#include <QLabel>
#include <QTest>
#include <QToolButton>

#include "GuiFixture.h"
#include "app/device/DevicePageWidgets.h"
#include "app/table/FastFind.h"
#include "app/table/TableCommands.h"
#include "collector/Operations.h"
#include "store/Rules.h"
#include "widgets/DBGrid.h"
#include "widgets/DataWidgets.h"

using namespace kordex;
using namespace kordex::app;
using namespace kordex::widgets;
using kordex::gui::AdminKey;
using kordex::gui::MainWindowTest;
using kordex::gui::RegistrarKey;
using kordex::gui::Type;

// The window after a first login without registrars, on a page with a grid
// that has the focus; the key dialogs answer from a script.
class TableCommands : public MainWindowTest {
protected:
    void SetUp() override {
        Start();
        window->activateWindow();
        Login({}, {});
        window->keyDialog = [this](const KeyDialogRequest& r) -> std::optional<KeyDialogResult> {
            requests.push_back(r);
            if (answers.empty()) return std::nullopt;
            KeyDialogResult a = answers.front();
            answers.erase(answers.begin());
            return a;
        };
    }

    DBGrid* Focus(const QString& page, const QString& sub, const char* grid) {
        window->ShowPage(page, sub);
        DBGrid* g = window->Grid(QString::fromLatin1(grid));
        EXPECT_NE(g, nullptr) << grid;
        window->activateWindow();
        QApplication::setActiveWindow(window.get());
        g->setFocus();
        QApplication::processEvents();
        EXPECT_EQ(window->FocusedGrid(), g) << grid;
        window->ActionRefresh(true);
        return g;
    }
    bool Enabled(const char* action) {
        return window->Action(QString::fromLatin1(action))->isEnabled();
    }
    void Trigger(const char* action) { window->Action(QString::fromLatin1(action))->trigger(); }

    std::vector<KeyDialogRequest> requests;
    std::vector<KeyDialogResult> answers;
};

TEST_F(TableCommands, KeyDialogOpensNewOnAnEmptyGridAndEditOnARow) {
    DBGrid* users = Focus("TabSheetUsers", {}, "DBGridUsers");
    ASSERT_TRUE(Enabled("ActionNewRec"));
    EXPECT_FALSE(Enabled("ActionEditRec"));
    QTest::mouseDClick(users->viewport(), Qt::LeftButton, {}, QPoint(20, 20));
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].caption, QStringLiteral("Ввод нового пользователя"));
    EXPECT_EQ(requests[0].key, QStringLiteral("010000"));
    EXPECT_TRUE(requests[0].comment.isEmpty());
    EXPECT_TRUE(requests[0].usersPageCurrent);

    AddUser(AdminKey, QStringLiteral("Администратор"), {}, {});
    window->ActionRefresh(true);
    const QRect first = users->visualRect(users->model()->index(0, 1));
    QTest::mouseDClick(users->viewport(), Qt::LeftButton, {}, first.center());
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[1].caption, QStringLiteral("Редактирование пользователя"));
    EXPECT_EQ(requests[1].key, AdminKey);
    EXPECT_EQ(requests[1].comment, QStringLiteral("Администратор"));
}

TEST(KeyDialogCaption, OfEachKeyGrid) {
    struct Case {
        int tag;
        bool newRow;
        const char* title;
        const char* caption;
    };
    for (const Case& c : {Case{0, true, "Имя пользователя", "Ввод нового пользователя"},
                          Case{1, true, "Название точки обхода", "Ввод новой точки обхода"},
                          Case{2, true, "Название происшествия", "Ввод нового происшествия"},
                          Case{3, true, "Название Kordex'а", "Ввод нового Kordex'а"},
                          Case{1, false, "Название точки обхода", "Редактирование точки обхода"}})
        EXPECT_EQ(KeyDialogCaption(c.tag, c.newRow, KeyDialogSubject(QString::fromUtf8(c.title))),
                  QString::fromUtf8(c.caption));
}

TEST_F(TableCommands, NewRowFromTheDialogIsPostedFromTheGrid) {
    DBGrid* points = Focus("TabSheetRound", "TabSheetPoints", "DBGridPoints");
    const QString key = sim::TouchKeyText(0x777);
    answers.push_back({key, QStringLiteral("Ворота")});
    Trigger("ActionNewRec");
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].caption, QStringLiteral("Ввод новой точки обхода"));
    EXPECT_TRUE(points->Editing());
    EXPECT_TRUE(Enabled("ActionPostRec"));
    Trigger("ActionPostRec");
    EXPECT_FALSE(points->Editing());
    EXPECT_FALSE(Enabled("ActionPostRec"));
    EXPECT_TRUE(Dm().TablePoints().Locate(QStringLiteral("Key"), key));
    EXPECT_EQ(Dm().TablePoints().Text(QStringLiteral("Name")), QStringLiteral("Ворота"));
}

TEST_F(TableCommands, RightsDecideTheCommands) {
    AddUser(AdminKey, QStringLiteral("Администратор"), QStringLiteral("1"), {});
    AddUser(RegistrarKey, QStringLiteral("Правщик"), QStringLiteral("2"),
            {"IsTableEdit", "IsPoints"});
    AddUser(sim::TouchKeyText(0x901), QStringLiteral("Точка"), {}, {}, false);
    Login(RegistrarKey, QStringLiteral("2"));
    Focus("TabSheetRound", "TabSheetPoints", "DBGridPoints");
    Dm().TablePoints().Append();
    Dm().TablePoints().SetValue(QStringLiteral("Key"), sim::TouchKeyText(0x902));
    Dm().TablePoints().SetValue(QStringLiteral("Name"), QStringLiteral("Ворота"));
    Dm().TablePoints().Post();
    window->ActionRefresh(true);
    for (const char* on : {"ActionNewRec", "ActionEditRec", "ActionCopyRec"})
        EXPECT_TRUE(Enabled(on)) << on;
    for (const char* off : {"ActionDelRec", "ActionEmptyTable"})
        EXPECT_FALSE(Enabled(off)) << off;
    Trigger("ActionEditRec");  // the dialog is cancelled: nothing is edited
    EXPECT_FALSE(store::TDM::IsEditing(Dm().TablePoints()));
    answers.push_back({sim::TouchKeyText(0x903), QStringLiteral("Склад")});
    Trigger("ActionNewRec");
    EXPECT_TRUE(Enabled("ActionPostRec"));
    EXPECT_FALSE(Enabled("ActionDelRec"));
}

TEST_F(TableCommands, AnAdministratorDeletesInAJournalGridButNotHisOwnRow) {
    AddUser(AdminKey, QStringLiteral("Администратор"), QStringLiteral("1"), {});
    Login(AdminKey, QStringLiteral("1"));
    Focus("TabSheetEvents", "TabSheetPrEvents", "DBGridPrEvents");
    ASSERT_TRUE(Enabled("ActionDelRec"));
    EXPECT_FALSE(Enabled("ActionNewRec"));      // journal grids stay read-only
    EXPECT_FALSE(Enabled("ActionSortByName"));  // the journal has one index only
    const int entries = Dm().TablePrEvents().RecordCount();
    prompt.Clear();
    prompt.Script({shell::Answer::Yes});
    Trigger("ActionDelRec");
    EXPECT_EQ(prompt.Texts(), QStringList({"Удалить текущую строку ?"}));
    EXPECT_EQ(Dm().TablePrEvents().RecordCount(), entries - 1);

    Focus("TabSheetUsers", {}, "DBGridUsers");
    ASSERT_TRUE(Dm().TableUsers().Locate(QStringLiteral("Key"), AdminKey));
    prompt.Clear();
    Trigger("ActionDelRec");
    EXPECT_EQ(prompt.Texts(), QStringList({MsgOwnRow}));
    EXPECT_TRUE(Dm().TableUsers().Locate(QStringLiteral("Key"), AdminKey));
}

TEST_F(TableCommands, EmptyingPathsAndRoundsTakesTheirCompanions) {
    store::View& pathes = Dm().TablePathes();
    pathes.Append();
    pathes.SetValue(QStringLiteral("Name"), QStringLiteral("Маршрут"));
    pathes.Post();
    Dm().TablePPathes().Append();
    Dm().TablePPathes().SetValue(QStringLiteral("Key"), sim::TouchKeyText(0x55));
    Dm().TablePPathes().Post();
    Focus("TabSheetRound", "TabSheetPathes", "DBGridPathes");
    prompt.Script({shell::Answer::Yes});
    Trigger("ActionEmptyTable");
    EXPECT_TRUE(pathes.IsEmpty());
    EXPECT_FALSE(
        Dm().FindInTable(Dm().TablePPathes(), QStringLiteral("Key"), sim::TouchKeyText(0x55)));

    Focus("TabSheetEvents", "TabSheetKDEvents", "DBGridKDEvents");
    const int before = Dm().TablePrEvents().RecordCount();
    prompt.Script({shell::Answer::Yes});
    Trigger("ActionEmptyTable");
    EXPECT_EQ(Dm().TablePrEvents().RecordCount(), before + 3);
}

TEST_F(TableCommands, EmptyingUsersWhileLoggedInLeavesFullRights) {
    AddUser(AdminKey, QStringLiteral("Администратор"), QStringLiteral("1"), {});
    Login(AdminKey, QStringLiteral("1"));
    Focus("TabSheetUsers", {}, "DBGridUsers");
    prompt.Script({shell::Answer::Yes});
    Trigger("ActionEmptyTable");
    EXPECT_TRUE(Dm().TableUsers().IsEmpty());
    Focus("TabSheetRound", "TabSheetPoints", "DBGridPoints");
    EXPECT_TRUE(Enabled("ActionNewRec"));
    EXPECT_TRUE(Enabled("ActionEmptyTable"));
}

TEST_F(TableCommands, MovingTheThirdPointOfAPathToTheFirstPlace) {
    store::View& pathes = Dm().TablePathes();
    pathes.Append();
    pathes.SetValue(QStringLiteral("Name"), QStringLiteral("Маршрут"));
    pathes.Post();
    store::View& pp = Dm().TablePPathes();
    const QStringList keys = {sim::TouchKeyText(0x61), sim::TouchKeyText(0x62),
                              sim::TouchKeyText(0x63), sim::TouchKeyText(0x64)};
    for (const QString& k : keys) {
        pp.Append();
        pp.SetValue(QStringLiteral("Key"), k);
        pp.Post();
    }
    DBGrid* grid = Focus("TabSheetRound", "TabSheetPathes", "DBGridPPathes");
    pp.First();
    pp.Next();
    pp.Next();
    window->ActionRefresh(true);
    ASSERT_TRUE(Enabled("ActionMoveFirst"));
    grid->setCurrentIndex(grid->model()->index(2, 0));
    Trigger("ActionMoveFirst");
    QStringList order;
    for (int i = 0; i < pp.RecordCount(); ++i)
        order << pp.RowAt(i).at(pp.FieldIndex(QStringLiteral("Key"))).toString();
    EXPECT_EQ(order, QStringList({keys[2], keys[1], keys[0], keys[3]}));
    EXPECT_EQ(pp.RecNo(), 1);  // the selection follows the moved point
    EXPECT_FALSE(Enabled("ActionMoveUp"));
}

TEST_F(TableCommands, TheRowCounterNeverPassesTheCount) {
    for (int i = 0; i < 3; ++i)
        AddUser(sim::TouchKeyText(0x800 + i), QStringLiteral("Охранник %1").arg(i), {}, {}, false);
    Focus("TabSheetUsers", {}, "DBGridUsers");
    Dm().TableUsers().Last();
    EXPECT_EQ(window->LabelN()->text(), QStringLiteral("Строка: 3 из 3"));
    EXPECT_FALSE(window->LabelN()->isHidden());
    EXPECT_EQ(RowCounterText(false, 7, 3), QStringLiteral("Строка: 3 из 3"));
    EXPECT_EQ(RowCounterText(true, 7, 3), QStringLiteral("Всего строк: 3"));
}

TEST_F(TableCommands, TheKeyColumnTakesHexadecimalDigitsOnly) {
    DBGrid* users = Focus("TabSheetUsers", {}, "DBGridUsers");
    answers.push_back({QStringLiteral("0100"), QStringLiteral("Новый")});
    Trigger("ActionNewRec");
    ASSERT_TRUE(users->Editing());
    users->setCurrentIndex(users->model()->index(users->currentIndex().row(), 0));
    ASSERT_TRUE(users->OpenEditor());
    auto* editor = qobject_cast<QLineEdit*>(users->Editor());
    ASSERT_NE(editor, nullptr);
    editor->end(false);
    Type(QStringLiteral("gaz1"));
    EXPECT_EQ(editor->text(), QStringLiteral("0100A1"));
}

// An operator's first day: the first user becomes the administrator, then a
// guard, three check points and a path through them are entered, a collector
// is written for the guard and the path, the guard walks the points out of
// order, and the round read back is stored and judged.
TEST_F(TableCommands, AWholeShiftFromAnEmptyProgram) {
    const QString guardKey = sim::TouchKeyText(0x00112233);
    const QStringList pointKeys = {sim::TouchKeyText(0x0A01), sim::TouchKeyText(0x0A02),
                                   sim::TouchKeyText(0x0A03)};
    auto* type = window->findChild<DBRadioGroup*>(QStringLiteral("DBRadioGroupTypeUser"));
    ASSERT_NE(type, nullptr);

    // The first user, a registrar, becomes the administrator.
    Focus("TabSheetUsers", {}, "DBGridUsers");
    answers.push_back({AdminKey, QStringLiteral("Иванов И.И.")});
    Trigger("ActionNewRec");
    type->Buttons()->button(0)->click();  // "Регистратор"
    Trigger("ActionPostRec");
    ASSERT_TRUE(Dm().TableUsers().Locate(QStringLiteral("Key"), AdminKey));
    EXPECT_TRUE(Dm().TableUsers().Value(QStringLiteral("IsAdmin")).toBool());
    Login(AdminKey, {});
    ASSERT_EQ(Dm().TableCurRegister().Text(QStringLiteral("Key")), AdminKey);

    // The guard.
    Focus("TabSheetUsers", {}, "DBGridUsers");
    answers.push_back({guardKey, QStringLiteral("Петров П.П.")});
    Trigger("ActionNewRec");
    type->Buttons()->button(1)->click();  // "Охранник"
    Trigger("ActionPostRec");
    ASSERT_TRUE(Dm().TableGuards().Locate(QStringLiteral("Key"), guardKey));

    // Three check points by their keys.
    Focus("TabSheetRound", "TabSheetPoints", "DBGridPoints");
    const QStringList names = {"Ворота", "Склад", "Гараж"};
    for (int i = 0; i < 3; ++i) {
        answers.push_back({pointKeys[i], names[i]});
        Trigger("ActionNewRec");
        Trigger("ActionPostRec");
    }
    EXPECT_EQ(Dm().TablePoints().RecordCount(), 3);

    // A path, named in place, with the points in the order 1, 3, 2.
    DBGrid* pathes = Focus("TabSheetRound", "TabSheetPathes", "DBGridPathes");
    Trigger("ActionNewRec");
    ASSERT_TRUE(pathes->Editing());
    Type(QStringLiteral("Обход"));
    Type(QStringLiteral("\r"));  // Enter posts the row
    EXPECT_FALSE(store::TDM::IsEditing(Dm().TablePathes()));
    ASSERT_EQ(Dm().TablePathes().Text(QStringLiteral("Name")), QStringLiteral("Обход"));
    const int pathId = Dm().TablePathes().Value(QStringLiteral("ID")).toInt();
    DBGrid* points = Focus("TabSheetRound", "TabSheetPathes", "DBGridPPathes");
    for (int i : {0, 2, 1}) {
        Trigger("ActionNewRec");
        ASSERT_TRUE(points->Editing());
        const QModelIndex cell = points->model()->index(points->currentIndex().row(), 0);
        ASSERT_TRUE(points->model()->setData(cell, pointKeys[i], Qt::EditRole));
        EXPECT_EQ(cell.data().toString(), names[i]);
        Trigger("ActionPostRec");
    }
    EXPECT_EQ(Dm().TablePPathes().RecordCount(), 3);

    // Write the collector for the guard and the path in mode 2.
    window->ShowPage(QStringLiteral("TabSheetKordex"), QStringLiteral("TabSheetWrite"));
    WritePage& write = window->WritePageWidget();
    write.GuardChoice()->SetKeyValue(guardKey);
    write.PathChoice()->SetKeyValue(pathId);
    write.PathChanged();
    write.SetPathMode(2);
    prompt.Clear();
    Trigger("ActionDWrite");
    ASSERT_TRUE(prompt.Texts().contains(collector::text::WriteDone))
        << prompt.Texts().join('|').toStdString();

    // The guard walks 3, 1, 2 (the path wants 1, 3, 2).
    const QDateTime start = clock.Now();
    collector.Touch(pointKeys[2], start.addSecs(5 * 60));
    collector.Touch(pointKeys[0], start.addSecs(12 * 60));
    collector.Touch(pointKeys[1], start.addSecs(20 * 60));

    // Read it back and keep it.
    prompt.Clear();
    Trigger("ActionDRead");
    ASSERT_EQ(prompt.Texts(), QStringList({collector::text::ReadDone}));
    prompt.Script({shell::Answer::Yes});
    window->PageControl()->setCurrentWidget(
        window->findChild<QWidget*>(QStringLiteral("TabSheetEvents")));
    window->ShowPage(QStringLiteral("TabSheetEvents"), QStringLiteral("TabSheetKDEvents"));

    // The round on the rounds page, judged against the path.
    store::View& rounds = Dm().TableKDEvents();
    ASSERT_EQ(rounds.RecordCount(), 1);
    EXPECT_EQ(window->Grid("DBGridKDEvents")->model()->rowCount(), 1);
    EXPECT_EQ(rounds.Text(QStringLiteral("LGuard")), QStringLiteral("Петров П.П."));
    EXPECT_EQ(rounds.Text(QStringLiteral("LPath")), QStringLiteral("Обход"));
    EXPECT_EQ(rounds.Value(QStringLiteral("Mode")).toInt(), 2);
    EXPECT_EQ(rounds.Value(QStringLiteral("FromN")).toInt(), 3);
    EXPECT_EQ(rounds.Value(QStringLiteral("N")).toInt(), 3);
    // Ворота was passed by on the way to Гараж and reached later, out of order.
    store::View& touches = Dm().TableKDREvents();
    QStringList judged;
    for (int i = 0; i < touches.RecordCount(); ++i) {
        const std::vector<QVariant> row = touches.RowAt(i);
        judged << row.at(touches.FieldIndex(QStringLiteral("CPoint"))).toString() + ": " +
                      row.at(touches.FieldIndex(QStringLiteral("CComment"))).toString();
    }
    EXPECT_EQ(judged.size(), 3);
    EXPECT_EQ(judged.filter(QStringLiteral("Ворота: Точка не по порядку")).size(), 1)
        << judged.join(" | ").toStdString();
    EXPECT_EQ(window->Grid("DBGridKDREvs")->model()->rowCount(), 3);
}

TEST_F(TableCommands, CtrlWithALetterDoesNotStartTheFastFindShiftDoes) {
    AddUser(AdminKey, QStringLiteral("Администратор"), {}, {});
    DBGrid* users = Focus("TabSheetUsers", {}, "DBGridUsers");
    users->setCurrentIndex(users->model()->index(0, 1));
    QTest::keyClick(users, Qt::Key_K, Qt::ControlModifier);
    EXPECT_EQ(TPanelFFind::Current(), nullptr);
    QTest::keyClick(users, Qt::Key_A, Qt::ShiftModifier);
    EXPECT_NE(TPanelFFind::Current(), nullptr);
}

TEST_F(TableCommands, SortAndCopyWorkOnTheFocusedGrid) {
    store::View& points = Dm().TablePoints();
    const QStringList keys = {sim::TouchKeyText(0x0B02), sim::TouchKeyText(0x0B01)};
    const QStringList names = {"Арка", "Baza"};
    for (int i = 0; i < 2; ++i) {
        points.Append();
        points.SetValue(QStringLiteral("Key"), keys[i]);
        points.SetValue(QStringLiteral("Name"), names[i]);
        points.Post();
    }
    Focus("TabSheetRound", "TabSheetPoints", "DBGridPoints");
    EXPECT_TRUE(window->Action("ActionSortByName")->isChecked());
    Trigger("ActionSortByKey");
    EXPECT_EQ(points.OrderFields(), QStringList({"Key"}));
    EXPECT_TRUE(window->Action("ActionSortByKey")->isChecked());
    EXPECT_TRUE(
        window->findChild<QToolButton*>(QStringLiteral("ToolButtonSortByKey"))->isChecked());
    points.First();
    EXPECT_EQ(points.Text(QStringLiteral("Key")), keys[1]);

    // A copied path point is appended at the end of the path, pending.
    store::View& pathes = Dm().TablePathes();
    pathes.Append();
    pathes.SetValue(QStringLiteral("Name"), QStringLiteral("Маршрут"));
    pathes.Post();
    store::View& pp = Dm().TablePPathes();
    for (const QString& k : keys) {
        pp.Append();
        pp.SetValue(QStringLiteral("Key"), k);
        pp.Post();
    }
    Focus("TabSheetRound", "TabSheetPathes", "DBGridPPathes");
    pp.First();
    Trigger("ActionCopyRec");
    ASSERT_TRUE(store::TDM::IsEditing(pp));
    EXPECT_EQ(pp.Text(QStringLiteral("Key")), keys[0]);
    pp.Post();
    EXPECT_EQ(pp.RecordCount(), 3);
    pp.Last();
    EXPECT_EQ(pp.Text(QStringLiteral("Key")), keys[0]);
}
