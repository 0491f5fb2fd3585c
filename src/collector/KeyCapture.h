#pragma once

#include <QChar>
#include <QString>

namespace kordex::link {
class ReaderLink;
}  // namespace kordex::link

namespace kordex::shell {
class Prompt;
}  // namespace kordex::shell

namespace kordex::collector {

// Pages of the information area NotebookInfo of the key dialogs.
enum InfoPage : int {
    PageAuto = 0,    // how to enter the key automatically
    PageError = 1,   // no connection to the reader
    PageCancel = 2,  // the operator gave up the automatic entry
};

// The control a dialog puts the focus on.
enum class Focus { None, MaskEditKey, EditComment };

// How a modal dialog ended.
enum class DialogResult { None, Ok, Cancel };

inline const QString MsgRemoveCollector = QStringLiteral(
    "Для правильного автоматического ввода номера ключа уберите Kordex из устройства чтения !");
inline const QString DefaultCommentLabel = QStringLiteral("Комментарий");

// The key field shows the value as eight pairs separated by spaces; the
// spaces are not part of the value.
QString KeyTextForMask(const QString& value);
// The value of the key field from its text on screen: without the spaces
// between the pairs and without blanks.
QString KeyTextFromMask(const QString& shown);

// What the two key dialogs share: the key field and the comment, the
// information page, the poll timer with its hold-off after key presses, and
// the checks of the OK button. The dialog drives it with its events and
// shows the state it holds.
class KeyCaptureLogic {
public:
    // Ticks without polling after a key press.
    static constexpr int HoldOffTicks = 5;
    static constexpr int TimerIntervalMs = 200;
    static constexpr int KeyLength = 16;

    virtual ~KeyCaptureLogic() = default;

    // What the caller sets before showing the dialog.
    void SetKeyText(const QString& value);
    void SetComment(const QString& comment) { comment_ = comment; }
    void SetCommentLabel(const QString& caption) { commentLabel_ = caption; }

    // Showing the dialog: with the port ready it polls the reader; without
    // it shows the "Error" page and leaves the key to be typed.
    virtual void FormShow(link::ReaderLink& link);
    // Closing it, however it closes: the polling stops and the port is closed.
    void FormClose(link::ReaderLink& link);
    // One tick of the poll timer.
    virtual void TimerPollTimer(link::ReaderLink& link, shell::Prompt& prompt) = 0;

    // Any key pressed in the dialog (fields and buttons): polling waits.
    void FormKeyPress();
    // A character typed into the key field, as it goes in (upper case), or a
    // null character when it is refused. Counts as a key press of the dialog.
    QChar MaskEditKeyKeyPress(QChar c);

    // OK: a valid key and a comment close the dialog. usersPageCurrent: the
    // main window shows the users page, whose keys need not be real ones.
    void ButtonOKClick(link::ReaderLink& link, shell::Prompt& prompt, bool usersPageCurrent);
    void ButtonCancelClick(link::ReaderLink& link);

    // The dialog's state.
    const QString& KeyText() const { return keyText_; }
    QString KeyTextShown() const { return KeyTextForMask(keyText_); }
    const QString& Comment() const { return comment_; }
    const QString& CommentLabel() const { return commentLabel_; }
    InfoPage Page() const { return page_; }
    Focus FocusTarget() const { return focus_; }
    bool TimerOn() const { return timerOn_; }
    int HoldOff() const { return holdOff_; }
    DialogResult Result() const { return result_; }

protected:
    // Whether the key must be a real one whatever page the main window shows.
    virtual bool AlwaysStrict() const = 0;
    // Puts a key read from the reader into the key field and ends the
    // exchange with the completion block.
    void TakeKey(link::ReaderLink& link, const QString& key);
    void StopPolling(link::ReaderLink& link);

    QString keyText_;
    QString comment_;
    QString commentLabel_ = DefaultCommentLabel;
    InfoPage page_ = PageAuto;
    Focus focus_ = Focus::None;
    bool timerOn_ = false;
    int holdOff_ = 0;
    DialogResult result_ = DialogResult::None;
};

// The key dialog: takes the ID of a key touched to the reader's contact. A
// collector left in the reader would answer instead, so the operator is
// asked to take it out first.
class GetKeyLogic : public KeyCaptureLogic {
public:
    void TimerPollTimer(link::ReaderLink& link, shell::Prompt& prompt) override;

protected:
    bool AlwaysStrict() const override { return false; }
};

// The collector-ID dialog: takes the ID of the collector put into the
// reader, once for each collector, so the operator's own edit stays.
class GetIDKDLogic : public KeyCaptureLogic {
public:
    void FormShow(link::ReaderLink& link) override;
    void TimerPollTimer(link::ReaderLink& link, shell::Prompt& prompt) override;

    const QString& LastTakenId() const { return lastId_; }

protected:
    bool AlwaysStrict() const override { return true; }

private:
    QString lastId_;
};

}  // namespace kordex::collector
