#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include "CliRun.h"

using kordex::testing::Cli;
using kordex::testing::CliRun;

namespace {

// kordex-sim serving its demo collector; the pseudo-terminal is on its first line.
class DemoReader {
public:
    DemoReader() {
        sim_.start(QStringLiteral(KORDEX_SIM_PATH), {});
        if (!sim_.waitForStarted(5000)) return;
        for (int i = 0; i < 50 && !sim_.canReadLine(); ++i)
            sim_.waitForReadyRead(100);
        device_ = QString::fromLocal8Bit(sim_.readLine()).trimmed();
    }
    ~DemoReader() {
        sim_.terminate();
        sim_.waitForFinished(5000);
    }
    const QString& Device() const { return device_; }

private:
    QProcess sim_;
    QString device_;
};

}  // namespace

TEST(KordexCli, ReadsTheDemoCollectorOnceAndFindsItReadTheSecondTime) {
    DemoReader sim;
    ASSERT_TRUE(sim.Device().startsWith("/dev/")) << sim.Device().toStdString();
    QTemporaryDir home;
    ASSERT_TRUE(home.isValid());

    const CliRun first = Cli({"read", "--device", sim.Device(), "--home", home.path(), "--yes"});
    ASSERT_EQ(first.code, 0) << first.err.toStdString();
    EXPECT_TRUE(first.err.contains("Данные успешно прочитаны из устройства."))
        << first.err.toStdString();
    EXPECT_TRUE(first.out.contains("Регистрация: ")) << first.out.toStdString();
    EXPECT_TRUE(first.out.contains("Неизвестный охранник"));
    EXPECT_TRUE(first.out.contains("Неизвестная точка №0001"));
    EXPECT_TRUE(first.out.contains("Режим обхода точек: Без маршрута"));  // path 1 is unknown here
    // One line per touch: the demo collector carries 37.
    int touches = 0;
    for (const QString& line : first.out.split('\n'))
        touches += line.contains("Неизвестная точка") || line.contains("Контрольная точка");
    EXPECT_EQ(touches, 37);

    const CliRun second = Cli({"read", "--device", sim.Device(), "--home", home.path()});
    EXPECT_EQ(second.code, 1);
    EXPECT_TRUE(second.err.contains("Данные из устройства уже были прочитаны и сохранены !"))
        << second.err.toStdString();
    EXPECT_TRUE(second.err.contains("[Нет]"));
}

TEST(KordexCli, BadUsageExitsWithTwo) {
    const char* cases[][3] = {
        {"", "", ""},      {"fly", "", ""},         {"read", "--port", "COM9"},
        {"write", "", ""}, {"read", "--bogus", ""}, {"read", "--home", ""},
    };
    for (const auto& c : cases) {
        QStringList args;
        for (const char* a : c)
            if (*a || (!args.isEmpty() && args.last() == "--home")) args << a;
        EXPECT_EQ(Cli(args).code, 2) << args.join(' ').toStdString();
    }
}

// A memo the collector cannot keep is bad usage: refused before the store or
// the line is touched, so the collector still holds the round it had.
TEST(KordexCli, AMemoCharacterBeyondWindows1251IsRefusedAndNothingIsWritten) {
    DemoReader sim;
    ASSERT_TRUE(sim.Device().startsWith("/dev/")) << sim.Device().toStdString();
    QTemporaryDir home;
    ASSERT_TRUE(home.isValid());
    // The read adds the collector's registrar and guard to the store.
    const CliRun read = Cli({"read", "--device", sim.Device(), "--home", home.path(), "--yes"});
    ASSERT_EQ(read.code, 0) << read.err.toStdString();
    QString registrar, guard;
    for (const QString& line : read.out.split('\n')) {
        if (line.startsWith("Регистратор: ")) registrar = line.section(' ', 1, 1);
        if (line.startsWith("Охранник: ")) guard = line.section(' ', 1, 1);
    }
    ASSERT_EQ(registrar.size(), 16) << read.out.toStdString();
    ASSERT_EQ(guard.size(), 16) << read.out.toStdString();

    const CliRun write =
        Cli({"write", "--device", sim.Device(), "--home", home.path(), "--registrar", registrar,
             "--guard", guard, "--memo", QString::fromUtf8("Пост \xE2\x98\x83 3"), "--yes"});
    EXPECT_EQ(write.code, 2) << write.err.toStdString();
    EXPECT_TRUE(write.err.contains("memo character")) << write.err.toStdString();
    EXPECT_TRUE(write.err.contains("position 6")) << write.err.toStdString();

    const CliRun again = Cli({"read", "--device", sim.Device(), "--home", home.path()});
    EXPECT_EQ(again.code, 1);
    EXPECT_TRUE(again.err.contains("Данные из устройства уже были прочитаны и сохранены !"))
        << again.err.toStdString();
}

