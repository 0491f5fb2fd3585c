#pragma once

#include <QAbstractTableModel>
#include <QColor>
#include <QHash>
#include <QString>
#include <vector>

#include "store/View.h"

class QFontMetrics;

namespace kordex::app {

// One column of a grid: the view's field and the title over it.
struct GridColumn {
    QString field;
    QString title;
};

// A date-time value (days since 30.12.1899) in a display format of the
// catalogue: d/dd day, m/mm month (minutes right after an hour), yy/yyyy
// year, h/hh hour, n/nn minutes, s/ss seconds, z/zzz milliseconds; text in
// quotes and other characters as they stand. Letters in either case.
QString FormatDateTime(double days, const QString& format);

// How a field's value reads in a grid or an edit.
bool IsEmpty(const QVariant& v);
bool IsNumber(store::FieldType t);
bool IsDateTime(store::FieldType t);
// The field's date-time format, or the one of its type when it has none.
QString DateTimeFormatOf(const store::Field& f);
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

// A read-only table model over a view: the rows of the view's range in its
// order, the columns as given. Rows are read only when they are asked for,
// and the last rows read are kept until the view reports a change. While the
// view's controls are disabled the model shows what it showed before and
// reads nothing; the view's refresh at EnableControls brings it up to date.
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

    store::View& View() const { return view_; }
    const std::vector<GridColumn>& Columns() const { return columns_; }
    // The column that shows a field, or -1.
    int ColumnOf(const QString& field) const;
    // The model row of the view's current row, or -1 when there is none.
    int CurrentRow() const;

    // Width in characters: the field's display width, else its size (for
    // text), else what its type or its date-time format needs.
    int WidthChars(int column) const;
    // Width in pixels for a font: the characters at the font's average width,
    // or the title if that is wider, with the cell's margins.
    int WidthHint(int column, const QFontMetrics& metrics) const;

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
    QVariant ValueAt(int row, int column) const;
    void RowChanged(int row);

    store::View& view_;
    std::vector<GridColumn> columns_;
    std::vector<int> fieldIndex_;  // per column, in the view's fields
    int touchKindField_ = -1;
    int rows_ = 0;  // as of the last refresh
    int lastCurrent_ = -1;
    int capacity_;
    mutable QHash<int, CachedRow> cache_;
    mutable quint64 useClock_ = 0;
    mutable int reads_ = 0;
};

}  // namespace kordex::app
