#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "BlockText.h"
#include "collector/MemoryMap.h"

using namespace kordex::collector;
using kordex::link::DateTime;

namespace {

DateTime At(int y, int mo, int d, int h, int mi, int s = 0) {
    return *DateTime::Compose(y, mo, d, h, mi, s);
}

std::string TextOf(const std::optional<DateTime>& dt) {
    return dt ? dt->ToText().toStdString() : std::string("none");
}

}  // namespace

TEST(AddressMap, HeaderBlocksOfARead) {
    EXPECT_EQ(EventAddress(0), 0x0008);
    EXPECT_EQ(EventAddress(1), 0x0010);
    const std::array<uint16_t, 10> expected = {0x1F78, 0x1F80, 0x0000, 0x1F88, 0x1F90,
                                               0x1F50, 0x1F58, 0x1F60, 0x1F68, 0x1F48};
    EXPECT_EQ(ReadHeaderBlocks, expected);
    EXPECT_EQ(AddrInit, 0x1FF8);
    EXPECT_EQ(AddrKeyContact, 0x2000);
    EXPECT_EQ(AddrBattery, 0x2008);
    EXPECT_EQ(AddrCompletion, 0x2010);
}

TEST(KeyBlock, BothWaysAndAllZeroIsNoKey) {
    EXPECT_EQ(DecodeKeyBlock(BlockOf("01 B3 D8 FB 00 00 00 E6")), "01000000FBD8B3E6");
    EXPECT_EQ(HexOf(EncodeKeyBlock("01000000FBD8B3E6")), "01 B3 D8 FB 00 00 00 E6");
    EXPECT_EQ(DecodeKeyBlock(BlockOf("00 00 00 00 00 00 00 00")), "");
    EXPECT_EQ(HexOf(EncodeKeyBlock("")), "00 00 00 00 00 00 00 00");
}

// --- event records ----------------------------------------------------------

TEST(EventRecord, DecodesTouchOfKeyWithRebuiltId) {
    const EventRecord e = DecodeEvent(BlockOf("2C 1A 00 00 30 14 95 C3"));
    EXPECT_EQ(e.key, "01000000001A2C37");
    EXPECT_EQ(e.minutes, 30);
    EXPECT_EQ(e.hour, 14);
    EXPECT_EQ(e.day, 15);
    EXPECT_EQ(e.month, 3);
    EXPECT_EQ(e.leapOffset, 2);
    EXPECT_EQ(e.weekday, 6);  // Sunday
}

TEST(EventRecord, YearIsTheOneNearestTheTouchBefore) {
    const EventRecord e = DecodeEvent(BlockOf("2C 1A 00 00 30 14 95 C3"));  // place 2
    const std::pair<DateTime, const char*> cases[] = {
        {At(2026, 3, 15, 14, 0), "15.03.2026 14:30:00"},
        {At(2024, 6, 1, 0, 0), "15.03.2026 14:30:00"},
        {At(2027, 12, 31, 23, 0), "15.03.2026 14:30:00"},
        {At(2028, 6, 1, 0, 0), "15.03.2030 14:30:00"},
    };
    for (const auto& [reference, expected] : cases)
        EXPECT_EQ(TextOf(EventDateTime(e, reference)), expected)
            << reference.ToText().toStdString();
}

TEST(EventRecord, StoredValuesThatAreNoDateTime) {
    struct Case {
        const char* bytes;
        const char* expected;
    } cases[] = {
        {"01 00 00 00 30 14 15 13", "none"},  // month 13
        {"01 00 00 00 30 14 00 03", "none"},  // day 0
        {"01 00 00 00 60 14 15 03", "none"},  // minute 60
        {"01 00 00 00 30 24 15 03", "none"},  // hour 24
        {"01 00 00 00 00 08 30 02", "none"},  // 30 February
        {"01 00 00 00 00 08 69 02", "none"},  // 29 February, one year after a leap year
        {"01 00 00 00 00 08 29 02", "29.02.2024 08:00:00"},  // 29 February of the leap year
        {"01 00 00 00 05 C1 15 03", "15.03.2024 13:05:00"},  // 12-hour byte, 1 PM
        {"01 00 00 00 05 92 15 03", "15.03.2024 00:05:00"},  // 12-hour byte, 12 AM
    };
    for (const auto& c : cases)
        EXPECT_EQ(TextOf(EventDateTime(DecodeEvent(BlockOf(c.bytes)), At(2024, 3, 1, 0, 0))),
                  c.expected)
            << c.bytes;
}

TEST(EventRecord, EncodesSerialAndClockBytesAndDecodesBack) {
    EXPECT_EQ(HexOf(EncodeEvent("01000000001A2C37", At(2026, 3, 15, 14, 30))),
              "2C 1A 00 00 30 14 95 C3");

    // Thursday, the leap day itself; a key with all four stored serial bytes.
    const Block b = EncodeEvent("01000000FBD8B3E6", At(2024, 2, 29, 23, 59));
    EXPECT_EQ(HexOf(b), "B3 D8 FB 00 59 23 29 62");
    const EventRecord e = DecodeEvent(b);
    EXPECT_EQ(e.weekday, 3);
    EXPECT_EQ(TextOf(EventDateTime(e, At(2024, 2, 29, 0, 0))), "29.02.2024 23:59:00");
}

