#include <gtest/gtest.h>

#include "../ReaderRig.h"

#include "link/ReaderLink.h"
#include "shell/Clock.h"
#include "shell/Prompt.h"
#include "shell/StatusWindow.h"
#include "sim/Collector.h"
#include "sim/Reader.h"
#include "sim/SimPort.h"

using namespace kordex;
using link::Block;
using sim::Fault;
using sim::FaultKind;

namespace {

constexpr uint16_t Stamp = 0x1F80;
constexpr uint16_t Guard = 0x1F88;

// A reader link over the in-process simulator with a fake clock, so time-outs
// cost nothing and their lengths can be read off the clock.
class Exchange : public ::testing::Test, protected kordex::rig::ReaderRig<> {
protected:
    Exchange() {
        collector.SetStamp(QDateTime(QDate(2026, 3, 15), QTime(14, 30, 5)), 10);
        link.SetPortDigit(1);
        status.Show("Чтение из устройства", "Идет чтение данных из Kordex'а...", 1010);
    }

    void Open() { ASSERT_TRUE(link.PortEnsureOpen()); }

    int Read(uint16_t address, bool interactive) {
        return link.ReaderExchange(link::CmdReadBlock, address, interactive, true);
    }

    // Gaps between consecutive request writes, in milliseconds.
    std::vector<uint32_t> Gaps() const {
        const auto t = port.RequestTicks();
        std::vector<uint32_t> g;
        for (size_t i = 1; i < t.size(); ++i)
            g.push_back(t[i] - t[i - 1]);
        return g;
    }
};

// Each wait for a byte costs the port's read wait; an attempt ends within one
// such wait after its time-out.
void ExpectAbout(uint32_t gap, uint32_t timeout) {
    EXPECT_GE(gap, timeout);
    EXPECT_LE(gap, timeout + 2 * sim::SimPort::ReadWaitMs);
}

}  // namespace

TEST_F(Exchange, NoPortChosenOpensNothingAndSaysNothing) {
    link.SetPortDigit(0);
    EXPECT_EQ(link.PortName(), "COM");
    EXPECT_FALSE(link.PortEnsureOpen());
    EXPECT_EQ(port.Opens(), 0);
    EXPECT_EQ(Read(Stamp, true), link::ExchangeFailed);
    EXPECT_TRUE(port.Writes().empty());
    EXPECT_EQ(link.ReaderBusy(), 0);
    EXPECT_TRUE(prompt.Asked().empty());
}

TEST_F(Exchange, PortFailuresAreReportedAndLeaveThePortClosed) {
    struct Case {
        const char* what;
        bool sim::SimPort::Failures::*fail;
        const QString& message;
    } cases[] = {
        {"open", &sim::SimPort::Failures::open, link::msg::CannotOpen},
        {"setup", &sim::SimPort::Failures::configure, link::msg::CannotSetup},
        {"purge", &sim::SimPort::Failures::purge, link::msg::CannotFlush},
    };
    for (const auto& c : cases) {
        prompt.Clear();
        port.Fail() = {};
        port.Fail().*c.fail = true;
        EXPECT_FALSE(link.PortEnsureOpen()) << c.what;
        EXPECT_FALSE(link.IsPortOpen()) << c.what;
        ASSERT_EQ(prompt.Asked().size(), 1u) << c.what;
        EXPECT_EQ(prompt.Asked()[0].text, c.message);
        EXPECT_EQ(prompt.Asked()[0].caption, "Ошибка");
        EXPECT_EQ(prompt.Asked()[0].icon, shell::Icon::Warning);
    }
    port.Fail() = {};
    EXPECT_TRUE(link.PortEnsureOpen());
    EXPECT_EQ(port.OpenedDevice(), "/dev/ttyS0");

    port.Fail().close = true;
    prompt.Clear();
    EXPECT_FALSE(link.PortClose());
    EXPECT_TRUE(link.IsPortOpen());  // a failed close keeps the handle
    EXPECT_EQ(prompt.Texts(), QStringList{link::msg::CannotClose});
}

TEST_F(Exchange, ReadsABlockWithOnePurgeAndLeavesNothingBusy) {
    Open();
    const int purgesBefore = port.Purges();
    int busySeen = 0;
    status.OnPump([&] { busySeen = std::max(busySeen, link.ReaderBusy()); });
    ASSERT_EQ(Read(Stamp, true), link::ExchangeOk);
    EXPECT_EQ(link.ReplyData(), collector.Read(Stamp));
    EXPECT_EQ(port.Purges() - purgesBefore, 1);
    EXPECT_EQ(busySeen, 1);
    EXPECT_EQ(link.ReaderBusy(), 0);
    EXPECT_EQ(port.RequestTicks().size(), 1u);
    EXPECT_EQ(port.SyncWrites(), 0);
    EXPECT_TRUE(prompt.Asked().empty());
}

