#include "PgReportArchive.h"

#include "Calibration.h"
#include "DayNumbers.h"
#include "NetVolume.h"
#include "PgConnection.h"
#include "ReadingCheck.h"

#include <charconv>
#include <cmath>
#include <map>

namespace {

constexpr const char* kBegin = "BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY";
constexpr const char* kHasTables = "SELECT to_regclass('central.tank_changes') IS NOT NULL";
constexpr const char* kStations =
    "SELECT DISTINCT station FROM central.tank_changes ORDER BY station";
// A tank's latest state is its change with the highest sequence number.
constexpr const char* kTanks =
    "SELECT DISTINCT ON (tank) tank, name, capacity, ftype, active, low_fuel, over_fuel, memo "
    "FROM central.tank_changes WHERE station = $1 ORDER BY tank, seq DESC";
constexpr const char* kPoints =
    "SELECT p.tank, p.point, p.code, p.litres FROM central.calibration_points p JOIN (SELECT "
    "tank, max(seq) AS seq FROM central.tank_changes WHERE station = $1 GROUP BY tank) l ON "
    "p.tank = l.tank AND p.seq = l.seq WHERE p.station = $1 ORDER BY p.tank, p.point";
// A day number parameter as a point in time on the server.
#define UNIX_TIME(p)                                                                               \
    "to_timestamp((" p "::float8 - " TAVRONA_DAY_TEXT(                                             \
        TAVRONA_UNIX_EPOCH_DAY) ") * " TAVRONA_DAY_TEXT(TAVRONA_SECONDS_PER_DAY) ")"

// The index on (station, adr, taken) finds the rows; tstamp, the station's own number,
// decides exactly which belong, as it does on the station. A second either way covers the
// rounding of taken to the microsecond. The opening reading is ordered by taken alone, so the
// index is read backwards and stops at the first row instead of sorting the tank's history.
constexpr const char* kReadings =
    "SELECT tstamp, flevel, fcode, temp FROM central.readings WHERE station = $1 AND adr = $2 "
    "AND taken >= " UNIX_TIME("$3") " - interval '1 second' AND taken < " UNIX_TIME(
        "$4") " + interval '1 second' AND tstamp >= $3 AND "
              "tstamp < $4 ORDER BY tstamp, src_row";
constexpr const char* kOpening =
    "SELECT tstamp, flevel, fcode, temp FROM central.readings WHERE station = $1 AND adr = $2 "
    "AND taken < " UNIX_TIME("$3") " + interval '1 second' AND tstamp < "
                                   "$3 ORDER BY taken DESC LIMIT 1";
constexpr const char* kEvents =
    "SELECT src_id, adr, kind, extract(epoch FROM started), extract(epoch FROM ended), vbefore, "
    "vafter, nbefore, nafter, tbefore, tafter, extract(epoch FROM acked), memo FROM "
    "central.events WHERE station = $1 AND adr = $2 AND started < " UNIX_TIME(
        "$3") " AND (ended IS NULL OR ended >= " UNIX_TIME("$4") ") ORDER BY started, src_id";

// The newest version of each part of a tank's book (see central/sender): the station's book
// as it stood when last sent. A server without the book's tables has none.
constexpr const char* kHasBook = "SELECT to_regclass('central.book_versions') IS NOT NULL";
#define NEWEST_PART(tbl)                                                                           \
    "JOIN (SELECT adr, period, max(seq) AS seq FROM central.book_versions WHERE station = $1 "     \
    "AND tbl = '" tbl "' AND adr = $2 GROUP BY adr, period) v USING (adr, period, seq) "
constexpr const char* kMeters =
    "SELECT tlocal, litres, totaliser FROM central.meter_totals " NEWEST_PART(
        "METER_TOTALS") "WHERE station = $1 AND adr = $2 AND tlocal >= $3 AND tlocal < $4 ORDER "
                        "BY tlocal, totaliser";
constexpr const char* kNotes =
    "SELECT tlocal, litres, temp, density, number, supplier FROM "
    "central.delivery_notes " NEWEST_PART(
        "DELIVERY_NOTES") "WHERE station = $1 AND adr = $2 AND tlocal >= $3 AND tlocal < $4 "
                          "ORDER BY tlocal, number";
constexpr const char* kSettings =
    "SELECT daily_share, daily_floor, monthly_share, monthly_litres, short_share FROM "
    "central.recon_settings WHERE station = $1 AND adr = $2 ORDER BY seq DESC LIMIT 1";

using Cell = std::optional<std::string>;

std::optional<int64_t> Int(const Cell& c) {
    int64_t v = 0;
    if (!c || std::from_chars(c->data(), c->data() + c->size(), v).ec != std::errc())
        return std::nullopt;
    return v;
}
// Locale-independent, as the server writes numbers.
std::optional<double> Real(const Cell& c) {
    double v = 0;
    if (!c || std::from_chars(c->data(), c->data() + c->size(), v).ec != std::errc())
        return std::nullopt;
    return v;
}
// Seconds since 1970 as a UTC day number.
std::optional<double> Day(const Cell& c) {
    const auto s = Real(c);
    return s ? std::optional<double>(*s / kSecondsPerDay + kUnixEpochDay) : std::nullopt;
}
PgParam Num(long long v) {
    return {PgNumber(v), false};
}
PgParam Num(double v) {
    return {PgNumber(v), false};
}

class PgStationSource : public ReportSource {
public:
    PgStationSource(PgConnection& conn, std::string station)
        : conn_(conn), station_(std::move(station)) {}

