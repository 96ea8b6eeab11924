#pragma once
#include <string>

// The picture every seeded tank starts with: a 64 x 64 drawing, as the bytes of a BMP file.
std::string DefaultTankPictureBmp();
