#include "zip/Directory.h"

#include <QFile>
#include <algorithm>

namespace kordex::zip {

const char* OutcomeName(Outcome outcome) {
    switch (outcome) {
        case Outcome::Ok:
            return "Ok";
        case Outcome::Cancelled:
            return "Cancelled";
        case Outcome::BadCrc:
            return "BadCrc";
        case Outcome::Incomplete:
            return "Incomplete";
        case Outcome::NotZip:
            return "NotZip";
        case Outcome::Hostile:
            return "Hostile";
        case Outcome::TooBig:
            return "TooBig";
        case Outcome::Unsupported:
            return "Unsupported";
        case Outcome::IoError:
            return "IoError";
    }
    return "?";
}

namespace {

constexpr quint32 LocalSig = 0x04034b50;
constexpr quint32 CentralSig = 0x02014b50;
constexpr quint32 EndSig = 0x06054b50;
constexpr quint32 Zip64LocatorSig = 0x07064b50;
constexpr quint32 SpanSig = 0x08074b50;
constexpr int EndSize = 22;
constexpr int CentralSize = 46;
constexpr int LocalSize = 30;
constexpr int MaxComment = 0xFFFF;
// The directory of three tables with their index files is a few hundred
// bytes; anything near this is not one of ours.
constexpr quint64 MaxCentralSize = 16u << 20;

quint16 U16(const char* p) {
    const auto* u = reinterpret_cast<const unsigned char*>(p);
    return static_cast<quint16>(u[0] | (u[1] << 8));
}

quint32 U32(const char* p) {
    const auto* u = reinterpret_cast<const unsigned char*>(p);
    return static_cast<quint32>(u[0]) | (static_cast<quint32>(u[1]) << 8) |
           (static_cast<quint32>(u[2]) << 16) | (static_cast<quint32>(u[3]) << 24);
}

Result Fail(Outcome outcome, const QString& what, const QString& fileName) {
    return Result{outcome, what + QStringLiteral(" (") + fileName + QLatin1Char(')'), 0, 0};
}

// A bounded read at an absolute offset: exactly `length` bytes or nothing.
bool ReadAt(QFile& file, quint64 offset, qint64 length, QByteArray& out) {
    if (!file.seek(static_cast<qint64>(offset))) return false;
    out = file.read(length);
    return out.size() == length;
}

// Checks a stored name and returns its last part (empty for a directory).
// Both separators count: archives made on DOS and Windows use backslashes.
bool BareName(const QByteArray& raw, bool utf8, QString& bare, QString& why) {
    if (raw.isEmpty()) {
        why = QStringLiteral("An entry has no name");
        return false;
    }
    if (raw.contains('\0')) {
        why = QStringLiteral("An entry's name holds a zero byte");
        return false;
    }
    const QString name = utf8 ? QString::fromUtf8(raw) : QString::fromLatin1(raw);
    const bool absolute =
        raw.startsWith('/') || raw.startsWith('\\') || (raw.size() >= 2 && raw.at(1) == ':');
    if (absolute) {
        why = QStringLiteral("Entry \"%1\" has an absolute name").arg(name);
        return false;
    }
    const QStringList parts = QString(name).replace(QLatin1Char('\\'), QLatin1Char('/')).split('/');
    for (const QString& p : parts) {
        if (p == QLatin1String("..")) {
            why = QStringLiteral("Entry \"%1\" climbs out of its directory").arg(name);
            return false;
        }
    }
    bare = parts.last();
    if (bare == QLatin1String(".")) bare.clear();
    return true;
}

bool IsLinkOrDevice(const Entry& e) {
    const int host = e.madeBy >> 8;
    if (host != 3 && host != 19) return false;  // Unix and macOS keep a mode here
    const quint32 type = (e.externalAttributes >> 16) & 0170000;
    return type != 0 && type != 0100000 && type != 0040000;
}

bool LooksLikeZipStart(QFile& file) {
    QByteArray head;
    if (!ReadAt(file, 0, 4, head)) return false;
    const quint32 sig = U32(head.constData());
    return sig == LocalSig || sig == SpanSig || sig == 0x30304b50 /* "PK00" spanning */;
}

}  // namespace

Result ReadDirectory(const QString& fileName, Directory& out) {
    out = Directory{};
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return Fail(Outcome::IoError, QStringLiteral("Cannot open the file: ") + file.errorString(),
                    fileName);
    const quint64 size = static_cast<quint64>(file.size());
    const auto notFound = [&] {
        if (LooksLikeZipStart(file))
            return Fail(Outcome::Incomplete,
                        QStringLiteral("The archive has no central directory: it is cut short "
                                       "or one disk of a multi-volume set"),
                        fileName);
        return Fail(Outcome::NotZip, QStringLiteral("The file is not a ZIP archive"), fileName);
    };
    if (size < static_cast<quint64>(EndSize)) return notFound();

    // The end record is the last 22 bytes plus its comment; search back for a
    // signature whose comment length reaches exactly to the end of the file.
    const quint64 tailSize = std::min<quint64>(size, EndSize + MaxComment);
    QByteArray tail;
    if (!ReadAt(file, size - tailSize, static_cast<qint64>(tailSize), tail))
        return Fail(Outcome::IoError, QStringLiteral("Cannot read the file"), fileName);
    qint64 at = -1;
    for (qint64 i = tail.size() - EndSize; i >= 0; --i) {
        const char* p = tail.constData() + i;
        if (U32(p) == EndSig && U16(p + 20) == tail.size() - i - EndSize) {
            at = i;
            break;
        }
    }
    if (at < 0) return notFound();
    const char* end = tail.constData() + at;
    const quint64 endOffset = size - tailSize + static_cast<quint64>(at);
    const quint16 disk = U16(end + 4), centralDisk = U16(end + 6);
    const quint16 onDisk = U16(end + 8), total = U16(end + 10);
    const quint32 centralSize = U32(end + 12), centralOffset = U32(end + 16);

    if (at >= 20 && U32(end - 20) == Zip64LocatorSig)
        return Fail(Outcome::Unsupported, QStringLiteral("ZIP64 archives are not read"), fileName);
    if (disk != 0 || centralDisk != 0 || onDisk != total)
        return Fail(Outcome::Unsupported, QStringLiteral("Multi-volume archives are not read"),
                    fileName);
    if (static_cast<quint64>(centralOffset) + centralSize > endOffset)
        return Fail(Outcome::Hostile, QStringLiteral("The central directory lies outside the file"),
                    fileName);
    if (centralSize > MaxCentralSize)
        return Fail(Outcome::TooBig, QStringLiteral("The central directory is too large"),
                    fileName);

    QByteArray central;
    if (!ReadAt(file, centralOffset, centralSize, central))
        return Fail(Outcome::IoError, QStringLiteral("Cannot read the central directory"),
                    fileName);

    Directory dir;
    dir.fileSize = size;
    dir.centralOffset = centralOffset;
    dir.centralSize = centralSize;
    dir.entries.reserve(total);
    const auto damaged = [&](const QString& what) {
        return Fail(Outcome::Hostile, what, fileName);
    };
    qint64 pos = 0;
    for (int i = 0; i < total; ++i) {
        if (pos + CentralSize > central.size())
            return damaged(QStringLiteral("The central directory is cut short"));
        const char* p = central.constData() + pos;
        if (U32(p) != CentralSig)
            return damaged(QStringLiteral("The central directory is damaged"));
        Entry e;
        e.madeBy = U16(p + 4);
        e.flags = U16(p + 8);
        e.method = U16(p + 10);
        e.crc = U32(p + 16);
        const quint32 csize = U32(p + 20), usize = U32(p + 24);
        const quint16 nameLen = U16(p + 28), extraLen = U16(p + 30), commentLen = U16(p + 32);
        const quint16 startDisk = U16(p + 34);
        e.externalAttributes = U32(p + 38);
        const quint32 local = U32(p + 42);
        const qint64 recordSize = CentralSize + nameLen + extraLen + commentLen;
        if (pos + recordSize > central.size())
            return damaged(QStringLiteral("The central directory is cut short"));
        e.rawName = QByteArray(p + CentralSize, nameLen);
        pos += recordSize;

        if (csize == 0xFFFFFFFFu || usize == 0xFFFFFFFFu || local == 0xFFFFFFFFu)
            return Fail(Outcome::Unsupported, QStringLiteral("ZIP64 archives are not read"),
                        fileName);
        if (startDisk != 0)
            return Fail(Outcome::Unsupported, QStringLiteral("Multi-volume archives are not read"),
                        fileName);
        QString why;
        if (!BareName(e.rawName, (e.flags & 0x0800) != 0, e.bareName, why))
            return Fail(Outcome::Hostile, why, fileName);
        if (IsLinkOrDevice(e))
            return Fail(Outcome::Hostile,
                        QStringLiteral("Entry \"%1\" is a symbolic link or a device")
                            .arg(QString::fromLatin1(e.rawName)),
                        fileName);
        e.compressedSize = csize;
        e.size = usize;
        e.localOffset = local;

        // The local header must lie before the central directory and carry
        // the same name; the data follow it.
        QByteArray header;
        if (e.localOffset + LocalSize > centralOffset ||
            !ReadAt(file, e.localOffset, LocalSize, header) || U32(header.constData()) != LocalSig)
            return damaged(QStringLiteral("Entry \"%1\" has no local header")
                               .arg(QString::fromLatin1(e.rawName)));
        const quint16 localName = U16(header.constData() + 26);
        const quint16 localExtra = U16(header.constData() + 28);
        QByteArray storedName;
        if (e.localOffset + LocalSize + localName > centralOffset ||
            !ReadAt(file, e.localOffset + LocalSize, localName, storedName) ||
            storedName != e.rawName)
            return damaged(QStringLiteral("Entry \"%1\" is named differently in its local header")
                               .arg(QString::fromLatin1(e.rawName)));
        e.dataOffset = e.localOffset + LocalSize + localName + localExtra;
        if (e.dataOffset + e.compressedSize > centralOffset)
            return damaged(QStringLiteral("Entry \"%1\" overlaps the central directory")
                               .arg(QString::fromLatin1(e.rawName)));
        dir.entries.push_back(std::move(e));
    }
    if (pos != central.size())
        return damaged(QStringLiteral("The central directory does not match its entry count"));

    // No two entries may share a byte: overlapping entries are how a small
    // file declares a huge total.
    std::vector<const Entry*> byOffset;
    for (const Entry& e : dir.entries)
        byOffset.push_back(&e);
    std::sort(byOffset.begin(), byOffset.end(),
              [](const Entry* a, const Entry* b) { return a->localOffset < b->localOffset; });
    for (size_t i = 1; i < byOffset.size(); ++i) {
        const Entry* prev = byOffset[i - 1];
        if (byOffset[i]->localOffset < prev->dataOffset + prev->compressedSize)
            return damaged(QStringLiteral("Entries \"%1\" and \"%2\" overlap")
                               .arg(QString::fromLatin1(prev->rawName),
                                    QString::fromLatin1(byOffset[i]->rawName)));
    }
    out = std::move(dir);
    return Result{Outcome::Ok, {}, static_cast<int>(out.entries.size()), 0};
}

}  // namespace kordex::zip
