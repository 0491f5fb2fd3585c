// The filters of the journal pages through the main window: the five dialogs,
// Set filter and Remove filter, the indicators, the switch of the rounds and
// touches between the rounds page and the date page, and the complex build.
#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDateEdit>
#include <QRadioButton>
#include <QTabBar>
#include <QTimeEdit>
#include <QTimer>

#include "GuiFixture.h"
#include "app/filters/FilterDialogs.h"
#include "app/window/HelpWindow.h"
#include "app/window/StatusForm.h"
#include "filters/PageFilters.h"
#include "link/DateTime.h"
#include "widgets/DBGrid.h"
#include "widgets/DataWidgets.h"

using namespace kordex;
using namespace kordex::app;
using filters::FilterPage;
using kordex::gui::AdminKey;
using kordex::gui::MainWindowTest;
using kordex::gui::RegistrarKey;
using widgets::DBLookupComboBox;

namespace {

const QString Guard1 = sim::TouchKeyText(0x111);
const QString Guard2 = sim::TouchKeyText(0x112);
const QString Point1 = sim::TouchKeyText(0x301);
const QString Point2 = sim::TouchKeyText(0x302);
const QString Incident1 = sim::TouchKeyText(0x401);
const QString Collector1 = sim::TouchKeyText(0x201);

// A day of March 2026 (the fake clock stands on the 15th) with a time.
double At(int day, int hour = 0, int minute = 0) {
    return link::DateTime::FromDate(QDate(2026, 3, day), QTime(hour, minute)).Days();
}

QDate March(int day) {
    return QDate(2026, 3, day);
}

template <typename W>
W* Child(QWidget& parent, const char* name) {
    W* w = parent.findChild<W*>(QString::fromLatin1(name));
    EXPECT_NE(w, nullptr) << name;
    return w;
}

// What the operator does in a dialog.
void Dates(TFormFilter& d, int from, int to) {
    Child<QDateEdit>(d, "DateTimePickerDateFrom")->setDate(March(from));
    Child<QDateEdit>(d, "DateTimePickerDateTo")->setDate(March(to));
}

void Choose(TFormFilter& d, const char* combo, const QVariant& key) {
    DBLookupComboBox* c = Child<DBLookupComboBox>(d, combo);
    c->SetKeyValue(key);
    EXPECT_GE(c->currentIndex(), 0) << combo << " " << key.toString().toStdString();
}

void Click(TFormFilter& d, const char* button) {
    Child<QAbstractButton>(d, button)->click();
}

}  // namespace

