#pragma once

#include <QStyledItemDelegate>
#include <QTableView>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "DataWidgets.h"
#include "GridModel.h"

class QKeyEvent;

namespace kordex::app {

class DBGrid;

// Draws the cells of a touch grid in the colours of their touch kinds; cells
// of other grids are drawn as usual.
class TouchCellDelegate : public QStyledItemDelegate {
    Q_OBJECT

public:
    using QStyledItemDelegate::QStyledItemDelegate;

    // The colours of a cell, or nothing for a cell without a touch kind. The
    // grid drawing it (option.widget) tells whether it has the focus or its
    // fast-find panel open.
    std::optional<CellColors> ColorsOf(const QStyleOptionViewItem& option,
                                       const QModelIndex& index) const;

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override;
};

// A read-only grid over a view. The grid's current cell and the view's
// current row follow each other: a cell chosen moves the view, and the view
// moving (by any command) moves the current cell. Column widths come from the
// columns' fields; a width the user drags is kept across refreshes.
class DBGrid : public QTableView {
    Q_OBJECT

public:
    explicit DBGrid(QWidget* parent = nullptr);
    ~DBGrid() override;
    DBGrid(const DBGrid&) = delete;
    DBGrid& operator=(const DBGrid&) = delete;

    // Shows a view in these columns. Throws store::Error when the view has
    // no such field. The view must outlive the grid.
    void SetGrid(store::View& view, std::vector<GridColumn> columns);
    GridModel* Model() const { return model_.get(); }
    store::View* View() const { return link_.View(); }
    TouchCellDelegate* CellDelegate() const { return delegate_; }

    // Sets every column to the width its field asks for in the grid's font.
    void ResetColumnWidths();

    // While on, the current cell is drawn in the active selection colours even
    // when the grid has no focus (the fast find turns it on over its grid).
    bool AlwaysShowSelection() const { return alwaysShowSelection_; }
    void SetAlwaysShowSelection(bool on);

    bool FindPanelOpen() const { return findPanelOpen_; }
    void SetFindPanelOpen(bool open);
    // A selected cell of a touch grid is drawn in its kind's colour while this holds.
    bool FocusedOrFindPanel() const { return findPanelOpen_ || hasFocus(); }

    // Asked first with every key pressed in the grid; true consumes the key.
    std::function<bool(QKeyEvent*)> keyHook;
    // Told of every key released in the grid.
    std::function<void(QKeyEvent*)> keyReleaseHook;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void FollowView();
    void CurrentMoved(const QModelIndex& current);
    void ApplyWidths();

    std::unique_ptr<GridModel> model_;
    DataLink link_;
    TouchCellDelegate* delegate_ = nullptr;
    std::vector<int> widths_;
    int column_ = 0;  // the current column, kept while the rows are read again
    bool following_ = false;
    bool applyingWidths_ = false;
    bool findPanelOpen_ = false;
    bool alwaysShowSelection_ = false;
};

}  // namespace kordex::app
