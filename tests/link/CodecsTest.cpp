#include <gtest/gtest.h>

#include "link/ClockBytes.h"
#include "link/Crc8.h"
#include "link/DateTime.h"
#include "link/Frames.h"
#include "link/KeyId.h"
#include "shell/Prompt.h"
#include "sim/Reader.h"

using namespace kordex;
using namespace kordex::link;

namespace {
KeyBytes Bytes(std::initializer_list<int> v) {
    KeyBytes b{};
    int i = 0;
    for (int x : v)
        b[i++] = static_cast<uint8_t>(x);
    return b;
}
}  // namespace

TEST(Crc8, TableAgreesWithTheBitwiseDefinitionAndChecksOrFills) {
    EXPECT_EQ(Crc8Table[0], 0x00);
    EXPECT_EQ(Crc8Table[1], 0x5E);
    EXPECT_EQ(Crc8Table[7], 0x83);
    for (int i = 0; i < 256; ++i) {
        const uint8_t b = static_cast<uint8_t>(i);
        EXPECT_EQ(Crc8Table[i], sim::Reader::Crc8(&b, 1)) << "entry " << i;
    }
    uint8_t key[8] = {0x01, 0xB3, 0xD8, 0xFB, 0x00, 0x00, 0x00, 0xE6};
    EXPECT_TRUE(Crc8Check(key, 8));
    key[7] = 0;
    EXPECT_FALSE(Crc8Check(key, 8));
    EXPECT_EQ(key[7], 0xE6);  // filled in
}

TEST(Frames, RequestLayoutForReadAndWrite) {
    const Block data{1, 2, 3, 4, 5, 6, 7, 8};
    const Frame r = BuildRequest(CmdReadBlock, 0x1F48, data);
    const Frame expectRead{0xA2, 0x33, 0xA5, 0x48, 0x1F, 0x55, 0x55, 0x55,
                           0x55, 0x55, 0x55, 0x55, 0x55, 0,    0x13};
    for (int i = 0; i < 13; ++i)
        EXPECT_EQ(r[i], expectRead[i]) << i;
    EXPECT_EQ(r[13], sim::Reader::Crc8(r.data(), 13));
    EXPECT_EQ(r[14], 0x13);

    const Frame w = BuildRequest(CmdWriteBlock, 0x0008, data);
    EXPECT_EQ(w[2], 0x39);
    EXPECT_EQ(w[3], 0x08);
    EXPECT_EQ(w[4], 0x00);
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(w[5 + i], data[i]);
    EXPECT_EQ(w[13], sim::Reader::Crc8(w.data(), 13));
}

TEST(Frames, ReplyChecksComeInTheirOrder) {
    const Frame req = BuildRequest(CmdReadBlock, 0x1F80, {});
    auto good = [&] {
        Frame r{0xA2, 0x48, 1, 0x80, 0x1F, 9, 8, 7, 6, 5, 4, 3, 2, 0, 0x13};
        r[13] = Crc8(r.data(), 13);
        return r;
    };
    auto withCrc = [](Frame r) {
        r[13] = Crc8(r.data(), 13);
        return r;
    };
    struct Case {
        const char* what;
        Frame reply;
        ReplyCheck expect;
    };
    Frame badHeadAndMark = good();
    badHeadAndMark[0] = 0xA3;
    badHeadAndMark[1] = 0x00;
    Frame badMarkAndCrc = good();
    badMarkAndCrc[1] = 0x47;  // CRC left stale as well
    Frame badCrc = good();
    badCrc[13] ^= 1;
    Frame badEnd = good();
    badEnd[14] = 0x14;
    Frame badLow = good();
    badLow[3] = 0x81;
    Frame badHigh = good();
    badHigh[4] = 0x20;
    Frame lowAndEnd = good();
    lowAndEnd[3] = 0x00;
    lowAndEnd[14] = 0;
    const Case cases[] = {
        {"valid", good(), ReplyCheck::Ok},
        {"head before mark", withCrc(badHeadAndMark), ReplyCheck::BadHead},
        {"mark before crc", badMarkAndCrc, ReplyCheck::BadMark},
        {"crc", badCrc, ReplyCheck::BadCrc},
        {"terminator", badEnd, ReplyCheck::BadEnd},
        {"echo low with a right crc", withCrc(badLow), ReplyCheck::BadAddressLow},
        {"echo high with a right crc", withCrc(badHigh), ReplyCheck::BadAddressHigh},
        {"terminator before echo", withCrc(lowAndEnd), ReplyCheck::BadEnd},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CheckReply(req, c.reply), c.expect) << c.what;
}

