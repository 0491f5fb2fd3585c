#include "Operations.h"

#include <cmath>

#include "Memo.h"
#include "MemoryMap.h"
#include "RoundBuilder.h"
#include "link/ReaderLink.h"
#include "shell/Clock.h"
#include "shell/Prompt.h"
#include "shell/StatusWindow.h"
#include "store/DataModule.h"
#include "store/Rules.h"

namespace kordex::collector {

namespace {

const QString Key = QStringLiteral("Key");
const QString Name = QStringLiteral("Name");
const QString DateReg = QStringLiteral("DateReg");

bool Empty(const QVariant& v) {
    return !v.isValid() || v.isNull();
}

}  // namespace

Operations::Operations(link::ReaderLink& link, store::TDM& dm, store::Rules& rules,
                       shell::Prompt& prompt, shell::StatusWindow& status, shell::Clock& clock,
                       DevicePages& pages)
    : link_(link),
      dm_(dm),
      rules_(rules),
      prompt_(prompt),
      status_(status),
      clock_(clock),
      pages_(pages) {}

bool Operations::Read(uint16_t address, link::Block& data) {
    if (link_.ReadBlock(address, true, data) != link::ExchangeOk) return false;
    status_.Step();
    return true;
}

bool Operations::Write(uint16_t address, const link::Block& data, bool verify) {
    if (link_.WriteBlock(address, data, true, verify) != link::ExchangeOk) return false;
    status_.Step();
    return true;
}

bool Operations::KnownAnywhere(const QString& key) {
    return dm_.FindInTable(dm_.TableUsers(), Key, key) ||
           dm_.FindInTable(dm_.TablePoints(), Key, key);
}

void Operations::AddPerson(const QString& key, const QString& name, bool isRegister, bool isAdmin) {
    store::ScopedFlag skip(dm_.SkipValidation, true);
    store::View& users = dm_.TableUsers();
    users.Append();
    try {
        users.SetValue(Key, key);
        users.SetValue(Name, name);
        users.SetValue(QStringLiteral("IsRegister"), isRegister);
        if (isRegister) users.SetValue(QStringLiteral("IsAdmin"), isAdmin);
        users.Post();
    } catch (...) {
        users.Cancel();
        throw;
    }
}

// The registration time from the stamp block, or the one the operator picks
// among the journal's writing entries when the stamp makes no date.
bool Operations::Stamp(const link::Block& b, const QString& registrarKey, link::DateTime& out) {
    const auto stamp = StampDateTime(DecodeStamp(b), link::DateTime::FromQDateTime(clock_.Now()));
    if (stamp) {
        out = *stamp;
        return true;
    }
    if (prompt_.Ask(shell::CaptionConfirm, text::BadStamp, shell::Icon::Question,
                    shell::Buttons::YesNo) != shell::Answer::Yes)
        return false;
    store::View& entries = dm_.TablePrEventsReg();
    QString filter = QStringLiteral("(Name='%1')").arg(text::JournalWrite);
    if (!registrarKey.isEmpty()) filter += QStringLiteral(" and (Key='%1')").arg(registrarKey);
    auto unrestrict = [&] {
        entries.SetFiltered(false);
        entries.SetFilterText(QString());
    };
    std::optional<double> chosen;
    try {
        entries.SetFilterText(filter);
        entries.SetFiltered(true);
        entries.Refresh();
        entries.Last();
        chosen = pages_.ChooseRegistrationTime(entries);
    } catch (...) {
        try {
            unrestrict();
        } catch (...) {  // the first failure is the one to report
        }
        throw;
    }
    unrestrict();
    if (!chosen) return false;
    out = link::DateTime(*chosen);
    return true;
}

bool Operations::ActionDReadExecute() {
    if (!pages_.PageLeaveCheck()) return false;
    pages_.ShowReadPage();
    if (!link_.PortEnsureOpen()) return false;
    bool done = false;
    keepUnjudged_ = false;
    try {
        done = ReadAndJudge();
    } catch (const store::Abort&) {
        // A rule refused and has said why.
    } catch (const std::exception& e) {
        Fail(text::ReadFailed, &e);
    }
    if (!done && !keepUnjudged_) DropRound();
    Finish();
    if (done)
        prompt_.Ask(shell::CaptionMessage, text::ReadDone, shell::Icon::Information,
                    shell::Buttons::Ok);
    return done;
}

// The whole read: true when the round is read and judged and stays pending;
// false when it stopped (the operator, the line, a question), having said why.
// A store failure throws.
bool Operations::ReadAndJudge() {
    options_ = pages_.ReadPageOptions();
    status_.Show(text::ReadCaption, text::ReadStatus, 1010);
    link::Block b{};

    // The registrar who wrote the collector.
    if (!Read(AddrRegistrar, b)) return false;
    const QString registrar = DecodeKeyBlock(b);
    if (!registrar.isEmpty() && options_.autoRegAdd && !KnownAnywhere(registrar))
        AddPerson(registrar, text::UnknownRegistrar, true,
                  !store::TDM::HasRows(dm_.TableCurRegister()));

    // The registration stamp: the round's identity.
    if (!Read(AddrRegStamp, b)) return false;
    link::DateTime registration;
    if (!Stamp(b, registrar, registration)) return false;
    pages_.SetWriteInterval(b[5]);
    rules_.AppendJournal(text::JournalRead);

    // From here on every change to the rounds stays in the round's own
    // transaction until the round is stored or dropped.
    dm_.BeginRound();
    store::View& rounds = dm_.TableKDEvents();
    if (dm_.FindInTable(rounds, DateReg, registration.Days())) {
        const bool shown = rounds.Locate(DateReg, registration.Days());
        pages_.AttachReadPage();
        if (prompt_.Ask(shell::CaptionConfirm, text::AlreadyRead, shell::Icon::Question,
                        shell::Buttons::YesNo) != shell::Answer::Yes) {
            dm_.EndRound(false);  // nothing was changed; the stored round stays shown
            return false;
        }
        pages_.DetachReadPage();
        // The stored round goes in the transaction that stores the new one, so
        // it stays until the new one is stored.
        store::ScopedFlag permit(dm_.DeletePermitted, true);
        if (shown) {
            rounds.Delete();
        } else {
            // Hidden by the rounds page's filter: the stored round goes all the same.
            for (store::View* v : {&rounds, &dm_.TableKDREvents(), &dm_.TableKDLEvents()})
                dm_.DeleteFromTable(*v, DateReg, registration.Days());
            rounds.Refresh();
        }
    }

    if (!ReadRound(registration, registrar)) return false;
    status_.Close();
    return JudgeRound();
}

// Drops whatever the read left of its round: the pending row, its touches
// and a stored round it was replacing come back as they were. Never throws.
void Operations::DropRound() noexcept {
    try {
        pages_.DetachReadPage();
    } catch (...) {
    }
    for (store::View* v : {&dm_.TableKDREvents(), &dm_.TableKDLEvents()}) {
        try {
            v->Cancel();
        } catch (...) {
        }
    }
    try {
        if (store::TDM::IsEditing(dm_.TableKDEvents())) dm_.DiscardInsert(dm_.TableKDEvents());
    } catch (...) {
    }
    try {
        dm_.EndRound(false);
    } catch (...) {
    }
}

// The port and the status window close on every way out. Never throws.
void Operations::Finish() noexcept {
    try {
        link_.PortClose();
    } catch (...) {
    }
    try {
        status_.Close();
    } catch (...) {
    }
}

void Operations::Fail(const QString& message, const std::exception* cause) {
    try {
        status_.Close();
        prompt_.Ask(shell::CaptionError, cause ? store::WithCause(message, *cause) : message,
                    shell::Icon::Warning, shell::Buttons::Ok);
    } catch (...) {
    }
}

// The collector's blocks and events into a new pending round, in the round's
// transaction. False when the read stopped; a store failure throws.
bool Operations::ReadRound(const link::DateTime& registration, const QString& registrar) {
    store::View& rounds = dm_.TableKDEvents();
    store::View& touches = dm_.TableKDREvents();
    link::Block b{};

    if (!Read(AddrCollectorId, b)) return false;
    const QString id = DecodeKeyBlock(b);
    // A collector ID already used for a person or a check point is not added
    // again: the post would be refused for the duplicate key and stop the read.
    if (!id.isEmpty() && options_.autoKDAdd && !KnownAnywhere(id)) {
        store::ScopedFlag skip(dm_.SkipValidation, true);
        store::View& kds = dm_.TableKDs();
        kds.Append();
        try {
            kds.SetValue(Key, id);
            kds.SetValue(Name, text::UnknownCollector);
            kds.SetValue(QStringLiteral("IsKD"), true);
            kds.Post();
        } catch (...) {
            kds.Cancel();
            throw;
        }
    }

    if (!Read(AddrGuard, b)) return false;
    const QString guard = DecodeKeyBlock(b);
    if (!guard.isEmpty() && options_.autoGuardAdd && !KnownAnywhere(guard))
        AddPerson(guard, text::UnknownGuard, false, false);

    rounds.Append();
    rounds.SetValue(DateReg, registration.Days());
    if (!registrar.isEmpty()) rounds.SetValue(QStringLiteral("KeyReg"), registrar);
    if (!id.isEmpty()) rounds.SetValue(QStringLiteral("IDKD"), id);
    if (!guard.isEmpty()) rounds.SetValue(QStringLiteral("KeyGuard"), guard);

    if (!Read(AddrPath, b)) return false;
    if (const auto path = DecodePath(b)) {
        rounds.SetValue(QStringLiteral("Mode"), path->mode);
        rounds.SetValue(QStringLiteral("PathID"), path->pathId);
    }

    QString memo;
    for (uint16_t address : AddrMemo) {
        if (!Read(address, b)) return false;
        memo += DecodeMemoBlock(b);
    }
    rounds.SetValue(QStringLiteral("Memo"), memo);

    if (!Read(AddrClock, b)) return false;
    const ClockBlock counter = DecodeClock(b);
    const EventSlotPlan plan =
        PlanEventSlots(counter.pointer, options_.checkOver ? counter.overflow : 0);
    status_.SetText(status_.Text() + EventCountText(plan.shownCount));
    pointCounter_ = 1;

    if (plan.overflowed &&
        prompt_.Ask(shell::CaptionMessage, text::Overflow, shell::Icon::Information,
                    shell::Buttons::OkCancel) != shell::Answer::Ok)
        return false;
    link::DateTime reference = registration;
    const int start = status_.Position();
    if (plan.order.empty()) status_.SetPosition(status_.Maximum());
    // The grids over the touches catch up once, when the slots are read,
    // rather than with each touch.
    std::optional<store::ControlsOff> quiet(std::in_place, touches);
    for (size_t i = 0; i < plan.order.size(); ++i) {
        if (link_.ReadBlock(EventAddress(plan.order[i]), true, b) != link::ExchangeOk) return false;
        // The events take 1000 units of the gauge, however many there are.
        status_.SetPosition(
            start + static_cast<int>(
                        std::lround((i + 1) * 1000.0 / static_cast<double>(plan.order.size()))));
        ReadEventRecord(reference, b);
    }
    quiet.reset();
    touches.First();
    return true;
}

// After the blocks: the write page and the read page show the round, an
// unknown path is dropped, and the round is judged against its path. False
// when it stopped; a store failure throws.
bool Operations::JudgeRound() {
    store::View& rounds = dm_.TableKDEvents();
    const QVariant mode = rounds.Value(QStringLiteral("Mode"));
    pages_.FillWritePage(rounds.Value(QStringLiteral("KeyGuard")),
                         rounds.Value(QStringLiteral("PathID")), Empty(mode) ? 0 : mode.toInt(),
                         rounds.Text(QStringLiteral("Memo")));
    pages_.AttachReadPage();

    const QVariant pathId = rounds.Value(QStringLiteral("PathID"));
    if (!Empty(pathId) && !dm_.FindInTable(dm_.TablePathes(), QStringLiteral("ID"), pathId)) {
        if (prompt_.Ask(shell::CaptionMessage, text::UnknownPath, shell::Icon::Information,
                        shell::Buttons::OkCancel) != shell::Answer::Ok) {
            keepUnjudged_ = true;  // the round stays pending and shown, not judged
            return false;
        }
        rounds.Clear(QStringLiteral("Mode"));
        rounds.Clear(QStringLiteral("PathID"));
        pages_.ClearWritePath();
    }
    if (!Empty(rounds.Value(QStringLiteral("PathID"))))
        dm_.TablePathes().Locate(QStringLiteral("ID"), rounds.Value(QStringLiteral("PathID")));
    // Building leaves the touches' and missed points' controls to be shown again here.
    struct ShowAgain {
        store::TDM& dm;
        ~ShowAgain() {
            for (store::View* v : {&dm.TableKDREvents(), &dm.TableKDLEvents()}) {
                try {
                    v->EnableControls();
                } catch (...) {
                }
            }
        }
    } showAgain{dm_};
    return BuildRound(dm_, status_);
}

void Operations::ReadEventRecord(link::DateTime& reference, const link::Block& d) {
    const EventRecord event = DecodeEvent(d);
    // A stored time that makes no date takes the time of the touch before.
    if (const auto when = EventDateTime(event, reference)) reference = *when;
    const QString& key = event.key;
    if (key.isEmpty()) return;

    // A touch that cannot be stored fails the read: a round must not be kept
    // without touches the collector holds. A rule that refuses says why itself.
    store::View& touches = dm_.TableKDREvents();
    try {
        touches.Append();
        touches.SetValue(QStringLiteral("Date"), reference.Days());
        touches.SetValue(Key, key);
        touches.Post();
    } catch (...) {
        touches.Cancel();
        throw;
    }
    if (touches.Value(QStringLiteral("CTComment")).toInt() != store::TouchUnknown ||
        !options_.autoPAdd)
        return;
    store::ScopedFlag skip(dm_.SkipValidation, true);
    store::View& points = dm_.TablePoints();
    const QString name = QStringLiteral("%1 №%2")
                             .arg(touches.Text(QStringLiteral("CComment")))
                             .arg(pointCounter_, 4, 10, QLatin1Char('0'));
    points.Append();
    try {
        points.SetValue(Key, key);
        points.SetValue(Name, name);
        points.SetValue(QStringLiteral("IsPrBook"), false);
        points.Post();
    } catch (const store::Abort&) {
        points.Cancel();  // refused by a rule: the touch stays, without its point
        return;
    } catch (...) {
        points.Cancel();
        throw;
    }
    ++pointCounter_;
}

bool Operations::ActionDWriteExecute() {
    if (!pages_.PageLeaveCheck()) return false;
    pages_.ShowWritePage();
    const QString registrar = rules_.CurrentRegistrarKey();
    if (registrar.isEmpty()) {
        prompt_.Ask(shell::CaptionError, text::NoRegistrar, shell::Icon::Error, shell::Buttons::Ok);
        pages_.FocusGuardChoice();
        return false;
    }
    const WriteChoices choices = pages_.WritePageChoices();
    if (choices.guardKey.isEmpty()) {
        prompt_.Ask(shell::CaptionError, text::NoGuard, shell::Icon::Error, shell::Buttons::Ok);
        pages_.FocusGuardChoice();
        return false;
    }
    // The collector keeps the memo in Windows-1251: a character beyond it is
    // refused here, and shown in the memo, rather than written as "?".
    if (const auto foreign = FirstOutsideCp1251(choices.memo)) {
        prompt_.Ask(shell::CaptionError, text::MemoCharacter.arg(foreign->character),
                    shell::Icon::Error, shell::Buttons::Ok);
        pages_.FocusMemo(foreign->position, foreign->character.size());
        return false;
    }
    if (prompt_.Ask(shell::CaptionConfirm, text::WriteQuestion, shell::Icon::Question,
                    shell::Buttons::YesNo) != shell::Answer::Yes)
        return false;
    if (!link_.PortEnsureOpen()) return false;
    bool done = false;
    try {
        done = WriteCollector(registrar, choices);
    } catch (const store::Abort&) {
    } catch (const std::exception& e) {
        Fail(text::WriteFailed, &e);
    }
    Finish();
    if (done)
        prompt_.Ask(shell::CaptionMessage, text::WriteDone, shell::Icon::Information,
                    shell::Buttons::Ok);
    return done;
}

// Waits, with the status window alive, until the PC's clock has reached a
// time; false when the operator closed the window meanwhile.
bool Operations::WaitUntil(const QDateTime& when) {
    for (;;) {
        status_.Pump();
        if (!status_.IsShowing()) return false;
        const qint64 left = clock_.Now().msecsTo(when);
        if (left <= 0) return true;
        clock_.Sleep(static_cast<uint32_t>(std::min<qint64>(left, 10)));
    }
}

bool Operations::WriteCollector(const QString& registrar, const WriteChoices& choices) {
    status_.Show(text::WriteCaption, text::WriteStatus, 9);

    // Clear the event counter; a collector whose counter will not clear is asked about.
    link::Block b{};
    for (;;) {
        if (link_.WriteBlock(AddrInit, link::Block{}, true, false) != link::ExchangeOk)
            return false;
        if (link_.ReadBlock(AddrClock, true, b) != link::ExchangeOk) return false;
        if (b[5] == 0 && b[6] == 0 && b[7] == 0) break;
        if (prompt_.Ask(shell::CaptionConfirm, text::InitFailed, shell::Icon::Question,
                        shell::Buttons::YesNo) != shell::Answer::Yes)
            return false;
    }
    status_.Step();
    rules_.AppendJournal(text::JournalInit);

    // The collector keeps whole seconds, and the journal entry of the write
    // must carry the very time the next read finds in the stamp: the stamp is
    // the next whole second after the initialisation's entry, waited for, so
    // that the writing entry also sorts after it.
    QDateTime next = clock_.Now();
    next.setTime(QTime(next.time().hour(), next.time().minute(), next.time().second()));
    next = next.addSecs(1);
    if (!WaitUntil(next)) return false;
    const link::DateTime stamp = link::DateTime::FromQDateTime(next);
    if (!Write(AddrRegStamp, EncodeStamp(stamp, static_cast<uint8_t>(choices.interval))))
        return false;
    if (!Write(AddrRegistrar, EncodeKeyBlock(registrar))) return false;
    if (!Write(AddrGuard, EncodeKeyBlock(choices.guardKey))) return false;
    std::optional<PathSetting> path;
    if (choices.pathId) path = PathSetting{*choices.pathId, choices.mode};
    if (!Write(AddrPath, EncodePath(path))) return false;
    const MemoBlockSet memo = EncodeMemo(choices.memo);
    for (size_t i = 0; i < memo.size(); ++i)
        if (!Write(AddrMemo[i], memo[i])) return false;
    rules_.AppendJournal(text::JournalWrite, stamp);

    link_.ReaderExchange(link::CmdReadBlock, link::CompletionAddress, false, false);
    return true;
}

}  // namespace kordex::collector
