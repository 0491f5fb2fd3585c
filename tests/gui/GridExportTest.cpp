// "Экспорт в Excel...": the focused grid written as it shows its rows, and an
// export stopped in the status window, which leaves no file.
#include <QAction>
#include <QHeaderView>
#include <QMenu>
#include <QProgressBar>
#include <QTest>

#include "GuiFixture.h"
#include "XlsxReader.h"
#include "app/window/StatusForm.h"
#include "filters/PageFilters.h"
#include "filters/Settings.h"
#include "widgets/DBGrid.h"
#include "widgets/GridModel.h"

using namespace kordex;
using kordex::gui::MainWindowTest;

namespace {

const QString Guard = sim::TouchKeyText(0x111);
const QString Point1 = sim::TouchKeyText(0x301);
const QString Point2 = sim::TouchKeyText(0x302);

double At(int minute) {
    return link::DateTime::FromDate(QDate(2026, 3, 10), QTime(9, 0)).Days() + minute / 1440.0;
}

}  // namespace

// Logged in without registrars; one round of 5000 touches, every third the
// guard's own key, the others two check points by turns.
class GridExport : public MainWindowTest {
protected:
    static constexpr int Touches = 5000;

    void SetUp() override {
        Start();
        window->activateWindow();
        Login({}, {});
        AddUser(Guard, QStringLiteral("Охранник 1"), {}, {}, false);
        store::View& keys = Dm().TablePoints();
        Put(keys, {{"Key", Point1}, {"Name", "Точка 1"}, {"IsPrBook", false}, {"IsKD", false}});
        Put(keys, {{"Key", Point2}, {"Name", "Точка 2"}, {"IsPrBook", false}, {"IsKD", false}});
        Put(Dm().TableKDEvents(), {{"DateReg", At(0)}, {"KeyGuard", Guard}});
        Dm().Database().Begin();
        for (int i = 0; i < Touches; ++i)
            Put(Dm().TableKDREvents(), {{"DateReg", At(0)},
                                        {"Date", At(i + 1) + 17.0 / 86400},  // 17 s past the minute
                                        {"Key", i % 3 == 0   ? Guard
                                                : i % 3 == 1 ? Point1
                                                             : Point2}});
        Dm().Database().Commit();
        for (const auto& c : Dm().Components())
            if (c.view != nullptr && c.view->IsOpen()) c.view->Refresh();
        window->exportDialog = [this](const QString& suggested) -> std::optional<QString> {
            suggestions << suggested;
            if (answer.isEmpty()) return std::nullopt;
            return answer;
        };
        prompt.Clear();
    }

    void Put(store::View& v, std::initializer_list<std::pair<const char*, QVariant>> row) {
        store::Values values(v.Def().fields.size());
        for (const auto& [field, value] : row)
            values[v.Def().FieldIndex(QString::fromLatin1(field))] = value;
        v.PhysicalTable()->Insert(values);
    }

    // The touches by date and time, their grid focused.
    widgets::DBGrid* TouchGrid() {
        window->ShowPage(QStringLiteral("TabSheetEvents"), QStringLiteral("TabSheetKDDEvents"));
        widgets::DBGrid* g = window->Grid(QStringLiteral("DBGridKDDEvs"));
        EXPECT_NE(g, nullptr);
        if (g == nullptr) return nullptr;
        QApplication::setActiveWindow(window.get());
        g->setFocus();
        QApplication::processEvents();
        window->ActionRefresh(true);
        return g;
    }

    QAction* Export() const { return window->Action(QStringLiteral("ActionExport")); }

    QTemporaryDir out;
    QString answer;  // the file the save dialog gives, empty: Cancel
    QStringList suggestions;
};

