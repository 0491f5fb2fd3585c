#include "KeyCapture.h"

#include "collector/MemoryMap.h"
#include "link/KeyId.h"
#include "link/ReaderLink.h"
#include "shell/Prompt.h"

namespace kordex::collector {

// --- key field text ---------------------------------------------------------

QString KeyTextForMask(const QString& value) {
    QString shown;
    for (qsizetype i = 0; i < value.size(); ++i) {
        if (i > 0 && i % 2 == 0) shown += QLatin1Char(' ');
        shown += value[i];
    }
    return shown;
}

QString KeyTextFromMask(const QString& shown) {
    QString value = link::StripSpaces(shown);
    value.remove(QLatin1Char('_'));
    return value;
}

// --- common to both dialogs -------------------------------------------------

void KeyCaptureLogic::SetKeyText(const QString& value) {
    keyText_ = KeyTextFromMask(value).left(KeyLength);
}

void KeyCaptureLogic::FormShow(link::ReaderLink& link) {
    result_ = DialogResult::None;
    if (link.PortEnsureOpen()) {
        page_ = PageAuto;
        holdOff_ = 0;
        timerOn_ = true;
        focus_ = Focus::EditComment;
    } else {
        page_ = PageError;
        focus_ = Focus::MaskEditKey;
    }
}

void KeyCaptureLogic::FormClose(link::ReaderLink& link) {
    if (timerOn_) StopPolling(link);
}

void KeyCaptureLogic::StopPolling(link::ReaderLink& link) {
    timerOn_ = false;
    link.PortClose();
}

void KeyCaptureLogic::FormKeyPress() {
    holdOff_ = HoldOffTicks;
}

QChar KeyCaptureLogic::MaskEditKeyKeyPress(QChar c) {
    FormKeyPress();
    const QChar upper = c.toUpper();
    // Only what can be a hexadecimal digit gets through: nothing above F.
    if (upper > QLatin1Char('F')) return QChar();
    return upper;
}

void KeyCaptureLogic::ButtonOKClick(link::ReaderLink& link, shell::Prompt& prompt,
                                    bool usersPageCurrent) {
    // The reader stays idle while the checks may show their messages.
    link.RaiseBusy();
    bool close = false;
    if (!link::KeyIdValidate(keyText_, AlwaysStrict() || !usersPageCurrent, prompt)) {
        focus_ = Focus::MaskEditKey;
    } else if (!comment_.isEmpty()) {
        close = true;
    } else {
        QString subject = commentLabel_;
        if (!subject.isEmpty()) subject[0] = subject[0].toLower();
        prompt.Ask(shell::CaptionError,
                   QStringLiteral("Не задано ") + subject + QStringLiteral(" !"),
                   shell::Icon::Error, shell::Buttons::Ok);
        focus_ = Focus::EditComment;
    }
    link.LowerBusy();
    if (close) {
        result_ = DialogResult::Ok;
        FormClose(link);
    }
}

void KeyCaptureLogic::ButtonCancelClick(link::ReaderLink& link) {
    result_ = DialogResult::Cancel;
    FormClose(link);
}

void KeyCaptureLogic::TakeKey(link::ReaderLink& link, const QString& key) {
    keyText_ = key;
    Block ignored{};
    link.ReadBlock(AddrCompletion, false, ignored);
}

// --- key dialog -------------------------------------------------------------

void GetKeyLogic::TimerPollTimer(link::ReaderLink& link, shell::Prompt& prompt) {
    if (!timerOn_ || link.ReaderBusy() != 0) return;
    if (holdOff_ > 0) {
        --holdOff_;
        return;
    }

    Block block{};
    while (link.ReadBlock(AddrCollectorId, false, block) == link::ExchangeOk) {
        // The question is modal: later ticks of this timer and the test page
        // stay idle until it is answered.
        link.RaiseBusy();
        const shell::Answer answer = prompt.Ask(shell::CaptionMessage, MsgRemoveCollector,
                                                shell::Icon::Information, shell::Buttons::OkCancel);
        if (answer == shell::Answer::Cancel) {
            StopPolling(link);
            page_ = PageCancel;
            link.LowerBusy();
            return;
        }
        link.LowerBusy();
    }

    switch (link.ReadBlock(AddrKeyContact, false, block)) {
        case link::ExchangeOk: {
            page_ = PageAuto;
            QString key;
            if (link::KeyIdToText(block, key)) TakeKey(link, key);
            break;
        }
        case link::ExchangeFailed:
            page_ = PageError;
            break;
        default:  // no key on the contact
            break;
    }
}

// --- collector-ID dialog ----------------------------------------------------

void GetIDKDLogic::FormShow(link::ReaderLink& link) {
    lastId_.clear();
    KeyCaptureLogic::FormShow(link);
}

void GetIDKDLogic::TimerPollTimer(link::ReaderLink& link, shell::Prompt&) {
    if (!timerOn_) return;
    if (link.ReaderBusy() != 0 || holdOff_ > 0) {
        if (holdOff_ > 0) --holdOff_;
        return;
    }

    Block block{};
    switch (link.ReadBlock(AddrCollectorId, false, block)) {
        case link::ExchangeOk: {
            page_ = PageAuto;
            QString id;
            if (link::KeyIdToText(block, id) && id != lastId_) {
                TakeKey(link, id);
                lastId_ = id;
            }
            break;
        }
        case link::ExchangeNoContact:
            page_ = PageAuto;
            break;
        default:
            page_ = PageError;
            break;
    }
}

}  // namespace kordex::collector
