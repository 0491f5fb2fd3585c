#include "Engine.h"

#include <sqlite3.h>

#include <cstdio>

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace kordex::store {

namespace {

QString Quote(const QString& name) {
    QString q = name;
    q.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + q + QLatin1Char('"');
}

QString ColumnType(const FieldDef& f) {
    switch (f.type) {
        case FieldType::String:
            return QStringLiteral("VARCHAR(%1)").arg(f.size);
        case FieldType::Boolean:
            return QStringLiteral("BOOLEAN");
        case FieldType::SmallInt:
            return QStringLiteral("SMALLINT");
        case FieldType::Integer:
            return QStringLiteral("INTEGER");
        case FieldType::AutoInc:
            return QStringLiteral("INTEGER PRIMARY KEY AUTOINCREMENT");
        case FieldType::DateTime:
        case FieldType::Date:
        case FieldType::Time:
            return QStringLiteral("REAL");
    }
    return QStringLiteral("BLOB");
}

bool IsKeyViolation(int code) {
    return code == SQLITE_CONSTRAINT_UNIQUE || code == SQLITE_CONSTRAINT_PRIMARYKEY;
}

void Bind(sqlite3_stmt* st, int i, const QVariant& v) {
    if (!v.isValid() || v.isNull()) {
        sqlite3_bind_null(st, i);
        return;
    }
    switch (v.typeId()) {
        case QMetaType::Bool:
            sqlite3_bind_int(st, i, v.toBool() ? 1 : 0);
            break;
        case QMetaType::Int:
        case QMetaType::UInt:
        case QMetaType::LongLong:
        case QMetaType::ULongLong:
        case QMetaType::Short:
        case QMetaType::UShort:
            sqlite3_bind_int64(st, i, v.toLongLong());
            break;
        case QMetaType::Double:
        case QMetaType::Float:
            sqlite3_bind_double(st, i, v.toDouble());
            break;
        default: {
            const QByteArray u = v.toString().toUtf8();
            sqlite3_bind_text(st, i, u.constData(), static_cast<int>(u.size()), SQLITE_TRANSIENT);
        }
    }
}

}  // namespace

QString CreateTableSql(const TableDef& def, const QString& schema) {
    QStringList cols;
    for (const auto& f : def.fields)
        cols << Quote(f.name) + QLatin1Char(' ') + ColumnType(f);
    return QStringLiteral("CREATE TABLE %1.%2 (%3)")
        .arg(Quote(schema), Quote(def.SqlName()), cols.join(QLatin1String(", ")));
}

// ---------------------------------------------------------------------------

Table::Table(Database& db, TableDef def) : db_(db), def_(std::move(def)) {
    const QString schema = def_.SqlName();
    sql_ = Quote(schema) + QLatin1Char('.') + Quote(def_.SqlName());
    QStringList cols, marks, sets;
    for (const auto& f : def_.fields) {
        cols << Quote(f.name);
        marks << QStringLiteral("?");
        if (f.type != FieldType::AutoInc) sets << Quote(f.name) + QStringLiteral("=?");
    }
    columns_ = cols.join(QLatin1Char(','));
    fetch_ = Prepare(QStringLiteral("SELECT %1 FROM %2 WHERE rowid=?").arg(columns_, sql_));
    insert_ = Prepare(QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                          .arg(sql_, columns_, marks.join(QLatin1Char(','))));
    if (!sets.isEmpty())
        update_ = Prepare(QStringLiteral("UPDATE %1 SET %2 WHERE rowid=?")
                              .arg(sql_, sets.join(QLatin1Char(','))));
    remove_ = Prepare(QStringLiteral("DELETE FROM %1 WHERE rowid=?").arg(sql_));
}

Table::~Table() {
    sqlite3_finalize(fetch_);
    sqlite3_finalize(insert_);
    sqlite3_finalize(update_);
    sqlite3_finalize(remove_);
}

sqlite3_stmt* Table::Prepare(const QString& sql) {
    sqlite3_stmt* st = nullptr;
    const QByteArray u = sql.toUtf8();
    const int rc = sqlite3_prepare_v3(db_.Handle(), u.constData(), static_cast<int>(u.size()),
                                      SQLITE_PREPARE_PERSISTENT, &st, nullptr);
    if (rc != SQLITE_OK) db_.Fail(rc, sql);
    return st;
}

void Table::ReadValues(sqlite3_stmt* st, int first, Values& out) {
    const int n = static_cast<int>(def_.fields.size());
    out.resize(n);
    for (int i = 0; i < n; ++i) {
        const int c = first + i;
        const int t = sqlite3_column_type(st, c);
        if (t == SQLITE_NULL) {
            out[i] = QVariant();
            continue;
        }
        switch (def_.fields[i].type) {
            case FieldType::String:
                out[i] =
                    QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, c)),
                                      sqlite3_column_bytes(st, c));
                break;
            case FieldType::Boolean:
                out[i] = sqlite3_column_int64(st, c) != 0;
                break;
            case FieldType::SmallInt:
            case FieldType::Integer:
            case FieldType::AutoInc:
                out[i] = static_cast<int>(sqlite3_column_int64(st, c));
                break;
            case FieldType::DateTime:
            case FieldType::Date:
            case FieldType::Time:
                out[i] = sqlite3_column_double(st, c);
                break;
        }
    }
}