// --- clock and event counter ------------------------------------------------

TEST(ClockBlock, DecodesClockPointerAndFlag) {
    const ClockBlock c = DecodeClock(BlockOf("05 30 14 95 C3 E8 03 01"));
    EXPECT_EQ(c.pointer, 1000u);
    EXPECT_EQ(c.overflow, 1);
    EXPECT_EQ(c.weekday, 6);
    EXPECT_EQ(TextOf(ClockDateTime(c, At(2026, 3, 15, 14, 0))), "15.03.2026 14:30:05");

    EXPECT_EQ(DecodeClock(BlockOf("00 00 00 01 01 34 12 00")).pointer, 0x1234u);
    EXPECT_EQ(DecodeClock(BlockOf("00 00 00 01 01 FF FF 00")).pointer, 65535u);
    EXPECT_EQ(DecodeClock(BlockOf("00 00 00 01 01 00 00 FF")).overflow, 0xFF);
}

TEST(ClockBlock, DateAndTimeCheckedApart) {
    struct Case {
        const char* bytes;
        bool dateValid, timeValid;
    } cases[] = {
        {"05 30 14 95 C3 00 00 00", true, true},
        {"05 30 14 95 13 00 00 00", false, true},  // month 13
        {"05 60 14 95 C3 00 00 00", true, false},  // minute 60
        {"60 30 14 95 13 00 00 00", false, false},
        {"05 30 14 B1 02 00 00 00", false, true},  // 31 February
    };
    const DateTime pc = At(2026, 3, 15, 14, 0);
    for (const auto& c : cases) {
        const ClockBlock clock = DecodeClock(BlockOf(c.bytes));
        EXPECT_EQ(ClockDate(clock, pc).has_value(), c.dateValid) << c.bytes;
        EXPECT_EQ(ClockTimeValid(clock), c.timeValid) << c.bytes;
        EXPECT_EQ(ClockDateTime(clock, pc).has_value(), c.dateValid && c.timeValid) << c.bytes;
    }
}

TEST(ClockBlock, WritesClockBytesAndLeavesCounterAlone) {
    const DateTime pc = At(2027, 1, 1, 10, 20, 30);  // a Friday, three years after 2024
    EXPECT_EQ(HexOf(EncodeClock(pc)), "30 20 10 C1 81 55 55 55");

    const Block read = BlockOf("01 02 03 95 C3 07 00 01");
    EXPECT_EQ(HexOf(ClockWithDate(read, pc)), "01 02 03 C1 81 55 55 55");
    EXPECT_EQ(HexOf(ClockWithTime(read, pc)), "30 20 10 95 C3 55 55 55");
}

// --- registration stamp -----------------------------------------------------

TEST(RegStamp, BothWays) {
    EXPECT_EQ(HexOf(EncodeStamp(At(2026, 3, 15, 14, 30, 5), 10)), "05 30 14 95 C3 0A 00 00");
    EXPECT_EQ(HexOf(EncodeStamp(At(2026, 3, 15, 14, 30, 5), 255)), "05 30 14 95 C3 FF 00 00");

    const RegStamp s = DecodeStamp(BlockOf("05 30 14 95 C3 0A 00 00"));
    EXPECT_EQ(s.leapOffset, 2);
    EXPECT_EQ(s.interval, 10);
    EXPECT_EQ(TextOf(StampDateTime(s, At(2026, 4, 1, 9, 0))), "15.03.2026 14:30:05");
}

TEST(RegStamp, TwelveHourByteAndInvalidStamp) {
    const DateTime pc = At(2026, 4, 1, 9, 0);
    EXPECT_EQ(TextOf(StampDateTime(DecodeStamp(BlockOf("00 15 D2 95 C3 00 00 00")), pc)),
              "15.03.2026 12:15:00");
    EXPECT_EQ(TextOf(StampDateTime(DecodeStamp(BlockOf("05 30 14 95 13 0A 00 00")), pc)), "none");
    EXPECT_EQ(TextOf(StampDateTime(DecodeStamp(BlockOf("05 30 14 00 C3 0A 00 00")), pc)), "none");
}

// --- path and mode ----------------------------------------------------------

