// How the window speaks and looks: Qt's own dialogs and menus in Russian, the
// scale of the battery bar, and the room the pages give their grids.
#include <QAbstractButton>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPrintDialog>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QTranslator>

#include "GuiFixture.h"
#include "app/device/DevicePageWidgets.h"
#include "app/device/TestPage.h"
#include "app/window/Demo.h"
#include "app/window/Startup.h"
#include "widgets/DBGrid.h"

using namespace kordex;
using kordex::gui::MainWindowTest;

namespace {

// The texts of a menu's commands, without their accelerator marks.
QStringList MenuTexts(const QMenu& menu) {
    QStringList out;
    for (const QAction* a : menu.actions())
        if (!a->isSeparator())
            out << QString(a->text()).remove(QLatin1Char('&')).section(u'\t', 0, 0);
    return out;
}

bool Ink(const QImage& image, int x, int y) {
    return image.pixelColor(x, y).lightness() < 60;  // the text's black, not the bar's colours
}

}  // namespace

// --- Qt's texts

TEST_F(MainWindowTest, QtsDialogsAndMenusSpeakRussianAfterTheStart) {
    Start();
    std::unique_ptr<QTranslator> translator(app::InitApplication(*qApp));
    ASSERT_NE(translator, nullptr)
        << "no Russian translation of Qt in " << app::QtTranslationsDirectory().toStdString();

    // The printer set-up is the print dialog (a printer and its page); its
    // buttons are read while it waits for the operator, then it is closed.
    QString dialogClass, title;
    QStringList buttons;
    QTimer::singleShot(0, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal == nullptr) return;
        dialogClass = QString::fromLatin1(modal->metaObject()->className());
        title = modal->windowTitle();
        for (const QAbstractButton* b : modal->findChildren<QAbstractButton*>())
            if (b->isVisibleTo(modal) && !b->text().isEmpty())
                buttons << QString(b->text()).remove(QLatin1Char('&'));
        if (auto* d = qobject_cast<QDialog*>(modal)) d->reject();
    });
    window->Action(QStringLiteral("MenuItemPrinterSetup"))->trigger();
    EXPECT_EQ(dialogClass, QStringLiteral("QPrintDialog"));
    EXPECT_EQ(title, QStringLiteral("Настройка принтера"));
    EXPECT_TRUE(buttons.contains(QStringLiteral("Отмена"))) << buttons.join(u'|').toStdString();
    EXPECT_TRUE(buttons.contains(QStringLiteral("Свойства"))) << buttons.join(u'|').toStdString();
    EXPECT_FALSE(buttons.contains(QStringLiteral("Cancel")));

    // The context menu of an edit field.
    QLineEdit edit(window.get());
    edit.setText(QStringLiteral("Склад"));
    std::unique_ptr<QMenu> menu(edit.createStandardContextMenu());
    const QStringList items = MenuTexts(*menu);
    EXPECT_TRUE(items.contains(QStringLiteral("Копировать"))) << items.join(u'|').toStdString();
    EXPECT_FALSE(items.contains(QStringLiteral("Copy")));
}

TEST(QtTranslationsTest, AMissingTranslationLeavesQtInEnglish) {
    QTemporaryDir empty;
    EXPECT_EQ(app::InstallQtTranslations(*qApp, empty.path()), nullptr);
    EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "Cancel"), QStringLiteral("Cancel"));
}

// --- The battery bar

