#include "View.h"

#include <algorithm>
#include <numeric>
#include <unordered_set>

namespace kordex::store {

const QString EmptyDataSetMessage =
    QStringLiteral("Cannot perform this operation on an empty dataset");

namespace {

QString Quote(const QString& name) {
    return QLatin1Char('"') + name + QLatin1Char('"');
}

// Splits a filter expression at the "and"s that stand outside quotes.
QStringList SplitAnd(const QString& text) {
    QStringList terms;
    QString cur;
    bool quoted = false;
    for (int i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == QLatin1Char('\'')) quoted = !quoted;
        if (!quoted && c.isSpace()) {
            const QString rest = text.mid(i + 1, 4);
            if (rest.size() >= 4 &&
                rest.left(3).compare(QLatin1String("and"), Qt::CaseInsensitive) == 0 &&
                rest[3].isSpace()) {
                terms << cur;
                cur.clear();
                i += 4;
                continue;
            }
        }
        cur += c;
    }
    terms << cur;
    return terms;
}

QString StripParens(QString t) {
    t = t.trimmed();
    while (t.startsWith(QLatin1Char('(')) && t.endsWith(QLatin1Char(')')))
        t = t.mid(1, t.size() - 2).trimmed();
    return t;
}

int CompareValues(const QVariant& a, const QVariant& b, bool fold) {
    const bool an = !a.isValid() || a.isNull(), bn = !b.isValid() || b.isNull();
    if (an || bn) return an == bn ? 0 : (an ? -1 : 1);  // empty values first
    switch (a.typeId()) {
        case QMetaType::QString:
            return a.toString().compare(b.toString(),
                                        fold ? Qt::CaseInsensitive : Qt::CaseSensitive);
        case QMetaType::Double: {
            const double x = a.toDouble(), y = b.toDouble();
            return x < y ? -1 : (x > y ? 1 : 0);
        }
        default: {
            const qlonglong x = a.toLongLong(), y = b.toLongLong();
            return x < y ? -1 : (x > y ? 1 : 0);
        }
    }
}

QVariant Convert(const Field& f, const QVariant& v) {
    if (!v.isValid() || v.isNull()) return {};
    switch (f.type) {
        case FieldType::String: {
            QString s = v.toString();
            if (f.size > 0 && s.size() > f.size) s.truncate(f.size);
            if (s.isEmpty()) return {};
            return s;
        }
        case FieldType::Boolean:
            return v.toBool();
        case FieldType::SmallInt:
        case FieldType::Integer:
        case FieldType::AutoInc:
            return v.toInt();
        case FieldType::DateTime:
        case FieldType::Date:
        case FieldType::Time:
            return v.toDouble();
    }
    return v;
}

}  // namespace

View::View(QString name, QString databaseAlias, TableDef def)
    : name_(std::move(name)), alias_(std::move(databaseAlias)) {
    SetDef(std::move(def));
}

View::~View() {
    if (master_ != nullptr) {
        auto& d = master_->details_;
        d.erase(std::remove(d.begin(), d.end(), this), d.end());
    }
    for (View* d : details_)
        d->master_ = nullptr;
    Close();
}

void View::SetDef(TableDef def) {
    def_ = std::move(def);
    fields_.clear();
    for (size_t i = 0; i < def_.fields.size(); ++i) {
        Field f;
        f.name = def_.fields[i].name;
        f.type = def_.fields[i].type;
        f.size = def_.fields[i].size;
        f.dataIndex = static_cast<int>(i);
        fields_.push_back(f);
    }
    lookupCaches_.assign(fields_.size(), {});
    if (const IndexDef* p = def_.Primary()) {
        indexName_ = p->name;
        order_ = p->fields;
    } else {
        indexName_.clear();
        order_.clear();
    }
}

void View::SetFields(std::vector<Field> fields) {
    fields_ = std::move(fields);
    lookupCaches_.assign(fields_.size(), {});
}

int View::FieldIndex(const QString& name) const {
    // The names the code asks for are mostly spelled as declared: an exact
    // match first is far cheaper than comparing every name ignoring case.
    for (size_t i = 0; i < fields_.size(); ++i)
        if (fields_[i].name == name) return static_cast<int>(i);
    for (size_t i = 0; i < fields_.size(); ++i)
        if (fields_[i].name.compare(name, Qt::CaseInsensitive) == 0) return static_cast<int>(i);
    return -1;
}

const Field* View::FindField(const QString& name) const {
    const int i = FieldIndex(name);
    return i < 0 ? nullptr : &fields_[i];
}

