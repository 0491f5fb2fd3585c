#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QRegularExpression>
#include <QTest>
#include <QVBoxLayout>

#include "../store/ModuleFixture.h"
#include "app/table/FastFind.h"
#include "link/KeyId.h"
#include "store/Rules.h"
#include "widgets/DBGrid.h"

using namespace kordex;
using namespace kordex::app;
using namespace kordex::widgets;
using namespace kordex::store;
using namespace kordex::store::testing;

namespace {

QString KeyOf(uint32_t serial) {
    return link::TouchKeyText(serial);
}

// The data module with its rules, and a grid in an active window beside
// another control. Keys go to the window, which hands them to whatever has the
// focus, as a keyboard does.
class GridEditingTest : public ModuleTest {
protected:
    void SetUp() override {
        ModuleTest::SetUp();
        Open();
        rules = std::make_unique<Rules>(*dm);
        auto* layout = new QVBoxLayout(&window);
        other = new QLineEdit(&window);
        grid = new DBGrid(&window);
        layout->addWidget(other);
        layout->addWidget(grid);
        window.resize(640, 360);
        window.show();
        window.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    }

    void TearDown() override {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    void Show(View& view, std::vector<GridColumn> columns) {
        grid->SetGrid(view, std::move(columns));
        grid->setFocus();
        ASSERT_TRUE(grid->hasFocus());
    }

    void AddPoints() {
        Add(dm->TablePoints(), {{"Key", KeyOf(1)}, {"Name", "Въезд"}});
        Add(dm->TablePoints(), {{"Key", KeyOf(2)}, {"Name", "Анкер"}});
        Add(dm->TablePoints(), {{"Key", KeyOf(3)}, {"Name", "Склад"}});
    }

    void Type(const QString& text) {
        for (const QChar ch : text)
            QTest::sendKeyEvent(QTest::Click, window.windowHandle(), Qt::Key_unknown, QString(ch),
                                Qt::NoModifier);
    }
    void Press(Qt::Key key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
        QTest::keyClick(window.windowHandle(), key, mods);
    }

    // The column of the grid's current cell.
    void Column(int column) {
        grid->setCurrentIndex(grid->model()->index(grid->currentIndex().row(), column));
        ASSERT_EQ(grid->currentIndex().column(), column);
    }

    // The focus is in the grid or in its editor.
    bool FocusInGrid() const {
        QWidget* f = QApplication::focusWidget();
        return f == grid || (f != nullptr && grid->isAncestorOf(f));
    }

    QStringList Texts(int column) const {
        QStringList out;
        for (int r = 0; r < grid->model()->rowCount(); ++r)
            out << grid->model()->index(r, column).data().toString();
        return out;
    }

    std::unique_ptr<Rules> rules;
    QWidget window;
    QLineEdit* other = nullptr;
    DBGrid* grid = nullptr;
};

}  // namespace

// --- The pending row and the row being edited -------------------------------------

TEST_F(GridEditingTest, TheRowBeingWrittenIsPostedToItsPlaceOrDropped) {
    enum class Start { Append, Edit };
    enum class End { CommandPost, ViewPost, ViewCancel, EscapeInEditor, EscapeInGrid };
    struct Case {
        const char* name;
        Start start;
        End end;
        QStringList rows;     // names after the end
        const char* current;  // the view's row after the end
    } cases[] = {
        {"append, post",
         Start::Append,
         End::CommandPost,
         {"Анкер", "Ворота", "Въезд", "Склад"},
         "Ворота"},
        {"append, post elsewhere",
         Start::Append,
         End::ViewPost,
         {"Анкер", "Ворота", "Въезд", "Склад"},
         "Ворота"},
        {"append, cancel elsewhere",
         Start::Append,
         End::ViewCancel,
         {"Анкер", "Въезд", "Склад"},
         "Въезд"},
        {"append, escape",
         Start::Append,
         End::EscapeInEditor,
         {"Анкер", "Въезд", "Склад"},
         "Въезд"},
        {"append, escape in grid",
         Start::Append,
         End::EscapeInGrid,
         {"Анкер", "Въезд", "Склад"},
         "Въезд"},
        {"edit, post", Start::Edit, End::CommandPost, {"Анкер", "Ворота", "Склад"}, "Ворота"},
        {"edit, post elsewhere",
         Start::Edit,
         End::ViewPost,
         {"Анкер", "Ворота", "Склад"},
         "Ворота"},
        {"edit, escape", Start::Edit, End::EscapeInEditor, {"Анкер", "Въезд", "Склад"}, "Въезд"},
    };
    AddPoints();
    View& points = dm->TablePoints();
    Show(points, {{"Key", "Номер ключа"}, {"Name", "Название точки обхода"}});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(points.Locate("Name", "Въезд"));
        ASSERT_EQ(grid->currentIndex().row(), 1);
        const QStringList before = Texts(1);

        if (c.start == Start::Append) {
            points.Append();
            points.SetValue("Key", KeyOf(4));
            // One more row after the last, current, marked as new.
            ASSERT_EQ(grid->model()->rowCount(), 4);
            EXPECT_EQ(grid->currentIndex().row(), 3);
            EXPECT_EQ(grid->model()->headerData(3, Qt::Vertical).toString(), "*");
            EXPECT_EQ(Texts(0).last(), KeyOf(4));
            EXPECT_EQ(Texts(1), before + QStringList{""});
        } else {
            points.Edit();
            EXPECT_EQ(grid->model()->rowCount(), 3);
            EXPECT_EQ(grid->currentIndex().row(), 1);
        }
        const int row = grid->currentIndex().row();
        Column(1);
        grid->SetEditing(true);
        ASSERT_TRUE(grid->Editing());
        ASSERT_TRUE(grid->OpenEditor());
        ASSERT_NE(grid->Editor(), nullptr);
        Type("Ворота");  // in place of what the cell held
        EXPECT_EQ(points.Text("Name"), c.start == Start::Append ? "" : "Въезд");

        switch (c.end) {
            case End::CommandPost:  // as the post command does it
                grid->CloseEditor();
                EXPECT_EQ(points.Text("Name"), "Ворота");
                EXPECT_EQ(grid->model()->index(row, 1).data().toString(), "Ворота");
                points.Post();
                break;
            case End::ViewPost:
                Press(Qt::Key_Backtab);  // leaving the cell writes it
                EXPECT_EQ(points.Text("Name"), "Ворота");
                EXPECT_EQ(grid->currentIndex().column(), 0);
                points.Post();
                break;
            case End::ViewCancel:
                points.Cancel();
                break;
            case End::EscapeInEditor:
                Press(Qt::Key_Escape);
                break;
            case End::EscapeInGrid:
                grid->CloseEditor(false);
                ASSERT_EQ(grid->Editor(), nullptr);
                ASSERT_TRUE(grid->hasFocus());
                Press(Qt::Key_Escape);
                break;
        }
        EXPECT_EQ(points.State(), ViewState::Browse);
        EXPECT_FALSE(grid->Editing());
        EXPECT_EQ(grid->Editor(), nullptr);
        EXPECT_TRUE(FocusInGrid());
        EXPECT_EQ(Texts(1), c.rows);
        EXPECT_EQ(points.Text("Name"), QString::fromUtf8(c.current));
        EXPECT_EQ(grid->currentIndex().row(), points.RecNo() - 1);
        EXPECT_EQ(grid->currentIndex().column(), c.end == End::ViewPost ? 0 : 1);
        EXPECT_NE(grid->model()->headerData(grid->model()->rowCount() - 1, Qt::Vertical).toString(),
                  "*");

        // Browsing again: nothing is edited in place.
        grid->SetEditing(true);
        EXPECT_FALSE(grid->Editing());
        EXPECT_FALSE(grid->OpenEditor());
        // The points as they were, for the next case.
        if (!points.Locate("Name", "Ворота")) continue;
        if (c.start == Start::Append) {
            ScopedFlag permit(dm->DeletePermitted, true);
            points.Delete();
        } else {
            points.Edit();
            points.SetValue("Name", "Въезд");
            points.Post();
        }
    }
}

