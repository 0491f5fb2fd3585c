#pragma once

#include <QString>
#include <array>
#include <cstdint>
#include <deque>
#include <optional>
#include <vector>

#include "Collector.h"

namespace kordex::sim {

using Bytes = std::vector<uint8_t>;
using Frame = std::array<uint8_t, 15>;

// Something wrong the simulated reader does to its replies.
enum class FaultKind {
    Silence,        // no reply at all
    Partial,        // only the first `bytes` reply bytes
    BadCrc,         // the CRC byte is wrong
    WrongEcho,      // the address echo is wrong, with a correct CRC
    BadHead,        // byte 0 is wrong, with a correct CRC
    StatusZero,     // a valid reply with status 0
    WriteMismatch,  // a write stores one byte changed, so it reads back differently
    StuckCounter,   // an initialisation leaves the event counter as it was
};

// A fault acts on the exchanges it can change: a write mismatch on writes, a
// stuck counter on initialisations, every other kind on any exchange.
struct Fault {
    Fault(FaultKind k = FaultKind::Silence, int n = 1, std::optional<uint16_t> at = std::nullopt,
          int partialBytes = 8)
        : kind(k), times(n), address(at), bytes(partialBytes) {}

    FaultKind kind = FaultKind::Silence;
    int times = 1;                    // exchanges it affects; -1: all from now on
    std::optional<uint16_t> address;  // only exchanges with this block
    int bytes = 8;                    // for Partial
    qint64 from = 1;                  // not before the reader's exchange number `from` (from 1)

    bool operator==(const Fault&) const = default;
};

// The reader on the serial line: takes the bytes the program sends, finds
// the 15-byte requests among them and answers each as the real reader does.
class Reader {
public:
    static constexpr uint8_t CmdRead = 0xA5;
    static constexpr uint8_t CmdWrite = 0x39;
    static constexpr uint16_t AddrKeyContact = 0x2000;
    static constexpr uint16_t AddrBattery = 0x2008;
    static constexpr uint16_t AddrCompletion = 0x2010;

    explicit Reader(Collector& collector) : collector_(collector) {}

    // Feed bytes from the line; returns the replies to the requests completed by them.
    std::vector<Bytes> Receive(const uint8_t* data, size_t n);
    // Answer one complete, valid request.
    Bytes Answer(const Frame& request);
    // Bytes of a request begun but not yet complete (0 between requests).
    size_t Pending() const { return pending_.size(); }

    void Inject(Fault fault) { faults_.push_back(fault); }
    void ClearFaults() { faults_.clear(); }
    // Requests answered (or left unanswered) since the reader began, and
    // how many of them a fault acted on; the log's clearing leaves both.
    qint64 Answered() const { return answered_; }
    qint64 FaultsActed() const { return faultsActed_; }

    // Whether a collector sits in the reader; without one, collector blocks answer status 0.
    void SetCollectorPresent(bool present) { present_ = present; }
    bool CollectorPresent() const { return present_; }
    // The key touching the reader's contact, empty for none.
    void SetKeyContact(const QString& key) { keyContact_ = key; }

    struct Exchange {
        uint8_t command;
        uint16_t address;
        Block data;  // request data
    };
    const std::vector<Exchange>& Exchanges() const { return exchanges_; }
    int SyncBytes() const { return syncBytes_; }
    int Count(uint8_t command, uint16_t address) const;
    void ClearLog() {
        exchanges_.clear();
        syncBytes_ = 0;
    }

    static uint8_t Crc8(const uint8_t* data, int n);

private:
    std::optional<Fault> TakeFault(uint8_t command, uint16_t address);

    Collector& collector_;
    bool present_ = true;
    QString keyContact_;
    Bytes pending_;
    std::deque<Fault> faults_;
    std::vector<Exchange> exchanges_;
    int syncBytes_ = 0;
    qint64 answered_ = 0;
    qint64 faultsActed_ = 0;
};

}  // namespace kordex::sim
