#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <QVBoxLayout>
#include <QWidget>
#include <memory>

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

// The check points in a window with an edit above their grid, the grid keys
// attached as the main window attaches them. Keys go to the window, which hands
// them to whatever has the focus, as a keyboard does.
class FastFindTest : public ModuleTest {
protected:
    void SetUp() override {
        ModuleTest::SetUp();
        Open();
        rules = std::make_unique<Rules>(*dm);
        const char* names[] = {"Склад", "Ангар", "Въезд",    "Гараж",
                               "Сарай", "анкер", "Столовая", "Ворота северные"};
        uint32_t serial = 1;
        for (const char* name : names)
            Add(points(), {{"Key", KeyOf(serial++)}, {"Name", QString::fromUtf8(name)}});

        auto* layout = new QVBoxLayout(&window);
        other = new QLineEdit(&window);
        grid = new DBGrid(&window);
        layout->addWidget(other);
        layout->addWidget(grid);
        grid->SetGrid(points(), {{"Key", "Номер ключа"}, {"Name", "Название точки обхода"}});
        grid->setProperty("tag", 1);
        keys = std::make_unique<GridKeys>(*dm);
        keys->Attach(grid);
        keys->beep = [this] { ++beeps; };
        keys->newOrEditRow = [this](DBGrid* g) { newOrEdit << g; };
        keys->postRow = [this](DBGrid* g) { posted << g; };
        keys->gridExit = [this](DBGrid* g) { exited << g; };
        window.resize(520, 320);
        window.show();
        window.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
        grid->setFocus();
        ASSERT_TRUE(grid->hasFocus());
    }

    void TearDown() override {
        TPanelFFind::CloseFastFind();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        keys.reset();
    }

    View& points() { return dm->TablePoints(); }
    QString Name() { return points().Text("Name"); }

    // The view on the named row, the grid's current cell in the column.
    void Start(const QString& name, int column) {
        ASSERT_TRUE(points().Locate("Name", name)) << name.toStdString();
        grid->setCurrentIndex(grid->model()->index(points().RecNo() - 1, column));
        ASSERT_EQ(grid->currentIndex().column(), column);
    }

    void Type(const QString& text, Qt::KeyboardModifiers mods = Qt::NoModifier) {
        for (const QChar ch : text) {
            const Qt::Key key = ch.isDigit() || ch.isLetter()
                                    ? static_cast<Qt::Key>(ch.toUpper().unicode())
                                    : Qt::Key_unknown;
            QTest::sendKeyEvent(QTest::Click, window.windowHandle(), key, QString(ch), mods);
        }
    }
    void Press(Qt::Key key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
        QTest::keyClick(window.windowHandle(), key, mods);
    }

    TPanelFFind* Panel() { return TPanelFFind::Current(); }

    std::unique_ptr<Rules> rules;
    QWidget window;
    QLineEdit* other = nullptr;
    DBGrid* grid = nullptr;
    std::unique_ptr<GridKeys> keys;
    int beeps = 0;
    QList<DBGrid*> newOrEdit, posted, exited;
};

}  // namespace

// --- Searching --------------------------------------------------------------------