bool Table::Fetch(int64_t rowid, Values& out) {
    sqlite3_reset(fetch_);
    sqlite3_bind_int64(fetch_, 1, rowid);
    const int rc = sqlite3_step(fetch_);
    if (rc == SQLITE_ROW) {
        ReadValues(fetch_, 0, out);
        sqlite3_reset(fetch_);
        return true;
    }
    sqlite3_reset(fetch_);
    if (rc != SQLITE_DONE) db_.Fail(rc, def_.file);
    return false;
}

int64_t Table::Insert(Values& values) {
    sqlite3_reset(insert_);
    const int autoInc = def_.AutoIncField();
    for (size_t i = 0; i < def_.fields.size(); ++i)
        Bind(insert_, static_cast<int>(i) + 1,
             static_cast<int>(i) == autoInc ? QVariant() : values[i]);
    const int rc = sqlite3_step(insert_);
    sqlite3_reset(insert_);
    if (rc != SQLITE_DONE) db_.Fail(sqlite3_extended_errcode(db_.Handle()), def_.file);
    const int64_t rowid = sqlite3_last_insert_rowid(db_.Handle());
    if (autoInc >= 0) values[autoInc] = static_cast<int>(rowid);
    ++version_;
    return rowid;
}

void Table::Update(int64_t rowid, const Values& values) {
    if (update_ == nullptr) return;
    sqlite3_reset(update_);
    int p = 1;
    for (size_t i = 0; i < def_.fields.size(); ++i)
        if (def_.fields[i].type != FieldType::AutoInc) Bind(update_, p++, values[i]);
    sqlite3_bind_int64(update_, p, rowid);
    const int rc = sqlite3_step(update_);
    sqlite3_reset(update_);
    if (rc != SQLITE_DONE) db_.Fail(sqlite3_extended_errcode(db_.Handle()), def_.file);
    ++version_;
}

void Table::Remove(int64_t rowid) {
    sqlite3_reset(remove_);
    sqlite3_bind_int64(remove_, 1, rowid);
    const int rc = sqlite3_step(remove_);
    sqlite3_reset(remove_);
    if (rc != SQLITE_DONE) db_.Fail(rc, def_.file);
    ++version_;
}

void Table::Empty() {
    db_.Exec(QStringLiteral("DELETE FROM %1").arg(sql_));
    ++version_;
}

bool Table::Any(const QString& where, const std::vector<QVariant>& binds) {
    sqlite3_stmt* st =
        Prepare(QStringLiteral("SELECT 1 FROM %1 WHERE %2 LIMIT 1").arg(sql_, where));
    for (size_t i = 0; i < binds.size(); ++i)
        Bind(st, static_cast<int>(i) + 1, binds[i]);
    const int rc = sqlite3_step(st);
    sqlite3_finalize(st);
    if (rc != SQLITE_ROW && rc != SQLITE_DONE) db_.Fail(rc, def_.file);
    return rc == SQLITE_ROW;
}

int64_t Table::DeleteWhere(const QString& where, const std::vector<QVariant>& binds) {
    sqlite3_stmt* st = Prepare(QStringLiteral("DELETE FROM %1 WHERE %2").arg(sql_, where));
    for (size_t i = 0; i < binds.size(); ++i)
        Bind(st, static_cast<int>(i) + 1, binds[i]);
    const int rc = sqlite3_step(st);
    sqlite3_finalize(st);
    if (rc != SQLITE_DONE) db_.Fail(rc, def_.file);
    ++version_;
    return sqlite3_changes(db_.Handle());
}

