#pragma once

// Reading collector blocks back the way the program does, with the link's
// codecs, so that what the simulator lays out is checked against them.

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringDecoder>
#include <array>
#include <vector>

#include "link/ClockBytes.h"
#include "link/DateTime.h"
#include "link/Frames.h"
#include "link/KeyId.h"

namespace kordex::simtest {

struct Touch {
    QString key;
    QDateTime time;  // wall clock, Qt::UTC
};

// A date-time of the collector's clock bytes, its year the one nearest the
// reference, as the program rebuilds it; invalid when the bytes make none.
inline QDateTime NearestOf(uint8_t dateByte, uint8_t monthByte, int hour, int minute, int second,
                           const QDateTime& reference) {
    const auto when = link::NearestInLeapCycle(
        dateByte >> 6, link::MonthFromBcd(monthByte), link::DayFromBcd(dateByte), hour, minute,
        second, link::DateTime::FromDate(reference.date(), reference.time()));
    return when ? QDateTime(when->Date(), when->Time(), Qt::UTC) : QDateTime();
}

// One event record, dated nearest the reference (the touch before).
inline Touch DecodeTouch(const link::Block& d, const QDateTime& reference) {
    const uint8_t serial[4] = {d[0], d[1], d[2], d[3]};
    return {link::KeyIdToText(link::TouchedKey(serial)),
            NearestOf(d[6], d[7], link::HourFromBcd(d[5]), link::BcdToInt(d[4]), 0, reference)};
}

// The registration stamp (data bytes 0..4), dated nearest the reference (the
// PC's clock); data byte 5 is the interval.
inline QDateTime DecodeStamp(const link::Block& d, const QDateTime& reference) {
    return NearestOf(d[3], d[4], link::HourFromBcd(d[2]), link::BcdToInt(d[1]),
                     link::BcdToInt(d[0]), reference);
}

// The memo blocks: each gives its characters up to its first zero byte.
inline QString DecodeMemo(const std::array<link::Block, 4>& parts) {
    QByteArray bytes;
    for (const link::Block& b : parts)
        for (uint8_t c : b) {
            if (c == 0) break;
            bytes.append(static_cast<char>(c));
        }
    QStringDecoder decoder("windows-1251");
    return decoder.decode(bytes);
}

inline int32_t PathId(const link::Block& d) {
    return static_cast<int32_t>(static_cast<uint32_t>(d[0]) | (static_cast<uint32_t>(d[1]) << 8) |
                                (static_cast<uint32_t>(d[2]) << 16) |
                                (static_cast<uint32_t>(d[3]) << 24));
}

inline int Pointer(const link::Block& counter) {
    return counter[5] | (counter[6] << 8);
}

// The numbers of the slots that hold events, oldest first, as the counter block tells.
inline std::vector<int> EventSlots(const link::Block& counter) {
    const int pointer = Pointer(counter);
    std::vector<int> ring;
    if (counter[7] == 0 || pointer == 0) {
        const int n = counter[7] == 0 ? pointer : 1000;
        for (int s = 0; s < n; ++s)
            ring.push_back(s);
    } else {
        for (int s = pointer; s < 1000; ++s)
            ring.push_back(s);
        for (int s = 0; s < pointer; ++s)
            ring.push_back(s);
    }
    return ring;
}

inline uint16_t SlotAddress(int slot) {
    return static_cast<uint16_t>(0x0008 + 8 * slot);
}

}  // namespace kordex::simtest
