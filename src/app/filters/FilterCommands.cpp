// The filter commands of the main window: the five dialogs, Set filter,
// Remove filter and the indicators of the filterable pages.
#include <QPointer>

#include "FilterDialogs.h"
#include "app/table/FastFind.h"
#include "app/window/MainWindow.h"
#include "filters/PageFilters.h"
#include "shell/ScopeExit.h"
#include "widgets/DBGrid.h"

namespace kordex::app {

using filters::FilterPage;

namespace {

struct PageNames {
    FilterPage page;
    const char* outer;
    const char* inner;
    const char* indicator;
};

const PageNames FilterPages[] = {
    {FilterPage::PrEvents, "TabSheetEvents", "TabSheetPrEvents", "PanelPrEvsFilter"},
    {FilterPage::KDEvents, "TabSheetEvents", "TabSheetKDEvents", "PanelKDEvsFilter"},
    {FilterPage::KDDEvents, "TabSheetEvents", "TabSheetKDDEvents", "PanelKDDEvsFilter"},
    {FilterPage::KDAEvents, "TabSheetAEvents", "TabSheetKDAEvents", "PanelKDAEvsFilter"},
    {FilterPage::KDDAEvents, "TabSheetAEvents", "TabSheetKDDAEvents", "PanelKDDAEvsFilter"},
};

}  // namespace

void TFormMain::MakeFilterDialogs() {
    filters::PageFilters& f = *filters_;
    filterDialogs_[FilterPage::PrEvents] =
        std::make_unique<TFormFilterPrEvs>(*dm_, *prompt_, f.PrEvents().Settings(), this);
    filterDialogs_[FilterPage::KDEvents] =
        std::make_unique<TFormFilterKDEvs>(*dm_, *prompt_, f.KDEvents().Settings(), this);
    filterDialogs_[FilterPage::KDDEvents] =
        std::make_unique<TFormFilterKDDEvs>(*dm_, *prompt_, f.KDDEvents().Settings(), this);
    filterDialogs_[FilterPage::KDAEvents] =
        std::make_unique<TFormFilterKDAEvs>(*dm_, *prompt_, f.KDAEvents().Settings(), this);
    filterDialogs_[FilterPage::KDDAEvents] =
        std::make_unique<TFormFilterKDDAEvs>(*dm_, *prompt_, f.KDDAEvents().Settings(), this);
    filterDialogs_[FilterPage::KDAEvents]->setObjectName(QStringLiteral("FormFilterKDAEvs"));
    filterDialogs_[FilterPage::KDDAEvents]->setObjectName(QStringLiteral("FormFilterKDDAEvs"));
    for (const PageNames& p : FilterPages) {
        auto* panel = findChild<FilterIndicator*>(QString::fromLatin1(p.indicator));
        filterPanels_[p.page] = panel;
        TFormFilter* dialog = filterDialogs_[p.page].get();
        if (panel != nullptr) panel->describe = [dialog] { return dialog->Summary(); };
    }
}

TFormFilter& TFormMain::FilterDialog(FilterPage page) const {
    return *filterDialogs_.at(page);
}

FilterIndicator* TFormMain::FilterIndicatorOf(FilterPage page) const {
    auto it = filterPanels_.find(page);
    return it == filterPanels_.end() ? nullptr : it->second;
}

std::optional<FilterPage> TFormMain::CurrentFilterPage() const {
    const QString outer = CurrentPageName();
    const QString inner = CurrentSubPageName();
    for (const PageNames& p : FilterPages)
        if (outer == QLatin1String(p.outer) && inner == QLatin1String(p.inner)) return p.page;
    return std::nullopt;
}

void TFormMain::ShowFilterIndicators() {
    for (auto& [page, panel] : filterPanels_)
        if (panel != nullptr) panel->setVisible(filters_->Page(page).Active());
}

void TFormMain::ActionSetFilterExecute() {
    TPanelFFind::CloseFastFind();
    // The grid takes the focus back however the dialog ends; the window
    // system may give the window its activation only later.
    const QPointer<widgets::DBGrid> grid = FocusedGrid();
    const auto refocus = shell::Finally([this, &grid] {
        if (grid == nullptr || !grid->isVisible()) return;
        activateWindow();
        grid->setFocus(Qt::ActiveWindowFocusReason);
    });
    const std::optional<FilterPage> page = CurrentFilterPage();
    if (page) {
        TFormFilter& dialog = FilterDialog(*page);
        // The dialog's controls hold the settings in force (OK writes them
        // into the page's record); Cancel puts the controls back as they were
        // and leaves the record alone.
        dialog.Snapshot(dm_->Buffer());
        if (dialog.exec(dialog) != QDialog::Accepted) {
            dialog.Restore(dm_->Buffer());
        } else {
            dialog.Store();
            // A complex build that was stopped or failed leaves the filter
            // and its indicator as they were. The build is a long operation:
            // nothing else starts meanwhile.
            const LongOperations::Hold busy(operations_);
            if (filters_->Page(*page).Set()) ShowFilterIndicators();
        }
    }
    ActionRefresh(true);
}

void TFormMain::ActionNoFilterExecute() {
    TPanelFFind::CloseFastFind();
    widgets::DBGrid* grid = FocusedGrid();
    if (grid == nullptr || grid->View() == nullptr) return;
    store::View& view = *grid->View();
    const std::optional<FilterPage> page = CurrentFilterPage();
    filters::PageFilter* filter = page ? &filters_->Page(*page) : nullptr;
    if (filter != nullptr && &filter->Table() == &view) {
        if (!filter->Remove()) return;
    } else {
        if (!dm_->PostAll()) return;
        view.SetFiltered(false);
        if (filter != nullptr) filter->SetActive(false);
    }
    ShowFilterIndicators();
    ActionRefresh(true);
}

}  // namespace kordex::app
