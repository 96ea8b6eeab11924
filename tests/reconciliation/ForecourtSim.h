#pragma once
// A made-up month (or more) of one busy forecourt tank, from the physics of it: cars filling
// in business hours at a rate that varies by day, pump meters that count every litre with
// their own calibration error, a gauge that reads the true volume with noise every two
// minutes, tankers that drop their load in 40 minutes while the pumps go on selling, and,
// when asked, a thief who takes a share of each day's sales in business hours, or a driver
// who delivers less than he bills. The station's own detector finds the deliveries and its
// own balance gives the gauged side, as on a real station.

#include "Balance.h"
#include "FuelEventDetector.h"
#include "HistoryPass.h"
#include "Reconciliation.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <optional>
#include <random>
#include <vector>

struct ForecourtScenario {
    unsigned seed = 1;
    double firstDay = 46357; // 01/12/2026, local = UTC
    int days = 30;
    double dailySales = 2000; // litres, the mean; each day varies by ±20 %
    // Each meter's calibration lies within ±meterError for the month, and each day's total
    // strays by a further meterScatter (one standard deviation): wear, temperature.
    double meterError = 0.001, meterScatter = 0.0005;
    // When set, the meters' calibration for the month instead of a draw (0.001: they count
    // 0.1 % more than was sold, which hides a loss of the same size).
    std::optional<double> meterBias;
    double gaugeNoise = 4;        // litres, one standard deviation per reading
    double theftShare = 0;        // of each day's sales, taken 10:00-16:00, from theftDay on
    int theftDay = 10;            // day index
    double shortShare = 0;        // the share the next tanker after shortDay keeps back
    int shortDay = 12;            // day index
    std::vector<int> shiftStarts; // empty: per day
    double capacity = 30000, reorder = 9000, load = 15000;
    double density = 835, tempC = 12;
};

struct ForecourtMonth {
    std::vector<StoredReading> readings;
    std::vector<EventRow> events;
    std::vector<BalanceRow> balance;
    std::vector<MeterEntry> meters;
    std::vector<DeliveryNote> notes;
    std::vector<double> bounds;
    double theftStart = 0; // local day number the theft began (0: none)
    std::string shortNote; // the note number of the short load
};

inline ForecourtMonth SimulateForecourt(const ForecourtScenario& sc, int adr = 1) {
    ForecourtMonth m;
    std::mt19937_64 rng(sc.seed);
    std::normal_distribution<double> gauss(0, 1);
    std::uniform_real_distribution<double> uni(0, 1);
    const double drawn = (2 * uni(rng) - 1) * sc.meterError;
    const double bias = sc.meterBias.value_or(drawn);
    const double step = 2.0 / 1440;
    const double lastDay = sc.firstDay + sc.days - 1;
    m.bounds = BalanceBoundaries(sc.firstDay, lastDay, sc.shiftStarts);
    double volume = sc.capacity * 0.6;
    double t = m.bounds.front() - 1; // a day's readings before, for the opening and warm-up
    const double end = m.bounds.back() + 2.0 / 24;
    std::map<long, double> soldPerRow;
    double dropLeft = 0, dropRate = 0;
    bool tankerOrdered = false;
    int notes = 0;
    bool shortDone = false;
    double todaySales = sc.dailySales;
    long today = -1;
    if (sc.theftShare > 0)
        m.theftStart = sc.firstDay + sc.theftDay;
    for (; t < end; t += step) {
        const long day = long(std::floor(t + 1e-9));
        if (day != today) {
            today = day;
            todaySales = sc.dailySales * std::clamp(1 + 0.2 * gauss(rng), 0.4, 1.6);
        }
        const double hour = (t - std::floor(t)) * 24;
        // Sales: cars of about 35 l, as a Poisson stream spread over 06:00-22:00.
        if (hour >= 6 && hour < 22) {
            const double meanCars = todaySales / 35 * step / (16.0 / 24);
            std::poisson_distribution<int> cars(meanCars);
            const int n = cars(rng);
            double litres = 0;
            for (int i = 0; i < n; ++i)
                litres += std::max(5.0, 35 + 15 * gauss(rng));
            litres = std::min(litres, volume);
            volume -= litres;
            const long row =
                long(std::upper_bound(m.bounds.begin(), m.bounds.end(), t) - m.bounds.begin()) - 1;
            soldPerRow[row] += litres * (1 + bias);
            if (m.theftStart > 0 && t >= m.theftStart && hour >= 10 && hour < 16)
                volume -= std::min(volume, todaySales * sc.theftShare * step / (6.0 / 24));
        }
        // A tanker called when the tank runs low drops its load at the next 10:00.
        if (!tankerOrdered && dropLeft <= 0 && volume < sc.reorder)
            tankerOrdered = true;
        if (tankerOrdered && dropLeft <= 0 && hour >= 10 && hour < 10 + 2.0 / 60) {
            DeliveryNote note;
            note.adr = adr;
            note.time = t;
            note.litres = sc.load;
            note.tempC = sc.tempC;
            note.density = sc.density;
            note.number = "DN" + std::to_string(++notes);
            note.supplier = "Simulated haulier";
            double delivered = sc.load;
            if (sc.shortShare > 0 && !shortDone && t >= sc.firstDay + sc.shortDay) {
                delivered *= 1 - sc.shortShare;
                shortDone = true;
                m.shortNote = note.number;
            }
            if (t >= m.bounds.front() && t < m.bounds.back())
                m.notes.push_back(note);
            dropLeft = delivered;
            dropRate = delivered / 20; // per 2 minutes: a 40-minute drop
            tankerOrdered = false;
        }
        if (dropLeft > 0) {
            const double in = std::min(dropLeft, dropRate);
            volume = std::min(sc.capacity, volume + in);
            dropLeft -= in;
        }
        StoredReading r;
        r.utc = t;
        r.gross = int32_t(std::lround(volume + sc.gaugeNoise * gauss(rng)));
        r.temp = int32_t(sc.tempC);
        m.readings.push_back(r);
    }

    DetectorConfig config;
    config.capacity = int32_t(sc.capacity);
    config.density = sc.density;
    config.deliveryLitres = std::max(50.0, sc.capacity * 0.01);
    config.lossLitres = config.deliveryLitres;
    FuelEventDetector detector(config);
    std::map<double, FuelEvent> found;
    for (const StoredReading& r : m.readings)
        for (const FuelEvent& e : detector.Feed({r.utc, r.utc, r.gross, r.temp}))
            if (e.kind == FuelEventKind::Delivery)
                found[e.tstart] = e;
    for (const auto& [start, e] : found)
        m.events.push_back(ToEventRow(adr, e));

    // The point-of-sale export lists every period, a quiet night with 0 l.
    for (std::size_t row = 0; row + 1 < m.bounds.size(); ++row) {
        const double litres = soldPerRow[long(row)];
        m.meters.push_back({adr, m.bounds[row],
                            std::round(litres * (1 + sc.meterScatter * gauss(rng)) * 10) / 10});
    }

    BalanceInput in;
    in.readings = &m.readings;
    in.events = &m.events;
    in.density = sc.density;
    in.nowLocal = end + 10;
    m.balance = DailyBalance(in, m.bounds);
    return m;
}

inline ReconInput ForecourtInput(const ForecourtMonth& m, int adr = 1) {
    ReconInput in;
    in.adr = adr;
    in.balance = &m.balance;
    in.readings = &m.readings;
    in.events = &m.events;
    in.meters = m.meters;
    in.notes = m.notes;
    in.density = 835;
    return in;
}
