#include <gtest/gtest.h>

#include <QApplication>
#include <QButtonGroup>
#include <QHeaderView>
#include <QImage>
#include <QKeyEvent>
#include <QPainter>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>

#include "../store/ModuleFixture.h"
#include "link/KeyId.h"
#include "store/Rules.h"
#include "widgets/DBGrid.h"
#include "widgets/DataWidgets.h"

using namespace kordex;
using namespace kordex::widgets;
using namespace kordex::store;
using namespace kordex::store::testing;

namespace {

QString KeyOf(uint32_t serial) {
    return link::TouchKeyText(serial);
}

// The data module with its rules, opened, as the program runs it.
class DataWidgetsTest : public ModuleTest {
protected:
    void SetUp() override {
        ModuleTest::SetUp();
        Open();
        rules = std::make_unique<Rules>(*dm);
    }

    void AddPoints() {
        Add(dm->TablePoints(), {{"Key", KeyOf(1)}, {"Name", "Въезд"}});
        Add(dm->TablePoints(), {{"Key", KeyOf(2)}, {"Name", "Анкер"}});
        Add(dm->TablePoints(), {{"Key", KeyOf(3)}, {"Name", "Склад"}});
    }

    // The registrar first: a user posted while there is none becomes an administrator.
    void AddPeople() {
        Add(dm->TableUsers(), {{"Key", KeyOf(23)}, {"Name", "Смирнов"}, {"IsRegister", true}});
        Add(dm->TableUsers(),
            {{"Key", KeyOf(21)}, {"Name", "Петров"}, {"IsRegister", false}, {"IsAdmin", true}});
        Add(dm->TableUsers(), {{"Key", KeyOf(22)}, {"Name", "Иванов"}, {"IsRegister", false}});
    }

    std::unique_ptr<Rules> rules;
};

// What a user's choice in the list does.
void Choose(DBLookupComboBox& combo, const QString& text) {
    const int i = combo.findText(text);
    ASSERT_GE(i, 0) << text.toStdString();
    combo.setCurrentIndex(i);
    emit combo.activated(i);
}

// Typing into a widget, one key a character.
void Type(QWidget* w, const QString& text) {
    for (const QChar ch : text) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(ch));
        QApplication::sendEvent(w, &press);
    }
}

QStringList Items(const QComboBox& combo) {
    QStringList out;
    for (int i = 0; i < combo.count(); ++i)
        out << combo.itemText(i);
    return out;
}

}  // namespace

// --- The grid ---------------------------------------------------------------------

TEST_F(DataWidgetsTest, GridAndViewMoveTogether) {
    AddPoints();
    View& points = dm->TablePoints();
    DBGrid grid;
    grid.SetGrid(points, {{"Key", "Ключ"}, {"Name", "Наименование"}});
    grid.resize(400, 200);
    grid.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&grid));
    const auto name = [&] { return points.Text("Name"); };
    const auto row = [&] { return grid.currentIndex().row(); };

    // The view moving moves the current cell, which is selected.
    ASSERT_TRUE(points.Locate("Name", "Въезд"));
    EXPECT_EQ(row(), 1);
    EXPECT_TRUE(grid.selectionModel()->isSelected(grid.currentIndex()));
    points.First();
    EXPECT_EQ(row(), 0);

    // A click moves the view.
    const QModelIndex last = grid.model()->index(2, 1);
    QTest::mouseClick(grid.viewport(), Qt::LeftButton, {}, grid.visualRect(last).center());
    EXPECT_EQ(points.RecNo(), 3);
    EXPECT_EQ(name(), "Склад");
    EXPECT_EQ(grid.currentIndex().column(), 1);

    // The key hook comes first; what it leaves to the grid moves as usual.
    QList<int> hooked;
    grid.keyHook = [&](QKeyEvent* e) {
        hooked << e->key();
        return e->key() == Qt::Key_F3;
    };
    QTest::keyClick(&grid, Qt::Key_F3);
    EXPECT_EQ(points.RecNo(), 3);
    QTest::keyClick(&grid, Qt::Key_Up);
    EXPECT_EQ(hooked, (QList<int>{Qt::Key_F3, Qt::Key_Up}));
    EXPECT_EQ(name(), "Въезд");

    // After rows came the cell is on the view's row again, in the same column.
    Add(points, {{"Key", KeyOf(4)}, {"Name", "Ангар"}});
    ASSERT_EQ(grid.model()->rowCount(), 4);
    EXPECT_EQ(row(), points.RecNo() - 1);
    EXPECT_EQ(grid.currentIndex().column(), 1);
    EXPECT_EQ(grid.model()->index(row(), 1).data().toString(), "Ангар");
}

