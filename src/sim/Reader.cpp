#include "Reader.h"

#include <algorithm>

namespace kordex::sim {

uint8_t Reader::Crc8(const uint8_t* d, int n) {
    // Bit by bit, so that a wrong entry in the program's table shows.
    uint8_t crc = 0;
    for (int i = 0; i < n; ++i) {
        uint8_t b = d[i];
        for (int bit = 0; bit < 8; ++bit) {
            const bool mix = ((crc ^ b) & 1) != 0;
            crc >>= 1;
            if (mix) crc ^= 0x8C;
            b >>= 1;
        }
    }
    return crc;
}

std::vector<Bytes> Reader::Receive(const uint8_t* data, size_t n) {
    std::vector<Bytes> replies;
    pending_.insert(pending_.end(), data, data + n);
    size_t pos = 0;
    while (pos < pending_.size()) {
        if (pending_[pos] != 0xA2) {
            if (pending_[pos] == 0x55) ++syncBytes_;
            ++pos;
            continue;
        }
        if (pending_.size() - pos < 15) break;
        Frame f;
        std::copy(pending_.begin() + pos, pending_.begin() + pos + 15, f.begin());
        if (f[1] != 0x33 || f[14] != 0x13 || Crc8(f.data(), 13) != f[13]) {
            ++pos;  // not a request: look for the next head byte
            continue;
        }
        pos += 15;
        Bytes reply = Answer(f);
        if (!reply.empty()) replies.push_back(std::move(reply));
    }
    pending_.erase(pending_.begin(), pending_.begin() + pos);
    return replies;
}

std::optional<Fault> Reader::TakeFault(uint8_t command, uint16_t address) {
    for (auto it = faults_.begin(); it != faults_.end(); ++it) {
        if (it->address && *it->address != address) continue;
        if (answered_ < it->from) continue;
        if (it->kind == FaultKind::WriteMismatch && command != CmdWrite) continue;
        if (it->kind == FaultKind::StuckCounter &&
            (command != CmdWrite || address != Collector::AddrInit))
            continue;
        Fault f = *it;
        if (it->times > 0 && --it->times == 0) faults_.erase(it);
        return f;
    }
    return std::nullopt;
}

int Reader::Count(uint8_t command, uint16_t address) const {
    int n = 0;
    for (const auto& e : exchanges_)
        n += e.command == command && e.address == address;
    return n;
}

Bytes Reader::Answer(const Frame& request) {
    const uint8_t command = request[2];
    const uint16_t address = static_cast<uint16_t>(request[3] | (request[4] << 8));
    Block data;
    std::copy(request.begin() + 5, request.begin() + 13, data.begin());
    exchanges_.push_back({command, address, data});
    ++answered_;

    const std::optional<Fault> fault = TakeFault(command, address);
    if (fault) ++faultsActed_;
    if (fault && fault->kind == FaultKind::Silence) return {};
    if (command != CmdRead && command != CmdWrite) return {};

    uint8_t status = 1;
    Block out{};
    if (address == AddrKeyContact) {
        if (keyContact_.isEmpty())
            status = 0;
        else
            out = Collector::KeyBytes(keyContact_);
    } else if (address == AddrCompletion) {
        out.fill(0);
    } else if (!present_) {
        status = 0;
    } else if (address == AddrBattery) {
        out = {collector_.Battery(), 0, 0, 0, 0, 0, 0, 0};
    } else if (command == CmdWrite) {
        Block stored = data;
        if (fault && fault->kind == FaultKind::WriteMismatch) stored[7] ^= 0x5A;
        if (fault && fault->kind == FaultKind::StuckCounter) {
            const bool stuck = collector_.CounterStuck();
            collector_.SetCounterStuck(true);
            collector_.Write(address, stored);
            collector_.SetCounterStuck(stuck);
        } else {
            collector_.Write(address, stored);
        }
        out = stored;
    } else {
        out = collector_.Read(address);
    }
    if (fault && fault->kind == FaultKind::StatusZero) status = 0;
    if (status == 0) out.fill(0);

    Bytes r(15);
    r[0] = request[0];
    r[1] = 0x48;
    r[2] = status;
    r[3] = request[3];
    r[4] = request[4];
    std::copy(out.begin(), out.end(), r.begin() + 5);
    if (fault && fault->kind == FaultKind::WrongEcho) r[3] ^= 0x01;
    if (fault && fault->kind == FaultKind::BadHead) r[0] = 0xA3;
    r[13] = Crc8(r.data(), 13);
    r[14] = 0x13;
    if (fault && fault->kind == FaultKind::BadCrc) r[13] ^= 0xFF;
    if (fault && fault->kind == FaultKind::Partial)
        r.resize(static_cast<size_t>(std::clamp(fault->bytes, 0, 15)));
    return r;
}

}  // namespace kordex::sim
