#include "Frames.h"

#include "Crc8.h"

namespace kordex::link {

Frame BuildRequest(uint8_t command, uint16_t address, const Block& writeData) {
    Frame f{};
    f[frame::Head] = RequestHead;
    f[frame::Mark] = RequestMark;
    f[frame::Command] = command;
    f[frame::AddrLow] = static_cast<uint8_t>(address & 0xFF);
    f[frame::AddrHigh] = static_cast<uint8_t>(address >> 8);
    for (int i = 0; i < BlockSize; ++i)
        f[FrameDataOffset + i] = command == CmdWriteBlock ? writeData[i] : ReadFiller;
    Crc8Check(f.data(), 14);
    f[frame::End] = FrameEnd;
    return f;
}

ReplyCheck CheckReply(const Frame& request, const Frame& reply) {
    if (reply[frame::Head] != request[frame::Head]) return ReplyCheck::BadHead;
    if (reply[frame::Mark] != ReplyMark) return ReplyCheck::BadMark;
    if (Crc8(reply.data(), 13) != reply[frame::Crc]) return ReplyCheck::BadCrc;
    if (reply[frame::End] != FrameEnd) return ReplyCheck::BadEnd;
    if (reply[frame::AddrLow] != request[frame::AddrLow]) return ReplyCheck::BadAddressLow;
    if (reply[frame::AddrHigh] != request[frame::AddrHigh]) return ReplyCheck::BadAddressHigh;
    return ReplyCheck::Ok;
}

Block DataOf(const Frame& f) {
    Block b{};
    for (int i = 0; i < BlockSize; ++i)
        b[i] = f[FrameDataOffset + i];
    return b;
}

}  // namespace kordex::link
