#pragma once

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QVariant>
#include <initializer_list>
#include <memory>
#include <utility>

#include "link/DateTime.h"
#include "shell/Clock.h"
#include "shell/Prompt.h"
#include "shell/StatusWindow.h"
#include "store/DataModule.h"

namespace kordex::store::testing {

using Row = std::initializer_list<std::pair<const char*, QVariant>>;

// Appends and posts one row.
inline void Add(View& v, Row row) {
    v.Append();
    for (const auto& [field, value] : row)
        v.SetValue(QString::fromLatin1(field), value);
    v.Post();
}

inline double Stamp(int day, int hour = 0, int minute = 0) {
    return link::DateTime::FromDate(QDate(2025, 3, day), QTime(hour, minute)).Days();
}

// The values of one field over the whole range of a view, in view order.
inline QStringList Column(View& v, const QString& field) {
    QStringList out;
    for (int i = 0; i < v.RecordCount(); ++i) {
        const std::vector<QVariant> row = v.RowAt(i);
        out << row.at(v.FieldIndex(field)).toString();
    }
    return out;
}

// A table file read with SQLite itself, beside the program's engine.
class RawFile {
public:
    explicit RawFile(const QString& path) {
        if (sqlite3_open_v2(QFile::encodeName(path).constData(), &db_, SQLITE_OPEN_READONLY,
                            nullptr) != SQLITE_OK) {
            sqlite3_close(db_);
            db_ = nullptr;
        }
    }
    ~RawFile() { sqlite3_close(db_); }
    RawFile(const RawFile&) = delete;
    RawFile& operator=(const RawFile&) = delete;

    bool IsOpen() const { return db_ != nullptr; }

    // Every row of a query, each value as text (empty for null); {"<error>"} on failure.
    std::vector<QStringList> Query(const QString& sql) const {
        std::vector<QStringList> rows;
        sqlite3_stmt* st = nullptr;
        if (db_ == nullptr ||
            sqlite3_prepare_v2(db_, sql.toUtf8().constData(), -1, &st, nullptr) != SQLITE_OK)
            return {{QStringLiteral("<error>")}};
        int rc;
        while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
            QStringList row;
            for (int c = 0; c < sqlite3_column_count(st); ++c) {
                const auto* t = reinterpret_cast<const char*>(sqlite3_column_text(st, c));
                row << (t ? QString::fromUtf8(t) : QString());
            }
            rows.push_back(row);
        }
        sqlite3_finalize(st);
        if (rc != SQLITE_DONE) return {{QStringLiteral("<error>")}};
        return rows;
    }

    QString Scalar(const QString& sql) const {
        const auto rows = Query(sql);
        return rows.empty() || rows[0].isEmpty() ? QString() : rows[0][0];
    }

private:
    sqlite3* db_ = nullptr;
};

// A data module over a fresh program directory, with a scripted prompt and
// status window.
class ModuleTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        dm = std::make_unique<TDM>(prompt, status, clock, pump, dir.path());
    }

    void Open() { ASSERT_TRUE(dm->OpenDatabases()) << prompt.Texts().join('|').toStdString(); }

    QString PathOf(const QString& sub, const QString& file) const {
        return QDir(dir.path()).filePath(sub + QLatin1Char('/') + file);
    }

    bool NothingOpen() const {
        if (dm->Database().Connected() || dm->DatabaseA().Connected() ||
            dm->DatabaseT().Connected())
            return false;
        for (const auto& c : dm->Components())
            if (c.view != nullptr && c.view->IsOpen()) return false;
        return true;
    }

    QTemporaryDir dir;
    shell::ScriptedPrompt prompt;
    shell::ScriptedStatusWindow status;
    shell::FakeClock clock;
    shell::HookPump pump;
    std::unique_ptr<TDM> dm;
};

}  // namespace kordex::store::testing
