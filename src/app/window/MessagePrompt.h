#pragma once

#include <QMessageBox>
#include <QPointer>
#include <QWidget>
#include <memory>

#include "shell/Prompt.h"

namespace kordex::app {

// The window a message box or a dialog opened now stands above: the modal
// window on top (the status window of a running operation, or a dialog), else
// the one given, else the active window.
QWidget* DialogOwner(QWidget* preferred = nullptr);

// The program's message boxes: a modal QMessageBox with the caption, the text
// (a '\r' starts a new line), the icon and Russian buttons. The default
// button is "Да" when the box has one, else "OK"; Escape answers "Отмена",
// else "Нет", else "OK".
class MessagePrompt : public shell::Prompt {
public:
    // The box stands above the modal window on top when it is asked (the
    // status window of a running operation); with none, above parent, or with
    // no parent above the window active when it is asked.
    explicit MessagePrompt(QWidget* parent = nullptr) : parent_(parent) {}

    shell::Answer Ask(const QString& caption, const QString& text, shell::Icon icon,
                      shell::Buttons buttons) override;

    // The box as it is shown, not yet shown.
    static std::unique_ptr<QMessageBox> Build(const QString& caption, const QString& text,
                                              shell::Icon icon, shell::Buttons buttons,
                                              QWidget* parent = nullptr);
    // The answer of a box that has been closed, by the button it was closed with.
    static shell::Answer AnswerOf(const QMessageBox& box, shell::Buttons buttons);

private:
    QPointer<QWidget> parent_;
};

}  // namespace kordex::app