TEST_F(DataWidgetsTest, GridColumnsTakeTheirFieldsWidthsAndKeepDraggedOnes) {
    AddPoints();
    DBGrid grid;
    grid.SetGrid(dm->TablePoints(), {{"Key", "Ключ"}, {"Name", "Наименование"}});
    const auto hint = [&](int c) { return grid.Model()->WidthHint(c, grid.fontMetrics()); };
    for (int c = 0; c < 2; ++c)
        EXPECT_EQ(grid.ColumnWidths().at(static_cast<size_t>(c)), hint(c)) << c;
    EXPECT_NE(hint(0), hint(1));
    // The last column stretches to the grid's edge; the others are as wide as asked.
    EXPECT_EQ(grid.columnWidth(0), hint(0));
    EXPECT_GE(grid.columnWidth(1), hint(1));

    grid.horizontalHeader()->resizeSection(0, 77);
    dm->TablePoints().Refresh();
    Add(dm->TablePoints(), {{"Key", KeyOf(4)}, {"Name", "Ангар"}});
    EXPECT_EQ(grid.columnWidth(0), 77);
    EXPECT_EQ(grid.ColumnWidths().at(0), 77);
    EXPECT_EQ(grid.ColumnWidths().at(1), hint(1));
}

TEST_F(DataWidgetsTest, TouchCellsAreDrawnInTheirKindsColours) {
    Add(dm->TablePoints(), {{"Key", KeyOf(11)}, {"Name", "Ворота"}});
    Add(dm->TablePrBook(), {{"Key", KeyOf(13)}, {"Name", "Пожар"}});
    Add(dm->TableKDEvents(), {{"DateReg", Stamp(5, 8)}});
    View& touches = dm->TableKDREvents();
    Add(touches, {{"Date", Stamp(5, 9, 1)}, {"Key", KeyOf(11)}, {"Type", 0}});  // check point
    Add(touches, {{"Date", Stamp(5, 9, 2)}, {"Key", KeyOf(13)}});               // incident
    DBGrid grid;
    grid.SetGrid(touches, {{"Date", "Дата и время"}, {"CPoint", "Событие"}});
    ASSERT_TRUE(grid.Model()->IsTouchGrid());
    ASSERT_EQ(grid.Model()->rowCount(), 2);

    const QColor red(255, 0, 0), sentinel(0, 255, 255);
    const QColor highlight = grid.palette().color(QPalette::Active, QPalette::Highlight);
    struct Case {
        int row;
        bool selected, panelOpen;
        QColor background;  // at the cell's corner
        QColor text;        // invalid: the selection colours
    } cases[] = {
        {1, true, true, red, Qt::white},
        {0, true, true, highlight, {}},  // a check point keeps the selection colours
        {1, true, false, sentinel, red},
        {1, false, true, sentinel, red},
        {0, false, true, sentinel, Qt::black},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.row << c.selected << c.panelOpen);
        grid.SetFindPanelOpen(c.panelOpen);
        QStyleOptionViewItem option;
        option.initFrom(&grid);
        option.widget = &grid;
        option.rect = QRect(0, 0, 120, 20);
        option.showDecorationSelected = true;  // as a table view draws its cells
        option.state = QStyle::State_Enabled | QStyle::State_Active;
        if (c.selected) option.state |= QStyle::State_Selected;
        const QModelIndex index = grid.Model()->index(c.row, 1);

        QImage image(option.rect.size(), QImage::Format_RGB32);
        image.fill(sentinel);
        {
            QPainter painter(&image);
            grid.CellDelegate()->paint(&painter, option, index);
        }
        EXPECT_EQ(QColor(image.pixel(2, 2)), c.background);

        const std::optional<CellColors> colors = grid.CellDelegate()->ColorsOf(option, index);
        ASSERT_TRUE(colors.has_value());
        EXPECT_EQ(colors->selectionColors, !c.text.isValid());
        if (c.text.isValid()) {
            EXPECT_EQ(colors->text, c.text);
        }
    }

    // Other grids have no touch colours.
    Add(dm->TablePathes(), {{"Name", "Обход"}});
    DBGrid paths;
    paths.SetGrid(dm->TablePathes(), {{"Name", "Маршрут"}});
    QStyleOptionViewItem option;
    option.widget = &paths;
    EXPECT_FALSE(paths.CellDelegate()->ColorsOf(option, paths.Model()->index(0, 0)).has_value());
}

// --- The lookup combo box ---------------------------------------------------------

