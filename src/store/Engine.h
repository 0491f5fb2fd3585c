#pragma once

#include <QString>
#include <QVariant>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "Schema.h"

struct sqlite3;
struct sqlite3_stmt;

namespace kordex::store {

class Database;

// Values of one row's data fields, in field order; an invalid QVariant is empty.
using Values = std::vector<QVariant>;

// One table file attached to its database's connection. Views share it.
class Table {
public:
    Table(Database& db, TableDef def);
    ~Table();
    Table(const Table&) = delete;
    Table& operator=(const Table&) = delete;

    const TableDef& Def() const { return def_; }
    Database& Db() { return db_; }
    // Quoted "schema"."table" for statements.
    const QString& Sql() const { return sql_; }

    // Reads a row's data fields; false when there is no such row.
    bool Fetch(int64_t rowid, Values& out);
    // Inserts a row and returns its row id; an autoinc field is assigned and
    // written back into values.
    int64_t Insert(Values& values);
    void Update(int64_t rowid, const Values& values);
    void Remove(int64_t rowid);
    void Empty();
    int64_t Count();
    // Whether a row satisfies an SQL condition, and deleting all that do.
    bool Any(const QString& where, const std::vector<QVariant>& binds);
    int64_t DeleteWhere(const QString& where, const std::vector<QVariant>& binds);

    // Runs a query over the table: where and orderBy are SQL fragments
    // (either may be empty), binds their parameters. The callback gets each
    // row id and, when withValues, the row's data fields.
    void Scan(const QString& where, const std::vector<QVariant>& binds, const QString& orderBy,
              bool withValues, const std::function<void(int64_t, const Values*)>& row);

    // Incremented by every change made through this table.
    uint64_t Version() const { return version_; }

private:
    sqlite3_stmt* Prepare(const QString& sql);
    void ReadValues(sqlite3_stmt* st, int firstColumn, Values& out);

    Database& db_;
    TableDef def_;
    QString sql_;
    QString columns_;
    sqlite3_stmt* fetch_ = nullptr;
    sqlite3_stmt* insert_ = nullptr;
    sqlite3_stmt* update_ = nullptr;
    sqlite3_stmt* remove_ = nullptr;
    uint64_t version_ = 0;
};

// One database directory. All its tables are files of the directory, each a
// SQLite database of its own attached to one connection, so that a table
// stays one file that the standard sqlite3 tool reads, and bulk work can
// commit several tables at once.
class Database {
public:
    Database(QString alias, QString directory);
    ~Database();
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    const QString& Alias() const { return alias_; }
    const QString& Directory() const { return directory_; }
    void SetDirectory(const QString& directory) { directory_ = directory; }
    QString PathOf(const QString& file) const;

    void Connect();
    void Disconnect();
    bool Connected() const { return db_ != nullptr; }

    // A read-only database opens its table files for reading only: nothing is
    // created, repaired or written, and a file that another program holds open
    // for writing is read as it was last committed. Set before Connect.
    void SetReadOnly(bool on) { readOnly_ = on; }
    bool ReadOnly() const { return readOnly_; }

    bool TableExists(const QString& file) const;
    // Creates the table file with its fields and indexes.
    void CreateTable(const TableDef& def);
    // Opens (attaches) a table, checking that it is sound and has the declared
    // fields; shared by every view of it until the last one releases it.
    Table& Acquire(const TableDef& def);
    void Release(Table& table);
    bool IsAttached(const QString& file) const { return tables_.count(file.toUpper()) != 0; }

    // Checks a table file and repairs it if it is damaged: rebuild the
    // indexes, and failing that copy the rows into a new file. Never replaces
    // a file by one with fewer rows; throws when the table cannot be saved.
    void Repair(const TableDef& def);
    // True when the table file passes SQLite's integrity check.
    bool Check(const TableDef& def);
    // Checks a table file that came from elsewhere (an archive) before it is
    // used: it must hold the declared table, created by the very statement
    // this program creates it with (no constraint, default or column more),
    // its indexes and nothing else, and pass the integrity check. Throws an
    // Error saying what is wrong; the file is only read.
    void CheckForeign(const TableDef& def);

    // Bulk work: commits everything in between at once. Nested levels only
    // count; a rollback inside marks the whole transaction to be undone, and
    // the outer commit then undoes it and throws. A commit that fails undoes
    // the transaction and throws: the tables are as they were before Begin.
    void Begin();
    void Commit();
    // Undoes the whole transaction at the outermost level; never throws.
    void Rollback() noexcept;
    bool InTransaction() const { return transaction_ > 0; }
    // Inside a transaction: a point that RollbackTo undoes the work back to,
    // keeping what came before it. Release forgets the point, keeping the work.
    void Savepoint(const QString& name);
    void ReleaseSavepoint(const QString& name);
    // False when it could not be done (SQLite undid the whole transaction).
    bool RollbackTo(const QString& name) noexcept;
    // SQLite undid the transaction by itself (a full disk, an I/O error): every
    // further statement of it fails until it is ended by Commit or Rollback.
    bool TransactionLost() const { return lost_; }

    // How long a statement waits for another connection's lock before it fails.
    static constexpr int BusyTimeoutMs = 5000;

    // A seam for fault injection: asked before every statement with its SQL
    // text; any result but 0 (SQLITE_OK) fails the statement with that SQLite
    // code. A full disk or an I/O error inside a transaction also undoes the
    // transaction, as SQLite itself may.
    std::function<int(const QString& sql)> faultHook;

    sqlite3* Handle() const { return db_; }
    // Steps a statement of this connection, through the fault seam, noting a
    // transaction that SQLite undid on its own.
    int Step(sqlite3_stmt* st);
    // Runs statements without results; throws Error.
    void Exec(const QString& sql);
    // Throws an Error for the failure of the last statement; file is the table
    // file concerned (a bare name is taken as a file of this database).
    [[noreturn]] void Fail(int code, const QString& file) const;

private:
    // IDs and the next-ID counter of an attached foreign file within 32 bits.
    void CheckCounters(const TableDef& def, const QString& schema);
    QString SchemaName(const QString& file) const;
    void Attach(const QString& file, const QString& schema);
    void Detach(const QString& schema);
    void DetachQuietly(const QString& schema) noexcept;
    void CreateIn(const TableDef& def, const QString& schema);
    QStringList Describe(const QString& schema, const QString& table);
    void CheckSchema(const TableDef& def, const QString& schema);
    void DetachUnused();

    QString alias_;
    QString directory_;
    bool readOnly_ = false;
    sqlite3* db_ = nullptr;
    struct Entry {
        std::unique_ptr<Table> table;
        int users = 0;
    };
    std::map<QString, Entry> tables_;  // by upper-case file name
    void NoteFailure(int code, const char* message);
    void EndTransaction(bool commit);

    int transaction_ = 0;
    bool rollbackOnly_ = false;
    bool lost_ = false;
    QString lostCause_;
    int lastCode_ = 0;
    QString lastMessage_;
};

// The SQL of a table's schema, for tests and tools.
QString CreateTableSql(const TableDef& def, const QString& schema);

}  // namespace kordex::store
