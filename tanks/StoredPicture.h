#pragma once
// Reading a stored picture (the BMP bytes of a TANKS row) for the tiles and the editor.
// The editor never stores more than 64 x 64 pixels, but a BMP header of a few dozen bytes
// can declare a bitmap of a hundred megabytes, which the decoder would allocate and fill
// for every tile and every opening of the editor. Pictures declared larger than this on
// either side are treated as unreadable.

#include <QImage>

#include <cstdint>
#include <string>

inline constexpr int kMaxPictureSide = 1024;

// Width and height as the file's header gives them; a top-down bitmap has a negative height.
// A size the header does not give (negative width) is left to the decoder to refuse.
constexpr bool PictureSizeAllowed(int64_t width, int64_t height) {
    return width <= kMaxPictureSide && height <= kMaxPictureSide && height >= -kMaxPictureSide;
}

// The bytes of a BMP file ("BM" first) decoded into an image of its own; a null image for
// anything else, no bytes and a bitmap declared too large included.
QImage ReadStoredBmp(const std::string& bytes);
