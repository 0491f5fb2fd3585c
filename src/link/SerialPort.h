#pragma once

#include <QMap>
#include <QString>
#include <cstdint>

namespace kordex::link {

// The serial line to the reader, as the reader link needs it. The program
// uses QSerialPort; tests use the simulator in-process.
class SerialPort {
public:
    virtual ~SerialPort() = default;

    // Open an existing device for reading and writing, for this program alone.
    virtual bool Open(const QString& device) = 0;
    virtual bool IsOpen() const = 0;
    // 9600 baud, 8 data bits, no parity, 1 stop bit; time-outs and 2048-byte
    // driver queues where the platform has them.
    virtual bool Configure() = 0;
    // Discard what waits in both directions.
    virtual bool Purge() = 0;
    virtual bool Close() = 0;
    // Bytes written, or -1 on a failure.
    virtual int64_t Write(const uint8_t* data, int count) = 0;
    // 1: a byte was read; 0: none arrived within a few milliseconds; -1: failure.
    // Waits on the device, never spins.
    virtual int ReadByte(uint8_t& byte) = 0;
    // Whether the device exists and can be opened now (it is closed again at once).
    virtual bool Probe(const QString& device) = 0;
};

// Which device each port name "COM1".."COM4" stands for. The settings keep one
// device path per name; a name without an entry gets the platform default
// (/dev/ttyS0../dev/ttyS3 on Linux, the name itself on Windows).
class PortMap {
public:
    PortMap() = default;

    static QString DefaultDevice(const QString& name);
    QString DeviceFor(const QString& name) const;
    void Set(const QString& name, const QString& device) { devices_[name] = device; }
    bool Has(const QString& name) const { return devices_.contains(name); }

private:
    QMap<QString, QString> devices_;
};

}  // namespace kordex::link
