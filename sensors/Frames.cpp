#include "Frames.h"

namespace Frames {

uint8_t GetCRC8(const uint8_t* bytes, std::size_t count) {
    uint8_t crc = 0;
    for (std::size_t i = 0; i < count; ++i) {
        uint8_t b = bytes[i];
        for (int bit = 0; bit < 8; ++bit) {
            if ((b ^ crc) & 1)
                crc = static_cast<uint8_t>((crc >> 1) ^ 0x8C);
            else
                crc = static_cast<uint8_t>(crc >> 1);
            b = static_cast<uint8_t>(b >> 1);
        }
    }
    return crc;
}

std::array<uint8_t, 4> BuildRequest(uint8_t address, uint8_t command) {
    std::array<uint8_t, 4> f{kRequestStart, address, command, 0};
    f[3] = GetCRC8(f.data(), 3);
    return f;
}

bool CheckReply(const uint8_t* frame, std::size_t count) {
    if (count < 2 || frame[0] != kReplyStart)
        return false;
    return GetCRC8(frame, count - 1) == frame[count - 1];
}

bool DecodeData(const uint8_t* payload, std::size_t count, DataReading& out) {
    if (count < 5)
        return false;
    out.temp = static_cast<int8_t>(payload[0]);
    out.flc = static_cast<uint16_t>(payload[1] | (payload[2] << 8));
    out.flfr = static_cast<uint16_t>(payload[3] | (payload[4] << 8));
    return true;
}

std::vector<uint8_t> BuildReply(uint8_t address, uint8_t command,
                                const std::vector<uint8_t>& payload) {
    std::vector<uint8_t> f;
    f.reserve(payload.size() + 4);
    f.push_back(kReplyStart);
    f.push_back(address);
    f.push_back(command);
    for (uint8_t b : payload)
        f.push_back(b);
    f.push_back(GetCRC8(f));
    return f;
}

std::vector<uint8_t> BuildDataReply(uint8_t address, const DataReading& r) {
    return BuildReply(address, kCmdData,
                      {static_cast<uint8_t>(r.temp), static_cast<uint8_t>(r.flc & 0xFF),
                       static_cast<uint8_t>(r.flc >> 8), static_cast<uint8_t>(r.flfr & 0xFF),
                       static_cast<uint8_t>(r.flfr >> 8)});
}

} // namespace Frames
