#pragma once

#include <QPointer>
#include <QStyledItemDelegate>
#include <QTableView>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "DataWidgets.h"
#include "GridLook.h"
#include "GridModel.h"

class QKeyEvent;

namespace kordex::widgets {

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

// The in-place editors of a grid: a line edit for text and numbers (text cut
// to the field's size), a list of the lookup view's rows by name for a lookup
// cell, whose choice is written at once. Keys typed into an editor go to the
// grid first (DBGrid::EditorKeyPress).
class GridCellDelegate : public TouchCellDelegate {
    Q_OBJECT

public:
    using TouchCellDelegate::TouchCellDelegate;

    // The open editor, or null.
    QWidget* Editor() const { return editor_; }

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override;
    void setEditorData(QWidget* editor, const QModelIndex& index) const override;
    void setModelData(QWidget* editor, QAbstractItemModel* model,
                      const QModelIndex& index) const override;
    void destroyEditor(QWidget* editor, const QModelIndex& index) const override;

protected:
    bool eventFilter(QObject* object, QEvent* event) override;

private:
    mutable QPointer<QWidget> editor_;
};

// A grid over a view. The grid's current cell and the view's current row
// follow each other: a cell chosen moves the view, and the view moving (by any
// command) moves the current cell. Column widths come from the columns'
// fields; a width the user drags is kept across refreshes.
//
// A grid browses until it is switched into editing: then the cells of the
// row the view edits or inserts are edited in place, and entering another
// column of that row opens its editor. When the view stops editing (the row
// posted or cancelled by whatever means) the grid closes its editor and goes
// back to browsing. Tab and Shift+Tab move one column right or left while the
// view is editing and never move the focus out of the grid; Escape while the
// view is editing cancels the row.
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

    // --- Editing
    // In-place editing and Tab between the columns, switched together. On
    // only while the view is editing or inserting (a browsing view leaves the
    // grid browsing). Switched off, an open editor is closed, its value kept
    // while the view is still editing.
    void SetEditing(bool on);
    bool Editing() const { return editing_; }
    // Opens the in-place editor on the current cell; false when the cell
    // cannot be edited now.
    bool OpenEditor();
    // Closes the open editor, its value written into the row (commit) or
    // dropped. Nothing happens without an open editor.
    void CloseEditor(bool commit = true);
    // The open in-place editor, or null.
    QWidget* Editor() const;
    // A key pressed in the in-place editor: the key hook first, then the
    // grid's own keys (Tab, Escape); true consumes it.
    bool EditorKeyPress(QKeyEvent* event);

    // Sets every column to its default width: what its field asks for in the
    // column's font, or its title in the title font if that is wider.
    void ResetColumnWidths();
    int DefaultWidth(int column) const;
    // The widths the columns keep, by column: the field's or one dragged by
    // the operator. The last column shown also stretches to the grid's right
    // edge; that stretch is not kept.
    const std::vector<int>& ColumnWidths() const { return widths_; }

    // While on, the current cell is drawn in the active selection colours even
    // when the grid has no focus (the fast find turns it on over its grid).
    bool AlwaysShowSelection() const { return alwaysShowSelection_; }
    void SetAlwaysShowSelection(bool on);

    // --- Look. The operator moves columns by dragging their titles; each
    // column has its own colours and fonts for its cells and its title,
    // which start as the grid's.
    GridLook Look() const;
    // Applies a look: the grid's values, and those of every column it names
    // (by field), which then stand in the order given, before the others.
    void SetLook(const GridLook& look);
    // The grid's own background and title colours and fonts.
    ColorValue GridColor() const { return color_; }
    ColorValue FixedColor() const { return ClBtnFace; }
    GridFont CellFont() const { return ownFont_; }
    GridFont TitleFont() const { return ownTitleFont_; }
    QString Hint() const { return hint_; }
    // Every column's colours, or fonts, become the grid's.
    void DefaultColumnColors();
    void DefaultColumnFonts();
    // The look of a column (by model column) for its cells; null for none.
    const ColumnLook* ColumnStyle(int column) const;

    bool FindPanelOpen() const { return findPanelOpen_; }
    void SetFindPanelOpen(bool open);
    // A selected cell of a touch grid is drawn in its kind's colour while this holds.
    bool FocusedOrFindPanel() const { return findPanelOpen_ || hasFocus(); }

    // Asked first with every key pressed in the grid or its in-place editor;
    // true consumes the key.
    std::function<bool(QKeyEvent*)> keyHook;
    // Told of every key released in the grid.
    std::function<void(QKeyEvent*)> keyReleaseHook;

    // A grid never moves by a search of its own: a character typed in it is
    // the key hook's (the fast find), and moving the row would post or
    // refuse a pending one.
    void keyboardSearch(const QString& search) override;

signals:
    // The focus left the in-place editor for a control outside the grid.
    void editorLeft(Qt::FocusReason reason);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void changeEvent(QEvent* event) override;
    void rowsAboutToBeRemoved(const QModelIndex& parent, int start, int end) override;

private:
    void FollowView();
    void CurrentMoved(const QModelIndex& current);
    void ApplyWidths();
    void ApplyStyles();
    void SetGridColor(ColorValue color);
    int LastShownColumn() const;
    bool ViewEditing() const;
    void ViewStateChanged();
    // Tab, Shift+Tab and Escape; true when the key was the grid's.
    bool OwnKey(QKeyEvent* event);
    void MoveColumn(int delta);
    void CancelRow();

    std::unique_ptr<GridModel> model_;
    DataLink link_;
    GridCellDelegate* delegate_ = nullptr;
    std::vector<int> widths_;
    std::vector<ColumnLook> styles_;  // by model column: colours and fonts
    ColorValue color_ = ClWindow;
    GridFont ownFont_, ownTitleFont_;
    QString hint_;
    int column_ = 0;  // the current column, kept while the rows are read again
    bool following_ = false;
    bool applyingWidths_ = false;
    bool findPanelOpen_ = false;
    bool alwaysShowSelection_ = false;
    bool editing_ = false;
    bool passing_ = false;  // a key the hook has had, on its way on
};

}  // namespace kordex::widgets
