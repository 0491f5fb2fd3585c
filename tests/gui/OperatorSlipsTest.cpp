// Slips a new operator makes in the real window: each case clicks and types
// as he would and checks that the program neither loses nor mixes up data.
#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <QTimer>

#include "GuiFixture.h"
#include "app/device/KeyDialogs.h"
#include "app/table/FastFind.h"
#include "collector/Operations.h"
#include "sim/Scenario.h"
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

namespace {

const QString Key = QStringLiteral("Key");

}  // namespace

// The window after a first login without registrars. The key dialogs answer
// from a script unless a test clears it to meet the real ones.
class OperatorSlips : public MainWindowTest {
protected:
    void SetUp() override {
        Start();
        Activate(window.get());
        Login({}, {});
        window->keyDialog = [this](const KeyDialogRequest&) -> std::optional<KeyDialogResult> {
            if (answers.empty()) return std::nullopt;
            KeyDialogResult a = answers.front();
            answers.erase(answers.begin());
            return a;
        };
    }

    static void Activate(QWidget* w) {
        w->activateWindow();
        QApplication::setActiveWindow(w);
        QApplication::processEvents();
    }

    DBGrid* Focus(const QString& page, const QString& sub, const char* grid) {
        window->ShowPage(page, sub);
        DBGrid* g = window->Grid(QString::fromLatin1(grid));
        EXPECT_NE(g, nullptr) << grid;
        Activate(window.get());
        g->setFocus();
        QApplication::processEvents();
        EXPECT_EQ(window->FocusedGrid(), g) << grid;
        return g;
    }
    // Back into a grid, as a click on its current cell does.
    void BackInto(DBGrid* g) {
        const QRect cell = g->visualRect(g->currentIndex());
        QTest::mouseClick(g->viewport(), Qt::LeftButton, {}, cell.center());
        QApplication::processEvents();
        ASSERT_EQ(window->FocusedGrid(), g);
    }
    // A real click, which takes the focus as the mouse does.
    static void Click(QAbstractButton* b) {
        ASSERT_NE(b, nullptr);
        QTest::mouseClick(b, Qt::LeftButton, {}, QPoint(6, b->height() / 2));
        QApplication::processEvents();
    }
    bool Enabled(const char* action) {
        return window->Action(QString::fromLatin1(action))->isEnabled();
    }
    void Trigger(const char* action) { window->Action(QString::fromLatin1(action))->trigger(); }
    QAbstractButton* Right(const char* name) {
        return window->findChild<QCheckBox*>(QString::fromLatin1(name));
    }
    QAbstractButton* TypeItem(int index) {
        auto* type = window->findChild<DBRadioGroup*>(QStringLiteral("DBRadioGroupTypeUser"));
        return type == nullptr ? nullptr : type->Buttons()->button(index);
    }

    // A path with its points named, the path current.
    void PathOf(const QStringList& names) {
        store::View& points = Dm().TablePoints();
        store::View& pathes = Dm().TablePathes();
        pathes.Append();
        pathes.SetValue(QStringLiteral("Name"), QStringLiteral("Маршрут"));
        pathes.Post();
        int serial = 0x0C00;
        for (const QString& name : names) {
            const QString key = sim::TouchKeyText(++serial);
            points.Append();
            points.SetValue(Key, key);
            points.SetValue(QStringLiteral("Name"), name);
            points.Post();
            Dm().TablePPathes().Append();
            Dm().TablePPathes().SetValue(Key, key);
            Dm().TablePPathes().Post();
        }
    }

    std::vector<KeyDialogResult> answers;
};

// --- The logged-in registrar stays the one who logged in

