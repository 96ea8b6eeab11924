#include "BalanceView.h"

#include "Csv.h"
#include "DayNumbers.h"
#include "TextFormats.h"

#include <cmath>

namespace {

std::string Litres(std::optional<double> v) {
    if (!v || !std::isfinite(*v))
        return {};
    return TextFormats::Int(std::llround(*v));
}

std::string Litres(std::optional<int64_t> v) {
    return v ? TextFormats::Int(*v) : std::string();
}

// Rounded down, so that "100" means every expected reading is there.
std::string Percent(double share) {
    return TextFormats::Int(static_cast<int64_t>(std::floor(share * 100 + 1e-9)));
}

std::string HourMinute(double t) {
    return TextFormats::LongTime(t).substr(0, 5);
}

bool WholeDay(const BalanceRow& row) {
    const double start = std::round(row.start * kMinutesPerDay) / kMinutesPerDay;
    return start == std::floor(start) && std::abs(row.stop - row.start - 1) < 1e-6;
}

std::vector<std::string> BalanceCells(std::string first, const BalanceRow& r, bool net) {
    std::vector<std::string> cells{std::move(first), Litres(r.openGross), Litres(r.closeGross)};
    if (net) {
        cells.push_back(Litres(r.openNet));
        cells.push_back(Litres(r.closeNet));
    }
    cells.push_back(Litres(std::optional<double>(r.delivered)));
    cells.push_back(Litres(std::optional<double>(r.lost)));
    cells.push_back(Litres(r.consumed));
    if (net)
        cells.push_back(Litres(r.consumedNet));
    cells.push_back(Percent(r.completeness));
    return cells;
}

std::vector<std::string> BalanceHeaders(std::string first, bool net) {
    std::vector<std::string> h{std::move(first), "Opening, l", "Closing, l"};
    if (net) {
        h.push_back("Opening net, l");
        h.push_back("Closing net, l");
    }
    h.insert(h.end(), {"Delivered, l", "Lost, l", "Consumed, l"});
    if (net)
        h.push_back("Consumed net, l");
    h.push_back("Complete, %");
    return h;
}

// As the estimate itself is made: net litres when the last row has them.
bool EstimateInNet(const TankReport& report) {
    return report.density.has_value() && !report.balance.empty() &&
           report.balance.back().closeNet.has_value();
}

std::string EmptyAbout(const DaysToEmpty& e) {
    const auto days = static_cast<int64_t>(std::floor(e.days));
    return "Empty about " + TextFormats::ShortDate(e.date) + " (" + TextFormats::Int(days) +
           (days == 1 ? " day)" : " days)");
}

} // namespace

std::string RowPeriodText(const BalanceRow& row) {
    if (WholeDay(row))
        return TextFormats::ShortDate(row.start);
    // A shift never lasts more than a day, so its end needs no date of its own.
    return TextFormats::ShortDate(row.start) + " " + HourMinute(row.start) + " - " +
           HourMinute(row.stop);
}

TextTable BalanceTable(const TankReport& report) {
    const bool net = report.density.has_value();
    TextTable t;
    t.headers = BalanceHeaders("Period", net);
    for (const BalanceRow& r : report.balance)
        t.rows.push_back(BalanceCells(RowPeriodText(r), r, net));
    if (!report.balance.empty()) {
        t.rows.push_back(BalanceCells("Total", SumBalance(report.balance), net));
        t.totalRows = 1;
    }
    return t;
}

ConsumptionSeries Consumption(const TankReport& report) {
    ConsumptionSeries s;
    s.net = report.density.has_value();
    const auto means = MeanConsumption(report.balance, 14, s.net);
    double shortest = 1;
    for (std::size_t i = 0; i < report.balance.size(); ++i) {
        const BalanceRow& r = report.balance[i];
        const double mid = (r.start + r.stop) / 2;
        shortest = std::min(shortest, r.stop - r.start);
        s.rowKeys.push_back(mid);
        s.rowLabels.push_back(TextFormats::ShortDate(r.start).substr(0, 5) +
                              (WholeDay(r) ? std::string() : " " + HourMinute(r.start)));
        if (const auto& c = s.net ? r.consumedNet : r.consumed) {
            s.barKeys.push_back(mid);
            s.barValues.push_back(*c);
        }
        if (means[i]) {
            // A mean per day, drawn against bars per shift: scaled to the row's length.
            s.meanKeys.push_back(mid);
            s.meanValues.push_back(*means[i] * (r.stop - r.start));
        }
    }
    s.barWidth = shortest * 0.7;
    return s;
}

DaysToEmptyText DaysToEmptyLine(const TankReport& report) {
    if (report.toEmpty)
        return {true, EmptyAbout(*report.toEmpty)};
    if (report.balance.empty() || !report.balance.back().closeGross)
        return {false, "Days to empty: no level at the end of the period"};
    const auto mean = MeanConsumption(report.balance, 14, EstimateInNet(report)).back();
    if (!mean)
        return {false, "Days to empty: the period is too short to estimate (fewer than 3 "
                       "complete days)"};
    if (*mean <= 0)
        return {false, "Days to empty: no consumption"};
    return {false, "Days to empty: more than ten years"};
}

TextTable SummaryTable(const std::vector<TankBalance>& tanks) {
    bool net = false;
    for (const TankBalance& t : tanks)
        net = net || t.total.closeNet.has_value() || t.total.openNet.has_value();
    TextTable t;
    t.headers = BalanceHeaders("Tank", net);
    t.headers.insert(t.headers.begin() + 1, {"Name", "Fuel type"});
    t.headers.push_back("Empty about");
    for (const TankBalance& b : tanks) {
        auto cells = BalanceCells(TextFormats::Int(b.adr), b.total, net);
        cells.insert(cells.begin() + 1, {Csv::StoredToUtf8(b.name), Csv::StoredToUtf8(b.fuelType)});
        cells.push_back(b.toEmpty ? TextFormats::ShortDate(b.toEmpty->date) : std::string());
        t.rows.push_back(std::move(cells));
    }
    for (const FuelTotal& f : TotalsByFuel(tanks)) {
        auto cells = BalanceCells("Total", f.total, net);
        cells.insert(cells.begin() + 1,
                     {TextFormats::Int(f.tanks) + (f.tanks == 1 ? " tank" : " tanks"),
                      Csv::StoredToUtf8(f.fuelType)});
        cells.push_back({});
        t.rows.push_back(std::move(cells));
        ++t.totalRows;
    }
    return t;
}