TEST_F(DataWidgetsTest, LookupComboListsTheGuardsAndFollowsTheirRows) {
    AddPeople();
    DBLookupComboBox combo;
    combo.SetListView(&dm->TableGuards());
    EXPECT_EQ(combo.ListView(), &dm->TableGuards());
    EXPECT_EQ(Items(combo), Column(dm->TableGuards(), "Name"));
    EXPECT_TRUE(Items(combo).contains("Петров"));
    EXPECT_FALSE(Items(combo).contains("Смирнов"));  // a registrar
    EXPECT_FALSE(combo.KeyValue().isValid());

    combo.SetKeyValue(KeyOf(22));
    EXPECT_EQ(combo.currentText(), "Иванов");
    EXPECT_EQ(combo.KeyValue().toString(), KeyOf(22));
    combo.SetKeyValue(KeyOf(99));
    EXPECT_EQ(combo.currentIndex(), -1);
    EXPECT_FALSE(combo.KeyValue().isValid());

    // A guard posted shows after the guards' refresh; the selection stays.
    combo.SetKeyValue(KeyOf(22));
    Add(dm->TableUsers(), {{"Key", KeyOf(24)}, {"Name", "Кузнецов"}, {"IsRegister", false}});
    EXPECT_EQ(Items(combo), Column(dm->TableGuards(), "Name"));
    EXPECT_TRUE(Items(combo).contains("Кузнецов"));
    EXPECT_EQ(combo.KeyValue().toString(), KeyOf(22));
    TDM::RefreshLookup(combo);
    EXPECT_EQ(combo.currentText(), "Иванов");

    // Another key field.
    combo.SetKeyField("Name");
    combo.SetKeyValue("Петров");
    EXPECT_EQ(combo.KeyValue().toString(), "Петров");
}

// Those who follow a list's choice (the write page's path mode) hear when the
// chosen row is gone from the list, and only then.
TEST_F(DataWidgetsTest, LookupComboTellsWhenItsChosenRowIsGone) {
    AddPeople();
    DBLookupComboBox combo;
    combo.SetListView(&dm->TableGuards());
    combo.SetKeyValue(KeyOf(22));
    QSignalSpy changes(&combo, &QComboBox::currentIndexChanged);

    Add(dm->TableUsers(), {{"Key", KeyOf(24)}, {"Name", "Кузнецов"}, {"IsRegister", false}});
    EXPECT_EQ(combo.KeyValue().toString(), KeyOf(22));
    EXPECT_EQ(changes.count(), 0);

    dm->DeleteFromTable(dm->TableUsers(), "Key", KeyOf(22));
    dm->TableGuards().Refresh();
    EXPECT_FALSE(Items(combo).contains("Иванов"));
    EXPECT_EQ(combo.currentIndex(), -1);
    ASSERT_EQ(changes.count(), 1);
    EXPECT_EQ(changes[0][0].toInt(), -1);
}

TEST_F(DataWidgetsTest, LookupComboWritesTheChosenKeyOnlyWhileEditing) {
    AddPeople();
    View& rounds = dm->TableKDEvents();
    Add(rounds, {{"DateReg", Stamp(5, 8)}, {"KeyGuard", KeyOf(21)}});
    DBLookupComboBox combo;
    combo.SetListView(&dm->TableGuards());
    combo.SetDataField(&rounds, "KeyGuard");
    EXPECT_EQ(combo.currentText(), "Петров");

    Choose(combo, "Иванов");
    EXPECT_EQ(rounds.Text("KeyGuard"), KeyOf(21));
    EXPECT_EQ(combo.currentText(), "Петров");

    rounds.Edit();
    Choose(combo, "Иванов");
    EXPECT_EQ(rounds.Text("KeyGuard"), KeyOf(22));
    rounds.Post();
    EXPECT_EQ(combo.currentText(), "Иванов");

    // The field's value shows, whoever sets it.
    rounds.Edit();
    rounds.Clear("KeyGuard");
    EXPECT_EQ(combo.currentIndex(), -1);
    rounds.Cancel();
    EXPECT_EQ(combo.currentText(), "Иванов");
}

// --- Edits, check boxes, radio groups ---------------------------------------------

