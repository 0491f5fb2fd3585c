#pragma once

#include <QString>
#include <QStringList>

#include "zip/Directory.h"
#include "zip/Result.h"

namespace kordex::zip {

// The biggest total the extraction writes, whatever the disk has free.
constexpr quint64 MaxExtractTotal = 4ull << 30;

// The event archive's ZIP file: the calls the archive commands make, in their
// order. Set the name; read the directory; set the destination; extract and
// count; or add the files of masks to a new archive and count; release.
//
// Nothing from the file is trusted: ReadDirectory refuses the whole file for
// one unsafe entry, the extraction writes only entries whose bare names the
// caller asks for and is all or nothing, and stored attributes are never
// applied. No libzip handle is kept between calls.
class Archive {
public:
    Archive() = default;

    void SetName(const QString& fileName) {
        Release();
        name_ = fileName;
    }
    const QString& Name() const { return name_; }

    // Reads and checks the directory of the named file (see zip::ReadDirectory).
    // count = number of entries.
    Result ReadDirectory();
    // Entries of the directory read; 0 before a successful ReadDirectory.
    int EntryCount() const { return static_cast<int>(dir_.entries.size()); }
    const std::vector<Entry>& Entries() const { return dir_.entries; }

    void SetDestination(const QString& directory) { destination_ = directory; }
    const QString& Destination() const { return destination_; }

    void SetProgress(Progress progress) { progress_ = std::move(progress); }

    // Extracts the entries whose bare names are among `names` (compared
    // without case; each written under the spelling given in `names`) into the
    // destination, overwriting files of those names. Directory parts of the
    // stored names are dropped; other entries are skipped (Result::skipped).
    // Two wanted entries with the same bare name, an entry that inflates to
    // other than its declared size, or a declared total beyond the free space
    // of the destination or MaxExtractTotal refuse the whole file before or
    // while writing. Every entry goes to a temporary file in the destination;
    // only when all are complete and their CRCs match do they take their
    // names; on any failure the destination is left as it was.
    // Reads the directory first if it has not been read. count = entries written.
    Result ExtractAll(const QStringList& names);

    // Writes a new archive under the name: every regular file of `directory`
    // matching one of `masks` (wildcards, no case; symbolic links and the
    // archive itself left out), under its bare name, deflated at level 6. The
    // archive is written beside the name, read back entry by entry with its
    // CRCs checked, and only then renamed over the name, so a failure or a
    // cancel leaves an existing file of that name as it was and no new file.
    // count = files added.
    Result AddFiles(const QString& directory, const QStringList& masks);

    // Forgets the directory read; the name and destination stay.
    void Release() {
        dir_ = Directory{};
        read_ = false;
    }

private:
    bool Report(int percent);

    QString name_;
    QString destination_;
    Directory dir_;
    bool read_ = false;
    Progress progress_;
    int lastPercent_ = -1;
};

}  // namespace kordex::zip
