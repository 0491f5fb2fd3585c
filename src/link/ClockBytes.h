#pragma once

#include <cstdint>

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

// The full year from the date byte's leap-cycle bits and a reference year.
int YearFromDateByte(uint8_t dateByte, int referenceYear);

// The years with the date byte's place in the leap cycle that lie nearest to a
// reference: the latest not after it (a registration stamp, against the PC's
// year) or the earliest not before it (a touch, against the touch before it).
// Unlike YearFromDateByte these stay right when a cycle boundary lies between
// the reference and the true date (31.12.2027 read on 01.01.2028).
int YearNotAfter(uint8_t dateByte, int referenceYear);
int YearNotBefore(uint8_t dateByte, int referenceYear);

uint8_t IntToBcd(int value);
uint8_t DateToByte(int day, int year);
// dayOfWeek 1 = Sunday .. 7 = Saturday.
uint8_t MonthToByte(int month, int dayOfWeek);

}  // namespace kordex::link