TEST_F(Exchange, BadRepliesCostAnAttemptEachWithoutSyncBytes) {
    const FaultKind kinds[] = {FaultKind::WrongEcho, FaultKind::BadCrc, FaultKind::BadHead};
    for (FaultKind kind : kinds) {
        SCOPED_TRACE(static_cast<int>(kind));
        Open();
        port.ClearLog();
        prompt.Clear();
        reader.ClearFaults();
        reader.Inject({kind, -1});
        EXPECT_EQ(Read(Stamp, true), link::ExchangeFailed);
        EXPECT_EQ(port.RequestTicks().size(), 10u);
        EXPECT_EQ(port.SyncWrites(), 0);
        EXPECT_EQ(prompt.Texts(), QStringList{link::msg::NoReader});

        // One bad reply and then a good one: the second attempt succeeds.
        port.ClearLog();
        prompt.Clear();
        reader.ClearFaults();
        reader.Inject({kind, 1});
        EXPECT_EQ(Read(Stamp, true), link::ExchangeOk);
        EXPECT_EQ(port.RequestTicks().size(), 2u);
        EXPECT_TRUE(prompt.Asked().empty());

        // Not interactive: one attempt only, no message.
        port.ClearLog();
        reader.Inject({kind, 1});
        EXPECT_EQ(Read(Stamp, false), link::ExchangeFailed);
        EXPECT_EQ(port.RequestTicks().size(), 1u);
        EXPECT_TRUE(prompt.Asked().empty());
    }
}

TEST_F(Exchange, EightBytesThenSilenceEndTheAttemptOneTimeOutAfterTheEighth) {
    Open();
    reader.Inject({FaultKind::Partial, 1, std::nullopt, 8});
    EXPECT_EQ(Read(Stamp, true), link::ExchangeOk);
    ASSERT_EQ(port.RequestTicks().size(), 2u);
    ExpectAbout(Gaps()[0], 300);
    EXPECT_EQ(port.SyncWrites(), 0);  // bytes came, so no sync byte
    EXPECT_EQ(link.ReplyTimeout(), 300);
}

TEST_F(Exchange, SilentReaderInteractiveTriesTenTimesWithASyncByteEach) {
    Open();
    reader.Inject({FaultKind::Silence, -1});
    EXPECT_EQ(Read(Stamp, true), link::ExchangeFailed);
    EXPECT_EQ(port.RequestTicks().size(), 10u);
    EXPECT_EQ(port.SyncWrites(), 10);
    for (uint32_t g : Gaps())
        ExpectAbout(g, 300);
    EXPECT_EQ(prompt.Texts(), QStringList{link::msg::NoReader});
    EXPECT_EQ(link.ReplyTimeout(), 300);  // interactive failures keep it
    // Sync bytes follow their requests: request, sync, request, sync ...
    ASSERT_EQ(port.Writes().size(), 20u);
    for (size_t i = 0; i < 20; ++i)
        EXPECT_EQ(port.Writes()[i].bytes.size(), i % 2 ? 1u : 15u);
}

TEST_F(Exchange, SilentNonInteractiveShortensTheTimeOutForTheNextExchange) {
    Open();
    reader.Inject({FaultKind::Silence, 2});
    EXPECT_EQ(Read(Stamp, false), link::ExchangeFailed);
    EXPECT_EQ(port.RequestTicks().size(), 1u);
    EXPECT_EQ(port.SyncWrites(), 1);
    EXPECT_EQ(link.ReplyTimeout(), 100);
    EXPECT_TRUE(prompt.Asked().empty());

    // The next interactive exchange waits only 100 ms for its first byte;
    // the reply that then comes restores 300.
    port.ClearLog();
    EXPECT_EQ(Read(Stamp, true), link::ExchangeOk);
    ASSERT_EQ(port.RequestTicks().size(), 2u);
    ExpectAbout(Gaps()[0], 100);
    EXPECT_EQ(link.ReplyTimeout(), 300);
}

