#include "NetVolume.h"

#include <algorithm>
#include <cctype>
#include <cmath>

namespace NetVolume {

namespace {

struct Range {
    double from; // density at 15 °C, kg/m³, inclusive
    double k0, k1, k2;
};
// By density from the top: fuel oils and diesel, jet fuels and kerosene, the transition
// zone, gasolines.
constexpr Range kRanges[] = {
    {838.3, 186.9696, 0.4862, 0},
    {787.5, 594.5418, 0, 0},
    {770.5, 2680.3206, 0, -0.00336312},
    {kMinDensity, 346.4228, 0.4388, 0},
};

std::string Lower(const std::string& s) {
    std::string out = s;
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return out;
}

bool Letter(char c) {
    return std::isalpha(static_cast<unsigned char>(c)) != 0;
}

// The text holds `word` not run together with other letters.
bool HasWord(const std::string& text, const std::string& word) {
    for (std::size_t at = text.find(word); at != std::string::npos; at = text.find(word, at + 1)) {
        const bool startFree = at == 0 || !Letter(text[at - 1]);
        const std::size_t end = at + word.size();
        const bool endFree = end >= text.size() || !Letter(text[end]);
        if (startFree && endFree)
            return true;
    }
    return false;
}

// A 98, a95: petrol by its octane number.
bool HasOctaneGrade(const std::string& text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != 'a' || (i > 0 && Letter(text[i - 1])))
            continue;
        std::size_t j = i + 1;
        if (j < text.size() && (text[j] == '-' || text[j] == ' '))
            ++j;
        if (j + 1 < text.size() && text[j] == '9' &&
            std::isdigit(static_cast<unsigned char>(text[j + 1])))
            return true;
    }
    return false;
}

} // namespace

std::optional<double> Alpha(double density15) {
    if (!(density15 >= kMinDensity && density15 <= kMaxDensity))
        return std::nullopt;
    for (const Range& r : kRanges)
        if (density15 >= r.from)
            return r.k0 / (density15 * density15) + r.k1 / density15 + r.k2;
    return std::nullopt;
}

std::optional<double> Vcf(double density15, double tempC) {
    const std::optional<double> alpha = Alpha(density15);
    if (!alpha)
        return std::nullopt;
    const double dt = tempC - 15.0;
    return std::exp(-*alpha * dt * (1.0 + 0.8 * *alpha * dt));
}

std::optional<int32_t> NetLitres(int32_t grossLitres, double tempC,
                                 std::optional<double> density15) {
    if (!density15)
        return std::nullopt;
    const std::optional<double> vcf = Vcf(*density15, tempC);
    if (!vcf)
        return std::nullopt;
    return static_cast<int32_t>(std::lround(grossLitres * *vcf));
}

std::optional<double> DensityForFuelType(const std::string& fuelType) {
    const std::string t = Lower(fuelType);
    if (t.find("heating oil") != std::string::npos)
        return 850.0;
    if (t.find("diesel") != std::string::npos || t.find("gasoil") != std::string::npos ||
        HasWord(t, "dt"))
        return 840.0;
    if (t.find("petrol") != std::string::npos || t.find("gasoline") != std::string::npos ||
        HasOctaneGrade(t))
        return 745.0;
    if (t.find("kerosene") != std::string::npos || HasWord(t, "jet"))
        return 800.0;
    return std::nullopt;
}

std::optional<double> TankDensity(std::optional<double> setDensity, const std::string& fuelType) {
    if (setDensity && Alpha(*setDensity))
        return setDensity;
    return DensityForFuelType(fuelType);
}

} // namespace NetVolume
