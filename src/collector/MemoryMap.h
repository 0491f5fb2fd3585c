#pragma once

#include <QString>
#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "link/DateTime.h"
#include "link/Frames.h"

namespace kordex::collector {

using link::Block;

// ---------------------------------------------------------------------------
// Address map: the collector and the reader seen as 8-byte blocks at 16-bit
// addresses. Addresses not listed here are not used.

constexpr uint16_t AddrCollectorId = 0x0000;
constexpr uint16_t AddrEventBase = 0x0008;  // event record i at 0x0008 + 8 * i
constexpr int EventSlots = 1000;
constexpr uint16_t AddrClock = 0x1F48;  // running clock, event pointer, overflow flag
constexpr std::array<uint16_t, 4> AddrMemo = {0x1F50, 0x1F58, 0x1F60, 0x1F68};
constexpr uint16_t AddrRegistrar = 0x1F78;
constexpr uint16_t AddrRegStamp = 0x1F80;
constexpr uint16_t AddrGuard = 0x1F88;
constexpr uint16_t AddrPath = 0x1F90;
constexpr uint16_t AddrInit = 0x1FF8;
constexpr uint16_t AddrKeyContact = 0x2000;
constexpr uint16_t AddrBattery = 0x2008;
constexpr uint16_t AddrCompletion = 0x2010;

// Block address of an event slot 0..EventSlots - 1.
constexpr uint16_t EventAddress(int slot) {
    return static_cast<uint16_t>(AddrEventBase + link::BlockSize * slot);
}

static_assert(EventAddress(EventSlots - 1) == 0x1F40);
static_assert(EventAddress(EventSlots) == AddrClock);

// The header blocks of a read, in the order they are read: registrar,
// registration stamp, collector ID, guard, path and mode, memo, counter.
constexpr std::array<uint16_t, 10> ReadHeaderBlocks = {
    AddrRegistrar, AddrRegStamp, AddrCollectorId, AddrGuard,   AddrPath,
    AddrMemo[0],   AddrMemo[1],  AddrMemo[2],     AddrMemo[3], AddrClock};

// ---------------------------------------------------------------------------
// Key blocks: collector ID, registrar, guard. The key ID in byte form; all
// zero means no key, which is the empty text.

QString DecodeKeyBlock(const Block& block);
Block EncodeKeyBlock(const QString& keyText);

// ---------------------------------------------------------------------------
// Event record: one touch. Bytes 0..3 serial bytes 1..4 of the touched key,
// 4 minutes (BCD), 5 hour byte, 6 date byte, 7 month byte. No seconds.

struct EventRecord {
    QString key;  // family 0x01, the stored serial, bytes 5 and 6 zero, CRC8
    int minutes = 0;
    int hour = 0;
    int day = 0;
    int month = 0;
    int leapOffset = 0;  // years since the last leap year, date byte bits 7..6
    int weekday = 0;     // month byte bits 7..5: Monday 0 .. Sunday 6
};

EventRecord DecodeEvent(const Block& block);

// The touch's date-time, seconds 0, its year the one that puts it nearest the
// reference (the touch before, the registration for the first).
// Nothing when the stored values do not form a valid date-time.
std::optional<link::DateTime> EventDateTime(const EventRecord& event,
                                            const link::DateTime& reference);

// An event record as the collector stores a touch of key at the given time
// (hour in 24-hour form, weekday from the date).
Block EncodeEvent(const QString& keyText, const link::DateTime& when);

// ---------------------------------------------------------------------------
// Clock and event counter: bytes 0..4 seconds, minutes, hour, date, month;
// 5..6 event pointer (unsigned, little-endian); 7 overflow flag.

struct ClockBlock {
    int seconds = 0;
    int minutes = 0;
    int hour = 0;
    int day = 0;
    int month = 0;
    int leapOffset = 0;
    int weekday = 0;
    unsigned pointer = 0;  // the slot the next event takes
    uint8_t overflow = 0;  // non-zero once the ring has wrapped
};

ClockBlock DecodeClock(const Block& block);
// The clock's date-time, its year the one that puts it nearest the reference
// (the PC's clock).
std::optional<link::DateTime> ClockDateTime(const ClockBlock& clock,
                                            const link::DateTime& reference);
// The date and the time of the clock judged on their own (the test page shows
// each of them, or Err, separately). A clock whose time makes none has its
// date placed as at midnight.
std::optional<QDate> ClockDate(const ClockBlock& clock, const link::DateTime& reference);
bool ClockTimeValid(const ClockBlock& clock);

// The block sent to set the collector's clock: the five clock bytes of when,
// then 0x55 in bytes 5..7 (the counter is not written).
Block EncodeClock(const link::DateTime& when);
// Clock corrections: the date of `when` with the time bytes as read, and the
// time of `when` with the date bytes as read.
Block ClockWithDate(const Block& read, const link::DateTime& when);
Block ClockWithTime(const Block& read, const link::DateTime& when);

// ---------------------------------------------------------------------------
// Registration stamp: the time the collector was last written, the identity
// of the round read from it. Bytes 0..4 clock bytes, 5 minimal interval in
// seconds between two recorded touches of one key, 6..7 zero.

struct RegStamp {
    int seconds = 0;
    int minutes = 0;
    int hour = 0;
    int day = 0;
    int month = 0;
    int leapOffset = 0;  // years since the last leap year, date byte bits 7..6
    int interval = 0;
};

RegStamp DecodeStamp(const Block& block);
// The stamp's date-time, its year the one that puts it nearest the reference
// (the PC's clock at the read).
std::optional<link::DateTime> StampDateTime(const RegStamp& stamp, const link::DateTime& reference);
Block EncodeStamp(const link::DateTime& when, uint8_t interval);

// ---------------------------------------------------------------------------
// Path and path mode: bytes 0..3 path ID (signed, little-endian), 4 mode,
// 5..7 0x55. Without a path bytes 0..3 are 0x55 and the mode is 0xFF.

constexpr int ModeRandom = 0;
constexpr int ModeRandomFullControl = 1;
constexpr int ModeInPathOrder = 2;
constexpr uint8_t ModeNoPath = 0xFF;

struct PathSetting {
    int32_t pathId = 0;
    int mode = ModeRandom;  // 0..2
};

// Nothing when the mode byte is 3 or more.
std::optional<PathSetting> DecodePath(const Block& block);
Block EncodePath(const std::optional<PathSetting>& path);

inline const QString TextModeRandom = QStringLiteral("Случайный");
inline const QString TextModeRandomFullControl = QStringLiteral("Случайный с полным контролем");
inline const QString TextModeInPathOrder = QStringLiteral("В порядке маршрута обхода");
inline const QString TextNoPath = QStringLiteral("Без маршрута");

// The text of a path mode 0..2; any other value is "no path".
QString PathModeText(int mode);

// ---------------------------------------------------------------------------
// Battery measurement: byte 0 is a raw value, valid up to BatteryRawMax.

constexpr int BatteryRawMax = 143;

int BatteryRaw(const Block& block);
bool BatteryRawValid(int raw);
// The battery voltage in hundredths of a volt; nothing for an invalid raw value.
std::optional<int> BatteryHundredths(int raw);

// The battery bar, in hundredths of a volt from the left: red up to redEnd,
// yellow from 250 up to yellowEnd, green from 280 up to greenEnd. A segment
// whose end is not past its start is not drawn.
struct BatteryBar {
    int redEnd = 0;
    int yellowEnd = 0;
    int greenEnd = 0;
};

BatteryBar BatteryBarFor(int hundredths);

// ---------------------------------------------------------------------------
// Event slots of one read.

struct EventSlotPlan {
    std::vector<int> order;   // the slots to read, oldest event first
    int shownCount = 0;       // the count shown to the operator
    bool overflowed = false;  // the ring has wrapped: the operator is told so
};

// Which slots hold events, from the pointer and the overflow flag of the
// clock block (pass 0 as the flag to ignore it).
EventSlotPlan PlanEventSlots(unsigned pointer, uint8_t overflow);

// " (1000 событий)": the count of events appended to the read's status text.
QString EventCountText(int count);

}  // namespace kordex::collector