// The scale as the test page draws it at the start, under a bar of 3.57 V:
// digits 0 to 4 in Arial 10 bold along the bottom, each under a tick that
// reaches up to the frame of the bar in the top half, dotted lines across
// the bar at 1, 2 and 3 V, and nothing else.
TEST_F(MainWindowTest, TheBatteryScaleHasDigitsTicksAFrameAndDottedLines) {
    Start();
    for (int i = 0; i < 3; ++i)
        window->DeviceTestPage().TimerTestTimer();
    app::BatteryBarImage* bar = window->DeviceTestPage().Bar();
    ASSERT_TRUE(bar->View().drawn);
    QApplication::processEvents();
    const QImage image = bar->grab().toImage();

    const QFontMetrics fm(QFont(QStringLiteral("Arial"), 10, QFont::Bold));
    const int d = fm.horizontalAdvance(QLatin1Char('0')), h = fm.height();
    const int W = image.width() - 2 * d, H = image.height(), m = H / 2;
    ASSERT_GT(H - h, m) << "no room for the digits under the bar";
    // k quarters of W, rounded to the nearest, halves to even.
    const auto tickX = [&](int k) {
        const int q = k * W / 4, twice = 2 * (k * W % 4);
        return d + (twice > 4 || (twice == 4 && q % 2 != 0) ? q + 1 : q);
    };

    // Digits: ink in the cell of each, none elsewhere along the bottom.
    std::vector<bool> inCell(static_cast<size_t>(image.width()), false);
    for (int k = 0; k <= 4; ++k) {
        SCOPED_TRACE(k);
        const int left = tickX(k) - d + d / 2 + 1;
        int ink = 0;
        for (int x = left - 1; x <= left + d && x < image.width(); ++x) {
            inCell[static_cast<size_t>(x)] = true;
            for (int y = H - h; y < H; ++y)
                ink += Ink(image, x, y);
        }
        EXPECT_GT(ink, 3);
    }
    int stray = 0;
    for (int x = 0; x < image.width(); ++x)
        for (int y = H - h; y < H && !inCell[static_cast<size_t>(x)]; ++y)
            stray += Ink(image, x, y);
    EXPECT_EQ(stray, 0) << "ink along the bottom beside the digits";

    // The frame: from the middle of 0 to the middle of 4, the top half.
    for (int x = d; x <= W + d; ++x) {
        EXPECT_TRUE(Ink(image, x, 0)) << x;
        EXPECT_TRUE(Ink(image, x, m - 1)) << x;
    }
    for (int y = 0; y < m; ++y) {
        EXPECT_TRUE(Ink(image, d, y)) << y;
        EXPECT_TRUE(Ink(image, W + d, y)) << y;
    }
    // The ticks between the frame and the digits, and nothing between them.
    for (int y = m; y < H - h; ++y) {
        for (int k = 0; k <= 4; ++k)
            EXPECT_TRUE(Ink(image, tickX(k), y)) << k << " at " << y;
        EXPECT_FALSE(Ink(image, (tickX(1) + tickX(2)) / 2, y)) << y;
    }
    // The bar stays in the top half: red at 1.5 V above, the panel below.
    const int x15 = (tickX(1) + tickX(2)) / 2;
    EXPECT_EQ(image.pixelColor(x15, m / 2), QColor(0xd8, 0x3a, 0x2e));
    EXPECT_EQ(image.pixelColor(x15, m + 1), bar->palette().color(QPalette::Window));
    // Dotted lines at 1, 2 and 3 V: ink and bar by turns.
    for (int k = 1; k <= 3; ++k) {
        SCOPED_TRACE(k);
        int ink = 0, other = 0;
        for (int y = 1; y <= m - 2; ++y)
            (Ink(image, tickX(k), y) ? ink : other)++;
        EXPECT_GT(ink, 2);
        EXPECT_GT(other, 2);
    }
}

// --- Room for the grids

namespace {

// Whether the last column shown of a grid ends at the grid's right edge.
bool LastColumnReachesTheEdge(const widgets::DBGrid& grid) {
    const QHeaderView* header = grid.horizontalHeader();
    const int last = header->logicalIndex(header->count() - 1);
    return header->sectionViewportPosition(last) + header->sectionSize(last) ==
           grid.viewport()->width();
}

int RowsShown(const widgets::DBGrid& grid) {
    return grid.viewport()->height() / grid.rowHeight(0);
}

}  // namespace