Field& View::FieldRef(const QString& name) {
    const int i = FieldIndex(name);
    if (i < 0) throw Error(QStringLiteral("%1: Field '%2' not found").arg(name_, name));
    return fields_[i];
}

void View::AddLookupField(const QString& name, int size, const QString& keyField, View* lookupView,
                          const QString& lookupKeyField, const QString& resultField) {
    Field f;
    f.name = name;
    f.type = FieldType::String;
    f.size = size;
    f.kind = FieldKind::Lookup;
    f.lookupView = lookupView;
    f.keyField = keyField;
    f.lookupKeyField = lookupKeyField;
    f.resultField = resultField;
    fields_.push_back(f);
    lookupCaches_.emplace_back();
}

void View::AddCalculatedField(const QString& name, FieldType type, int size) {
    Field f;
    f.name = name;
    f.type = type;
    f.size = size;
    f.kind = FieldKind::Calculated;
    fields_.push_back(f);
    lookupCaches_.emplace_back();
}

// --- Order, filter, master ---------------------------------------------------

void View::SetIndexName(const QString& index) {
    const IndexDef* ix = def_.Index(index);
    if (ix == nullptr) throw Error(QStringLiteral("%1: Index '%2' not found").arg(name_, index));
    indexName_ = ix->name;
    order_ = ix->fields;
    if (IsOpen()) Refresh();
}

void View::SetIndexFieldNames(const QString& fields) {
    order_ = fields.split(QLatin1Char(';'), Qt::SkipEmptyParts);
    indexName_.clear();
    for (const auto& ix : def_.indexes)
        if (ix.fields.join(QLatin1Char(';'))
                .compare(order_.join(QLatin1Char(';')), Qt::CaseInsensitive) == 0)
            indexName_ = ix.name;
    if (IsOpen()) Refresh();
}

void View::BuildOrder() {
    orderData_.clear();
    orderFold_.clear();
    const IndexDef* ix = indexName_.isEmpty() ? nullptr : def_.Index(indexName_);
    QStringList parts;
    for (const QString& f : order_) {
        const int i = def_.FieldIndex(f);
        if (i < 0) throw Error(QStringLiteral("%1: Field '%2' not found").arg(name_, f));
        const bool fold =
            ix != nullptr && ix->caseInsensitive && def_.fields[i].type == FieldType::String;
        orderData_.push_back(i);
        orderFold_.push_back(fold);
        parts << Quote(def_.fields[i].name) +
                     (fold ? QStringLiteral(" COLLATE NOCASE") : QString());
    }
    parts << QStringLiteral("rowid");
    orderSql_ = parts.join(QLatin1Char(','));
}

void View::SetFilterText(const QString& text) {
    filterText_ = text;
    filterSql_.clear();
    filterBinds_.clear();
    QStringList conds;
    if (!text.trimmed().isEmpty()) {
        for (const QString& term : SplitAnd(text)) {
            const QString t = StripParens(term);
            const int eq = t.indexOf(QLatin1Char('='));
            if (eq <= 0)
                throw Error(
                    QStringLiteral("Filter expression incorrectly terminated: %1").arg(text));
            const QString field = t.left(eq).trimmed();
            const QString raw = t.mid(eq + 1).trimmed();
            const int fi = def_.FieldIndex(field);
            if (fi < 0) throw Error(QStringLiteral("Field '%1' not found").arg(field));
            QVariant value;
            if (raw.compare(QLatin1String("True"), Qt::CaseInsensitive) == 0)
                value = 1;
            else if (raw.compare(QLatin1String("False"), Qt::CaseInsensitive) == 0)
                value = 0;
            else if (raw.startsWith(QLatin1Char('\'')) && raw.endsWith(QLatin1Char('\'')) &&
                     raw.size() >= 2)
                value = raw.mid(1, raw.size() - 2).replace(QLatin1String("''"), QLatin1String("'"));
            else {
                bool ok = false;
                const double d = raw.toDouble(&ok);
                if (!ok)
                    throw Error(
                        QStringLiteral("Filter expression incorrectly terminated: %1").arg(text));
                value = d;
            }
            conds << Quote(def_.fields[fi].name) + QStringLiteral("=?");
            filterBinds_.push_back(value);
        }
    }
    filterSql_ = conds.join(QStringLiteral(" AND "));
    if (IsOpen() && filtered_) Refresh();
}

void View::SetFiltered(bool on) {
    if (filtered_ == on) return;
    filtered_ = on;
    if (IsOpen()) Refresh();
}

