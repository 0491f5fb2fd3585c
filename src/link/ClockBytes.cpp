#include "ClockBytes.h"

namespace kordex::link {

int BcdToInt(uint8_t b) {
    return (b >> 4) * 10 + (b & 0x0F);
}

int HourFromBcd(uint8_t b) {
    const int h = ((b >> 4) & 0x03) * 10 + (b & 0x0F);
    if ((b & 0x80) == 0) return h;
    const bool pm = (b & 0x40) != 0;
    if (!pm && h == 12) return 0;
    if (pm && h != 12) return h + 12;
    return h;
}

int DayFromBcd(uint8_t b) {
    return ((b >> 4) & 0x03) * 10 + (b & 0x0F);
}

int MonthFromBcd(uint8_t b) {
    return ((b >> 4) & 0x01) * 10 + (b & 0x0F);
}

int WeekdayFromMonthByte(uint8_t b) {
    return b >> 5;
}

bool IsLeapYear(int y) {
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

int LastLeapYear(int year) {
    if (year < 3) return year;
    for (int y = year; y >= year - 3; --y)
        if (IsLeapYear(y)) return y;
    return year - 4;
}

int YearFromDateByte(uint8_t dateByte, int referenceYear) {
    return LastLeapYear(referenceYear) + (dateByte >> 6);
}

namespace {
// A year's place in the leap cycle as the collector writes it.
int CyclePlace(int year) {
    return (year - LastLeapYear(year)) & 0x03;
}
}  // namespace

int YearNotAfter(uint8_t dateByte, int referenceYear) {
    const int place = dateByte >> 6;
    for (int y = referenceYear; y > referenceYear - 8; --y)
        if (CyclePlace(y) == place) return y;
    return YearFromDateByte(dateByte, referenceYear);
}

int YearNotBefore(uint8_t dateByte, int referenceYear) {
    const int place = dateByte >> 6;
    for (int y = referenceYear; y < referenceYear + 8; ++y)
        if (CyclePlace(y) == place) return y;
    return YearFromDateByte(dateByte, referenceYear);
}

uint8_t IntToBcd(int value) {
    return static_cast<uint8_t>((value / 10) * 16 + value % 10);
}

uint8_t DateToByte(int day, int year) {
    const int offset = year - LastLeapYear(year);
    return static_cast<uint8_t>(((day / 10) * 16 + offset * 64 + day % 10) & 0xFF);
}

uint8_t MonthToByte(int month, int dayOfWeek) {
    const int w = dayOfWeek == 1 ? 6 : dayOfWeek - 2;
    return static_cast<uint8_t>(((month / 10) * 16 + w * 32 + month % 10) & 0xFF);
}

}  // namespace kordex::link
