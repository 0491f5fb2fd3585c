#include "DBGrid.h"

#include <QApplication>
#include <QComboBox>
#include <QCoreApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QHeaderView>
#include <QIntValidator>
#include <QKeyEvent>
#include <QLineEdit>
#include <QScopeGuard>
#include <QTimer>
#include <algorithm>
#include <exception>

namespace kordex::widgets {

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
    // The column's own font and colours.
    if (const ColumnLook* look = grid != nullptr ? grid->ColumnStyle(index.column()) : nullptr) {
        const QPalette system = QGuiApplication::palette();
        option->font = look->font.ToQFont(option->font);
        option->fontMetrics = QFontMetrics(option->font);
        // A column in the grid's colour lies on the grid's own background.
        if (look->color != grid->GridColor())
            option->backgroundBrush = ToQColor(look->color, system);
        option->palette.setColor(QPalette::Text, ToQColor(look->font.color, system));
    }
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

// --- GridCellDelegate -------------------------------------------------------------

namespace {

// The text a line editor starts with.
QString EditorText(const QModelIndex& index) {
    const QVariant v = index.data(Qt::EditRole);
    return IsEmpty(v) ? QString() : v.toString();
}

QVariant LookupKey(const QModelIndex& index) {
    const QVariant v = index.data(GridModel::KeyRole);
    return IsEmpty(v) ? QVariant() : v;
}

// The rows of a lookup's view, by the name it shows, with their keys.
void FillLookupList(QComboBox& combo, const store::Field& lookup) {
    store::View* lv = lookup.lookupView;
    if (lv == nullptr || !lv->IsOpen()) return;
    const store::Field* name = lv->FindField(lookup.resultField);
    const store::Field* key = lv->FindField(lookup.lookupKeyField);
    if (name == nullptr || key == nullptr || name->dataIndex < 0 || key->dataIndex < 0) return;
    const auto ni = static_cast<size_t>(name->dataIndex);
    const auto ki = static_cast<size_t>(key->dataIndex);
    lv->ForEachRow([&](const store::Values& row) {
        if (ni < row.size() && ki < row.size()) combo.addItem(row[ni].toString(), row[ki]);
    });
}

}  // namespace

QWidget* GridCellDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                                        const QModelIndex& index) const {
    const auto* model = qobject_cast<const GridModel*>(index.model());
    if (model == nullptr) return QStyledItemDelegate::createEditor(parent, option, index);
    const store::Field& f = model->FieldOf(index.column());
    QWidget* editor = nullptr;
    if (f.kind == store::FieldKind::Lookup) {
        auto* combo = new QComboBox(parent);
        FillLookupList(*combo, f);
        // A choice goes into the row at once, as the name shown follows the key.
        connect(combo, &QComboBox::activated, this,
                [this, combo] { emit const_cast<GridCellDelegate*>(this)->commitData(combo); });
        editor = combo;
    } else {
        auto* edit = new QLineEdit(parent);
        edit->setFrame(false);
        if (f.type == store::FieldType::String && f.size > 0) edit->setMaxLength(f.size);
        if (f.type == store::FieldType::SmallInt)
            edit->setValidator(new QIntValidator(-32768, 32767, edit));
        else if (IsNumber(f.type))
            edit->setValidator(new QIntValidator(edit));
        editor = edit;
    }
    editor_ = editor;
    return editor;
}

void GridCellDelegate::setEditorData(QWidget* editor, const QModelIndex& index) const {
    if (auto* combo = qobject_cast<QComboBox*>(editor)) {
        const QVariant key = LookupKey(index);
        combo->setCurrentIndex(key.isValid() ? combo->findData(key) : -1);
    } else if (auto* edit = qobject_cast<QLineEdit*>(editor)) {
        edit->setText(EditorText(index));
    } else {
        QStyledItemDelegate::setEditorData(editor, index);
    }
}

// Only a changed value is written, so that opening and leaving an editor does
// not mark the row as modified.
void GridCellDelegate::setModelData(QWidget* editor, QAbstractItemModel* model,
                                    const QModelIndex& index) const {
    if (auto* combo = qobject_cast<QComboBox*>(editor)) {
        const QVariant key = combo->currentIndex() < 0 ? QVariant() : combo->currentData();
        if (key != LookupKey(index)) model->setData(index, key, Qt::EditRole);
    } else if (auto* edit = qobject_cast<QLineEdit*>(editor)) {
        if (edit->text() != EditorText(index)) model->setData(index, edit->text(), Qt::EditRole);
    } else {
        QStyledItemDelegate::setModelData(editor, model, index);
    }
}

