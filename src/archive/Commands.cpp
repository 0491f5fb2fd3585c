#include "Commands.h"

#include <QDir>
#include <QFileInfo>
#include <cmath>
#include <memory>
#include <optional>

#include "Unpack.h"
#include "shell/Prompt.h"
#include "shell/ScopeExit.h"
#include "shell/StatusWindow.h"
#include "store/Catalogue.h"
#include "store/DataModule.h"
#include "store/Rules.h"
#include "zip/Archive.h"

namespace kordex::archive {

namespace {

const QString DateReg = QStringLiteral("DateReg");
// Everything of the rounds in the working directory: the three tables with
// whatever files of theirs lie beside them.
const QString SaveMask = QStringLiteral("KD*.*");
const QString RoundSavepoint = QStringLiteral("archive_round");
// The gauge's shares of one round: its touches, then its missed points.
constexpr int TouchShare = 1000;
constexpr int MissedShare = 10;
constexpr int RoundShare = TouchShare + MissedShare;

// Keeps the running command's flag for the length of a scope.
class BusyHold {
public:
    explicit BusyHold(bool& busy) : busy_(busy) { busy_ = true; }
    ~BusyHold() { busy_ = false; }
    BusyHold(const BusyHold&) = delete;
    BusyHold& operator=(const BusyHold&) = delete;

private:
    bool& busy_;
};

QString DirectoryOf(const QString& file) {
    return QFileInfo(file).absolutePath();
}

}  // namespace

const std::array<ActionText, 4>& Actions() {
    static const std::array<ActionText, 4> actions = {{
        {"ActionLoadArchive", QStringLiteral("&Загрузить архив..."),
         QStringLiteral("Загрузить события Kordex'а из архива"), 27},
        {"ActionSaveArchive", QStringLiteral("&Сохранить в архиве..."),
         QStringLiteral("Сохранить события Kordex'а в архиве"), 28},
        {"ActionAddArchive", QStringLiteral("&Добавить к архиву..."),
         QStringLiteral("Добавить к архиву события Kordex'а из другого архива"), 29},
        {"ActionAddCurArchive", QStringLiteral("Д&обавить к архиву текущие события"),
         QStringLiteral("Добавить к архиву текущие события Kordex'а"), 30},
    }};
    return actions;
}

QString DefaultName(const QDate& date) {
    return QStringLiteral("KDEv%1%2")
        .arg(date.month(), 2, 10, QLatin1Char('0'))
        .arg(date.year() % 100);
}

Commands::Commands(store::TDM& dm, store::Rules& rules, ArchivePages& pages)
    : dm_(dm), rules_(rules), pages_(pages) {}

QString Commands::SaveDirectory() const {
    return saveDirectory_.isEmpty() ? dm_.ProgramDirectory() : saveDirectory_;
}

QString Commands::OpenDirectory() const {
    return openDirectory_.isEmpty() ? dm_.ProgramDirectory() : openDirectory_;
}

// --- The commands as the window runs them -------------------------------------------

bool Commands::ActionSaveArchiveExecute() {
    if (busy_ || !pages_.PageLeaveCheck()) return false;
    pages_.ShowJournalRounds();
    FileDialog d;
    d.kind = FileDialog::Kind::Save;
    d.directory = SaveDirectory();
    d.fileName = DefaultName(dm_.Clock().Now().date());
    const QString file = pages_.ChooseFile(d);
    return !file.isEmpty() && Save(file);
}

// The open dialog of load and add from a file; empty when cancelled.
QString Commands::ChooseArchiveToOpen() {
    FileDialog d;
    d.kind = FileDialog::Kind::Open;
    d.directory = OpenDirectory();
    return pages_.ChooseFile(d);
}

bool Commands::ActionLoadArchiveExecute() {
    if (busy_ || !pages_.PageLeaveCheck()) return false;
    pages_.ShowArchiveRounds();
    const QString file = ChooseArchiveToOpen();
    return !file.isEmpty() && Load(file);
}

bool Commands::ActionAddArchiveExecute() {
    if (busy_ || !pages_.PageLeaveCheck()) return false;
    pages_.ShowArchiveRounds();
    const QString file = ChooseArchiveToOpen();
    return !file.isEmpty() && Add(file);
}

bool Commands::ActionAddCurArchiveExecute() {
    if (busy_ || !pages_.PageLeaveCheck()) return false;
    pages_.ShowArchiveRounds();
    return AddCurrent();
}

// --- Common steps --------------------------------------------------------------------

void Commands::Fail(const QString& failure, const QString& cause) {
    dm_.Status().Close();
    dm_.Prompt().Ask(shell::CaptionError,
                     cause.isEmpty() ? failure : failure + QLatin1Char('\r') + cause,
                     shell::Icon::Warning, shell::Buttons::Ok);
}

// The archive commands write the store: only with the databases open, which
// holds the program directory for this program, and not beside a round being read.
bool Commands::Ready(const QString& failure) {
    QString cause;
    if (dm_.TableAccess() != store::TDM::Access::ReadWrite || !dm_.Database().Connected())
        cause = QStringLiteral("The databases are not open");
    else if (dm_.RoundOpen())
        cause = QStringLiteral("A round just read is not stored yet");
    if (cause.isEmpty()) return true;
    Fail(failure, cause);
    return false;
}

bool Commands::ZipEnded(const zip::Result& r, const QString& failure) {
    switch (r.outcome) {
        case zip::Outcome::Ok:
            return true;
        case zip::Outcome::Incomplete:
            // Said in full by this message; the command ends without another.
            dm_.Status().Close();
            dm_.Prompt().Ask(shell::CaptionConfirm, text::Incomplete, shell::Icon::Information,
                             shell::Buttons::Ok);
            return false;
        case zip::Outcome::Cancelled:
            dm_.Status().Close();
            dm_.Prompt().Ask(shell::CaptionMessage, text::Interrupted, shell::Icon::Information,
                             shell::Buttons::Ok);
            return false;
        case zip::Outcome::BadCrc:
            dm_.Prompt().Ask(shell::CaptionError, text::BadCrc, shell::Icon::Warning,
                             shell::Buttons::Ok);
            break;
        default:
            break;
    }
    Fail(failure, r.cause);
    return false;
}

// Closes every view of a database and the database itself, which frees its
// table files.
void Commands::CloseDatabase(const QString& alias) noexcept {
    try {
        store::Database& db = dm_.DatabaseFor(alias);
        const auto& components = dm_.Components();
        for (auto it = components.rbegin(); it != components.rend(); ++it) {
            store::View* v = it->view;
            if (v == nullptr || !v->IsOpen() || v->Db() != &db) continue;
            try {
                v->Cancel();
                v->Close();
            } catch (...) {
            }
        }
        db.Disconnect();
    } catch (...) {
    }
}

void Commands::OpenViews(const std::vector<store::View*>& views, QString& firstError) noexcept {
    for (store::View* v : views) {
        try {
            dm_.OpenTable(*v);
        } catch (const store::Error& e) {
            if (firstError.isEmpty()) firstError = e.Cause();
        } catch (const std::exception& e) {
            if (firstError.isEmpty()) firstError = QString::fromLocal8Bit(e.what());
        } catch (...) {
            if (firstError.isEmpty()) firstError = QStringLiteral("%1 not opened").arg(v->Name());
        }
    }
}

// --- Save ----------------------------------------------------------------------------

bool Commands::Save(const QString& file) {
    if (busy_ || !Ready(text::SaveFailed)) return false;
    BusyHold hold(busy_);
    shell::StatusWindow& status = dm_.Status();
    status.Show(text::SaveCaption, text::SaveStatus, 100);
    saveDirectory_ = DirectoryOf(file);

    store::View& rounds = dm_.TableKDEvents();
    store::View& touches = dm_.TableKDREvents();
    store::View& missed = dm_.TableKDLEvents();
    zip::Result result;
    QString reopenError;
    {
        dm_.SaveBookmark(rounds, 0);
        dm_.SaveBookmark(touches, 1);
        dm_.SaveBookmark(missed, 2);
        store::ControlsOff offRounds(rounds), offTouches(touches), offMissed(missed);
        {
            store::ScopedFlag skip(dm_.SkipTouchCalc, true);
            CloseDatabase(store::AliasDataE);
            zip::Archive zipFile;
            zipFile.SetName(file);
            zipFile.SetProgress([&status](int percent) {
                status.SetPosition(percent);
                return true;
            });
            // Written beside the name and put in its place only when read back
            // whole: an existing file of the name gives way to a new archive of
            // the current tables alone, and stays as it was after a failure.
            result = zipFile.AddFiles(dm_.ProgramDirectory() + store::DirData, {SaveMask});
            zipFile.Release();
        }
        OpenViews({&dm_.TableKDFEvents(), &rounds, &touches, &missed}, reopenError);
        dm_.RestoreBookmark(rounds, 0);
        dm_.RestoreBookmark(touches, 1);
        dm_.RestoreBookmark(missed, 2);
    }
    if (!ZipEnded(result, text::SaveFailed)) return false;
    if (!reopenError.isEmpty()) {
        Fail(text::SaveFailed, reopenError);
        return false;
    }
    status.Close();
    dm_.Prompt().Ask(shell::CaptionMessage, text::SaveDone, shell::Icon::Information,
                     shell::Buttons::Ok);
    return true;
}

// --- Load and add from a file --------------------------------------------------------

// Unpacks the round tables of the file, checks them and puts them in place of
// the database's tables; the database's views are closed meanwhile and open
// again afterwards, also after a failure. False after the failure was told.
bool Commands::Unpacked(const QString& file, const QString& alias, const QString& failure,
                        bool dropMissing) {
    store::Database& db = dm_.DatabaseFor(alias);
    std::vector<store::View*> views;
    for (const auto& c : dm_.Components())
        if (c.view != nullptr && c.view->Tag() == 0 &&
            c.view->DatabaseAlias().compare(alias, Qt::CaseInsensitive) == 0)
            views.push_back(c.view);
    std::vector<store::TableDef> defs;
    for (store::View* v : views)
        defs.push_back(v->Def());

    zip::Result result;
    QString cause;
    {
        std::vector<std::unique_ptr<store::ControlsOff>> off;
        for (store::View* v : views)
            off.push_back(std::make_unique<store::ControlsOff>(*v));
        CloseDatabase(alias);
        {
            Unpack unpack(db.Directory());
            zip::Archive zipFile;
            zipFile.SetName(file);
            zipFile.SetProgress([this](int percent) {
                dm_.Status().SetPosition(percent);
                return true;
            });
            result = unpack.Extract(zipFile);
            zipFile.Release();
            if (result.IsOk()) {
                try {
                    unpack.Check(defs);
                    unpack.Replace(dropMissing);
                } catch (const store::Error& e) {
                    cause = e.Cause();
                } catch (const std::exception& e) {
                    cause = QString::fromLocal8Bit(e.what());
                }
            }
        }
        QString reopenError;
        OpenViews(views, reopenError);
        if (cause.isEmpty() && result.IsOk()) cause = reopenError;
    }
    pages_.RefreshActions();
    if (!ZipEnded(result, failure)) return false;
    if (!cause.isEmpty()) {
        Fail(failure, cause);
        return false;
    }
    return true;
}

bool Commands::Load(const QString& file) {
    if (busy_ || !Ready(text::LoadFailed)) return false;
    BusyHold hold(busy_);
    dm_.Status().Show(text::LoadCaption, text::LoadStatus, 100);
    dm_.SkipTouchCalc = false;
    openDirectory_ = DirectoryOf(file);
    if (!Unpacked(file, store::AliasDataA, text::LoadFailed, false)) return false;
    dm_.Status().Close();
    dm_.Prompt().Ask(shell::CaptionMessage, text::LoadDone, shell::Icon::Information,
                     shell::Buttons::Ok);
    return true;
}

bool Commands::Add(const QString& file) {
    if (busy_ || !Ready(text::AddFailed)) return false;
    BusyHold hold(busy_);
    tally_ = {};
    dm_.Status().Show(text::LoadCaption, text::LoadStatus, 100);
    dm_.SkipTouchCalc = false;
    openDirectory_ = DirectoryOf(file);
    // The scratch tables hold exactly what the file holds: a table the file
    // lacks is made anew, empty, not read from an earlier add.
    if (!Unpacked(file, store::AliasDataT, text::AddFailed, true)) return false;

    store::View& source = dm_.TableKDTEvents();
    dm_.Status().Show(text::AddCaption, text::AddStatus, source.RecordCount() * RoundShare);
    dm_.SaveBookmark(dm_.TableKDAEvents(), 0);
    dm_.SaveBookmark(dm_.TableKDRAEvents(), 1);
    dm_.SaveBookmark(dm_.TableKDLAEvents(), 2);
    return Merge(
        source, dm_.TableKDRTEvents(), dm_.TableKDLTEvents(),
        {{&dm_.TableKDAEvents(), 0}, {&dm_.TableKDRAEvents(), 1}, {&dm_.TableKDLAEvents(), 2}});
}

// --- Add current ------------------------------------------------------------------------

bool Commands::AddCurrent() {
    if (busy_ || !Ready(text::AddFailed)) return false;
    BusyHold hold(busy_);
    tally_ = {};
    // The rounds as the rounds page shows them: with its filter when it is on.
    store::View& source = dm_.TableKDEvents();
    dm_.Status().Show(text::AddCaption, text::AddCurrentStatus, source.RecordCount() * RoundShare);
    const Parked parked = {{&dm_.TableKDEvents(), 0},  {&dm_.TableKDAEvents(), 1},
                           {&dm_.TableKDREvents(), 2}, {&dm_.TableKDRAEvents(), 3},
                           {&dm_.TableKDLEvents(), 4}, {&dm_.TableKDLAEvents(), 5}};
    for (const auto& [view, slot] : parked)
        dm_.SaveBookmark(*view, slot);
    return Merge(source, dm_.TableKDREvents(), dm_.TableKDLEvents(), parked);
}

// --- Merge -----------------------------------------------------------------------------

// Copies the source rounds the archive does not hold, with their touches and
// missed points, into the archive views; then puts every flag, bookmark and
// display back and refreshes the archive round cursor, however it ended.
bool Commands::Merge(store::View& rounds, store::View& touches, store::View& missed,
                     const Parked& parked) {
    store::View& target = dm_.TableKDAEvents();
    QString cause;
    End end = End::Failed;
    {
        store::ControlsOff offRounds(target), offTouches(dm_.TableKDRAEvents()),
            offMissed(dm_.TableKDLAEvents());
        {
            store::ScopedFlag refresh(dm_.RefreshEnabled, false);
            store::ScopedFlag skip(dm_.SkipTouchCalc, true);
            end = CopyRounds(rounds, touches, missed, cause);
        }
        for (const auto& [view, slot] : parked)
            dm_.RestoreBookmark(*view, slot);
    }
    try {
        rules_.RefreshCascade(target);
    } catch (const store::Error& e) {
        if (end == End::Done) cause = e.Cause();
        if (end == End::Done) end = End::Failed;
    } catch (...) {
    }
    dm_.Status().Close();
    switch (end) {
        case End::Done:
            dm_.Prompt().Ask(shell::CaptionMessage, text::AddDone, shell::Icon::Information,
                             shell::Buttons::Ok);
            return true;
        case End::Interrupted:
            // The status window has said so itself.
            return false;
        case End::Failed:
            Fail(text::AddFailed, cause);
            return false;
    }
    return false;
}

// The copy in one transaction of the archive database, each round under a
// savepoint of its own: an interruption or a failure takes away the round
// being added and keeps the ones before it; a crash leaves the archive as it
// was before the merge.
Commands::End Commands::CopyRounds(store::View& rounds, store::View& touches, store::View& missed,
                                   QString& cause) {
    store::TDM& dm = dm_;
    shell::StatusWindow& status = dm.Status();
    store::Database& db = dm.DatabaseA();
    store::View& target = dm.TableKDAEvents();
    store::View& targetTouches = dm.TableKDRAEvents();
    store::View& targetMissed = dm.TableKDLAEvents();
    End end = End::Done;
    bool roundPending = false;
    int added = 0, skipped = 0;
    auto noteError = [&](const QString& text) {
        end = End::Failed;
        cause = text;
    };
    // The source is read under one transaction of its own, a snapshot that
    // takes the files' lock once rather than at every row read.
    store::Database* from = rounds.Db();
    if (from == &db) from = nullptr;
    try {
        if (from != nullptr) from->Begin();
    } catch (const store::Error& e) {
        noteError(e.Cause());
        return end;
    }
    shell::Finally endRead([from] {
        if (from == nullptr) return;
        try {
            from->Commit();  // nothing was written: this only lets go of the lock
        } catch (...) {
        }
    });
    try {
        db.Begin();
    } catch (const store::Error& e) {
        noteError(e.Cause());
        return end;
    }
    try {
        int base = 0;
        rounds.First();
        while (!rounds.Eof()) {
            status.Pump();
            if (!status.IsShowing()) {
                end = End::Interrupted;
                break;
            }
            if (dm.FindInTable(dm.TableKDAFEvents(), DateReg, rounds.Value(DateReg))) {
                ++skipped;  // already archived, whatever it holds
            } else {
                db.Savepoint(RoundSavepoint);
                roundPending = true;
                dm.CopyRow(rounds, target);
                if (!CopyDetails(touches, targetTouches, base, TouchShare) ||
                    !CopyDetails(missed, targetMissed, base + TouchShare, MissedShare)) {
                    end = End::Interrupted;
                    break;
                }
                // Each post said on its own, so that a failure keeps its cause.
                store::TDM::PostIfEditing(target);
                store::TDM::PostIfEditing(targetTouches);
                store::TDM::PostIfEditing(targetMissed);
                db.ReleaseSavepoint(RoundSavepoint);
                roundPending = false;
                ++added;
            }
            base += RoundShare;
            status.SetPosition(base);
            rounds.Next();
        }
    } catch (const store::Error& e) {
        noteError(e.Cause());
    } catch (const store::Abort&) {
        noteError(QString());
    } catch (const std::exception& e) {
        noteError(QString::fromLocal8Bit(e.what()));
    }

    // The round being added goes, with the touches and missed points stored for it.
    for (store::View* v : {&targetMissed, &targetTouches, &target}) {
        try {
            v->Cancel();
        } catch (...) {
        }
    }
    if (roundPending && db.RollbackTo(RoundSavepoint)) {
        try {
            db.ReleaseSavepoint(RoundSavepoint);
        } catch (...) {
        }
    }
    try {
        db.Commit();
    } catch (const store::Error& e) {
        // Undone whole: the archive is as before the merge.
        if (end != End::Failed) noteError(e.Cause());
        added = 0;
    }
    tally_.added = added;
    tally_.skipped = skipped;
    // What the views hold may have been undone under them.
    for (store::View* v : {&dm.TableKDAFEvents(), &target, &targetTouches, &targetMissed}) {
        try {
            if (v->IsOpen()) v->Refresh();
        } catch (...) {
        }
    }
    return end;
}

// Copies every row of a detail view of the current source round; the gauge
// moves by the share spread over the rows, or at once when there are none.
// False when the operator closed the status window.
bool Commands::CopyDetails(store::View& source, store::View& target, int base, int share) {
    shell::StatusWindow& status = dm_.Status();
    if (!store::TDM::HasRows(source)) {
        status.SetPosition(base + share);
        return true;
    }
    // Straight into the table, its data fields alone: the target view would
    // place every row in its order and look up its calculated fields, and is
    // read anew once the merge ends anyway. Its hooks do nothing meanwhile.
    store::Table* into = target.IsOpen() ? target.PhysicalTable() : nullptr;
    if (into == nullptr) throw store::Error(QStringLiteral("%1 is not open").arg(target.Name()));
    const store::TableDef& def = into->Def();
    std::vector<std::pair<int, int>> copied;  // a field of the source view, a field of the table
    const std::vector<store::Field>& fields = source.Fields();
    for (size_t i = 0; i < fields.size(); ++i) {
        if (fields[i].kind != store::FieldKind::Data) continue;
        const int to = def.FieldIndex(fields[i].name);
        if (to >= 0 && def.fields[to].type != store::FieldType::AutoInc)
            copied.emplace_back(static_cast<int>(i), to);
    }
    store::Values row;
    const int n = source.RecordCount();
    int k = 0;
    source.First();
    while (!source.Eof()) {
        status.Pump();
        if (!status.IsShowing()) return false;
        row.assign(def.fields.size(), QVariant());
        for (const auto& [from, to] : copied)
            row[to] = source.Value(from);
        into->Insert(row);
        ++k;
        status.SetPosition(base + static_cast<int>(std::lround(double(share) * k / n)));
        source.Next();
    }
    return true;
}

}  // namespace kordex::archive