void View::SetMaster(View* master, const QStringList& masterFields,
                     const QStringList& detailFields) {
    if (master_ != nullptr) {
        auto& d = master_->details_;
        d.erase(std::remove(d.begin(), d.end(), this), d.end());
    }
    master_ = master;
    masterFields_ = masterFields;
    detailFields_ = detailFields;
    if (master_ != nullptr) master_->details_.push_back(this);
    if (IsOpen()) Refresh();
}

bool View::RangeCondition(QString& where, std::vector<QVariant>& binds) const {
    QStringList conds;
    if (filtered_ && !filterSql_.isEmpty()) {
        conds << filterSql_;
        binds.insert(binds.end(), filterBinds_.begin(), filterBinds_.end());
    }
    if (master_ != nullptr && !masterFields_.isEmpty()) {
        if (!master_->IsOpen() || (master_->IsEmpty() && master_->State() != ViewState::Insert))
            return false;
        for (int i = 0; i < masterFields_.size() && i < detailFields_.size(); ++i) {
            const QVariant v = master_->Value(masterFields_[i]);
            if (!v.isValid() || v.isNull()) return false;
            conds << Quote(detailFields_[i]) + QStringLiteral("=?");
            binds.push_back(v);
        }
    }
    where = conds.join(QStringLiteral(" AND "));
    return true;
}

// --- Range ---------------------------------------------------------------------

bool View::PassesCallback(Record& r) {
    Record* saved = active_;
    active_ = &r;
    bool ok = true;
    try {
        ok = onFilterRecord(*this);
    } catch (...) {
        active_ = saved;
        throw;
    }
    active_ = saved;
    return ok;
}

void View::BuildRange() {
    ids_.clear();
    ++contentVersion_;
    QString where;
    std::vector<QVariant> binds;
    if (!RangeCondition(where, binds)) return;
    const bool callback = filtered_ && static_cast<bool>(onFilterRecord);
    const bool fold = std::find(orderFold_.begin(), orderFold_.end(), true) != orderFold_.end();
    if (!callback && !fold) {
        table_->Scan(where, binds, orderSql_, false,
                     [&](int64_t id, const Values*) { ids_.push_back(id); });
        return;
    }
    std::vector<std::vector<QVariant>> keys;
    Record r;
    r.values.resize(fields_.size());
    table_->Scan(where, binds, orderSql_, true, [&](int64_t id, const Values* vals) {
        if (callback) {
            r.rowid = id;
            for (size_t i = 0; i < fields_.size(); ++i)
                r.values[i] =
                    fields_[i].dataIndex >= 0 ? (*vals)[fields_[i].dataIndex] : QVariant();
            r.loaded = false;  // lookups and calculated fields come on demand
            if (!PassesCallback(r)) return;
        }
        ids_.push_back(id);
        if (fold) {
            std::vector<QVariant> k;
            for (int d : orderData_)
                k.push_back((*vals)[d]);
            keys.push_back(std::move(k));
        }
    });
    if (fold) {
        std::vector<size_t> idx(ids_.size());
        std::iota(idx.begin(), idx.end(), 0);
        std::stable_sort(idx.begin(), idx.end(), [&](size_t a, size_t b) {
            for (size_t k = 0; k < orderData_.size(); ++k) {
                const int c = CompareValues(keys[a][k], keys[b][k], orderFold_[k]);
                if (c != 0) return c < 0;
            }
            return ids_[a] < ids_[b];
        });
        std::vector<int64_t> sorted(ids_.size());
        for (size_t i = 0; i < idx.size(); ++i)
            sorted[i] = ids_[idx[i]];
        ids_.swap(sorted);
    }
}

void View::LoadRecord(int64_t rowid, Record& r) {
    Values data;
    r.rowid = rowid;
    r.values.assign(fields_.size(), QVariant());
    if (table_->Fetch(rowid, data))
        for (size_t i = 0; i < fields_.size(); ++i)
            if (fields_[i].dataIndex >= 0) r.values[i] = data[fields_[i].dataIndex];
    r.loaded = false;
}

