#pragma once
// A 64 x 64 tank drawn as the bytes of a 24-bit BMP file, for the demo tanks' tiles.

#include <string>

std::string TankPictureBmp();
