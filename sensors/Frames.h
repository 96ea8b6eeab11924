#pragma once
// The sensor line's frames: four-byte requests and 9 to 14 byte replies, each closed by a
// CRC-8 (reflected polynomial 0x8C, initial 0, no final XOR).

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace Frames {

inline constexpr uint8_t kRequestStart = 0x31;
inline constexpr uint8_t kReplyStart = 0x3E;
inline constexpr uint8_t kCmdData = 0x06;
inline constexpr uint8_t kCmdConfig = 0x04;
inline constexpr std::size_t kMinReply = 9;
inline constexpr std::size_t kMaxReply = 14;
inline constexpr std::size_t kConfigReplyLength = 12;

uint8_t GetCRC8(const uint8_t* bytes, std::size_t count);
inline uint8_t GetCRC8(const std::vector<uint8_t>& bytes) {
    return GetCRC8(bytes.data(), bytes.size());
}

std::array<uint8_t, 4> BuildRequest(uint8_t address, uint8_t command);

// Accepted when the frame starts with 0x3E and ends with the CRC of the bytes before it.
bool CheckReply(const uint8_t* frame, std::size_t count);
inline bool CheckReply(const std::vector<uint8_t>& frame) {
    return CheckReply(frame.data(), frame.size());
}

// A decoded data payload (the frame without its first three bytes and its CRC).
struct DataReading {
    int8_t temp = 0;
    uint16_t flc = 0;
    uint16_t flfr = 0;
};
// False when the payload is shorter than the five bytes a data reply carries.
bool DecodeData(const uint8_t* payload, std::size_t count, DataReading& out);

// Builds a reply frame with its CRC (used by the simulator and by tests).
std::vector<uint8_t> BuildReply(uint8_t address, uint8_t command,
                                const std::vector<uint8_t>& payload);
std::vector<uint8_t> BuildDataReply(uint8_t address, const DataReading& reading);

} // namespace Frames
