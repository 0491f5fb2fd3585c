// The archive commands through the main window: the menu "&Архив" enabled by
// the rights, the file dialogs answered in their place, the pages brought
// forward and the rounds moving between the working tables, the files and
// the archive.
#include <QAbstractButton>
#include <QAbstractItemModel>
#include <QAction>
#include <QApplication>
#include <QDateEdit>
#include <QDir>
#include <QFileInfo>

#include "GuiFixture.h"
#include "app/filters/FilterDialogs.h"
#include "app/window/StatusForm.h"
#include "archive/Commands.h"
#include "filters/PageFilters.h"
#include "link/DateTime.h"
#include "widgets/DBGrid.h"

using namespace kordex;
using namespace kordex::app;
using archive::FileDialog;
using filters::FilterPage;
using kordex::gui::AdminKey;
using kordex::gui::MainWindowTest;
using kordex::gui::RegistrarKey;

namespace {

const QString Point1 = sim::TouchKeyText(0x301);
const QString Point2 = sim::TouchKeyText(0x302);

// A day of March 2026 (the fake clock stands on the 15th) with a time.
double At(int day, int hour = 0, int minute = 0) {
    return link::DateTime::FromDate(QDate(2026, 3, day), QTime(hour, minute)).Days();
}

const char* const ArchiveActions[] = {"ActionLoadArchive", "ActionSaveArchive", "ActionAddArchive",
                                      "ActionAddCurArchive"};

}  // namespace

// The window logged in without registrars, with three rounds in the working
// tables (R1 on the 10th, R2 on the 11th, R3 on the 13th, two touches and a
// missed point each) and an empty archive. The file dialogs are answered from
// a list; an empty answer is Cancel.
class ArchiveFlow : public MainWindowTest {
protected:
    void SetUp() override {
        ASSERT_TRUE(files.isValid());
        Start();
        window->activateWindow();
        Login({}, {});
        for (int day : {10, 11, 13})
            AddRound(day);
        Refresh();
        window->archiveDialog = [this](const FileDialog& d) {
            dialogs.push_back(d);
            return answers.isEmpty() ? QString() : answers.takeFirst();
        };
        prompt.Clear();
    }

    // A round of the day at 9:00, written straight into the working tables.
    void AddRound(int day) {
        store::TDM& dm = Dm();
        Put(dm.TableKDEvents(),
            {{"DateReg", At(day, 9)}, {"Memo", QStringLiteral("R%1").arg(day)}});
        Put(dm.TableKDREvents(),
            {{"DateReg", At(day, 9)}, {"Date", At(day, 9, 5)}, {"Key", Point1}});
        Put(dm.TableKDREvents(),
            {{"DateReg", At(day, 9)}, {"Date", At(day, 9, 10)}, {"Key", Point2}});
        Put(dm.TableKDLEvents(), {{"DateReg", At(day, 9)}, {"Key", Point2}});
    }

    void Put(store::View& v, std::initializer_list<std::pair<const char*, QVariant>> row) {
        store::Values values(v.Def().fields.size());
        for (const auto& [field, value] : row)
            values[v.Def().FieldIndex(QString::fromLatin1(field))] = value;
        v.PhysicalTable()->Insert(values);
    }

    void Refresh() {
        for (const auto& c : Dm().Components())
            if (c.view != nullptr && c.view->IsOpen()) c.view->Refresh();
    }

    void Trigger(const char* action) {
        window->Action(QString::fromLatin1(action))->trigger();
        QApplication::processEvents();
    }

    QString Front() const {
        return window->CurrentPageName() + u'/' + window->CurrentSubPageName();
    }

    // The rounds of the archive (all of them, by registration time) as memos.
    QStringList ArchivedRounds() {
        store::View& v = Dm().TableKDAFEvents();
        v.Refresh();
        QStringList out;
        for (v.First(); !v.Eof(); v.Next())
            out << v.Text(QStringLiteral("Memo"));
        return out;
    }
    int64_t Rows(store::View& v) { return v.PhysicalTable()->Count(); }

    int GridRows(const char* grid) {
        widgets::DBGrid* g = window->Grid(QString::fromLatin1(grid));
        EXPECT_NE(g, nullptr) << grid;
        return g != nullptr ? g->model()->rowCount() : -1;
    }

    QString File(const char* name) const {
        return QDir(files.path()).filePath(QString::fromLatin1(name));
    }

    QTemporaryDir files;  // where the operator keeps his archive files
    QStringList answers;
    std::vector<FileDialog> dialogs;
};