// Lookups and calculated fields of a row; "loaded" here means completed.
void View::Complete(Record& r) {
    if (r.loaded || calculating_) return;
    r.loaded = true;
    for (size_t i = 0; i < fields_.size(); ++i) {
        const Field& f = fields_[i];
        if (f.kind == FieldKind::Calculated) r.values[i] = QVariant();
        if (f.kind != FieldKind::Lookup) continue;
        r.values[i] = QVariant();
        if (f.lookupView == nullptr || !f.lookupView->IsOpen()) continue;
        const int k = FieldIndex(f.keyField);
        if (k < 0) continue;
        const QVariant key = r.values[k].isValid() ? r.values[k] : QVariant();
        if (!key.isValid()) continue;
        LookupCache& cache = lookupCaches_[i];
        if (cache.version != f.lookupView->ContentVersion() || cache.version == 0) {
            cache.map.clear();
            View& lv = *f.lookupView;
            const int lk = lv.def_.FieldIndex(f.lookupKeyField);
            const int lr = lv.def_.FieldIndex(f.resultField);
            if (lk >= 0 && lr >= 0) {
                Values data;
                for (int64_t id : lv.ids_) {
                    if (!lv.table_->Fetch(id, data)) continue;
                    const QString kk = data[lk].toString();
                    if (!cache.map.contains(kk)) cache.map.insert(kk, data[lr]);
                }
            }
            cache.version = f.lookupView->ContentVersion();
        }
        r.values[i] = cache.map.value(key.toString());
    }
    if (onCalcFields) {
        Record* saved = active_;
        active_ = &r;
        calculating_ = true;
        try {
            onCalcFields(*this);
        } catch (...) {
            calculating_ = false;
            active_ = saved;
            throw;
        }
        calculating_ = false;
        active_ = saved;
    }
}

const View::Record& View::Current() const {
    auto* self = const_cast<View*>(this);
    if (pos_ < 0 || pos_ >= static_cast<int>(ids_.size())) {
        self->current_.rowid = -1;
        self->current_.values.assign(fields_.size(), QVariant());
        self->current_.loaded = true;
        return current_;
    }
    if (current_.rowid != ids_[pos_] || current_.values.size() != fields_.size()) {
        self->LoadRecord(ids_[pos_], self->current_);
    }
    return current_;
}

// --- Lifecycle -------------------------------------------------------------------

void View::RequireOpen() const {
    if (!IsOpen())
        throw Error(
            QStringLiteral("%1: Cannot perform this operation on a closed dataset").arg(name_));
}

void View::RequireRows() const {
    if (ids_.empty()) throw Error(EmptyDataSetMessage);
}

void View::Open(Database& db) {
    if (IsOpen()) return;
    db_ = &db;
    table_ = &db.Acquire(def_);
    try {
        BuildOrder();
        state_ = ViewState::Browse;
        BuildRange();
    } catch (...) {
        state_ = ViewState::Inactive;
        db_->Release(*table_);
        table_ = nullptr;
        throw;
    }
    pos_ = ids_.empty() ? -1 : 0;
    bof_ = true;
    eof_ = ids_.empty();
    current_ = Record{};
    StateChanged();
    Refreshed();
    NotifyDetails();
}

void View::Close() {
    if (!IsOpen()) return;
    state_ = ViewState::Inactive;
    ids_.clear();
    pos_ = -1;
    bof_ = eof_ = true;
    current_ = Record{};
    edit_ = Record{};
    modified_ = false;
    ++contentVersion_;
    if (table_ != nullptr && db_ != nullptr) db_->Release(*table_);
    table_ = nullptr;
    StateChanged();
    Refreshed();
    NotifyDetails();
}

void View::Refresh() {
    RequireOpen();
    CheckBrowse();
    const int64_t keep = CurrentRowId();
    const int oldPos = pos_;
    BuildOrder();
    BuildRange();
    current_ = Record{};
    auto it = keep >= 0 ? std::find(ids_.begin(), ids_.end(), keep) : ids_.end();
    if (it != ids_.end())
        pos_ = static_cast<int>(it - ids_.begin());
    else
        pos_ = ids_.empty() ? -1 : std::clamp(oldPos, 0, static_cast<int>(ids_.size()) - 1);
    bof_ = pos_ <= 0;
    eof_ = ids_.empty();
    Refreshed();
    NotifyDetails();
}

// --- Moving ------------------------------------------------------------------------

void View::CheckBrowse() {
    if (state_ != ViewState::Edit && state_ != ViewState::Insert) return;
    if (modified_)
        Post();
    else
        Cancel();
}

void View::GoTo(int position) {
    pos_ = position;
    DataChanged();
    NotifyDetails();
}

void View::First() {
    RequireOpen();
    CheckBrowse();
    bof_ = true;
    eof_ = ids_.empty();
    GoTo(ids_.empty() ? -1 : 0);
}

