// kordex-sim as the program meets it: a pseudo-terminal opened through the
// real serial port code and the reader link.

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include "Decode.h"
#include "link/Crc8.h"
#include "link/QtSerialPort.h"
#include "link/ReaderLink.h"
#include "shell/Clock.h"
#include "shell/Prompt.h"
#include "shell/StatusWindow.h"

using namespace kordex;
using simtest::Touch;

namespace {

QString SimBinary() {
    const QString dir = qEnvironmentVariable("KORDEX_BIN_DIR");
    const QString inDir = QDir(dir).filePath(QStringLiteral("kordex-sim"));
    if (!dir.isEmpty() && QFile::exists(inDir)) return inDir;
    return QStringLiteral(KORDEX_SIM_PATH);
}

// One run of kordex-sim.
class SimProcess {
public:
    ~SimProcess() {
        if (process_.state() != QProcess::NotRunning) {
            process_.kill();
            process_.waitForFinished(5000);
        }
    }

    // Starts it and takes the device from its first line.
    ::testing::AssertionResult Start(const QStringList& args) {
        process_.start(SimBinary(), args);
        if (!process_.waitForStarted(10000))
            return ::testing::AssertionFailure() << "cannot start " << SimBinary().toStdString();
        while (!process_.canReadLine())
            if (!process_.waitForReadyRead(10000))
                return ::testing::AssertionFailure()
                       << "no device line; " << process_.readAllStandardError().toStdString();
        device_ = QString::fromLocal8Bit(process_.readLine()).trimmed();
        return ::testing::AssertionSuccess();
    }
    const QString& Device() const { return device_; }

    // SIGTERM, as a service manager stops it: it must end on its own with 0.
    void ExpectCleanStop() {
        process_.terminate();
        ASSERT_TRUE(process_.waitForFinished(10000));
        EXPECT_EQ(process_.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(process_.exitCode(), 0) << process_.readAllStandardError().toStdString();
    }

private:
    QProcess process_;
    QString device_;
};

// The program's side: the serial port on COM1 mapped to the terminal, the
// reader link, a status window showing as during a read.
struct Line {
    explicit Line(const QString& device) : reader(port, prompt, status, clock, pump) {
        link::PortMap ports;
        ports.Set(QStringLiteral("COM1"), device);
        reader.SetPortMap(ports);
        reader.SetPortDigit(1);
        status.Show(QStringLiteral("Чтение из устройства"),
                    QStringLiteral("Идет чтение данных из Kordex'а..."), 1010);
    }

    // A block read as every read of a collector does it: interactive, verified.
    link::Block Read(uint16_t address) {
        link::Block b{};
        EXPECT_EQ(reader.ReadBlock(address, true, b), link::ExchangeOk)
            << "block 0x" << std::hex << address;
        return b;
    }

    link::QtSerialPort port;
    shell::ScriptedPrompt prompt;
    shell::ScriptedStatusWindow status;
    shell::SystemClock clock;
    shell::QtEventPump pump;
    link::ReaderLink reader;
};

QString KeyText(std::initializer_list<uint8_t> first7) {
    link::KeyBytes b{};
    std::copy(first7.begin(), first7.end(), b.begin());
    b[7] = link::Crc8(b.data(), 7);
    return link::KeyIdToText(b);
}

QString WallText(const QDateTime& t, const char* format) {
    return t.toString(QString::fromLatin1(format));
}

// A collector registered on the evening of 13 March 2026 whose ring has
// wrapped: 1003 touches, one a minute, of keys whose serial bytes run
// through every value, line-control ones included.
class KordexSimScenario : public ::testing::Test {
protected:
    static constexpr int Touches = 1003;

    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        const QDateTime first(QDate(2026, 3, 13), QTime(20, 0), Qt::UTC);
        QJsonArray events;
        for (int i = 0; i < Touches; ++i) {
            const uint32_t serial = 0x13110D55u + static_cast<uint32_t>(i) * 2654435761u;
            const uint8_t bytes[4] = {
                static_cast<uint8_t>(serial), static_cast<uint8_t>(serial >> 8),
                static_cast<uint8_t>(serial >> 16), static_cast<uint8_t>(serial >> 24)};
            const Touch t{link::KeyIdToText(link::TouchedKey(bytes)), first.addSecs(60 * i)};
            events_.push_back(t);
            events.append(
                QJsonObject{{"key", t.key}, {"time", WallText(t.time, "dd.MM.yyyy hh:mm")}});
        }
        const QJsonObject scenario{
            {"id", id_},       {"registrar", registrar_},
            {"guard", guard_}, {"stamp", WallText(stamp_, "dd.MM.yyyy hh:mm:ss")},
            {"interval", 17},  {"path", QJsonObject{{"id", 305419896}, {"mode", 1}}},
            {"memo", memo_},   {"events", events},
        };
        file_ = dir_.filePath(QStringLiteral("wrapped.json"));
        QFile f(file_);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QJsonDocument(scenario).toJson());
    }

