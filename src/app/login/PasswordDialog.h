#pragma once

#include <QDialog>
#include <QString>
#include <QVariant>
#include <functional>

#include "widgets/DataWidgets.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QTimer;

namespace kordex::link {
class ReaderLink;
}  // namespace kordex::link

namespace kordex::shell {
class Prompt;
}  // namespace kordex::shell

namespace kordex::store {
class Rules;
class TDM;
}  // namespace kordex::store

namespace kordex::app {

class SettingsStore;

inline const QString MsgRemoveCollectorForName = QStringLiteral(
    "Для правильного автоматического выбора имени пользователя уберите Kordex из устройства "
    "чтения !");
inline const QString MsgNoUserName = QStringLiteral("Не выбрано имя пользователя !");
inline const QString MsgWrongPassword = QStringLiteral("Неверный пароль !");
inline const QString JournalAccessGranted = QStringLiteral("Разрешен доступ");
inline const QString JournalAccessDenied = QStringLiteral("Отказ в доступе. Неверный пароль: ");

// What the password dialog showed before it was run: put back when the
// login does not go through.
struct PasswordSnapshot {
    QVariant key;          // the name choice's selected key
    QString text;          // EditPWord
    QString registrarKey;  // the key of the registrar view's current row
};

// The password dialog: the registrar's name from the list of registrars
// (TableCurRegister) and his password. While it shows, a registrar may pick
// his name by touching his key to the reader's contact. Choosing a name moves
// the registrar view, whose current row is the logged-in registrar.
class TFormPWord : public QDialog {
    Q_OBJECT

public:
    static constexpr int TimerIntervalMs = 200;
    // Ticks the reader is left alone after a key typed in the dialog.
    static constexpr int TypingHoldOff = 5;
    static constexpr int PasswordLength = 32;

    // Runs FormCreate: the name of the registrar logged in at the last close
    // is preselected.
    TFormPWord(store::TDM& dm, store::Rules& rules, link::ReaderLink& link, shell::Prompt& prompt,
               SettingsStore& settings, QWidget* parent = nullptr);
    ~TFormPWord() override;

    // Runs the dialog modally and gives its result; QDialog::exec unless
    // replaced (tests play the operator here).
    std::function<int(TFormPWord&)> exec;

    // The dialog is up: the device test leaves the reader alone meanwhile.
    bool Showing() const { return isVisible(); }

    PasswordSnapshot TakeSnapshot() const;
    // Puts the name choice, the password text and the registrar view's row back.
    void RestoreSnapshot(const PasswordSnapshot& snapshot);

    widgets::DBLookupComboBox* DBLookupComboBoxName() const { return name_; }
    QLineEdit* EditPWord() const { return password_; }
    QPushButton* ButtonOk() const { return ok_; }
    QPushButton* ButtonCancel() const { return cancel_; }
    QTimer* Timer() const { return timer_; }
    int Countdown() const { return countdown_; }
    // The dialog opened the port itself when it was shown, and closes it again.
    bool OpenedPort() const { return openedPort_; }

public slots:
    void FormShow();
    void FormClose();
    void TimerTimer();
    void ButtonOkClick();
    void DBLookupComboBoxNameClick();
    // Any character typed in the dialog.
    void FormKeyPress();

protected:
    void showEvent(QShowEvent* e) override;
    void done(int r) override;
    bool eventFilter(QObject* watched, QEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;

private:
    void FormCreate(SettingsStore& settings);
    // The registrar view has rows to choose from.
    bool ListHasRows() const;
    // Moves the registrar view to the chosen name.
    void FollowChoice();
    // The list came or changed: a name preselected before it opened shows now.
    void ListRefreshed();
    void StopAutomaticChoice();

    store::TDM& dm_;
    store::Rules& rules_;
    link::ReaderLink& link_;
    shell::Prompt& prompt_;

    widgets::DBLookupComboBox* name_ = nullptr;
    QLineEdit* password_ = nullptr;
    QPushButton* ok_ = nullptr;
    QPushButton* cancel_ = nullptr;
    QTimer* timer_ = nullptr;
    widgets::DataLink list_;
    QString preselected_;  // "User" until the list opens
    int countdown_ = 0;
    bool openedPort_ = false;
    bool keyOnList_ = false;  // a key pressed on the name list is being handled
};

// How a login's dialog ended.
enum class LoginOutcome { Cancelled, Refused, Accepted };

// The dialog part of the login: snapshot, modal run, password check and
// journal. Cancelled and Refused put the dialog and the registrar view back
// as they were, so the earlier login stays in force. With no registrar to
// choose from the login is accepted without a password or a journal entry.
LoginOutcome RunPasswordDialog(TFormPWord& dialog, store::TDM& dm, store::Rules& rules,
                               shell::Prompt& prompt);

}  // namespace kordex::app
