#include "SimPort.h"

#include "shell/Clock.h"

namespace kordex::sim {

bool SimPort::Exists(const QString& device) const {
    if (device.isEmpty()) return false;
    return devices_.isEmpty() || devices_.contains(device);
}

bool SimPort::Open(const QString& device) {
    if (open_) return true;
    if (fail_.open || !Exists(device)) return false;
    open_ = true;
    device_ = device;
    ++opens_;
    return true;
}

bool SimPort::Configure() {
    return open_ && !fail_.configure;
}

bool SimPort::Purge() {
    if (!open_ || fail_.purge) return false;
    rx_.clear();
    ++purges_;
    return true;
}

bool SimPort::Close() {
    if (!open_) return true;
    if (fail_.close) return false;
    open_ = false;
    rx_.clear();
    return true;
}

int64_t SimPort::Write(const uint8_t* data, int count) {
    if (!open_ || fail_.write) return -1;
    writes_.push_back({clock_.TickMs(), std::vector<uint8_t>(data, data + count)});
    for (const Bytes& reply : reader_.Receive(data, static_cast<size_t>(count)))
        rx_.insert(rx_.end(), reply.begin(), reply.end());
    return count;
}

int SimPort::ReadByte(uint8_t& byte) {
    if (!open_ || fail_.read) return -1;
    if (rx_.empty()) {
        clock_.Sleep(ReadWaitMs);
        return 0;
    }
    byte = rx_.front();
    rx_.pop_front();
    return 1;
}

bool SimPort::Probe(const QString& device) {
    return !fail_.open && Exists(device);
}

std::vector<uint32_t> SimPort::RequestTicks() const {
    std::vector<uint32_t> ticks;
    for (const auto& w : writes_)
        if (w.bytes.size() == 15) ticks.push_back(w.tick);
    return ticks;
}

int SimPort::SyncWrites() const {
    int n = 0;
    for (const auto& w : writes_)
        n += w.bytes.size() == 1 && w.bytes[0] == 0x55;
    return n;
}

}  // namespace kordex::sim
