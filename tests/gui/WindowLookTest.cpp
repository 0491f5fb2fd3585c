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