    // Reads the collector as a read of it does: the ten header blocks in
    // their order, then the event slots oldest first (up to `events` of them).
    void ExpectReadBack(Line& line, int events) {
        ASSERT_TRUE(line.reader.PortEnsureOpen());
        const link::Block registrar = line.Read(0x1F78);
        const link::Block stamp = line.Read(0x1F80);
        const link::Block id = line.Read(0x0000);
        const link::Block guard = line.Read(0x1F88);
        const link::Block path = line.Read(0x1F90);
        std::array<link::Block, 4> memo{};
        for (int i = 0; i < 4; ++i)
            memo[i] = line.Read(static_cast<uint16_t>(0x1F50 + 8 * i));
        const link::Block counter = line.Read(0x1F48);
        ASSERT_FALSE(HasFailure());

        EXPECT_EQ(link::KeyIdToText(registrar), registrar_);
        EXPECT_EQ(simtest::DecodeStamp(stamp, QDateTime(QDate(2026, 6, 1), QTime(0, 0))), stamp_);
        EXPECT_EQ(stamp[5], 17);
        EXPECT_EQ(link::KeyIdToText(id), id_);
        EXPECT_EQ(link::KeyIdToText(guard), guard_);
        EXPECT_EQ(simtest::PathId(path), 305419896);
        EXPECT_EQ(path[4], 1);
        EXPECT_EQ(simtest::DecodeMemo(memo), memo_);
        EXPECT_EQ(simtest::Pointer(counter), Touches % 1000);
        EXPECT_EQ(counter[7], 1);

        const std::vector<int> ring = simtest::EventSlots(counter);
        ASSERT_EQ(ring.size(), 1000u);
        QDateTime before = stamp_;
        for (int j = 0; j < std::min<int>(events, 1000) && !HasFailure(); ++j) {
            const Touch t = simtest::DecodeTouch(line.Read(simtest::SlotAddress(ring[j])), before);
            before = t.time;
            const Touch& made = events_[static_cast<size_t>(Touches - 1000 + j)];
            EXPECT_EQ(t.key, made.key) << "slot " << ring[j];
            EXPECT_EQ(t.time, made.time) << "slot " << ring[j];
        }
        EXPECT_EQ(line.prompt.Texts(), QStringList());
        EXPECT_TRUE(line.reader.PortClose());
    }

    QTemporaryDir dir_;
    QString file_;
    const QString id_ = KeyText({0x01, 0x13, 0x11, 0x0D, 0x0A, 0x00, 0x00});
    const QString registrar_ = QStringLiteral("81FEDCBA98765432");
    const QString guard_ = KeyText({0x01, 0x55, 0xA2, 0x33, 0x48, 0x00, 0x00});
    const QDateTime stamp_ = QDateTime(QDate(2026, 3, 13), QTime(19, 45, 30), Qt::UTC);
    const QString memo_ = QStringLiteral("Проверка: склад №3, ворота");
    std::vector<Touch> events_;
};

}  // namespace

TEST_F(KordexSimScenario, EveryBlockReadsBackThroughTheSerialPort) {
    SimProcess sim;
    ASSERT_TRUE(sim.Start({QStringLiteral("--scenario"), file_}));
    Line line(sim.Device());
    ExpectReadBack(line, 1000);
    sim.ExpectCleanStop();
}

// The paced line answers the same bytes, only later; a few events are enough.
TEST_F(KordexSimScenario, PacedLineGivesTheSameBlocks) {
    SimProcess sim;
    ASSERT_TRUE(sim.Start({QStringLiteral("--scenario"), file_, QStringLiteral("--baud=57600")}));
    Line line(sim.Device());
    ExpectReadBack(line, 5);
    sim.ExpectCleanStop();
}

// A block written by the program reads back, also after the port was closed
// and opened again; its bytes are the ones a cooked line would eat or change.
TEST(KordexSim, WrittenBlockReadsBackAfterThePortIsReopened) {
    SimProcess sim;
    ASSERT_TRUE(sim.Start({}));
    Line line(sim.Device());
    const link::Block written{0x13, 0x11, 0x0D, 0x0A, 0x03, 0x7F, 0xFF, 0x00};
    ASSERT_TRUE(line.reader.PortEnsureOpen());
    EXPECT_EQ(line.reader.WriteBlock(0x1F88, written, true, true), link::ExchangeOk);
    EXPECT_TRUE(line.reader.PortClose());

    ASSERT_TRUE(line.reader.PortEnsureOpen());
    EXPECT_EQ(line.Read(0x1F88), written);
    EXPECT_TRUE(line.reader.PortClose());
    EXPECT_EQ(line.prompt.Texts(), QStringList());
    sim.ExpectCleanStop();
}

