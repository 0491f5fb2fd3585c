#include "Unpack.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "store/Catalogue.h"
#include "store/Engine.h"

namespace kordex::archive {

namespace {

const QString StageName = QStringLiteral("unpack.tmp");
const QString AsideName = QStringLiteral("replaced");
const QString JournalSuffix = QStringLiteral("-journal");

QString WithSlash(QString dir) {
    dir = QDir::fromNativeSeparators(dir);
    if (!dir.endsWith(QLatin1Char('/'))) dir += QLatin1Char('/');
    return dir;
}

// Takes a directory of ours away, whatever it holds; a link in its place is
// removed as a link, never followed.
void RemoveTree(const QString& path) noexcept {
    try {
        QString p = path;
        while (p.endsWith(QLatin1Char('/')))
            p.chop(1);
        const QFileInfo info(p);
        if (info.isSymLink() || (info.exists() && !info.isDir()))
            QFile::remove(p);
        else if (info.exists())
            QDir(p).removeRecursively();
    } catch (...) {
    }
}

}  // namespace

const QStringList& RoundFiles() {
    static const QStringList files = {store::FileKDEvents, store::FileKDREvs, store::FileKDLEvs};
    return files;
}

Unpack::Unpack(const QString& databaseDirectory)
    : target_(WithSlash(databaseDirectory)), stage_(target_ + StageName + QLatin1Char('/')) {}

Unpack::~Unpack() {
    RemoveTree(stage_);
}

zip::Result Unpack::Extract(zip::Archive& archive) {
    files_.clear();
    RemoveTree(stage_);
    if (!QDir().mkpath(stage_)) {
        zip::Result r;
        r.outcome = zip::Outcome::IoError;
        r.cause =
            QStringLiteral("Cannot make the directory %1").arg(QDir::toNativeSeparators(stage_));
        return r;
    }
    zip::Result r = archive.ReadDirectory();
    if (!r.IsOk()) return r;
    archive.SetDestination(stage_);
    r = archive.ExtractAll(RoundFiles());
    if (!r.IsOk()) return r;
    if (r.count + r.skipped != archive.EntryCount()) {
        r.outcome = zip::Outcome::IoError;
        r.cause = QStringLiteral("%1 of %2 entries extracted from %3")
                      .arg(r.count)
                      .arg(archive.EntryCount())
                      .arg(QDir::toNativeSeparators(archive.Name()));
        return r;
    }
    for (const QString& f : RoundFiles())
        if (QFileInfo::exists(stage_ + f)) files_ << f;
    return r;
}

void Unpack::Check(const std::vector<store::TableDef>& defs) {
    store::Database check(QStringLiteral("Unpack"), stage_);
    check.SetReadOnly(true);  // nothing of the file runs or is written
    for (const QString& f : files_) {
        const store::TableDef* def = nullptr;
        for (const store::TableDef& d : defs)
            if (d.file.compare(f, Qt::CaseInsensitive) == 0) def = &d;
        if (def == nullptr) throw store::Error(QStringLiteral("Unexpected table"), stage_ + f);
        check.CheckForeign(*def);
    }
}

void Unpack::Replace(bool dropMissing) {
    const QString aside = stage_ + AsideName + QLatin1Char('/');
    if (!QDir().mkpath(aside))
        throw store::Error(QStringLiteral("Cannot make the directory"), aside);
    std::vector<std::pair<QString, QString>> done;  // renames made, to undo
    auto move = [&](const QString& from, const QString& to) {
        if (!QFile::rename(from, to)) {
            for (auto it = done.rbegin(); it != done.rend(); ++it)
                QFile::rename(it->second, it->first);
            throw store::Error(QStringLiteral("Cannot move the file to %1").arg(to), from);
        }
        done.emplace_back(from, to);
    };
    for (const QString& f : RoundFiles()) {
        if (!files_.contains(f) && !dropMissing) continue;
        // A journal left beside the old table belongs to it, not to the new one.
        for (const QString& suffix : {QString(), JournalSuffix})
            if (QFileInfo::exists(target_ + f + suffix) ||
                QFileInfo(target_ + f + suffix).isSymLink())
                move(target_ + f + suffix, aside + f + suffix);
    }
    for (const QString& f : files_)
        move(stage_ + f, target_ + f);
}

}  // namespace kordex::archive