TEST_F(GridEditingTest, TypedValuesAreWrittenIntoTheRowAsTheirFieldsTakeThem) {
    struct Case {
        const char* name;
        int column;
        QString typed;
        QVariant written;
    } cases[] = {
        {"text", 1, "Обход", "Обход"},
        {"text cut to its size", 2, QString(40, QLatin1Char('x')), QString(32, QLatin1Char('x'))},
        {"key", 0, KeyOf(7), KeyOf(7)},
    };
    View& users = dm->TableUsers();
    Show(users, {{"Key", "Номер ключа"},
                 {"Name", "Имя пользователя"},
                 {"Passwrd", "Пароль"},
                 {"IsAdmin", "Администратор"}});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        users.Append();
        grid->SetEditing(true);
        Column(c.column);
        Type(c.typed);
        Press(Qt::Key_Return);  // closes the editor, writing its value
        EXPECT_EQ(grid->Editor(), nullptr);
        EXPECT_EQ(users.Value(c.column), c.written);
        users.Cancel();
    }

    // A boolean is checked in place while its row is edited, and only then.
    // An empty one can be checked: it shows unchecked.
    users.Append();
    grid->SetEditing(true);
    Column(3);
    EXPECT_EQ(grid->currentIndex().data(Qt::CheckStateRole).toInt(), Qt::Unchecked);
    users.Cancel();
    Add(users, {{"Key", KeyOf(1)}, {"Name", "Смирнов"}, {"IsRegister", true}});
    Add(users, {{"Key", KeyOf(2)}, {"Name", "Петров"}, {"IsAdmin", false}});
    ASSERT_TRUE(users.Locate("Name", "Петров"));
    Column(3);
    const QModelIndex admin = grid->currentIndex();
    Press(Qt::Key_Space);
    EXPECT_FALSE(users.Value("IsAdmin").toBool());
    users.Edit();
    grid->SetEditing(true);
    Press(Qt::Key_Space);
    EXPECT_TRUE(users.Value("IsAdmin").toBool());
    EXPECT_EQ(admin.data(Qt::CheckStateRole).toInt(), Qt::Checked);
    Press(Qt::Key_Space);
    EXPECT_FALSE(users.Value("IsAdmin").toBool());
    EXPECT_FALSE(users.IsNull("IsAdmin"));
    users.Cancel();
}

