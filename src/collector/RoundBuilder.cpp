#include "RoundBuilder.h"

#include <QSet>
#include <QStringList>
#include <QVariant>
#include <algorithm>
#include <utility>

#include "shell/ScopeExit.h"
#include "shell/StatusWindow.h"
#include "store/DataModule.h"
#include "store/EventViews.h"

namespace kordex::collector {

namespace {

const QString Key = QStringLiteral("Key");
const QString Type = QStringLiteral("Type");

bool IsEmpty(const QVariant& v) {
    return !v.isValid() || v.isNull();
}

// One run of round building over the round views of the data module.
//
// The missed-point view's rows are mirrored by their keys, in view order, so
// that searching them costs no reading; the view's cursor stays the one that
// matters: a row is reached by putting the cursor on it and deleting it
// there, and in path mode 2 the cursor is the expected position.
class Builder {
public:
    Builder(store::TDM& dm, shell::StatusWindow& status)
        : dm_(dm),
          status_(status),
          round_(dm.TableKDEvents()),
          touches_(dm.TableKDREvents()),
          missed_(dm.TableKDLEvents()) {}

    bool Run() {
        const QVariant pathId = round_.Value(QStringLiteral("PathID"));
        withPath_ = !IsEmpty(pathId);
        if (withPath_) ReadPath(pathId.toInt());
        const QVariant mode = round_.Value(QStringLiteral("Mode"));

        const int touchCount = touches_.RecordCount();
        status_.Show(text::BuildCaption, text::BuildStatus,
                     withPath_ ? static_cast<int>(points_.size()) + 2 * touchCount : touchCount);

        n_ = 0;
        incidents_ = 0;
        round_.SetValue(QStringLiteral("N"), n_);
        round_.SetValue(QStringLiteral("Incidents"), incidents_);
        if (withPath_) {
            round_.SetValue(QStringLiteral("FromN"), static_cast<int>(points_.size()));
            unnecessary_ = 0;
            round_.SetValue(QStringLiteral("UnnecessaryN"), unnecessary_);
            if (!FillMissed()) return false;
        }
        if (!FirstPass()) return false;
        if (withPath_ && !SecondPass(IsEmpty(mode) ? -1 : mode.toInt())) return false;
        touches_.First();
        missed_.First();
        return true;
    }

private:
    // Gives the window its events; false when the operator has closed it.
    bool Cancelled() {
        status_.Pump();
        return !status_.IsShowing();
    }

    // The keys of the path's points in path order. The point view follows
    // the path view; only rows of this path are taken, whatever the view shows.
    void ReadPath(int pathId) {
        dm_.TablePathes().Locate(QStringLiteral("ID"), pathId);
        store::View& points = dm_.TablePPathes();
        const int pathField = points.Def().FieldIndex(QStringLiteral("PathID"));
        const int keyField = points.Def().FieldIndex(Key);
        points.ForEachRow([&](const store::Values& row) {
            if (!IsEmpty(row[pathField]) && row[pathField].toInt() == pathId)
                points_ << row[keyField].toString();
        });
    }

    // One missed-point row per path point, in path order.
    bool FillMissed() {
        for (const QString& key : std::as_const(points_)) {
            if (Cancelled()) return false;
            missed_.Append();
            try {
                missed_.SetValue(Key, key);
                missed_.Post();
            } catch (...) {
                missed_.Cancel();
                throw;
            }
            status_.Step();
        }
        const int keyField = missed_.Def().FieldIndex(Key);
        missedKeys_.clear();
        missed_.ForEachRow(
            [&](const store::Values& row) { missedKeys_ << row[keyField].toString(); });
        return true;
    }

    // Check points counted (without path) or found off the path, incidents,
    // and the duration from the first touch to the last.
    bool FirstPass() {
        const QSet<QString> onPath(missedKeys_.cbegin(), missedKeys_.cend());
        double first = 0.0, last = 0.0;
        bool any = false;
        for (touches_.First(); !touches_.Eof(); touches_.Next()) {
            if (Cancelled()) return false;
            const int kind = touches_.Value(QStringLiteral("CTComment")).toInt();
            if (kind == store::TouchPoint) {
                if (!withPath_) {
                    ++n_;
                } else if (!onPath.contains(touches_.Text(Key))) {
                    SetType(store::TouchOffPath);
                    ++unnecessary_;
                }
            } else if (kind == store::TouchIncident) {
                ++incidents_;
            }
            const double date = touches_.Value(QStringLiteral("Date")).toDouble();
            if (!any) first = date;
            any = true;
            last = date;
            status_.Step();
        }
        StoreTotals();
        round_.SetValue(QStringLiteral("Duration"), any ? last - first : 0.0);
        return true;
    }