void GridCellDelegate::destroyEditor(QWidget* editor, const QModelIndex& index) const {
    if (editor_ == editor) editor_ = nullptr;
    QStyledItemDelegate::destroyEditor(editor, index);
}

bool GridCellDelegate::eventFilter(QObject* object, QEvent* event) {
    auto* grid = qobject_cast<DBGrid*>(parent());
    if (event->type() == QEvent::KeyPress) {
        if (grid != nullptr && grid->EditorKeyPress(static_cast<QKeyEvent*>(event))) return true;
    } else if (event->type() == QEvent::FocusOut && grid != nullptr) {
        // Leaving the editor for another control leaves the grid as well.
        QWidget* next = QApplication::focusWidget();
        if (next != grid && (next == nullptr || !grid->isAncestorOf(next))) {
            const QPointer<DBGrid> guard(grid);
            const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
            const bool handled = QStyledItemDelegate::eventFilter(object, event);
            if (guard != nullptr) emit guard->editorLeft(reason);
            return handled;
        }
    }
    return QStyledItemDelegate::eventFilter(object, event);
}

// --- DBGrid -----------------------------------------------------------------------

DBGrid::DBGrid(QWidget* parent) : QTableView(parent), delegate_(new GridCellDelegate(this)) {
    setItemDelegate(delegate_);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    // Tab comes to the grid (keyPressEvent) instead of moving the focus.
    setTabKeyNavigation(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectItems);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
    connect(&link_, &DataLink::dataChanged, this, &DBGrid::FollowView);
    connect(&link_, &DataLink::refreshed, this, &DBGrid::FollowView);
    connect(&link_, &DataLink::stateChanged, this, &DBGrid::ViewStateChanged);
    // The last column takes the width the others leave; what it is
    // stretched to is not a width of its own.
    horizontalHeader()->setStretchLastSection(true);
    // Columns move by their titles. After a move every column takes its own
    // width again, whatever stretch it had on the way; the last one stretches.
    horizontalHeader()->setSectionsMovable(true);
    connect(horizontalHeader(), &QHeaderView::sectionMoved, this, [this] { ApplyWidths(); });
    ownFont_ = GridFont::Of(font());
    ownTitleFont_ = GridFont::Of(horizontalHeader()->font());
    connect(horizontalHeader(), &QHeaderView::sectionResized, this,
            [this](int column, int, int size) {
                // A hidden column keeps the width it will show with again.
                if (!applyingWidths_ && column >= 0 && column < static_cast<int>(widths_.size()) &&
                    column != LastShownColumn() && !horizontalHeader()->isSectionHidden(column))
                    widths_[column] = size;
            });
}

DBGrid::~DBGrid() {
    link_.SetView(nullptr);
    setModel(nullptr);
}

void DBGrid::SetGrid(store::View& view, std::vector<GridColumn> columns) {
    auto model = std::make_unique<GridModel>(view, std::move(columns));
    SetEditing(false);
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
    // Rows read again under an open editor: its index is gone, so is its value.
    connect(model_.get(), &QAbstractItemModel::modelAboutToBeReset, this,
            [this] { CloseEditor(false); });
    connect(selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& current) { CurrentMoved(current); });
    styles_.clear();
    for (const GridColumn& c : model_->Columns()) {
        ColumnLook look;
        look.field = c.field;
        look.title = c.title;
        look.color = color_;
        look.font = ownFont_;
        look.titleColor = FixedColor();
        look.titleFont = ownTitleFont_;
        styles_.push_back(look);
    }
    ApplyStyles();
    ResetColumnWidths();
    FollowView();
}

int DBGrid::DefaultWidth(int column) const {
    if (model_ == nullptr || column < 0 || column >= model_->columnCount()) return 0;
    const auto c = static_cast<size_t>(column);
    const QFont cells = c < styles_.size() ? styles_[c].font.ToQFont(font()) : font();
    const QFont title = c < styles_.size()
                            ? styles_[c].titleFont.ToQFont(horizontalHeader()->font())
                            : horizontalHeader()->font();
    return model_->WidthHint(column, QFontMetrics(cells), QFontMetrics(title));
}