// The window logged in without registrars, with three rounds of touches in
// the working and in the archive store and a few journal entries.
//   R1 10.03 09:00, collector 1, registrar A, guard 1: guard 1's key, point 1, point 2
//   R2 11.03 09:00, registrar B, guard 2: point 1, incident 1, point 2
//   R3 13.03 09:00, registrar A, guard 1: point 1, guard 2's key, point 2
class Filters : public MainWindowTest {
protected:
    void SetUp() override {
        Start();
        window->activateWindow();
        Login({}, {});
        AddUser(AdminKey, QStringLiteral("Администратор"), QStringLiteral("1"), {"IsAdmin"});
        AddUser(RegistrarKey, QStringLiteral("Регистратор Б"), QStringLiteral("2"), {});
        AddUser(Guard1, QStringLiteral("Охранник 1"), {}, {}, false);
        AddUser(Guard2, QStringLiteral("Охранник 2"), {}, {}, false);
        store::View& keys = Dm().TablePoints();
        Put(keys, {{"Key", Point1}, {"Name", "Точка 1"}, {"IsPrBook", false}, {"IsKD", false}});
        Put(keys, {{"Key", Point2}, {"Name", "Точка 2"}, {"IsPrBook", false}, {"IsKD", false}});
        Put(keys, {{"Key", Incident1}, {"Name", "Пожар"}, {"IsPrBook", true}, {"IsKD", false}});
        Put(keys, {{"Key", Collector1}, {"Name", "Kordex 1"}, {"IsPrBook", false}, {"IsKD", true}});
        for (auto [rounds, touches] :
             {std::pair{&Dm().TableKDEvents(), &Dm().TableKDREvents()},
              std::pair{&Dm().TableKDAEvents(), &Dm().TableKDRAEvents()}}) {
            Put(*rounds, {{"DateReg", At(10, 9)},
                          {"IDKD", Collector1},
                          {"KeyReg", AdminKey},
                          {"KeyGuard", Guard1},
                          {"Memo", "R1"}});
            Put(*rounds, {{"DateReg", At(11, 9)},
                          {"KeyReg", RegistrarKey},
                          {"KeyGuard", Guard2},
                          {"Memo", "R2"}});
            Put(*rounds, {{"DateReg", At(13, 9)},
                          {"KeyReg", AdminKey},
                          {"KeyGuard", Guard1},
                          {"Memo", "R3"}});
            const std::tuple<int, int, QString> rows[] = {
                {10, 5, Guard1}, {10, 10, Point1},    {10, 20, Point2},
                {11, 5, Point1}, {11, 10, Incident1}, {11, 15, Point2},
                {13, 5, Point1}, {13, 10, Guard2},    {13, 20, Point2}};
            for (const auto& [day, minute, key] : rows)
                Put(*touches,
                    {{"DateReg", At(day, 9)}, {"Date", At(day, 9, minute)}, {"Key", key}});
        }
        store::View& journal = Dm().TablePrEvents();
        Put(journal, {{"Date", At(10, 10)}, {"Key", AdminKey}, {"Name", "a"}});
        Put(journal, {{"Date", At(11, 10)}, {"Key", AdminKey}, {"Name", "b"}});
        Put(journal, {{"Date", At(11, 11)}, {"Key", RegistrarKey}, {"Name", "c"}});
        for (const auto& c : Dm().Components())
            if (c.view != nullptr && c.view->IsOpen()) c.view->Refresh();
        prompt.Clear();
    }

    // Writes a row straight into the view's table, past every rule.
    void Put(store::View& v, std::initializer_list<std::pair<const char*, QVariant>> row) {
        store::Values values(v.Def().fields.size());
        for (const auto& [field, value] : row)
            values[v.Def().FieldIndex(QString::fromLatin1(field))] = value;
        v.PhysicalTable()->Insert(values);
    }

    widgets::DBGrid* Focus(const QString& page, const QString& sub, const QString& grid) {
        window->ShowPage(page, sub);
        widgets::DBGrid* g = window->Grid(grid);
        EXPECT_NE(g, nullptr) << grid.toStdString();
        if (g == nullptr) return nullptr;
        QApplication::setActiveWindow(window.get());
        g->setFocus();
        QApplication::processEvents();
        EXPECT_EQ(window->FocusedGrid(), g) << grid.toStdString();
        window->ActionRefresh(true);
        return g;
    }

    bool Enabled(const char* action) {
        return window->Action(QString::fromLatin1(action))->isEnabled();
    }
    void Trigger(const char* action) { window->Action(QString::fromLatin1(action))->trigger(); }

    // The next showing of the page's dialog: the operator does what is given
    // and presses OK or Отмена.
    void Play(FilterPage page, std::function<void(TFormFilter&)> does, bool ok = true) {
        window->FilterDialog(page).exec = [does, ok](TFormFilter& d) {
            d.setResult(QDialog::Rejected);
            does(d);
            Click(d, ok ? "ButtonOK" : "ButtonCancel");
            return d.result();
        };
    }

    // Closes the status window with a key as soon as it shows.
    void InterruptWhenShown() {
        auto* timer = new QTimer(window.get());
        timer->setInterval(0);
        QObject::connect(timer, &QTimer::timeout, window.get(), [this, timer] {
            if (!window->Status().IsShowing()) return;
            timer->stop();
            timer->deleteLater();
            window->Status().FormKeyPress();
        });
        timer->start();
    }

