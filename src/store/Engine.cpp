#include "Engine.h"

#include <sqlite3.h>

#include <cstdio>
#include <map>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUrl>

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
    if (rc != SQLITE_OK) db_.Fail(rc, def_.file);
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
    const int rc = db_.Step(fetch_);
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
    const int rc = db_.Step(insert_);
    sqlite3_reset(insert_);
    if (rc != SQLITE_DONE) db_.Fail(rc, def_.file);
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
    const int rc = db_.Step(update_);
    sqlite3_reset(update_);
    if (rc != SQLITE_DONE) db_.Fail(rc, def_.file);
    // The row was deleted meanwhile (by another process): say so, store nothing.
    if (sqlite3_changes(db_.Handle()) == 0)
        throw Error(QStringLiteral("Record was deleted by another user"), db_.PathOf(def_.file));
    ++version_;
}

void Table::Remove(int64_t rowid) {
    sqlite3_reset(remove_);
    sqlite3_bind_int64(remove_, 1, rowid);
    const int rc = db_.Step(remove_);
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
    const int rc = db_.Step(st);
    sqlite3_finalize(st);
    if (rc != SQLITE_ROW && rc != SQLITE_DONE) db_.Fail(rc, def_.file);
    return rc == SQLITE_ROW;
}

int64_t Table::DeleteWhere(const QString& where, const std::vector<QVariant>& binds) {
    sqlite3_stmt* st = Prepare(QStringLiteral("DELETE FROM %1 WHERE %2").arg(sql_, where));
    for (size_t i = 0; i < binds.size(); ++i)
        Bind(st, static_cast<int>(i) + 1, binds[i]);
    const int rc = db_.Step(st);
    const int64_t changed = sqlite3_changes(db_.Handle());
    sqlite3_finalize(st);
    if (rc != SQLITE_DONE) db_.Fail(rc, def_.file);
    ++version_;
    return changed;
}

