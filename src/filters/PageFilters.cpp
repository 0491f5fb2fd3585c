#include "PageFilters.h"

#include <functional>

#include "store/Rules.h"

namespace kordex::filters {

using store::Rules;

// --- One page ----------------------------------------------------------------------

PageFilter::PageFilter(store::TDM& dm, FilterPage page, store::View& table)
    : dm_(dm), page_(page), table_(table) {}

PageFilter::~PageFilter() {
    table_.onFilterRecord = nullptr;
}

bool PageFilter::Set() {
    if (!Prepare()) return false;
    store::TDM::ReapplyFilter(table_);
    active_ = true;
    return true;
}

bool PageFilter::Remove() {
    if (!dm_.PostAll()) return false;
    table_.SetFiltered(false);
    active_ = false;
    return true;
}

ProgramEventFilter::ProgramEventFilter(store::TDM& dm, store::View& table)
    : PageFilter(dm, FilterPage::PrEvents, table),
      settings_(ProgramEventFilterSettings::Defaults(dm.Clock())) {
    table.onFilterRecord = [this](store::View& row) { return test_(row); };
}

RoundFilter::RoundFilter(store::TDM& dm, FilterPage page, store::View& table)
    : PageFilter(dm, page, table), settings_(RoundFilterSettings::Defaults(dm.Clock())) {
    table.onFilterRecord = [this](store::View& row) { return test_(row); };
}

TouchFilter::TouchFilter(store::TDM& dm, FilterPage page, store::View& table,
                         store::View& roundCursor)
    : PageFilter(dm, page, table),
      settings_(TouchFilterSettings::Defaults(dm.Clock())),
      rounds_(roundCursor) {
    table.onFilterRecord = [this](store::View& row) { return test_(row); };
}

store::View& TouchFilter::EventListView() {
    switch (settings_.eventKind) {
        case EventKind::Incident:
            return dm_.TablePrBook();
        case EventKind::User:
            return dm_.TableUsers();
        case EventKind::Point:
            break;
    }
    return dm_.TablePoints();
}

bool TouchFilter::Prepare() {
    rounds_.Forget();
    if (!settings_.ComplexInForce()) return true;
    return BuildComplexFilter(dm_, settings_, Table());
}

// --- Selections ----------------------------------------------------------------------

// A chosen key of a page's settings as a lookup list of the refresh cascade:
// its list view is the one the dialog chooses it from.
class PageFilters::Selection : public store::LookupList {
public:
    Selection(QString kind, KeyChoice* key, std::function<store::View*()> list)
        : kind_(std::move(kind)), key_(key), list_(std::move(list)) {}
    Selection(QString kind, PathChoice* path, std::function<store::View*()> list)
        : kind_(std::move(kind)), path_(path), list_(std::move(list)) {}

    const QString& Kind() const { return kind_; }

    QVariant KeyValue() const override {
        if (key_ != nullptr) return *key_ ? QVariant(**key_) : QVariant();
        return *path_ ? QVariant(**path_) : QVariant();
    }
    void SetKeyValue(const QVariant& key) override {
        if (!key.isValid() || key.isNull()) return ClearKeyValue();
        if (key_ != nullptr)
            *key_ = key.toString();
        else
            *path_ = key.toInt();
    }
    void ClearKeyValue() override {
        if (key_ != nullptr)
            key_->reset();
        else
            path_->reset();
    }
    store::View* ListView() const override { return list_(); }

private:
    QString kind_;
    KeyChoice* key_ = nullptr;
    PathChoice* path_ = nullptr;
    std::function<store::View*()> list_;
};

// --- The five pages ------------------------------------------------------------------

PageFilters::PageFilters(store::TDM& dm)
    : dm_(dm),
      prEvents_(dm, dm.TablePrEvents()),
      kdEvents_(dm, FilterPage::KDEvents, dm.TableKDEvents()),
      kddEvents_(dm, FilterPage::KDDEvents, dm.TableKDREvents(), dm.TableKDFEvents()),
      kdaEvents_(dm, FilterPage::KDAEvents, dm.TableKDAEvents()),
      kddaEvents_(dm, FilterPage::KDDAEvents, dm.TableKDRAEvents(), dm.TableKDAFEvents()) {
    AddSelections();
}

PageFilters::~PageFilters() {
    if (rules_ != nullptr)
        for (const auto& s : selections_)
            rules_->UnregisterList(s.get());
}

void PageFilters::AddSelections() {
    store::TDM& dm = dm_;
    auto fixed = [](store::View& v) { return [&v] { return &v; }; };
    auto add = [this](const QString& kind, auto* choice, std::function<store::View*()> list) {
        selections_.push_back(std::make_unique<Selection>(kind, choice, std::move(list)));
    };
    add(Rules::ListRegister, &prEvents_.Settings().registrar, fixed(dm.TableRegisters()));
    for (RoundFilterSettings* s : {static_cast<RoundFilterSettings*>(&kdEvents_.Settings()),
                                   static_cast<RoundFilterSettings*>(&kddEvents_.Settings()),
                                   static_cast<RoundFilterSettings*>(&kdaEvents_.Settings()),
                                   static_cast<RoundFilterSettings*>(&kddaEvents_.Settings())}) {
        add(Rules::ListRegister, &s->registrar, fixed(dm.TableRegisters()));
        add(Rules::ListGuard, &s->guard, fixed(dm.TableGuards()));
        add(Rules::ListKD, &s->collector, fixed(dm.TableKDs()));
        add(Rules::ListPath, &s->path, fixed(dm.TablePathes()));
    }
    for (TouchFilter* t : {&kddEvents_, &kddaEvents_})
        add(Rules::ListEvent, &t->Settings().event, [t] { return &t->EventListView(); });
}

PageFilter& PageFilters::Page(FilterPage page) {
    switch (page) {
        case FilterPage::KDEvents:
            return kdEvents_;
        case FilterPage::KDDEvents:
            return kddEvents_;
        case FilterPage::KDAEvents:
            return kdaEvents_;
        case FilterPage::KDDAEvents:
            return kddaEvents_;
        case FilterPage::PrEvents:
            break;
    }
    return prEvents_;
}

PageFilter* PageFilters::PageOf(const store::View& table) {
    for (PageFilter* p : std::initializer_list<PageFilter*>{&prEvents_, &kdEvents_, &kddEvents_,
                                                            &kdaEvents_, &kddaEvents_})
        if (&p->Table() == &table) return p;
    return nullptr;
}

void PageFilters::RefreshLookup(Reference changed) {
    QStringList kinds;
    switch (changed) {
        case Reference::Users:
            kinds = {Rules::ListRegister, Rules::ListGuard, Rules::ListEvent};
            break;
        case Reference::Paths:
            kinds = {Rules::ListPath, Rules::ListEvent};
            break;
        case Reference::Collectors:
            kinds = {Rules::ListKD};
            break;
        case Reference::PointsAndIncidents:
            kinds = {Rules::ListEvent};
            break;
    }
    for (const auto& s : selections_)
        if (kinds.contains(s->Kind())) store::TDM::RefreshLookup(*s);
}

void PageFilters::ConnectRules(store::Rules& rules) {
    if (rules_ != nullptr)
        for (const auto& s : selections_)
            rules_->UnregisterList(s.get());
    rules_ = &rules;
    for (const auto& s : selections_)
        rules.RegisterList(s->Kind(), s.get());
}

}  // namespace kordex::filters