void DBGrid::ResetColumnWidths() {
    widths_.clear();
    if (model_ == nullptr) return;
    for (int c = 0; c < model_->columnCount(); ++c)
        widths_.push_back(DefaultWidth(c));
    ApplyWidths();
}

// --- Look ------------------------------------------------------------------------

const ColumnLook* DBGrid::ColumnStyle(int column) const {
    if (column < 0 || static_cast<size_t>(column) >= styles_.size()) return nullptr;
    return &styles_[static_cast<size_t>(column)];
}

GridLook DBGrid::Look() const {
    GridLook look;
    look.hint = hint_;
    look.lines = showGrid();
    look.color = color_;
    const QHeaderView* header = horizontalHeader();
    for (int visual = 0; visual < header->count(); ++visual) {
        const int logical = header->logicalIndex(visual);
        if (logical < 0 || static_cast<size_t>(logical) >= styles_.size()) continue;
        ColumnLook c = styles_[static_cast<size_t>(logical)];
        c.width = static_cast<size_t>(logical) < widths_.size()
                      ? widths_[static_cast<size_t>(logical)]
                      : 0;
        c.visible = !header->isSectionHidden(logical);
        look.columns.push_back(c);
    }
    return look;
}

void DBGrid::SetLook(const GridLook& look) {
    hint_ = look.hint;
    setShowGrid(look.lines);
    SetGridColor(look.color);
    if (model_ == nullptr) return;
    QHeaderView* header = horizontalHeader();
    int place = 0;
    for (const ColumnLook& c : look.columns) {
        const int logical = model_->ColumnOf(c.field);
        if (logical < 0) continue;
        const auto l = static_cast<size_t>(logical);
        ColumnLook& style = styles_[l];
        style.color = c.color;
        style.font = c.font;
        style.titleColor = c.titleColor;
        style.titleFont = c.titleFont;
        if (l < widths_.size()) widths_[l] = std::max(c.width, 0);
        setColumnHidden(logical, !c.visible);
        header->moveSection(header->visualIndex(logical), place++);
    }
    ApplyStyles();
    ApplyWidths();
}

void DBGrid::SetGridColor(ColorValue color) {
    color_ = color;
    QPalette p = palette();
    p.setColor(QPalette::Base, ToQColor(color, QGuiApplication::palette()));
    setPalette(p);
}

void DBGrid::ApplyStyles() {
    if (model_ == nullptr) return;
    const QPalette system = QGuiApplication::palette();
    const QFont titleBase = horizontalHeader()->font();
    for (size_t c = 0; c < styles_.size(); ++c)
        model_->SetTitleLook(static_cast<int>(c), styles_[c].titleFont.ToQFont(titleBase),
                             ToQColor(styles_[c].titleColor, system),
                             ToQColor(styles_[c].titleFont.color, system));
    viewport()->update();
}

void DBGrid::DefaultColumnColors() {
    for (ColumnLook& c : styles_) {
        c.color = color_;
        c.titleColor = FixedColor();
    }
    ApplyStyles();
}

void DBGrid::DefaultColumnFonts() {
    for (ColumnLook& c : styles_) {
        c.font = ownFont_;
        c.titleFont = ownTitleFont_;
    }
    ApplyStyles();
}