// The administrator changes his own password, then a read adds the unknown
// people of a collector and he adds a registrar who may only read: he stays
// the one logged in, with all his rights, up to the journal entry at exit.
TEST_F(OperatorSlips, AddingPeopleAfterAnOwnEditKeepsTheAdministratorLoggedIn) {
    AddUser(AdminKey, QStringLiteral("Администратор"), QStringLiteral("1"), {});
    Login(AdminKey, QStringLiteral("1"));
    ASSERT_EQ(Dm().TableCurRegister().Text(Key), AdminKey);
    store::View& users = Dm().TableUsers();

    // His own row, a new password typed in the grid, Enter.
    auto editOwnPassword = [&](const QString& password) {
        DBGrid* grid = Focus("TabSheetUsers", {}, "DBGridUsers");
        ASSERT_TRUE(users.Locate(Key, AdminKey));
        answers.push_back({AdminKey, QStringLiteral("Администратор")});
        Trigger("ActionEditRec");
        ASSERT_EQ(users.State(), store::ViewState::Edit);
        grid->setCurrentIndex(grid->model()->index(grid->currentIndex().row(), 2));
        auto* editor = qobject_cast<QLineEdit*>(grid->Editor());
        ASSERT_NE(editor, nullptr);
        editor->selectAll();
        Type(password);
        Type(QStringLiteral("\r"));
        ASSERT_EQ(users.State(), store::ViewState::Browse);
        ASSERT_TRUE(users.Locate(Key, AdminKey));
        ASSERT_EQ(users.Text(QStringLiteral("Passwrd")), password);
    };
    editOwnPassword(QStringLiteral("2"));

    // A read adds the collector's unknown registrar and guard.
    sim::ApplyScenario(sim::DemoScenario(clock.Now()), collector, reader);
    collector.ClearPath();  // no path: no question about it
    prompt.Clear();
    Trigger("ActionDRead");
    ASSERT_EQ(prompt.Texts(), QStringList({collector::text::ReadDone}));
    prompt.Script({shell::Answer::Yes});  // "Сохранить прочитанные данные ?"
    window->PageControl()->setCurrentWidget(
        window->findChild<QWidget*>(QStringLiteral("TabSheetUsers")));
    ASSERT_FALSE(store::TDM::IsEditing(Dm().TableKDEvents()));
    ASSERT_TRUE(Dm().FindInTable(users, Key, sim::DemoKeyIds().registrar));
    EXPECT_EQ(Dm().TableCurRegister().Text(Key), AdminKey);

    // He adds a registrar who may only read.
    editOwnPassword(QStringLiteral("3"));
    DBGrid* grid = Focus("TabSheetUsers", {}, "DBGridUsers");
    answers.push_back({RegistrarKey, QStringLiteral("Чтец")});
    Trigger("ActionNewRec");
    ASSERT_EQ(users.State(), store::ViewState::Insert);
    Click(TypeItem(0));  // "Регистратор"
    Click(Right("DBCheckBoxIsRead"));
    BackInto(grid);
    QTest::keyClick(grid, Qt::Key_Return);
    ASSERT_EQ(users.State(), store::ViewState::Browse) << prompt.Texts().join('|').toStdString();
    ASSERT_TRUE(Dm().FindInTable(Dm().TableRegisters(), Key, RegistrarKey));

    // Still he, with his rights: he deletes and empties.
    EXPECT_EQ(Dm().TableCurRegister().Text(Key), AdminKey);
    EXPECT_EQ(window->PasswordDialog().DBLookupComboBoxName()->KeyValue().toString(), AdminKey);
    BackInto(grid);
    EXPECT_TRUE(Enabled("ActionDelRec"));
    EXPECT_TRUE(Enabled("ActionEmptyTable"));

    // The exit is journaled under him, and his key is kept for the next start.
    window->FormClose();
    store::View& journal = Dm().TablePrEvents();
    journal.Last();
    EXPECT_EQ(journal.Text(QStringLiteral("Name")), JournalExit);
    EXPECT_EQ(journal.Text(Key), AdminKey);
    EXPECT_EQ(settings.Get(ProgramKey, QStringLiteral("User")).value_or(QVariant()).toString(),
              AdminKey);
}

// --- A typed character does what the grid's key handling says, nothing more

TEST_F(OperatorSlips, ALetterTypedAfterACopyNeitherMovesNorPostsIt) {
    PathOf({QStringLiteral("Арка"), QStringLiteral("Баня")});
    store::View& pp = Dm().TablePPathes();
    Focus("TabSheetRound", "TabSheetPathes", "DBGridPPathes");
    pp.First();
    prompt.Clear();
    Trigger("ActionCopyRec");
    ASSERT_EQ(pp.State(), store::ViewState::Insert);

    // "Б" would find "Баня" by the grid's own search and leave the copy.
    Type(QStringLiteral("Б"));
    EXPECT_EQ(pp.State(), store::ViewState::Insert);
    EXPECT_EQ(pp.RecordCount(), 2);
    EXPECT_TRUE(prompt.Asked().empty()) << prompt.Texts().join('|').toStdString();
    EXPECT_EQ(TPanelFFind::Current(), nullptr);

    // Browsing, the same letter opens the fast find and finds "Баня" there.
    pp.Cancel();
    pp.First();
    Type(QStringLiteral("Б"));
    ASSERT_NE(TPanelFFind::Current(), nullptr);
    EXPECT_EQ(pp.Text(QStringLiteral("LPoint")), QStringLiteral("Баня"));
    EXPECT_EQ(pp.RecordCount(), 2);
}

