// The simulated reader served by a thread of the program's own process, met
// through the real serial port code and the reader link.

#include <gtest/gtest.h>

#include <QDateTime>
#include <atomic>
#include <functional>
#include <thread>

#include "Decode.h"
#include "link/QtSerialPort.h"
#include "link/ReaderLink.h"
#include "shell/Clock.h"
#include "shell/Prompt.h"
#include "shell/StatusWindow.h"
#include "sim/PtyReader.h"
#include "sim/Scenario.h"

using namespace kordex;

namespace {

constexpr uint16_t AddrId = 0x0000;
constexpr uint16_t AddrClock = 0x1F48;
constexpr uint16_t AddrStamp = 0x1F80;
constexpr uint16_t AddrGuard = 0x1F88;
constexpr uint16_t AddrInit = 0x1FF8;
constexpr uint16_t AddrKeyContact = 0x2000;

// The program's side of the line: COM1 mapped to the terminal.
struct Line {
    explicit Line(const QString& device) : link(port, prompt, status, clock, pump) {
        link::PortMap ports;
        ports.Set(QStringLiteral("COM1"), device);
        link.SetPortMap(ports);
        link.SetPortDigit(1);
        status.Show(QStringLiteral("Чтение из устройства"), QString(), 1010);
    }

    // A block as a read of the collector takes it; the exchange result is kept.
    link::Block Read(uint16_t address, bool interactive = true) {
        link::Block b{};
        result = link.ReadBlock(address, interactive, b);
        return b;
    }
    void Write(uint16_t address, const link::Block& data, bool verify = true) {
        EXPECT_EQ(link.WriteBlock(address, data, true, verify), link::ExchangeOk)
            << "block 0x" << std::hex << address;
    }

    link::QtSerialPort port;
    shell::ScriptedPrompt prompt;
    shell::ScriptedStatusWindow status;
    shell::SystemClock clock;
    shell::QtEventPump pump;
    link::ReaderLink link;
    int result = link::ExchangeOk;
};

sim::Scenario Demo() {
    return sim::DemoScenario(QDateTime::currentDateTime());
}

QDateTime WallMinute(const QDateTime& t) {
    return QDateTime(t.date(), QTime(t.time().hour(), t.time().minute()), Qt::UTC);
}

}  // namespace

// What the program changes between two requests is what the next request
// finds, before and after the server starts.
TEST(PtyServer, NextRequestSeesWhatWasChangedBeforeIt) {
    const sim::DemoKeys& k = sim::DemoKeyIds();
    struct Case {
        const char* what;
        std::function<void(sim::PtyServer&)> change;
        uint16_t address;
        int result;
        QString key;  // the key the block holds on success
    } cases[] = {
        {"the scenario's collector", [](sim::PtyServer&) {}, AddrId, link::ExchangeOk, k.collector},
        {"another collector",
         [&](sim::PtyServer& s) {
             s.Run([&](sim::Collector& c, sim::Reader&) { c.SetId(k.unknown); });
         },
         AddrId, link::ExchangeOk, k.unknown},
        {"a key held to the contact", [&](sim::PtyServer& s) { s.SetKeyContact(k.registrar); },
         AddrKeyContact, link::ExchangeOk, k.registrar},
        {"the key taken away", [](sim::PtyServer& s) { s.SetKeyContact(QString()); },
         AddrKeyContact, link::ExchangeNoContact, QString()},
        {"the collector taken out", [](sim::PtyServer& s) { s.SetCollectorPresent(false); },
         AddrGuard, link::ExchangeNoContact, QString()},
        {"the collector put back", [](sim::PtyServer& s) { s.SetCollectorPresent(true); },
         AddrGuard, link::ExchangeOk, k.guard},
    };

    sim::PtyServer server(Demo());
    // A change made before the start holds as well.
    server.SetKeyContact(k.guard);
    QString error;
    ASSERT_TRUE(server.Start(error)) << error.toStdString();
    ASSERT_TRUE(server.Running());
    Line line(server.SlavePath());
    ASSERT_TRUE(line.link.PortEnsureOpen());
    EXPECT_EQ(link::KeyIdToText(line.Read(AddrKeyContact, false)), k.guard);

    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        c.change(server);
        const link::Block b = line.Read(c.address, false);
        EXPECT_EQ(line.result, c.result);
        if (c.result == link::ExchangeOk) {
            EXPECT_EQ(link::KeyIdToText(b), c.key);
        }
    }
    EXPECT_EQ(line.prompt.Texts(), QStringList());
    EXPECT_TRUE(line.link.PortClose());
}

