#include "DBGrid.h"

#include <QEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QTimer>
#include <algorithm>
#include <exception>

namespace kordex::app {

// --- TouchCellDelegate ------------------------------------------------------------

std::optional<CellColors> TouchCellDelegate::ColorsOf(const QStyleOptionViewItem& option,
                                                      const QModelIndex& index) const {
    const QVariant kind = index.data(GridModel::TouchKindRole);
    if (!kind.isValid()) return std::nullopt;
    const auto* grid = qobject_cast<const DBGrid*>(option.widget);
    const bool focused = grid != nullptr && grid->FocusedOrFindPanel();
    return TouchCellColors(option.state.testFlag(QStyle::State_Selected), focused, kind.toInt());
}

void TouchCellDelegate::initStyleOption(QStyleOptionViewItem* option,
                                        const QModelIndex& index) const {
    QStyledItemDelegate::initStyleOption(option, index);
    const auto* grid = qobject_cast<const DBGrid*>(option->widget);
    if (grid != nullptr && grid->AlwaysShowSelection() &&
        option->state.testFlag(QStyle::State_Selected))
        option->state |= QStyle::State_Active;
    const std::optional<CellColors> colors = ColorsOf(*option, index);
    if (!colors || colors->selectionColors) return;
    // Drawn as an unselected cell in the colours of the rule.
    option->state &= ~QStyle::State_Selected;
    option->palette.setColor(QPalette::Text, colors->text);
    if (colors->background.isValid()) option->backgroundBrush = colors->background;
}

// --- DBGrid -----------------------------------------------------------------------

DBGrid::DBGrid(QWidget* parent) : QTableView(parent), delegate_(new TouchCellDelegate(this)) {
    setItemDelegate(delegate_);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectItems);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
    connect(&link_, &DataLink::dataChanged, this, &DBGrid::FollowView);
    connect(&link_, &DataLink::refreshed, this, &DBGrid::FollowView);
    connect(horizontalHeader(), &QHeaderView::sectionResized, this,
            [this](int column, int, int size) {
                if (!applyingWidths_ && column >= 0 && column < static_cast<int>(widths_.size()))
                    widths_[column] = size;
            });
}

DBGrid::~DBGrid() {
    link_.SetView(nullptr);
    setModel(nullptr);
}

void DBGrid::SetGrid(store::View& view, std::vector<GridColumn> columns) {
    auto model = std::make_unique<GridModel>(view, std::move(columns));
    link_.SetView(nullptr);
    QItemSelectionModel* old = selectionModel();
    setModel(model.get());
    if (old != nullptr) {
        old->disconnect(this);
        old->deleteLater();
    }
    model_ = std::move(model);
    // The grid hears the view after its model, so the rows are up to date
    // when the current cell follows.
    link_.SetView(&view);
    connect(model_.get(), &QAbstractItemModel::modelReset, this, &DBGrid::ApplyWidths);
    connect(selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& current) { CurrentMoved(current); });
    ResetColumnWidths();
    FollowView();
}

void DBGrid::ResetColumnWidths() {
    widths_.clear();
    if (model_ == nullptr) return;
    for (int c = 0; c < model_->columnCount(); ++c)
        widths_.push_back(model_->WidthHint(c, fontMetrics()));
    ApplyWidths();
}

void DBGrid::ApplyWidths() {
    applyingWidths_ = true;
    for (size_t c = 0; c < widths_.size(); ++c)
        setColumnWidth(static_cast<int>(c), widths_[c]);
    applyingWidths_ = false;
}

void DBGrid::SetAlwaysShowSelection(bool on) {
    if (alwaysShowSelection_ == on) return;
    alwaysShowSelection_ = on;
    viewport()->update();
}

void DBGrid::SetFindPanelOpen(bool open) {
    if (findPanelOpen_ == open) return;
    findPanelOpen_ = open;
    viewport()->update();
}

void DBGrid::FollowView() {
    if (model_ == nullptr || model_->columnCount() == 0) return;
    const int row = model_->CurrentRow();
    const QModelIndex current = currentIndex();
    if (row < 0 || (current.isValid() && current.row() == row)) return;
    const int column =
        current.isValid() ? current.column() : std::min(column_, model_->columnCount() - 1);
    const QModelIndex target = model_->index(row, column);
    following_ = true;
    selectionModel()->setCurrentIndex(target, QItemSelectionModel::ClearAndSelect);
    following_ = false;
    scrollTo(target);
}

void DBGrid::CurrentMoved(const QModelIndex& current) {
    if (model_ == nullptr || !current.isValid()) return;
    column_ = current.column();
    if (following_) return;
    if (current.row() == model_->CurrentRow()) return;
    bool moved = false;
    try {
        model_->View().SetRecNo(current.row() + 1);
        moved = true;
    } catch (const std::exception&) {
    } catch (const store::Abort&) {
    }
    // A move the view refused (a pending row that cannot be posted) puts the
    // cell back on the view's row, once this change has run its course.
    if (!moved || model_->CurrentRow() != current.row())
        QTimer::singleShot(0, this, [this] {
            if (model_ == nullptr) return;
            const int row = model_->CurrentRow();
            if (row < 0) return;
            following_ = true;
            selectionModel()->setCurrentIndex(
                model_->index(row, std::max(currentIndex().column(), 0)),
                QItemSelectionModel::ClearAndSelect);
            following_ = false;
        });
}

void DBGrid::keyPressEvent(QKeyEvent* event) {
    if (keyHook && keyHook(event)) {
        event->accept();
        return;
    }
    QTableView::keyPressEvent(event);
}

void DBGrid::keyReleaseEvent(QKeyEvent* event) {
    if (keyReleaseHook) keyReleaseHook(event);
    QTableView::keyReleaseEvent(event);
}

void DBGrid::focusInEvent(QFocusEvent* event) {
    QTableView::focusInEvent(event);
    viewport()->update();
}

void DBGrid::focusOutEvent(QFocusEvent* event) {
    QTableView::focusOutEvent(event);
    viewport()->update();
}

void DBGrid::changeEvent(QEvent* event) {
    QTableView::changeEvent(event);
    if (event->type() == QEvent::FontChange) ResetColumnWidths();
}

}  // namespace kordex::app
