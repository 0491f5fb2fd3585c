#pragma once

#include <QAbstractTableModel>
#include <QColor>
#include <QFont>
#include <QHash>
#include <QString>
#include <vector>

#include "store/PageColumns.h"
#include "store/View.h"

class QFontMetrics;

namespace kordex::widgets {

// One column of a grid: the view's field and the title over it.
struct GridColumn {
    QString field;
    QString title;
};

// The columns of one of the program's grids.
std::vector<GridColumn> GridColumns(const store::PageColumns& columns);

// A date-time value (days since 30.12.1899) in a display format of the
// catalogue: d/dd day, m/mm month (minutes right after an hour), yy/yyyy
// year, h/hh hour, n/nn minutes, s/ss seconds, z/zzz milliseconds; text in
// quotes and other characters as they stand. Letters in either case.
QString FormatDateTime(double days, const QString& format);

// How a field's value reads in a grid or an edit.
bool IsEmpty(const QVariant& v);
bool IsNumber(store::FieldType t);
bool IsDateTime(store::FieldType t);
// The text of a value: numbers plain, date-times in their format, booleans
// none (grids show a check mark), empty values empty.
QString DisplayText(const store::Field& f, const QVariant& v);

// The grid colour of a touch kind (an unknown kind is gray, as kind 0).
QColor TouchKindQColor(int kind);

// How a cell of a touch grid is coloured.
struct CellColors {
    // Draw it as any selected cell of any grid; text and background unused.
    bool selectionColors = false;
    QColor text;
    QColor background;  // invalid: the grid's normal, unselected background
};

// The colours of a touch-grid cell whose row has touch kind `kind`: the kind's
// colour as text; a selected cell of a grid that has the focus (or whose
// fast-find panel is open) in the kind's colour with white text, except a
// check point (kind 1), which keeps the normal selection colours; a selected
// cell of a grid without focus like an unselected one.
CellColors TouchCellColors(bool selected, bool focusedOrFindPanel, int kind);

// A table model over a view: the rows of the view's range in its order, the
// columns as given. Rows are read only when they are asked for, and the last
// rows read are kept until the view reports a change. While the view's
// controls are disabled the model shows what it showed before and reads
// nothing; the view's refresh at EnableControls brings it up to date.
//
// A row pending in the view (insert state) is one more row after the last
// one; it is the current row while it lasts, shows the view's values as they
// are set and goes when the row is posted (it then shows in its place) or
// cancelled. The row being edited or inserted shows what is typed.
//
// Editable (the grid's editing state): the cells of the current row can be
// edited while the view is editing or inserting; setData writes into the
// view's row. A lookup cell takes the key it looks up (its key field is
// written); booleans are checked; calculated fields, counters and date-time
// fields are not edited in place.
//
// Display: text by the field's type and display format; booleans as a check
// mark (no text; an empty boolean has none); numbers on the right. Over a
// touch view (one with CTComment) every cell carries its row's touch kind
// and the kind's colour as foreground.
//
// The view must outlive the model and keep the fields it had when the model
// was made.
class GridModel : public QAbstractTableModel, public store::ViewListener {
    Q_OBJECT

public:
    enum Role {
        // Header: the column's width in characters.
        WidthCharsRole = Qt::UserRole + 1,
        // Cells of a touch grid: the row's touch kind, 0..8 (empty reads 0).
        TouchKindRole,
        // Lookup cells: the value of the key field the lookup follows.
        KeyRole,
    };
    static constexpr int DefaultCacheRows = 128;

    // Throws store::Error when the view has no such field.
    GridModel(store::View& view, std::vector<GridColumn> columns, QObject* parent = nullptr,
              int cacheRows = DefaultCacheRows);
    ~GridModel() override;
    GridModel(const GridModel&) = delete;
    GridModel& operator=(const GridModel&) = delete;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    // Writes into the view's current row: EditRole (text for numbers and
    // strings, an empty value clears; the key for a lookup cell) or
    // CheckStateRole for booleans. False when the cell is not editable now
    // or the view refuses the value.
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;

    bool Editable() const { return editable_; }
    void SetEditable(bool on);
    // Whether a cell can be edited now.
    bool CellEditable(const QModelIndex& index) const;
    // The view's field shown in a column.
    const store::Field& FieldOf(int column) const;

    store::View& View() const { return view_; }
    const std::vector<GridColumn>& Columns() const { return columns_; }
    // The column that shows a field, or -1.
    int ColumnOf(const QString& field) const;
    // The model row of the view's current row (the pending row while there is
    // one), or -1 when there is none.
    int CurrentRow() const;
    // The model row of the view's pending row, or -1.
    int PendingRow() const { return pending_ ? rows_ : -1; }
    // Rows are being inserted or removed: the current cell may move on its own.
    bool Changing() const { return changing_; }

    // Width in characters: the field's display width, else its size (for
    // text), else what its type or its date-time format needs.
    int WidthChars(int column) const;
    // Width in pixels for a font: the characters at the font's average width,
    // or the title if that is wider, with the cell's margins.
    int WidthHint(int column, const QFontMetrics& metrics) const;
    // The same with the cells in one font and the title in another.
    int WidthHint(int column, const QFontMetrics& cells, const QFontMetrics& title) const;

    // How a column's title is drawn: font, background and text colour.
    void SetTitleLook(int column, const QFont& font, const QColor& background, const QColor& text);

    bool IsTouchGrid() const { return touchKindField_ >= 0; }
    // The touch kind of a row; 0 when it is empty or the grid is no touch grid.
    int TouchKindAt(int row) const;

    // Rows kept, and rows read from the view so far.
    int CachedRows() const { return static_cast<int>(cache_.size()); }
    int RowReads() const { return reads_; }

    // The view's notifications.
    void ViewDataChanged(store::View& view, const QString& field) override;
    void ViewStateChanged(store::View& view) override;
    void ViewRefreshed(store::View& view) override;

private:
    struct CachedRow {
        std::vector<QVariant> values;
        quint64 used = 0;
    };

    void ResolveFields();
    // The values of every field of a row, or null when it cannot be read now.
    const std::vector<QVariant>* Row(int row) const;
    // The value of a field (by view index) in a row.
    QVariant FieldValue(int row, int fieldIndex) const;
    QVariant ValueAt(int row, int column) const;
    // The row's values are the view's own (edited or pending), not stored ones.
    bool LiveRow(int row) const;
    bool ViewEditing() const;
    void RowChanged(int row);
    void SyncPending();

    store::View& view_;
    std::vector<GridColumn> columns_;
    std::vector<int> fieldIndex_;  // per column, in the view's fields
    std::vector<int> keyIndex_;    // per column: a lookup's key field, or -1
    int touchKindField_ = -1;
    int rows_ = 0;  // stored rows, as of the last refresh
    bool pending_ = false;
    bool editable_ = false;
    bool changing_ = false;
    int lastCurrent_ = -1;
    int capacity_;
    struct TitleLook {
        QFont font;
        QColor background, text;
    };
    std::vector<TitleLook> titles_;  // per column; empty: the header's own
    mutable QHash<int, CachedRow> cache_;
    mutable quint64 useClock_ = 0;
    mutable int reads_ = 0;
};

}  // namespace kordex::widgets
