#include "ReportLayout.h"
#include "DayNumbers.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace ReportLayout {

std::vector<Page> Paginate(const std::vector<Block>& blocks, double pageHeight) {
    std::vector<Page> pages(1);
    double y = 0;
    const auto open = [&] {
        if (!pages.back().empty())
            pages.emplace_back();
        y = 0;
    };
    for (std::size_t i = 0; i < blocks.size(); ++i) {
        const Block& b = blocks[i];
        if (b.newPage)
            open();
        // A heading goes with what it heads: the run of kept blocks and the one after it.
        double need = b.height;
        for (std::size_t j = i; j + 1 < blocks.size() && blocks[j].keepWithNext; ++j)
            need += blocks[j + 1].height;
        if (y > 0 && y + std::min(need, pageHeight) > pageHeight) {
            open();
            if (b.header >= 0 && b.header < static_cast<int>(blocks.size())) {
                pages.back().push_back({b.header, 0});
                y = blocks[static_cast<std::size_t>(b.header)].height;
            }
        }
        pages.back().push_back({static_cast<int>(i), y});
        y += b.height;
    }
    return pages;
}

double NiceStep(double span, int maxTicks) {
    if (!(span > 0) || !std::isfinite(span) || maxTicks < 1)
        return 1;
    const double raw = span / maxTicks;
    double unit = std::pow(10.0, std::floor(std::log10(raw)));
    for (;;) {
        for (double m : {1.0, 2.0, 5.0})
            if (m * unit >= raw)
                return std::max(1.0, m * unit);
        unit *= 10;
    }
}

double TimeStep(double spanDays, int maxTicks) {
    constexpr std::array<double, 19> kMinutes = {1,    2,     5,     10,    15,   30,   60,
                                                 120,  180,   360,   720,   1440, 2880, 4320,
                                                 7200, 10080, 20160, 40320, 80640};
    for (double m : kMinutes)
        if (spanDays / (m / kMinutesPerDay) <= maxTicks)
            return m / kMinutesPerDay;
    return kMinutes.back() / kMinutesPerDay;
}

std::vector<double> Ticks(double from, double to, double step) {
    std::vector<double> out;
    if (!(step > 0) || !(to >= from) || (to - from) / step > 10000)
        return out;
    // Rounded to the second: day numbers of local midnights are whole, minutes are not.
    for (double k = std::ceil(from / step - 1e-9); k * step <= to + 1e-9; ++k)
        out.push_back(std::round(k * step * kSecondsPerDay) / kSecondsPerDay);
    return out;
}

std::vector<Vertex> Thin(const std::vector<Vertex>& line, double x0, double x1, int buckets) {
    std::vector<Vertex> out;
    if (!(x1 > x0) || buckets < 1)
        return out;
    // Indices into `line` of the slice's first, lowest, highest and last vertex.
    std::array<std::size_t, 4> pick{};
    int slice = -1;
    const auto flush = [&] {
        if (slice < 0)
            return;
        std::sort(pick.begin(), pick.end());
        for (std::size_t k = 0; k < pick.size(); ++k)
            if (k == 0 || pick[k] != pick[k - 1])
                out.push_back(line[pick[k]]);
        slice = -1;
    };
    for (std::size_t i = 0; i < line.size(); ++i) {
        const Vertex& v = line[i];
        if (std::isnan(v.y)) {
            flush();
            if (!out.empty() && !std::isnan(out.back().y))
                out.push_back(v);
            continue;
        }
        if (!(v.x >= x0 && v.x <= x1))
            continue;
        const int b = std::min(buckets - 1, static_cast<int>((v.x - x0) / (x1 - x0) * buckets));
        if (b != slice) {
            flush();
            slice = b;
            pick = {i, i, i, i};
            continue;
        }
        if (v.y < line[pick[1]].y)
            pick[1] = i;
        if (v.y > line[pick[2]].y)
            pick[2] = i;
        pick[3] = i;
    }
    flush();
    return out;
}

} // namespace ReportLayout