    std::vector<std::shared_ptr<TItemNode>> Tanks() override {
        std::vector<std::shared_ptr<TItemNode>> tanks;
        std::map<int64_t, TCalRows> points;
        for (const auto& r : Ask("report_points", kPoints, {})) {
            const auto tank = Int(r.at(0)), point = Int(r.at(1));
            if (!tank || !point || *point < 1 || *point > kCalPointCount)
                continue;
            // Points of 0 code and 0 litres are not sent; those before a sent one are such.
            TCalRows& rows = points[*tank];
            for (std::size_t i = 0; i + 1 < std::size_t(*point); ++i)
                if (rows[i].first.empty())
                    rows[i] = {"0", "0"};
            rows[std::size_t(*point - 1)] = {r.at(2).value_or(""), r.at(3).value_or("")};
        }
        for (const auto& r : Ask("report_tanks", kTanks, {})) {
            const auto id = Int(r.at(0));
            if (!id || *id < 0 || *id > 255)
                continue;
            auto t = std::make_shared<TItemNode>();
            t->id = static_cast<uint8_t>(*id);
            t->Name = r.at(1).value_or("");
            t->Capacity = static_cast<int32_t>(Int(r.at(2)).value_or(0));
            t->FType = r.at(3).value_or("");
            t->Act = r.at(4).value_or("f") == "t";
            t->LowFuel = static_cast<int32_t>(Int(r.at(5)).value_or(0));
            t->OverFuel = static_cast<int32_t>(Int(r.at(6)).value_or(0));
            t->Memo = r.at(7).value_or("");
            // Pictures and calibration tables are not sent: the table is built again from
            // the points, as the editor built it; without enough points it stays empty and
            // the capacity is the one sent.
            const auto it = points.find(*id);
            if (it != points.end())
                BuildCalibration(*t, it->second);
            tanks.push_back(std::move(t));
        }
        return tanks;
    }

    std::vector<StoredReading> Readings(int adr, double utcFrom, double utcTo,
                                        bool withOpening) override {
        std::vector<StoredReading> out;
        const auto take = [&](const PgRows& rows) {
            for (const auto& r : rows) {
                const auto t = Real(r.at(0));
                const auto litres = Int(r.at(1));
                // As from data.db: no time, or no litres a tank holds (-1 for a reading that
                // was no level), is no reading.
                if (!t || !StoredTimeUsable(true, *t) || !litres ||
                    !StoredLitres(true, double(*litres)))
                    continue;
                out.push_back({*t, static_cast<int32_t>(*litres),
                               static_cast<int32_t>(Int(r.at(2)).value_or(0)),
                               static_cast<int32_t>(Int(r.at(3)).value_or(0))});
            }
        };
        if (withOpening)
            take(Ask("report_opening", kOpening, {Num(static_cast<long long>(adr)), Num(utcFrom)}));
        take(Ask("report_readings", kReadings,
                 {Num(static_cast<long long>(adr)), Num(utcFrom), Num(utcTo)}));
        return out;
    }

    std::optional<double> Density(const TItemNode& tank) override {
        return NetVolume::TankDensity(std::nullopt, tank.FType);
    }