    // The Memo of every row of the view, in its order.
    static QStringList Column(store::View& v, const char* field) {
        QStringList out;
        for (v.First(); !v.Eof(); v.Next())
            out << v.Text(QString::fromLatin1(field));
        return out;
    }
};

// On each of the five pages: the filter command opens the page's dialog, OK
// narrows the page's table and shows its indicator (its tip naming what is
// chosen), Remove filter shows every row again and hides the indicator; the
// settings stay for the next time.
TEST_F(Filters, SetAndRemoveOnEveryPage) {
    struct Case {
        const char* outer;
        const char* inner;
        const char* grid;
        FilterPage page;
        store::View* table;
        std::function<void(TFormFilter&)> does;
        int rows;
        const char* named;  // in the indicator's tip
    };
    auto guard1 = [](TFormFilter& d) {
        Dates(d, 10, 13);
        Choose(d, "DBLookupComboBoxGuard", Guard1);
    };
    auto point1 = [](TFormFilter& d) {
        Dates(d, 11, 13);
        Click(d, "RadioButtonPoint");
        Choose(d, "DBLookupComboBoxEvent", Point1);
    };
    const Case cases[] = {
        {"TabSheetEvents", "TabSheetPrEvents", "DBGridPrEvents", FilterPage::PrEvents,
         &Dm().TablePrEvents(),
         [](TFormFilter& d) {
             Dates(d, 11, 11);
             Choose(d, "DBLookupComboBoxRegister", AdminKey);
         },
         1, "Администратор"},
        {"TabSheetEvents", "TabSheetKDEvents", "DBGridKDEvents", FilterPage::KDEvents,
         &Dm().TableKDEvents(), guard1, 2, "Охранник 1"},
        {"TabSheetEvents", "TabSheetKDDEvents", "DBGridKDDEvs", FilterPage::KDDEvents,
         &Dm().TableKDREvents(), point1, 2, "Точка 1"},
        {"TabSheetAEvents", "TabSheetKDAEvents", "DBGridKDAEvents", FilterPage::KDAEvents,
         &Dm().TableKDAEvents(), guard1, 2, "Охранник 1"},
        {"TabSheetAEvents", "TabSheetKDDAEvents", "DBGridKDADEvs", FilterPage::KDDAEvents,
         &Dm().TableKDRAEvents(), point1, 2, "Точка 1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.inner);
        ASSERT_NE(Focus(QString::fromLatin1(c.outer), QString::fromLatin1(c.inner),
                        QString::fromLatin1(c.grid)),
                  nullptr);
        FilterIndicator* panel = window->FilterIndicatorOf(c.page);
        ASSERT_NE(panel, nullptr);
        EXPECT_EQ(panel->text(), QStringLiteral("Включен фильтр"));
        EXPECT_FALSE(panel->isVisibleTo(panel->parentWidget()));
        const int all = c.table->RecordCount();
        EXPECT_TRUE(Enabled("ActionSetFilter"));
        EXPECT_FALSE(Enabled("ActionNoFilter"));

        Play(c.page, c.does);
        Trigger("ActionSetFilter");
        EXPECT_TRUE(c.table->Filtered());
        EXPECT_EQ(c.table->RecordCount(), c.rows);
        EXPECT_TRUE(panel->isVisibleTo(panel->parentWidget()));
        EXPECT_TRUE(window->Filters().Page(c.page).Active());
        EXPECT_TRUE(panel->describe().contains(QString::fromUtf8(c.named)))
            << panel->describe().toStdString();
        EXPECT_TRUE(Enabled("ActionNoFilter"));

        Trigger("ActionNoFilter");
        EXPECT_FALSE(c.table->Filtered());
        EXPECT_EQ(c.table->RecordCount(), all);
        EXPECT_FALSE(panel->isVisibleTo(panel->parentWidget()));
        EXPECT_FALSE(window->Filters().Page(c.page).Active());
        EXPECT_FALSE(Enabled("ActionNoFilter"));

        // The next Set filter starts from the settings just used.
        Play(c.page, [](TFormFilter&) {});
        Trigger("ActionSetFilter");
        EXPECT_EQ(c.table->RecordCount(), c.rows);
        Trigger("ActionNoFilter");
    }
    // Remove filter with the focus away from the grid does nothing.
    Focus(QStringLiteral("TabSheetEvents"), QStringLiteral("TabSheetKDEvents"),
          QStringLiteral("DBGridKDEvents"));
    Play(FilterPage::KDEvents, [](TFormFilter&) {});
    Trigger("ActionSetFilter");
    ASSERT_TRUE(Dm().TableKDEvents().Filtered());
    window->PageControl()->tabBar()->setFocus();
    QApplication::processEvents();
    window->ActionNoFilterExecute();
    EXPECT_TRUE(Dm().TableKDEvents().Filtered());
    EXPECT_TRUE(window->Filters().KDEvents().Active());

    // Only the five journal grids filter.
    Focus(QStringLiteral("TabSheetEvents"), QStringLiteral("TabSheetKDEvents"),
          QStringLiteral("DBGridKDREvs"));
    EXPECT_FALSE(Enabled("ActionSetFilter"));
    EXPECT_TRUE(prompt.Asked().empty()) << prompt.Texts().join(u'|').toStdString();
}

// Cancel leaves the settings in force and shows them again next time, after
// whatever was changed in the dialog.
TEST_F(Filters, CancelKeepsTheSettings) {
    Focus(QStringLiteral("TabSheetEvents"), QStringLiteral("TabSheetKDDEvents"),
          QStringLiteral("DBGridKDDEvs"));
    Play(FilterPage::KDDEvents, [](TFormFilter& d) {
        Dates(d, 10, 13);
        Click(d, "RadioButtonUser");
        Choose(d, "DBLookupComboBoxEvent", Guard1);
        Choose(d, "DBLookupComboBoxKD", Collector1);
    });
    Trigger("ActionSetFilter");
    store::View& touches = Dm().TableKDREvents();
    ASSERT_EQ(touches.RecordCount(), 1);
    const filters::TouchFilterSettings before = window->Filters().KDDEvents().Settings();

    Play(
        FilterPage::KDDEvents,
        [](TFormFilter& d) {
            Child<QCheckBox>(d, "CheckBoxNoInterval")->setChecked(true);
            Click(d, "RadioButtonOnDay");
            Click(d, "RadioButtonIncident");
            Choose(d, "DBLookupComboBoxEvent", Incident1);
            Click(d, "ButtonClearKD");
            Choose(d, "DBLookupComboBoxGuard", Guard2);
        },
        false);
    Trigger("ActionSetFilter");
    const filters::TouchFilterSettings& after = window->Filters().KDDEvents().Settings();
    EXPECT_EQ(after.interval.noInterval, before.interval.noInterval);
    EXPECT_EQ(after.interval.kind, before.interval.kind);
    EXPECT_EQ(after.interval.dateFrom, before.interval.dateFrom);
    EXPECT_EQ(after.eventKind, filters::EventKind::User);
    EXPECT_EQ(after.event, std::optional<QString>(Guard1));
    EXPECT_EQ(after.collector, std::optional<QString>(Collector1));
    EXPECT_FALSE(after.guard.has_value());
    EXPECT_TRUE(touches.Filtered());
    EXPECT_EQ(touches.RecordCount(), 1);

    // The dialog shows what is in force, not what was cancelled.
    bool seen = false;
    Play(
        FilterPage::KDDEvents,
        [&seen](TFormFilter& d) {
            seen = true;
            EXPECT_FALSE(Child<QCheckBox>(d, "CheckBoxNoInterval")->isChecked());
            EXPECT_TRUE(Child<QDateEdit>(d, "DateTimePickerDateFrom")->isEnabled());
            EXPECT_TRUE(Child<QRadioButton>(d, "RadioButtonAbs")->isChecked());
            EXPECT_TRUE(Child<QRadioButton>(d, "RadioButtonUser")->isChecked());
            EXPECT_EQ(Child<DBLookupComboBox>(d, "DBLookupComboBoxEvent")->KeyValue(),
                      QVariant(Guard1));
            EXPECT_EQ(Child<DBLookupComboBox>(d, "DBLookupComboBoxKD")->KeyValue(),
                      QVariant(Collector1));
            EXPECT_FALSE(Child<DBLookupComboBox>(d, "DBLookupComboBoxGuard")->KeyValue().isValid());
            EXPECT_TRUE(Child<QCheckBox>(d, "CheckBoxCUser")->isEnabled());
        },
        false);
    Trigger("ActionSetFilter");
    EXPECT_TRUE(seen);
}

// The dialog's own rules: "не учитывать" switches the interval's controls,
// the event kind switches the list and clears the choice, the complex box
// follows "Имя пользователя", the quick intervals, OK refuses a bad interval
// and F1 opens the dialog's topic.
TEST_F(Filters, DialogRules) {
    TFormFilter& d = window->FilterDialog(FilterPage::KDDEvents);
    d.Load();
    auto* noInterval = Child<QCheckBox>(d, "CheckBoxNoInterval");
    noInterval->setChecked(true);
    for (const char* n : {"DateTimePickerDateFrom", "DateTimePickerTimeTo", "RadioButtonOnDay",
                          "ButtonToday", "ButtonMonth"})
        EXPECT_FALSE(Child<QWidget>(d, n)->isEnabled()) << n;
    EXPECT_TRUE(noInterval->isEnabled());
    noInterval->setChecked(false);
    EXPECT_TRUE(Child<QWidget>(d, "DateTimePickerDateFrom")->isEnabled());

    auto* event = Child<DBLookupComboBox>(d, "DBLookupComboBoxEvent");
    auto* complex = Child<QCheckBox>(d, "CheckBoxCUser");
    Click(d, "RadioButtonPoint");
    Choose(d, "DBLookupComboBoxEvent", Point1);
    EXPECT_FALSE(complex->isEnabled());
    Click(d, "RadioButtonIncident");
    EXPECT_LT(event->currentIndex(), 0);
    EXPECT_EQ(event->ListView(), &Dm().TablePrBook());
    Click(d, "RadioButtonUser");
    EXPECT_EQ(event->ListView(), &Dm().TableUsers());
    EXPECT_TRUE(complex->isEnabled());
    complex->setChecked(true);
    Click(d, "RadioButtonPoint");
    EXPECT_FALSE(complex->isEnabled());
    EXPECT_TRUE(complex->isChecked());

    struct Quick {
        const char* button;
        int from, to;
        QDate monthFrom;
    };
    for (const Quick& q :
         {Quick{"ButtonToday", 15, 15, {}}, Quick{"ButtonYesterday", 14, 14, {}},
          Quick{"ButtonWeek", 9, 15, {}}, Quick{"ButtonMonth", 0, 15, QDate(2026, 2, 16)}}) {
        Child<QTimeEdit>(d, "DateTimePickerTimeFrom")->setTime(QTime(7, 0));
        Click(d, q.button);
        EXPECT_EQ(Child<QDateEdit>(d, "DateTimePickerDateFrom")->date(),
                  q.monthFrom.isValid() ? q.monthFrom : March(q.from))
            << q.button;
        EXPECT_EQ(Child<QDateEdit>(d, "DateTimePickerDateTo")->date(), March(q.to)) << q.button;
        EXPECT_EQ(Child<QTimeEdit>(d, "DateTimePickerTimeFrom")->time(), QTime(0, 0));
        EXPECT_EQ(Child<QTimeEdit>(d, "DateTimePickerTimeTo")->time(), QTime(23, 59, 59));
    }

    // OK: a lower bound after the upper one is refused, the dialog stays;
    // equal bounds and an ignored interval are accepted.
    struct Interval {
        int from, to;
        QTime timeFrom, timeTo;
        bool perDay, ignored, accepted;
    };
    for (const Interval& c : {Interval{12, 11, QTime(0, 0), QTime(23, 59, 59), false, false, false},
                              Interval{11, 11, QTime(22, 0), QTime(6, 0), true, false, false},
                              Interval{11, 11, QTime(22, 0), QTime(6, 0), true, true, true},
                              Interval{11, 11, QTime(6, 0), QTime(6, 0), false, false, true}}) {
        prompt.Clear();
        d.setResult(QDialog::Rejected);
        Dates(d, c.from, c.to);
        Child<QTimeEdit>(d, "DateTimePickerTimeFrom")->setTime(c.timeFrom);
        Child<QTimeEdit>(d, "DateTimePickerTimeTo")->setTime(c.timeTo);
        Click(d, c.perDay ? "RadioButtonOnDay" : "RadioButtonAbs");
        noInterval->setChecked(c.ignored);
        Click(d, "ButtonOK");
        EXPECT_EQ(d.result() == QDialog::Accepted, c.accepted) << c.from << " " << c.perDay;
        if (c.accepted) {
            EXPECT_TRUE(prompt.Asked().empty());
        } else {
            ASSERT_EQ(prompt.Asked().size(), 1u);
            EXPECT_EQ(prompt.Asked()[0].text, QStringLiteral("Неверно задан интервал !"));
            EXPECT_EQ(prompt.Asked()[0].caption, QStringLiteral("Ошибка"));
            EXPECT_EQ(prompt.Asked()[0].icon, shell::Icon::Error);
        }
    }

    for (auto [page, topic] :
         {std::pair{FilterPage::PrEvents, 171}, std::pair{FilterPage::KDAEvents, 172},
          std::pair{FilterPage::KDDAEvents, 173}}) {
        TFormFilter& f = window->FilterDialog(page);
        // F1 is the dialog's while it is up and in front.
        f.show();
        QApplication::setActiveWindow(&f);
        f.setFocus();
        QKeyEvent f1(QEvent::KeyPress, Qt::Key_F1, Qt::NoModifier);
        QApplication::sendEvent(&f, &f1);
        f.hide();
        ASSERT_NE(f.Help(), nullptr);
        EXPECT_EQ(f.Help()->CurrentTopic(), topic);
        f.Help()->hide();
    }
}

// A guard deleted from the users is no longer chosen in any dialog, shown or
// in force; the registrar, who is still there, stays chosen.
TEST_F(Filters, DeletedGuardLeavesEveryDialog) {
    filters::PageFilters& f = window->Filters();
    f.PrEvents().Settings().registrar = RegistrarKey;
    for (FilterPage p : {FilterPage::KDEvents, FilterPage::KDDEvents, FilterPage::KDAEvents,
                         FilterPage::KDDAEvents})
        static_cast<filters::RoundFilter*>(&f.Page(p))->Settings().guard = Guard2;
    f.KDEvents().Settings().registrar = RegistrarKey;
    for (FilterPage p : {FilterPage::PrEvents, FilterPage::KDEvents, FilterPage::KDDEvents,
                         FilterPage::KDAEvents, FilterPage::KDDAEvents})
        window->FilterDialog(p).Load();

    Focus(QStringLiteral("TabSheetUsers"), {}, QStringLiteral("DBGridUsers"));
    ASSERT_TRUE(Dm().TableUsers().Locate(QStringLiteral("Key"), Guard2));
    window->ActionDelRecExecute();
    ASSERT_FALSE(Dm().TableUsers().Locate(QStringLiteral("Key"), Guard2));

    EXPECT_FALSE(f.KDEvents().Settings().guard.has_value());
    EXPECT_FALSE(f.KDDEvents().Settings().guard.has_value());
    EXPECT_FALSE(f.KDAEvents().Settings().guard.has_value());
    EXPECT_FALSE(f.KDDAEvents().Settings().guard.has_value());
    for (FilterPage p : {FilterPage::KDEvents, FilterPage::KDDEvents, FilterPage::KDAEvents,
                         FilterPage::KDDAEvents})
        EXPECT_LT(Child<DBLookupComboBox>(window->FilterDialog(p), "DBLookupComboBoxGuard")
                      ->currentIndex(),
                  0);
    EXPECT_EQ(f.PrEvents().Settings().registrar, std::optional<QString>(RegistrarKey));
    EXPECT_EQ(f.KDEvents().Settings().registrar, std::optional<QString>(RegistrarKey));
    EXPECT_EQ(Child<DBLookupComboBox>(window->FilterDialog(FilterPage::PrEvents),
                                      "DBLookupComboBoxRegister")
                  ->KeyValue(),
              QVariant(RegistrarKey));
}

// From the rounds page to the date page and back the same touch stays in
// front. Each filter applies only on its own page: on the rounds page every
// round shows all its touches though the date filter is on, and each page
// gets its filter back when it comes to the front again.
TEST_F(Filters, DatePageSwitchKeepsTheTouchAndEachPagesFilter) {
    store::View& rounds = Dm().TableKDEvents();
    store::View& touches = Dm().TableKDREvents();
    const QString events = QStringLiteral("TabSheetEvents");
    Focus(events, QStringLiteral("TabSheetKDEvents"), QStringLiteral("DBGridKDEvents"));
    ASSERT_TRUE(rounds.Locate(QStringLiteral("Memo"), QStringLiteral("R2")));
    touches.First();
    touches.Next();
    const QVariant incident = touches.Value(QStringLiteral("ID"));
    ASSERT_EQ(touches.Text(QStringLiteral("Key")), Incident1);

    Focus(events, QStringLiteral("TabSheetKDDEvents"), QStringLiteral("DBGridKDDEvs"));
    EXPECT_EQ(touches.RecordCount(), 9);
    EXPECT_EQ(touches.Value(QStringLiteral("ID")), incident);
    EXPECT_EQ(rounds.Text(QStringLiteral("Memo")), QStringLiteral("R2"));
    // The round panels under the grid show the round of the touch.
    auto* header = window->findChild<QWidget*>(QStringLiteral("PanelRoundKDDEvs"));
    ASSERT_NE(header, nullptr);
    bool memoShown = false;
    for (auto* e : header->findChildren<widgets::DBEdit*>())
        if (e->Field() == QLatin1String("Memo")) memoShown = e->text() == QLatin1String("R2");
    EXPECT_TRUE(memoShown);

    // The date filter: point 1 only.
    Play(FilterPage::KDDEvents, [](TFormFilter& d) {
        Dates(d, 10, 13);
        Click(d, "RadioButtonPoint");
        Choose(d, "DBLookupComboBoxEvent", Point1);
    });
    Trigger("ActionSetFilter");
    ASSERT_EQ(touches.RecordCount(), 3);
    ASSERT_TRUE(touches.Locate(QStringLiteral("DateReg"), At(13, 9)));
    const QVariant r3Point = touches.Value(QStringLiteral("ID"));

    Focus(events, QStringLiteral("TabSheetKDEvents"), QStringLiteral("DBGridKDEvents"));
    EXPECT_FALSE(rounds.Filtered());
    EXPECT_EQ(rounds.Text(QStringLiteral("Memo")), QStringLiteral("R3"));
    EXPECT_EQ(touches.Value(QStringLiteral("ID")), r3Point);
    EXPECT_FALSE(touches.Filtered());
    for (rounds.First(); !rounds.Eof(); rounds.Next())
        EXPECT_EQ(touches.RecordCount(), 3) << rounds.Text(QStringLiteral("Memo")).toStdString();

    // The rounds filter: guard 1's rounds.
    Play(FilterPage::KDEvents, [](TFormFilter& d) {
        Dates(d, 10, 13);
        Choose(d, "DBLookupComboBoxGuard", Guard1);
    });
    Trigger("ActionSetFilter");
    EXPECT_EQ(Column(rounds, "Memo"), (QStringList{"R1", "R3"}));

    Focus(events, QStringLiteral("TabSheetKDDEvents"), QStringLiteral("DBGridKDDEvs"));
    EXPECT_TRUE(touches.Filtered());
    EXPECT_EQ(touches.RecordCount(), 3);
    EXPECT_FALSE(rounds.Filtered());
    // The round of a touch shows though the rounds filter leaves it out.
    ASSERT_TRUE(touches.Locate(QStringLiteral("DateReg"), At(11, 9)));
    EXPECT_EQ(rounds.Text(QStringLiteral("Memo")), QStringLiteral("R2"));

    Focus(events, QStringLiteral("TabSheetKDEvents"), QStringLiteral("DBGridKDEvents"));
    EXPECT_TRUE(rounds.Filtered());
    EXPECT_EQ(Column(rounds, "Memo"), (QStringList{"R1", "R3"}));
    EXPECT_FALSE(touches.Filtered());
}

// The complex build stopped from its status window leaves the filter and the
// indicator as they were; the dialog keeps what was entered, and the next
// Set filter builds the list and filters by it.
TEST_F(Filters, ComplexBuildInterrupted) {
    store::View& touches = Dm().TableKDREvents();
    Focus(QStringLiteral("TabSheetEvents"), QStringLiteral("TabSheetKDDEvents"),
          QStringLiteral("DBGridKDDEvs"));
    Play(FilterPage::KDDEvents, [](TFormFilter& d) {
        Dates(d, 10, 13);
        Choose(d, "DBLookupComboBoxEvent", Point2);
    });
    Trigger("ActionSetFilter");
    ASSERT_EQ(touches.RecordCount(), 3);
    FilterIndicator* panel = window->FilterIndicatorOf(FilterPage::KDDEvents);
    ASSERT_TRUE(panel->isVisibleTo(panel->parentWidget()));

    Play(FilterPage::KDDEvents, [](TFormFilter& d) {
        Click(d, "RadioButtonUser");
        Choose(d, "DBLookupComboBoxEvent", Guard1);
        Child<QCheckBox>(d, "CheckBoxCUser")->setChecked(true);
    });
    InterruptWhenShown();
    Trigger("ActionSetFilter");
    EXPECT_EQ(prompt.Count(MsgInterrupted), 1);
    EXPECT_FALSE(window->Status().IsShowing());
    EXPECT_TRUE(touches.Filtered());
    EXPECT_EQ(Column(touches, "Key"), (QStringList{Point2, Point2, Point2}));
    EXPECT_TRUE(panel->isVisibleTo(panel->parentWidget()));
    EXPECT_TRUE(window->Filters().KDDEvents().Active());

    // Shown again as entered; this time the build runs to its end: from
    // guard 1's touch up to guard 2's.
    Focus(QStringLiteral("TabSheetEvents"), QStringLiteral("TabSheetKDDEvents"),
          QStringLiteral("DBGridKDDEvs"));
    Play(FilterPage::KDDEvents, [](TFormFilter& d) {
        EXPECT_TRUE(Child<QCheckBox>(d, "CheckBoxCUser")->isChecked());
        EXPECT_EQ(Child<DBLookupComboBox>(d, "DBLookupComboBoxEvent")->KeyValue(),
                  QVariant(Guard1));
    });
    Trigger("ActionSetFilter");
    EXPECT_EQ(Column(touches, "Key"),
              (QStringList{Guard1, Point1, Point2, Point1, Incident1, Point2, Point1}));
    EXPECT_TRUE(panel->describe().contains(filters::text::ComplexEvent));
    // The status window gone, the grid has the focus back and the commands follow it.
    QApplication::processEvents();
    EXPECT_EQ(window->FocusedGrid(), window->Grid(QStringLiteral("DBGridKDDEvs")));
    EXPECT_TRUE(Enabled("ActionNoFilter"));
}