TEST(KeyId, TextAndBytesBothWays) {
    const KeyBytes key = Bytes({0x01, 0xB3, 0xD8, 0xFB, 0x00, 0x00, 0x00, 0xE6});
    QString text;
    EXPECT_TRUE(KeyIdToText(key, text));
    EXPECT_EQ(text, "01000000FBD8B3E6");
    EXPECT_EQ(KeyIdToBytes(text), key);
    EXPECT_EQ(KeyIdToBytes("01000000fbd8b3e6"), key);
    EXPECT_EQ(KeyIdCrcError("01000000FBD8B3E6"), "");
    EXPECT_EQ(KeyIdCrcError("01000000FBD8B3E7"), "E6");

    EXPECT_FALSE(KeyIdToText(KeyBytes{}, text));
    EXPECT_EQ(text, "");
    EXPECT_TRUE(KeyIdToText(Bytes({0x01}), text));
    EXPECT_EQ(text, "0100000000000000");

    const uint8_t serial[4] = {0x2C, 0x1A, 0x00, 0x00};
    EXPECT_EQ(KeyIdToText(TouchedKey(serial)), "01000000001A2C37");
}

TEST(KeyId, HexByteAtReadsPairsWithItsRules) {
    struct Case {
        const char* text;
        int pos;
        int expect;
    } cases[] = {
        {"01AB", 3, 0xAB}, {"01ab", 3, 0xAB}, {"A1", 0, 0xA1}, {"A1", -5, 0xA1},
        {"ABC", 3, 0x0C},  {"AB", 3, 0},      {"G1", 1, 0},    {"1G", 1, 0},
        {"", 1, 0},        {"1", 1, 1},       {"Z", 1, 0},     {"FF", 1, 255},
    };
    for (const auto& c : cases)
        EXPECT_EQ(HexByteAt(c.text, c.pos), c.expect) << c.text << " @" << c.pos;
}

TEST(KeyId, ValidateStrictAndNot) {
    struct Case {
        const char* text;
        bool strict;
        bool ok;
        const QString* message;  // nullptr: no message
    } cases[] = {
        {"0011223344556677", false, true, nullptr},
        {"0011223344556677", true, false, &MsgBadKeyValue},
        {"01000000FBD8B3E6", true, true, nullptr},
        {"01 00 00 00 FB D8 B3 E6", true, true, nullptr},
        {"01000000FBD8B3E7", true, false, &MsgBadKeyValue},
        {"01000000FBD8B3E7", false, false, &MsgBadKeyValue},
        {"0000000000000000", true, false, &MsgBadKeyValue},
        {"0000000000000000", false, true, nullptr},
        {"01000000FBD8B3E", true, false, &MsgBadKeyLength},
        {"01000000FBD8B3E", false, false, &MsgBadKeyLength},
        {"01000000FBD8B3E66", false, false, &MsgBadKeyLength},
        {"00 11 22 33 44 55 66 7", false, false, &MsgBadKeyLength},
        // Non-hexadecimal pairs read as 0: "01" and six zero bytes, whose CRC is 3D.
        {"01XX00000000003D", true, true, nullptr},
        {"01XX000000000000", true, false, &MsgBadKeyValue},
    };
    for (const auto& c : cases) {
        shell::ScriptedPrompt prompt;
        EXPECT_EQ(KeyIdValidate(c.text, c.strict, prompt), c.ok) << c.text;
        if (c.message == nullptr) {
            EXPECT_TRUE(prompt.Asked().empty()) << c.text;
        } else {
            ASSERT_EQ(prompt.Asked().size(), 1u) << c.text;
            EXPECT_EQ(prompt.Asked()[0].text, *c.message);
            EXPECT_EQ(prompt.Asked()[0].caption, "Ошибка");
            EXPECT_EQ(prompt.Asked()[0].icon, shell::Icon::Error);
        }
    }
    EXPECT_EQ(StripSpaces(" 0 1 "), "01");
}

