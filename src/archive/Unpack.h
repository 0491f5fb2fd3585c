#pragma once

#include <QString>
#include <QStringList>
#include <vector>

#include "store/Schema.h"
#include "zip/Archive.h"

namespace kordex::archive {

// The table files of the rounds, as an event archive holds them.
const QStringList& RoundFiles();

// The round tables of an archive file on their way into a database directory
// (DB.ARH or DB.TMP): unpacked into a directory of their own inside it,
// checked there as files from elsewhere, and only then put in place of the
// database's tables, all of them or none. The unpacking directory goes with
// the object.
class Unpack {
public:
    // databaseDirectory: where the tables go; the unpacking directory is made
    // inside it (an old one, left by a crash, is emptied first).
    explicit Unpack(const QString& databaseDirectory);
    ~Unpack();
    Unpack(const Unpack&) = delete;
    Unpack& operator=(const Unpack&) = delete;

    const QString& Directory() const { return stage_; }

    // Extracts the round tables the archive holds into the unpacking
    // directory, all or nothing; other entries are left out (counted as
    // skipped). An Ok whose extracted and skipped entries do not add up to the
    // archive's entries is turned into a failure.
    zip::Result Extract(zip::Archive& archive);
    // The round tables unpacked, as named in RoundFiles().
    const QStringList& Files() const { return files_; }

    // Checks each unpacked table against its declaration (found by file
    // name): the declared table and its indexes, nothing else, sound. Throws
    // store::Error naming the file and what is wrong with it.
    void Check(const std::vector<store::TableDef>& defs);

    // Puts the unpacked tables in place of the database's, with the tables'
    // journals, while the database is closed. With dropMissing the round
    // tables the archive does not hold are taken away too, so that they are
    // made anew, empty. All or nothing: on a failure every file is put back
    // and store::Error is thrown.
    void Replace(bool dropMissing);

private:
    QString target_;  // with a trailing separator
    QString stage_;   // with a trailing separator
    QStringList files_;
};

}  // namespace kordex::archive
