#include "RowTests.h"

#include <cmath>

#include "link/DateTime.h"

namespace kordex::filters {

namespace {
const QString DateRegField = QStringLiteral("DateReg");

PathChoice PathOf(const QVariant& v) {
    if (!v.isValid() || v.isNull()) return std::nullopt;
    return v.toInt();
}
}  // namespace

int CompareDateTime(double a, double b) {
    return link::CompareDateTime(a, b);
}

bool IntervalPasses(const IntervalSettings& s, double v) {
    if (s.noInterval) return true;
    if (s.kind == IntervalKind::Continuous)
        return CompareDateTime(v, s.From()) >= 0 && CompareDateTime(v, s.To()) <= 0;
    // Per day: the day must lie between the dates, and its time of day in
    // that day's own window.
    const double day = std::trunc(v);
    const double t = v - day;
    if (CompareDateTime(day, s.dateFrom) < 0 || CompareDateTime(day, s.dateTo) > 0) return false;
    if (s.timeTo > s.timeFrom)
        return CompareDateTime(t, s.timeFrom) >= 0 && CompareDateTime(t, s.timeTo) <= 0;
    // Across midnight (or the whole day when both times are equal).
    return CompareDateTime(t, s.timeFrom) >= 0 || CompareDateTime(t, s.timeTo) <= 0;
}

// --- Round cursor ----------------------------------------------------------------

const RoundValues* RoundCursor::Find(double dateReg) {
    store::View& v = rounds_;
    if (!v.IsOpen()) {
        known_ = false;
        return nullptr;
    }
    const store::Table* table = v.PhysicalTable();
    if (known_ && dateReg == dateReg_ && table == table_ && tableVersion_ == table->Version() &&
        contentVersion_ == v.ContentVersion())
        return found_ ? &values_ : nullptr;

    found_ = MoveTo(dateReg);
    if (found_) {
        values_.collector = v.Text(QStringLiteral("IDKD"));
        values_.registrar = v.Text(QStringLiteral("KeyReg"));
        values_.guard = v.Text(QStringLiteral("KeyGuard"));
        values_.path = PathOf(v.Value(QStringLiteral("PathID")));
    }
    known_ = true;
    dateReg_ = dateReg;
    table_ = table;
    tableVersion_ = table->Version();
    contentVersion_ = v.ContentVersion();
    return found_ ? &values_ : nullptr;
}

double RoundCursor::DateRegAt(int position) {
    const std::vector<QVariant> row = rounds_.RowAt(position);
    const int i = rounds_.FieldIndex(DateRegField);
    return i >= 0 && i < static_cast<int>(row.size()) ? row[i].toDouble() : 0.0;
}

bool RoundCursor::MoveTo(double dateReg) {
    store::View& v = rounds_;
    const int n = v.RecordCount();
    if (n == 0) return false;
    const QStringList order = v.OrderFields();
    if (order.isEmpty() || order.front().compare(DateRegField, Qt::CaseInsensitive) != 0)
        return v.Locate(DateRegField, dateReg);
    // The rounds are in DateReg order: the current row, the next one, or a
    // binary search.
    const int current = v.RecNo() - 1;
    if (current >= 0 && v.Value(DateRegField).toDouble() == dateReg) return true;
    if (current + 1 < n && DateRegAt(current + 1) == dateReg) {
        v.SetRecNo(current + 2);
        return true;
    }
    int lo = 0, hi = n;
    while (lo < hi) {
        const int mid = lo + (hi - lo) / 2;
        if (DateRegAt(mid) < dateReg)
            lo = mid + 1;
        else
            hi = mid;
    }
    if (lo >= n || DateRegAt(lo) != dateReg) return false;
    v.SetRecNo(lo + 1);
    return true;
}

// --- Row tests -------------------------------------------------------------------

void FieldPositions::For(const store::View& row, std::initializer_list<const char*> names) {
    if (view_ == &row && fieldCount_ == row.Fields().size()) return;
    int i = 0;
    for (const char* name : names)
        positions_[i++] = row.FieldIndex(QString::fromLatin1(name));
    view_ = &row;
    fieldCount_ = row.Fields().size();
}

bool ProgramEventTest::operator()(store::View& row) {
    f_.For(row, {"Key", "Date"});
    if (s_.registrar && row.Value(f_[0]).toString() != *s_.registrar) return false;
    return IntervalPasses(s_.interval, row.Value(f_[1]).toDouble());
}

bool RoundTest::operator()(store::View& row) {
    f_.For(row, {"IDKD", "KeyReg", "KeyGuard", "PathID", "DateReg"});
    if (s_.AnyRoundChoice()) {
        RoundValues r;
        if (s_.collector) r.collector = row.Value(f_[0]).toString();
        if (s_.registrar) r.registrar = row.Value(f_[1]).toString();
        if (s_.guard) r.guard = row.Value(f_[2]).toString();
        if (s_.path) r.path = PathOf(row.Value(f_[3]));
        if (!s_.RoundMatches(r)) return false;
    }
    return IntervalPasses(s_.interval, row.Value(f_[4]).toDouble());
}

bool TouchTest::operator()(store::View& row) {
    f_.For(row, {"ID", "Key", "DateReg", "Date"});
    if (s_.event) {
        if (s_.ComplexEnabled() && s_.complex) {
            if (!s_.complexIds.Contains(row.Value(f_[0]).toInt())) return false;
        } else if (row.Value(f_[1]).toString() != *s_.event) {
            return false;
        }
    }
    if (s_.AnyRoundChoice()) {
        const QVariant reg = row.Value(f_[2]);
        const RoundValues* round =
            reg.isValid() && !reg.isNull() ? rounds_.Find(reg.toDouble()) : nullptr;
        if (round == nullptr || !s_.RoundMatches(*round)) return false;
    }
    return IntervalPasses(s_.interval, row.Value(f_[3]).toDouble());
}

}  // namespace kordex::filters