TEST(ClockBytes, HoursDaysMonths) {
    struct Hour {
        uint8_t b;
        int h;
    } hours[] = {{0x12, 12}, {0x23, 23}, {0x00, 0}, {0x92, 0},
                 {0xD2, 12}, {0xC1, 13}, {0x81, 1}, {0xC2, 14}};
    for (const auto& c : hours)
        EXPECT_EQ(HourFromBcd(c.b), c.h) << int(c.b);
    EXPECT_EQ(BcdToInt(0x59), 59);
    EXPECT_EQ(BcdToInt(0xFF), 165);
    EXPECT_EQ(DayFromBcd(0x95), 15);  // leap bits ignored
    EXPECT_EQ(DayFromBcd(0x31), 31);
    EXPECT_EQ(MonthFromBcd(0xC3), 3);  // weekday bits ignored
    EXPECT_EQ(MonthFromBcd(0x12), 12);
    EXPECT_EQ(WeekdayFromMonthByte(0xC3), 6);
    EXPECT_EQ(IntToBcd(59), 0x59);
    EXPECT_EQ(IntToBcd(7), 0x07);
    EXPECT_EQ(MonthToByte(3, 1), 0xC3);   // Sunday
    EXPECT_EQ(MonthToByte(12, 2), 0x12);  // Monday
    EXPECT_EQ(MonthToByte(10, 7), 0xB0);  // Saturday
}

TEST(ClockBytes, PlaceInTheLeapCycle) {
    const std::pair<int, int> places[] = {{2024, 0}, {2025, 1}, {2026, 2}, {2027, 3}, {2028, 0},
                                          {2000, 0}, {2099, 3}, {2100, 0}, {2103, 0}, {2105, 1}};
    for (const auto& [year, place] : places)
        EXPECT_EQ(CyclePlace(year), place) << year;

    EXPECT_EQ(DateToByte(15, 2026), 0x95);
    EXPECT_EQ(DateToByte(31, 2024), 0x31);
    EXPECT_EQ(DateToByte(1, 2027), 0xC1);
    // 2100 is four years after its last leap year: the offset does not fit and is lost.
    EXPECT_EQ(DateToByte(1, 2100), 0x01);
}

TEST(ClockBytes, TheYearIsTheOneNearestTheReferenceEitherWay) {
    struct Case {
        const char* what;
        int place, month, day, hour, minute;
        const char* reference;
        const char* expected;
    } cases[] = {
        {"back over New Year", 1, 12, 31, 23, 58, "01.01.2026 00:05", "31.12.2025 23:58:00"},
        {"forward over New Year", 2, 1, 1, 0, 2, "31.12.2025 23:58", "01.01.2026 00:02:00"},
        {"back over a cycle boundary", 3, 12, 31, 23, 58, "01.01.2028 00:05",
         "31.12.2027 23:58:00"},
        {"forward over a cycle boundary", 0, 1, 1, 0, 2, "31.12.2027 23:58", "01.01.2028 00:02:00"},
        {"same year", 2, 3, 15, 14, 30, "15.03.2026 10:00", "15.03.2026 14:30:00"},
        {"a year and more back", 2, 3, 15, 14, 30, "31.12.2027 23:00", "15.03.2026 14:30:00"},
        {"a year and more ahead", 2, 3, 15, 14, 30, "01.06.2028 00:00", "15.03.2030 14:30:00"},
        // Candidates lie four years apart: one more than two years away is
        // not taken while the other is nearer.
        {"two years and more ahead", 2, 3, 15, 14, 30, "01.01.2024 00:00", "15.03.2022 14:30:00"},
        {"the leap day just behind", 0, 2, 29, 12, 0, "01.03.2024 00:00", "29.02.2024 12:00:00"},
        {"the leap day ahead", 0, 2, 29, 12, 0, "15.01.2027 00:00", "29.02.2028 12:00:00"},
        {"the leap day past a century that is no leap year", 0, 2, 29, 12, 0, "01.06.2101 00:00",
         "29.02.2104 12:00:00"},
        {"the leap day in a place without one", 1, 2, 29, 12, 0, "01.03.2024 00:00", "none"},
        // 01.01.2022 and 01.01.2026 are both 730.5 days away.
        {"a tie goes to the earlier", 2, 1, 1, 0, 0, "01.01.2024 12:00", "01.01.2022 00:00:00"},
        {"month 13", 2, 13, 1, 0, 0, "01.01.2026 00:00", "none"},
        {"hour 24", 2, 1, 1, 24, 0, "01.01.2026 00:00", "none"},
    };
    for (const auto& c : cases) {
        const auto reference = DateTime::FromText(QString::fromLatin1(c.reference));
        ASSERT_TRUE(reference) << c.what;
        const auto got =
            NearestInLeapCycle(c.place, c.month, c.day, c.hour, c.minute, 0, *reference);
        EXPECT_EQ(got ? got->ToText().toStdString() : std::string("none"), c.expected) << c.what;
    }
}

