#pragma once

#include <QString>
#include <cstdint>

#include "Frames.h"
#include "SerialPort.h"

namespace kordex::shell {
class Prompt;
class StatusWindow;
class Clock;
class EventPump;
}  // namespace kordex::shell

namespace kordex::link {

// Results of one exchange with the reader.
enum ExchangeResult : int {
    ExchangeOk = 0,            // a valid reply with non-zero status (and a matching read-back)
    ExchangeNoContact = 1,     // the reader could not reach the collector
    ExchangeFailed = 2,        // no valid reply, port failure, or cancelled
    ExchangeVerifyFailed = 3,  // a verified write read back differently
};

// Messages of the reader link.
namespace msg {
inline const QString CannotOpen = QStringLiteral("Невозможно открыть порт !");
inline const QString CannotSetup = QStringLiteral("Невозможно настроить порт !");
inline const QString CannotFlush = QStringLiteral("Невозможно очистить порт !");
inline const QString CannotClose = QStringLiteral("Невозможно закрыть порт !");
inline const QString WriteError = QStringLiteral("Ошибка записи в порт !");
inline const QString ReadError = QStringLiteral("Ошибка чтения из порта !");
// The "c" before "Kordex'ом" is a Latin c.
inline const QString NoCollectorContact =
    QStringLiteral("Ошибка связи устройства чтения c Kordex'ом !\rПроверьте положение Kordex'а.");
inline const QString NoReader = QStringLiteral("Ошибка связи с устройством чтения !");
inline const QString VerifyMismatch = QStringLiteral(
    "Ошибка записи в устройство (несоответствие записанных и прочитанных данных) !\r"
    "Повторить попытку записи текущей части данных ?");
}  // namespace msg

// The block after whose every exchange the link pauses 300 ms.
constexpr uint16_t CompletionAddress = 0x2010;
constexpr uint16_t InitialReplyTimeout = 300;
constexpr uint16_t ShortReplyTimeout = 100;
constexpr int ExchangeAttempts = 10;

// The program's one serial port and its reader: port choice and state, the
// request and reply frames, the shared reply time-out and the busy counter.
class ReaderLink {
public:
    ReaderLink(SerialPort& port, shell::Prompt& prompt, shell::StatusWindow& status,
               shell::Clock& clock, shell::EventPump& pump, PortMap ports = {});

    // The chosen port: digit 1..4 for "COM1".."COM4", 0 for none.
    void SetPortDigit(int digit) { portDigit_ = digit; }
    int PortDigit() const { return portDigit_; }
    QString PortName() const;
    void SetPortMap(PortMap ports) { ports_ = std::move(ports); }
    const PortMap& Ports() const { return ports_; }

    bool PortOpen();
    bool PortSetup();
    bool PortFlush();
    bool PortEnsureOpen();
    bool PortClose();
    bool PortWrite(const uint8_t* bytes, int count);
    int PortReadByte(uint8_t& byte);
    bool IsPortOpen() const { return port_.IsOpen(); }
    // Pumps events until the tick has advanced by at least ms.
    void PumpWait(uint32_t ms);
    // Whether "COM" + digit exists and can be opened; leaves the chosen port alone.
    bool ProbeComPort(int digit);

    // One exchange; on ExchangeOk the reply frame holds the block. For
    // CmdWriteBlock the data are those given by SetWriteData.
    int ReaderExchange(uint8_t command, uint16_t address, bool interactive, bool verify);

    void SetWriteData(const Block& data) { writeData_ = data; }
    const Block& WriteData() const { return writeData_; }
    const Frame& Request() const { return request_; }
    const Frame& Reply() const { return reply_; }
    Block ReplyData() const { return DataOf(reply_); }

    // Conveniences over ReaderExchange.
    int ReadBlock(uint16_t address, bool interactive, Block& data);
    int WriteBlock(uint16_t address, const Block& data, bool interactive, bool verify);

    uint16_t ReplyTimeout() const { return replyTimeout_; }
    void SetReplyTimeout(uint16_t ms) { replyTimeout_ = ms; }
    int ReaderBusy() const { return readerBusy_; }
    // Key capture raises the counter around its confirmation question.
    void RaiseBusy() { ++readerBusy_; }
    void LowerBusy() { --readerBusy_; }

private:
    void Error(const QString& text);
    int Exchange(uint8_t command, uint16_t address, bool interactive, bool verify);
    int ReadBack(uint16_t address, bool interactive, bool verify, int result);

    SerialPort& port_;
    shell::Prompt& prompt_;
    shell::StatusWindow& status_;
    shell::Clock& clock_;
    shell::EventPump& pump_;
    PortMap ports_;

    int portDigit_ = 0;
    uint16_t replyTimeout_ = InitialReplyTimeout;
    int readerBusy_ = 0;
    Frame request_{};
    Frame reply_{};
    Block writeData_{};
};

}  // namespace kordex::link