int DBGrid::LastShownColumn() const {
    const QHeaderView* header = horizontalHeader();
    for (int visual = header->count() - 1; visual >= 0; --visual) {
        const int logical = header->logicalIndex(visual);
        if (!header->isSectionHidden(logical)) return logical;
    }
    return -1;
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
    // Rows coming or going move the cell by themselves; the view follows nothing.
    if (following_ || model_->Changing()) return;
    if (current.row() == model_->CurrentRow()) {
        // Another column of the row being edited: its editor opens.
        if (editing_ && ViewEditing()) OpenEditor();
        return;
    }
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

// --- Editing ---------------------------------------------------------------------

bool DBGrid::ViewEditing() const {
    return link_.Editing();
}

void DBGrid::SetEditing(bool on) {
    // A grid edits only a row that is being edited or inserted.
    on = on && model_ != nullptr && ViewEditing();
    if (!on) CloseEditor(ViewEditing());
    editing_ = on;
    if (model_ != nullptr) model_->SetEditable(on);
    setEditTriggers(on ? QAbstractItemView::SelectedClicked | QAbstractItemView::EditKeyPressed |
                             QAbstractItemView::AnyKeyPressed
                       : QAbstractItemView::NoEditTriggers);
}

bool DBGrid::OpenEditor() {
    if (model_ == nullptr || !editing_) return false;
    const QModelIndex index = currentIndex();
    if (!index.isValid() || !model_->CellEditable(index)) return false;
    if (Editor() != nullptr) return true;
    return edit(index, QAbstractItemView::AllEditTriggers, nullptr);
}

QWidget* DBGrid::Editor() const {
    QWidget* editor = delegate_->Editor();
    return editor != nullptr && state() == QAbstractItemView::EditingState ? editor : nullptr;
}

void DBGrid::CloseEditor(bool commit) {
    QWidget* editor = Editor();
    if (editor == nullptr) return;
    if (commit && ViewEditing()) commitData(editor);
    closeEditor(editor, QAbstractItemDelegate::NoHint);
}

// The row was posted or cancelled, here or by any other way: the grid browses.
void DBGrid::ViewStateChanged() {
    if (editing_ && !ViewEditing()) SetEditing(false);
    FollowView();
}

void DBGrid::rowsAboutToBeRemoved(const QModelIndex& parent, int start, int end) {
    const int row = currentIndex().row();
    if (Editor() != nullptr && row >= start && row <= end) CloseEditor(false);
    QTableView::rowsAboutToBeRemoved(parent, start, end);
}

// One column to the right or left as the columns stand, hidden ones passed over.
void DBGrid::MoveColumn(int delta) {
    if (model_ == nullptr) return;
    const QModelIndex current = currentIndex();
    if (!current.isValid()) return;
    const QHeaderView* header = horizontalHeader();
    for (int visual = header->visualIndex(current.column()) + delta;
         visual >= 0 && visual < header->count(); visual += delta) {
        const int logical = header->logicalIndex(visual);
        if (header->isSectionHidden(logical)) continue;
        setCurrentIndex(model_->index(current.row(), logical));
        return;
    }
}

void DBGrid::CancelRow() {
    CloseEditor(false);
    try {
        link_.View()->Cancel();
    } catch (const std::exception&) {
    } catch (const store::Abort&) {
    }
}

bool DBGrid::OwnKey(QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_Tab:
        case Qt::Key_Backtab:
            // Tab never moves the focus out of the grid.
            if (ViewEditing())
                MoveColumn(event->key() == Qt::Key_Backtab ||
                                   event->modifiers().testFlag(Qt::ShiftModifier)
                               ? -1
                               : 1);
            return true;
        case Qt::Key_Escape:
            if (!ViewEditing()) return false;
            CancelRow();
            return true;
        default:
            return false;
    }
}

bool DBGrid::EditorKeyPress(QKeyEvent* event) {
    if (!passing_ && keyHook && keyHook(event)) return true;
    return OwnKey(event);
}

void DBGrid::keyPressEvent(QKeyEvent* event) {
    if (!passing_ && keyHook && keyHook(event)) {
        event->accept();
        return;
    }
    if (OwnKey(event)) {
        event->accept();
        return;
    }
    const bool passing = passing_;
    passing_ = true;
    const auto restore = qScopeGuard([this, passing] { passing_ = passing; });
    QWidget* editor = Editor();
    const QString text = event->text();
    const bool printable = !text.isEmpty() && std::all_of(text.begin(), text.end(),
                                                          [](QChar c) { return c.isPrint(); });
    if (editor != nullptr && !passing && printable) {
        // A character handed to the grid (the key hook's replacement of one
        // typed) belongs to the open editor. Enter and the like come back from
        // editors that leave them to the grid, and stay here.
        QCoreApplication::sendEvent(editor, event);
        event->accept();
        return;
    }
    // An editor opened by this key gets it without the hook asking again.
    QTableView::keyPressEvent(event);
}

void DBGrid::keyboardSearch(const QString&) {}

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
    if (event->type() == QEvent::FontChange) {
        // Columns in the grid's font follow it.
        const GridFont old = ownFont_;
        ownFont_ = GridFont::Of(font(), old.color);
        for (ColumnLook& c : styles_)
            if (c.font == old) c.font = ownFont_;
        ResetColumnWidths();
    }
}

}  // namespace kordex::widgets
