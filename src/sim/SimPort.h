#pragma once

#include <QSet>
#include <QString>
#include <deque>
#include <vector>

#include "Reader.h"
#include "link/SerialPort.h"

namespace kordex::shell {
class Clock;
}  // namespace kordex::shell

namespace kordex::sim {

// The simulated reader in-process, behind the serial port interface. Replies
// are there as soon as a request is written; a read that finds nothing lets
// the clock run for the few milliseconds a driver read would wait.
class SimPort : public link::SerialPort {
public:
    static constexpr uint32_t ReadWaitMs = 3;

    SimPort(Reader& reader, shell::Clock& clock) : reader_(reader), clock_(clock) {}

    // Devices that exist; empty (the default) means every non-empty name exists.
    void SetDevices(QSet<QString> devices) { devices_ = std::move(devices); }

    bool Open(const QString& device) override;
    bool IsOpen() const override { return open_; }
    bool Configure() override;
    bool Purge() override;
    bool Close() override;
    int64_t Write(const uint8_t* data, int count) override;
    int ReadByte(uint8_t& byte) override;
    bool Probe(const QString& device) override;

    // Port failures to simulate.
    struct Failures {
        bool open = false, configure = false, purge = false, close = false;
        bool write = false, read = false;
    };
    Failures& Fail() { return fail_; }

    struct Sent {
        uint32_t tick;
        std::vector<uint8_t> bytes;
    };
    // Everything written, with the tick at which it was written.
    const std::vector<Sent>& Writes() const { return writes_; }
    // Ticks of the writes of whole requests (15 bytes) and of single sync bytes.
    std::vector<uint32_t> RequestTicks() const;
    int SyncWrites() const;
    QString OpenedDevice() const { return device_; }
    int Opens() const { return opens_; }
    int Purges() const { return purges_; }
    void ClearLog() { writes_.clear(); }

private:
    bool Exists(const QString& device) const;

    Reader& reader_;
    shell::Clock& clock_;
    QSet<QString> devices_;
    Failures fail_;
    bool open_ = false;
    QString device_;
    std::deque<uint8_t> rx_;
    std::vector<Sent> writes_;
    int opens_ = 0, purges_ = 0;
};

}  // namespace kordex::sim