void View::Last() {
    RequireOpen();
    CheckBrowse();
    eof_ = true;
    bof_ = ids_.empty();
    GoTo(ids_.empty() ? -1 : static_cast<int>(ids_.size()) - 1);
}

void View::Next() {
    RequireOpen();
    CheckBrowse();
    if (ids_.empty()) {
        bof_ = eof_ = true;
        return;
    }
    if (pos_ < static_cast<int>(ids_.size()) - 1) {
        bof_ = eof_ = false;
        GoTo(pos_ + 1);
    } else {
        bof_ = false;
        eof_ = true;
    }
}

void View::Prior() {
    RequireOpen();
    CheckBrowse();
    if (ids_.empty()) {
        bof_ = eof_ = true;
        return;
    }
    if (pos_ > 0) {
        bof_ = eof_ = false;
        GoTo(pos_ - 1);
    } else {
        eof_ = false;
        bof_ = true;
    }
}

int View::MoveBy(int distance) {
    RequireOpen();
    CheckBrowse();
    if (ids_.empty()) return 0;
    const int n = static_cast<int>(ids_.size());
    const int target = std::clamp(pos_ + distance, 0, n - 1);
    const int moved = target - pos_;
    bof_ = pos_ + distance < 0 || (target == 0 && distance < 0 && moved != distance);
    eof_ = pos_ + distance > n - 1;
    if (moved != 0) GoTo(target);
    return moved;
}

void View::SetRecNo(int recNo) {
    RequireOpen();
    CheckBrowse();
    if (ids_.empty()) return;
    bof_ = eof_ = false;
    GoTo(std::clamp(recNo, 1, static_cast<int>(ids_.size())) - 1);
}

void View::ForEachFullRow(const std::function<bool(const std::vector<QVariant>&)>& fn) {
    if (!IsOpen() || ids_.empty()) return;
    // The range as it stands: fn may not change it, but a copy keeps the
    // walk safe if it does.
    const std::vector<int64_t> ids = ids_;
    size_t next = 0;
    Record r;
    struct Stop {};
    auto give = [&] {
        Complete(r);
        if (!fn(r.values)) throw Stop{};
        ++next;
    };
    try {
        QString where;
        std::vector<QVariant> binds;
        const bool fold = std::find(orderFold_.begin(), orderFold_.end(), true) != orderFold_.end();
        // The range's rows come in the order the range was built in, with the
        // rows a filter callback dropped among them: those are passed over.
        // A row another process took away meanwhile ends the pass; the rest
        // are then read one by one.
        if (!fold && RangeCondition(where, binds)) {
            r.values.resize(fields_.size());
            table_->Scan(where, binds, orderSql_, true, [&](int64_t id, const Values* vals) {
                if (next >= ids.size() || ids[next] != id) return;
                r.rowid = id;
                for (size_t i = 0; i < fields_.size(); ++i)
                    r.values[i] =
                        fields_[i].dataIndex >= 0 ? (*vals)[fields_[i].dataIndex] : QVariant();
                r.loaded = false;
                give();
            });
        }
        while (next < ids.size()) {
            LoadRecord(ids[next], r);
            give();
        }
    } catch (const Stop&) {
    }
}

int64_t View::CurrentRowId() const {
    if (pos_ < 0 || pos_ >= static_cast<int>(ids_.size())) return -1;
    return ids_[pos_];
}

bool View::Locate(const QString& field, const QVariant& value) {
    return Locate(QStringList{field}, {value});
}

bool View::Locate(const QStringList& fields, const std::vector<QVariant>& values) {
    RequireOpen();
    CheckBrowse();
    QString where;
    std::vector<QVariant> binds;
    if (!RangeCondition(where, binds)) return false;
    QStringList conds;
    if (!where.isEmpty()) conds << where;
    bool dataOnly = true;
    for (int i = 0; i < fields.size(); ++i) {
        const int fi = FieldIndex(fields[i]);
        if (fi < 0) throw Error(QStringLiteral("Field '%1' not found").arg(fields[i]));
        if (fields_[fi].dataIndex < 0) {
            dataOnly = false;
            continue;
        }
        const QVariant v = Convert(fields_[fi], values[i]);
        if (!v.isValid()) {
            conds << Quote(fields_[fi].name) + QStringLiteral(" IS NULL");
        } else {
            conds << Quote(fields_[fi].name) + QStringLiteral("=?");
            binds.push_back(v);
        }
    }
    std::unordered_set<int64_t> hits;
    table_->Scan(conds.join(QStringLiteral(" AND ")), binds, QString(), false,
                 [&](int64_t id, const Values*) { hits.insert(id); });
    if (hits.empty()) return false;
    for (size_t p = 0; p < ids_.size(); ++p) {
        if (!hits.count(ids_[p])) continue;
        if (!dataOnly) {
            Record r;
            LoadRecord(ids_[p], r);
            Complete(r);
            bool all = true;
            for (int i = 0; i < fields.size() && all; ++i) {
                const int fi = FieldIndex(fields[i]);
                all = CompareValues(r.values[fi], values[i], false) == 0;
            }
            if (!all) continue;
        }
        bof_ = eof_ = false;
        GoTo(static_cast<int>(p));
        return true;
    }
    return false;
}

