#pragma once

#include <QByteArray>
#include <QString>
#include <vector>

#include "zip/Result.h"

namespace kordex::zip {

// One entry of an archive's central directory, with where its data lie.
struct Entry {
    QByteArray rawName;  // the name as stored
    QString bareName;    // the last part of the name; empty for a directory entry
    quint16 madeBy = 0;
    quint16 flags = 0;
    quint16 method = 0;
    quint32 crc = 0;
    quint32 externalAttributes = 0;
    quint64 compressedSize = 0;
    quint64 size = 0;
    quint64 localOffset = 0;  // local header
    quint64 dataOffset = 0;   // compressed data, after the local header

    bool IsDirectory() const { return bareName.isEmpty(); }
    bool IsEncrypted() const { return (flags & 0x0001) != 0; }
};

struct Directory {
    std::vector<Entry> entries;
    quint64 fileSize = 0;
    quint64 centralOffset = 0;
    quint64 centralSize = 0;
};

// Reads and checks the directory of a ZIP file without trusting any of it:
// every offset and length is bounded by the file, every local header is read
// and must agree with its directory entry, no two entries' data and no entry
// and the central directory may share a byte, and no name may be absolute,
// climb with "..", or belong to a symbolic link or device. Nothing is written.
// On Ok the entries are in `out`; otherwise `out` is empty.
Result ReadDirectory(const QString& fileName, Directory& out);

}  // namespace kordex::zip
