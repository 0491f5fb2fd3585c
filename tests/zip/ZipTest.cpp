#include <gtest/gtest.h>
#include <zlib.h>

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <map>
#include <optional>

#include "zip/Archive.h"

using namespace kordex::zip;

namespace {

const QStringList Tables = {"KDEvents.DB", "KDREvs.DB", "KDLEvs.DB"};

QByteArray Deflate(const QByteArray& data) {
    z_stream z{};
    deflateInit2(&z, 6, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
    QByteArray out(static_cast<qsizetype>(deflateBound(&z, data.size())), '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.constData()));
    z.avail_in = static_cast<uInt>(data.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    deflate(&z, Z_FINISH);
    out.resize(static_cast<qsizetype>(z.total_out));
    deflateEnd(&z);
    return out;
}

quint32 Crc(const QByteArray& data) {
    return static_cast<quint32>(
        crc32(0, reinterpret_cast<const Bytef*>(data.constData()), static_cast<uInt>(data.size())));
}

// Some bytes that look like a table file and compress a little.
QByteArray TableBytes(int seed, int size = 5000) {
    QByteArray b;
    for (int i = 0; b.size() < size; ++i)
        b += QByteArray::number(seed * 7919 + i * i % 1000) + ';';
    b.truncate(size);
    return b;
}

// One entry of a hand-made ZIP file: every field the central directory holds
// can be made to lie.
struct Piece {
    Piece(QByteArray n, QByteArray c, bool d = true)
        : name(std::move(n)), content(std::move(c)), deflate(d) {}

    QByteArray name;
    QByteArray content;  // what the entry is meant to hold
    bool deflate = true;
    std::optional<quint32> size;  // declared size, default the content's
    std::optional<quint32> crc;   // declared CRC, default the content's
    quint16 madeBy = 0x0314;      // Unix, 2.0
    quint32 mode = 0100644;       // Unix mode in the external attributes
    std::optional<QByteArray> localName;
    std::optional<quint32> compressedSize;
};

struct Layout {
    quint16 disk = 0;
    quint16 centralDisk = 0;
};

void Put16(QByteArray& b, quint32 v) {
    b += char(v & 0xFF);
    b += char((v >> 8) & 0xFF);
}
void Put32(QByteArray& b, quint32 v) {
    Put16(b, v & 0xFFFF);
    Put16(b, v >> 16);
}

QByteArray BuildZip(const std::vector<Piece>& pieces, Layout layout = {}) {
    QByteArray file, central;
    std::vector<quint32> offsets;
    std::vector<QByteArray> datas;
    for (const Piece& p : pieces) {
        const QByteArray data = p.deflate ? Deflate(p.content) : p.content;
        datas.push_back(data);
        offsets.push_back(static_cast<quint32>(file.size()));
        const QByteArray localName = p.localName.value_or(p.name);
        Put32(file, 0x04034b50);
        Put16(file, 20);
        Put16(file, 0);
        Put16(file, p.deflate ? 8 : 0);
        Put32(file, 0);  // time, date
        Put32(file, p.crc.value_or(Crc(p.content)));
        Put32(file, p.compressedSize.value_or(static_cast<quint32>(data.size())));
        Put32(file, p.size.value_or(static_cast<quint32>(p.content.size())));
        Put16(file, static_cast<quint32>(localName.size()));
        Put16(file, 0);
        file += localName;
        file += data;
    }
    for (size_t i = 0; i < pieces.size(); ++i) {
        const Piece& p = pieces[i];
        Put32(central, 0x02014b50);
        Put16(central, p.madeBy);
        Put16(central, 20);
        Put16(central, 0);
        Put16(central, p.deflate ? 8 : 0);
        Put32(central, 0);
        Put32(central, p.crc.value_or(Crc(p.content)));
        Put32(central, p.compressedSize.value_or(static_cast<quint32>(datas[i].size())));
        Put32(central, p.size.value_or(static_cast<quint32>(p.content.size())));
        Put16(central, static_cast<quint32>(p.name.size()));
        Put32(central, 0);  // extra, comment
        Put16(central, 0);  // disk
        Put16(central, 0);  // internal attributes
        Put32(central, p.mode << 16);
        Put32(central, offsets[i]);
        central += p.name;
    }
    const auto centralOffset = static_cast<quint32>(file.size());
    file += central;
    Put32(file, 0x06054b50);
    Put16(file, layout.disk);
    Put16(file, layout.centralDisk);
    Put16(file, static_cast<quint32>(pieces.size()));
    Put16(file, static_cast<quint32>(pieces.size()));
    Put32(file, static_cast<quint32>(central.size()));
    Put32(file, centralOffset);
    Put16(file, 0);
    return file;
}

// A sandbox: the archive file, and a destination that already holds an older
// table, inside a root whose whole tree is compared before and after.
class ZipTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(root_.isValid());
        QDir(root_.path()).mkpath("dest/sub");
        Write(Dest("KDEvents.DB"), "old table");
    }

    QString Path(const QString& rel) const { return root_.filePath(rel); }
    QString Dest(const QString& name) const { return root_.filePath("dest/" + name); }
    static void Write(const QString& path, const QByteArray& bytes) {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    static QByteArray Read(const QString& path) {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }

    // Every file under the root with its contents.
    std::map<QString, QByteArray> Tree() const {
        std::map<QString, QByteArray> tree;
        QDirIterator it(root_.path(),
                        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString p = it.next();
            tree[QDir(root_.path()).relativeFilePath(p)] = Read(p);
        }
        return tree;
    }

    Result Extract(const QString& archive, const QStringList& names = Tables) {
        Archive zip;
        zip.SetName(archive);
        Result read = zip.ReadDirectory();
        if (!read.IsOk()) return read;
        zip.SetDestination(root_.filePath("dest"));
        zip.SetProgress(progress_);
        return zip.ExtractAll(names);
    }

    QTemporaryDir root_;
    Progress progress_;
};

// A file that is hostile, damaged or not a ZIP at all is refused whole, with
// a reason, and nothing is written in the destination or beside it. Each file
// holds a good table first, so a half-done extraction would show.
TEST_F(ZipTest, RefusesUnsafeFilesAndWritesNothing) {
    const QByteArray good = TableBytes(1);
    const Piece first{"KDREvs.DB", good};
    const QByteArray big = QByteArray(200000, 'z');
    QByteArray truncated = BuildZip({first, {"KDEvents.DB", TableBytes(2)}});
    truncated.truncate(truncated.size() / 2);

    Piece outer{"KDEvents.DB", TableBytes(3)};
    Piece inner{"KDLEvs.DB", TableBytes(4)};
    // The outer entry's data run over the inner entry's header and data: one
    // stream counted twice, the way an overlapping zip bomb is built.
    Piece stretched = outer;
    stretched.compressedSize = static_cast<quint32>(
        Deflate(outer.content).size() + 30 + inner.name.size() + Deflate(inner.content).size());
    const QByteArray overlapping = BuildZip({stretched, inner});
    Piece bombA{"KDEvents.DB", QByteArray(10, 'a')};
    bombA.size = 3u << 30;
    Piece bombB{"KDREvs.DB", QByteArray(10, 'b')};
    bombB.size = 3u << 30;

    Piece absolute{"/tmp/KDEvents.DB", TableBytes(5)};
    Piece climbing{"../../KDEvents.DB", TableBytes(5)};
    Piece backslash{"DB\\..\\..\\KDEvents.DB", TableBytes(5)};
    Piece drive{"C:KDEvents.DB", TableBytes(5)};
    Piece link{"KDEvents.DB", "/etc/passwd", false};
    link.mode = 0120777;
    Piece device{"KDEvents.DB", "", false};
    device.mode = 0020644;
    Piece tooLong{"KDEvents.DB", big};
    tooLong.size = 1000;
    Piece tooShort{"KDEvents.DB", TableBytes(6)};
    tooShort.size = 6000;
    Piece storedTooLong{"KDEvents.DB", TableBytes(6), false};
    storedTooLong.size = 100;
    Piece badCrc{"KDEvents.DB", TableBytes(7)};
    badCrc.crc = 0x12345678;
    Piece renamed{"KDEvents.DB", TableBytes(8)};
    renamed.localName = "KDEvents.PX";
    Piece twin{"copy/KDREvs.db", TableBytes(9)};
    Piece pastDirectory{"KDEvents.DB", TableBytes(10)};
    pastDirectory.compressedSize = 100000;

    struct Case {
        const char* what;
        QByteArray bytes;
        Outcome outcome;
        const char* cause;
    };
    const std::vector<Case> cases = {
        {"parent path", BuildZip({first, climbing}), Outcome::Hostile, "climbs out"},
        {"backslash parent path", BuildZip({first, backslash}), Outcome::Hostile, "climbs out"},
        {"absolute name", BuildZip({first, absolute}), Outcome::Hostile, "absolute"},
        {"drive name", BuildZip({first, drive}), Outcome::Hostile, "absolute"},
        {"symbolic link", BuildZip({first, link}), Outcome::Hostile, "symbolic link"},
        {"device", BuildZip({first, device}), Outcome::Hostile, "device"},
        {"overlapping entries", overlapping, Outcome::Hostile, "overlap"},
        {"data over the directory", BuildZip({first, pastDirectory}), Outcome::Hostile,
         "overlaps the central directory"},
        {"declared total over the cap", BuildZip({bombA, bombB}), Outcome::TooBig, "declares"},
        {"inflates beyond its size", BuildZip({first, tooLong}), Outcome::Hostile,
         "beyond its declared size"},
        {"stored beyond its size", BuildZip({first, storedTooLong}), Outcome::Hostile,
         "KDEvents.DB"},
        {"inflates short of its size", BuildZip({first, tooShort}), Outcome::Hostile,
         "KDEvents.DB"},
        {"bad CRC", BuildZip({first, badCrc}), Outcome::BadCrc, "CRC error"},
        {"local name differs", BuildZip({first, renamed}), Outcome::Hostile, "named differently"},
        {"two entries of one name", BuildZip({first, twin}), Outcome::Hostile, "Two entries"},
        {"truncated", truncated, Outcome::Incomplete, "no central directory"},
        {"multi-volume", BuildZip({first}, Layout{1, 1}), Outcome::Unsupported, "Multi-volume"},
        {"not a ZIP", QByteArray("KDEvents.DB is a table, not an archive\n").repeated(20),
         Outcome::NotZip, "not a ZIP"},
        {"empty file", QByteArray(), Outcome::NotZip, "not a ZIP"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const QString archive = Path("in.zip");
        Write(archive, c.bytes);
        const auto before = Tree();
        const Result r = Extract(archive);
        EXPECT_EQ(OutcomeName(r.outcome), std::string(OutcomeName(c.outcome)))
            << r.cause.toStdString();
        EXPECT_TRUE(r.cause.contains(c.cause)) << r.cause.toStdString();
        EXPECT_TRUE(r.cause.contains("in.zip")) << r.cause.toStdString();
        EXPECT_EQ(r.count, 0);
        EXPECT_EQ(Tree(), before);
        EXPECT_FALSE(QFile::exists(Path("dest/../../KDEvents.DB")));
        EXPECT_FALSE(QFile::exists("/tmp/KDEvents.DB"));
    }
}

// Entries are taken by bare name without case, written under the caller's
// spelling, over an older file; directories, other files and directory
// entries are skipped and counted.
TEST_F(ZipTest, ExtractsWantedTablesByBareName) {
    const QByteArray events = TableBytes(11), touches = TableBytes(12, 70000), missed;
    Piece dir{"DB/", "", false};
    dir.mode = 040755;
    Piece dos{"DB\\KDEVENTS.DB", events};
    dos.madeBy = 0x0014;  // MS-DOS: the high attribute bits mean nothing
    dos.mode = 0xFFFF;
    const QByteArray bytes = BuildZip({dir,
                                       dos,
                                       {"old/KDEvents.PX", "index"},
                                       {"DB/kdrevs.db", touches},
                                       {"KDLEvs.DB", missed, false},
                                       {"Users.DB", "users"}});
    Write(Path("in.zip"), bytes);
    std::vector<int> seen;
    progress_ = [&](int p) {
        seen.push_back(p);
        return true;
    };
    const Result r = Extract(Path("in.zip"));
    ASSERT_TRUE(r.IsOk()) << r.cause.toStdString();
    EXPECT_EQ(r.count, 3);
    EXPECT_EQ(r.skipped, 3);
    EXPECT_EQ(Read(Dest("KDEvents.DB")), events);
    EXPECT_EQ(Read(Dest("KDREvs.DB")), touches);
    EXPECT_EQ(Read(Dest("KDLEvs.DB")), missed);
    EXPECT_EQ(QDir(Path("dest")).entryList(QDir::Files | QDir::Hidden),
              QStringList({"KDEvents.DB", "KDLEvs.DB", "KDREvs.DB"}));
    ASSERT_FALSE(seen.empty());
    EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
    EXPECT_EQ(seen.back(), 100);
}

// Stopping from the progress callback in the middle of the second entry
// leaves the destination as it was.
TEST_F(ZipTest, CancelledExtractionLeavesDestinationAlone) {
    Write(Path("in.zip"),
          BuildZip({{"KDREvs.DB", TableBytes(1, 300000)}, {"KDEvents.DB", TableBytes(2, 300000)}}));
    const auto before = Tree();
    progress_ = [](int p) { return p < 70; };
    const Result r = Extract(Path("in.zip"));
    EXPECT_EQ(r.outcome, Outcome::Cancelled);
    EXPECT_EQ(Tree(), before);
}

// When one table cannot take its name (a directory stands in its place), the
// tables renamed before it are taken back and the older files restored.
TEST_F(ZipTest, FailedRenameRestoresEarlierFiles) {
    QDir(Path("dest")).mkpath("KDLEvs.DB");
    Write(Path("in.zip"), BuildZip({{"KDEvents.DB", TableBytes(1)},
                                    {"KDREvs.DB", TableBytes(2)},
                                    {"KDLEvs.DB", TableBytes(3)}}));
    const auto before = Tree();
    const Result r = Extract(Path("in.zip"));
    EXPECT_EQ(r.outcome, Outcome::IoError);
    EXPECT_TRUE(r.cause.contains("KDLEvs.DB")) << r.cause.toStdString();
    EXPECT_EQ(Tree(), before);
}

class SaveTest : public ZipTest {
protected:
    void SetUp() override {
        ZipTest::SetUp();
        QDir(root_.path()).mkpath("DB");
        files_ = {{"KDEvents.DB", TableBytes(21)},
                  {"KDREvs.DB", TableBytes(22, 200000)},
                  {"KDLEvs.DB", QByteArray()},
                  {"KDEvents.PX", TableBytes(24, 300)}};
        for (const auto& [name, bytes] : files_)
            Write(Path("DB/" + name), bytes);
        Write(Path("DB/Users.DB"), "users");
        QFile::link(Path("DB/Users.DB"), Path("DB/KDLink.DB"));
    }

    Result Save(const QString& target) {
        Archive zip;
        zip.SetName(target);
        zip.SetProgress(progress_);
        return zip.AddFiles(Path("DB"), {"KD*.*"});
    }

    static QByteArray Run(const QString& program, const QStringList& args, int* exitCode) {
        QProcess p;
        p.start(program, args);
        p.waitForFinished(60000);
        *exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
        return p.readAllStandardOutput();
    }

    std::map<QString, QByteArray> files_;
};

// A saved archive passes Info-ZIP's test, holds the masked files under bare
// names byte for byte (not the link, not other tables), and replaces the
// chosen file only when complete.
TEST_F(SaveTest, SavedArchiveIsReadByInfoZip) {
    if (QStandardPaths::findExecutable("unzip").isEmpty()) GTEST_SKIP() << "no unzip";
    Write(Path("KDEv1226.zip"), "the operator's older file");
    std::vector<int> seen;
    progress_ = [&](int p) {
        seen.push_back(p);
        return true;
    };
    const Result r = Save(Path("KDEv1226.zip"));
    ASSERT_TRUE(r.IsOk()) << r.cause.toStdString();
    EXPECT_EQ(r.count, 4);
    EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
    EXPECT_EQ(seen.back(), 100);

    int code = 0;
    Run("unzip", {"-t", Path("KDEv1226.zip")}, &code);
    EXPECT_EQ(code, 0);
    const QByteArray list = Run("unzip", {"-Z1", Path("KDEv1226.zip")}, &code);
    EXPECT_EQ(list, "KDEvents.DB\nKDEvents.PX\nKDLEvs.DB\nKDREvs.DB\n");
    for (const auto& [name, bytes] : files_)
        EXPECT_EQ(Run("unzip", {"-p", Path("KDEv1226.zip"), name}, &code), bytes)
            << name.toStdString();

    Archive back;
    back.SetName(Path("KDEv1226.zip"));
    ASSERT_TRUE(back.ReadDirectory().IsOk());
    for (const Entry& e : back.Entries())
        EXPECT_EQ(e.method, 8) << e.bareName.toStdString();
    EXPECT_EQ(QDir(root_.path()).entryList({"KDEv1226.zip*"}, QDir::Files | QDir::Hidden),
              QStringList{"KDEv1226.zip"});
}

// An archive saved into the directory it takes its files from does not take
// in its own earlier file or itself.
TEST_F(SaveTest, ArchiveInsideItsOwnMaskIsLeftOut) {
    Write(Path("DB/KDEv0112.zip"), "older archive");
    const Result r = Save(Path("DB/KDEv0112.zip"));
    ASSERT_TRUE(r.IsOk()) << r.cause.toStdString();
    EXPECT_EQ(r.count, 4);
    Archive back;
    back.SetName(Path("DB/KDEv0112.zip"));
    ASSERT_TRUE(back.ReadDirectory().IsOk());
    for (const Entry& e : back.Entries())
        EXPECT_FALSE(e.bareName.endsWith(".zip"));
}

// Stopping while writing or while reading back leaves the chosen file as it
// was and nothing beside it.
TEST_F(SaveTest, CancelledSaveKeepsTheOldFile) {
    for (int stopAt : {1, 50, 95}) {
        SCOPED_TRACE(stopAt);
        Write(Path("KDEv1226.zip"), "the operator's older file");
        const auto before = Tree();
        progress_ = [stopAt](int p) { return p < stopAt; };
        const Result r = Save(Path("KDEv1226.zip"));
        EXPECT_EQ(r.outcome, Outcome::Cancelled);
        EXPECT_EQ(Tree(), before);
    }
}

// Round trip, and the other way: a file made by Info-ZIP's `zip -j` (and one
// with its directory kept) extracts to the tables byte for byte.
TEST_F(SaveTest, ArchivesOfInfoZipExtract) {
    if (QStandardPaths::findExecutable("zip").isEmpty()) GTEST_SKIP() << "no zip";
    const QStringList inputs = {Path("DB/KDEvents.DB"), Path("DB/KDREvs.DB"), Path("DB/KDLEvs.DB"),
                                Path("DB/KDEvents.PX")};
    int code = 0;
    Run("zip", QStringList{"-q", "-j", Path("junked.zip")} + inputs, &code);
    ASSERT_EQ(code, 0);
    QProcess withDirs;
    withDirs.setWorkingDirectory(root_.path());
    withDirs.start("zip", {"-q", "-r", Path("kept.zip"), "DB"});
    ASSERT_TRUE(withDirs.waitForFinished(60000));
    ASSERT_EQ(withDirs.exitCode(), 0);
    ASSERT_TRUE(Save(Path("ours.zip")).IsOk());

    for (const char* archive : {"junked.zip", "kept.zip", "ours.zip"}) {
        SCOPED_TRACE(archive);
        QDir(Path("dest")).removeRecursively();
        QDir(root_.path()).mkpath("dest");
        const Result r = Extract(Path(archive));
        ASSERT_TRUE(r.IsOk()) << r.cause.toStdString();
        EXPECT_EQ(r.count, 3);
        for (const QString& t : Tables)
            EXPECT_EQ(Read(Dest(t)), files_[t]) << t.toStdString();
    }
}

// A file with no entries (no table matched the mask) is still a ZIP file
// that reads back empty.
TEST_F(SaveTest, NothingToSaveWritesAnEmptyArchive) {
    Archive zip;
    zip.SetName(Path("empty.zip"));
    const Result r = zip.AddFiles(Path("DB"), {"NONE*.*"});
    ASSERT_TRUE(r.IsOk()) << r.cause.toStdString();
    EXPECT_EQ(r.count, 0);
    ASSERT_TRUE(zip.ReadDirectory().IsOk());
    EXPECT_EQ(zip.EntryCount(), 0);
}

}  // namespace