QVariant View::Lookup(const QString& keyField, const QVariant& key, const QString& resultField) {
    RequireOpen();
    const int k = def_.FieldIndex(keyField);
    const int r = FieldIndex(resultField);
    if (k < 0 || r < 0)
        throw Error(QStringLiteral("Field '%1' not found").arg(k < 0 ? keyField : resultField));
    QString where;
    std::vector<QVariant> binds;
    if (!RangeCondition(where, binds)) return {};
    if (!where.isEmpty()) where += QStringLiteral(" AND ");
    where += Quote(def_.fields[k].name) + QStringLiteral("=?");
    binds.push_back(key);
    std::unordered_set<int64_t> hits;
    table_->Scan(where, binds, QString(), false,
                 [&](int64_t id, const Values*) { hits.insert(id); });
    for (int64_t id : ids_) {
        if (!hits.count(id)) continue;
        Record rec;
        LoadRecord(id, rec);
        if (fields_[r].dataIndex < 0) Complete(rec);
        return rec.values[r];
    }
    return {};
}

Bookmark View::GetBookmark() const {
    return Bookmark{CurrentRowId()};
}

bool View::BookmarkValid(const Bookmark& b) const {
    return b.IsValid() && std::find(ids_.begin(), ids_.end(), b.rowid) != ids_.end();
}

bool View::GotoBookmark(const Bookmark& b) {
    RequireOpen();
    CheckBrowse();
    auto it = std::find(ids_.begin(), ids_.end(), b.rowid);
    if (!b.IsValid() || it == ids_.end()) return false;
    bof_ = eof_ = false;
    GoTo(static_cast<int>(it - ids_.begin()));
    return true;
}

// --- Values ------------------------------------------------------------------------

QVariant View::Value(int fi) const {
    if (fi < 0 || fi >= static_cast<int>(fields_.size())) return {};
    const Record* r = active_;
    if (r == nullptr)
        r = (state_ == ViewState::Edit || state_ == ViewState::Insert) ? &edit_ : &Current();
    if (r->values.size() != fields_.size()) return {};
    if (fields_[fi].dataIndex < 0 && !r->loaded)
        const_cast<View*>(this)->Complete(const_cast<Record&>(*r));
    return r->values[fi];
}

QVariant View::Value(const QString& field) const {
    const int fi = FieldIndex(field);
    if (fi < 0) throw Error(QStringLiteral("%1: Field '%2' not found").arg(name_, field));
    return Value(fi);
}

bool View::IsNull(const QString& field) const {
    const QVariant v = Value(field);
    return !v.isValid() || v.isNull();
}

void View::SetValue(const QString& field, const QVariant& value) {
    const int fi = FieldIndex(field);
    if (fi < 0) throw Error(QStringLiteral("%1: Field '%2' not found").arg(name_, field));
    SetValue(fi, value);
}

void View::SetValue(int fi, const QVariant& value) {
    const Field& f = fields_.at(fi);
    if (calculating_ && active_ != nullptr) {
        active_->values[fi] = Convert(f, value);
        return;
    }
    if (state_ != ViewState::Edit && state_ != ViewState::Insert)
        throw Error(QStringLiteral("%1: Dataset not in edit or insert mode").arg(name_));
    if (f.type == FieldType::AutoInc)
        throw Error(QStringLiteral("Field '%1' cannot be modified").arg(f.name));
    edit_.values[fi] = Convert(f, value);
    edit_.loaded = false;
    modified_ = true;
    DataChanged(f.name);
    for (View* d : details_)
        if (d->masterFields_.contains(f.name, Qt::CaseInsensitive)) {
            NotifyDetails();
            break;
        }
}