    // The check-point touches on the path, judged by the path mode.
    bool SecondPass(int mode) {
        touches_.First();
        missed_.First();
        endReached_ = false;
        for (; !touches_.Eof(); touches_.Next()) {
            if (Cancelled()) return false;
            if (touches_.Value(QStringLiteral("CTComment")).toInt() == store::TouchPoint &&
                touches_.IsNull(Type)) {
                const QString key = touches_.Text(Key);
                switch (mode) {
                    case 0:
                        JudgeRandom(key, false);
                        break;
                    case 1:
                        JudgeRandom(key, true);
                        break;
                    case 2:
                        JudgeInOrder(key);
                        break;
                    default:  // no such mode: nothing is judged
                        break;
                }
            }
            status_.Step();
        }
        StoreTotals();
        return true;
    }

    // Modes 0 and 1: any remaining occurrence of the point counts; with full
    // control a point left without one is superfluous.
    void JudgeRandom(const QString& key, bool fullControl) {
        const int at = missedKeys_.indexOf(key);
        if (at >= 0) {
            ++n_;
            SetType(TypeReached);
            DeleteMissed(at);
        } else if (fullControl) {
            SetType(store::TouchSuperfluous);
            ++unnecessary_;
        }
    }

    // Mode 2: the point is reached in order when it lies at or after the
    // expected position (the cursor), which then moves past it; a point
    // reached before it is out of order and leaves the cursor where it was.
    void JudgeInOrder(const QString& key) {
        shell::Finally drop([this] { dm_.DropBookmark(missed_, 0); });
        bool matched = false;
        if (!endReached_) {
            dm_.SaveBookmark(missed_, 0);
            const int at = missedKeys_.indexOf(key, std::max(missed_.RecNo() - 1, 0));
            if (at >= 0) {
                ++n_;
                SetType(TypeReached);
                if (at == missedKeys_.size() - 1) endReached_ = true;
                DeleteMissed(at);
                matched = true;
            }
        }
        if (!matched) {
            const int at = missedKeys_.indexOf(key);
            if (at >= 0) {
                ++n_;
                SetType(store::TouchOutOfOrder);
                DeleteMissed(at);
            } else {
                SetType(store::TouchSuperfluous);
                ++unnecessary_;
            }
            if (!endReached_) dm_.RestoreBookmark(missed_, 0);
        }
    }

    // Deletes the missed-point row at a 0-based position of the view; the
    // cursor then stands on the row after it, or on the new last row.
    void DeleteMissed(int position) {
        missed_.SetRecNo(position + 1);
        {
            store::ScopedFlag permit(dm_.DeletePermitted, true);
            missed_.Delete();
        }
        missedKeys_.removeAt(position);
    }

    // Stores a judgement in the current touch's row.
    void SetType(int type) {
        touches_.Edit();
        try {
            touches_.SetValue(Type, type);
            touches_.Post();
        } catch (...) {
            touches_.Cancel();
            throw;
        }
    }

    void StoreTotals() {
        round_.SetValue(QStringLiteral("N"), n_);
        round_.SetValue(QStringLiteral("Incidents"), incidents_);
        if (withPath_) round_.SetValue(QStringLiteral("UnnecessaryN"), unnecessary_);
    }

    store::TDM& dm_;
    shell::StatusWindow& status_;
    store::View& round_;
    store::View& touches_;
    store::View& missed_;

    bool withPath_ = false;
    QStringList points_;
    QStringList missedKeys_;  // the keys of the missed-point view's rows, in view order
    bool endReached_ = false;
    int n_ = 0, unnecessary_ = 0, incidents_ = 0;
};

}  // namespace

bool BuildRound(store::TDM& dm, shell::StatusWindow& status) {
    store::View& touches = dm.TableKDREvents();
    store::View& missed = dm.TableKDLEvents();
    touches.DisableControls();
    missed.DisableControls();

    store::Database& db = dm.DatabaseE();
    const bool own = !db.InTransaction();
    db.Begin();
    // Undoes a building that did not finish when the transaction is its own;
    // inside the caller's transaction the caller decides.
    auto abandon = [&] {
        if (!own) {
            db.Commit();  // leaves the nesting level only
            return;
        }
        touches.Cancel();
        missed.Cancel();
        db.Rollback();
        touches.Refresh();
        missed.Refresh();
    };

    bool done = false;
    try {
        done = Builder(dm, status).Run();
    } catch (...) {
        try {
            abandon();
        } catch (...) {  // the first failure is the one to report
        }
        throw;
    }
    if (done)
        db.Commit();
    else
        abandon();
    return done;
}

}  // namespace kordex::collector