TEST_F(GridEditingTest, APathPointIsChosenByTheNameOfItsCheckPoint) {
    AddPoints();
    Add(dm->TablePathes(), {{"Name", "Обход"}});
    View& pathPoints = dm->TablePPathes();
    Show(pathPoints, {{"LPoint", "Название точки обхода"}});

    pathPoints.Append();
    grid->SetEditing(true);
    Type("С");  // opens the list of the check points, chooses by the first letter
    auto* list = qobject_cast<QComboBox*>(grid->Editor());
    ASSERT_NE(list, nullptr);
    QStringList items;
    for (int i = 0; i < list->count(); ++i)
        items << list->itemText(i);
    EXPECT_EQ(items, (QStringList{"Анкер", "Въезд", "Склад"}));
    // Written at once: the key, and the name shown beside it.
    EXPECT_EQ(pathPoints.Text("Key"), KeyOf(3));
    EXPECT_EQ(pathPoints.Text("LPoint"), "Склад");
    EXPECT_EQ(grid->currentIndex().data().toString(), "Склад");
    grid->CloseEditor();
    pathPoints.Post();
    EXPECT_EQ(Texts(0), QStringList{"Склад"});

    // A point edited: the list starts on its check point.
    pathPoints.Edit();
    grid->SetEditing(true);
    ASSERT_TRUE(grid->OpenEditor());
    list = qobject_cast<QComboBox*>(grid->Editor());
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->currentText(), "Склад");
    Press(Qt::Key_Up);
    EXPECT_EQ(pathPoints.Text("Key"), KeyOf(1));
    EXPECT_EQ(grid->currentIndex().data().toString(), "Въезд");
    Press(Qt::Key_Escape);
    EXPECT_EQ(Texts(0), QStringList{"Склад"});
}

