#include "zip/Archive.h"

#include <zip.h>
#include <zlib.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStorageInfo>
#include <QTemporaryFile>
#include <filesystem>
#include <memory>
#include <system_error>

namespace kordex::zip {

namespace {

namespace fs = std::filesystem;

fs::path PathOf(const QString& s) {
#ifdef _WIN32
    return fs::path(s.toStdWString());
#else
    return fs::path(QFile::encodeName(s).toStdString());
#endif
}

QByteArray NativeName(const QString& s) {
    return QFile::encodeName(s);
}

Result Fail(Outcome outcome, const QString& what, const QString& fileName) {
    return Result{outcome, what + QStringLiteral(" (") + fileName + QLatin1Char(')'), 0, 0};
}

struct ZipCloser {
    void operator()(zip_t* za) const { zip_discard(za); }
};
using ZipHandle = std::unique_ptr<zip_t, ZipCloser>;

struct FileCloser {
    void operator()(zip_file_t* zf) const { zip_fclose(zf); }
};
using ZipFileHandle = std::unique_ptr<zip_file_t, FileCloser>;

QString ZipErrorText(int code) {
    zip_error_t error;
    zip_error_init_with_code(&error, code);
    QString text = QString::fromLocal8Bit(zip_error_strerror(&error));
    zip_error_fini(&error);
    return text;
}

ZipHandle OpenForReading(const QString& fileName, Result& failure) {
    int code = 0;
    zip_t* za = zip_open(NativeName(fileName).constData(), ZIP_RDONLY, &code);
    if (za == nullptr) {
        const Outcome outcome = code == ZIP_ER_NOZIP       ? Outcome::NotZip
                                : code == ZIP_ER_MULTIDISK ? Outcome::Unsupported
                                : code == ZIP_ER_INCONS    ? Outcome::Hostile
                                                           : Outcome::IoError;
        failure = Fail(outcome, QStringLiteral("Cannot open the archive: ") + ZipErrorText(code),
                       fileName);
    }
    return ZipHandle(za);
}

// Reads entry `index` to its end, handing the data to `sink`, and checks that
// it is exactly the declared size and has the declared CRC. Reading stops as
// soon as more comes out than was declared.
template <typename Sink>
Result ReadEntry(zip_t* za, zip_uint64_t index, const Entry& e, const QString& fileName,
                 Sink&& sink) {
    ZipFileHandle zf(zip_fopen_index(za, index, 0));
    const QString name = QString::fromLatin1(e.rawName);
    if (!zf) {
        const int code = zip_error_code_zip(zip_get_error(za));
        return Fail(code == ZIP_ER_COMPNOTSUPP || code == ZIP_ER_ENCRNOTSUPP ? Outcome::Unsupported
                                                                             : Outcome::IoError,
                    QStringLiteral("Cannot read entry \"%1\": %2").arg(name, ZipErrorText(code)),
                    fileName);
    }
    static constexpr zip_uint64_t Chunk = 64 * 1024;
    QByteArray buffer(Chunk, Qt::Uninitialized);
    quint64 done = 0;
    uLong crc = crc32(0, nullptr, 0);
    for (;;) {
        // One byte beyond the declared size is enough to know it lies.
        const zip_uint64_t want = std::min<zip_uint64_t>(Chunk, e.size - done + 1);
        const zip_int64_t n = zip_fread(zf.get(), buffer.data(), want);
        if (n < 0) {
            const int code = zip_error_code_zip(zip_file_get_error(zf.get()));
            if (code == ZIP_ER_CRC)
                return Fail(Outcome::BadCrc, QStringLiteral("CRC error in entry \"%1\"").arg(name),
                            fileName);
            return Fail(
                Outcome::Hostile,
                QStringLiteral("Entry \"%1\" cannot be inflated: %2").arg(name, ZipErrorText(code)),
                fileName);
        }
        if (n == 0) break;
        done += static_cast<quint64>(n);
        if (done > e.size)
            return Fail(Outcome::Hostile,
                        QStringLiteral("Entry \"%1\" inflates beyond its declared size").arg(name),
                        fileName);
        crc = crc32(crc, reinterpret_cast<const Bytef*>(buffer.constData()), static_cast<uInt>(n));
        Result r = sink(buffer.constData(), n, done);
        if (!r.IsOk()) return r;
    }
    if (done != e.size)
        return Fail(Outcome::Hostile,
                    QStringLiteral("Entry \"%1\" is shorter than its declared size").arg(name),
                    fileName);
    if (crc != e.crc)
        return Fail(Outcome::BadCrc, QStringLiteral("CRC error in entry \"%1\"").arg(name),
                    fileName);
    return Result{};
}

// The pieces of an extraction: a temporary file in the destination that takes
// the target's name once everything has been written.
struct Pending {
    std::unique_ptr<QTemporaryFile> temp;
    QString target;
    QString backup;  // the target's earlier file, moved aside while renaming
    bool placed = false;
};

bool Exists(const QString& path) {
    std::error_code ec;
    return fs::symlink_status(PathOf(path), ec).type() != fs::file_type::not_found && !ec;
}

// Gives every temporary file its name. Earlier files of those names are moved
// aside first and put back if any rename fails, so the destination ends with
// either all the new files or its old ones.
bool Commit(std::vector<Pending>& files, QString& why) {
    std::error_code ec;
    bool ok = true;
    for (Pending& p : files) {
        if (Exists(p.target)) {
            QTemporaryFile aside(p.target + QStringLiteral(".old-XXXXXX"));
            if (!aside.open()) {
                why = QStringLiteral("Cannot create a file beside ") + p.target;
                ok = false;
                break;
            }
            aside.setAutoRemove(false);
            p.backup = aside.fileName();
            aside.close();
            fs::rename(PathOf(p.target), PathOf(p.backup), ec);
            if (ec) {
                QFile::remove(p.backup);
                p.backup.clear();
                why = QStringLiteral("Cannot rename %1: %2")
                          .arg(p.target, QString::fromLocal8Bit(ec.message()));
                ok = false;
                break;
            }
        }
        fs::rename(PathOf(p.temp->fileName()), PathOf(p.target), ec);
        if (ec) {
            why = QStringLiteral("Cannot rename to %1: %2")
                      .arg(p.target, QString::fromLocal8Bit(ec.message()));
            ok = false;
            break;
        }
        p.temp->setAutoRemove(false);
        p.placed = true;
    }
    for (auto it = files.rbegin(); it != files.rend(); ++it) {
        Pending& p = *it;
        if (!ok && p.placed) fs::remove(PathOf(p.target), ec);
        if (p.backup.isEmpty()) continue;
        if (ok)
            fs::remove(PathOf(p.backup), ec);
        else
            fs::rename(PathOf(p.backup), PathOf(p.target), ec);
    }
    return ok;
}

// The end record of an archive without entries (libzip writes no file then).
QByteArray EmptyArchive() {
    QByteArray bytes(22, '\0');
    bytes[0] = 'P';
    bytes[1] = 'K';
    bytes[2] = 5;
    bytes[3] = 6;
    return bytes;
}

}  // namespace

bool Archive::Report(int percent) {
    percent = std::clamp(percent, 0, 100);
    if (percent <= lastPercent_) return true;
    lastPercent_ = percent;
    return !progress_ || progress_(percent);
}

Result Archive::ReadDirectory() {
    Result r = zip::ReadDirectory(name_, dir_);
    read_ = r.IsOk();
    return r;
}

Result Archive::ExtractAll(const QStringList& names) {
    lastPercent_ = -1;
    if (!read_) {
        Result r = ReadDirectory();
        if (!r.IsOk()) return r;
    }

    struct Job {
        zip_uint64_t index;
        const Entry* entry;
        QString target;
    };
    std::vector<Job> jobs;
    quint64 total = 0;
    for (size_t i = 0; i < dir_.entries.size(); ++i) {
        const Entry& e = dir_.entries[i];
        if (e.IsDirectory()) continue;
        qsizetype wanted = -1;
        for (qsizetype n = 0; n < names.size() && wanted < 0; ++n)
            if (names[n].compare(e.bareName, Qt::CaseInsensitive) == 0) wanted = n;
        if (wanted < 0) continue;
        for (const Job& j : jobs)
            if (j.target == names[wanted])
                return Fail(Outcome::Hostile,
                            QStringLiteral("Two entries are named %1").arg(names[wanted]), name_);
        if (e.IsEncrypted())
            return Fail(Outcome::Unsupported,
                        QStringLiteral("Entry \"%1\" is encrypted").arg(e.bareName), name_);
        if (e.method != ZIP_CM_STORE && e.method != ZIP_CM_DEFLATE)
            return Fail(Outcome::Unsupported,
                        QStringLiteral("Entry \"%1\" uses compression method %2")
                            .arg(e.bareName)
                            .arg(e.method),
                        name_);
        jobs.push_back(Job{i, &e, names[wanted]});
        total += e.size;
    }
    const int skipped = static_cast<int>(dir_.entries.size() - jobs.size());

    const QDir dest(destination_);
    if (destination_.isEmpty() || !dest.exists())
        return Fail(Outcome::IoError, QStringLiteral("The destination directory does not exist"),
                    destination_);
    const QStorageInfo storage(dest);
    const quint64 room = std::min<quint64>(
        MaxExtractTotal, static_cast<quint64>(std::max<qint64>(0, storage.bytesAvailable())));
    if (total > room)
        return Fail(Outcome::TooBig,
                    QStringLiteral("The archive declares %1 bytes, more than the %2 allowed")
                        .arg(total)
                        .arg(room),
                    name_);

    Result failure;
    ZipHandle za = OpenForReading(name_, failure);
    if (!za) return failure;
    if (zip_get_num_entries(za.get(), 0) != static_cast<zip_int64_t>(dir_.entries.size()))
        return Fail(Outcome::Hostile, QStringLiteral("The archive changed while it was read"),
                    name_);

    std::vector<Pending> files;
    quint64 written = 0;
    for (const Job& job : jobs) {
        // libzip reads its own copy of the directory: it must be the one checked.
        zip_stat_t st;
        zip_stat_init(&st);
        const char* stored = zip_get_name(za.get(), job.index, ZIP_FL_ENC_RAW);
        if (stored == nullptr || QByteArray(stored) != job.entry->rawName ||
            zip_stat_index(za.get(), job.index, 0, &st) != 0 || st.size != job.entry->size ||
            st.comp_size != job.entry->compressedSize || st.crc != job.entry->crc)
            return Fail(Outcome::Hostile, QStringLiteral("The archive changed while it was read"),
                        name_);
        Pending p;
        p.target = dest.absoluteFilePath(job.target);
        p.temp = std::make_unique<QTemporaryFile>(p.target + QStringLiteral(".part-XXXXXX"));
        if (!p.temp->open())
            return Fail(Outcome::IoError,
                        QStringLiteral("Cannot create a file: ") + p.temp->errorString(), p.target);
        QTemporaryFile* out = p.temp.get();
        files.push_back(std::move(p));
        const quint64 before = written;
        Result r = ReadEntry(
            za.get(), job.index, *job.entry, name_, [&](const char* data, qint64 n, quint64 done) {
                if (out->write(data, n) != n)
                    return Fail(Outcome::IoError,
                                QStringLiteral("Cannot write the file: ") + out->errorString(),
                                out->fileName());
                written = before + done;
                if (!Report(total == 0 ? 100 : int(written * 100 / total)))
                    return Result{Outcome::Cancelled, QStringLiteral("Stopped by the user"), 0, 0};
                return Result{};
            });
        if (!r.IsOk()) return r;
        if (!out->flush())
            return Fail(Outcome::IoError,
                        QStringLiteral("Cannot write the file: ") + out->errorString(),
                        out->fileName());
        out->close();
        out->setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                            QFileDevice::ReadGroup | QFileDevice::ReadOther);
    }
    QString why;
    if (!Commit(files, why)) return Fail(Outcome::IoError, why, destination_);
    Report(100);
    return Result{Outcome::Ok, {}, static_cast<int>(jobs.size()), skipped};
}