// At the first start the window has its design size with both tool bars in
// full; on the read page, after a full collector was read, the options and
// the round's header keep their own height and the grids take the rest, more
// of it as the window grows. Every grid's last column reaches its right edge.
TEST_F(MainWindowTest, TheGridsTakeTheRoomThePagesLeave) {
    QString error;
    ASSERT_TRUE(app::SeedDemoData(dir.path(), error)) << error.toStdString();
    sim::ApplyScenario(sim::GeneratedScenario(1000, clock.Now()), collector, reader);
    Start();
    EXPECT_EQ(window->width(), 624);
    EXPECT_EQ(window->height() - window->menuBar()->height(), 417);

    // Every command of the table tool bar has its button; none hides behind
    // the tool bar's extension.
    auto* table = window->findChild<QToolBar*>(QStringLiteral("ToolBarTable"));
    ASSERT_NE(table, nullptr);
    for (QAction* a : table->actions()) {
        if (a->isSeparator()) continue;
        QWidget* b = table->widgetForAction(a);
        ASSERT_NE(b, nullptr);
        EXPECT_TRUE(b->isVisible()) << a->objectName().toStdString();
    }
    for (auto* b : table->findChildren<QToolButton*>(QStringLiteral("qt_toolbar_ext_button")))
        EXPECT_FALSE(b->isVisible());

    Login(sim::DemoKeyIds().registrar, {});
    window->Action("ActionDRead")->trigger();
    app::ReadPage& read = window->ReadPageWidget();
    ASSERT_TRUE(read.Attached());
    QApplication::processEvents();
    widgets::DBGrid* touches = read.TouchGrid();
    widgets::DBGrid* missed = read.MissedGrid();
    app::RoundHeader* header = read.Header();
    EXPECT_EQ(header->height(), header->sizeHint().height());
    EXPECT_GE(RowsShown(*touches), 2);
    EXPECT_TRUE(LastColumnReachesTheEdge(*missed));
    // The stretch of the last column is not a width it keeps.
    const int missedWidth = missed->ColumnWidths().at(0);
    EXPECT_LT(missedWidth, missed->horizontalHeader()->sectionSize(0));

    // A bigger window: every pixel of height it gains goes to the grids, and
    // so does the row the table tool bar leaves when it fits beside the main one.
    auto* main = window->findChild<QToolBar*>(QStringLiteral("ToolBarMain"));
    EXPECT_GT(table->y(), main->y());
    const int gridHeight = touches->height(), headerHeight = header->height();
    const int bandHeight = table->geometry().bottom();
    window->resize(960, 700);
    QApplication::processEvents();
    EXPECT_EQ(table->y(), main->y());
    EXPECT_EQ(header->height(), headerHeight);
    EXPECT_EQ(touches->height() - gridHeight,
              700 - 417 - window->menuBar()->height() + bandHeight - table->geometry().bottom());
    EXPECT_GE(RowsShown(*touches), 15);
    EXPECT_EQ(missed->height(), touches->height());
    EXPECT_TRUE(LastColumnReachesTheEdge(*touches));
    EXPECT_TRUE(LastColumnReachesTheEdge(*missed));
    EXPECT_EQ(missed->ColumnWidths().at(0), missedWidth);
    prompt.Script({shell::Answer::No});  // the round is dropped on the way

    // The grids of the other pages.
    const struct {
        const char *page, *sub;
    } pages[] = {{"TabSheetUsers", nullptr},
                 {"TabSheetRound", "TabSheetPoints"},
                 {"TabSheetRound", "TabSheetPathes"},
                 {"TabSheetRound", "TabSheetPrBook"},
                 {"TabSheetKordex", "TabSheetKDs"},
                 {"TabSheetEvents", "TabSheetPrEvents"},
                 {"TabSheetEvents", "TabSheetKDEvents"},
                 {"TabSheetEvents", "TabSheetKDDEvents"},
                 {"TabSheetAEvents", "TabSheetKDAEvents"},
                 {"TabSheetAEvents", "TabSheetKDDAEvents"}};
    int checked = 0;
    for (const auto& p : pages) {
        window->ShowPage(QString::fromLatin1(p.page),
                         p.sub != nullptr ? QString::fromLatin1(p.sub) : QString());
        QApplication::processEvents();
        for (widgets::DBGrid* g : window->findChildren<widgets::DBGrid*>()) {
            if (!g->isVisible()) continue;
            SCOPED_TRACE(g->objectName().toStdString());
            int wanted = 0;
            for (int w : g->ColumnWidths())
                wanted += w;
            if (wanted > g->viewport()->width()) continue;  // scrolled, nothing left over
            EXPECT_TRUE(LastColumnReachesTheEdge(*g));
            ++checked;
        }
    }
    EXPECT_GE(checked, 10);
}