// --- Rights check boxes and the user type edit their row

TEST_F(OperatorSlips, CheckBoxesAndTheTypeEditTheirRowAndThePostCommandTellsTheTruth) {
    AddUser(AdminKey, QStringLiteral("Администратор"), QStringLiteral("1"), {});
    Login(AdminKey, QStringLiteral("1"));
    store::View& users = Dm().TableUsers();

    // A click in browse state starts editing the row.
    DBGrid* grid = Focus("TabSheetUsers", {}, "DBGridUsers");
    ASSERT_TRUE(users.Locate(Key, AdminKey));
    Click(Right("DBCheckBoxIsRead"));
    ASSERT_EQ(users.State(), store::ViewState::Edit);
    EXPECT_TRUE(users.Value(QStringLiteral("IsRead")).toBool());
    EXPECT_TRUE(Right("DBCheckBoxIsRead")->isChecked());
    // Outside the grid the post command is off; back in the grid it posts.
    EXPECT_FALSE(Enabled("ActionPostRec"));
    BackInto(grid);
    ASSERT_TRUE(Enabled("ActionPostRec"));
    Trigger("ActionPostRec");
    EXPECT_EQ(users.State(), store::ViewState::Browse);
    ASSERT_TRUE(users.Locate(Key, AdminKey));
    EXPECT_TRUE(users.Value(QStringLiteral("IsRead")).toBool());

    // A new user: the key dialog, then the editor of the grid is left for the
    // type and a right.
    answers.push_back({RegistrarKey, QStringLiteral("Чтец")});
    Trigger("ActionNewRec");
    ASSERT_EQ(users.State(), store::ViewState::Insert);
    ASSERT_NE(grid->Editor(), nullptr);
    ASSERT_TRUE(Enabled("ActionPostRec"));
    Click(TypeItem(1));  // "Охранник"
    EXPECT_FALSE(Enabled("ActionPostRec"));
    Click(TypeItem(0));  // "Регистратор"
    Click(Right("DBCheckBoxIsWrite"));
    EXPECT_FALSE(Enabled("ActionPostRec"));
    EXPECT_EQ(users.State(), store::ViewState::Insert);
    BackInto(grid);
    ASSERT_TRUE(Enabled("ActionPostRec"));
    Trigger("ActionPostRec");
    EXPECT_EQ(users.State(), store::ViewState::Browse);
    ASSERT_TRUE(users.Locate(Key, RegistrarKey));
    EXPECT_TRUE(users.Value(QStringLiteral("IsRegister")).toBool());
    EXPECT_TRUE(users.Value(QStringLiteral("IsWrite")).toBool());
}

// --- Rows without their point or name

TEST_F(OperatorSlips, BlankPathPointsAndNamelessIncidentsAreRefused) {
    PathOf({QStringLiteral("Арка")});
    store::View& pp = Dm().TablePPathes();
    DBGrid* points = Focus("TabSheetRound", "TabSheetPathes", "DBGridPPathes");
    prompt.Clear();
    QTest::keyClick(points, Qt::Key_Insert);
    ASSERT_EQ(pp.State(), store::ViewState::Insert);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    EXPECT_EQ(prompt.Texts(), QStringList({store::text::NoPathPoint}));
    EXPECT_EQ(pp.State(), store::ViewState::Insert);
    EXPECT_EQ(pp.RecordCount(), 1);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    EXPECT_EQ(pp.State(), store::ViewState::Browse);

    store::View& book = Dm().TablePrBook();
    book.Append();
    book.SetValue(Key, sim::TouchKeyText(0x0D01));
    book.SetValue(QStringLiteral("Name"), QStringLiteral("Пожар"));
    book.Post();
    DBGrid* grid = Focus("TabSheetRound", "TabSheetPrBook", "DBGridPrBook");
    answers.push_back({sim::TouchKeyText(0x0D01), QStringLiteral("Пожар")});
    Trigger("ActionEditRec");
    grid->setCurrentIndex(grid->model()->index(grid->currentIndex().row(), 1));
    auto* editor = qobject_cast<QLineEdit*>(grid->Editor());
    ASSERT_NE(editor, nullptr);
    editor->selectAll();
    QTest::keyClick(editor, Qt::Key_Backspace);
    prompt.Clear();
    QTest::keyClick(editor, Qt::Key_Return);
    EXPECT_EQ(prompt.Texts(), QStringList({store::text::NoIncidentName}));
    EXPECT_EQ(book.State(), store::ViewState::Edit);
    EXPECT_TRUE(Dm().FindInTable(book, QStringLiteral("Name"), QStringLiteral("Пожар")));
}