namespace {

struct WriteState {
    std::function<bool(double)> progress;
    bool cancelled = false;
};

void OnProgress(zip_t*, double done, void* data) {
    auto* state = static_cast<WriteState*>(data);
    if (!state->cancelled && !state->progress(done)) state->cancelled = true;
}

int OnCancel(zip_t*, void* data) {
    return static_cast<WriteState*>(data)->cancelled ? 1 : 0;
}

}  // namespace

Result Archive::AddFiles(const QString& directory, const QStringList& masks) {
    lastPercent_ = -1;
    const QFileInfo target(name_);
    const QDir targetDir = target.absoluteDir();
    if (!targetDir.exists())
        return Fail(Outcome::IoError, QStringLiteral("The directory does not exist"),
                    targetDir.path());
    const QDir source(directory);
    if (!source.exists())
        return Fail(Outcome::IoError, QStringLiteral("The directory does not exist"), directory);

    QTemporaryFile temp(
        targetDir.absoluteFilePath(target.fileName() + QStringLiteral(".tmp-XXXXXX")));
    if (!temp.open())
        return Fail(Outcome::IoError, QStringLiteral("Cannot create a file: ") + temp.errorString(),
                    targetDir.path());
    temp.close();

    // The archive never takes itself in, nor a half-written one of ours.
    QFileInfoList files;
    for (const QFileInfo& f :
         source.entryInfoList(masks, QDir::Files | QDir::Hidden | QDir::NoSymLinks, QDir::Name)) {
        if (f.absoluteFilePath() == target.absoluteFilePath() ||
            f.fileName().startsWith(target.fileName() + QStringLiteral(".tmp-")))
            continue;
        files.push_back(f);
    }

    if (files.isEmpty()) {
        QFile out(temp.fileName());
        if (!out.open(QIODevice::WriteOnly) || out.write(EmptyArchive()) != 22 || !out.flush())
            return Fail(Outcome::IoError, QStringLiteral("Cannot write the archive"),
                        temp.fileName());
    } else {
        int code = 0;
        ZipHandle za(
            zip_open(NativeName(temp.fileName()).constData(), ZIP_CREATE | ZIP_TRUNCATE, &code));
        if (!za)
            return Fail(Outcome::IoError,
                        QStringLiteral("Cannot create the archive: ") + ZipErrorText(code),
                        temp.fileName());
        for (const QFileInfo& f : files) {
            const auto fail = [&] {
                return Fail(
                    Outcome::IoError,
                    QStringLiteral("Cannot add %1: %2")
                        .arg(f.fileName(),
                             QString::fromLocal8Bit(zip_error_strerror(zip_get_error(za.get())))),
                    name_);
            };
            zip_source_t* src =
                zip_source_file(za.get(), NativeName(f.absoluteFilePath()).constData(), 0, 0);
            if (src == nullptr) return fail();
            const zip_int64_t index =
                zip_file_add(za.get(), f.fileName().toUtf8().constData(), src, ZIP_FL_ENC_UTF_8);
            if (index < 0) {
                zip_source_free(src);
                return fail();
            }
            const auto i = static_cast<zip_uint64_t>(index);
            if (zip_set_file_compression(za.get(), i, ZIP_CM_DEFLATE, 6) != 0 ||
                zip_file_set_external_attributes(za.get(), i, 0, ZIP_OPSYS_UNIX, 0100644u << 16) !=
                    0)
                return fail();
        }
        WriteState state{[this](double done) { return Report(int(done * 90)); }};
        zip_register_progress_callback_with_state(za.get(), 0.01, OnProgress, nullptr, &state);
        zip_register_cancel_callback_with_state(za.get(), OnCancel, nullptr, &state);
        if (zip_close(za.get()) != 0) {
            const int error = zip_error_code_zip(zip_get_error(za.get()));
            if (state.cancelled || error == ZIP_ER_CANCELLED)
                return Result{Outcome::Cancelled, QStringLiteral("Stopped by the user"), 0, 0};
            return Fail(Outcome::IoError,
                        QStringLiteral("Cannot write the archive: ") + ZipErrorText(error), name_);
        }
        za.release();  // zip_close freed it
    }

    // Read what was written back, entry by entry, before it replaces anything.
    Directory written;
    Result check = zip::ReadDirectory(temp.fileName(), written);
    const auto unreadable = [&](const QString& why) {
        return Fail(Outcome::IoError,
                    QStringLiteral("The archive written does not read back: ") + why, name_);
    };
    if (!check.IsOk()) return unreadable(check.cause);
    if (written.entries.size() != static_cast<size_t>(files.size()))
        return unreadable(QStringLiteral("entries are missing"));
    if (!files.isEmpty()) {
        Result failure;
        ZipHandle za = OpenForReading(temp.fileName(), failure);
        if (!za) return unreadable(failure.cause);
        quint64 total = 0, done = 0;
        for (const Entry& e : written.entries)
            total += e.size;
        for (size_t i = 0; i < written.entries.size(); ++i) {
            const Entry& e = written.entries[i];
            if (e.bareName != files[static_cast<qsizetype>(i)].fileName() ||
                e.rawName != e.bareName.toUtf8())
                return unreadable(QStringLiteral("entry \"%1\" is misnamed").arg(e.bareName));
            const quint64 before = done;
            Result r =
                ReadEntry(za.get(), i, e, temp.fileName(), [&](const char*, qint64, quint64 read) {
                    done = before + read;
                    if (!Report(90 + int(total == 0 ? 10 : done * 10 / total)))
                        return Result{Outcome::Cancelled, QStringLiteral("Stopped by the user"), 0,
                                      0};
                    return Result{};
                });
            if (r.outcome == Outcome::Cancelled) return r;
            if (!r.IsOk()) return unreadable(r.cause);
        }
    }

    QFile::Permissions permissions = QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                     QFileDevice::ReadGroup | QFileDevice::ReadOther;
    if (target.exists()) permissions = target.permissions();
    QFile::setPermissions(temp.fileName(), permissions);
    std::error_code ec;
    fs::rename(PathOf(temp.fileName()), PathOf(target.absoluteFilePath()), ec);
    if (ec)
        return Fail(Outcome::IoError,
                    QStringLiteral("Cannot rename the archive into place: ") +
                        QString::fromLocal8Bit(ec.message()),
                    name_);
    temp.setAutoRemove(false);
    Report(100);
    return Result{Outcome::Ok, {}, static_cast<int>(files.size()), 0};
}

}  // namespace kordex::zip
