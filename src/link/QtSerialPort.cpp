#include "QtSerialPort.h"

namespace kordex::link {

namespace {
bool IsFailure(QSerialPort::SerialPortError e) {
    return e != QSerialPort::NoError && e != QSerialPort::TimeoutError;
}
}  // namespace

QtSerialPort::~QtSerialPort() {
    if (port_.isOpen()) port_.close();
}

bool QtSerialPort::Open(const QString& device) {
    if (port_.isOpen()) return true;
    port_.setPortName(device);
    // Open with the line settings the device has; Configure sets ours.
    port_.setBaudRate(QSerialPort::Baud9600);
    if (!port_.open(QIODevice::ReadWrite)) {
        port_.clearError();
        return false;
    }
    return true;
}

bool QtSerialPort::Configure() {
    if (!port_.isOpen()) return false;
    bool ok = port_.setBaudRate(QSerialPort::Baud9600);
    ok = port_.setDataBits(QSerialPort::Data8) && ok;
    ok = port_.setParity(QSerialPort::NoParity) && ok;
    ok = port_.setStopBits(QSerialPort::OneStop) && ok;
    // QSerialPort has no driver queue sizes or time-out multipliers; its own
    // read buffer takes the queue size and every wait has its explicit limit.
    port_.setReadBufferSize(QueueSize);
    if (!ok) port_.clearError();
    return ok;
}

bool QtSerialPort::Purge() {
    if (!port_.isOpen()) return false;
    const bool ok = port_.clear(QSerialPort::AllDirections);
    if (!ok) port_.clearError();
    return ok;
}

bool QtSerialPort::Close() {
    if (!port_.isOpen()) return true;
    port_.close();
    port_.clearError();
    return true;
}

int64_t QtSerialPort::Write(const uint8_t* data, int count) {
    if (!port_.isOpen()) return -1;
    const qint64 n = port_.write(reinterpret_cast<const char*>(data), count);
    if (n != count) {
        port_.clearError();
        return n < 0 ? -1 : n;
    }
    while (port_.bytesToWrite() > 0) {
        if (!port_.waitForBytesWritten(WriteMsPerByte * count)) {
            const qint64 left = port_.bytesToWrite();
            port_.clearError();
            return count - left;
        }
    }
    return count;
}

int QtSerialPort::ReadByte(uint8_t& byte) {
    if (!port_.isOpen()) return -1;
    if (port_.bytesAvailable() == 0 && !port_.waitForReadyRead(ReadWaitMs)) {
        const auto e = port_.error();
        port_.clearError();
        if (IsFailure(e)) return -1;
        if (port_.bytesAvailable() == 0) return 0;
    }
    char c = 0;
    if (!port_.getChar(&c)) {
        const auto e = port_.error();
        port_.clearError();
        return IsFailure(e) ? -1 : 0;
    }
    byte = static_cast<uint8_t>(c);
    return 1;
}

bool QtSerialPort::Probe(const QString& device) {
    QSerialPort probe;
    probe.setPortName(device);
    if (!probe.open(QIODevice::ReadWrite)) return false;
    probe.close();
    return true;
}

}  // namespace kordex::link