int64_t Table::Count() {
    int64_t n = 0;
    sqlite3_stmt* st = Prepare(QStringLiteral("SELECT count(*) FROM %1").arg(sql_));
    if (sqlite3_step(st) == SQLITE_ROW) n = sqlite3_column_int64(st, 0);
    sqlite3_finalize(st);
    return n;
}

void Table::Scan(const QString& where, const std::vector<QVariant>& binds, const QString& orderBy,
                 bool withValues, const std::function<void(int64_t, const Values*)>& row) {
    QString sql = QStringLiteral("SELECT rowid");
    if (withValues) sql += QLatin1Char(',') + columns_;
    sql += QStringLiteral(" FROM ") + sql_;
    if (!where.isEmpty()) sql += QStringLiteral(" WHERE ") + where;
    if (!orderBy.isEmpty()) sql += QStringLiteral(" ORDER BY ") + orderBy;
    sqlite3_stmt* st = nullptr;
    const QByteArray u = sql.toUtf8();
    int rc =
        sqlite3_prepare_v2(db_.Handle(), u.constData(), static_cast<int>(u.size()), &st, nullptr);
    if (rc != SQLITE_OK) db_.Fail(rc, sql);
    for (size_t i = 0; i < binds.size(); ++i)
        Bind(st, static_cast<int>(i) + 1, binds[i]);
    Values values;
    try {
        while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
            const int64_t id = sqlite3_column_int64(st, 0);
            if (withValues) ReadValues(st, 1, values);
            row(id, withValues ? &values : nullptr);
        }
    } catch (...) {
        sqlite3_finalize(st);
        throw;
    }
    sqlite3_finalize(st);
    if (rc != SQLITE_DONE) db_.Fail(rc, def_.file);
}

// ---------------------------------------------------------------------------

Database::Database(QString alias, QString directory)
    : alias_(std::move(alias)), directory_(std::move(directory)) {}

Database::~Database() {
    Disconnect();
}

QString Database::PathOf(const QString& file) const {
    return QDir(directory_).filePath(file);
}

QString Database::SchemaName(const QString& file) const {
    return file.section(QLatin1Char('.'), 0, 0);
}

