#include "GridModel.h"

#include <QFontMetrics>
#include <algorithm>
#include <exception>

#include "link/DateTime.h"
#include "store/EventViews.h"

namespace kordex::widgets {

namespace {

using store::FieldType;

const QString TouchKindFieldName = QStringLiteral("CTComment");
// Left and right margins of a cell, in pixels.
constexpr int CellMargins = 8;

QString Padded(int value, int width) {
    return QStringLiteral("%1").arg(value, width, 10, QLatin1Char('0'));
}

}  // namespace

std::vector<GridColumn> GridColumns(const store::PageColumns& columns) {
    std::vector<GridColumn> out;
    out.reserve(columns.size());
    for (const store::PageColumn& c : columns)
        out.push_back({c.field, c.title});
    return out;
}

bool IsEmpty(const QVariant& v) {
    return !v.isValid() || v.isNull();
}

bool IsNumber(FieldType t) {
    return t == FieldType::SmallInt || t == FieldType::Integer || t == FieldType::AutoInc;
}

bool IsDateTime(FieldType t) {
    return t == FieldType::DateTime || t == FieldType::Date || t == FieldType::Time;
}

QString DisplayText(const store::Field& f, const QVariant& v) {
    if (IsEmpty(v)) return {};
    if (f.type == FieldType::Boolean) return {};  // a check mark, no text
    if (IsNumber(f.type)) return QString::number(v.toLongLong());
    if (IsDateTime(f.type)) return FormatDateTime(v.toDouble(), f.DateTimeFormat());
    return v.toString();
}

QString FormatDateTime(double days, const QString& format) {
    const link::DateTime dt(days);
    const QDate date = dt.Date();
    const QTime time = dt.Time();
    QString out;
    bool afterHour = false;  // an "m" now means minutes
    for (int i = 0; i < format.size();) {
        const QChar c = format[i];
        if (c == QLatin1Char('\'') || c == QLatin1Char('"')) {
            const int end = format.indexOf(c, i + 1);
            const int stop = end < 0 ? format.size() : end;
            out += format.mid(i + 1, stop - i - 1);
            i = stop + 1;
            continue;
        }
        const QChar lower = c.toLower();
        int n = 1;
        while (i + n < format.size() && format[i + n].toLower() == lower)
            ++n;
        const bool two = n >= 2;
        switch (lower.unicode()) {
            case 'y':
                out += n >= 3 ? Padded(date.year(), 4) : Padded(date.year() % 100, 2);
                afterHour = false;
                break;
            case 'm':
                if (afterHour)
                    out += Padded(time.minute(), two ? 2 : 1);
                else
                    out += Padded(date.month(), two ? 2 : 1);
                afterHour = false;
                break;
            case 'd':
                out += Padded(date.day(), two ? 2 : 1);
                afterHour = false;
                break;
            case 'h':
                out += Padded(time.hour(), two ? 2 : 1);
                afterHour = true;
                break;
            case 'n':
                out += Padded(time.minute(), two ? 2 : 1);
                afterHour = false;
                break;
            case 's':
                out += Padded(time.second(), two ? 2 : 1);
                break;
            case 'z':
                out += Padded(time.msec(), n >= 3 ? 3 : 1);
                break;
            default:
                out += format.mid(i, n);
                break;
        }
        i += n;
    }
    return out;
}

QColor TouchKindQColor(int kind) {
    const store::Rgb c = store::TouchKindColor(kind);
    return QColor(c.r, c.g, c.b);
}

CellColors TouchCellColors(bool selected, bool focusedOrFindPanel, int kind) {
    const QColor colour = TouchKindQColor(kind);
    if (!selected || !focusedOrFindPanel) return {false, colour, QColor()};
    if (kind == store::TouchPoint) return {true, QColor(), QColor()};
    return {false, QColor(Qt::white), colour};
}

// --- The model -------------------------------------------------------------------

GridModel::GridModel(store::View& view, std::vector<GridColumn> columns, QObject* parent,
                     int cacheRows)
    : QAbstractTableModel(parent),
      view_(view),
      columns_(std::move(columns)),
      capacity_(std::max(cacheRows, 1)) {
    ResolveFields();
    rows_ = view_.RecordCount();
    pending_ = view_.IsOpen() && view_.PendingInsert();
    lastCurrent_ = CurrentRow();
    view_.AddListener(this);
}

GridModel::~GridModel() {
    view_.RemoveListener(this);
}

void GridModel::ResolveFields() {
    fieldIndex_.clear();
    keyIndex_.clear();
    for (const GridColumn& c : columns_) {
        const int i = view_.FieldIndex(c.field);
        if (i < 0)
            throw store::Error(
                QStringLiteral("%1: Field '%2' not found").arg(view_.Name(), c.field));
        fieldIndex_.push_back(i);
        const store::Field& f = view_.Fields()[i];
        keyIndex_.push_back(f.kind == store::FieldKind::Lookup ? view_.FieldIndex(f.keyField) : -1);
    }
    touchKindField_ = view_.FieldIndex(TouchKindFieldName);
}

int GridModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : rows_ + (pending_ ? 1 : 0);
}

int GridModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(columns_.size());
}

int GridModel::ColumnOf(const QString& field) const {
    for (size_t c = 0; c < columns_.size(); ++c)
        if (columns_[c].field.compare(field, Qt::CaseInsensitive) == 0) return static_cast<int>(c);
    return -1;
}

int GridModel::CurrentRow() const {
    if (!view_.IsOpen()) return -1;
    if (pending_ && view_.PendingInsert()) return rows_;
    const int row = view_.RecNo() - 1;
    return row >= 0 && row < rows_ ? row : -1;
}

const store::Field& GridModel::FieldOf(int column) const {
    return view_.Fields()[fieldIndex_.at(column)];
}

bool GridModel::ViewEditing() const {
    return view_.State() == store::ViewState::Edit || view_.State() == store::ViewState::Insert;
}

bool GridModel::LiveRow(int row) const {
    if (row < 0 || view_.ControlsDisabled()) return false;
    return row == PendingRow() || (row == CurrentRow() && view_.State() == store::ViewState::Edit);
}

const std::vector<QVariant>* GridModel::Row(int row) const {
    if (row < 0 || row >= rows_) return nullptr;
    auto it = cache_.find(row);
    if (it != cache_.end()) {
        it->used = ++useClock_;
        return &it->values;
    }
    // A frozen display reads nothing: the rows may be moving under it.
    if (!view_.IsOpen() || view_.ControlsDisabled()) return nullptr;
    std::vector<QVariant> values;
    try {
        values = view_.RowAt(row);
    } catch (const std::exception&) {
        return nullptr;  // a row that cannot be read shows empty
    } catch (const store::Abort&) {
        return nullptr;
    }
    ++reads_;
    if (values.empty()) return nullptr;
    if (cache_.size() >= capacity_) {
        auto oldest = std::min_element(
            cache_.begin(), cache_.end(),
            [](const CachedRow& a, const CachedRow& b) { return a.used < b.used; });
        cache_.erase(oldest);
    }
    it = cache_.insert(row, CachedRow{std::move(values), ++useClock_});
    return &it->values;
}

QVariant GridModel::FieldValue(int row, int fi) const {
    if (fi < 0) return {};
    // The row being edited or inserted shows the values being typed.
    if (LiveRow(row)) {
        try {
            return view_.Value(fi);
        } catch (const std::exception&) {
            return {};
        } catch (const store::Abort&) {
            return {};
        }
    }
    const std::vector<QVariant>* values = Row(row);
    if (values == nullptr || fi >= static_cast<int>(values->size())) return {};
    return (*values)[fi];
}

QVariant GridModel::ValueAt(int row, int column) const {
    return FieldValue(row, fieldIndex_[column]);
}

int GridModel::TouchKindAt(int row) const {
    if (touchKindField_ < 0) return 0;
    const QVariant k = FieldValue(row, touchKindField_);
    return IsEmpty(k) ? 0 : k.toInt();
}