std::vector<QVariant> View::RowAt(int position) {
    if (position < 0 || position >= static_cast<int>(ids_.size())) return {};
    Record r;
    LoadRecord(ids_[position], r);
    Complete(r);
    return r.values;
}

void View::ForEachRow(const std::function<void(const Values&)>& fn) {
    if (!IsOpen()) return;
    Values data;
    for (int64_t id : ids_)
        if (table_->Fetch(id, data)) fn(data);
}

// --- Editing -----------------------------------------------------------------------

void View::Edit() {
    RequireOpen();
    if (state_ == ViewState::Edit || state_ == ViewState::Insert) return;
    RequireRows();
    if (beforeEdit) beforeEdit(*this);
    edit_ = Current();
    state_ = ViewState::Edit;
    modified_ = false;
    StateChanged();
}

void View::Insert() {
    RequireOpen();
    CheckBrowse();
    if (beforeInsert) beforeInsert(*this);
    edit_ = Record{};
    edit_.values.assign(fields_.size(), QVariant());
    if (master_ != nullptr && master_->IsOpen())
        for (int i = 0; i < masterFields_.size() && i < detailFields_.size(); ++i) {
            const int fi = FieldIndex(detailFields_[i]);
            if (fi >= 0) edit_.values[fi] = Convert(fields_[fi], master_->Value(masterFields_[i]));
        }
    state_ = ViewState::Insert;
    modified_ = false;
    StateChanged();
    DataChanged();
    NotifyDetails();
}

int View::CompareRows(const Values& a, int64_t ida, const Values& b, int64_t idb) const {
    for (size_t k = 0; k < orderData_.size(); ++k) {
        const int c = CompareValues(a[orderData_[k]], b[orderData_[k]], orderFold_[k]);
        if (c != 0) return c;
    }
    return ida < idb ? -1 : (ida > idb ? 1 : 0);
}

int View::PlaceOf(const Values& data, int64_t rowid) const {
    int lo = 0, hi = static_cast<int>(ids_.size());
    Values probe;
    while (lo < hi) {
        const int mid = (lo + hi) / 2;
        // A row another process (or a trigger) removed has no place to compare with.
        if (!table_->Fetch(ids_[mid], probe)) return -1;
        if (CompareRows(probe, ids_[mid], data, rowid) < 0)
            lo = mid + 1;
        else
            hi = mid;
    }
    return lo;
}

bool View::InRange(Record& r) {
    QString where;
    std::vector<QVariant> binds;
    if (!RangeCondition(where, binds)) return false;
    bool found = false;
    table_->Scan(
        where.isEmpty() ? QStringLiteral("rowid=?")
                        : QStringLiteral("rowid=? AND (") + where + QLatin1Char(')'),
        [&] {
            std::vector<QVariant> b{QVariant::fromValue<qlonglong>(r.rowid)};
            b.insert(b.end(), binds.begin(), binds.end());
            return b;
        }(),
        QString(), false, [&](int64_t, const Values*) { found = true; });
    if (!found) return false;
    if (filtered_ && onFilterRecord) {
        r.loaded = false;
        return PassesCallback(r);
    }
    return true;
}

void View::Post() {
    RequireOpen();
    if (state_ != ViewState::Edit && state_ != ViewState::Insert) return;
    if (beforePost) beforePost(*this);
    Values data(def_.fields.size());
    for (size_t i = 0; i < fields_.size(); ++i)
        if (fields_[i].dataIndex >= 0) data[fields_[i].dataIndex] = edit_.values[i];
    int64_t rowid = edit_.rowid;
    for (;;) {
        try {
            if (state_ == ViewState::Insert)
                rowid = table_->Insert(data);
            else
                table_->Update(rowid, data);
            break;
        } catch (const Error& e) {
            PostErrorAction action = PostErrorAction::Fail;
            if (onPostError) onPostError(*this, e, action);
            if (action == PostErrorAction::Retry) continue;
            if (action == PostErrorAction::Abort) throw Abort{};
            throw;
        }
    }
    const int oldPos = pos_;
    if (state_ == ViewState::Edit) {
        auto it = std::find(ids_.begin(), ids_.end(), rowid);
        if (it != ids_.end()) ids_.erase(it);
    }
    Record posted;
    posted.rowid = rowid;
    posted.values.assign(fields_.size(), QVariant());
    for (size_t i = 0; i < fields_.size(); ++i)
        if (fields_[i].dataIndex >= 0) posted.values[i] = data[fields_[i].dataIndex];
    state_ = ViewState::Browse;
    modified_ = false;
    if (InRange(posted)) {
        const int place = PlaceOf(data, rowid);
        if (place >= 0) {
            ids_.insert(ids_.begin() + place, rowid);
            pos_ = place;
        } else {
            // Rows of the range vanished under us: read the range anew.
            BuildRange();
            const auto it = std::find(ids_.begin(), ids_.end(), rowid);
            pos_ = it != ids_.end() ? static_cast<int>(it - ids_.begin()) : (ids_.empty() ? -1 : 0);
        }
    } else {
        pos_ = ids_.empty() ? -1 : std::clamp(oldPos, 0, static_cast<int>(ids_.size()) - 1);
    }
    bof_ = eof_ = ids_.empty();
    current_ = Record{};
    ++contentVersion_;
    StateChanged();
    Refreshed();
    NotifyDetails();
    if (afterPost) afterPost(*this);
}