TEST(KordexSim, RefusesBadOptionsAndScenariosWithStatusTwo) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString bad = dir.filePath(QStringLiteral("bad.json"));
    QFile f(bad);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("{\"interval\": 300}");
    f.close();
    const QString twice = dir.filePath(QStringLiteral("twice.json"));
    QFile t(twice);
    ASSERT_TRUE(t.open(QIODevice::WriteOnly));
    t.write("{\"battery\": 100,\n \"path\": {\"id\": 1, \"mode\": 2, \"mode\": 0}}");
    t.close();

    struct Case {
        QStringList args;
        int status;
        QString output;  // expected on stdout for 0, on stderr otherwise
    } cases[] = {
        {{"--help"}, 0, "Usage: kordex-sim"},
        {{"--bogus"}, 2, "unknown option \"--bogus\""},
        {{"--events"}, 2, "--events needs a value"},
        {{"--events", "ten"}, 2, "--events: \"ten\" is not a number"},
        {{"--events", "-1"}, 2, "--events: \"-1\" is not a number"},
        {{"--baud", "0"}, 2, "--baud: \"0\" is not a number"},
        {{"--scenario", bad, "--events", "5"}, 2, "exclude each other"},
        {{"--scenario", dir.filePath("none.json")}, 2, "none.json: "},
        {{"--scenario", bad}, 2, "interval: expected a whole number from 0 to 255"},
        {{"--scenario", twice}, 2, "path.mode: given twice (line 2, column 31)"},
        {{"--scenario", "/dev/zero"}, 2, "/dev/zero: larger than 4194304 bytes"},
        {{"--fault"}, 2, "--fault needs a value"},
        {{"--fault", "loud"}, 2, "--fault: \"loud\" is not a fault (silence, partial, "},
        {{"--fault", "bad-crc@0"}, 2, "FROM is a whole number from 1 to 1000000000, not 0"},
        {{"--fault", "silence:3"}, 2, "only a partial reply takes :BYTES"},
        {{"--fault=bad-crc", "--fault", "partial:15"}, 2, "BYTES is a whole number from 0 to 14"},
        {{"--fault", "bad-crc x2"}, 2, "\"bad-crc x2\" is not KIND[:BYTES][@FROM][xCOUNT]"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.join(' ').toStdString());
        QProcess p;
        p.start(SimBinary(), c.args);
        ASSERT_TRUE(p.waitForFinished(10000));
        EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(p.exitCode(), c.status);
        const QString out = QString::fromLocal8Bit(c.status == 0 ? p.readAllStandardOutput()
                                                                 : p.readAllStandardError());
        EXPECT_TRUE(out.contains(c.output)) << out.toStdString();
    }
}

// Faults that act on writes, through the real serial port: a write stored
// changed reads back otherwise, and an initialisation that keeps the counter.
TEST(KordexSim, WriteFaultsActOnTheWritesFromTheirRequestOn) {
    const link::Block guard{0x01, 0x72, 0x3A, 0x01, 0x00, 0x00, 0x00, 0x7D};
    struct Case {
        QStringList faults;
        bool mismatch;  // the verified write of the guard is refused
        int pointer;    // the event counter after an initialisation
    } cases[] = {
        {{}, false, 0},
        {{"write-mismatch"}, true, 0},
        {{"write-mismatch@3"}, false, 0},  // the guard's write is request 1
        {{"stuck-counter"}, false, 5},
        {{"stuck-counter@1x1", "write-mismatch@2"}, false, 5},
        {{"stuck-counter@4"}, false, 0},  // the initialisation is request 3
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.faults.join(' ').toStdString());
        QStringList args{"--events", "5"};
        for (const QString& f : c.faults)
            args << "--fault" << f;
        SimProcess sim;
        ASSERT_TRUE(sim.Start(args));
        Line line(sim.Device());
        ASSERT_TRUE(line.reader.PortEnsureOpen());
        line.prompt.Script({shell::Answer::No});
        EXPECT_EQ(line.reader.WriteBlock(0x1F88, guard, true, true),
                  c.mismatch ? link::ExchangeVerifyFailed : link::ExchangeOk);
        EXPECT_EQ(line.reader.WriteBlock(0x1FF8, link::Block{}, true, false), link::ExchangeOk);
        EXPECT_EQ(simtest::Pointer(line.Read(0x1F48)), c.pointer);
        EXPECT_TRUE(line.reader.PortClose());
        sim.ExpectCleanStop();
    }
}
