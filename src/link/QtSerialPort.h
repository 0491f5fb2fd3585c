#pragma once

#include <QSerialPort>

#include "SerialPort.h"

namespace kordex::link {

// The reader's serial line through QSerialPort, used without an event loop:
// every wait is a wait on the device.
class QtSerialPort : public SerialPort {
public:
    // How long ReadByte waits for a byte when none is waiting.
    static constexpr int ReadWaitMs = 3;
    // Write time allowed per byte (the write time-out multiplier).
    static constexpr int WriteMsPerByte = 45;
    static constexpr int QueueSize = 2048;

    QtSerialPort() = default;
    ~QtSerialPort() override;

    bool Open(const QString& device) override;
    bool IsOpen() const override { return port_.isOpen(); }
    bool Configure() override;
    bool Purge() override;
    bool Close() override;
    int64_t Write(const uint8_t* data, int count) override;
    int ReadByte(uint8_t& byte) override;
    bool Probe(const QString& device) override;

    QString LastError() const { return port_.errorString(); }

private:
    QSerialPort port_;
};

}  // namespace kordex::link
