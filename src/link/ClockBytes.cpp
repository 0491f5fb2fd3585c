#include "ClockBytes.h"

#include <cmath>

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

int CyclePlace(int year) {
    return (year - LastLeapYear(year)) & 0x03;
}

std::optional<DateTime> NearestInLeapCycle(int cyclePlace, int month, int day, int hour, int minute,
                                           int second, const DateTime& reference) {
    // Years of one place lie 4 apart, 8 around a century that is no leap
    // year: 8 years either way hold the nearest candidate on each side.
    const int around = reference.Date().year();
    std::optional<DateTime> best;
    double bestDistance = 0.0;
    for (int y = around - 8; y <= around + 8; ++y) {
        if (CyclePlace(y) != (cyclePlace & 0x03)) continue;
        const auto candidate = DateTime::Compose(y, month, day, hour, minute, second);
        if (!candidate) continue;
        const double distance = std::abs(candidate->Days() - reference.Days());
        // Years go up: a tie keeps the earlier candidate.
        if (!best || distance < bestDistance) {
            best = candidate;
            bestDistance = distance;
        }
    }
    return best;
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