TEST_F(FastFindTest, TypedLettersFindTheFirstRowFromTheCurrentOneInAnyCaseRoundTheView) {
    struct Case {
        const char* start;
        const char* typed;
        const char* found;
        const char* shown;  // as the found row writes it
    } cases[] = {
        {"Ангар", "с", "Сарай", "С"},
        {"Склад", "с", "Склад", "С"},       // the current row first
        {"Столовая", "ск", "Склад", "Ск"},  // round past the end
        {"Гараж", "вЪ", "Въезд", "Въ"},     // Ворота on the way, then Въезд
        {"Ангар", "анк", "анкер", "анк"},   // the row's own small letters
        {"Въезд", "ВОРОТА С", "Ворота северные", "Ворота с"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        Start(QString::fromUtf8(c.start), 1);
        beeps = 0;
        Type(QString::fromUtf8(c.typed));
        ASSERT_NE(Panel(), nullptr);
        EXPECT_EQ(Name(), QString::fromUtf8(c.found));
        EXPECT_EQ(Panel()->ShownText(), QString::fromUtf8(c.shown));
        EXPECT_EQ(Panel()->findChild<QLabel*>()->text(), QString::fromUtf8(c.shown));
        EXPECT_EQ(grid->currentIndex().row(), points().RecNo() - 1);
        EXPECT_EQ(beeps, 0);
        Press(Qt::Key_Escape);
        EXPECT_EQ(Panel(), nullptr);
    }
}

TEST_F(FastFindTest, ACharacterNoRowMatchesBeepsAndIsNotTaken) {
    Start("Ангар", 1);
    Type("ск");
    ASSERT_NE(Panel(), nullptr);
    ASSERT_EQ(Name(), "Склад");

    Type("ж");
    EXPECT_EQ(beeps, 1);
    EXPECT_EQ(Name(), "Склад");
    EXPECT_EQ(Panel()->ShownText(), "Ск");
    EXPECT_FALSE(Panel()->Found());
    // The parked position is given back.
    EXPECT_FALSE(dm->HasBookmark(points().Tag()));

    // The next letter extends what was kept.
    Type("л");
    EXPECT_EQ(Panel()->ShownText(), "Скл");

    // Backspace takes letters off, and beeps on an empty text.
    for (int i = 0; i < 3; ++i)
        Press(Qt::Key_Backspace);
    EXPECT_EQ(Panel()->ShownText(), "");
    EXPECT_EQ(beeps, 1);
    Press(Qt::Key_Backspace);
    EXPECT_EQ(beeps, 2);
    EXPECT_EQ(Name(), "Склад");
}

TEST_F(FastFindTest, F3FindsTheNextOrPreviousMatchingRowRoundTheView) {
    Start("Склад", 1);
    Type("с");
    ASSERT_NE(Panel(), nullptr);
    struct Step {
        Qt::KeyboardModifiers mods;
        const char* found;
        TPanelFFind::Direction direction;
    } steps[] = {
        {Qt::NoModifier, "Столовая", TPanelFFind::Direction::Forwards},
        {Qt::NoModifier, "Сарай", TPanelFFind::Direction::Forwards},  // round past the end
        {Qt::AltModifier, "Столовая", TPanelFFind::Direction::Backwards},
        {Qt::NoModifier, "Склад", TPanelFFind::Direction::Backwards},  // F3 keeps the way
        {Qt::NoModifier, "Сарай", TPanelFFind::Direction::Backwards},
        {Qt::ShiftModifier, "Склад", TPanelFFind::Direction::Forwards},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.found);
        Press(Qt::Key_F3, s.mods);
        ASSERT_NE(Panel(), nullptr);
        EXPECT_EQ(Name(), QString::fromUtf8(s.found));
        EXPECT_EQ(Panel()->SearchDirection(), s.direction);
        EXPECT_EQ(Panel()->ShownText(), "С");
    }
    EXPECT_EQ(beeps, 0);

    // The only row that matches: F3 beeps and stays.
    Type("к");
    ASSERT_EQ(Name(), "Склад");
    Press(Qt::Key_F3);
    EXPECT_EQ(beeps, 1);
    EXPECT_EQ(Name(), "Склад");
    EXPECT_FALSE(dm->HasBookmark(points().Tag()));
}

TEST_F(FastFindTest, F3WithAnEmptyTextMovesOneRowAndRoundTheEnds) {
    Start("Гараж", 1);
    const int row = points().RecNo();
    Type("г");
    Press(Qt::Key_Backspace);
    ASSERT_NE(Panel(), nullptr);
    ASSERT_EQ(Panel()->ShownText(), "");

    Press(Qt::Key_F3);
    EXPECT_EQ(points().RecNo(), row + 1);
    Press(Qt::Key_F3, Qt::AltModifier);
    EXPECT_EQ(points().RecNo(), row);

    points().Last();
    Press(Qt::Key_F3, Qt::ShiftModifier);
    EXPECT_EQ(points().RecNo(), 1);
    Press(Qt::Key_F3, Qt::AltModifier);
    EXPECT_EQ(points().RecNo(), points().RecordCount());
    EXPECT_EQ(beeps, 0);
}

