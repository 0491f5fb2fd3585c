#include "PasswordDialog.h"

#include <QAbstractItemView>
#include <QCoreApplication>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QTimer>
#include <QVBoxLayout>
#include <exception>

#include "app/settings/SettingsStore.h"
#include "collector/MemoryMap.h"
#include "link/KeyId.h"
#include "link/ReaderLink.h"
#include "shell/Prompt.h"
#include "shell/ScopeExit.h"
#include "store/DataModule.h"
#include "store/Rules.h"
#include "widgets/GridModel.h"

using namespace kordex::widgets;

namespace kordex::app {

namespace {

const QString Key = QStringLiteral("Key");
const QString UserValue = QStringLiteral("User");

// A key typed as a character; Tab only moves between the controls.
bool TypesCharacter(const QKeyEvent* e) {
    return !e->text().isEmpty() && e->key() != Qt::Key_Tab && e->key() != Qt::Key_Backtab;
}

// Moves a view to the row with this key; false when it is not there or the
// view cannot move.
bool LocateKey(store::View& view, const QVariant& key) {
    if (!view.IsOpen() || IsEmpty(key)) return false;
    try {
        return view.Locate(Key, key);
    } catch (const std::exception&) {
        return false;
    } catch (const store::Abort&) {
        return false;
    }
}

}  // namespace

TFormPWord::TFormPWord(store::TDM& dm, store::Rules& rules, link::ReaderLink& link,
                       shell::Prompt& prompt, SettingsStore& settings, QWidget* parent)
    : QDialog(parent), dm_(dm), rules_(rules), link_(link), prompt_(prompt) {
    setObjectName(QStringLiteral("FormPWord"));
    setWindowTitle(QStringLiteral("Ввод пароля"));
    exec = [](TFormPWord& d) { return d.QDialog::exec(); };

    auto* labelName = new QLabel(QStringLiteral("Имя"), this);
    labelName->setObjectName(QStringLiteral("LabelName"));
    name_ = new DBLookupComboBox(this);
    name_->setObjectName(QStringLiteral("DBLookupComboBoxName"));
    name_->SetKeyField(Key);
    name_->SetListField(QStringLiteral("Name"));
    name_->SetListView(&dm_.TableCurRegister());
    name_->setMinimumWidth(fontMetrics().averageCharWidth() * 32);
    labelName->setBuddy(name_);

    auto* labelPassword = new QLabel(QStringLiteral("Пароль"), this);
    labelPassword->setObjectName(QStringLiteral("LabelPWord"));
    password_ = new QLineEdit(this);
    password_->setObjectName(QStringLiteral("EditPWord"));
    password_->setMaxLength(PasswordLength);
    password_->setEchoMode(QLineEdit::Password);
    labelPassword->setBuddy(password_);

    ok_ = new QPushButton(QStringLiteral("&OK"), this);
    ok_->setObjectName(QStringLiteral("ButtonOk"));
    ok_->setDefault(true);
    cancel_ = new QPushButton(QStringLiteral("Отмена"), this);
    cancel_->setObjectName(QStringLiteral("ButtonCancel"));

    auto* fields = new QGridLayout;
    fields->addWidget(labelName, 0, 0);
    fields->addWidget(name_, 0, 1);
    fields->addWidget(labelPassword, 1, 0);
    fields->addWidget(password_, 1, 1);
    fields->setColumnStretch(1, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok_);
    buttons->addWidget(cancel_);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(fields);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    timer_ = new QTimer(this);
    timer_->setObjectName(QStringLiteral("Timer"));
    timer_->setInterval(TimerIntervalMs);
    connect(timer_, &QTimer::timeout, this, &TFormPWord::TimerTimer);

    // Choosing a name, by the operator, the reader or the program, moves the
    // registrar view to him. A refill of the list moves nothing.
    connect(name_, &QComboBox::currentIndexChanged, this, [this] { FollowChoice(); });
    connect(name_, &QComboBox::activated, this, &TFormPWord::DBLookupComboBoxNameClick);
    connect(ok_, &QPushButton::clicked, this, &TFormPWord::ButtonOkClick);
    connect(cancel_, &QPushButton::clicked, this, &TFormPWord::reject);
    // After the list's own refill.
    list_.SetView(&dm_.TableCurRegister());
    connect(&list_, &DataLink::refreshed, this, &TFormPWord::ListRefreshed);

    for (QWidget* w : {static_cast<QWidget*>(name_), static_cast<QWidget*>(name_->view()),
                       static_cast<QWidget*>(password_), static_cast<QWidget*>(ok_),
                       static_cast<QWidget*>(cancel_)})
        w->installEventFilter(this);

    rules_.RegisterList(store::Rules::ListLogin, name_);
    FormCreate(settings);
}

TFormPWord::~TFormPWord() {
    FormClose();
    rules_.UnregisterList(name_);
}

void TFormPWord::FormCreate(SettingsStore& settings) {
    const SettingsKey key(settings, ProgramKey);
    if (!key) return;
    const std::optional<QString> user = key->ReadString(UserValue);
    if (!user || user->isEmpty()) return;
    // The list is usually closed now; the name shows once it opens.
    name_->SetKeyValue(*user);
    if (name_->currentIndex() < 0) preselected_ = *user;
}

bool TFormPWord::ListHasRows() const {
    store::View& cur = dm_.TableCurRegister();
    return cur.IsOpen() && store::TDM::HasRows(cur);
}

void TFormPWord::FollowChoice() {
    if (name_->currentIndex() < 0) return;
    store::View& cur = dm_.TableCurRegister();
    const QVariant key = name_->KeyValue();
    if (!ListHasRows() || cur.Text(Key) == key.toString()) return;
    LocateKey(cur, key);
}

void TFormPWord::ListRefreshed() {
    if (preselected_.isEmpty() || !ListHasRows()) return;
    const QString key = preselected_;
    preselected_.clear();
    if (name_->currentIndex() < 0) name_->SetKeyValue(key);
}

PasswordSnapshot TFormPWord::TakeSnapshot() const {
    PasswordSnapshot s;
    s.key = name_->KeyValue();
    s.text = password_->text();
    if (ListHasRows()) s.registrarKey = dm_.TableCurRegister().Text(Key);
    return s;
}

void TFormPWord::RestoreSnapshot(const PasswordSnapshot& s) {
    if (IsEmpty(s.key))
        name_->ClearKeyValue();
    else
        name_->SetKeyValue(s.key);
    password_->setText(s.text);
    // The registrar in force before, also when no name was chosen then.
    store::View& cur = dm_.TableCurRegister();
    if (!s.registrarKey.isEmpty() && ListHasRows() && cur.Text(Key) != s.registrarKey)
        LocateKey(cur, s.registrarKey);
}

void TFormPWord::showEvent(QShowEvent* e) {
    QDialog::showEvent(e);
    if (e->spontaneous()) return;  // back from minimised: the same showing
    if (const QScreen* s = screen()) move(s->availableGeometry().center() - rect().center());
    FormShow();
}

void TFormPWord::FormShow() {
    const bool wasOpen = link_.IsPortOpen();
    if (ListHasRows() && link_.PortEnsureOpen()) {
        openedPort_ = !wasOpen;
        countdown_ = 0;
        timer_->start();
        password_->setFocus();
    } else {
        name_->setFocus();
    }
    password_->clear();
}

void TFormPWord::FormClose() {
    if (timer_->isActive()) StopAutomaticChoice();
}

void TFormPWord::StopAutomaticChoice() {
    timer_->stop();
    if (openedPort_) link_.PortClose();
    openedPort_ = false;
}

void TFormPWord::done(int r) {
    FormClose();
    QDialog::done(r);
}

void TFormPWord::FormKeyPress() {
    countdown_ = TypingHoldOff;
}

bool TFormPWord::eventFilter(QObject* watched, QEvent* e) {
    if (e->type() != QEvent::KeyPress || keyOnList_) return QDialog::eventFilter(watched, e);
    if (TypesCharacter(static_cast<QKeyEvent*>(e))) FormKeyPress();
    if (watched == name_) {
        // The arrows and letters browse the closed list; the name they choose
        // keeps the focus there, only a click moves on to the password.
        keyOnList_ = true;
        const shell::Finally done([this] { keyOnList_ = false; });
        QCoreApplication::sendEvent(name_, e);
        return true;
    }
    return QDialog::eventFilter(watched, e);
}

void TFormPWord::keyPressEvent(QKeyEvent* e) {
    if (TypesCharacter(e)) FormKeyPress();
    QDialog::keyPressEvent(e);
}

void TFormPWord::DBLookupComboBoxNameClick() {
    if (!keyOnList_) password_->setFocus();
}

void TFormPWord::TimerTimer() {
    if (!timer_->isActive() || link_.ReaderBusy() != 0) return;
    if (countdown_ > 0) {
        --countdown_;
        return;
    }

    // A collector in the reader would answer for the key contact.
    while (link_.ReaderExchange(link::CmdReadBlock, collector::AddrCollectorId, false, true) ==
           link::ExchangeOk) {
        link_.RaiseBusy();
        const shell::Answer answer =
            prompt_.Ask(shell::CaptionMessage, MsgRemoveCollectorForName, shell::Icon::Information,
                        shell::Buttons::OkCancel);
        link_.LowerBusy();
        if (answer == shell::Answer::Cancel) {
            StopAutomaticChoice();
            return;
        }
    }

    if (link_.ReaderExchange(link::CmdReadBlock, collector::AddrKeyContact, false, true) !=
        link::ExchangeOk)
        return;
    QString key;
    if (!link::KeyIdToText(link_.ReplyData(), key)) return;
    // A key that names no registrar leaves no name chosen.
    name_->SetKeyValue(key);
    link_.ReaderExchange(link::CmdReadBlock, collector::AddrCompletion, false, false);
}

void TFormPWord::ButtonOkClick() {
    if (!ListHasRows()) {
        accept();  // nobody to choose: the login goes through without a name
        return;
    }
    if (name_->currentIndex() >= 0 && LocateKey(dm_.TableCurRegister(), name_->KeyValue())) {
        accept();
        return;
    }
    link_.RaiseBusy();
    prompt_.Ask(shell::CaptionError, MsgNoUserName, shell::Icon::Warning, shell::Buttons::Ok);
    link_.LowerBusy();
}

LoginOutcome RunPasswordDialog(TFormPWord& dialog, store::TDM& dm, store::Rules& rules,
                               shell::Prompt& prompt) {
    const PasswordSnapshot snapshot = dialog.TakeSnapshot();
    if (dialog.exec(dialog) != QDialog::Accepted) {
        dialog.RestoreSnapshot(snapshot);
        return LoginOutcome::Cancelled;
    }
    store::View& cur = dm.TableCurRegister();
    if (!cur.IsOpen() || !store::TDM::HasRows(cur)) return LoginOutcome::Accepted;

    const QString typed = dialog.EditPWord()->text();
    // Exactly as stored: case matters and nothing is trimmed.
    if (typed != cur.Text(QStringLiteral("Passwrd"))) {
        prompt.Ask(shell::CaptionError, MsgWrongPassword, shell::Icon::Error, shell::Buttons::Ok);
        // Under the registrar who was chosen; the journal keeps 50 characters.
        rules.AppendJournal(JournalAccessDenied + typed);
        dialog.RestoreSnapshot(snapshot);
        return LoginOutcome::Refused;
    }
    rules.AppendJournal(JournalAccessGranted);
    return LoginOutcome::Accepted;
}

}  // namespace kordex::app
