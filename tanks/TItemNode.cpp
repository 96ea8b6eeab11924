#include "TItemNode.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

int32_t RoundHalfEven(double v) {
    if (std::isnan(v))
        return 0;
    // nearbyint follows the default rounding mode: to nearest, ties to even.
    double r = std::nearbyint(v);
    constexpr double lo = std::numeric_limits<int32_t>::min();
    constexpr double hi = std::numeric_limits<int32_t>::max();
    return static_cast<int32_t>(std::clamp(r, lo, hi));
}

int32_t LitresForCode(const TItemNode& node, unsigned code) {
    // A sensor may send any 16-bit code; the table stops at 4095.
    unsigned k = std::min(code, static_cast<unsigned>(kClbEntryCount - 1));
    return RoundHalfEven(node.ClbArray[k]);
}

void ApplyReading(TItemNode& node, int8_t temp, uint16_t flc, uint16_t flfr, double localNow) {
    node.Temp = temp;
    node.FLC = flc;
    node.FLFR = flfr;
    node.FL = LitresForCode(node, flc);
    node.LDTime = localNow;
}

namespace {

void PutU16(std::string& out, std::size_t at, uint16_t v) {
    out[at] = static_cast<char>(v & 0xFF);
    out[at + 1] = static_cast<char>(v >> 8);
}

void PutU32(std::string& out, std::size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

uint32_t GetU32(const std::string& in, std::size_t at) {
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i)
        v |= static_cast<uint32_t>(static_cast<uint8_t>(in[at + i])) << (8 * i);
    return v;
}

uint32_t FloatBits(float f) {
    uint32_t u;
    std::memcpy(&u, &f, 4);
    return u;
}

float BitsFloat(uint32_t u) {
    float f;
    std::memcpy(&f, &u, 4);
    return f;
}

// Bytes 2 and 3 of each point are padding, written as zero and ignored when read.
void DecodeFTable(const std::string& image, TFTable& table) {
    for (int k = 0; k < kCalPointCount; ++k) {
        std::size_t at = 8 * static_cast<std::size_t>(k);
        table[k].Code = static_cast<uint16_t>(GetU32(image, at) & 0xFFFF);
        table[k].Litres = GetU32(image, at + 4);
    }
}

} // namespace

std::string EncodeFTable(const TFTable& table) {
    std::string out(kFtblImageSize, '\0');
    for (int k = 0; k < kCalPointCount; ++k) {
        PutU16(out, 8 * k, table[k].Code);
        PutU32(out, 8 * k + 4, table[k].Litres);
    }
    return out;
}

std::string EncodeClbArray(const TClbArray& table) {
    std::string out(kClbImageSize, '\0');
    for (int k = 0; k < kClbEntryCount; ++k)
        PutU32(out, 4 * k, FloatBits(table[k]));
    return out;
}

void OverlayFTable(TFTable& table, const std::string& bytes) {
    std::string image = EncodeFTable(table);
    std::memcpy(image.data(), bytes.data(), std::min(bytes.size(), image.size()));
    DecodeFTable(image, table);
}

void OverlayClbArray(TClbArray& table, const std::string& bytes) {
    std::string image = EncodeClbArray(table);
    std::memcpy(image.data(), bytes.data(), std::min(bytes.size(), image.size()));
    for (int k = 0; k < kClbEntryCount; ++k)
        table[k] = BitsFloat(GetU32(image, 4 * static_cast<std::size_t>(k)));
}
