#pragma once
// Net volume at 15 °C: capacitive sensors measure gross litres, and fuel shrinks some 0.1 %
// per °C, so a full tank "loses" hundreds of litres on a cold night without a drop leaving
// it. The volume correction factor follows the petroleum measurement tables' 15 °C form
// for generalized products. Pure: no Qt, no clock.

#include <cstdint>
#include <optional>
#include <string>

namespace NetVolume {

// Densities at 15 °C (kg/m³) the correction is defined for.
inline constexpr double kMinDensity = 653.0;
inline constexpr double kMaxDensity = 1163.5;

// Thermal expansion coefficient per °C for a density at 15 °C; none outside
// kMinDensity..kMaxDensity. The constants depend on the product range the density falls
// into (gasolines, transition zone, jet fuels and kerosene, fuel oils and diesel).
std::optional<double> Alpha(double density15);

// The factor that turns gross litres at `tempC` into litres at 15 °C:
// exp(-a·dt·(1 + 0.8·a·dt)), dt = tempC - 15. None when the density is out of range.
std::optional<double> Vcf(double density15, double tempC);

// Gross litres at `tempC` as litres at 15 °C, rounded to the litre; none without a factor.
std::optional<int32_t> NetLitres(int32_t grossLitres, double tempC,
                                 std::optional<double> density15);

// The density a fuel type text stands for, compared without regard to case: diesel,
// gasoil or the word DT 840; petrol, gasoline or A-9x (A-92, A-95, ...) 745; kerosene or
// jet 800; heating oil 850. None for any other text.
std::optional<double> DensityForFuelType(const std::string& fuelType);

// The tank's own density when set (and in range), else the fuel type's; none otherwise.
std::optional<double> TankDensity(std::optional<double> setDensity, const std::string& fuelType);

} // namespace NetVolume
