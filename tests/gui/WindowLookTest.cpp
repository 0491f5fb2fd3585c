// How the window speaks and looks: Qt's own dialogs and menus in Russian, the
// scale of the battery bar, and the room the pages give their grids.
#include <QAbstractButton>
#include <QLineEdit>
#include <QMenu>
#include <QPrintDialog>
#include <QTimer>
#include <QTranslator>

#include "GuiFixture.h"
#include "app/Startup.h"
#include "app/TestPage.h"

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
