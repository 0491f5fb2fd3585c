#pragma once

#include <cstdint>
#include <optional>

#include "DateTime.h"

namespace kordex::link {

// Codecs of the collector's clock bytes (binary-coded decimal).
//   seconds, minutes: tens in the high nibble, units in the low one
//   hours: bit 7 12-hour format, bit 6 PM, bits 5..4 tens, bits 3..0 units
//   date:  bits 7..6 years since the last leap year, bits 5..4 tens, 3..0 units
//   month: bits 7..5 weekday (Monday 0 .. Sunday 6), bit 4 tens, 3..0 units

int BcdToInt(uint8_t b);
int HourFromBcd(uint8_t b);
int DayFromBcd(uint8_t b);
int MonthFromBcd(uint8_t b);
// Weekday bits of a month byte: Monday 0 .. Sunday 6 (7 when the bits say so).
int WeekdayFromMonthByte(uint8_t b);

// The last leap year at or before a year (looking back at most 3 years; a
// year more than 3 years after one, around a non-leap century, gives year - 4).
int LastLeapYear(int year);
bool IsLeapYear(int year);
// A year's place in the leap cycle as a date byte carries it (bits 7..6):
// years since the last leap year, 2100..2103 all 0 since 4 does not fit.
int CyclePlace(int year);

// The collector keeps no year, only its place in the leap cycle, so every
// year is rebuilt here: the date-time with that place and the stored month,
// day and time that lies nearest to a reference date-time, before or after it
// (the PC's clock for the registration stamp and the collector's clock, the
// touch before for a touch, the registration for the first). For a date in
// the reference's own cycle and within two years of it this is the reference
// year's last leap year plus the place; across a cycle boundary it stays right
// where that does not. A date more than two years from its reference comes
// out four years off. Of two candidates equally far away the earlier is taken.
// Nothing when no year makes a valid date-time of them (month 13, hour 24,
// 29 February in a place that has no leap year).
std::optional<DateTime> NearestInLeapCycle(int cyclePlace, int month, int day, int hour, int minute,
                                           int second, const DateTime& reference);

uint8_t IntToBcd(int value);
uint8_t DateToByte(int day, int year);
// dayOfWeek 1 = Sunday .. 7 = Saturday.
uint8_t MonthToByte(int month, int dayOfWeek);

}  // namespace kordex::link
