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
#include "link/Frames.h"
#include "link/KeyId.h"

namespace kordex::simtest {

struct Touch {
    QString key;
    QDateTime time;  // wall clock, Qt::UTC
};

// One event record; the year comes from the reference year (the touch before).
inline Touch DecodeTouch(const link::Block& d, int referenceYear) {
    const uint8_t serial[4] = {d[0], d[1], d[2], d[3]};
    const QDate date(link::YearFromDateByte(d[6], referenceYear), link::MonthFromBcd(d[7]),
                     link::DayFromBcd(d[6]));
    const QTime time(link::HourFromBcd(d[5]), link::BcdToInt(d[4]));
    return {link::KeyIdToText(link::TouchedKey(serial)), QDateTime(date, time, Qt::UTC)};
}

// The registration stamp (data bytes 0..4); data byte 5 is the interval.
inline QDateTime DecodeStamp(const link::Block& d, int referenceYear) {
    const QDate date(link::YearFromDateByte(d[3], referenceYear), link::MonthFromBcd(d[4]),
                     link::DayFromBcd(d[3]));
    const QTime time(link::HourFromBcd(d[2]), link::BcdToInt(d[1]), link::BcdToInt(d[0]));
    return QDateTime(date, time, Qt::UTC);
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
