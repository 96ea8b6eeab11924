#pragma once
#include <string>

// The picture every seeded tank starts with: a 64 x 64 drawing, as the bytes of a BMP file.
// Empty (no picture) in the unlikely case that the bitmap could not be written.
std::string DefaultTankPictureBmp();