void Database::Connect() {
    if (db_ != nullptr) return;
    const int rc =
        sqlite3_open_v2(":memory:", &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    if (rc != SQLITE_OK) {
        const QString msg = QString::fromUtf8(sqlite3_errmsg(db_));
        sqlite3_close(db_);
        db_ = nullptr;
        throw Error(msg);
    }
    sqlite3_extended_result_codes(db_, 1);
}

void Database::Disconnect() {
    if (db_ == nullptr) return;
    tables_.clear();
    sqlite3_close_v2(db_);
    db_ = nullptr;
    transaction_ = 0;
}

void Database::Fail(int code, const QString& what) const {
    const QString msg = db_ ? QString::fromUtf8(sqlite3_errmsg(db_)) : QString();
    if (IsKeyViolation(code)) throw Error(QStringLiteral("Key violation.\nTable: %1").arg(what));
    throw Error(QStringLiteral("%1\nTable: %2").arg(msg, what));
}

void Database::Exec(const QString& sql) {
    if (db_ == nullptr) throw Error(QStringLiteral("Database %1 is not open").arg(alias_));
    char* err = nullptr;
    const int rc = sqlite3_exec(db_, sql.toUtf8().constData(), nullptr, nullptr, &err);
    if (rc != SQLITE_OK) {
        const QString msg = QString::fromUtf8(err ? err : sqlite3_errstr(rc));
        sqlite3_free(err);
        if (IsKeyViolation(sqlite3_extended_errcode(db_)))
            throw Error(QStringLiteral("Key violation."));
        throw Error(msg);
    }
}

void Database::Attach(const QString& file, const QString& schema) {
    Connect();
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db_, "ATTACH DATABASE ? AS ?", -1, &st, nullptr);
    const QByteArray path = PathOf(file).toUtf8();
    const QByteArray name = schema.toUtf8();
    sqlite3_bind_text(st, 1, path.constData(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(st, 2, name.constData(), -1, SQLITE_TRANSIENT);
    const int rc = sqlite3_step(st);
    sqlite3_finalize(st);
    if (rc != SQLITE_DONE) Fail(rc, file);
    // A closed table must be exactly one file: rollback journal, not WAL.
    try {
        Exec(QStringLiteral("PRAGMA %1.journal_mode=DELETE; PRAGMA %1.synchronous=FULL;"
                            " PRAGMA %1.cache_size=-8192")
                 .arg(Quote(schema)));
    } catch (...) {
        Detach(schema);
        throw;
    }
}

void Database::Detach(const QString& schema) {
    Exec(QStringLiteral("DETACH DATABASE %1").arg(Quote(schema)));
}

bool Database::TableExists(const QString& file) const {
    return QFileInfo::exists(PathOf(file));
}

void Database::CreateTable(const TableDef& def) {
    const QString schema = SchemaName(def.file);
    const bool attached = IsAttached(def.file);
    if (!attached) Attach(def.file, schema);
    try {
        Exec(CreateTableSql(def, schema));
        for (const auto& ix : def.indexes) {
            // A primary index on the autoinc field alone is the row id itself.
            if (ix.primary && ix.fields.size() == 1 && def.FieldIndex(ix.fields[0]) >= 0 &&
                def.fields[def.FieldIndex(ix.fields[0])].type == FieldType::AutoInc)
                continue;
            QStringList cols;
            for (const auto& f : ix.fields)
                cols << Quote(f) +
                            (ix.caseInsensitive ? QStringLiteral(" COLLATE NOCASE") : QString());
            Exec(QStringLiteral("CREATE %1INDEX %2.%3 ON %4 (%5)")
                     .arg(ix.primary ? QStringLiteral("UNIQUE ") : QString(), Quote(schema),
                          Quote(ix.name), Quote(def.SqlName()), cols.join(QLatin1Char(','))));
        }
    } catch (...) {
        if (!attached) Detach(schema);
        throw;
    }
    if (!attached) Detach(schema);
}

Table& Database::Acquire(const TableDef& def) {
    const QString key = def.file.toUpper();
    auto it = tables_.find(key);
    if (it != tables_.end()) {
        ++it->second.users;
        return *it->second.table;
    }
    if (!TableExists(def.file))
        throw Error(QStringLiteral("Table does not exist.\nFile: %1").arg(PathOf(def.file)));
    const QString schema = SchemaName(def.file);
    Attach(def.file, schema);
    try {
        // The file must hold the table with the declared fields, in order.
        sqlite3_stmt* st = nullptr;
        const QString sql =
            QStringLiteral("PRAGMA %1.table_info(%2)").arg(Quote(schema), Quote(def.SqlName()));
        if (sqlite3_prepare_v2(db_, sql.toUtf8().constData(), -1, &st, nullptr) != SQLITE_OK)
            Fail(sqlite3_errcode(db_), def.file);
        QStringList names;
        int rc;
        while ((rc = sqlite3_step(st)) == SQLITE_ROW)
            names << QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, 1)));
        sqlite3_finalize(st);
        if (rc != SQLITE_DONE) Fail(rc, def.file);
        QStringList expected;
        for (const auto& f : def.fields)
            expected << f.name;
        if (names != expected)
            throw Error(
                QStringLiteral("Table structure does not match.\nFile: %1").arg(PathOf(def.file)));
        Entry e;
        e.table = std::make_unique<Table>(*this, def);
        e.users = 1;
        Table& t = *e.table;
        tables_.emplace(key, std::move(e));
        return t;
    } catch (...) {
        Detach(schema);
        throw;
    }
}

void Database::Release(Table& table) {
    const QString key = table.Def().file.toUpper();
    auto it = tables_.find(key);
    if (it == tables_.end() || &table != it->second.table.get()) return;
    if (--it->second.users > 0) return;
    // Inside a transaction the file stays attached until the commit.
    if (transaction_ > 0) return;
    const QString schema = SchemaName(table.Def().file);
    tables_.erase(it);
    Detach(schema);
}

void Database::DetachUnused() {
    for (auto it = tables_.begin(); it != tables_.end();) {
        if (it->second.users > 0) {
            ++it;
            continue;
        }
        const QString schema = SchemaName(it->second.table->Def().file);
        it = tables_.erase(it);
        Detach(schema);
    }
}

bool Database::Check(const TableDef& def) {
    const QString schema = SchemaName(def.file);
    const bool attached = IsAttached(def.file);
    if (!attached) Attach(def.file, schema);
    bool ok = false;
    sqlite3_stmt* st = nullptr;
    const QString sql = QStringLiteral("PRAGMA %1.integrity_check(1)").arg(Quote(schema));
    if (sqlite3_prepare_v2(db_, sql.toUtf8().constData(), -1, &st, nullptr) == SQLITE_OK &&
        sqlite3_step(st) == SQLITE_ROW) {
        const char* r = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
        ok = r != nullptr && qstrcmp(r, "ok") == 0;
    }
    sqlite3_finalize(st);
    if (!attached) Detach(schema);
    return ok;
}