int64_t Table::Count() {
    int64_t n = 0;
    sqlite3_stmt* st = Prepare(QStringLiteral("SELECT count(*) FROM %1").arg(sql_));
    const int rc = db_.Step(st);
    if (rc == SQLITE_ROW) n = sqlite3_column_int64(st, 0);
    sqlite3_finalize(st);
    if (rc != SQLITE_ROW) db_.Fail(rc, def_.file);
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
    if (rc != SQLITE_OK) db_.Fail(rc, def_.file);
    for (size_t i = 0; i < binds.size(); ++i)
        Bind(st, static_cast<int>(i) + 1, binds[i]);
    Values values;
    try {
        while ((rc = db_.Step(st)) == SQLITE_ROW) {
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

namespace {
// A file as an SQLite URI that opens it for reading only.
QByteArray ReadOnlyUri(const QString& path) {
    QByteArray uri = QByteArrayLiteral("file:");
    if (!path.startsWith(QLatin1Char('/'))) uri += '/';  // a drive letter
    uri += QUrl::toPercentEncoding(path, "/:");
    uri += "?mode=ro";
    return uri;
}
}  // namespace

QString Database::SchemaName(const QString& file) const {
    return file.section(QLatin1Char('.'), 0, 0);
}

void Database::Connect() {
    if (db_ != nullptr) return;
    // A read-only database attaches its files by URI, with mode=ro.
    const int rc = sqlite3_open_v2(
        ":memory:", &db_,
        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | (readOnly_ ? SQLITE_OPEN_URI : 0), nullptr);
    if (rc != SQLITE_OK) {
        const QString msg = QString::fromUtf8(sqlite3_errmsg(db_));
        sqlite3_close(db_);
        db_ = nullptr;
        throw Error(msg);
    }
    sqlite3_extended_result_codes(db_, 1);
    // Another process reading a table (the sqlite3 tool, a report beside the
    // program) holds its lock for a moment: wait for it rather than fail.
    sqlite3_busy_timeout(db_, BusyTimeoutMs);
}

void Database::Disconnect() {
    if (db_ == nullptr) return;
    tables_.clear();
    sqlite3_close_v2(db_);  // undoes an open transaction
    db_ = nullptr;
    transaction_ = 0;
    rollbackOnly_ = lost_ = false;
}

void Database::Fail(int code, const QString& file) const {
    const QString path = file.isEmpty() || file.contains(QLatin1Char('/')) ? file : PathOf(file);
    if (IsKeyViolation(code)) throw Error(QStringLiteral("Key violation."), path, code);
    QString msg = code == lastCode_ ? lastMessage_ : QString();
    if (msg.isEmpty())
        msg = QString::fromUtf8(db_ != nullptr ? sqlite3_errmsg(db_) : sqlite3_errstr(code));
    throw Error(msg, path, code);
}

namespace {
// The failures after which SQLite may have undone the whole transaction.
bool MayUndoTransaction(int code) {
    const int primary = code & 0xff;
    return primary == SQLITE_FULL || primary == SQLITE_IOERR || primary == SQLITE_NOMEM ||
           primary == SQLITE_BUSY || primary == SQLITE_CORRUPT;
}
}  // namespace

void Database::NoteFailure(int code, const char* message) {
    lastCode_ = code;
    lastMessage_ = QString::fromUtf8(message != nullptr ? message : sqlite3_errstr(code));
    if (transaction_ > 0 && !lost_ && sqlite3_get_autocommit(db_) != 0) {
        lost_ = true;
        lostCause_ = lastMessage_;
    }
}

int Database::Step(sqlite3_stmt* st) {
    // Reading what is committed does no harm; changing it outside the
    // transaction would store half of the work.
    if (lost_ && sqlite3_stmt_readonly(st) == 0) {
        // The statements of an undone transaction must not run on their own.
        lastCode_ = SQLITE_ABORT;
        lastMessage_ = QStringLiteral("The transaction was rolled back: ") + lostCause_;
        return SQLITE_ABORT;
    }
    if (faultHook) {
        const int injected = faultHook(QString::fromUtf8(sqlite3_sql(st)));
        if (injected != SQLITE_OK) {
            if (transaction_ > 0 && MayUndoTransaction(injected))
                sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
            NoteFailure(injected, sqlite3_errstr(injected));
            return injected;
        }
    }
    const int rc = sqlite3_step(st);
    if (rc != SQLITE_ROW && rc != SQLITE_DONE)
        NoteFailure(sqlite3_extended_errcode(db_), sqlite3_errmsg(db_));
    return rc;
}

void Database::Exec(const QString& sql) {
    if (db_ == nullptr) throw Error(QStringLiteral("Database %1 is not open").arg(alias_));
    const QByteArray text = sql.toUtf8();
    const char* rest = text.constData();
    while (rest != nullptr && *rest != '\0') {
        sqlite3_stmt* st = nullptr;
        const char* tail = nullptr;
        int rc = sqlite3_prepare_v2(db_, rest, -1, &st, &tail);
        if (rc != SQLITE_OK) {
            NoteFailure(sqlite3_extended_errcode(db_), sqlite3_errmsg(db_));
            Fail(lastCode_, QString());
        }
        rest = tail;
        if (st == nullptr) continue;  // blanks or a comment
        while ((rc = Step(st)) == SQLITE_ROW) {
        }
        sqlite3_finalize(st);
        if (rc != SQLITE_DONE) Fail(lastCode_, QString());
    }
}

void Database::Attach(const QString& file, const QString& schema) {
    Connect();
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db_, "ATTACH DATABASE ? AS ?", -1, &st, nullptr);
    const bool memory = file == QLatin1String(":memory:");
    const QByteArray path = memory      ? file.toUtf8()
                            : readOnly_ ? ReadOnlyUri(PathOf(file))
                                        : PathOf(file).toUtf8();
    const QByteArray name = schema.toUtf8();
    sqlite3_bind_text(st, 1, path.constData(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(st, 2, name.constData(), -1, SQLITE_TRANSIENT);
    const int rc = Step(st);
    sqlite3_finalize(st);
    if (rc != SQLITE_DONE) Fail(rc, file);
    // Reading alone leaves the file's journal mode to whoever writes it.
    if (readOnly_ && !memory) return;
    // A closed table must be exactly one file: rollback journal, not WAL.
    try {
        Exec(QStringLiteral("PRAGMA %1.journal_mode=DELETE; PRAGMA %1.synchronous=FULL;"
                            " PRAGMA %1.cache_size=-8192")
                 .arg(Quote(schema)));
    } catch (const Error& e) {
        DetachQuietly(schema);
        throw Error(e.Message(), PathOf(file), e.Code());
    }
}

void Database::Detach(const QString& schema) {
    Exec(QStringLiteral("DETACH DATABASE %1").arg(Quote(schema)));
}

void Database::DetachQuietly(const QString& schema) noexcept {
    try {
        Detach(schema);
    } catch (const Error&) {
    }
}

bool Database::TableExists(const QString& file) const {
    return QFileInfo::exists(PathOf(file));
}

void Database::CreateIn(const TableDef& def, const QString& schema) {
    Exec(CreateTableSql(def, schema));
    for (const auto& ix : def.indexes) {
        // A primary index on the autoinc field alone is the row id itself.
        if (ix.primary && ix.fields.size() == 1 && def.FieldIndex(ix.fields[0]) >= 0 &&
            def.fields[def.FieldIndex(ix.fields[0])].type == FieldType::AutoInc)
            continue;
        QStringList cols;
        for (const auto& f : ix.fields)
            cols << Quote(f) + (ix.caseInsensitive ? QStringLiteral(" COLLATE NOCASE") : QString());
        Exec(QStringLiteral("CREATE %1INDEX %2.%3 ON %4 (%5)")
                 .arg(ix.primary ? QStringLiteral("UNIQUE ") : QString(), Quote(schema),
                      Quote(ix.name), Quote(def.SqlName()), cols.join(QLatin1Char(','))));
    }
}

void Database::CreateTable(const TableDef& def) {
    if (readOnly_) throw Error(QStringLiteral("Table does not exist"), PathOf(def.file));
    const QString schema = SchemaName(def.file);
    const bool attached = IsAttached(def.file);
    if (!attached) Attach(def.file, schema);
    try {
        CreateIn(def, schema);
    } catch (...) {
        if (!attached) DetachQuietly(schema);
        throw;
    }
    if (!attached) Detach(schema);
}

// What a file holds, in a form that two files holding the same table, indexes
// and nothing else share: every object, the table's columns, each index's
// columns with their order and collation.
QStringList Database::Describe(const QString& schema, const QString& table) {
    QStringList out;
    auto rows = [&](const QString& sql, const std::function<void(sqlite3_stmt*)>& row) {
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v2(db_, sql.toUtf8().constData(), -1, &st, nullptr) != SQLITE_OK) {
            NoteFailure(sqlite3_extended_errcode(db_), sqlite3_errmsg(db_));
            Fail(lastCode_, QString());
        }
        int rc;
        while ((rc = Step(st)) == SQLITE_ROW)
            row(st);
        sqlite3_finalize(st);
        if (rc != SQLITE_DONE) Fail(lastCode_, QString());
    };
    auto text = [](sqlite3_stmt* st, int c) {
        const auto* t = reinterpret_cast<const char*>(sqlite3_column_text(st, c));
        return t != nullptr ? QString::fromUtf8(t) : QStringLiteral("<null>");
    };
    // Index names follow the view that declares a table, and one file serves
    // two views (the working and the archive rounds): an index is described by
    // what it is, not by its name.
    QStringList indexes;
    rows(QStringLiteral("SELECT type, name, tbl_name FROM %1.sqlite_master ORDER BY type, name")
             .arg(Quote(schema)),
         [&](sqlite3_stmt* st) {
             const QString type = text(st, 0), name = text(st, 1);
             if (type == QLatin1String("table") && name == QLatin1String("sqlite_sequence")) return;
             if (type == QLatin1String("index")) {
                 indexes << name;
                 return;
             }
             out << type + QLatin1Char(' ') + name + QStringLiteral(" on ") + text(st, 2);
         });
    rows(QStringLiteral("PRAGMA %1.table_info(%2)").arg(Quote(schema), Quote(table)),
         [&](sqlite3_stmt* st) {
             out << QStringLiteral("column ") + text(st, 1) + QLatin1Char(' ') + text(st, 2) +
                        QStringLiteral(" notnull=") + text(st, 3) + QStringLiteral(" default=") +
                        text(st, 4) + QStringLiteral(" pk=") + text(st, 5);
         });
    std::map<QString, QString> kindOf;  // index name -> unique, origin, partial
    rows(QStringLiteral("PRAGMA %1.index_list(%2)").arg(Quote(schema), Quote(table)),
         [&](sqlite3_stmt* st) {
             kindOf[text(st, 1)] = QStringLiteral(" unique=") + text(st, 2) +
                                   QStringLiteral(" origin=") + text(st, 3) +
                                   QStringLiteral(" partial=") + text(st, 4);
         });
    QStringList described;
    for (const QString& index : indexes) {
        // An index of another table shows up without a kind and so differs.
        QString d = QStringLiteral("index") + kindOf[index] + QStringLiteral(" on");
        rows(QStringLiteral("PRAGMA %1.index_xinfo(%2)").arg(Quote(schema), Quote(index)),
             [&](sqlite3_stmt* st) {
                 if (text(st, 5) != QLatin1String("1")) return;  // the key columns only
                 d += QLatin1Char(' ') + text(st, 2) + QStringLiteral(" desc=") + text(st, 3) +
                      QLatin1Char(' ') + text(st, 4) + QLatin1Char(',');
             });
        described << d;
    }
    described.sort();
    out << described;
    return out;
}

void Database::CheckSchema(const TableDef& def, const QString& schema) {
    static int counter = 0;
    const QString expectSchema = QStringLiteral("expect_%1").arg(++counter);
    Attach(QStringLiteral(":memory:"), expectSchema);
    QStringList expected;
    try {
        CreateIn(def, expectSchema);
        expected = Describe(expectSchema, def.SqlName());
    } catch (...) {
        DetachQuietly(expectSchema);
        throw;
    }
    Detach(expectSchema);
    if (Describe(schema, def.SqlName()) != expected)
        throw Error(QStringLiteral("Table structure does not match"), PathOf(def.file));
}

Table& Database::Acquire(const TableDef& def) {
    const QString key = def.file.toUpper();
    auto it = tables_.find(key);
    if (it != tables_.end()) {
        ++it->second.users;
        return *it->second.table;
    }
    if (!TableExists(def.file))
        throw Error(QStringLiteral("Table does not exist"), PathOf(def.file));
    const QString schema = SchemaName(def.file);
    Attach(def.file, schema);
    try {
        // The file must hold the declared table and its indexes and nothing
        // else: no trigger or view of a file from elsewhere runs in our store.
        CheckSchema(def, schema);
        if (!readOnly_ && sqlite3_db_readonly(db_, schema.toUtf8().constData()) == 1)
            throw Error(QStringLiteral("Table is read-only"), PathOf(def.file), SQLITE_READONLY);
        Entry e;
        e.table = std::make_unique<Table>(*this, def);
        e.users = 1;
        Table& t = *e.table;
        tables_.emplace(key, std::move(e));
        return t;
    } catch (...) {
        DetachQuietly(schema);
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
    int rc = SQLITE_OK;
    sqlite3_stmt* st = nullptr;
    const QString sql = QStringLiteral("PRAGMA %1.integrity_check(1)").arg(Quote(schema));
    if (sqlite3_prepare_v2(db_, sql.toUtf8().constData(), -1, &st, nullptr) == SQLITE_OK) {
        rc = Step(st);
        if (rc == SQLITE_ROW) {
            const char* r = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
            ok = r != nullptr && qstrcmp(r, "ok") == 0;
        }
    } else {
        rc = sqlite3_extended_errcode(db_);
        NoteFailure(rc, sqlite3_errmsg(db_));
    }
    sqlite3_finalize(st);
    if (!attached) DetachQuietly(schema);
    // A file another process holds, or one we may not read, is no damaged file.
    const int primary = rc & 0xff;
    if (primary == SQLITE_BUSY || primary == SQLITE_LOCKED || primary == SQLITE_PERM ||
        primary == SQLITE_CANTOPEN || primary == SQLITE_NOMEM || primary == SQLITE_IOERR)
        Fail(rc, def.file);
    return ok;
}

void Database::CheckForeign(const TableDef& def) {
    if (IsAttached(def.file)) throw Error(QStringLiteral("Table is in use"), PathOf(def.file));
    if (!TableExists(def.file))
        throw Error(QStringLiteral("Table does not exist"), PathOf(def.file));
    auto tableSql = [&](const QString& schema) {
        QString sql;
        sqlite3_stmt* st = nullptr;
        const QString q =
            QStringLiteral("SELECT sql FROM %1.sqlite_master WHERE type='table' AND name=?")
                .arg(Quote(schema));
        if (sqlite3_prepare_v2(db_, q.toUtf8().constData(), -1, &st, nullptr) != SQLITE_OK) {
            NoteFailure(sqlite3_extended_errcode(db_), sqlite3_errmsg(db_));
            Fail(lastCode_, def.file);
        }
        const QByteArray name = def.SqlName().toUtf8();
        sqlite3_bind_text(st, 1, name.constData(), -1, SQLITE_TRANSIENT);
        const int rc = Step(st);
        if (rc == SQLITE_ROW) {
            const auto* t = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
            sql = t != nullptr ? QString::fromUtf8(t) : QString();
        }
        sqlite3_finalize(st);
        if (rc != SQLITE_ROW && rc != SQLITE_DONE) Fail(lastCode_, def.file);
        return sql;
    };
    QString expected;
    {
        static int counter = 0;
        const QString expectSchema = QStringLiteral("foreign_%1").arg(++counter);
        Attach(QStringLiteral(":memory:"), expectSchema);
        try {
            CreateIn(def, expectSchema);
            expected = tableSql(expectSchema);
        } catch (...) {
            DetachQuietly(expectSchema);
            throw;
        }
        Detach(expectSchema);
    }
    const QString schema = SchemaName(def.file);
    try {
        Attach(def.file, schema);
        try {
            // The objects and the indexes by what they are; then the table's own
            // statement, which alone shows checks, defaults and generated columns.
            CheckSchema(def, schema);
            if (tableSql(schema) != expected)
                throw Error(QStringLiteral("Table structure does not match"), PathOf(def.file));
            CheckCounters(def, schema);
        } catch (...) {
            DetachQuietly(schema);
            throw;
        }
        Detach(schema);
        if (!Check(def))
            throw Error(QStringLiteral("Table is damaged"), PathOf(def.file), SQLITE_CORRUPT);
    } catch (const Error& e) {
        // Whatever SQLite said of it ("file is not a database"), about this file.
        if (!e.File().isEmpty()) throw;
        throw Error(e.Message(), PathOf(def.file), e.Code());
    }
}

// The program keeps an ID of these tables in 32 bits: a foreign file whose IDs
// or whose counter of the next ID lie beyond, or whose counter names another
// table, would have later rows numbered wrong.
void Database::CheckCounters(const TableDef& def, const QString& schema) {
    const int autoInc = def.AutoIncField();
    if (autoInc < 0) return;
    auto count = [&](const QString& sql, const QByteArray& bind) {
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v2(db_, sql.toUtf8().constData(), -1, &st, nullptr) != SQLITE_OK) {
            NoteFailure(sqlite3_extended_errcode(db_), sqlite3_errmsg(db_));
            Fail(lastCode_, def.file);
        }
        if (!bind.isNull()) sqlite3_bind_text(st, 1, bind.constData(), -1, SQLITE_TRANSIENT);
        const int rc = Step(st);
        const int64_t n = rc == SQLITE_ROW ? sqlite3_column_int64(st, 0) : 0;
        sqlite3_finalize(st);
        if (rc != SQLITE_ROW) Fail(lastCode_, def.file);
        return n;
    };
    const QString id = Quote(def.fields[autoInc].name);
    const int64_t wide =
        count(QStringLiteral("SELECT count(*) FROM %1.%2 WHERE %3<0 OR %3>2147483647")
                  .arg(Quote(schema), Quote(def.SqlName()), id),
              QByteArray());
    const int64_t counters =
        count(QStringLiteral("SELECT count(*) FROM %1.sqlite_sequence WHERE name<>? OR "
                             "typeof(seq)<>'integer' OR seq<0 OR seq>2147483647")
                  .arg(Quote(schema)),
              def.SqlName().toUtf8());
    if (wide > 0 || counters > 0)
        throw Error(QStringLiteral("Table counter out of range"), PathOf(def.file));
}

void Database::Repair(const TableDef& def) {
    if (Check(def)) return;
    if (readOnly_)
        throw Error(QStringLiteral("Table is damaged"), PathOf(def.file), SQLITE_CORRUPT);
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
    if (transaction_ == 0) {
        Exec(QStringLiteral("BEGIN"));
        rollbackOnly_ = lost_ = false;
    }
    ++transaction_;
}

void Database::Commit() {
    if (transaction_ == 0) return;
    if (--transaction_ > 0) return;
    if (lost_) {
        const QString cause = lostCause_;
        EndTransaction(false);
        throw Error(QStringLiteral("The transaction was rolled back: ") + cause, QString(),
                    SQLITE_ABORT);
    }
    if (rollbackOnly_) {
        EndTransaction(false);
        throw Error(QStringLiteral("The transaction was rolled back."), QString(), SQLITE_ABORT);
    }
    try {
        Exec(QStringLiteral("COMMIT"));
    } catch (const Error&) {
        // Still open after a busy commit, or undone by SQLite: ended here, undone.
        EndTransaction(false);
        throw;
    }
    EndTransaction(true);
}

void Database::Savepoint(const QString& name) {
    if (transaction_ == 0) throw Error(QStringLiteral("A savepoint needs a transaction"));
    Exec(QStringLiteral("SAVEPOINT %1").arg(Quote(name)));
}

void Database::ReleaseSavepoint(const QString& name) {
    Exec(QStringLiteral("RELEASE %1").arg(Quote(name)));
}

bool Database::RollbackTo(const QString& name) noexcept {
    if (db_ == nullptr || transaction_ == 0 || lost_ || sqlite3_get_autocommit(db_) != 0)
        return false;
    const QByteArray sql = QStringLiteral("ROLLBACK TO %1").arg(Quote(name)).toUtf8();
    return sqlite3_exec(db_, sql.constData(), nullptr, nullptr, nullptr) == SQLITE_OK;
}

// Inside an outer transaction only marks it: the outer commit then undoes all.
void Database::Rollback() noexcept {
    if (transaction_ == 0) return;
    if (--transaction_ > 0) {
        rollbackOnly_ = true;
        return;
    }
    EndTransaction(false);
}

void Database::EndTransaction(bool committed) {
    transaction_ = 0;
    if (!committed && db_ != nullptr && sqlite3_get_autocommit(db_) == 0)
        sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    rollbackOnly_ = lost_ = false;
    lostCause_.clear();
    try {
        DetachUnused();
    } catch (const Error&) {  // a file left attached is detached at the next commit
    }
}

}  // namespace kordex::store
