#include "Collector.h"

#include "link/ClockBytes.h"
#include "shell/Clock.h"

namespace kordex::sim {

namespace {

uint8_t Bcd(int v) {
    return static_cast<uint8_t>(((v / 10) << 4) | (v % 10));
}
int FromBcd(uint8_t b) {
    return (b >> 4) * 10 + (b & 0x0F);
}

bool Leap(int y) {
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

// Years since the last leap year, as the collector keeps it in two bits.
int LeapOffset(int year) {
    for (int back = 0; back < 4; ++back)
        if (Leap(year - back)) return back;
    return 0;
}

int HexValue(QChar c) {
    const char16_t u = c.toUpper().unicode();
    if (u >= '0' && u <= '9') return u - '0';
    if (u >= 'A' && u <= 'F') return u - 'A' + 10;
    return 0;
}

int TextByte(const QString& t, int index) {
    const auto at = [&](int i) { return i < t.size() ? t[i] : QChar('0'); };
    return HexValue(at(2 * index)) * 16 + HexValue(at(2 * index + 1));
}

}  // namespace

Collector::Collector(shell::Clock& clock) : clock_(clock) {
    ClearPath();
    SetMemo({});
}

Block Collector::KeyBytes(const QString& key) {
    Block b{};
    QString t = key;
    t.remove(QLatin1Char(' '));
    if (t.isEmpty()) return b;
    // Text: family, serial bytes 6..1, CRC. Block: family, serial bytes 1..6, CRC.
    b[0] = static_cast<uint8_t>(TextByte(t, 0));
    for (int i = 1; i <= 6; ++i)
        b[i] = static_cast<uint8_t>(TextByte(t, 7 - i));
    b[7] = static_cast<uint8_t>(TextByte(t, 7));
    return b;
}

void Collector::SetStamp(const QDateTime& when, int interval) {
    const QDate d = when.date();
    const QTime t = when.time();
    const int weekday = d.dayOfWeek() - 1;  // Monday 0 .. Sunday 6
    memory_[AddrStamp] = {Bcd(t.second()),
                          Bcd(t.minute()),
                          Bcd(t.hour()),
                          static_cast<uint8_t>((LeapOffset(d.year()) << 6) | Bcd(d.day())),
                          static_cast<uint8_t>((weekday << 5) | Bcd(d.month())),
                          static_cast<uint8_t>(interval),
                          0,
                          0};
}

void Collector::SetPath(int32_t id, uint8_t mode) {
    const auto u = static_cast<uint32_t>(id);
    memory_[AddrPath] = {static_cast<uint8_t>(u),
                         static_cast<uint8_t>(u >> 8),
                         static_cast<uint8_t>(u >> 16),
                         static_cast<uint8_t>(u >> 24),
                         mode,
                         0x55,
                         0x55,
                         0x55};
}

void Collector::ClearPath() {
    memory_[AddrPath] = {0x55, 0x55, 0x55, 0x55, 0xFF, 0x55, 0x55, 0x55};
}

void Collector::SetMemo(const QByteArray& text) {
    for (int part = 0; part < 4; ++part) {
        Block b;
        b.fill(0x20);
        const QByteArray piece = text.mid(part * 8, 8);
        for (int i = 0; i < piece.size(); ++i)
            b[i] = static_cast<uint8_t>(piece[i]);
        if (piece.size() < 8) b[piece.size()] = 0;
        memory_[static_cast<uint16_t>(AddrMemo + 8 * part)] = b;
    }
}

void Collector::SetClock(const QDateTime& when) {
    rawClock_.reset();
    clockOffsetMs_ = clock_.Now().msecsTo(when);
}

QDateTime Collector::ClockNow() const {
    return clock_.Now().addMSecs(clockOffsetMs_);
}

std::array<uint8_t, 5> Collector::ClockBytes(const QDateTime& when) const {
    const QDate d = when.date();
    const QTime t = when.time();
    return {Bcd(t.second()), Bcd(t.minute()), Bcd(t.hour()),
            static_cast<uint8_t>((LeapOffset(d.year()) << 6) | Bcd(d.day())),
            static_cast<uint8_t>(((d.dayOfWeek() - 1) << 5) | Bcd(d.month()))};
}

void Collector::Touch(const QString& key, const QDateTime& when) {
    const Block k = KeyBytes(key);
    const std::array<uint8_t, 5> c = ClockBytes(when);
    const int slot = pointer_ % Slots;
    memory_[static_cast<uint16_t>(AddrEvents + 8 * slot)] = {k[1], k[2], k[3], k[4],
                                                             c[1], c[2], c[3], c[4]};
    pointer_ = static_cast<uint16_t>(slot + 1);
    if (pointer_ == Slots) {
        pointer_ = 0;
        overflow_ = 1;
    }
}

void Collector::SetEventRaw(int slot, const Block& record) {
    memory_[static_cast<uint16_t>(AddrEvents + 8 * slot)] = record;
}

Block Collector::Read(uint16_t address) const {
    if (address == AddrClock) {
        const std::array<uint8_t, 5> c = rawClock_ ? *rawClock_ : ClockBytes(ClockNow());
        return {c[0],
                c[1],
                c[2],
                c[3],
                c[4],
                static_cast<uint8_t>(pointer_ & 0xFF),
                static_cast<uint8_t>(pointer_ >> 8),
                overflow_};
    }
    const auto it = memory_.find(address);
    if (it != memory_.end()) return it->second;
    return Block{};  // never written: zero
}

void Collector::SetRaw(uint16_t address, const Block& data) {
    if (address != AddrClock) {
        memory_[address] = data;
        return;
    }
    rawClock_ = std::array<uint8_t, 5>{data[0], data[1], data[2], data[3], data[4]};
    pointer_ = static_cast<uint16_t>(data[5] | (data[6] << 8));
    overflow_ = data[7];
}

void Collector::Write(uint16_t address, const Block& data) {
    if (address == AddrInit) {
        ++inits_;
        if (!counterStuck_) {
            pointer_ = 0;
            overflow_ = 0;
        }
        return;
    }
    if (address == AddrClock) {
        // The clock bytes set the running clock; the counter bytes are not written.
        const int second = FromBcd(data[0]), minute = FromBcd(data[1]);
        const int hour = ((data[2] >> 4) & 0x03) * 10 + (data[2] & 0x0F);
        const int day = ((data[3] >> 4) & 0x03) * 10 + (data[3] & 0x0F);
        const int month = ((data[4] >> 4) & 0x01) * 10 + (data[4] & 0x0F);
        // The year is the one nearest the clock's own, as the program rebuilds it.
        const auto when = link::NearestInLeapCycle(data[3] >> 6, month, day, hour, minute, second,
                                                   link::DateTime::FromQDateTime(ClockNow()));
        if (when)
            SetClock(when->ToQDateTime());
        else
            rawClock_ = std::array<uint8_t, 5>{data[0], data[1], data[2], data[3], data[4]};
        return;
    }
    memory_[address] = data;
}

}  // namespace kordex::sim