    std::vector<EventRow> Events(const TItemNode& tank, double utcFrom, double utcTo,
                                 double) override {
        std::vector<EventRow> events;
        for (const auto& r :
             Ask("report_events", kEvents,
                 {Num(static_cast<long long>(tank.id)), Num(utcTo), Num(utcFrom)})) {
            const auto start = Day(r.at(3));
            if (!start)
                continue;
            EventRow e;
            e.id = Int(r.at(0)).value_or(0);
            e.adr = static_cast<int>(Int(r.at(1)).value_or(tank.id));
            e.kind = r.at(2).value_or("");
            e.tstart = *start;
            e.tend = Day(r.at(4));
            e.vbefore = Int(r.at(5));
            e.vafter = Int(r.at(6));
            e.nbefore = Int(r.at(7));
            e.nafter = Int(r.at(8));
            e.tbefore = Int(r.at(9));
            e.tafter = Int(r.at(10));
            e.acked = Day(r.at(11));
            e.memo = r.at(12).value_or("");
            events.push_back(std::move(e));
        }
        return events;
    }

    std::optional<ReconBook> Book(int adr, double metersFrom, double from, double to) override {
        if (!hasBook_) {
            const PgOutcome r = conn_.Exec(kHasBook);
            if (!r.ok)
                throw ReportSourceError(r.error);
            hasBook_ = r.rows.at(0).at(0).value_or("f") == "t";
            if (!*hasBook_)
                return std::nullopt;
        }
        if (!*hasBook_)
            return std::nullopt;
        ReconBook book;
        const PgParam tank = Num(static_cast<long long>(adr));
        for (const auto& r : Ask("report_meters", kMeters, {tank, Num(metersFrom), Num(to)})) {
            const auto t = Real(r.at(0)), l = Real(r.at(1));
            if (t && l)
                book.meters.push_back({adr, *t, *l, r.at(2).value_or("f") == "t"});
        }
        for (const auto& r : Ask("report_notes", kNotes, {tank, Num(from), Num(to)})) {
            const auto t = Real(r.at(0)), l = Real(r.at(1));
            if (!t || !l)
                continue;
            DeliveryNote n;
            n.adr = adr;
            n.time = *t;
            n.litres = *l;
            n.tempC = Real(r.at(2));
            n.density = Real(r.at(3));
            n.number = r.at(4).value_or("");
            n.supplier = r.at(5).value_or("");
            book.notes.push_back(std::move(n));
        }
        const PgRows s = Ask("report_recon_settings", kSettings, {tank});
        if (!s.empty())
            book.settings = ReconSettingsRow{adr,
                                             Real(s[0].at(0)),
                                             Real(s[0].at(1)),
                                             Real(s[0].at(2)),
                                             Real(s[0].at(3)),
                                             Real(s[0].at(4))};
        return book;
    }

private:
    PgConnection& conn_;
    std::string station_;
    std::optional<bool> hasBook_;

    PgRows Ask(const char* name, const char* sql, std::vector<PgParam> params) {
        params.insert(params.begin(), PgParam{station_, false});
        PgOutcome r = conn_.Run(name, sql, params);
        if (!r.ok)
            throw ReportSourceError(r.error);
        return std::move(r.rows);
    }
};

} // namespace

PgReportArchive::PgReportArchive(std::unique_ptr<PgConnection> conn) : conn_(std::move(conn)) {}
PgReportArchive::~PgReportArchive() = default;

std::unique_ptr<PgReportArchive> PgReportArchive::Open(const std::string& conninfo,
                                                       std::string& error) {
    auto conn = PgConnection::Open(conninfo, error);
    if (!conn)
        return nullptr;
    const PgOutcome r = conn->Exec(kBegin);
    if (!r.ok) {
        error = r.error;
        return nullptr;
    }
    return std::unique_ptr<PgReportArchive>(new PgReportArchive(std::move(conn)));
}

std::vector<std::string> PgReportArchive::Stations() {
    std::vector<std::string> names;
    PgOutcome r = conn_->Exec(kHasTables);
    if (r.ok && r.rows.at(0).at(0).value_or("f") != "t")
        return names;
    if (r.ok)
        r = conn_->Run("report_stations", kStations, {});
    if (!r.ok)
        throw ReportSourceError(r.error);
    for (const auto& row : r.rows)
        names.push_back(row.at(0).value_or(""));
    return names;
}

ReportSource& PgReportArchive::Station(const std::string& name) {
    auto& s = sources_[name];
    if (!s)
        s = std::make_unique<PgStationSource>(*conn_, name);
    return *s;
}

std::function<void()> PgReportArchive::Canceller() {
    return [cancel = conn_->Canceller()] { cancel->Send(); };
}

std::unique_ptr<StationArchive> OpenCentralArchive(const std::string& conninfo,
                                                   std::string& error) {
    return PgReportArchive::Open(conninfo, error);
}
