#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>
#include <QScreen>
#include <QShortcut>
#include <QTest>
#include <optional>

#include "app/window/StatusForm.h"
#include "shell/Prompt.h"

using namespace kordex;
using namespace kordex::app;

namespace {

const QString ReadCaption = QStringLiteral("Чтение из устройства");
const QString ReadText = QStringLiteral("Идет чтение данных из Kordex'а...");

class StatusFormTest : public ::testing::Test {
protected:
    QLabel* Label() { return form.findChild<QLabel*>(QStringLiteral("LabelStatus")); }
    QProgressBar* Gauge() { return form.findChild<QProgressBar*>(QStringLiteral("ProgressBar")); }

    // The one message a stopped operation shows.
    bool ShowedInterrupted() const {
        return prompt.Asked().size() == 1 &&
               prompt.Asked()[0].caption == QStringLiteral("Сообщение") &&
               prompt.Asked()[0].text == QStringLiteral("Прервано пользователем !") &&
               prompt.Asked()[0].icon == shell::Icon::Information &&
               prompt.Asked()[0].buttons == shell::Buttons::Ok;
    }

    shell::ScriptedPrompt prompt;
    TFormStatus form{prompt};
};

}  // namespace

TEST_F(StatusFormTest, AtDesignAWaitLineAnEmptyGaugeOfTenAndNoCloseButton) {
    EXPECT_EQ(form.objectName(), QStringLiteral("FormStatus"));
    ASSERT_NE(Label(), nullptr);
    ASSERT_NE(Gauge(), nullptr);
    EXPECT_EQ(Gauge()->maximum(), 10);
    EXPECT_EQ(Gauge()->value(), 0);
    EXPECT_TRUE(Gauge()->isTextVisible());
    QStringList texts;
    for (const QLabel* l : form.findChildren<QLabel*>()) {
        texts << l->text();
        EXPECT_TRUE(l->font().bold());
        EXPECT_TRUE(l->alignment() & Qt::AlignHCenter);
    }
    EXPECT_TRUE(texts.contains(QStringLiteral("Ждите")));
    const Qt::WindowFlags flags = form.windowFlags();
    EXPECT_TRUE(flags & Qt::WindowStaysOnTopHint);
    EXPECT_TRUE(flags & Qt::CustomizeWindowHint);
    EXPECT_FALSE(flags & (Qt::WindowCloseButtonHint | Qt::WindowMinMaxButtonsHint |
                          Qt::WindowSystemMenuHint));
    EXPECT_FALSE(form.IsShowing());
}

TEST_F(StatusFormTest, ShowSetsCaptionLineAndAnEmptyGaugeAndShowsWithoutWaitingInTheMiddle) {
    form.Show(QStringLiteral("Открытие баз данных"), QStringLiteral("x"), 3);
    form.SetPosition(2);
    form.Close();

    form.Show(ReadCaption, ReadText, 25);
    // Show returns with the window up: the operation goes on while it shows,
    // and the other windows of the program take no input meanwhile.
    EXPECT_TRUE(form.IsShowing());
    EXPECT_EQ(form.windowModality(), Qt::ApplicationModal);
    EXPECT_EQ(QApplication::activeModalWidget(), &form);
    EXPECT_EQ(form.windowTitle(), ReadCaption);
    EXPECT_EQ(Label()->text(), ReadText);
    EXPECT_EQ(form.Text(), ReadText);
    EXPECT_EQ(Gauge()->maximum(), 25);
    EXPECT_EQ(form.Maximum(), 25);
    EXPECT_EQ(Gauge()->value(), 0);  // not where the last operation left it
    const QRect screen = form.screen()->availableGeometry();
    EXPECT_LE((form.frameGeometry().center() - screen.center()).manhattanLength(), 2);

    form.Step();
    form.Step(4);
    EXPECT_EQ(form.Position(), 5);
    EXPECT_EQ(Gauge()->text(), QStringLiteral("20%"));
    form.SetText(QStringLiteral("Идет обработка"));
    EXPECT_EQ(Label()->text(), QStringLiteral("Идет обработка"));
    form.SetPosition(40);  // the gauge stops at its end
    EXPECT_EQ(form.Position(), 25);
    EXPECT_EQ(Gauge()->text(), QStringLiteral("100%"));
    EXPECT_TRUE(prompt.Asked().empty());
}

