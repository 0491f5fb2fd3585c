#pragma once

#include <QDialog>
#include <QString>
#include <QWidget>
#include <memory>

#include "collector/KeyCapture.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QStackedWidget;
class QTimer;

namespace kordex::link {
class ReaderLink;
}  // namespace kordex::link

namespace kordex::shell {
class Prompt;
}  // namespace kordex::shell

namespace kordex::app {

// What the caller of a key dialog sets before showing it.
struct KeyDialogTexts {
    QString caption;       // window caption
    QString commentLabel;  // caption of LabelComment; empty: "Комментарий"
    QString key;           // initial key, with or without the spaces between the pairs
    QString comment;       // initial comment
};

// The picture beside the key dialog's instructions: a key tablet with its
// number engraved, the one the example of the instructions refers to.
class KeyTabletPicture : public QWidget {
    Q_OBJECT

public:
    explicit KeyTabletPicture(QWidget* parent = nullptr);
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* e) override;
};

// What the two key dialogs share: the instructions, the information area
// NotebookInfo, the key field MaskEditKey, the comment EditComment, the OK and
// Cancel buttons and the poll timer. Every decision is the logic's; the
// dialog feeds it the events and shows its state after each of them.
class KeyCaptureDialog : public QDialog {
    Q_OBJECT

public:
    ~KeyCaptureDialog() override;

    // The results: the key field's value (16 characters without spaces) and the comment.
    QString Key() const { return logic_->KeyText(); }
    QString Comment() const { return logic_->Comment(); }

    // The caption of LabelKey ("Номер ключа" until set): the title of the
    // grid's key column.
    void SetKeyLabel(const QString& text);

    const collector::KeyCaptureLogic& Logic() const { return *logic_; }
    QTimer* TimerPoll() const { return timer_; }
    QLineEdit* MaskEditKey() const { return maskEditKey_; }
    QLineEdit* EditComment() const { return editComment_; }
    QStackedWidget* NotebookInfo() const { return notebookInfo_; }

public slots:
    // One tick of the poll timer.
    void TimerPollTimer();
    void ButtonOKClick();
    // Cancel, Escape and the window's close button.
    void reject() override;

protected:
    // The dialog's own texts, different for the key and the collector ID.
    struct Texts {
        QStringList instructions;
        QStringList pageAuto;
        QStringList pageError;
        bool picture = false;  // the key tablet beside the instructions
    };

    KeyCaptureDialog(std::unique_ptr<collector::KeyCaptureLogic> logic, link::ReaderLink& link,
                     shell::Prompt& prompt, const KeyDialogTexts& setup, const Texts& texts,
                     bool usersPageCurrent, QWidget* parent);

    void showEvent(QShowEvent* e) override;
    void done(int r) override;
    bool eventFilter(QObject* watched, QEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;

    collector::KeyCaptureLogic& LogicRef() { return *logic_; }

private:
    // A key press in the key field: the logic decides what goes in.
    bool FilterKeyField(QKeyEvent* e);
    // Shows the logic's key, page and timer state; with focus also its focus.
    void ShowState(bool focus);
    void StopPolling();

    std::unique_ptr<collector::KeyCaptureLogic> logic_;
    link::ReaderLink& link_;
    shell::Prompt& prompt_;
    bool usersPageCurrent_ = false;

    QTimer* timer_ = nullptr;
    QStackedWidget* notebookInfo_ = nullptr;
    QLabel* labelKey_ = nullptr;
    QLabel* labelComment_ = nullptr;
    QLineEdit* maskEditKey_ = nullptr;
    QLineEdit* editComment_ = nullptr;
    QPushButton* buttonOK_ = nullptr;
    QPushButton* buttonCancel_ = nullptr;
    bool resending_ = false;  // a key press re-sent in upper case is on its way
};

// The key dialog: takes the number of a key touched to the reader's contact,
// or the number typed by hand. usersPageCurrent: the main window shows the
// users page, whose keys need not be real ones.
class TFormGetKey : public KeyCaptureDialog {
    Q_OBJECT

public:
    TFormGetKey(link::ReaderLink& link, shell::Prompt& prompt, const KeyDialogTexts& setup,
                bool usersPageCurrent, QWidget* parent = nullptr);
};

// The collector-ID dialog: takes the ID of the collector put into the reader
// (once for each collector) or the ID typed by hand.
class TFormGetIDKD : public KeyCaptureDialog {
    Q_OBJECT

public:
    TFormGetIDKD(link::ReaderLink& link, shell::Prompt& prompt, const KeyDialogTexts& setup,
                 QWidget* parent = nullptr);
};

}  // namespace kordex::app
