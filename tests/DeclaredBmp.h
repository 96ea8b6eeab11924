#pragma once
// A 24-bit BMP file whose header declares width x height but which carries only a few
// bytes of pixels: the decoder fills the rest, so the bitmap costs what its header says.

#include <cstdint>
#include <cstring>
#include <string>

inline std::string DeclaredBmp(int32_t width, int32_t height) {
    const uint32_t pixels = 16;
    std::string b(54 + pixels, '\0');
    auto put32 = [&](std::size_t at, uint32_t v) { std::memcpy(&b[at], &v, 4); };
    auto put16 = [&](std::size_t at, uint16_t v) { std::memcpy(&b[at], &v, 2); };
    b[0] = 'B';
    b[1] = 'M';
    put32(2, static_cast<uint32_t>(b.size()));
    put32(10, 54);
    put32(14, 40);
    put32(18, static_cast<uint32_t>(width));
    put32(22, static_cast<uint32_t>(height));
    put16(26, 1);
    put16(28, 24);
    put32(34, pixels);
    return b;
}
