#include "MemoryMap.h"

#include <algorithm>
#include <numeric>

#include "link/ClockBytes.h"
#include "link/KeyId.h"

namespace kordex::collector {

namespace {

// Seconds, minutes, hour (24-hour form), date byte and month byte of a
// date-time, as the collector's clock bytes.
struct ClockBytes {
    uint8_t seconds, minutes, hour, date, month;
};

ClockBytes ClockBytesOf(const link::DateTime& when) {
    const QDate d = when.Date();
    const QTime t = when.Time();
    // QDate counts Monday 1 .. Sunday 7; the month byte wants Sunday 1 .. Saturday 7.
    const int dayOfWeek = d.dayOfWeek() % 7 + 1;
    return {link::IntToBcd(t.second()), link::IntToBcd(t.minute()), link::IntToBcd(t.hour()),
            link::DateToByte(d.day(), d.year()), link::MonthToByte(d.month(), dayOfWeek)};
}

int LeapOffset(uint8_t dateByte) {
    return dateByte >> 6;
}

}  // namespace

// --- key blocks -------------------------------------------------------------

QString DecodeKeyBlock(const Block& block) {
    return link::KeyIdToText(block);
}

Block EncodeKeyBlock(const QString& keyText) {
    if (keyText.isEmpty()) return Block{};
    return link::KeyIdToBytes(keyText);
}

// --- event record -----------------------------------------------------------

EventRecord DecodeEvent(const Block& block) {
    EventRecord e;
    e.key = link::KeyIdToText(link::TouchedKey(block.data()));
    e.minutes = link::BcdToInt(block[4]);
    e.hour = link::HourFromBcd(block[5]);
    e.day = link::DayFromBcd(block[6]);
    e.leapOffset = LeapOffset(block[6]);
    e.month = link::MonthFromBcd(block[7]);
    e.weekday = link::WeekdayFromMonthByte(block[7]);
    return e;
}

std::optional<link::DateTime> EventDateTime(const EventRecord& event,
                                            const link::DateTime& reference) {
    return link::NearestInLeapCycle(event.leapOffset, event.month, event.day, event.hour,
                                    event.minutes, 0, reference);
}

Block EncodeEvent(const QString& keyText, const link::DateTime& when) {
    const link::KeyBytes key = link::KeyIdToBytes(keyText);
    const ClockBytes c = ClockBytesOf(when);
    return {key[1], key[2], key[3], key[4], c.minutes, c.hour, c.date, c.month};
}

// --- clock and event counter ------------------------------------------------

ClockBlock DecodeClock(const Block& block) {
    ClockBlock c;
    c.seconds = link::BcdToInt(block[0]);
    c.minutes = link::BcdToInt(block[1]);
    c.hour = link::HourFromBcd(block[2]);
    c.day = link::DayFromBcd(block[3]);
    c.leapOffset = LeapOffset(block[3]);
    c.month = link::MonthFromBcd(block[4]);
    c.weekday = link::WeekdayFromMonthByte(block[4]);
    c.pointer = block[5] + 256u * block[6];
    c.overflow = block[7];
    return c;
}

std::optional<link::DateTime> ClockDateTime(const ClockBlock& clock,
                                            const link::DateTime& reference) {
    return link::NearestInLeapCycle(clock.leapOffset, clock.month, clock.day, clock.hour,
                                    clock.minutes, clock.seconds, reference);
}

std::optional<QDate> ClockDate(const ClockBlock& clock, const link::DateTime& reference) {
    const bool timeValid = ClockTimeValid(clock);
    const auto when = link::NearestInLeapCycle(
        clock.leapOffset, clock.month, clock.day, timeValid ? clock.hour : 0,
        timeValid ? clock.minutes : 0, timeValid ? clock.seconds : 0, reference);
    if (!when) return std::nullopt;
    return when->Date();
}

bool ClockTimeValid(const ClockBlock& clock) {
    return clock.hour < 24 && clock.minutes < 60 && clock.seconds < 60;
}

Block EncodeClock(const link::DateTime& when) {
    const ClockBytes c = ClockBytesOf(when);
    return {c.seconds, c.minutes, c.hour, c.date, c.month, 0x55, 0x55, 0x55};
}

Block ClockWithDate(const Block& read, const link::DateTime& when) {
    Block b = EncodeClock(when);
    std::copy(read.begin(), read.begin() + 3, b.begin());
    return b;
}

Block ClockWithTime(const Block& read, const link::DateTime& when) {
    Block b = EncodeClock(when);
    b[3] = read[3];
    b[4] = read[4];
    return b;
}

// --- registration stamp -----------------------------------------------------

RegStamp DecodeStamp(const Block& block) {
    RegStamp s;
    s.seconds = link::BcdToInt(block[0]);
    s.minutes = link::BcdToInt(block[1]);
    s.hour = link::HourFromBcd(block[2]);
    s.day = link::DayFromBcd(block[3]);
    s.month = link::MonthFromBcd(block[4]);
    s.leapOffset = LeapOffset(block[3]);
    s.interval = block[5];
    return s;
}

std::optional<link::DateTime> StampDateTime(const RegStamp& stamp,
                                            const link::DateTime& reference) {
    return link::NearestInLeapCycle(stamp.leapOffset, stamp.month, stamp.day, stamp.hour,
                                    stamp.minutes, stamp.seconds, reference);
}

Block EncodeStamp(const link::DateTime& when, uint8_t interval) {
    const ClockBytes c = ClockBytesOf(when);
    return {c.seconds, c.minutes, c.hour, c.date, c.month, interval, 0, 0};
}

// --- path and mode ----------------------------------------------------------

std::optional<PathSetting> DecodePath(const Block& block) {
    if (block[4] >= 3) return std::nullopt;
    const uint32_t id = block[0] | (uint32_t{block[1]} << 8) | (uint32_t{block[2]} << 16) |
                        (uint32_t{block[3]} << 24);
    return PathSetting{static_cast<int32_t>(id), block[4]};
}

Block EncodePath(const std::optional<PathSetting>& path) {
    Block b;
    b.fill(0x55);
    if (!path) {
        b[4] = ModeNoPath;
        return b;
    }
    const auto id = static_cast<uint32_t>(path->pathId);
    for (int i = 0; i < 4; ++i)
        b[i] = static_cast<uint8_t>(id >> (8 * i));
    b[4] = static_cast<uint8_t>(path->mode);
    return b;
}

QString PathModeText(int mode) {
    switch (mode) {
        case ModeRandom:
            return TextModeRandom;
        case ModeRandomFullControl:
            return TextModeRandomFullControl;
        case ModeInPathOrder:
            return TextModeInPathOrder;
        default:
            return TextNoPath;
    }
}

// --- battery ----------------------------------------------------------------

namespace {

// Hundredths of a volt for each raw measurement 0..143.
constexpr std::array<int, BatteryRawMax + 1> BatteryTable = {
    0,   0,   8,   15,  21,  27,  34,  39,  45,  51,  57,  62,  67,  73,  78,  83,  89,  94,
    100, 104, 109, 114, 119, 124, 128, 134, 138, 142, 147, 151, 155, 160, 164, 168, 172, 177,
    182, 185, 189, 193, 196, 200, 203, 208, 211, 215, 218, 221, 225, 228, 232, 235, 239, 242,
    245, 248, 252, 255, 258, 260, 263, 266, 270, 272, 275, 278, 280, 283, 286, 290, 292, 294,
    296, 298, 302, 304, 307, 309, 311, 313, 316, 318, 321, 323, 325, 327, 329, 332, 334, 336,
    338, 340, 342, 344, 346, 348, 350, 352, 354, 356, 357, 359, 361, 362, 364, 366, 367, 369,
    370, 372, 374, 375, 377, 378, 380, 382, 383, 384, 386, 387, 388, 390, 391, 392, 393, 394,
    395, 396, 398, 399, 400, 401, 403, 404, 405, 406, 407, 408, 409, 410, 411, 413, 414, 415};

constexpr int BarRedLimit = 250;
constexpr int BarYellowLimit = 280;
constexpr int BarFullLimit = 399;

}  // namespace

int BatteryRaw(const Block& block) {
    return block[0];
}

bool BatteryRawValid(int raw) {
    return raw >= 0 && raw <= BatteryRawMax;
}

std::optional<int> BatteryHundredths(int raw) {
    if (!BatteryRawValid(raw)) return std::nullopt;
    return BatteryTable[static_cast<size_t>(raw)];
}

BatteryBar BatteryBarFor(int v) {
    BatteryBar bar;
    if (v <= 0) return bar;
    bar.redEnd = std::min(v, BarRedLimit);
    bar.yellowEnd = v > BarRedLimit ? std::min(v, BarYellowLimit) : BarRedLimit;
    bar.greenEnd = v > BarYellowLimit ? std::min(v, BarFullLimit) : BarYellowLimit;
    return bar;
}

// --- event slots ------------------------------------------------------------

EventSlotPlan PlanEventSlots(unsigned pointer, uint8_t overflow) {
    EventSlotPlan plan;
    const auto plain = [&plan](int count) {
        plan.order.resize(static_cast<size_t>(count));
        std::iota(plan.order.begin(), plan.order.end(), 0);
    };

    // A flag of 1 with the pointer at 0: the ring has just filled up, the
    // events stand in plain order and nothing has been lost.
    if (overflow == 1 && pointer == 0) {
        plain(EventSlots);
        plan.shownCount = EventSlots;
        return plan;
    }

    // A pointer past the last slot cannot come from a working collector: the
    // addresses after slot 999 are header blocks, not events. Such a counter
    // is read as a full area of 1000 events in slot order, never beyond it;
    // with the flag set the operator still gets the overflow message.
    if (pointer >= static_cast<unsigned>(EventSlots)) {
        plain(EventSlots);
        plan.shownCount = EventSlots;
        plan.overflowed = overflow != 0;
        return plan;
    }

    const int p = static_cast<int>(pointer);
    if (overflow == 0) {
        plain(p);
        plan.shownCount = p;
        return plan;
    }

    // Wrapped ring: the oldest event is at the pointer.
    plan.order.reserve(EventSlots);
    for (int s = p; s < EventSlots; ++s)
        plan.order.push_back(s);
    for (int s = 0; s < p; ++s)
        plan.order.push_back(s);
    plan.shownCount = EventSlots;
    plan.overflowed = true;
    return plan;
}

QString EventCountText(int count) {
    const char* ending = "й";
    switch (count % 10) {
        case 1:
            ending = "е";
            break;
        case 2:
        case 3:
        case 4:
            ending = "я";
            break;
        default:
            break;
    }
    return QStringLiteral(" (") + QString::number(count) + QStringLiteral(" событи") +
           QString::fromUtf8(ending) + QLatin1Char(')');
}

}  // namespace kordex::collector