TEST(DateTime, DayCountAndValidity) {
    EXPECT_EQ(DateTime::Compose(1899, 12, 30)->Days(), 0.0);
    EXPECT_EQ(DateTime::Compose(1900, 1, 1)->Days(), 2.0);
    const auto t = DateTime::Compose(2026, 3, 15, 12, 0, 0);
    EXPECT_DOUBLE_EQ(t->Days(), 46096.5);
    EXPECT_EQ(t->ToText(), "15.03.2026 12:00:00");

    struct Case {
        int y, m, d, h, mi, s;
        bool valid;
    } cases[] = {
        {2024, 2, 29, 0, 0, 0, true},    {2026, 2, 29, 0, 0, 0, false},
        {2026, 4, 31, 0, 0, 0, false},   {2026, 13, 1, 0, 0, 0, false},
        {2026, 0, 1, 0, 0, 0, false},    {2026, 1, 0, 0, 0, 0, false},
        {2026, 1, 1, 24, 0, 0, false},   {2026, 1, 1, 23, 60, 0, false},
        {2026, 1, 1, 23, 59, 60, false}, {2026, 1, 1, 23, 59, 59, true},
        {1900, 2, 29, 0, 0, 0, false},   {2000, 2, 29, 0, 0, 0, true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(DateTime::Compose(c.y, c.m, c.d, c.h, c.mi, c.s).has_value(), c.valid)
            << c.y << "-" << c.m << "-" << c.d << " " << c.h << ":" << c.mi << ":" << c.s;
}

TEST(DateTime, TextFormsAndMillisecondRounding) {
    const auto t = DateTime::FromText("15.03.2026 14:30:05");
    ASSERT_TRUE(t);
    EXPECT_EQ(t->ToText(), "15.03.2026 14:30:05");
    EXPECT_EQ(t->DateText(), "15.03.2026");
    EXPECT_EQ(t->TimeText(), "14:30:05");
    EXPECT_EQ(DateTime::FromText("15.03.2026 14:30")->ToText(), "15.03.2026 14:30:00");
    EXPECT_EQ(DateTime::FromText("5.3.2026")->ToText(), "05.03.2026 00:00:00");
    EXPECT_FALSE(DateTime::FromText("31.02.2026"));
    EXPECT_FALSE(DateTime::FromText("15.03.2026 25:00"));
    EXPECT_FALSE(DateTime::FromText("yesterday"));

    // Half a millisecond before midnight shows as the next day, not 23:59:59 of a stale date.
    const DateTime late(46096.0 + 1.0 - 0.4 / DateTime::MsPerDay);
    EXPECT_EQ(late.ToText(), "16.03.2026 00:00:00");
    const DateTime qt = DateTime::FromQDateTime(QDateTime(QDate(2026, 3, 15), QTime(14, 30, 5, 7)));
    EXPECT_EQ(qt.ToQDateTime(), QDateTime(QDate(2026, 3, 15), QTime(14, 30, 5, 7)));
}

TEST(DateTime, CompareWithinAMillisecond) {
    const double ms = 1.0 / DateTime::MsPerDay;
    const double base = 46096.25;
    EXPECT_EQ(CompareDateTime(base, base + 0.5 * ms), 0);
    EXPECT_EQ(CompareDateTime(base + 0.5 * ms, base), 0);
    EXPECT_EQ(CompareDateTime(base, base + 2 * ms), -1);
    EXPECT_EQ(CompareDateTime(base + 2 * ms, base), 1);
}