// Save, load, add from a file and add current, one after the other as an
// operator would run them from the menu.
TEST_F(ArchiveFlow, SaveLoadAddAndAddCurrent) {
    const QString first = File("KDEv0326.zip");
    const QString second = File("second.zip");

    // Save: the journal's rounds page in front, the dialog in the program
    // directory offering this month's name.
    window->ShowPage(QStringLiteral("TabSheetKordex"), QStringLiteral("TabSheetTest"));
    answers = {first};
    Trigger("ActionSaveArchive");
    ASSERT_EQ(dialogs.size(), 1u);
    EXPECT_EQ(dialogs[0].kind, FileDialog::Kind::Save);
    EXPECT_EQ(QDir(dialogs[0].directory), QDir(dir.path()));
    EXPECT_EQ(dialogs[0].fileName, QStringLiteral("KDEv0326"));
    EXPECT_EQ(dialogs[0].defaultSuffix, QStringLiteral("zip"));
    EXPECT_EQ(dialogs[0].filter, archive::DialogFilter);
    EXPECT_TRUE(QFileInfo(first).isFile());
    EXPECT_EQ(Front(), QStringLiteral("TabSheetEvents/TabSheetKDEvents"));
    EXPECT_EQ(prompt.Texts(), QStringList{archive::text::SaveDone});
    // The working tables are open again, rows and grid alike.
    EXPECT_EQ(Dm().TableKDEvents().RecordCount(), 3);
    EXPECT_EQ(GridRows("DBGridKDEvents"), 3);
    EXPECT_FALSE(window->Busy());

    // Load: the archive's rounds page in front showing the saved rounds; the
    // open dialog starts in the program directory, not where the save went.
    answers = {first};
    prompt.Clear();
    Trigger("ActionLoadArchive");
    ASSERT_EQ(dialogs.size(), 2u);
    EXPECT_EQ(dialogs[1].kind, FileDialog::Kind::Open);
    EXPECT_EQ(QDir(dialogs[1].directory), QDir(dir.path()));
    EXPECT_EQ(prompt.Texts(), QStringList{archive::text::LoadDone});
    EXPECT_EQ(Front(), QStringLiteral("TabSheetAEvents/TabSheetKDAEvents"));
    EXPECT_EQ(ArchivedRounds(), (QStringList{"R10", "R11", "R13"}));
    EXPECT_EQ(Dm().TableKDAEvents().RecordCount(), 3);
    EXPECT_EQ(GridRows("DBGridKDAEvents"), 3);
    EXPECT_EQ(Rows(Dm().TableKDRAEvents()), 6);
    EXPECT_EQ(Rows(Dm().TableKDLAEvents()), 3);

    // Add from a file holding one round more: only that one is added; the
    // dialogs start where their last files were.
    AddRound(14);
    Refresh();
    answers = {second, second};
    Trigger("ActionSaveArchive");
    ASSERT_EQ(dialogs.size(), 3u);
    EXPECT_EQ(QDir(dialogs[2].directory), QDir(files.path()));
    prompt.Clear();
    Trigger("ActionAddArchive");
    ASSERT_EQ(dialogs.size(), 4u);
    EXPECT_EQ(dialogs[3].kind, FileDialog::Kind::Open);
    EXPECT_EQ(QDir(dialogs[3].directory), QDir(files.path()));
    EXPECT_EQ(prompt.Texts(), QStringList{archive::text::AddDone});
    EXPECT_EQ(Front(), QStringLiteral("TabSheetAEvents/TabSheetKDAEvents"));
    EXPECT_EQ(ArchivedRounds(), (QStringList{"R10", "R11", "R13", "R14"}));
    EXPECT_EQ(GridRows("DBGridKDAEvents"), 4);
    EXPECT_EQ(Rows(Dm().TableKDRAEvents()), 8);
    EXPECT_EQ(Rows(Dm().TableKDLAEvents()), 4);

    // Add current with the rounds filter on (the 11th to the 13th), left
    // while the journal's date page was in front: bringing the archive page
    // forward puts the rounds back under their filter, so of the two new
    // rounds only the one on the 12th goes in, R11 and R13 being there.
    AddRound(12);
    AddRound(9);
    Refresh();
    window->ShowPage(QStringLiteral("TabSheetEvents"), QStringLiteral("TabSheetKDEvents"));
    widgets::DBGrid* rounds = window->Grid(QStringLiteral("DBGridKDEvents"));
    ASSERT_NE(rounds, nullptr);
    QApplication::setActiveWindow(window.get());
    rounds->setFocus();
    QApplication::processEvents();
    window->ActionRefresh(true);
    window->FilterDialog(FilterPage::KDEvents).exec = [](TFormFilter& d) {
        d.setResult(QDialog::Rejected);
        d.findChild<QDateEdit*>(QStringLiteral("DateTimePickerDateFrom"))
            ->setDate(QDate(2026, 3, 11));
        d.findChild<QDateEdit*>(QStringLiteral("DateTimePickerDateTo"))
            ->setDate(QDate(2026, 3, 13));
        d.findChild<QAbstractButton*>(QStringLiteral("ButtonOK"))->click();
        return d.result();
    };
    Trigger("ActionSetFilter");
    ASSERT_TRUE(window->Filters().KDEvents().Active());
    ASSERT_EQ(Dm().TableKDEvents().RecordCount(), 3);
    window->ShowPage(QStringLiteral("TabSheetEvents"), QStringLiteral("TabSheetKDDEvents"));
    ASSERT_FALSE(Dm().TableKDEvents().Filtered());
    prompt.Clear();
    Trigger("ActionAddCurArchive");
    EXPECT_EQ(dialogs.size(), 4u);  // no dialog
    EXPECT_EQ(prompt.Texts(), QStringList{archive::text::AddDone});
    EXPECT_EQ(Front(), QStringLiteral("TabSheetAEvents/TabSheetKDAEvents"));
    EXPECT_EQ(ArchivedRounds(), (QStringList{"R10", "R11", "R12", "R13", "R14"}));
    EXPECT_EQ(window->ArchiveCommands().LastTally().added, 1);
    EXPECT_EQ(window->ArchiveCommands().LastTally().skipped, 2);
    EXPECT_EQ(GridRows("DBGridKDAEvents"), 5);
    EXPECT_EQ(Rows(Dm().TableKDRAEvents()), 10);
    EXPECT_EQ(Rows(Dm().TableKDLAEvents()), 5);
    // The working rounds stay as they were, under their filter.
    EXPECT_TRUE(Dm().TableKDEvents().Filtered());
    EXPECT_EQ(Dm().TableKDEvents().RecordCount(), 3);
    EXPECT_EQ(Rows(Dm().TableKDEvents()), 6);
}