TEST_F(DataWidgetsTest, FieldControlsShowTheCurrentRowAndWriteWhileEditing) {
    AddPeople();
    View& users = dm->TableUsers();
    DBEdit edit;
    DBCheckBox admin("Администратор");
    DBRadioGroup type("Тип");
    type.SetItems({"Охранник", "Регистратор"});
    edit.Bind(&users, "Name");
    admin.Bind(&users, "IsAdmin");
    type.Bind(&users, "IsRegister");
    EXPECT_EQ(edit.maxLength(), 50);

    const auto shown = [&] {
        return QStringList{edit.text(), admin.isChecked() ? "admin" : "-",
                           QString::number(type.ItemIndex())};
    };
    ASSERT_TRUE(users.Locate("Name", "Петров"));
    EXPECT_EQ(shown(), (QStringList{"Петров", "admin", "0"}));
    ASSERT_TRUE(users.Locate("Name", "Смирнов"));
    EXPECT_EQ(shown(), (QStringList{"Смирнов", "admin", "1"}));
    ASSERT_TRUE(users.Locate("Name", "Иванов"));
    EXPECT_EQ(shown(), (QStringList{"Иванов", "-", "0"}));  // an empty IsAdmin is unchecked
    // A value too long for a narrow edit shows its beginning.
    EXPECT_EQ(edit.cursorPosition(), 0);

    // Browsing: what is typed goes back, and the item already checked
    // changes nothing; a click on the box or on another item edits the row.
    Type(&edit, "ё");
    type.Buttons()->button(0)->click();
    EXPECT_EQ(shown(), (QStringList{"Иванов", "-", "0"}));
    EXPECT_EQ(users.State(), ViewState::Browse);
    admin.click();
    EXPECT_EQ(users.State(), ViewState::Edit);
    type.Buttons()->button(1)->click();
    EXPECT_TRUE(users.Value("IsAdmin").toBool());
    EXPECT_TRUE(users.Value("IsRegister").toBool());
    EXPECT_EQ(shown(), (QStringList{"Иванов", "admin", "1"}));
    users.Cancel();
    EXPECT_EQ(shown(), (QStringList{"Иванов", "-", "0"}));
    type.Buttons()->button(1)->click();
    EXPECT_EQ(users.State(), ViewState::Edit);
    users.Cancel();

    // Editing: every change reaches the row.
    users.Edit();
    edit.selectAll();
    Type(&edit, "Сидоров");
    admin.click();
    type.Buttons()->button(1)->click();
    EXPECT_EQ(users.Text("Name"), "Сидоров");
    EXPECT_TRUE(users.Value("IsAdmin").toBool());
    EXPECT_TRUE(users.Value("IsRegister").toBool());
    EXPECT_EQ(shown(), (QStringList{"Сидоров", "admin", "1"}));
    users.Cancel();
    EXPECT_EQ(shown(), (QStringList{"Иванов", "-", "0"}));

    // With the controls off they keep what they show until they come back.
    {
        ControlsOff off(users);
        ASSERT_TRUE(users.Locate("Name", "Петров"));
        EXPECT_EQ(edit.text(), "Иванов");
    }
    EXPECT_EQ(shown(), (QStringList{"Петров", "admin", "0"}));
}

TEST_F(DataWidgetsTest, CalculatedAndLookupEditsFollowTheFieldsTheyAreMadeFrom) {
    AddPeople();
    View& rounds = dm->TableKDEvents();
    DBEdit duration, guard;
    duration.Bind(&rounds, "CDuration");
    guard.Bind(&rounds, "LGuard");
    rounds.Append();
    rounds.SetValue("DateReg", Stamp(3, 8));
    rounds.SetValue("Duration", 1.0 / 24 * 2.5);  // 2 h 30 min
    EXPECT_EQ(duration.text().trimmed(), "2:30");
    ASSERT_TRUE(dm->TableUsers().Locate("Name", "Петров"));
    rounds.SetValue("KeyGuard", dm->TableUsers().Text("Key"));
    EXPECT_EQ(guard.text(), "Петров");
    rounds.Cancel();
}

TEST_F(DataWidgetsTest, RadioGroupItemIsTheFieldValue) {
    View& rounds = dm->TableKDEvents();
    Add(rounds, {{"DateReg", Stamp(5, 8)}, {"Mode", 2}});
    Add(rounds, {{"DateReg", Stamp(6, 8)}, {"Mode", 0}});
    Add(rounds, {{"DateReg", Stamp(7, 8)}});
    Add(rounds, {{"DateReg", Stamp(8, 8)}, {"Mode", 7}});
    DBRadioGroup mode;
    mode.Bind(&rounds, "Mode");
    mode.SetItems({"Любой", "По порядку", "Строго"});
    EXPECT_EQ(mode.Items(), (QStringList{"Любой", "По порядку", "Строго"}));
    const int expected[] = {2, 0, -1, -1};  // empty or unknown: nothing checked
    rounds.First();
    for (int want : expected) {
        EXPECT_EQ(mode.ItemIndex(), want) << rounds.RecNo();
        rounds.Next();
    }

    rounds.First();
    rounds.Edit();
    mode.Buttons()->button(1)->click();
    rounds.Post();
    EXPECT_EQ(rounds.Value("Mode").toInt(), 1);
    EXPECT_EQ(mode.ItemIndex(), 1);
}
