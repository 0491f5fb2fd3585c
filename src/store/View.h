#pragma once

#include <QHash>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "Engine.h"
#include "Schema.h"

namespace kordex::store {

class View;

// The engine's text for an operation that needs a row on an empty view.
extern const QString EmptyDataSetMessage;

enum class FieldKind { Data, Lookup, Calculated };

// A field of a view: a data field of the table, or one the view adds.
struct Field {
    QString name;
    FieldType type = FieldType::String;
    int size = 0;
    FieldKind kind = FieldKind::Data;
    int dataIndex = -1;  // position among the table's fields, for data fields
    // Lookup: the Name (resultField) of the row of lookupView whose
    // lookupKeyField equals this view's keyField.
    View* lookupView = nullptr;
    QString keyField, lookupKeyField, resultField;
    // Display: column width in characters (0: the field size) and the
    // date-time format ("dd.mm.yyyy hh:mm:ss" style) when there is one.
    int displayWidth = 0;
    QString displayFormat;
    // The format a date-time field is shown in: its own, or its type's.
    QString DateTimeFormat() const {
        if (!displayFormat.isEmpty()) return displayFormat;
        switch (type) {
            case FieldType::Date:
                return QStringLiteral("dd.mm.yyyy");
            case FieldType::Time:
                return QStringLiteral("hh:mm:ss");
            default:
                return QStringLiteral("dd.mm.yyyy hh:mm:ss");
        }
    }
    // [data module] The field's own component name where it differs from the
    // field name: the report copies name theirs "Field0", "Field1", ...
    QString componentName;
};

enum class ViewState { Inactive, Browse, Edit, Insert };

// What a view tells the controls bound to it.
class ViewListener {
public:
    virtual ~ViewListener() = default;
    // The current row moved or a value of it changed (field empty: the whole row).
    virtual void ViewDataChanged(View&, const QString& field) { (void)field; }
    virtual void ViewStateChanged(View&) {}
    // Rows came or went: everything shown must be read again.
    virtual void ViewRefreshed(View&) {}
};

struct Bookmark {
    int64_t rowid = -1;
    bool IsValid() const { return rowid >= 0; }
};

enum class PostErrorAction { Fail, Abort, Retry };

// A cursor over one table: its own order, filter, master range, added
// fields, state with one pending row, and bookmarks. It keeps the ordered row
// ids of its range and reads rows on demand, so a view over a million rows
// moves and counts without reading them all each time.
//
// Rules attach to its handler slots; a handler refuses an operation by
// throwing Abort (after showing its own message, if any).
class View {
public:
    View(QString name, QString databaseAlias, TableDef def);
    ~View();
    View(const View&) = delete;
    View& operator=(const View&) = delete;

    const QString& Name() const { return name_; }
    const QString& DatabaseAlias() const { return alias_; }
    void SetDatabaseAlias(const QString& alias) { alias_ = alias; }
    const TableDef& Def() const { return def_; }
    void SetDef(TableDef def);
    Database* Db() const { return db_; }
    Table* PhysicalTable() const { return table_; }
    int Tag() const { return tag_; }
    void SetTag(int tag) { tag_ = tag; }

    // --- Fields
    const std::vector<Field>& Fields() const { return fields_; }
    int FieldIndex(const QString& name) const;
    const Field* FindField(const QString& name) const;
    Field& FieldRef(const QString& name);
    void AddLookupField(const QString& name, int size, const QString& keyField, View* lookupView,
                        const QString& lookupKeyField, const QString& resultField);
    void AddCalculatedField(const QString& name, FieldType type, int size = 0);
    // Replaces every field (used by report copies).
    void SetFields(std::vector<Field> fields);

    // --- Order, filter, master
    // Order by the fields of an index (by name) or by field names "A;B".
    void SetIndexName(const QString& index);
    void SetIndexFieldNames(const QString& fields);
    const QString& IndexName() const { return indexName_; }
    QStringList OrderFields() const { return order_; }

    // Filter expressions of the forms Field=True, Field=False, Field='text',
    // Field=number, joined by "and", with or without parentheses.
    void SetFilterText(const QString& text);
    const QString& FilterText() const { return filterText_; }
    void SetFiltered(bool on);
    bool Filtered() const { return filtered_; }
    // Asked for every row while filtering is on; reads the row through Value().
    std::function<bool(View&)> onFilterRecord;

    // The view shows only the rows whose detail fields equal the master's
    // current row, and new rows take those values.
    void SetMaster(View* master, const QStringList& masterFields, const QStringList& detailFields);
    View* Master() const { return master_; }
    const QStringList& MasterFields() const { return masterFields_; }
    const QStringList& DetailFields() const { return detailFields_; }

    // --- Handlers
    std::function<void(View&)> beforeEdit, beforeInsert, beforePost, afterPost;
    std::function<void(View&)> beforeDelete, afterDelete, afterCancel;
    std::function<void(View&, const Error&, PostErrorAction&)> onPostError;
    std::function<void(View&)> onCalcFields;

    // --- Lifecycle
    void Open(Database& db);
    void Close();
    bool IsOpen() const { return state_ != ViewState::Inactive; }
    ViewState State() const { return state_; }
    // Reads the range again, staying on the current row if it is still there.
    void Refresh();