void View::Cancel() {
    if (state_ != ViewState::Edit && state_ != ViewState::Insert) return;
    const bool wasInsert = state_ == ViewState::Insert;
    state_ = ViewState::Browse;
    modified_ = false;
    edit_ = Record{};
    StateChanged();
    DataChanged();
    if (wasInsert) NotifyDetails();
    if (afterCancel) afterCancel(*this);
}

void View::Delete() {
    RequireOpen();
    if (state_ == ViewState::Insert) {
        Cancel();
        return;
    }
    if (state_ == ViewState::Edit) Cancel();
    RequireRows();
    if (beforeDelete) beforeDelete(*this);
    const int64_t id = ids_[pos_];
    table_->Remove(id);
    ids_.erase(ids_.begin() + pos_);
    if (pos_ >= static_cast<int>(ids_.size())) pos_ = static_cast<int>(ids_.size()) - 1;
    bof_ = eof_ = ids_.empty();
    current_ = Record{};
    ++contentVersion_;
    Refreshed();
    NotifyDetails();
    if (afterDelete) afterDelete(*this);
}

void View::EmptyTable() {
    RequireOpen();
    Cancel();
    table_->Empty();
    BuildRange();
    pos_ = -1;
    bof_ = eof_ = true;
    current_ = Record{};
    Refreshed();
    NotifyDetails();
}

// --- Notifications -------------------------------------------------------------------

void View::DisableControls() {
    ++disabled_;
}

void View::EnableControls() {
    if (disabled_ == 0) return;
    if (--disabled_ > 0 || !pendingRefresh_) return;
    pendingRefresh_ = false;
    for (ViewListener* l : Listeners())
        if (Listening(l)) l->ViewRefreshed(*this);
    for (View* d : details_)
        d->MasterMoved();
}

// A copy, and only those still listening when their turn comes: a listener
// may add or remove listeners while it is told.
std::vector<ViewListener*> View::Listeners() const {
    return listeners_;
}

bool View::Listening(ViewListener* l) const {
    return std::find(listeners_.begin(), listeners_.end(), l) != listeners_.end();
}

void View::AddListener(ViewListener* l) {
    if (std::find(listeners_.begin(), listeners_.end(), l) == listeners_.end())
        listeners_.push_back(l);
}

void View::RemoveListener(ViewListener* l) {
    listeners_.erase(std::remove(listeners_.begin(), listeners_.end(), l), listeners_.end());
}

void View::DataChanged(const QString& field) {
    if (disabled_ > 0) {
        pendingRefresh_ = true;
        return;
    }
    for (ViewListener* l : Listeners())
        if (Listening(l)) l->ViewDataChanged(*this, field);
}

void View::StateChanged() {
    // State changes reach the controls even while they are disabled, as the
    // commands that follow the state (post, cancel) must stay right.
    for (ViewListener* l : Listeners())
        if (Listening(l)) l->ViewStateChanged(*this);
}

void View::Refreshed() {
    if (disabled_ > 0) {
        pendingRefresh_ = true;
        return;
    }
    for (ViewListener* l : Listeners())
        if (Listening(l)) l->ViewRefreshed(*this);
}

void View::NotifyDetails() {
    if (disabled_ > 0) {
        pendingRefresh_ = true;
        return;
    }
    for (View* d : details_)
        d->MasterMoved();
}

void View::MasterMoved() {
    if (!IsOpen()) return;
    CheckBrowse();
    BuildRange();
    pos_ = ids_.empty() ? -1 : 0;
    bof_ = true;
    eof_ = ids_.empty();
    current_ = Record{};
    Refreshed();
    NotifyDetails();
}

}  // namespace kordex::store