// After a write of the collector, the guard's shift lies in it before the
// next request is answered; during the write the counter stays clear, and a
// write given up after the initialisation is followed by nothing.
TEST(PtyServer, ShiftFollowsEveryFinishedWrite) {
    const sim::DemoKeys& k = sim::DemoKeyIds();
    const QStringList shift = {k.points[0], k.points[2], k.points[1], k.incident};
    sim::PtyServer server(Demo());
    server.SetShiftAfterWrite(shift);
    QString error;
    ASSERT_TRUE(server.Start(error)) << error.toStdString();
    Line line(server.SlavePath());

    const auto writeCollector = [&](bool finish) {
        ASSERT_TRUE(line.link.PortEnsureOpen());
        line.Write(AddrInit, link::Block{}, false);
        const link::Block counter = line.Read(AddrClock);
        EXPECT_EQ(simtest::Pointer(counter), 0) << "the counter during the write";
        line.Write(AddrStamp, {0x00, 0x30, 0x14, 0x15, 0x03, 10, 0, 0});
        line.Write(AddrGuard, sim::Collector::KeyBytes(k.guard));
        if (finish)
            line.link.ReaderExchange(link::CmdReadBlock, link::CompletionAddress, false, false);
        EXPECT_TRUE(line.link.PortClose());
    };
    // The shift as the collector's ring holds it, from the given minute up to the read.
    const auto expectShift = [&](const QDateTime& from) {
        ASSERT_TRUE(line.link.PortEnsureOpen());
        const link::Block counter = line.Read(AddrClock);
        ASSERT_EQ(simtest::Pointer(counter), shift.size());
        std::vector<simtest::Touch> touches;
        for (int slot = 0; slot < shift.size(); ++slot)
            touches.push_back(simtest::DecodeTouch(line.Read(simtest::SlotAddress(slot)), from));
        EXPECT_TRUE(line.link.PortClose());
        const QDateTime to = WallMinute(QDateTime::currentDateTime());
        QDateTime before = from;
        for (int slot = 0; slot < shift.size(); ++slot) {
            const simtest::Touch& t = touches[static_cast<size_t>(slot)];
            EXPECT_EQ(t.key, shift[slot]) << "slot " << slot;
            EXPECT_GE(t.time, before) << "slot " << slot;
            EXPECT_LE(t.time, to) << "slot " << slot;
            before = t.time;
        }
    };

    for (int round = 1; round <= 2; ++round) {
        SCOPED_TRACE(round);
        const QDateTime from = WallMinute(QDateTime::currentDateTime());
        writeCollector(true);
        expectShift(from);
        EXPECT_EQ(server.ShiftsWalked(), round);
    }

    writeCollector(false);
    ASSERT_TRUE(line.link.PortEnsureOpen());
    EXPECT_EQ(simtest::Pointer(line.Read(AddrClock)), 0);
    EXPECT_EQ(server.ShiftsWalked(), 2);
    EXPECT_EQ(line.prompt.Texts(), QStringList());
}

// Changes from other threads while requests are being answered: every reply
// is whole and right. (Run it under -fsanitize=thread to see the locking.)
TEST(PtyServer, ChangesFromAnotherThreadWhileServing) {
    const sim::DemoKeys& k = sim::DemoKeyIds();
    sim::PtyServer server(Demo());
    server.SetKeyContact(k.registrar);
    QString error;
    ASSERT_TRUE(server.Start(error)) << error.toStdString();
    Line line(server.SlavePath());
    ASSERT_TRUE(line.link.PortEnsureOpen());

    std::atomic<bool> done{false};
    std::atomic<int> changes{0};
    std::thread other([&] {
        while (!done) {
            server.SetKeyContact(changes % 2 == 0 ? k.registrar : k.guard);
            server.Run([](sim::Collector& c, sim::Reader&) { c.SetBattery(90); });
            ++changes;
            std::this_thread::yield();
        }
    });
    for (int i = 0; i < 200 && !HasFailure(); ++i) {
        EXPECT_EQ(link::KeyIdToText(line.Read(AddrId)), k.collector);
        EXPECT_EQ(line.result, link::ExchangeOk);
        const QString held = link::KeyIdToText(line.Read(AddrKeyContact));
        EXPECT_TRUE(held == k.registrar || held == k.guard) << held.toStdString();
    }
    done = true;
    other.join();
    EXPECT_GT(changes.load(), 0);
    EXPECT_EQ(line.prompt.Texts(), QStringList());
}

// A server runs once: a second start is refused, stopping twice is harmless,
// and after the stop the line is no longer answered but the reader can still
// be changed.
TEST(PtyServer, StartsOnceAndStopsCleanly) {
    sim::PtyServer server(Demo());
    QString error;
    ASSERT_TRUE(server.Start(error)) << error.toStdString();
    EXPECT_FALSE(server.Start(error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_TRUE(server.Running());

    Line line(server.SlavePath());
    ASSERT_TRUE(line.link.PortEnsureOpen());
    line.Read(AddrId, false);
    EXPECT_EQ(line.result, link::ExchangeOk);

    server.Stop();
    server.Stop();
    EXPECT_FALSE(server.Running());
    EXPECT_EQ(server.Failure(), QString());
    line.Read(AddrId, false);
    EXPECT_EQ(line.result, link::ExchangeFailed);
    bool ran = false;
    server.Run([&](sim::Collector&, sim::Reader&) { ran = true; });
    EXPECT_TRUE(ran);
}