// The touches page filtered to check point 1, its comment column moved in
// front and its event column hidden: the workbook holds the rows the grid
// shows in its order, the columns shown in their order with their titles,
// dates as date cells in the grid's format; the action sits in the table
// menu and the grid's menu and needs a grid with rows.
TEST_F(GridExport, WorkbookHoldsWhatTheGridShows) {
    widgets::DBGrid* g = TouchGrid();
    ASSERT_NE(g, nullptr);
    EXPECT_EQ(Export()->text(), QStringLiteral("Экспорт в Excel..."));
    EXPECT_TRUE(Export()->isEnabled());
    for (const char* menu : {"MenuTable", "PopupMenuTable"}) {
        auto* m = window->findChild<QMenu*>(QString::fromLatin1(menu));
        ASSERT_NE(m, nullptr) << menu;
        EXPECT_TRUE(m->actions().contains(Export())) << menu;
    }

    filters::PageFilter& page = window->Filters().Page(filters::FilterPage::KDDEvents);
    auto& touch = dynamic_cast<filters::TouchFilter&>(page);
    touch.Settings().interval.noInterval = true;
    touch.Settings().ChooseEventKind(filters::EventKind::Point);
    touch.Settings().event = Point1;
    ASSERT_TRUE(page.Set());
    QApplication::processEvents();
    widgets::GridModel* model = g->Model();
    ASSERT_EQ(model->rowCount(), (Touches + 1) / 3);
    QHeaderView* header = g->horizontalHeader();
    const int date = model->ColumnOf(QStringLiteral("Date"));
    const int point = model->ColumnOf(QStringLiteral("CPoint"));
    const int comment = model->ColumnOf(QStringLiteral("CComment"));
    header->moveSection(header->visualIndex(comment), 0);
    header->hideSection(point);

    answer = out.filePath(QStringLiteral("точки.xlsx"));
    TouchGrid();
    Export()->trigger();
    ASSERT_EQ(suggestions.size(), 1);
    EXPECT_TRUE(suggestions[0].endsWith(QStringLiteral("KDDEvs.xlsx")))
        << suggestions[0].toStdString();
    EXPECT_TRUE(prompt.Texts().isEmpty()) << prompt.Texts().join('|').toStdString();
    EXPECT_FALSE(window->Status().IsShowing());

    xlsx::XlsxBook book;
    QString why;
    ASSERT_TRUE(xlsx::ReadXlsx(answer, book, why)) << why.toStdString();
    ASSERT_EQ(static_cast<int>(book.rows.size()), model->rowCount() + 1);
    const int shown[] = {comment, date};
    for (int c = 0; c < 2; ++c)
        EXPECT_EQ(book.Cell(0, c).text, model->headerData(shown[c], Qt::Horizontal).toString());
    EXPECT_EQ(book.Cell(0, 2).kind, xlsx::XlsxCell::None);
    const QString format = model->FieldOf(date).displayFormat;
    ASSERT_EQ(format, QStringLiteral("dd.mm.yyyy hh:mm"));
    for (int r = 0; r < model->rowCount(); r += 97) {
        SCOPED_TRACE(r);
        EXPECT_EQ(book.Cell(r + 1, 0).text, model->index(r, comment).data().toString());
        const xlsx::XlsxCell& when = book.Cell(r + 1, 1);
        ASSERT_TRUE(book.IsDate(when));
        EXPECT_EQ(widgets::FormatDateTime(when.number, format),
                  model->index(r, date).data().toString());
        // The value itself to the second, not only the minutes shown.
        EXPECT_EQ(link::DateTime(when.number).ToText().right(2), QStringLiteral("17"));
    }
    // The widths the grid gives its columns, in characters.
    const std::vector<int>& kept = g->ColumnWidths();  // the last column stretches besides
    EXPECT_NEAR(book.width[1], book.width[0] * kept[date] / kept[comment], 1.0);

    // Cancel in the save dialog writes nothing; an empty grid has nothing to export.
    answer.clear();
    QFile::remove(out.filePath(QStringLiteral("точки.xlsx")));
    Export()->trigger();
    EXPECT_TRUE(QDir(out.path()).isEmpty());
    touch.Settings().event = sim::TouchKeyText(0x999);
    ASSERT_TRUE(page.Set());
    TouchGrid();
    EXPECT_FALSE(Export()->isEnabled());
}

// A key pressed in the status window in the middle of the export: "Прервано
// пользователем !", and neither a new file nor a temporary one; an old file
// of that name stays as it was. Then the same export runs to its end.
TEST_F(GridExport, StoppedExportLeavesNoFile) {
    ASSERT_NE(TouchGrid(), nullptr);
    app::TFormStatus& status = window->Status();
    int stops = 0;
    QStringList written;  // the old files
    QObject::connect(status.ProgressBar(), &QProgressBar::valueChanged, &status, [&](int value) {
        if (value < 30 || !status.IsShowing()) return;
        ++stops;
        QTest::keyClick(&status, Qt::Key_Escape);
    });
    for (const QString& name : {QStringLiteral("touches.xlsx"), QStringLiteral("touches.csv")}) {
        SCOPED_TRACE(name.toStdString());
        answer = out.filePath(name);
        QFile old(answer);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("old");
        old.close();
        prompt.Clear();
        stops = 0;
        TouchGrid();
        Export()->trigger();
        EXPECT_EQ(stops, 1);
        EXPECT_EQ(prompt.Texts(), QStringList{app::MsgInterrupted});
        EXPECT_FALSE(status.IsShowing());
        ASSERT_TRUE(old.open(QIODevice::ReadOnly));
        EXPECT_EQ(old.readAll(), "old");
        old.close();
        written << name;
        EXPECT_EQ(QDir(out.path()).entryList(QDir::Files, QDir::Name | QDir::Reversed), written);
    }
    QObject::disconnect(status.ProgressBar(), nullptr, &status, nullptr);
    answer = out.filePath(QStringLiteral("touches.csv"));
    TouchGrid();
    Export()->trigger();
    QFile done(answer);
    ASSERT_TRUE(done.open(QIODevice::ReadOnly));
    EXPECT_EQ(done.readAll().count("\r\n"), Touches + 1);
}