// --- Keyboard in the dialogs

// The name list is browsed with the arrows and keeps the focus: Tab then
// reaches the password, and the second registrar logs in.
TEST_F(OperatorSlips, TheArrowsBrowseTheNamesAndTabReachesThePassword) {
    AddUser(AdminKey, QStringLiteral("Администратор"), QStringLiteral("1"), {});
    AddUser(RegistrarKey, QStringLiteral("Чтец"), QStringLiteral("чт"), {"IsRead"});
    Login(AdminKey, QStringLiteral("1"));
    prompt.Clear();

    TFormPWord& d = window->PasswordDialog();
    QWidget* focusAfterDown = nullptr;
    d.exec = [&](TFormPWord& dialog) {
        dialog.show();
        dialog.Timer()->stop();  // the collector in the reader is not asked out here
        Activate(&dialog);
        DBLookupComboBox* names = dialog.DBLookupComboBoxName();
        names->setFocus();
        QApplication::processEvents();
        EXPECT_EQ(names->KeyValue().toString(), AdminKey);
        QTest::keyClick(names, Qt::Key_Down);
        focusAfterDown = QApplication::focusWidget();
        EXPECT_EQ(names->KeyValue().toString(), RegistrarKey);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        Type(QStringLiteral("чт"));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        dialog.hide();
        return dialog.result();
    };
    window->ActionPWordExecute();
    EXPECT_EQ(focusAfterDown, d.DBLookupComboBoxName());
    EXPECT_TRUE(prompt.Asked().empty()) << prompt.Texts().join('|').toStdString();
    EXPECT_EQ(Dm().TableCurRegister().Text(Key), RegistrarKey);
}

// End in the key field goes behind the digits typed so far, so the rest of
// the number typed there goes in.
TEST_F(OperatorSlips, EndInTheKeyFieldGoesBehindTheDigitsTyped) {
    Focus("TabSheetRound", "TabSheetPoints", "DBGridPoints");
    window->keyDialog = nullptr;
    QString shown;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<TFormGetKey*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        Activate(dialog);
        QLineEdit* key = dialog->MaskEditKey();
        key->setFocus();
        key->setCursorPosition(0);
        QTest::keyClick(key, Qt::Key_End);
        QTest::keyClicks(key, "00fbd8b3e6");
        shown = key->displayText();
        dialog->EditComment()->setFocus();
        Type(QStringLiteral("Ворота"));
        QTest::keyClick(dialog->EditComment(), Qt::Key_Return);
        if (dialog->isVisible()) dialog->reject();
    });
    Trigger("ActionNewRec");
    EXPECT_EQ(shown, QStringLiteral("01 00 00 00 FB D8 B3 E6"));
    ASSERT_EQ(Dm().TablePoints().State(), store::ViewState::Insert)
        << prompt.Texts().join('|').toStdString();
    EXPECT_EQ(Dm().TablePoints().Text(Key), QStringLiteral("01000000FBD8B3E6"));
}

// --- The collector-ID dialog names its key as the grid does

TEST_F(OperatorSlips, TheCollectorDialogTakesTheGridsKeyTitle) {
    Focus("TabSheetKordex", "TabSheetKDs", "DBGridKDs");
    window->keyDialog = nullptr;
    QString label, caption;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<TFormGetIDKD*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        caption = dialog->windowTitle();
        if (auto* l = dialog->findChild<QLabel*>(QStringLiteral("LabelKey"))) label = l->text();
        dialog->reject();
    });
    Trigger("ActionNewRec");
    EXPECT_EQ(caption, QStringLiteral("Ввод нового Kordex'а"));
    EXPECT_EQ(label, QStringLiteral("ID Kordex'а"));
    EXPECT_FALSE(store::TDM::IsEditing(Dm().TableKDs()));
}
