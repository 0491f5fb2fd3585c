#include <gtest/gtest.h>

#include "../ReaderRig.h"

#include "BlockText.h"
#include "collector/DeviceTest.h"
#include "link/ReaderLink.h"
#include "shell/Clock.h"
#include "shell/Prompt.h"
#include "shell/StatusWindow.h"
#include "sim/Collector.h"
#include "sim/Reader.h"
#include "sim/SimPort.h"

using namespace kordex;
using collector::DeviceTest;
using collector::Glyphs;

namespace {

constexpr int E = collector::GlyphE;
constexpr int R = collector::GlyphR;
constexpr int H = collector::GlyphHidden;
constexpr Glyphs<6> ErrSix = {E, R, R, H, H, H};
constexpr Glyphs<6> HiddenSix = {H, H, H, H, H, H};

// The test page over the in-process simulator: the PC's clock stands at
// 15.03.2026 14:30:05 unless a test moves it.
class TestPage : public ::testing::Test, protected kordex::rig::ReaderRig<> {
protected:
    TestPage() {
        // A question of the link (a read-back that differs) is answered No.
        prompt.SetDefault(shell::DefaultAnswer::Negative);
        collector.SetId("01000000FBD8B3E6");
        collector.SetClock(QDateTime(QDate(2025, 6, 1), QTime(8, 9, 10)));
        collector.SetBattery(66);
        link.SetPortDigit(1);
        EXPECT_TRUE(link.PortEnsureOpen());
    }

    collector::TestRedraw Tick(bool loginShowing = false) {
        return test.TimerTestTimer(link, status, loginShowing, clock.Now());
    }
    // One tick of each phase, from the ID poll on.
    void Cycle() {
        ASSERT_EQ(test.Phase(), DeviceTest::PhaseId);
        for (int i = 0; i < 3; ++i)
            Tick();
    }
    const collector::TestDisplay& Shown() const { return test.Display(); }
    // The block addresses read since the last call.
    std::vector<uint16_t> Polled() {
        std::vector<uint16_t> a;
        for (const auto& e : reader.Exchanges())
            a.push_back(e.address);
        reader.ClearLog();
        return a;
    }

    DeviceTest test;
};

}  // namespace

TEST_F(TestPage, ShowsPcClockCollectorIdClockAndBattery) {
    Cycle();
    EXPECT_EQ(Shown().pcDate, (Glyphs<6>{1, 5, 0, 3, 2, 6}));
    EXPECT_EQ(Shown().pcTime, (Glyphs<6>{1, 4, 3, 0, 0, 5}));
    EXPECT_EQ(Shown().id, (Glyphs<16>{0, 1, 0, 0, 0, 0, 0, 0, 15, 11, 13, 8, 11, 3, 14, 6}));
    EXPECT_EQ(Shown().collectorDate, (Glyphs<6>{0, 1, 0, 6, 2, 5}));
    EXPECT_EQ(Shown().collectorTime, (Glyphs<6>{0, 8, 0, 9, 1, 0}));
    EXPECT_TRUE(Shown().correctionEnabled);

    // The page finds its figures by their image names.
    EXPECT_EQ(Shown().Glyph(u"ImageCDY1"), 6);
    EXPECT_EQ(Shown().Glyph(u"ImageKDTM1"), 9);
    EXPECT_EQ(Shown().Glyph(u"ImageKDDD10"), 0);
    EXPECT_EQ(Shown().Glyph(u"ImageID9"), 15);
    EXPECT_EQ(Shown().Glyph(u"ImageVolt100"), 2);
    EXPECT_FALSE(Shown().Glyph(u"ImageVolt").has_value());
    EXPECT_EQ(collector::TestDisplay::ImageNames().size(), collector::TestDisplay::FigureCount);
}

TEST_F(TestPage, WithoutCollectorOnlyThePcClockRuns) {
    Cycle();
    reader.SetCollectorPresent(false);
    clock.SetNow(QDateTime(QDate(2026, 3, 16), QTime(9, 5, 7)));
    Cycle();
    EXPECT_EQ(Shown().id, collector::HiddenGlyphs<16>());
    EXPECT_EQ(Shown().collectorDate, HiddenSix);
    EXPECT_EQ(Shown().collectorTime, HiddenSix);
    EXPECT_EQ(Shown().volt, (Glyphs<3>{H, H, H}));
    EXPECT_FALSE(Shown().bar.drawn);
    EXPECT_FALSE(Shown().correctionEnabled);
    EXPECT_EQ(Shown().pcDate, (Glyphs<6>{1, 6, 0, 3, 2, 6}));
    EXPECT_EQ(Shown().pcTime, (Glyphs<6>{0, 9, 0, 5, 0, 7}));
}