TEST_F(Exchange, StatusZero) {
    Open();
    // Not interactive: 1 at once, no message.
    reader.Inject({FaultKind::StatusZero, 1});
    EXPECT_EQ(Read(Stamp, false), link::ExchangeNoContact);
    EXPECT_TRUE(prompt.Asked().empty());

    // Interactive, Cancel: 1 after the question.
    reader.Inject({FaultKind::StatusZero, 1});
    prompt.Script({shell::Answer::Cancel});
    EXPECT_EQ(Read(Stamp, true), link::ExchangeNoContact);
    ASSERT_EQ(prompt.Asked().size(), 1u);
    EXPECT_EQ(prompt.Asked()[0].text, link::msg::NoCollectorContact);
    EXPECT_EQ(prompt.Asked()[0].caption, "Ошибка");
    EXPECT_EQ(prompt.Asked()[0].buttons, shell::Buttons::OkCancel);
    EXPECT_TRUE(prompt.Asked()[0].text.contains(QStringLiteral("чтения c Kordex")));
    EXPECT_EQ(prompt.Asked()[0].text.indexOf(QChar('c')),
              prompt.Asked()[0].text.indexOf("c Kordex"));

    // Interactive, OK, and the collector is then in place: the next attempt succeeds.
    prompt.Clear();
    port.ClearLog();
    reader.Inject({FaultKind::StatusZero, 1});
    prompt.Script({shell::Answer::Ok});
    EXPECT_EQ(Read(Stamp, true), link::ExchangeOk);
    EXPECT_EQ(port.RequestTicks().size(), 2u);
    EXPECT_EQ(port.SyncWrites(), 0);

    // Status 0 once, then silence: the exchange still ends with 1.
    prompt.Clear();
    reader.Inject({FaultKind::StatusZero, 1});
    reader.Inject({FaultKind::Silence, -1});
    EXPECT_EQ(Read(Stamp, true), link::ExchangeNoContact);
    EXPECT_EQ(prompt.Texts(), QStringList({link::msg::NoCollectorContact, link::msg::NoReader}));
}

TEST_F(Exchange, VerifiedWriteRewritesOnYesAndGivesThreeOnNo) {
    Open();
    const Block data{0x01, 0xB3, 0xD8, 0xFB, 0x00, 0x00, 0x00, 0xE6};
    using sim::Reader;
    auto sequence = [&] {
        std::vector<uint8_t> s;
        for (const auto& e : reader.Exchanges())
            s.push_back(e.command);
        return s;
    };
    const std::vector<uint8_t> plain = {Reader::CmdWrite, Reader::CmdRead};
    const std::vector<uint8_t> rewritten = {Reader::CmdWrite, Reader::CmdRead, Reader::CmdWrite,
                                            Reader::CmdRead};

    // Matching read-back.
    EXPECT_EQ(link.WriteBlock(Guard, data, true, true), link::ExchangeOk);
    EXPECT_EQ(sequence(), plain);
    EXPECT_EQ(collector.Read(Guard), data);

    // Differs once; Yes rewrites the same bytes unverified and reads back again.
    reader.ClearLog();
    reader.Inject({FaultKind::WriteMismatch, 1, Guard});
    int deepest = 0;
    status.OnPump([&] { deepest = std::max(deepest, link.ReaderBusy()); });
    prompt.Script({shell::Answer::Yes});
    EXPECT_EQ(link.WriteBlock(Guard, data, true, true), link::ExchangeOk);
    EXPECT_EQ(sequence(), rewritten);
    EXPECT_EQ(reader.Exchanges()[2].data, data);
    EXPECT_EQ(collector.Read(Guard), data);
    EXPECT_EQ(deepest, 2);  // the read-back runs inside the write
    ASSERT_EQ(prompt.Asked().size(), 1u);
    EXPECT_EQ(prompt.Asked()[0].text, link::msg::VerifyMismatch);
    EXPECT_EQ(prompt.Asked()[0].caption, "Подтверждение");
    EXPECT_EQ(prompt.Asked()[0].buttons, shell::Buttons::YesNo);

    // Differs; No gives 3.
    reader.ClearLog();
    prompt.Clear();
    reader.Inject({FaultKind::WriteMismatch, 1, Guard});
    prompt.Script({shell::Answer::No});
    EXPECT_EQ(link.WriteBlock(Guard, data, true, true), link::ExchangeVerifyFailed);
    EXPECT_EQ(sequence(), plain);

    // Differs every time: Yes, Yes, No ends the loop with 3 after three rewrites' worth.
    reader.ClearLog();
    prompt.Clear();
    reader.Inject({FaultKind::WriteMismatch, -1, Guard});
    prompt.Script({shell::Answer::Yes, shell::Answer::Yes, shell::Answer::No});
    EXPECT_EQ(link.WriteBlock(Guard, data, true, true), link::ExchangeVerifyFailed);
    EXPECT_EQ(reader.Exchanges().size(), 6u);
    EXPECT_EQ(prompt.Asked().size(), 3u);

    // Differs, Yes, and the rewrite itself fails: 3.
    reader.ClearFaults();
    reader.ClearLog();
    prompt.Clear();
    reader.Inject({FaultKind::WriteMismatch, 1, Guard});
    prompt.Script({shell::Answer::Yes});
    bool silenced = false;
    status.OnPump([&] {
        if (!silenced && reader.Exchanges().size() == 2) {
            reader.Inject({FaultKind::Silence, -1});
            silenced = true;
        }
    });
    EXPECT_EQ(link.WriteBlock(Guard, data, true, true), link::ExchangeVerifyFailed);
    EXPECT_EQ(link.ReaderBusy(), 0);
}