QVariant GridModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount() || index.column() >= columnCount()) return {};
    const store::Field& f = view_.Fields()[fieldIndex_[index.column()]];
    switch (role) {
        case Qt::DisplayRole:
            return DisplayText(f, ValueAt(index.row(), index.column()));
        case Qt::EditRole:
            return ValueAt(index.row(), index.column());
        case Qt::CheckStateRole: {
            if (f.type != FieldType::Boolean) return {};
            const QVariant v = ValueAt(index.row(), index.column());
            // An empty boolean being edited can be checked: it shows unchecked.
            if (IsEmpty(v))
                return CellEditable(index) ? QVariant(static_cast<int>(Qt::Unchecked)) : QVariant();
            return static_cast<int>(v.toBool() ? Qt::Checked : Qt::Unchecked);
        }
        case Qt::TextAlignmentRole:
            if (IsNumber(f.type)) return static_cast<int>(Qt::AlignRight | Qt::AlignVCenter);
            if (f.type == FieldType::Boolean) return static_cast<int>(Qt::AlignCenter);
            return static_cast<int>(Qt::AlignLeft | Qt::AlignVCenter);
        case Qt::ForegroundRole:
            if (!IsTouchGrid()) return {};
            return TouchKindQColor(TouchKindAt(index.row()));
        case TouchKindRole:
            if (!IsTouchGrid()) return {};
            return TouchKindAt(index.row());
        case KeyRole:
            if (f.kind != store::FieldKind::Lookup) return {};
            return FieldValue(index.row(), keyIndex_[index.column()]);
        default:
            return {};
    }
}

QVariant GridModel::headerData(int section, Qt::Orientation orientation, int role) const {
    // The pending row is marked as the new row it is.
    if (orientation == Qt::Vertical && role == Qt::DisplayRole && section == PendingRow())
        return QStringLiteral("*");
    if (orientation != Qt::Horizontal || section < 0 || section >= columnCount())
        return QAbstractTableModel::headerData(section, orientation, role);
    const TitleLook* look =
        static_cast<size_t>(section) < titles_.size() ? &titles_[section] : nullptr;
    switch (role) {
        case Qt::DisplayRole:
            return columns_[section].title;
        case WidthCharsRole:
            return WidthChars(section);
        case Qt::FontRole:
            return look != nullptr ? QVariant(look->font) : QVariant();
        case Qt::BackgroundRole:
            return look != nullptr && look->background.isValid() ? QVariant(look->background)
                                                                 : QVariant();
        case Qt::ForegroundRole:
            return look != nullptr && look->text.isValid() ? QVariant(look->text) : QVariant();
        default:
            return {};
    }
}

Qt::ItemFlags GridModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::NoItemFlags;
    Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
    if (CellEditable(index))
        flags |= FieldOf(index.column()).type == FieldType::Boolean ? Qt::ItemIsUserCheckable
                                                                    : Qt::ItemIsEditable;
    return flags;
}

// --- Editing ---------------------------------------------------------------------

void GridModel::SetEditable(bool on) {
    if (editable_ == on) return;
    editable_ = on;
    RowChanged(CurrentRow());
}

bool GridModel::CellEditable(const QModelIndex& index) const {
    if (!editable_ || !index.isValid() || index.model() != this || index.column() >= columnCount())
        return false;
    if (!view_.IsOpen() || !ViewEditing() || view_.ControlsDisabled() ||
        index.row() != CurrentRow())
        return false;
    const store::Field& f = FieldOf(index.column());
    switch (f.kind) {
        case store::FieldKind::Calculated:
            return false;
        case store::FieldKind::Lookup: {
            const int k = keyIndex_[index.column()];
            if (k < 0 || f.lookupView == nullptr) return false;
            const store::Field& key = view_.Fields()[k];
            return key.dataIndex >= 0 && key.type != FieldType::AutoInc;
        }
        case store::FieldKind::Data:
            return f.type != FieldType::AutoInc && !IsDateTime(f.type);
    }
    return false;
}