// --- Keys ---------------------------------------------------------------------------

TEST_F(GridEditingTest, TabMovesBetweenTheColumnsOnlyWhileTheRowIsEditedAndNeverLeavesTheGrid) {
    struct Case {
        const char* name;
        bool editRow;  // the view edits its row, the grid is in editing
        int from;
        Qt::Key key;
        Qt::KeyboardModifiers mods;
        int to;
    } cases[] = {
        {"browsing", false, 0, Qt::Key_Tab, Qt::NoModifier, 0},
        {"browsing, back", false, 1, Qt::Key_Backtab, Qt::ShiftModifier, 1},
        {"browsing, with Ctrl", false, 0, Qt::Key_Tab, Qt::ControlModifier, 0},
        {"editing", true, 0, Qt::Key_Tab, Qt::NoModifier, 1},
        {"editing, back", true, 1, Qt::Key_Backtab, Qt::ShiftModifier, 0},
        {"editing, past the last column", true, 1, Qt::Key_Tab, Qt::NoModifier, 1},
        {"editing, before the first column", true, 0, Qt::Key_Backtab, Qt::ShiftModifier, 0},
    };
    AddPoints();
    View& points = dm->TablePoints();
    Show(points, {{"Key", "Номер ключа"}, {"Name", "Название точки обхода"}});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        points.First();
        Column(c.from);
        if (c.editRow) {
            points.Edit();
            grid->SetEditing(true);
            ASSERT_TRUE(grid->OpenEditor());
        }
        Press(c.key, c.mods);
        EXPECT_EQ(grid->currentIndex().column(), c.to);
        EXPECT_EQ(grid->currentIndex().row(), 0);
        EXPECT_TRUE(FocusInGrid());
        // Entering a column of the row being edited opens its editor.
        EXPECT_EQ(grid->Editor() != nullptr, c.editRow);
        points.Cancel();
        EXPECT_EQ(grid->Editor(), nullptr);
    }

    // The key hook is asked first, for keys typed into the editor as well.
    QList<int> hooked;
    grid->keyHook = [&](QKeyEvent* e) {
        hooked << e->key();
        return e->key() == Qt::Key_Tab;
    };
    points.First();
    Column(0);
    points.Edit();
    grid->SetEditing(true);
    ASSERT_TRUE(grid->OpenEditor());
    Press(Qt::Key_Tab);
    EXPECT_EQ(grid->currentIndex().column(), 0);
    Type("0");
    Press(Qt::Key_Escape);
    EXPECT_EQ(hooked, (QList<int>{Qt::Key_Tab, Qt::Key_unknown, Qt::Key_Escape}));
    EXPECT_EQ(points.State(), ViewState::Browse);
}