TEST(PathBlock, EncodesAndDecodesBack) {
    struct Case {
        std::optional<PathSetting> path;
        const char* bytes;
    } cases[] = {
        {PathSetting{7, ModeInPathOrder}, "07 00 00 00 02 55 55 55"},
        {PathSetting{0x12345678, ModeRandomFullControl}, "78 56 34 12 01 55 55 55"},
        {PathSetting{-2, ModeRandom}, "FE FF FF FF 00 55 55 55"},
        {std::nullopt, "55 55 55 55 FF 55 55 55"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(HexOf(EncodePath(c.path)), c.bytes);
        const auto back = DecodePath(BlockOf(c.bytes));
        ASSERT_EQ(back.has_value(), c.path.has_value()) << c.bytes;
        if (back) {
            EXPECT_EQ(back->pathId, c.path->pathId) << c.bytes;
            EXPECT_EQ(back->mode, c.path->mode) << c.bytes;
        }
    }
}

TEST(PathBlock, ModeOfThreeOrMoreIsNoPath) {
    EXPECT_FALSE(DecodePath(BlockOf("07 00 00 00 03 55 55 55")));
    EXPECT_FALSE(DecodePath(BlockOf("07 00 00 00 80 55 55 55")));
    EXPECT_FALSE(DecodePath(BlockOf("07 00 00 00 FF 55 55 55")));
}

TEST(PathBlock, ModeTexts) {
    const std::pair<int, QString> cases[] = {
        {0, "Случайный"},
        {1, "Случайный с полным контролем"},
        {2, "В порядке маршрута обхода"},
        {3, "Без маршрута"},
        {255, "Без маршрута"},
        {-1, "Без маршрута"},
    };
    for (const auto& [mode, text] : cases)
        EXPECT_EQ(PathModeText(mode), text) << mode;
}

// --- battery ----------------------------------------------------------------

TEST(Battery, RawValueToHundredthsOfAVolt) {
    const std::pair<int, std::optional<int>> cases[] = {
        {0, 0}, {1, 0}, {2, 8}, {66, 280}, {100, 357}, {143, 415}, {144, {}}, {255, {}}, {-1, {}},
    };
    for (const auto& [raw, volts] : cases)
        EXPECT_EQ(BatteryHundredths(raw), volts) << raw;

    // The table rises with the raw value over its whole range.
    for (int raw = 1; raw <= BatteryRawMax; ++raw)
        EXPECT_GE(*BatteryHundredths(raw), *BatteryHundredths(raw - 1)) << raw;
}

TEST(Battery, BarSegments) {
    struct Case {
        int v, red, yellow, green;
    } cases[] = {
        {100, 100, 250, 280},  // red only: the other segments end where they start
        {250, 250, 250, 280}, {260, 250, 260, 280}, {280, 250, 280, 280},
        {300, 250, 280, 300}, {415, 250, 280, 399}, {-5, 0, 0, 0},
    };
    for (const auto& c : cases) {
        const BatteryBar bar = BatteryBarFor(c.v);
        EXPECT_EQ(bar.redEnd, c.red) << c.v;
        EXPECT_EQ(bar.yellowEnd, c.yellow) << c.v;
        EXPECT_EQ(bar.greenEnd, c.green) << c.v;
    }
}

// --- event slots ------------------------------------------------------------

TEST(EventSlots, OrderFromPointerAndFlag) {
    using Ranges = std::vector<std::pair<int, int>>;  // inclusive slot ranges, in order
    struct Case {
        unsigned pointer;
        uint8_t flag;
        Ranges ranges;
        int shown;
        bool overflowed;
    } cases[] = {
        {0, 0, {}, 0, false},
        {5, 0, {{0, 4}}, 5, false},
        {999, 0, {{0, 998}}, 999, false},
        {5, 1, {{5, 999}, {0, 4}}, 1000, true},
        {999, 1, {{999, 999}, {0, 998}}, 1000, true},
        {1, 0xFF, {{1, 999}, {0, 0}}, 1000, true},
        {0, 1, {{0, 999}}, 1000, false},
        {0, 2, {{0, 999}}, 1000, true},
        // Pointers past the event area stay inside it.
        {1000, 0, {{0, 999}}, 1000, false},
        {1500, 1, {{0, 999}}, 1000, true},
        {65535, 0, {{0, 999}}, 1000, false},
    };
    for (const auto& c : cases) {
        std::vector<int> expected;
        for (const auto& [from, to] : c.ranges)
            for (int s = from; s <= to; ++s)
                expected.push_back(s);
        const EventSlotPlan plan = PlanEventSlots(c.pointer, c.flag);
        const std::string what = std::to_string(c.pointer) + "/" + std::to_string(c.flag);
        EXPECT_EQ(plan.order, expected) << what;
        EXPECT_EQ(plan.shownCount, c.shown) << what;
        EXPECT_EQ(plan.overflowed, c.overflowed) << what;
    }
}

TEST(EventSlots, CountTextEnding) {
    const std::pair<int, QString> cases[] = {
        {0, " (0 событий)"},     {1, " (1 событие)"},       {2, " (2 события)"},
        {3, " (3 события)"},     {4, " (4 события)"},       {5, " (5 событий)"},
        {11, " (11 событие)"},   {12, " (12 события)"},     {21, " (21 событие)"},
        {999, " (999 событий)"}, {1000, " (1000 событий)"},
    };
    for (const auto& [count, text] : cases)
        EXPECT_EQ(EventCountText(count), text) << count;
}