// Cancel in a file dialog does nothing further: no file, no message, the
// archive as it was. Neither does a command while a long operation runs.
TEST_F(ArchiveFlow, CancelAndBusyDoNothing) {
    for (const char* action : {"ActionSaveArchive", "ActionLoadArchive", "ActionAddArchive"}) {
        SCOPED_TRACE(action);
        dialogs.clear();
        Trigger(action);
        EXPECT_EQ(dialogs.size(), 1u);
        EXPECT_TRUE(prompt.Asked().empty()) << prompt.Texts().join(u'|').toStdString();
        EXPECT_FALSE(window->Busy());
    }
    EXPECT_TRUE(QDir(files.path()).isEmpty());
    EXPECT_TRUE(ArchivedRounds().isEmpty());
    EXPECT_EQ(Rows(Dm().TableKDEvents()), 3);

    window->ShowPage(QStringLiteral("TabSheetKordex"), QStringLiteral("TabSheetTest"));
    window->Status().Show(QStringLiteral("Чтение"), QStringLiteral("Идет чтение..."), 100);
    dialogs.clear();
    for (const char* action : ArchiveActions)
        Trigger(action);
    window->Status().Close();
    EXPECT_TRUE(dialogs.empty());
    EXPECT_TRUE(ArchivedRounds().isEmpty());
    EXPECT_EQ(Front(), QStringLiteral("TabSheetKordex/TabSheetTest"));
}

// The four commands are disabled until a login shows the archive page, and
// follow that page from one login to the next.
class ArchiveRights : public MainWindowTest {
protected:
    bool Enabled() {
        int on = 0;
        for (const char* a : ArchiveActions)
            on += window->Action(QString::fromLatin1(a))->isEnabled() ? 1 : 0;
        EXPECT_TRUE(on == 0 || on == 4) << on;
        return on == 4;
    }
};

TEST_F(ArchiveRights, FollowTheArchivePage) {
    struct Case {
        const char* who;
        QString key, password;
        bool enabled;
    };
    Start();
    EXPECT_FALSE(Enabled());
    Login({}, {});
    EXPECT_TRUE(Enabled());
    const QString archivist = sim::TouchKeyText(0x00777777);
    AddUser(AdminKey, QStringLiteral("Администратор"), QStringLiteral("1"), {"IsAdmin"});
    AddUser(RegistrarKey, QStringLiteral("Регистратор"), QStringLiteral("2"),
            {"IsKDEvs", "IsRead"});
    AddUser(archivist, QStringLiteral("Архивариус"), QStringLiteral("3"), {"IsKDAEvs"});
    const Case cases[] = {
        {"registrar without the archive", RegistrarKey, QStringLiteral("2"), false},
        {"registrar with the archive", archivist, QStringLiteral("3"), true},
        {"administrator", AdminKey, QStringLiteral("1"), true},
        {"registrar without the archive again", RegistrarKey, QStringLiteral("2"), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.who);
        Login(c.key, c.password);
        EXPECT_EQ(Enabled(), c.enabled);
    }
}
