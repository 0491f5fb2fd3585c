#pragma once

#include <array>
#include <cstdint>

namespace kordex::link {

// One request or reply frame exchanged with the reader: 15 bytes.
constexpr int FrameSize = 15;
constexpr int BlockSize = 8;
constexpr int FrameDataOffset = 5;  // data byte n of a block is frame byte 5 + n

using Frame = std::array<uint8_t, FrameSize>;
using Block = std::array<uint8_t, BlockSize>;

constexpr uint8_t CmdReadBlock = 0xA5;
constexpr uint8_t CmdWriteBlock = 0x39;  // the character "9"

constexpr uint8_t RequestHead = 0xA2;
constexpr uint8_t RequestMark = 0x33;
constexpr uint8_t ReplyMark = 0x48;  // "H"
constexpr uint8_t FrameEnd = 0x13;
constexpr uint8_t SyncByte = 0x55;
constexpr uint8_t ReadFiller = 0x55;  // data bytes of a read request

// Frame byte positions.
namespace frame {
constexpr int Head = 0;
constexpr int Mark = 1;
constexpr int Command = 2;  // request: command; reply: status
constexpr int Status = 2;
constexpr int AddrLow = 3;
constexpr int AddrHigh = 4;
constexpr int Crc = 13;
constexpr int End = 14;
}  // namespace frame

// A request for the given command and block address; the data are the write
// data for CmdWriteBlock and eight 0x55 for a read. The CRC is filled in.
Frame BuildRequest(uint8_t command, uint16_t address, const Block& writeData);

enum class ReplyCheck {
    Ok,
    BadHead,        // byte 0 differs from the request's
    BadMark,        // byte 1 is not "H"
    BadCrc,         // byte 13 is not the CRC of bytes 0..12
    BadEnd,         // byte 14 is not 0x13
    BadAddressLow,  // echo of the address differs
    BadAddressHigh,
};

// Checks a complete reply against its request, in the order the reader link
// relies on: head, mark, CRC, terminator, address low, address high.
ReplyCheck CheckReply(const Frame& request, const Frame& reply);

Block DataOf(const Frame& frame);

}  // namespace kordex::link
