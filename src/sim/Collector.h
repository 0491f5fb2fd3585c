#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <array>
#include <cstdint>
#include <map>
#include <optional>

namespace kordex::shell {
class Clock;
}  // namespace kordex::shell

namespace kordex::sim {

using Block = std::array<uint8_t, 8>;

// The simulated collector's memory: 8-byte blocks at 16-bit addresses, laid
// out here by the simulator's own code so that a test where the program and
// the simulator agree still catches a wrong layout in the program.
//
// The running clock ticks with the shell clock it is given; a raw clock (for
// broken clocks in tests) stays as it is set.
class Collector {
public:
    static constexpr int Slots = 1000;
    static constexpr uint16_t AddrId = 0x0000;
    static constexpr uint16_t AddrEvents = 0x0008;
    static constexpr uint16_t AddrClock = 0x1F48;
    static constexpr uint16_t AddrMemo = 0x1F50;  // four blocks
    static constexpr uint16_t AddrRegistrar = 0x1F78;
    static constexpr uint16_t AddrStamp = 0x1F80;
    static constexpr uint16_t AddrGuard = 0x1F88;
    static constexpr uint16_t AddrPath = 0x1F90;
    static constexpr uint16_t AddrInit = 0x1FF8;

    explicit Collector(shell::Clock& clock);

    // Key blocks from key text (16 hex characters: family, serial most
    // significant first, CRC); empty text clears the block.
    void SetId(const QString& key) { SetKeyBlock(AddrId, key); }
    void SetRegistrar(const QString& key) { SetKeyBlock(AddrRegistrar, key); }
    void SetGuard(const QString& key) { SetKeyBlock(AddrGuard, key); }
    void SetStamp(const QDateTime& when, int interval);
    void SetPath(int32_t id, uint8_t mode);
    void ClearPath();
    // Memo in the collector's code page, at most 32 bytes.
    void SetMemo(const QByteArray& cp1251);

    // The collector's running clock.
    void SetClock(const QDateTime& when);
    void SetRawClock(const std::array<uint8_t, 5>& bytes) { rawClock_ = bytes; }
    QDateTime ClockNow() const;

    // A guard touching a key: the event goes into the slot at the pointer;
    // after slot 999 the ring wraps and the overflow flag is set.
    void Touch(const QString& key, const QDateTime& when);
    void SetEventRaw(int slot, const Block& record);
    void SetPointer(uint16_t pointer) { pointer_ = pointer; }
    void SetOverflow(uint8_t flag) { overflow_ = flag; }
    uint16_t Pointer() const { return pointer_; }
    uint8_t Overflow() const { return overflow_; }
    // Initialisation leaves the event counter as it was.
    void SetCounterStuck(bool stuck) { counterStuck_ = stuck; }
    bool CounterStuck() const { return counterStuck_; }

    void SetBattery(uint8_t raw) { battery_ = raw; }
    uint8_t Battery() const { return battery_; }

    Block Read(uint16_t address) const;
    void Write(uint16_t address, const Block& data);
    // Any block, stored as it is (for layouts a test wants to break).
    // At the clock block this stops the clock at the given bytes and sets the counter.
    void SetRaw(uint16_t address, const Block& data);

    int Initialisations() const { return inits_; }

    static Block KeyBytes(const QString& key);

private:
    void SetKeyBlock(uint16_t address, const QString& key) { memory_[address] = KeyBytes(key); }
    std::array<uint8_t, 5> ClockBytes(const QDateTime& when) const;

    shell::Clock& clock_;
    std::map<uint16_t, Block> memory_;
    qint64 clockOffsetMs_ = 0;  // collector clock minus the shell clock
    std::optional<std::array<uint8_t, 5>> rawClock_;
    uint16_t pointer_ = 0;
    uint8_t overflow_ = 0;
    bool counterStuck_ = false;
    uint8_t battery_ = 100;
    int inits_ = 0;
};

}  // namespace kordex::sim