void Database::Repair(const TableDef& def) {
    if (Check(def)) return;
    const QString schema = SchemaName(def.file);
    if (IsAttached(def.file))
        throw Error(QStringLiteral("Table is in use.\nFile: %1").arg(PathOf(def.file)));
    Attach(def.file, schema);
    // First rebuild the indexes from the rows.
    try {
        Exec(QStringLiteral("REINDEX %1.%2").arg(Quote(schema), Quote(def.SqlName())));
    } catch (const Error&) {
    }
    Detach(schema);
    if (Check(def)) return;

    // Then copy the rows into a new file; it replaces the old one only when
    // it is sound and holds every row the old one could still give.
    auto countRows = [&](const QString& s) -> int64_t {
        sqlite3_stmt* st = nullptr;
        const QString sql = QStringLiteral("SELECT count(*) FROM %1.%2 NOT INDEXED")
                                .arg(Quote(s), Quote(def.SqlName()));
        int64_t n = -1;
        if (sqlite3_prepare_v2(db_, sql.toUtf8().constData(), -1, &st, nullptr) == SQLITE_OK &&
            sqlite3_step(st) == SQLITE_ROW)
            n = sqlite3_column_int64(st, 0);
        sqlite3_finalize(st);
        return n;
    };
    const QString original = PathOf(def.file);
    const QString rebuilt = original + QStringLiteral(".rebuild");
    QFile::remove(rebuilt);
    Attach(def.file, schema);
    const int64_t before = countRows(schema);
    Detach(schema);
    bool copied = false;
    // [data module] VACUUM INTO copied the index b-trees page by page and so
    // failed on the very damage it was meant to mend. Instead: a new file made
    // from the declarations, filled row by row from the table b-tree alone.
    if (before >= 0) {
        TableDef fresh = def;
        fresh.file = def.file + QStringLiteral(".rebuild");  // same table name inside
        const QString tmpSchema = QStringLiteral("rebuild_") + schema;
        bool freshAttached = false, oldAttached = false;
        try {
            CreateTable(fresh);
            Attach(fresh.file, tmpSchema);
            freshAttached = true;
            Attach(def.file, schema);
            oldAttached = true;
            // The WHERE keeps SQLite from transferring the index b-trees as they are.
            Exec(QStringLiteral("INSERT INTO %1.%3 SELECT * FROM %2.%3 NOT INDEXED WHERE 1")
                     .arg(Quote(tmpSchema), Quote(schema), Quote(def.SqlName())));
            if (def.AutoIncField() >= 0)  // counters are never reused
                Exec(QStringLiteral(
                         "DELETE FROM %1.sqlite_sequence;"
                         " INSERT INTO %1.sqlite_sequence SELECT * FROM %2.sqlite_sequence")
                         .arg(Quote(tmpSchema), Quote(schema)));
            copied = countRows(tmpSchema) == before;
        } catch (const Error&) {
        }
        if (oldAttached) Detach(schema);
        if (freshAttached) Detach(tmpSchema);
    }
    if (copied && QFile::exists(rebuilt)) {
        // Atomic on the platforms we run on: the old file stays until the new one is complete.
        if (std::rename(rebuilt.toLocal8Bit().constData(), original.toLocal8Bit().constData()) ==
                0 &&
            Check(def))
            return;
    }
    QFile::remove(rebuilt);
    throw Error(QStringLiteral("Table is damaged and cannot be repaired.\nFile: %1").arg(original));
}

void Database::Begin() {
    if (transaction_++ == 0) Exec(QStringLiteral("BEGIN"));
}

void Database::Commit() {
    if (transaction_ == 0) return;
    if (--transaction_ > 0) return;
    const bool undo = rollbackOnly_;
    rollbackOnly_ = false;
    Exec(undo ? QStringLiteral("ROLLBACK") : QStringLiteral("COMMIT"));
    DetachUnused();
}

// Inside an outer transaction only marks it: the outer commit then undoes all.
void Database::Rollback() {
    if (transaction_ == 0) return;
    if (--transaction_ > 0) {
        rollbackOnly_ = true;
        return;
    }
    rollbackOnly_ = false;
    Exec(QStringLiteral("ROLLBACK"));
    DetachUnused();
}

}  // namespace kordex::store