TEST_F(StatusFormTest, AKeyThatTypesStopsTheOperationWithTheMessage) {
    struct Case {
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        bool stops;
    } cases[] = {
        {Qt::Key_Escape, Qt::NoModifier, true},    {Qt::Key_A, Qt::NoModifier, true},
        {Qt::Key_Return, Qt::NoModifier, true},    {Qt::Key_Space, Qt::NoModifier, true},
        {Qt::Key_Shift, Qt::ShiftModifier, false},  // a modifier alone
        {Qt::Key_Alt, Qt::AltModifier, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(QKeySequence(c.key).toString().toStdString());
        prompt.Clear();
        form.Show(ReadCaption, ReadText, 10);
        QTest::keyClick(&form, c.key, c.modifiers);
        EXPECT_EQ(form.IsShowing(), !c.stops);
        if (c.stops) {
            EXPECT_TRUE(ShowedInterrupted()) << prompt.Texts().join('|').toStdString();
        } else {
            EXPECT_TRUE(prompt.Asked().empty());
        }
        form.Close();
    }
    // Closing once more, or a closed window, does nothing.
    prompt.Clear();
    form.Close();
    form.Close();
    EXPECT_FALSE(form.IsShowing());
    EXPECT_TRUE(prompt.Asked().empty());
}

TEST_F(StatusFormTest, EveryKeyIsConsumedAndNoShortcutElsewhereFires) {
    QWidget other;
    int fired = 0;
    QShortcut shortcut(QKeySequence(Qt::Key_B), &other);
    shortcut.setContext(Qt::ApplicationShortcut);
    QObject::connect(&shortcut, &QShortcut::activated, [&] { ++fired; });
    other.show();
    form.Show(ReadCaption, ReadText, 10);
    form.activateWindow();
    QApplication::setActiveWindow(&form);
    form.setFocus();

    QTest::keyClick(&form, Qt::Key_B);
    EXPECT_EQ(fired, 0);
    EXPECT_TRUE(ShowedInterrupted());

    // A swallowed key is accepted too: it goes nowhere else.
    form.Show(ReadCaption, ReadText, 10);
    QKeyEvent shift(QEvent::KeyPress, Qt::Key_Shift, Qt::ShiftModifier);
    QApplication::sendEvent(&form, &shift);
    EXPECT_TRUE(shift.isAccepted());
    QKeyEvent f5(QEvent::KeyPress, Qt::Key_F5, Qt::NoModifier);
    QApplication::sendEvent(&form, &f5);
    EXPECT_TRUE(f5.isAccepted());
    EXPECT_TRUE(form.IsShowing());
}

TEST_F(StatusFormTest, ClosingTheWindowStopsWithoutAMessage) {
    form.Show(ReadCaption, ReadText, 10);
    EXPECT_TRUE(form.close());
    EXPECT_FALSE(form.IsShowing());
    EXPECT_TRUE(prompt.Asked().empty());
}

TEST_F(StatusFormTest, ArchiveAndReportStatesDecideWhatAKeyDoes) {
    struct Case {
        const char* name;
        bool zipBusy;
        std::optional<int> reportTag;
        bool stops;
        bool cancelsPrint;
    } cases[] = {
        {"idle", false, std::nullopt, true, false},
        {"inside a ZIP operation", true, std::nullopt, false, false},
        {"ZIP busy while printing", true, 1, false, false},
        {"report preview", false, 0, false, false},
        {"printing", false, 1, true, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        prompt.Clear();
        int cancels = 0;
        size_t askedBeforeCancel = 99;
        form.zipBusy = [&] { return c.zipBusy; };
        form.reportInProduction = [&] { return c.reportTag; };
        form.cancelPrintJob = [&] {
            ++cancels;
            askedBeforeCancel = prompt.Asked().size();
        };
        form.Show(ReadCaption, ReadText, 10);
        QTest::keyClick(&form, Qt::Key_Escape);
        EXPECT_EQ(form.IsShowing(), !c.stops);
        EXPECT_EQ(ShowedInterrupted(), c.stops);
        EXPECT_EQ(cancels, c.cancelsPrint ? 1 : 0);
        if (c.cancelsPrint) {
            EXPECT_EQ(askedBeforeCancel, 0u);  // the job goes before the message
        }
        form.Close();
    }
}

TEST_F(StatusFormTest, TheArchiveRouteGivesTheSameMessageOnlyWhileShowing) {
    form.FormKeyPress();
    EXPECT_TRUE(prompt.Asked().empty());
    form.Show(ReadCaption, ReadText, 10);
    form.FormKeyPress();
    EXPECT_TRUE(ShowedInterrupted());
    EXPECT_FALSE(form.IsShowing());
}

TEST_F(StatusFormTest, AnOperationStopsAtItsNextTestAfterTheKey) {
    const int steps = 10;
    form.Show(ReadCaption, ReadText, steps);
    int done = 0;
    for (; done < steps; ++done) {
        form.Pump();
        if (!form.IsShowing()) break;
        form.Step();
        if (done == 2)
            QCoreApplication::postEvent(
                &form, new QKeyEvent(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier,
                                     QStringLiteral("\x1b")));
    }
    EXPECT_EQ(done, 3);
    EXPECT_EQ(form.Position(), 3);
    EXPECT_TRUE(ShowedInterrupted());
}
