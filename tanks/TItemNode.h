#pragma once
// The tank record shared by every part of the station, and its stored byte images.
// Plain C++: no Qt, so that every layer (and every test) can use it.

#include <array>
#include <cstdint>
#include <string>

constexpr int kCalPointCount = 30;
constexpr int kClbEntryCount = 4096;
constexpr std::size_t kFtblImageSize = 240;  // 30 points of 8 bytes
constexpr std::size_t kClbImageSize = 16384; // 4096 floats of 4 bytes

struct TCalPoint {
    uint16_t Code = 0;
    uint32_t Litres = 0;
    bool operator==(const TCalPoint&) const = default;
};

using TFTable = std::array<TCalPoint, kCalPointCount>;
using TClbArray = std::array<float, kClbEntryCount>;

// Texts are the stored bytes: UTF-8, or in a legacy code page for older files (StoredText
// reads and writes them); Img holds the bytes of a BMP file.
struct TItemNode {
    uint8_t id = 0;
    std::string Name;
    int32_t Capacity = 0;
    std::string FType;
    bool Act = false;
    std::string Img;
    double LDTime = 0; // local day number of the last reading
    int8_t Temp = 0;
    uint16_t FLFR = 0;
    uint16_t FLC = 0;
    int32_t FL = 0;
    int32_t LowFuel = 0;
    int32_t OverFuel = 0;
    std::string Memo;
    TFTable FTable{};
    TClbArray ClbArray{};
};
using PItemNode = TItemNode*;

// Rounds to the nearest integer, an exact half to the even neighbour.
int32_t RoundHalfEven(double v);

// Litres for a fuel code; codes past the table read as its top entry (4095).
int32_t LitresForCode(const TItemNode& node, unsigned code);

// Applies one decoded sensor reading to the record.
void ApplyReading(TItemNode& node, int8_t temp, uint16_t flc, uint16_t flfr, double localNow);

// Byte images as stored in TANKS.ftbl and TANKS.clb: little-endian, whatever the host.
std::string EncodeFTable(const TFTable& table);
std::string EncodeClbArray(const TClbArray& table);
// Copies the given bytes over the start of the field's image; a shorter blob changes only
// the bytes it has, a longer one is cut. Nothing past either end is ever read.
void OverlayFTable(TFTable& table, const std::string& bytes);
void OverlayClbArray(TClbArray& table, const std::string& bytes);
