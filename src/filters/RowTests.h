#pragma once

#include <cstdint>

#include "Settings.h"
#include "store/View.h"

namespace kordex::filters {

// -1, 0 or 1; a and b less than one millisecond apart are equal. The row
// tests pass the row's value as a and the bound as b, so both bounds of an
// interval are inclusive with a millisecond to spare.
int CompareDateTime(double a, double b);

// Whether a date-time passes the interval block.
bool IntervalPasses(const IntervalSettings& s, double v);

// The second, unfiltered cursor over a rounds table (TableKDFEvents,
// TableKDAFEvents) through which the touch test finds the round of a touch.
// Touches come in DateReg order, so it keeps the round it found last (and
// whether there was one) and only moves when the stamp changes: to the next
// row when that is the round, otherwise by a binary search of its DateReg
// order. Anything written to the rounds, or the cursor read again, makes it
// look again.
class RoundCursor {
public:
    explicit RoundCursor(store::View& rounds) : rounds_(rounds) {}

    store::View& View() { return rounds_; }
    // Puts the cursor on the round with exactly this DateReg and gives its
    // values; null, with the cursor where it was, when there is none.
    const RoundValues* Find(double dateReg);
    // Drops the remembered round.
    void Forget() { known_ = false; }

private:
    bool MoveTo(double dateReg);
    double DateRegAt(int position);

    store::View& rounds_;
    bool known_ = false;
    bool found_ = false;
    double dateReg_ = 0;
    uint64_t contentVersion_ = 0;
    uint64_t tableVersion_ = 0;
    const store::Table* table_ = nullptr;
    RoundValues values_;
};

// The field positions a row test reads, found once per view it is asked for
// (a page's table and its report copies).
class FieldPositions {
public:
    // Resolves the names for this view unless it did so already.
    void For(const store::View& row, std::initializer_list<const char*> names);
    int operator[](int i) const { return positions_[i]; }

private:
    const store::View* view_ = nullptr;
    size_t fieldCount_ = 0;
    int positions_[8] = {-1, -1, -1, -1, -1, -1, -1, -1};
};

// Program event test (rows of PrEvents.DB): registrar by Key, then the
// interval on Date.
class ProgramEventTest {
public:
    explicit ProgramEventTest(const ProgramEventFilterSettings& s) : s_(s) {}
    bool operator()(store::View& row);

private:
    const ProgramEventFilterSettings& s_;
    FieldPositions f_;
};

// Round test (rows of KDEvents.DB): IDKD, KeyReg, KeyGuard, PathID, each when
// chosen, then the interval on DateReg.
class RoundTest {
public:
    explicit RoundTest(const RoundFilterSettings& s) : s_(s) {}
    bool operator()(store::View& row);

private:
    const RoundFilterSettings& s_;
    FieldPositions f_;
};

// Touch test (rows of KDREvs.DB): the event step (Key, or the complex ID
// list when the complex filter is in force), the round step through the
// round cursor when anything of the round is chosen (a touch whose round is
// gone fails it), then the interval on the touch's own Date.
class TouchTest {
public:
    TouchTest(const TouchFilterSettings& s, RoundCursor& rounds) : s_(s), rounds_(rounds) {}
    bool operator()(store::View& row);

private:
    const TouchFilterSettings& s_;
    RoundCursor& rounds_;
    FieldPositions f_;
};

}  // namespace kordex::filters