// Two programs writing one program directory: the second is refused while the
// first works; a lock left by a program that was killed is taken over.
TEST(KordexCli, ASecondWriterOnTheDirectoryIsRefused) {
    QProcess sim;
    sim.start(QStringLiteral(KORDEX_SIM_PATH), {"--events", "1000", "--baud", "9600"});
    ASSERT_TRUE(sim.waitForStarted(5000));
    for (int i = 0; i < 50 && !sim.canReadLine(); ++i)
        sim.waitForReadyRead(100);
    const QString device = QString::fromLocal8Bit(sim.readLine()).trimmed();
    ASSERT_TRUE(device.startsWith("/dev/")) << device.toStdString();
    QTemporaryDir home;
    ASSERT_TRUE(home.isValid());

    QProcess first;
    first.start(QStringLiteral(KORDEX_CLI_PATH),
                {"read", "--device", device, "--home", home.path(), "--yes"});
    QString firstErr;
    for (int i = 0; i < 200 && !firstErr.contains("событ"); ++i) {
        first.waitForReadyRead(100);
        firstErr += QString::fromUtf8(first.readAllStandardError());
    }
    ASSERT_TRUE(firstErr.contains("событ")) << firstErr.toStdString();  // reading the events

    const CliRun second = Cli({"read", "--device", device, "--home", home.path(), "--yes"});
    EXPECT_EQ(second.code, 1);
    EXPECT_TRUE(second.err.contains("Ошибка при открытии баз данных !"))
        << second.err.toStdString();
    EXPECT_TRUE(second.err.contains("занят другой программой")) << second.err.toStdString();

    first.kill();
    first.waitForFinished(5000);
    sim.terminate();
    sim.waitForFinished(5000);
    const CliRun third = Cli({"read", "--device", "/dev/null/none", "--home", home.path()});
    EXPECT_EQ(third.code, 1);
    EXPECT_FALSE(third.err.contains("занят")) << third.err.toStdString();
}

namespace {

// One read by kordex-cli into a fresh directory from a kordex-sim started
// with the given options; the simulator's summary tells what it answered.
struct FaultyRead {
    CliRun cli;
    qint64 requests = -1, faulty = -1;
};

FaultyRead ReadFrom(const QStringList& simArgs, bool yes) {
    FaultyRead r;
    QProcess sim;
    sim.start(QStringLiteral(KORDEX_SIM_PATH), simArgs);
    if (!sim.waitForStarted(5000)) return r;
    for (int i = 0; i < 50 && !sim.canReadLine(); ++i)
        sim.waitForReadyRead(100);
    const QString device = QString::fromLocal8Bit(sim.readLine()).trimmed();
    QTemporaryDir home;
    QStringList args{"read", "--device", device, "--home", home.path()};
    if (yes) args << "--yes";
    r.cli = Cli(args);
    sim.terminate();
    sim.waitForFinished(5000);
    const QString summary = QString::fromLocal8Bit(sim.readAllStandardError());
    static const QRegularExpression counts(QStringLiteral("(\\d+) requests, (\\d+) faulty"));
    const QRegularExpressionMatch m = counts.match(summary);
    if (m.hasMatch()) {
        r.requests = m.captured(1).toLongLong();
        r.faulty = m.captured(2).toLongLong();
    }
    return r;
}

}  // namespace

// A whole read against a reader that misbehaves from a given request on: the
// link's retries ride out a few faults (each costs one more request) and give
// up with the link's message when the faults last.
TEST(KordexCli, ReadAgainstAFaultyReaderRecoversOrFailsWithTheLinkError) {
    const FaultyRead clean = ReadFrom({"--events", "37"}, true);
    ASSERT_EQ(clean.cli.code, 0) << clean.cli.err.toStdString();
    ASSERT_GT(clean.requests, 40);
    ASSERT_EQ(clean.faulty, 0);

    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString scenario = dir.filePath(QStringLiteral("faults.json"));
    QFile f(scenario);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    // A collector without touches: the seventh request fails, and its two retries.
    f.write(R"({"id": "01000000F4D2B1AF", "registrar": "01000000013A7124",
                "guard": "01000000013A727D", "stamp": "13.03.2026 19:45:30",
                "faults": ["bad-crc@7x3"]})");
    f.close();

    const QString done = QStringLiteral("Данные успешно прочитаны из устройства.");
    const QString noReader = QStringLiteral("Ошибка связи с устройством чтения !");
    const QString noContact = QStringLiteral("Ошибка связи устройства чтения c Kordex'ом !");
    struct Case {
        QStringList sim;
        bool yes;
        int code;
        QString message;
        qint64 extra;  // requests beyond a clean read's, -1: not checked
        qint64 faulty;
    } cases[] = {
        {{"--fault", "bad-crc@5x2"}, true, 0, done, 2, 2},
        {{"--fault", "wrong-echo@5x2"}, true, 0, done, 2, 2},
        {{"--fault", "bad-head@12x2"}, true, 0, done, 2, 2},
        {{"--fault", "partial@5x2", "--fault=partial:14@30"}, true, 0, done, 3, 3},
        {{"--fault", "silence@5x9"}, true, 0, done, 9, 9},
        {{"--fault", "silence@5x10"}, true, 1, noReader, -1, 10},
        {{"--fault", "silence@3xall"}, true, 1, noReader, -1, 10},
        {{"--fault", "status-zero@5x2"}, true, 0, noContact, 2, 2},
        {{"--fault", "status-zero@5"}, false, 1, noContact, -1, 1},
        {{"--fault", "write-mismatch@1xall", "--fault", "stuck-counter@1xall"},
         true,
         0,
         done,
         0,
         0},
        {{"--scenario", scenario}, true, 0, done, -1, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.sim.join(' ').toStdString());
        QStringList args = c.sim;
        if (!args.contains("--scenario"))
            args << "--events"
                 << "37";
        const FaultyRead r = ReadFrom(args, c.yes);
        EXPECT_EQ(r.cli.code, c.code) << r.cli.err.toStdString();
        EXPECT_TRUE(r.cli.err.contains(c.message)) << r.cli.err.toStdString();
        EXPECT_EQ(r.faulty, c.faulty);
        if (c.extra >= 0) {
            EXPECT_EQ(r.requests, clean.requests + c.extra);
        }
    }
}
