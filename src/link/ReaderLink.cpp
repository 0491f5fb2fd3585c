#include "ReaderLink.h"

#include <algorithm>

#include "shell/Clock.h"
#include "shell/Prompt.h"
#include "shell/StatusWindow.h"

namespace kordex::link {

ReaderLink::ReaderLink(SerialPort& port, shell::Prompt& prompt, shell::StatusWindow& status,
                       shell::Clock& clock, shell::EventPump& pump, PortMap ports)
    : port_(port),
      prompt_(prompt),
      status_(status),
      clock_(clock),
      pump_(pump),
      ports_(std::move(ports)) {}

QString ReaderLink::PortName() const {
    QString name = QStringLiteral("COM");
    if (portDigit_ != 0) name += QString::number(portDigit_);
    return name;
}

void ReaderLink::Error(const QString& text) {
    prompt_.Ask(shell::CaptionError, text, shell::Icon::Warning, shell::Buttons::Ok);
}

bool ReaderLink::PortOpen() {
    if (port_.IsOpen()) return true;
    if (portDigit_ == 0 || !port_.Open(ports_.DeviceFor(PortName()))) {
        Error(msg::CannotOpen);
        return false;
    }
    return true;
}

bool ReaderLink::PortSetup() {
    if (!PortOpen()) return false;
    if (!port_.Configure()) {
        Error(msg::CannotSetup);
        PortClose();
        return false;
    }
    return PortFlush();
}

bool ReaderLink::PortFlush() {
    if (!port_.Purge()) {
        Error(msg::CannotFlush);
        PortClose();
        return false;
    }
    return true;
}

bool ReaderLink::PortEnsureOpen() {
    if (port_.IsOpen()) return true;
    if (portDigit_ == 0) {
        PortClose();
        return false;
    }
    const bool ok = PortSetup();
    if (!ok) PortClose();
    return ok;
}

bool ReaderLink::PortClose() {
    if (!port_.IsOpen()) return true;
    if (!port_.Close()) {
        Error(msg::CannotClose);
        return false;
    }
    return true;
}

bool ReaderLink::PortWrite(const uint8_t* bytes, int count) {
    if (!port_.IsOpen()) return false;
    if (port_.Write(bytes, count) != count) {
        Error(msg::WriteError);
        return false;
    }
    return true;
}

int ReaderLink::PortReadByte(uint8_t& byte) {
    if (!port_.IsOpen()) return -1;
    const int n = port_.ReadByte(byte);
    if (n < 0) {
        Error(msg::ReadError);
        return -1;
    }
    return n;
}

void ReaderLink::PumpWait(uint32_t ms) {
    const uint32_t start = clock_.TickMs();
    for (;;) {
        pump_.ProcessEvents();
        const uint32_t elapsed = clock_.TickMs() - start;
        if (elapsed >= ms) return;
        // Let the rest pass in short naps so that events keep flowing.
        clock_.Sleep(std::min<uint32_t>(ms - elapsed, 10));
    }
}

bool ReaderLink::ProbeComPort(int digit) {
    const QString name = QStringLiteral("COM") + QString::number(digit);
    return port_.Probe(ports_.DeviceFor(name));
}

int ReaderLink::ReaderExchange(uint8_t command, uint16_t address, bool interactive, bool verify) {
    if (!port_.IsOpen()) return ExchangeFailed;
    ++readerBusy_;
    const int result = Exchange(command, address, interactive, verify);
    // The completion block is always followed by a pause, whatever the outcome.
    if (address == CompletionAddress) PumpWait(300);
    --readerBusy_;
    return result;
}

int ReaderLink::Exchange(uint8_t command, uint16_t address, bool interactive, bool verify) {
    int result = ExchangeFailed;
    PortFlush();
    request_ = BuildRequest(command, address, writeData_);

    for (int attempt = 0; attempt < ExchangeAttempts; ++attempt) {
        if (!PortWrite(request_.data(), FrameSize)) return result;

        int received = 0;
        uint32_t start = clock_.TickMs();
        uint32_t now = start;
        while (now - start < replyTimeout_) {
            if (interactive) {
                status_.Pump();
                if (!status_.IsShowing()) return result;  // the operator cancelled
            }
            uint8_t b = 0;
            const int n = PortReadByte(b);
            if (n < 0) return result;
            if (n == 1) {
                replyTimeout_ = InitialReplyTimeout;
                reply_[received++] = b;
                if (received == FrameSize) break;
                start = now;  // each further byte is awaited from the last one
            }
            now = clock_.TickMs();
        }

        if (received == FrameSize && CheckReply(request_, reply_) == ReplyCheck::Ok) {
            if (reply_[frame::Status] == 0) {
                result = ExchangeNoContact;
                if (!interactive) return result;
                if (prompt_.Ask(shell::CaptionError, msg::NoCollectorContact, shell::Icon::Warning,
                                shell::Buttons::OkCancel) == shell::Answer::Cancel)
                    return result;
                // OK: the next attempt, without a sync byte.
            } else if (verify && command == CmdWriteBlock) {
                return ReadBack(address, interactive, verify, result);
            } else {
                return ExchangeOk;
            }
        }

        if (received == 0) {
            if (!interactive) replyTimeout_ = ShortReplyTimeout;
            if (!PortWrite(&SyncByte, 1)) return result;
        }
        if (!interactive) return result;
    }

    Error(msg::NoReader);
    return result;
}

int ReaderLink::ReadBack(uint16_t address, bool interactive, bool verify, int result) {
    const Block written = writeData_;
    for (;;) {
        if (ReaderExchange(CmdReadBlock, address, interactive, verify) != ExchangeOk) return result;
        const Block got = ReplyData();
        if (got == written) return ExchangeOk;

        result = ExchangeVerifyFailed;
        if (prompt_.Ask(shell::CaptionConfirm, msg::VerifyMismatch, shell::Icon::Question,
                        shell::Buttons::YesNo) != shell::Answer::Yes)
            return result;
        writeData_ = written;
        if (ReaderExchange(CmdWriteBlock, address, interactive, false) != ExchangeOk) return result;
    }
}

int ReaderLink::ReadBlock(uint16_t address, bool interactive, Block& data) {
    const int r = ReaderExchange(CmdReadBlock, address, interactive, true);
    if (r == ExchangeOk) data = ReplyData();
    return r;
}

int ReaderLink::WriteBlock(uint16_t address, const Block& data, bool interactive, bool verify) {
    writeData_ = data;
    return ReaderExchange(CmdWriteBlock, address, interactive, verify);
}

}  // namespace kordex::link