TEST_F(TestPage, CollectorClockDateAndTimeAreJudgedApart) {
    // Each case follows a sound clock showing 01.06.25 08:09:10.
    struct Case {
        const char* what;
        std::array<uint8_t, 5> bytes;  // seconds, minutes, hour, date, month
        Glyphs<6> date, time;
    } cases[] = {
        {"sound", {0x05, 0x30, 0x14, 0x95, 0xC3}, {1, 5, 0, 3, 2, 6}, {1, 4, 3, 0, 0, 5}},
        {"12-hour byte, 1 PM",
         {0x00, 0x05, 0xC1, 0x95, 0xC3},
         {1, 5, 0, 3, 2, 6},
         {1, 3, 0, 5, 0, 0}},
        {"month 13", {0x05, 0x30, 0x14, 0x95, 0x13}, ErrSix, {0, 8, 0, 9, 1, 0}},
        {"month 13, minute 60", {0x05, 0x60, 0x14, 0x95, 0x13}, ErrSix, ErrSix},
        {"29 February a year after the leap year",
         {0x05, 0x30, 0x14, 0x69, 0x02},
         ErrSix,
         {0, 8, 0, 9, 1, 0}},
        {"29 February of the leap year nearest the PC's date",
         {0x05, 0x30, 0x14, 0x29, 0x02},
         {2, 9, 0, 2, 2, 8},
         {1, 4, 3, 0, 0, 5}},
        {"hour 24", {0x05, 0x30, 0x24, 0x95, 0xC3}, {1, 5, 0, 3, 2, 6}, ErrSix},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        collector.SetClock(QDateTime(QDate(2025, 6, 1), QTime(8, 9, 10)));
        Cycle();
        ASSERT_EQ(Shown().collectorTime, (Glyphs<6>{0, 8, 0, 9, 1, 0}));
        collector.SetRawClock(c.bytes);
        Cycle();
        EXPECT_EQ(Shown().collectorDate, c.date);
        EXPECT_EQ(Shown().collectorTime, c.time);
        EXPECT_TRUE(Shown().correctionEnabled);
    }
}

