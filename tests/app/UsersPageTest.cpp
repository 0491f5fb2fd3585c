#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QButtonGroup>
#include <QDir>
#include <QGroupBox>
#include <QTest>
#include <memory>

#include "../store/ModuleFixture.h"
#include "app/login/UsersPage.h"
#include "link/KeyId.h"
#include "store/Rules.h"
#include "widgets/DBGrid.h"
#include "widgets/DataWidgets.h"

using namespace kordex;
using namespace kordex::app;
using namespace kordex::widgets;
using namespace kordex::store;
using namespace kordex::store::testing;

namespace {

const QString KeyA = link::TouchKeyText(201);
const QString KeyB = link::TouchKeyText(202);
const QString KeyG = link::TouchKeyText(203);

// The page made before the databases open, as the main window makes it; an
// administrator Андреев (the first registrar), a registrar Борисов and a guard.
class UsersPageTest : public ModuleTest {
protected:
    void SetUp() override {
        ModuleTest::SetUp();
        rules = std::make_unique<Rules>(*dm);
        page = std::make_unique<UsersPage>(*dm, prompt);
        page->pageActive = [this] { return active; };
        Open();
        Add(users(), {{"Key", KeyA}, {"Name", "Андреев"}, {"IsRegister", true}});
        Add(users(), {{"Key", KeyB}, {"Name", "Борисов"}, {"IsRegister", true}});
        Add(users(), {{"Key", KeyG}, {"Name", "Гусев"}, {"IsRegister", false}});
        prompt.Clear();
    }

    View& users() { return dm->TableUsers(); }
    void Go(const QString& name) {
        ASSERT_TRUE(users().Locate("Name", name)) << name.toStdString();
    }
    bool RightsShown() const { return !page->GroupBoxRights()->isHidden(); }
    DBCheckBox* Box(const char* name) const { return page->findChild<DBCheckBox*>(name); }

    bool active = true;
    std::unique_ptr<Rules> rules;
    std::unique_ptr<UsersPage> page;
};

}  // namespace

