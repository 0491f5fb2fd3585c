#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <algorithm>

#include "app/window/MessagePrompt.h"

using namespace kordex;
using namespace kordex::app;
using shell::Answer;
using shell::Buttons;
using shell::Icon;

namespace {

QStringList ButtonTexts(const QMessageBox& box) {
    QStringList out;
    for (const QAbstractButton* b : box.buttons())
        out << b->text();
    std::sort(out.begin(), out.end());
    return out;
}

QString TextOf(const QAbstractButton* b) {
    return b != nullptr ? b->text() : QStringLiteral("<none>");
}

// Once the box is up: clicks the button with this text, or presses Escape
// when the text is empty. Keeps looking until a box shows.
void AnswerBoxWith(const QString& buttonText) {
    QTimer::singleShot(0, [buttonText] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            auto* box = qobject_cast<QMessageBox*>(w);
            if (box == nullptr || !box->isVisible()) continue;
            if (buttonText.isEmpty()) {
                QTest::keyClick(box, Qt::Key_Escape);
                return;
            }
            for (QAbstractButton* b : box->buttons())
                if (b->text() == buttonText) {
                    b->click();
                    return;
                }
            box->reject();  // no such button: end the test's box anyway
            return;
        }
        AnswerBoxWith(buttonText);
    });
}

}  // namespace

TEST(MessagePrompt, BoxesCarryRussianButtonsWithYesOrOkAsDefault) {
    struct Case {
        Buttons buttons;
        QStringList texts;  // sorted
        const char* defaultText;
        const char* escapeText;
    } cases[] = {
        {Buttons::Ok, {"OK"}, "OK", "OK"},
        {Buttons::OkCancel, {"OK", "Отмена"}, "OK", "Отмена"},
        {Buttons::YesNo, {"Да", "Нет"}, "Да", "Нет"},
        {Buttons::YesNoCancel, {"Да", "Нет", "Отмена"}, "Да", "Отмена"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.defaultText);
        auto box = MessagePrompt::Build(QStringLiteral("Подтверждение"), QStringLiteral("?"),
                                        Icon::Question, c.buttons);
        QStringList expected = c.texts;
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(ButtonTexts(*box), expected);
        EXPECT_EQ(TextOf(box->defaultButton()), QString(c.defaultText));
        EXPECT_EQ(TextOf(box->escapeButton()), QString(c.escapeText));
        EXPECT_EQ(box->windowModality(), Qt::ApplicationModal);
    }
}

TEST(MessagePrompt, CaptionIconAndTextWithItsLineBreaks) {
    struct Case {
        Icon icon;
        QMessageBox::Icon boxIcon;
    } cases[] = {
        {Icon::Information, QMessageBox::Information},
        {Icon::Warning, QMessageBox::Warning},
        {Icon::Error, QMessageBox::Critical},
        {Icon::Question, QMessageBox::Question},
        {Icon::None, QMessageBox::NoIcon},
    };
    for (const auto& c : cases) {
        auto box = MessagePrompt::Build(QStringLiteral("Ошибка"), QStringLiteral("x"), c.icon,
                                        Buttons::Ok);
        EXPECT_EQ(box->icon(), c.boxIcon) << static_cast<int>(c.icon);
        EXPECT_EQ(box->windowTitle(), QStringLiteral("Ошибка"));
    }
    // A key ID in angle brackets is text, not markup; '\r' starts a line.
    auto box = MessagePrompt::Build(
        QStringLiteral("Ошибка"),
        QStringLiteral("Ключ/ID с номером <0100000000000A2E>\rуже используется !"), Icon::Error,
        Buttons::Ok);
    EXPECT_EQ(box->textFormat(), Qt::PlainText);
    EXPECT_EQ(box->text(),
              QStringLiteral("Ключ/ID с номером <0100000000000A2E>\nуже используется !"));
}

TEST(MessagePrompt, TheAnswerIsTheButtonPressedOrWhatEscapeMeans) {
    struct Case {
        Buttons buttons;
        const char* press;  // button text; empty: Escape
        Answer answer;
    } cases[] = {
        {Buttons::Ok, "OK", Answer::Ok},
        {Buttons::Ok, "", Answer::Ok},
        {Buttons::OkCancel, "OK", Answer::Ok},
        {Buttons::OkCancel, "Отмена", Answer::Cancel},
        {Buttons::OkCancel, "", Answer::Cancel},
        {Buttons::YesNo, "Да", Answer::Yes},
        {Buttons::YesNo, "Нет", Answer::No},
        {Buttons::YesNo, "", Answer::No},
        {Buttons::YesNoCancel, "Нет", Answer::No},
        {Buttons::YesNoCancel, "Отмена", Answer::Cancel},
        {Buttons::YesNoCancel, "", Answer::Cancel},
    };
    MessagePrompt prompt;
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.press) + "/" + std::to_string(static_cast<int>(c.buttons)));
        AnswerBoxWith(QString::fromUtf8(c.press));
        EXPECT_EQ(prompt.Ask(QStringLiteral("Подтверждение"), QStringLiteral("Сохранить ?"),
                             Icon::Question, c.buttons),
                  c.answer);
    }
}