TEST_F(TestPage, CollectorYearIsTheNearestToThePcClock) {
    // The collector keeps only its place in the leap cycle: its year is the
    // one nearest the PC's clock, whichever of the two runs ahead.
    struct Case {
        const char* what;
        QDateTime pc, collector;
        Glyphs<6> date;
    } cases[] = {
        {"collector behind over New Year",
         QDateTime(QDate(2026, 1, 1), QTime(0, 1, 0)),
         QDateTime(QDate(2025, 12, 31), QTime(23, 58, 0)),
         {3, 1, 1, 2, 2, 5}},
        {"collector ahead over New Year",
         QDateTime(QDate(2025, 12, 31), QTime(23, 58, 0)),
         QDateTime(QDate(2026, 1, 1), QTime(0, 1, 0)),
         {0, 1, 0, 1, 2, 6}},
        {"collector behind over a leap-cycle boundary",
         QDateTime(QDate(2028, 1, 1), QTime(0, 0, 3)),
         QDateTime(QDate(2027, 12, 31), QTime(23, 59, 58)),
         {3, 1, 1, 2, 2, 7}},
        {"collector ahead over a leap-cycle boundary",
         QDateTime(QDate(2027, 12, 31), QTime(23, 59, 0)),
         QDateTime(QDate(2028, 1, 1), QTime(0, 0, 30)),
         {0, 1, 0, 1, 2, 8}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        clock.SetNow(c.pc);
        collector.SetClock(c.collector);
        Cycle();
        EXPECT_EQ(Shown().collectorDate, c.date);
    }
}

TEST_F(TestPage, BatteryVoltageAndBar) {
    struct Step {
        int raw;  // -1: no collector
        Glyphs<3> volt;
        bool drawn;
        int red, yellow, green;
    } steps[] = {
        {66, {2, 8, 0}, true, 250, 280, 280},
        {144, {E, R, R}, true, 250, 280, 280},  // Err; the bar stays
        {143, {4, 1, 5}, true, 250, 280, 399},
        {20, {1, 0, 9}, true, 109, 250, 280},
        {255, {E, R, R}, true, 109, 250, 280},
        {-1, {H, H, H}, false, 0, 0, 0},
        {0, {0, 0, 0}, true, 0, 0, 0},
    };
    for (const auto& s : steps) {
        SCOPED_TRACE(s.raw);
        reader.SetCollectorPresent(s.raw >= 0);
        if (s.raw >= 0) collector.SetBattery(static_cast<uint8_t>(s.raw));
        Cycle();
        EXPECT_EQ(Shown().volt, s.volt);
        EXPECT_EQ(Shown().bar.drawn, s.drawn);
        if (!s.drawn) continue;
        EXPECT_EQ(Shown().bar.segments.redEnd, s.red);
        EXPECT_EQ(Shown().bar.segments.yellowEnd, s.yellow);
        EXPECT_EQ(Shown().bar.segments.greenEnd, s.green);
    }
}

TEST_F(TestPage, PollsIdClockAndBatteryInTurnWithoutAsking) {
    const std::vector<uint16_t> order = {0x0000, 0x1F48, 0x2008, 0x0000, 0x1F48};
    for (const uint16_t address : order) {
        Tick();
        EXPECT_EQ(Polled(), std::vector<uint16_t>{address});
    }
    // A failing reader shows blanks, never a message box.
    reader.Inject({sim::FaultKind::Silence, -1});
    for (int i = 0; i < 3; ++i)
        Tick();
    EXPECT_TRUE(prompt.Asked().empty());
    EXPECT_EQ(Shown().id, collector::HiddenGlyphs<16>());
}

TEST_F(TestPage, YieldsToExchangesAndTheStatusWindow) {
    Tick();
    Polled();
    clock.SetNow(clock.Now().addSecs(2));

    link.RaiseBusy();
    EXPECT_TRUE(Tick().Empty());
    link.LowerBusy();
    status.Show("Чтение из устройства", "", 10);
    EXPECT_TRUE(Tick().Empty());
    status.Close();
    EXPECT_TRUE(Polled().empty());
    EXPECT_EQ(Shown().pcTime, (Glyphs<6>{1, 4, 3, 0, 0, 5}));

    // The phase went on where it stopped.
    Tick();
    EXPECT_EQ(Polled(), std::vector<uint16_t>{0x1F48});
    EXPECT_EQ(Shown().pcTime, (Glyphs<6>{1, 4, 3, 0, 0, 7}));
}

TEST_F(TestPage, LoginDialogHoldsPollingForFiveTicksAfterItCloses) {
    Tick();
    Tick();
    Polled();
    Tick(true);
    Tick(true);
    EXPECT_TRUE(Polled().empty());
    for (int i = 0; i < DeviceTest::HoldOffTicks; ++i) {
        SCOPED_TRACE(i);
        clock.SetNow(clock.Now().addSecs(1));
        const auto redraw = Tick();
        EXPECT_TRUE(Polled().empty());
        EXPECT_TRUE(redraw.images.contains("ImageCTS1"));  // the PC's time runs on
    }
    Tick();
    EXPECT_EQ(Polled(), std::vector<uint16_t>{0x0000});
}

TEST_F(TestPage, RedrawsOnlyWhatChanged) {
    Cycle();
    clock.SetNow(clock.Now().addSecs(1));
    collector::TestRedraw redraw = Tick();  // the ID again, the PC's seconds changed
    EXPECT_EQ(redraw.images, QStringList{"ImageCTS1"});
    EXPECT_FALSE(redraw.bar);
    EXPECT_FALSE(redraw.buttons);

    reader.SetCollectorPresent(false);
    redraw = Tick();  // the clock is gone
    EXPECT_EQ(redraw.images.size(), 12);
    EXPECT_TRUE(redraw.images.contains("ImageKDDD10"));
    EXPECT_TRUE(redraw.images.contains("ImageKDTS1"));
    EXPECT_TRUE(redraw.buttons);
    redraw = Tick();  // and the battery
    EXPECT_EQ(redraw.images, (QStringList{"ImageVolt100", "ImageVolt10", "ImageVolt1"}));
    EXPECT_TRUE(redraw.bar);
}

// --- clock corrections --------------------------------------------------------

TEST_F(TestPage, CorrectionsWriteThePcDateOrTimeBesideTheBytesRead) {
    // The PC: Sunday 15.03.2026 14:30:05; the collector: 01.06.2025 08:09:10.
    struct Case {
        const char* what;
        bool date;
        const char* written;
        QDateTime after;
    } cases[] = {
        {"date", true, "10 09 08 95 C3 55 55 55", QDateTime(QDate(2026, 3, 15), QTime(8, 9, 10))},
        {"time", false, "05 30 14 41 C6 55 55 55", QDateTime(QDate(2025, 6, 1), QTime(14, 30, 5))},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        collector.SetClock(QDateTime(QDate(2025, 6, 1), QTime(8, 9, 10)));
        reader.ClearLog();
        EXPECT_TRUE(c.date ? test.ButtonCorrectDateClick(link, clock.Now())
                           : test.ButtonCorrectTimeClick(link, clock.Now()));
        const auto& x = reader.Exchanges();
        ASSERT_EQ(x.size(), 3u);  // read, write without read-back, completion
        EXPECT_EQ(x[0].command, link::CmdReadBlock);
        EXPECT_EQ(x[0].address, 0x1F48);
        EXPECT_EQ(x[1].command, link::CmdWriteBlock);
        EXPECT_EQ(x[1].address, 0x1F48);
        EXPECT_EQ(HexOf(x[1].data), c.written);
        EXPECT_EQ(x[2].command, link::CmdReadBlock);
        EXPECT_EQ(x[2].address, 0x2010);
        // The collector's clock has run on by the pause after the completion block.
        EXPECT_EQ(collector.ClockNow().toString(Qt::ISODate), c.after.toString(Qt::ISODate));
        EXPECT_TRUE(prompt.Asked().empty());
    }
}

TEST_F(TestPage, CorrectionWithoutCollectorWritesNothing) {
    reader.SetCollectorPresent(false);
    EXPECT_FALSE(test.ButtonCorrectDateClick(link, clock.Now()));
    EXPECT_FALSE(test.ButtonCorrectTimeClick(link, clock.Now()));
    EXPECT_EQ(reader.Count(link::CmdWriteBlock, 0x1F48), 0);
    EXPECT_EQ(reader.Count(link::CmdReadBlock, 0x2010), 0);
    EXPECT_TRUE(prompt.Asked().empty());
}
