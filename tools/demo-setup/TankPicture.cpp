#include "TankPicture.h"

#include <cstdint>

namespace {

constexpr int kSide = 64;
constexpr int kRowBytes = kSide * 3; // already a multiple of 4: no padding
constexpr int kHeaderBytes = 14 + 40;

void PutLE(std::string& out, uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i)
        out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

struct Rgb {
    uint8_t r, g, b;
};

// y counts from the top. A standing cylinder with a fuel band in its lower part.
Rgb PixelAt(int x, int y) {
    const Rgb background{255, 255, 255}, outline{60, 60, 70}, shell{190, 196, 205},
        fuel{225, 150, 40}, shine{235, 238, 242};
    bool inBody = x >= 12 && x <= 51 && y >= 8 && y <= 57;
    if (!inBody)
        return background;
    if (x == 12 || x == 51 || y == 8 || y == 57)
        return outline;
    if (x >= 16 && x <= 19)
        return shine;
    return y >= 28 ? fuel : shell;
}

} // namespace

std::string TankPictureBmp() {
    const uint32_t pixelBytes = kRowBytes * kSide;
    std::string bmp = "BM";
    PutLE(bmp, kHeaderBytes + pixelBytes, 4); // file size
    PutLE(bmp, 0, 4);                         // reserved
    PutLE(bmp, kHeaderBytes, 4);              // offset of the pixels
    PutLE(bmp, 40, 4);                        // info header size
    PutLE(bmp, kSide, 4);                     // width
    PutLE(bmp, kSide, 4);                     // height: positive, rows bottom-up
    PutLE(bmp, 1, 2);                         // planes
    PutLE(bmp, 24, 2);                        // bits per pixel
    PutLE(bmp, 0, 4);                         // no compression
    PutLE(bmp, pixelBytes, 4);
    PutLE(bmp, 2835, 4); // 72 dpi
    PutLE(bmp, 2835, 4);
    PutLE(bmp, 0, 4);
    PutLE(bmp, 0, 4);
    for (int row = kSide - 1; row >= 0; --row)
        for (int x = 0; x < kSide; ++x) {
            Rgb p = PixelAt(x, row);
            bmp.push_back(static_cast<char>(p.b));
            bmp.push_back(static_cast<char>(p.g));
            bmp.push_back(static_cast<char>(p.r));
        }
    return bmp;
}