TEST_F(UsersPageTest, RightsAreShownForRegistrarsOnly) {
    DBRadioGroup* type = page->DBRadioGroupTypeUser();
    EXPECT_EQ(type->Items(), (QStringList{"Регистратор", "Охранник"}));

    // Moving through the rows, by the view and by the grid.
    struct Case {
        const char* name;
        int item;
    } cases[] = {{"Гусев", 1}, {"Андреев", 0}, {"Гусев", 1}, {"Борисов", 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Go(c.name);
        EXPECT_EQ(type->ItemIndex(), c.item);
        EXPECT_EQ(RightsShown(), c.item == 0);
    }
    DBGrid* grid = page->DBGridUsers();
    grid->setCurrentIndex(grid->model()->index(2, 0));
    EXPECT_EQ(users().Text("Name"), "Гусев");
    EXPECT_FALSE(RightsShown());

    // The operator's choice writes the type, item 0 being a registrar.
    users().Edit();
    type->Buttons()->button(0)->click();
    EXPECT_TRUE(users().Value("IsRegister").toBool());
    EXPECT_TRUE(RightsShown());
    type->Buttons()->button(1)->click();
    EXPECT_FALSE(users().Value("IsRegister").toBool());
    EXPECT_FALSE(RightsShown());
    users().Cancel();

    // No row: no type, no rights.
    users().Close();
    EXPECT_EQ(type->ItemIndex(), -1);
    EXPECT_FALSE(RightsShown());
}

TEST_F(UsersPageTest, EachRightBoxEditsItsOwnFlag) {
    const std::pair<const char*, const char*> boxes[] = {
        {"DBCheckBoxIsAdmin", "IsAdmin"},    {"DBCheckBoxIsTableEdit", "IsTableEdit"},
        {"DBCheckBoxIsPoints", "IsPoints"},  {"DBCheckBoxIsPath", "IsPath"},
        {"DBCheckBoxIsPrBook", "IsPrBook"},  {"DBCheckBox1", "IsKDs"},
        {"DBCheckBoxIsWrite", "IsWrite"},    {"DBCheckBoxIsRead", "IsRead"},
        {"DBCheckBoxIsPrEvents", "IsPrEvs"}, {"DBCheckBoxIsKDEvents", "IsKDEvs"},
        {"DBCheckBox2", "IsKDAEvs"},         {"DBCheckBoxIsTime", "IsTime"},
    };
    // In tab order inside the group.
    ASSERT_EQ(page->RightBoxes().size(), std::size(boxes));
    for (size_t i = 0; i < std::size(boxes); ++i)
        EXPECT_EQ(page->RightBoxes()[i]->objectName(), boxes[i].first);

    Go("Борисов");
    for (const auto& [name, field] : boxes) {
        SCOPED_TRACE(name);
        users().Edit();
        Box(name)->click();
        users().Post();
        for (const auto& [otherName, otherField] : boxes) {
            const bool set = QString(otherField) == field;
            EXPECT_EQ(users().Value(otherField).toBool(), set) << otherField;
            EXPECT_EQ(Box(otherName)->isChecked(), set) << otherName;
        }
        users().Edit();
        Box(name)->click();
        users().Post();
    }
}

TEST_F(UsersPageTest, TheLastAdministratorKeepsHisFlag) {
    const QString message = "Один из пользователей должен быть администратором !";
    struct Case {
        const char* what;
        bool secondAdmin;  // Борисов is an administrator too
        bool pageActive;
        bool newKey;  // the edit also changes Андреев's key
        bool undone;
    } cases[] = {
        {"the only administrator", false, true, false, true},
        {"another administrator", true, true, false, false},
        {"another page active", false, false, false, false},
        {"the only administrator under a new key", false, true, true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        prompt.Clear();
        Go("Борисов");
        users().Edit();
        users().SetValue("IsAdmin", c.secondAdmin);
        users().Post();
        active = c.pageActive;

        Go("Андреев");
        users().Edit();
        if (c.newKey) users().SetValue("Key", link::TouchKeyText(299));
        DBCheckBox* admin = Box("DBCheckBoxIsAdmin");
        ASSERT_TRUE(admin->isChecked());
        admin->click();
        EXPECT_EQ(users().Value("IsAdmin").toBool(), c.undone);
        EXPECT_EQ(admin->isChecked(), c.undone);
        if (c.undone) {
            ASSERT_EQ(prompt.Asked().size(), 1u);
            EXPECT_EQ(prompt.Asked()[0].text, message);
            EXPECT_EQ(prompt.Asked()[0].caption, "Ошибка");
            EXPECT_EQ(prompt.Asked()[0].icon, shell::Icon::Error);
        } else {
            EXPECT_TRUE(prompt.Asked().empty());
        }
        users().Cancel();
    }

    // Setting the flag asks nothing.
    prompt.Clear();
    active = true;
    Go("Борисов");
    users().Edit();
    Box("DBCheckBoxIsAdmin")->click();
    EXPECT_TRUE(users().Value("IsAdmin").toBool());
    EXPECT_TRUE(prompt.Asked().empty());
    users().Cancel();
    // A click while browsing edits the row, so the rule holds there too.
    Go("Андреев");
    Box("DBCheckBoxIsAdmin")->click();
    EXPECT_EQ(users().State(), store::ViewState::Edit);
    EXPECT_TRUE(users().Value("IsAdmin").toBool());
    EXPECT_EQ(prompt.Texts(), QStringList{message});
    users().Cancel();
}

TEST_F(UsersPageTest, ThePageFitsItsSheet) {
    const QSize sheet(620, 330);
    EXPECT_LE(page->minimumSizeHint().height(), sheet.height());
    EXPECT_LE(page->minimumSizeHint().width(), sheet.width());
    page->resize(sheet);
    page->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(page.get()));
    Go("Андреев");
    QApplication::processEvents();
    EXPECT_EQ(page->size(), sheet);
    QList<QWidget*> shown = {page->DBGridUsers(), page->DBRadioGroupTypeUser(),
                             page->GroupBoxRights()};
    for (DBCheckBox* b : page->RightBoxes())
        shown << b;
    for (QWidget* w : shown) {
        SCOPED_TRACE(w->objectName().toStdString());
        const QRect r(w->mapTo(page.get(), QPoint(0, 0)), w->size());
        EXPECT_TRUE(page->rect().contains(r))
            << r.x() << ',' << r.y() << ' ' << r.width() << 'x' << r.height();
        EXPECT_GE(w->height(), w->minimumSizeHint().height());
        EXPECT_GE(w->width(), w->minimumSizeHint().width());
    }
    if (qEnvironmentVariableIsSet("KORDEX_SHOT_DIR"))
        page->grab().save(QDir(qEnvironmentVariable("KORDEX_SHOT_DIR")).filePath("UsersPage.png"));
}