TEST_F(GridEditingTest, KeysTypedIntoAnEditorGoThroughTheGridsKeyHandlingFirst) {
    View& points = dm->TablePoints();
    Show(points, {{"Key", "Номер ключа"}, {"Name", "Название точки обхода"}});
    grid->setProperty("tag", 1);
    GridKeys keys(*dm);
    keys.Attach(grid);
    QList<DBGrid*> posted;
    keys.postRow = [&](DBGrid* g) {  // as the post command
        posted << g;
        g->CloseEditor();
        g->View()->Post();
    };
    const QString key = KeyOf(0xABCDEF);
    ASSERT_TRUE(key.contains(QRegularExpression("^[0-9A-F]+$"))) << key.toStdString();

    points.Append();
    grid->SetEditing(true);
    ASSERT_EQ(grid->currentIndex().column(), 0);
    ASSERT_TRUE(grid->OpenEditor());
    // The key column takes hexadecimal digits only, small letters as capitals.
    Type(key.left(4).toLower() + "gz" + key.mid(4).toLower());
    auto* edit = qobject_cast<QLineEdit*>(grid->Editor());
    ASSERT_NE(edit, nullptr);
    EXPECT_EQ(edit->text(), key);
    Press(Qt::Key_Tab);
    EXPECT_EQ(points.Text("Key"), key);
    EXPECT_EQ(grid->currentIndex().column(), 1);
    Type("ворота");  // any letter elsewhere; no fast find while the row is edited
    // Enter in the editor is the grid's: the row is posted at once.
    Press(Qt::Key_Return);
    EXPECT_EQ(posted, QList<DBGrid*>{grid});
    EXPECT_EQ(points.State(), ViewState::Browse);
    EXPECT_EQ(points.Text("Name"), "ворота");
    EXPECT_EQ(points.Text("Key"), key);
    EXPECT_FALSE(grid->Editing());
    EXPECT_EQ(grid->Editor(), nullptr);
    EXPECT_EQ(TPanelFFind::Current(), nullptr);
}

// --- The model ------------------------------------------------------------------------

TEST_F(GridEditingTest, OnlyTheCellsOfTheRowBeingEditedAreEditableAndTakeWhatTheirFieldsTake) {
    Add(dm->TableKDs(), {{"Key", KeyOf(5)}, {"Name", "Kordex 1"}});
    View& rounds = dm->TableKDEvents();
    Add(rounds, {{"DateReg", Stamp(5, 8)}, {"IDKD", KeyOf(5)}, {"N", 4}});
    Add(rounds, {{"DateReg", Stamp(6, 8)}, {"N", 2}});
    GridModel model(rounds, {{"DateReg", "Регистрация"},
                             {"IDKD", "Kordex"},
                             {"LKD", "Название"},
                             {"CMode", "Режим"},
                             {"N", "Точек"}});
    rounds.First();
    const auto editable = [&](int row, int column) {
        return model.flags(model.index(row, column)).testFlag(Qt::ItemIsEditable);
    };
    const int idkd = 1, lkd = 2, cmode = 3, n = 4;
    EXPECT_FALSE(editable(0, n));  // browsing
    rounds.Edit();
    EXPECT_FALSE(editable(0, n));  // not in editing
    model.SetEditable(true);
    const bool expected[] = {false, true, true, false, true};  // no date-times, no calculations
    for (int column = 0; column < model.columnCount(); ++column) {
        EXPECT_EQ(editable(0, column), expected[column]) << column;
        EXPECT_FALSE(editable(1, column)) << column;
    }
    EXPECT_EQ(model.data(model.index(0, lkd), GridModel::KeyRole).toString(), KeyOf(5));

    struct Case {
        int column;
        QVariant value;
        bool taken;
        const char* field;
        QVariant stored;
    } cases[] = {
        {n, "12", true, "N", 12},
        {n, "", true, "N", {}},
        {n, "x1", false, "N", {}},
        {n, "40000", false, "N", {}},  // beyond a small integer
        {lkd, KeyOf(9), true, "IDKD", KeyOf(9)},
        {idkd, KeyOf(5), true, "IDKD", KeyOf(5)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.column << " " << c.value.toString().toStdString());
        EXPECT_EQ(model.setData(model.index(0, c.column), c.value), c.taken);
        EXPECT_EQ(rounds.Value(QString::fromLatin1(c.field)), c.stored);
    }
    EXPECT_EQ(model.data(model.index(0, lkd)).toString(), "Kordex 1");
    const QVariant mode = rounds.Value("CMode");
    EXPECT_FALSE(model.setData(model.index(0, cmode), "Другой"));
    EXPECT_EQ(rounds.Value("CMode"), mode);
    EXPECT_FALSE(model.setData(model.index(1, n), "3"));
    rounds.Cancel();
    EXPECT_FALSE(editable(0, n));
    EXPECT_FALSE(model.setData(model.index(0, n), "3"));
    EXPECT_EQ(model.data(model.index(0, n)).toString(), "4");
}