    // --- Moving
    void First();
    void Last();
    void Next();
    void Prior();
    int MoveBy(int distance);
    bool Bof() const { return bof_; }
    bool Eof() const { return eof_; }
    bool IsEmpty() const { return ids_.empty() && state_ != ViewState::Insert; }
    int RecordCount() const { return static_cast<int>(ids_.size()); }
    // A new row is pending (insert state). It is not in the range until it is
    // posted; rows are appended, so a grid shows it after the last row, with
    // the values of Value() (lookups and calculated fields as well).
    bool PendingInsert() const { return state_ == ViewState::Insert; }
    // The 0-based place a grid shows the pending row at, or -1 without one.
    int PendingPosition() const { return PendingInsert() ? RecordCount() : -1; }
    // 1-based number of the current row; 0 when there is none.
    int RecNo() const { return pos_ >= 0 ? pos_ + 1 : 0; }
    void SetRecNo(int recNo);
    // First row (in view order) whose field equals the value exactly.
    bool Locate(const QString& field, const QVariant& value);
    bool Locate(const QStringList& fields, const std::vector<QVariant>& values);
    // The value of resultField of the first row whose keyField equals key,
    // without moving the cursor.
    QVariant Lookup(const QString& keyField, const QVariant& key, const QString& resultField);

    Bookmark GetBookmark() const;
    bool BookmarkValid(const Bookmark& b) const;
    // False when the row is no longer in the view.
    bool GotoBookmark(const Bookmark& b);

    // --- Values of the current row (or of the row being filtered or calculated)
    QVariant Value(const QString& field) const;
    QVariant Value(int fieldIndex) const;
    QString Text(const QString& field) const { return Value(field).toString(); }
    bool IsNull(const QString& field) const;
    void SetValue(const QString& field, const QVariant& value);
    void SetValue(int fieldIndex, const QVariant& value);
    void Clear(const QString& field) { SetValue(field, QVariant()); }
    // Values of every field of the row at a 0-based position, with lookups and
    // calculated fields; for grids. Empty when out of range.
    std::vector<QVariant> RowAt(int position);
    // Calls fn with the data fields (in table order) of every row of the range,
    // in view order, without moving the cursor.
    void ForEachRow(const std::function<void(const Values&)>& fn);
    // Calls fn with the values of every field (lookups and calculated fields
    // too, as RowAt gives them) of every row of the range, in view order,
    // without moving the cursor, until fn returns false. Reads the table in
    // one pass where the view's order allows it, so that a million rows go
    // by without a look-up each.
    void ForEachFullRow(const std::function<bool(const std::vector<QVariant>&)>& fn);
    int64_t CurrentRowId() const;

    // --- Editing
    void Edit();
    void Insert();
    void Append() { Insert(); }
    void Post();
    void Cancel();
    void Delete();
    bool Modified() const { return modified_; }
    // Deletes every row of the physical table.
    void EmptyTable();

    // --- Controls
    void DisableControls();
    void EnableControls();
    bool ControlsDisabled() const { return disabled_ > 0; }
    void AddListener(ViewListener* l);
    void RemoveListener(ViewListener* l);

    // Changes whenever the rows of the range change (not on cursor moves);
    // lookups into this view use it to know when their cache is stale.
    uint64_t ContentVersion() const { return contentVersion_; }

private:
    struct Record {
        int64_t rowid = -1;
        std::vector<QVariant> values;  // every field of the view
        bool loaded = false;
    };

    void RequireOpen() const;
    void RequireRows() const;
    void BuildRange();
    void BuildOrder();
    bool RangeCondition(QString& where, std::vector<QVariant>& binds) const;
    bool PassesCallback(Record& r);
    void LoadRecord(int64_t rowid, Record& r);
    void Complete(Record& r);  // lookups and calculated fields
    const Record& Current() const;
    void GoTo(int position);
    void CheckBrowse();  // post or cancel a pending edit before moving
    int PlaceOf(const Values& data, int64_t rowid) const;
    int CompareRows(const Values& a, int64_t ida, const Values& b, int64_t idb) const;
    bool InRange(Record& r);
    void DataChanged(const QString& field = {});
    void StateChanged();
    void Refreshed();
    void MasterMoved();
    std::vector<ViewListener*> Listeners() const;
    bool Listening(ViewListener* l) const;
    void NotifyDetails();

    QString name_, alias_;
    TableDef def_;
    int tag_ = 0;
    Database* db_ = nullptr;
    Table* table_ = nullptr;
    std::vector<Field> fields_;
    QString indexName_;
    QStringList order_;
    std::vector<int> orderData_;   // data positions of the order fields
    std::vector<bool> orderFold_;  // compare ignoring case
    QString orderSql_;
    QString filterText_;
    QString filterSql_;
    std::vector<QVariant> filterBinds_;
    bool filtered_ = false;
    View* master_ = nullptr;
    QStringList masterFields_, detailFields_;
    std::vector<View*> details_;

    ViewState state_ = ViewState::Inactive;
    std::vector<int64_t> ids_;
    int pos_ = -1;
    bool bof_ = true, eof_ = true;
    mutable Record current_;
    Record edit_;
    bool modified_ = false;
    Record* active_ = nullptr;  // the row being filtered or calculated
    bool calculating_ = false;

    int disabled_ = 0;
    bool pendingRefresh_ = false;
    std::vector<ViewListener*> listeners_;
    uint64_t contentVersion_ = 1;

    struct LookupCache {
        uint64_t version = 0;
        QHash<QString, QVariant> map;
    };
    mutable std::vector<LookupCache> lookupCaches_;  // one per field
};

// Keeps a view's controls disabled for a scope, enabling them again however it
// ends. The controls catching up cannot fail the scope: a failure to read the
// view again shows when they next read it.
class ControlsOff {
public:
    explicit ControlsOff(View& v) : v_(v) { v_.DisableControls(); }
    ~ControlsOff() {
        try {
            v_.EnableControls();
        } catch (...) {
        }
    }
    ControlsOff(const ControlsOff&) = delete;
    ControlsOff& operator=(const ControlsOff&) = delete;

private:
    View& v_;
};

}  // namespace kordex::store
