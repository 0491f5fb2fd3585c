#include "MessagePrompt.h"

#include <QAbstractButton>
#include <QApplication>

namespace kordex::app {

namespace {

using shell::Answer;
using shell::Buttons;
using shell::Icon;

QMessageBox::Icon BoxIcon(Icon icon) {
    switch (icon) {
        case Icon::Information:
            return QMessageBox::Information;
        case Icon::Warning:
            return QMessageBox::Warning;
        case Icon::Error:
            return QMessageBox::Critical;
        case Icon::Question:
            return QMessageBox::Question;
        case Icon::None:
            break;
    }
    return QMessageBox::NoIcon;
}

QMessageBox::StandardButtons BoxButtons(Buttons buttons) {
    switch (buttons) {
        case Buttons::Ok:
            return QMessageBox::Ok;
        case Buttons::OkCancel:
            return QMessageBox::Ok | QMessageBox::Cancel;
        case Buttons::YesNo:
            return QMessageBox::Yes | QMessageBox::No;
        case Buttons::YesNoCancel:
            return QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
    }
    return QMessageBox::Ok;
}

bool HasYes(Buttons buttons) {
    return buttons == Buttons::YesNo || buttons == Buttons::YesNoCancel;
}

// What closing the box without a button (Escape, the window's close) answers.
Answer EscapeAnswer(Buttons buttons) {
    switch (buttons) {
        case Buttons::Ok:
            return Answer::Ok;
        case Buttons::YesNo:
            return Answer::No;
        case Buttons::OkCancel:
        case Buttons::YesNoCancel:
            break;
    }
    return Answer::Cancel;
}

QMessageBox::StandardButton ButtonOf(Answer answer) {
    switch (answer) {
        case Answer::Ok:
            return QMessageBox::Ok;
        case Answer::Cancel:
            return QMessageBox::Cancel;
        case Answer::Yes:
            return QMessageBox::Yes;
        case Answer::No:
            return QMessageBox::No;
    }
    return QMessageBox::Ok;
}

}  // namespace

QWidget* DialogOwner(QWidget* preferred) {
    if (QWidget* modal = QApplication::activeModalWidget()) return modal;
    return preferred != nullptr ? preferred : QApplication::activeWindow();
}

std::unique_ptr<QMessageBox> MessagePrompt::Build(const QString& caption, const QString& text,
                                                  Icon icon, Buttons buttons, QWidget* parent) {
    auto box = std::make_unique<QMessageBox>(parent);
    box->setWindowTitle(caption);
    // Texts hold key IDs in angle brackets: never read them as markup.
    box->setTextFormat(Qt::PlainText);
    QString lines = text;
    lines.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    lines.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    box->setText(lines);
    box->setIcon(BoxIcon(icon));
    box->setStandardButtons(BoxButtons(buttons));
    const struct {
        QMessageBox::StandardButton button;
        const char16_t* text;
    } names[] = {{QMessageBox::Ok, u"OK"},
                 {QMessageBox::Cancel, u"Отмена"},
                 {QMessageBox::Yes, u"Да"},
                 {QMessageBox::No, u"Нет"}};
    for (const auto& n : names)
        if (QAbstractButton* b = box->button(n.button)) b->setText(QString::fromUtf16(n.text));
    box->setDefaultButton(HasYes(buttons) ? QMessageBox::Yes : QMessageBox::Ok);
    box->setEscapeButton(ButtonOf(EscapeAnswer(buttons)));
    box->setWindowModality(Qt::ApplicationModal);
    // Above a window that stays on top (the status window) the box stays on top too.
    if (parent != nullptr && parent->window()->windowFlags().testFlag(Qt::WindowStaysOnTopHint))
        box->setWindowFlag(Qt::WindowStaysOnTopHint);
    return box;
}

Answer MessagePrompt::AnswerOf(const QMessageBox& box, Buttons buttons) {
    switch (box.standardButton(box.clickedButton())) {
        case QMessageBox::Ok:
            return Answer::Ok;
        case QMessageBox::Cancel:
            return Answer::Cancel;
        case QMessageBox::Yes:
            return Answer::Yes;
        case QMessageBox::No:
            return Answer::No;
        default:
            return EscapeAnswer(buttons);
    }
}

Answer MessagePrompt::Ask(const QString& caption, const QString& text, Icon icon, Buttons buttons) {
    const std::unique_ptr<QMessageBox> box =
        Build(caption, text, icon, buttons, DialogOwner(parent_.data()));
    box->exec();
    return AnswerOf(*box, buttons);
}

}  // namespace kordex::app