// --- Opening and closing ----------------------------------------------------------

TEST_F(FastFindTest, PanelSitsAboveTheGridOverTheCurrentCell) {
    Start("Гараж", 1);
    Type("г");
    TPanelFFind* panel = Panel();
    ASSERT_NE(panel, nullptr);
    EXPECT_EQ(panel->objectName(), "PanelFFind");
    EXPECT_EQ(panel->parentWidget(), &window);
    EXPECT_TRUE(panel->hasFocus());
    const QRect cell = grid->visualRect(grid->currentIndex());
    EXPECT_EQ(panel->x(), grid->viewport()->mapTo(&window, cell.topLeft()).x());
    EXPECT_EQ(panel->width(), cell.width());
    EXPECT_EQ(panel->height(), cell.height() + 4);
    EXPECT_LE(panel->geometry().bottom(), grid->geometry().top());
    EXPECT_GE(panel->y(), 0);
}

TEST_F(FastFindTest, LeavingThePanelGivesTheGridItsOptionsBack) {
    for (const bool alwaysShow : {false, true}) {
        SCOPED_TRACE(alwaysShow);
        grid->SetAlwaysShowSelection(alwaysShow);
        Start("Ангар", 1);
        Type("с");
        ASSERT_NE(Panel(), nullptr);
        EXPECT_TRUE(grid->AlwaysShowSelection());
        EXPECT_TRUE(grid->FindPanelOpen());
        QPointer<TPanelFFind> panel = Panel();

        Press(Qt::Key_Escape);
        EXPECT_EQ(Panel(), nullptr);
        EXPECT_EQ(grid->AlwaysShowSelection(), alwaysShow);
        EXPECT_FALSE(grid->FindPanelOpen());
        EXPECT_TRUE(grid->hasFocus());
        EXPECT_EQ(Name(), "Сарай");  // Escape keeps the row found
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_TRUE(panel.isNull());
    }
    EXPECT_TRUE(exited.isEmpty());
    EXPECT_TRUE(newOrEdit.isEmpty());
}

TEST_F(FastFindTest, EnterHandsAnEnterToTheGridOnTheFoundRow) {
    Start("Ангар", 1);
    Type("въ");
    ASSERT_NE(Panel(), nullptr);
    Press(Qt::Key_Return);
    EXPECT_EQ(Panel(), nullptr);
    QCoreApplication::sendPostedEvents();
    ASSERT_EQ(newOrEdit.size(), 1);
    EXPECT_EQ(newOrEdit[0], grid);
    EXPECT_EQ(Name(), "Въезд");
    EXPECT_TRUE(grid->hasFocus());
    EXPECT_TRUE(posted.isEmpty());
}

TEST_F(FastFindTest, FocusGoingElsewhereClosesThePanelOnceAndRunsTheGridsExit) {
    Start("Ангар", 1);
    Type("с");
    ASSERT_NE(Panel(), nullptr);
    other->setFocus(Qt::MouseFocusReason);
    EXPECT_EQ(Panel(), nullptr);
    EXPECT_EQ(exited, QList<DBGrid*>{grid});
    EXPECT_TRUE(other->hasFocus());
    EXPECT_FALSE(grid->FindPanelOpen());

    // A command closes an open panel first; the focus is the grid's again.
    grid->setFocus();
    Type("г");
    ASSERT_NE(Panel(), nullptr);
    TPanelFFind::CloseFastFind();
    EXPECT_EQ(Panel(), nullptr);
    EXPECT_TRUE(grid->hasFocus());
    EXPECT_EQ(exited.size(), 1);
    EXPECT_EQ(Name(), "Гараж");

    // One panel at a time.
    Type("а");
    QPointer<TPanelFFind> first = Panel();
    ASSERT_NE(first, nullptr);
    TPanelFFind* second = TPanelFFind::OpenOver(*dm, grid, QChar(u'в'));
    ASSERT_NE(second, nullptr);
    EXPECT_TRUE(first->Exited());
    EXPECT_EQ(Panel(), second);
    EXPECT_EQ(Name(), "Ворота северные");
}

