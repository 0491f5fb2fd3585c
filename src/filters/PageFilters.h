#pragma once

#include <QString>
#include <memory>
#include <vector>

#include "ComplexFilter.h"
#include "RowTests.h"
#include "Settings.h"
#include "store/DataModule.h"

namespace kordex::store {
class Rules;
}

namespace kordex::filters {

// The five filterable pages.
enum class FilterPage {
    PrEvents,    // "События программы", TablePrEvents
    KDEvents,    // rounds, TableKDEvents
    KDDEvents,   // touches by date and time, TableKDREvents
    KDAEvents,   // archive rounds, TableKDAEvents
    KDDAEvents,  // archive touches by date and time, TableKDRAEvents
};

// The filter of one page: its table, its row test installed as the table's
// filter callback (reading the page's settings every time a row is tested),
// and whether the page's filter is on (what its indicator panel shows).
class PageFilter {
public:
    virtual ~PageFilter();
    PageFilter(const PageFilter&) = delete;
    PageFilter& operator=(const PageFilter&) = delete;

    FilterPage Page() const { return page_; }
    store::View& Table() { return table_; }
    // The page's filter is on: its indicator panel shows.
    bool Active() const { return active_; }
    // The indicator alone, for whoever restores it.
    void SetActive(bool on) { active_ = on; }

    // Set filter after OK: on the touch pages with the complex filter in force
    // first builds the complex ID list; then filters the table anew (controls
    // off meanwhile) and turns the indicator on. False, with the table and the
    // indicator as they were, when the build was interrupted or failed. Store
    // errors of the re-filter propagate.
    bool Set();
    // Remove filter: posts pending edits (a failing post stops here with
    // false), turns the table's filtering off and the indicator off. The
    // settings stay for the next Set.
    bool Remove();

protected:
    PageFilter(store::TDM& dm, FilterPage page, store::View& table);
    // Run before the table is filtered anew; false stops Set.
    virtual bool Prepare() { return true; }

    store::TDM& dm_;

private:
    FilterPage page_;
    store::View& table_;
    bool active_ = false;
};

class ProgramEventFilter : public PageFilter {
public:
    ProgramEventFilter(store::TDM& dm, store::View& table);
    ProgramEventFilterSettings& Settings() { return settings_; }

private:
    ProgramEventFilterSettings settings_;
    ProgramEventTest test_{settings_};
};

class RoundFilter : public PageFilter {
public:
    RoundFilter(store::TDM& dm, FilterPage page, store::View& table);
    RoundFilterSettings& Settings() { return settings_; }

private:
    RoundFilterSettings settings_;
    RoundTest test_{settings_};
};

class TouchFilter : public PageFilter {
public:
    TouchFilter(store::TDM& dm, FilterPage page, store::View& table, store::View& roundCursor);
    TouchFilterSettings& Settings() { return settings_; }
    RoundCursor& Rounds() { return rounds_; }
    // The list view the event is chosen from: check points, incidents or all
    // users, by the event kind.
    store::View& EventListView();

protected:
    bool Prepare() override;

private:
    TouchFilterSettings settings_;
    RoundCursor rounds_;
    TouchTest test_{settings_, rounds_};
};

// Which reference data changed, for the re-check of the chosen keys.
enum class Reference { Users, Paths, Collectors, PointsAndIncidents };

// The filters of the five pages, made once with the data module (settings at
// their defaults, "today" by the module's clock) and installed on their
// tables; they live as long as the program.
class PageFilters {
public:
    explicit PageFilters(store::TDM& dm);
    // Takes the selections off the rules' refresh cascade first; the rules
    // connected must still be there.
    ~PageFilters();
    PageFilters(const PageFilters&) = delete;
    PageFilters& operator=(const PageFilters&) = delete;

    ProgramEventFilter& PrEvents() { return prEvents_; }
    RoundFilter& KDEvents() { return kdEvents_; }
    TouchFilter& KDDEvents() { return kddEvents_; }
    RoundFilter& KDAEvents() { return kdaEvents_; }
    TouchFilter& KDDAEvents() { return kddaEvents_; }
    PageFilter& Page(FilterPage page);
    // The page whose table this is; null for any other view.
    PageFilter* PageOf(const store::View& table);

    // Clears every chosen key that the list it is chosen from no longer holds:
    // users: the registrar of all five pages, the guard of the four round and
    // touch pages, the event of both touch pages; paths: the path of the four
    // and the event of both touch pages; collectors: the collector of the
    // four; check points or incidents: the event of both touch pages.
    void RefreshLookup(Reference changed);

    // Hands the selections to the rules' refresh cascade, which then re-checks
    // them after every post and delete of reference data.
    void ConnectRules(store::Rules& rules);

private:
    class Selection;
    void AddSelections();

    store::TDM& dm_;
    ProgramEventFilter prEvents_;
    RoundFilter kdEvents_;
    TouchFilter kddEvents_;
    RoundFilter kdaEvents_;
    TouchFilter kddaEvents_;
    std::vector<std::unique_ptr<Selection>> selections_;
    store::Rules* rules_ = nullptr;
};

}  // namespace kordex::filters