TEST_F(Exchange, CompletionBlockPausesAfterwardsEvenWhenItFails) {
    Open();
    uint32_t t0 = clock.TickMs();
    EXPECT_EQ(Read(link::CompletionAddress, false), link::ExchangeOk);
    EXPECT_GE(clock.TickMs() - t0, 300u);
    EXPECT_LE(clock.TickMs() - t0, 320u);
    EXPECT_GT(pump.Count(), 0);  // events flow during the pause

    reader.Inject({FaultKind::Silence, 1});
    t0 = clock.TickMs();
    EXPECT_EQ(Read(link::CompletionAddress, false), link::ExchangeFailed);
    EXPECT_GE(clock.TickMs() - t0, 300u + 300u);  // the reply time-out, then the pause

    t0 = clock.TickMs();
    EXPECT_EQ(Read(Stamp, false), link::ExchangeOk);
    EXPECT_LT(clock.TickMs() - t0, 20u);  // other blocks do not pause

    link.PortClose();
    t0 = clock.TickMs();
    EXPECT_EQ(Read(link::CompletionAddress, false), link::ExchangeFailed);
    EXPECT_EQ(clock.TickMs() - t0, 0u);  // closed port: back at once
}

TEST_F(Exchange, ClosingTheStatusWindowCancelsAtOnce) {
    Open();
    reader.Inject({FaultKind::Silence, -1});
    status.CloseAtPump(50);  // well inside the first attempt's wait
    EXPECT_EQ(Read(Stamp, true), link::ExchangeFailed);
    EXPECT_EQ(port.RequestTicks().size(), 1u);
    EXPECT_EQ(port.SyncWrites(), 0);
    EXPECT_TRUE(prompt.Asked().empty());
    EXPECT_EQ(link.ReaderBusy(), 0);

    // Non-interactive exchanges do not look at the window.
    reader.ClearFaults();
    EXPECT_EQ(Read(Stamp, false), link::ExchangeOk);
}

TEST_F(Exchange, PortReadAndWriteFailures) {
    Open();
    port.Fail().read = true;
    EXPECT_EQ(Read(Stamp, true), link::ExchangeFailed);
    EXPECT_EQ(prompt.Texts(), QStringList{link::msg::ReadError});
    EXPECT_EQ(port.RequestTicks().size(), 1u);

    prompt.Clear();
    port.Fail() = {};
    port.Fail().write = true;
    EXPECT_EQ(Read(Stamp, true), link::ExchangeFailed);
    EXPECT_EQ(prompt.Texts(), QStringList{link::msg::WriteError});
    EXPECT_EQ(link.ReaderBusy(), 0);
}

TEST_F(Exchange, ProbingLeavesTheChosenPortAloneAndPortsMapToDevices) {
    port.SetDevices({"/dev/ttyS1", "/dev/pts/7"});
    link.SetPortDigit(0);
    EXPECT_FALSE(link.ProbeComPort(1));
    EXPECT_TRUE(link.ProbeComPort(2));
    EXPECT_EQ(link.PortDigit(), 0);
    EXPECT_FALSE(link.IsPortOpen());

    link::PortMap ports;
    ports.Set("COM3", "/dev/pts/7");
    link.SetPortMap(ports);
    EXPECT_TRUE(link.ProbeComPort(3));
    EXPECT_FALSE(link.ProbeComPort(4));
    link.SetPortDigit(3);
    EXPECT_TRUE(link.PortEnsureOpen());
    EXPECT_EQ(port.OpenedDevice(), "/dev/pts/7");
    EXPECT_EQ(link::PortMap::DefaultDevice("COM4"), "/dev/ttyS3");
}

TEST_F(Exchange, PumpWaitPumpsUntilTheTimeHasPassed) {
    const uint32_t t0 = clock.TickMs();
    link.PumpWait(35);
    EXPECT_GE(clock.TickMs() - t0, 35u);
    EXPECT_LT(clock.TickMs() - t0, 46u);
    EXPECT_GE(pump.Count(), 4);
}