// --- What opens it ----------------------------------------------------------------

TEST_F(FastFindTest, OnlyACharacterTypedAloneOrWithShiftOpensThePanel) {
    struct Case {
        Qt::KeyboardModifiers mods;
        bool opens;
    } cases[] = {
        {Qt::NoModifier, true},
        {Qt::ShiftModifier, true},
        {Qt::ControlModifier, false},
        {Qt::AltModifier, false},
        {Qt::ControlModifier | Qt::ShiftModifier, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.mods));
        Start("Ангар", 1);
        Type(c.mods & Qt::ShiftModifier ? "S" : "s", c.mods);
        EXPECT_EQ(Panel() != nullptr, c.opens);
        if (c.opens) {
            EXPECT_EQ(Panel()->SearchText(), "S");
        }
        TPanelFFind::CloseFastFind();
        // Every key released leaves the counter at rest.
        EXPECT_EQ(keys->ChordCounter(), 0);
    }

    // Nor while a row is being edited.
    Start("Ангар", 1);
    points().Edit();
    Type("с");
    EXPECT_EQ(Panel(), nullptr);
    points().Cancel();
}

TEST_F(FastFindTest, KeyColumnOfAKeyGridTakesOnlyHexDigitsAsCapitals) {
    // What the grid itself receives, behind the grid keys.
    QStringList reached;
    const auto inner = grid->keyHook;
    grid->keyHook = [&](QKeyEvent* e) {
        const bool consumed = inner(e);
        if (!consumed && !e->text().isEmpty()) reached << e->text();
        return consumed;
    };

    struct Case {
        int tag;
        int column;
        const char* typed;
        const char* reaches;  // while a row is edited
        const char* search;   // while browsing: the panel's first search; empty: none opens
    } cases[] =
        {
            {1, 0, "a", "A", "A"},  {1, 0, "f", "F", "F"}, {1, 0, "g", "", ""},
            {3, 0, "z", "", ""},    {0, 0, "я", "", ""},   {2, 0, "0", "0", "0"},
            {1, 1, "g", "g", "G"},  // the name column takes anything
            {4, 0, "g", "g", "G"},  // paths are no key grid
            {-1, 0, "g", "g", "G"},
        };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.tag << " " << c.column << " " << c.typed);
        grid->setProperty("tag", c.tag);
        Start("Ангар", c.column);

        points().Edit();
        reached.clear();
        Type(QString::fromUtf8(c.typed));
        EXPECT_EQ(reached.join(QString()), QString::fromUtf8(c.reaches));
        EXPECT_EQ(Panel(), nullptr);
        points().Cancel();

        beeps = 0;
        Type(QString::fromUtf8(c.typed));
        if (*c.search == '\0') {
            EXPECT_EQ(Panel(), nullptr);
        } else {
            ASSERT_NE(Panel(), nullptr);
            EXPECT_EQ(Panel()->SearchText(), QString::fromUtf8(c.search));
        }
        TPanelFFind::CloseFastFind();
    }
}

TEST_F(FastFindTest, EnterInTheGridPostsAnEditedRowOrOpensTheRow) {
    Start("Гараж", 1);
    Press(Qt::Key_Return);
    EXPECT_EQ(newOrEdit, QList<DBGrid*>{grid});
    EXPECT_TRUE(posted.isEmpty());

    points().Edit();
    Press(Qt::Key_Return);
    EXPECT_EQ(posted, QList<DBGrid*>{grid});
    EXPECT_EQ(newOrEdit.size(), 1);
    points().Cancel();
}