bool GridModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (!CellEditable(index)) return false;
    const store::Field& f = FieldOf(index.column());
    int target = fieldIndex_[index.column()];
    QVariant v = value;
    if (f.kind == store::FieldKind::Lookup) {
        if (role != Qt::EditRole) return false;
        target = keyIndex_[index.column()];
    } else if (f.type == FieldType::Boolean) {
        if (role == Qt::CheckStateRole)
            v = value.toInt() == Qt::Checked;
        else if (role == Qt::EditRole)
            v = IsEmpty(value) ? QVariant() : QVariant(value.toBool());
        else
            return false;
    } else if (role != Qt::EditRole) {
        return false;
    } else if (IsNumber(f.type)) {
        const QString text = IsEmpty(value) ? QString() : value.toString().trimmed();
        if (text.isEmpty()) {
            v = QVariant();
        } else {
            bool ok = false;
            const qlonglong n = text.toLongLong(&ok);
            const qlonglong limit = f.type == FieldType::SmallInt ? 32767 : 2147483647;
            if (!ok || n > limit || n < -limit - 1) return false;
            v = n;
        }
    } else {
        v = IsEmpty(value) ? QVariant() : QVariant(value.toString());
    }
    try {
        view_.SetValue(target, v);  // the view's notification redraws the row
    } catch (const std::exception&) {
        return false;
    } catch (const store::Abort&) {
        return false;
    }
    return true;
}

int GridModel::WidthChars(int column) const {
    const store::Field& f = view_.Fields()[fieldIndex_[column]];
    if (f.displayWidth > 0) return f.displayWidth;
    switch (f.type) {
        case FieldType::String:
            return f.size;
        case FieldType::Boolean:
            return 5;
        case FieldType::SmallInt:
            return 6;
        case FieldType::Integer:
        case FieldType::AutoInc:
            return 11;
        case FieldType::DateTime:
        case FieldType::Date:
        case FieldType::Time:
            return static_cast<int>(FormatDateTime(0.0, f.DateTimeFormat()).size());
    }
    return f.size;
}

int GridModel::WidthHint(int column, const QFontMetrics& metrics) const {
    return WidthHint(column, metrics, metrics);
}

int GridModel::WidthHint(int column, const QFontMetrics& cells, const QFontMetrics& title) const {
    // Dates, times and keys are digits, which most fonts draw wider than
    // their average character.
    const int perChar =
        std::max(cells.averageCharWidth(), cells.horizontalAdvance(QLatin1Char('0')));
    const int text = WidthChars(column) * perChar;
    const int caption = title.horizontalAdvance(columns_[column].title);
    return std::max(text, caption) + CellMargins;
}

void GridModel::SetTitleLook(int column, const QFont& font, const QColor& background,
                             const QColor& text) {
    if (column < 0 || column >= columnCount()) return;
    titles_.resize(columns_.size());
    titles_[static_cast<size_t>(column)] = {font, background, text};
    emit headerDataChanged(Qt::Horizontal, column, column);
}

// --- Notifications ---------------------------------------------------------------

void GridModel::RowChanged(int row) {
    if (row < 0 || row >= rowCount() || columns_.empty()) return;
    emit dataChanged(index(row, 0), index(row, columnCount() - 1));
}

// The current row moved or changed: it is read again, and both the row left
// and the row reached are drawn again.
void GridModel::ViewDataChanged(store::View&, const QString&) {
    const int current = CurrentRow();
    cache_.remove(current);
    if (lastCurrent_ != current) RowChanged(lastCurrent_);
    RowChanged(current);
    lastCurrent_ = current;
}

// The pending row comes with the insert state and goes with it; the current
// row is drawn again, as what can be edited in it changed.
void GridModel::ViewStateChanged(store::View&) {
    SyncPending();
    RowChanged(CurrentRow());
}

void GridModel::SyncPending() {
    const bool pending = view_.IsOpen() && view_.PendingInsert();
    if (pending == pending_) return;
    changing_ = true;
    if (pending) {
        beginInsertRows({}, rows_, rows_);
        pending_ = true;
        endInsertRows();
    } else {
        beginRemoveRows({}, rows_, rows_);
        pending_ = false;
        endRemoveRows();
    }
    changing_ = false;
}

void GridModel::ViewRefreshed(store::View&) {
    beginResetModel();
    cache_.clear();
    rows_ = view_.IsOpen() ? view_.RecordCount() : 0;
    pending_ = view_.IsOpen() && view_.PendingInsert();
    lastCurrent_ = CurrentRow();
    endResetModel();
}

}  // namespace kordex::widgets
