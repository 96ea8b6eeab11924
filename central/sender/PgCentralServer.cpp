#include "PgCentralServer.h"

#include "DayNumbers.h"
#include "PgConnection.h"

namespace {

// Serialises the creation of the schema when several stations start at once.
constexpr const char* kLockSchema = "SELECT pg_advisory_xact_lock(7301917)";

constexpr const char* kVersionTableExists =
    "SELECT to_regclass('central.schema_version') IS NOT NULL";
constexpr const char* kReadVersion = "SELECT max(version) FROM central.schema_version";

// Version 1: readings, errors, events, tank changes and their calibration points.
constexpr const char* kVersion1[] = {
    "CREATE SCHEMA IF NOT EXISTS central",
    "CREATE TABLE IF NOT EXISTS central.schema_version (version integer NOT NULL)",
    "CREATE TABLE IF NOT EXISTS central.readings (station text NOT NULL, src_row bigint NOT "
    "NULL, tstamp double precision, taken timestamptz, adr bigint, flevel bigint, fcode "
    "bigint, temp bigint, received timestamptz NOT NULL DEFAULT now(), PRIMARY KEY "
    "(station, src_row))",
    "CREATE INDEX IF NOT EXISTS readings_station_adr_taken ON central.readings (station, adr, "
    "taken)",
    "CREATE TABLE IF NOT EXISTS central.errors (station text NOT NULL, src_row bigint NOT NULL, "
    "tstamp double precision, taken timestamptz, adr bigint, code bigint, received "
    "timestamptz NOT NULL DEFAULT now(), PRIMARY KEY (station, src_row))",
    "CREATE TABLE IF NOT EXISTS central.events (station text NOT NULL, src_id bigint NOT NULL, "
    "adr bigint, kind text NOT NULL, started timestamptz, ended timestamptz, vbefore bigint, "
    "vafter bigint, nbefore bigint, nafter bigint, tbefore bigint, tafter bigint, acked "
    "timestamptz, memo text, received timestamptz NOT NULL DEFAULT now(), PRIMARY KEY "
    "(station, src_id))",
    "CREATE TABLE IF NOT EXISTS central.tank_changes (station text NOT NULL, tank integer NOT "
    "NULL, seq bigint NOT NULL, name text, name_raw bytea, capacity bigint, ftype text, active "
    "boolean, low_fuel bigint, over_fuel bigint, memo text, received timestamptz NOT NULL "
    "DEFAULT now(), PRIMARY KEY (station, tank, seq))",
    "CREATE TABLE IF NOT EXISTS central.calibration_points (station text NOT NULL, tank integer "
    "NOT NULL, seq bigint NOT NULL, point integer NOT NULL, code bigint NOT NULL, litres "
    "bigint NOT NULL, PRIMARY KEY (station, tank, seq, point), FOREIGN KEY (station, tank, seq) "
    "REFERENCES central.tank_changes (station, tank, seq))",
};

// Version 2: the reconciliation's book. Every version of a part is kept (book_versions says
// how many rows it has, none when its rows were removed); the newest of each part is the
// station's book. Times are the station's local day numbers, also as local wall time.
constexpr const char* kVersion2[] = {
    "CREATE TABLE IF NOT EXISTS central.book_versions (station text NOT NULL, tbl text NOT "
    "NULL, adr integer NOT NULL, period integer NOT NULL, seq bigint NOT NULL, row_count "
    "integer NOT NULL, received timestamptz NOT NULL DEFAULT now(), PRIMARY KEY (station, tbl, "
    "adr, period, seq))",
    "CREATE TABLE IF NOT EXISTS central.meter_totals (station text NOT NULL, adr integer NOT "
    "NULL, period integer NOT NULL, seq bigint NOT NULL, tlocal double precision NOT NULL, "
    "local_time timestamp, litres double precision NOT NULL, totaliser boolean NOT NULL, "
    "PRIMARY KEY (station, adr, period, seq, tlocal, totaliser))",
    "CREATE TABLE IF NOT EXISTS central.delivery_notes (station text NOT NULL, adr integer NOT "
    "NULL, period integer NOT NULL, seq bigint NOT NULL, tlocal double precision NOT NULL, "
    "local_time timestamp, litres double precision NOT NULL, temp double precision, density "
    "double precision, number text NOT NULL, supplier text NOT NULL, PRIMARY KEY (station, adr, "
    "period, seq, tlocal, number))",
    "CREATE TABLE IF NOT EXISTS central.recon_settings (station text NOT NULL, adr integer NOT "
    "NULL, seq bigint NOT NULL, daily_share double precision, daily_floor double precision, "
    "monthly_share double precision, monthly_litres double precision, short_share double "
    "precision, PRIMARY KEY (station, adr, seq))",
};

struct Step {
    int toVersion;
    const char* const* first;
    const char* const* last;
};
constexpr Step kSteps[] = {{1, std::begin(kVersion1), std::end(kVersion1)},
                           {2, std::begin(kVersion2), std::end(kVersion2)}};

// DATA's times are UTC day numbers (days since 30 Dec 1899); the server also keeps them as
// points in time. A number outside the years 1900..9999 gets no point in time rather than
// failing its whole batch for ever.
#define CENTRAL_TAKEN(t)                                                                           \
    "CASE WHEN " t " BETWEEN 1 AND 2958465 THEN to_timestamp((" t " - " TAVRONA_DAY_TEXT(          \
        TAVRONA_UNIX_EPOCH_DAY) ") * " TAVRONA_DAY_TEXT(TAVRONA_SECONDS_PER_DAY) ") END"

// One statement per batch: the values travel as arrays of numbers, unnested on the server.
constexpr const char* kInsertReadings =
    "INSERT INTO central.readings (station, src_row, tstamp, taken, adr, flevel, fcode, temp) "
    "SELECT $1, r, t, " CENTRAL_TAKEN("t") ", a, l, c, m FROM unnest($2::bigint[], "
                                           "$3::float8[], $4::bigint[], $5::bigint[], "
                                           "$6::bigint[], $7::bigint[]) AS u(r, t, a, l, c, "
                                           "m) ON CONFLICT (station, src_row) DO NOTHING";
constexpr const char* kInsertErrors =
    "INSERT INTO central.errors (station, src_row, tstamp, taken, adr, code) SELECT $1, r, t, "
    "" CENTRAL_TAKEN(
        "t") ", a, c FROM unnest($2::bigint[], $3::float8[], $4::bigint[], "
             "$5::bigint[]) AS u(r, t, a, c) ON CONFLICT (station, src_row) DO NOTHING";
// An event is sent again while it goes on; its latest state replaces the stored one.
constexpr const char* kUpsertEvent =
    "INSERT INTO central.events (station, src_id, adr, kind, started, ended, "
    "vbefore, vafter, "
    "nbefore, nafter, tbefore, tafter, acked, memo) SELECT $1, $2, $3, "
    "$4, " CENTRAL_TAKEN("s") ", " CENTRAL_TAKEN("e") ", $7, $8, $9, $10, $11, $12, " CENTRAL_TAKEN(
        "k") ", $14 FROM "
             "(VALUES "
             "($5::float8, "
             "$6::float8, "
             "$13::float8)) AS "
             "v(s, e, k) ON "
             "CONFLICT (station, "
             "src_id) "
             "DO UPDATE SET adr "
             "= EXCLUDED.adr, "
             "kind = "
             "EXCLUDED.kind, "
             "started = "
             "EXCLUDED.started, "
             "ended = "
             "EXCLUDED.ended, "
             "vbefore = "
             "EXCLUDED.vbefore, "
             "vafter = "
             "EXCLUDED.vafter, "
             "nbefore = "
             "EXCLUDED.nbefore, "
             "nafter = "
             "EXCLUDED.nafter, "
             "tbefore = "
             "EXCLUDED.tbefore, "
             "tafter = "
             "EXCLUDED.tafter, "
             "acked = "
             "EXCLUDED.acked, "
             "memo = "
             "EXCLUDED.memo";
constexpr const char* kInsertTankChange =
    "INSERT INTO central.tank_changes (station, tank, seq, name, name_raw, capacity, ftype, "
    "active, low_fuel, over_fuel, memo) VALUES ($1, $2, $3, $4, $5, $6, $7, $8, $9, $10, $11) "
    "ON CONFLICT (station, tank, seq) DO NOTHING";
constexpr const char* kInsertCalPoints =
    "INSERT INTO central.calibration_points (station, tank, seq, point, code, litres) SELECT "
    "$1, $2, $3, p, c, l FROM unnest($4::integer[], $5::bigint[], $6::bigint[]) AS u(p, c, l) "
    "ON CONFLICT (station, tank, seq, point) DO NOTHING";

// A local day number as wall time (no time zone).
#define CENTRAL_LOCAL(t)                                                                           \
    "CASE WHEN " t " BETWEEN 1 AND 2958465 THEN (timestamp '1899-12-30' + " t                      \
    " * interval '1 day') END"

constexpr const char* kInsertBookVersion =
    "INSERT INTO central.book_versions (station, tbl, adr, period, seq, row_count) VALUES ($1, "
    "$2, $3, $4, $5, $6) ON CONFLICT (station, tbl, adr, period, seq) DO NOTHING";
constexpr const char* kInsertMeterTotals =
    "INSERT INTO central.meter_totals (station, adr, period, seq, tlocal, local_time, litres, "
    "totaliser) SELECT $1, $2, $3, $4, t, " CENTRAL_LOCAL(
        "t") ", l, k <> 0 FROM unnest($5::float8[], $6::float8[], $7::bigint[]) AS u(t, l, k) "
             "ON CONFLICT (station, adr, period, seq, tlocal, totaliser) DO NOTHING";
constexpr const char* kInsertDeliveryNote =
    "INSERT INTO central.delivery_notes (station, adr, period, seq, tlocal, local_time, litres, "
    "temp, density, number, supplier) SELECT $1, $2, $3, $4, t, " CENTRAL_LOCAL(
        "t") ", $6, $7, $8, $9, $10 FROM (VALUES ($5::float8)) AS v(t) ON CONFLICT (station, "
             "adr, period, seq, tlocal, number) DO NOTHING";
constexpr const char* kInsertReconSettings =
    "INSERT INTO central.recon_settings (station, adr, seq, daily_share, daily_floor, "
    "monthly_share, monthly_litres, short_share) VALUES ($1, $2, $3, $4, $5, $6, $7, $8) ON "
    "CONFLICT (station, adr, seq) DO NOTHING";

PgParam Text(const std::string& s) {
    // The server's text cannot hold a NUL byte; the exact bytes of a name go in name_raw.
    std::string t;
    t.reserve(s.size());
    for (char ch : s)
        if (ch != '\0')
            t.push_back(ch);
    return {std::move(t), false};
}
PgParam Bytes(const std::string& s) {
    return {s, true};
}
PgParam Num(long long v) {
    return {PgNumber(v), false};
}
PgParam Num(const std::optional<int64_t>& v) {
    return v ? Num(static_cast<long long>(*v)) : PgParam{};
}
PgParam Num(const std::optional<double>& v) {
    return v ? PgParam{PgNumber(*v), false} : PgParam{};
}

// An array literal of numbers ("{1,NULL,3}"); only digits, signs, points and NULL.
class ArrayText {
public:
    void Add(const std::optional<std::string>& v) {
        s_ += s_.empty() ? "{" : ",";
        s_ += v ? *v : "NULL";
    }
    void Add(long long v) { Add(std::optional<std::string>(PgNumber(v))); }
    void Add(const std::optional<int64_t>& v) {
        Add(v ? std::optional<std::string>(PgNumber(static_cast<long long>(*v))) : std::nullopt);
    }
    void Add(const std::optional<double>& v) {
        Add(v ? std::optional<std::string>(PgNumber(*v)) : std::nullopt);
    }
    PgParam Param() const { return {s_.empty() ? "{}" : s_ + "}", false}; }

private:
    std::string s_;
};

} // namespace

PgCentralServer::PgCentralServer(std::string conninfo) : conninfo_(std::move(conninfo)) {}
PgCentralServer::~PgCentralServer() = default;

void PgCentralServer::Disconnect() {
    conn_.reset();
}

CentralOutcome PgCentralServer::Connected() {
    if (conn_ && conn_->Healthy())
        return CentralOutcome::Ok();
    conn_.reset();
    std::string error;
    conn_ = PgConnection::Open(conninfo_, error);
    if (!conn_)
        return CentralOutcome::Fail(error);
    return CentralOutcome::Ok();
}

template <class Body> CentralOutcome PgCentralServer::InTransaction(Body body) {
    CentralOutcome c = Connected();
    if (!c.ok)
        return c;
    PgOutcome r = conn_->Exec("BEGIN");
    if (r.ok)
        r = body();
    if (r.ok)
        r = conn_->Exec("COMMIT");
    if (!r.ok) {
        // A broken connection rolls back by itself; a live one is told to.
        conn_->Exec("ROLLBACK");
        conn_.reset();
        return CentralOutcome::Fail(r.error);
    }
    return CentralOutcome::Ok();
}

CentralOutcome PgCentralServer::UpgradeSchema() {
    return InTransaction([&]() -> PgOutcome {
        PgOutcome r = conn_->Exec(kLockSchema);
        if (!r.ok)
            return r;
        int version = 0;
        r = conn_->Exec(kVersionTableExists);
        if (!r.ok)
            return r;
        if (r.rows.at(0).at(0).value_or("f") == "t") {
            r = conn_->Exec(kReadVersion);
            if (!r.ok)
                return r;
            version = std::atoi(r.rows.at(0).at(0).value_or("0").c_str());
        }
        // A role that may only insert and read finds the tables made by the owner and
        // creates nothing.
        if (version >= kCentralSchemaVersion)
            return r;
        for (const Step& step : kSteps) {
            if (step.toVersion <= version)
                continue;
            for (auto s = step.first; s != step.last; ++s) {
                r = conn_->Exec(*s);
                if (!r.ok)
                    return r;
            }
        }
        r = conn_->Exec("DELETE FROM central.schema_version");
        if (r.ok)
            r = conn_->Exec("INSERT INTO central.schema_version (version) VALUES ($1)",
                            {Num(kCentralSchemaVersion)});
        return r;
    });
}

CentralOutcome PgCentralServer::Prepare() {
    CentralOutcome c = Connected();
    if (!c.ok)
        return c;
    if (schemaChecked_)
        return c;
    c = UpgradeSchema();
    schemaChecked_ = c.ok;
    return c;
}

CentralOutcome PgCentralServer::SendReadings(const std::string& station,
                                             const std::vector<CentralReading>& rows) {
    ArrayText r, t, a, l, c, m;
    for (const CentralReading& x : rows) {
        r.Add(static_cast<long long>(x.row));
        t.Add(x.tstamp);
        a.Add(x.adr);
        l.Add(x.flevel);
        c.Add(x.fcode);
        m.Add(x.temp);
    }
    return InTransaction([&] {
        return conn_->Run(
            "central_readings", kInsertReadings,
            {Text(station), r.Param(), t.Param(), a.Param(), l.Param(), c.Param(), m.Param()});
    });
}

CentralOutcome PgCentralServer::SendErrors(const std::string& station,
                                           const std::vector<CentralError>& rows) {
    ArrayText r, t, a, c;
    for (const CentralError& x : rows) {
        r.Add(static_cast<long long>(x.row));
        t.Add(x.tstamp);
        a.Add(x.adr);
        c.Add(x.code);
    }
    return InTransaction([&] {
        return conn_->Run("central_errors", kInsertErrors,
                          {Text(station), r.Param(), t.Param(), a.Param(), c.Param()});
    });
}

CentralOutcome PgCentralServer::SendEvents(const std::string& station,
                                           const std::vector<CentralEvent>& rows) {
    return InTransaction([&] {
        PgOutcome r;
        r.ok = true;
        for (const CentralEvent& e : rows) {
            r = conn_->Run("central_event", kUpsertEvent,
                           {Text(station), Num(static_cast<long long>(e.id)), Num(e.adr),
                            Text(e.kind), Num(e.tstart), Num(e.tend), Num(e.vbefore), Num(e.vafter),
                            Num(e.nbefore), Num(e.nafter), Num(e.tbefore), Num(e.tafter),
                            Num(e.acked), e.memo.empty() ? PgParam{} : Text(e.memo)});
            if (!r.ok)
                break;
        }
        return r;
    });
}

CentralOutcome PgCentralServer::SendTankChanges(const std::string& station,
                                                const std::vector<CentralTankChange>& rows) {
    return InTransaction([&] {
        PgOutcome r;
        r.ok = true;
        for (const CentralTankChange& t : rows) {
            const PgParam tank = Num(static_cast<long long>(t.tank));
            const PgParam seq = Num(static_cast<long long>(t.seq));
            r = conn_->Run("central_tank", kInsertTankChange,
                           {Text(station), tank, seq, Text(t.nameText), Bytes(t.name),
                            Num(t.capacity), Text(t.ftype), PgParam{t.active ? "t" : "f", false},
                            Num(t.lowFuel), Num(t.overFuel), Text(t.memo)});
            if (!r.ok)
                break;
            ArrayText p, c, l;
            for (const CentralCalPoint& pt : t.points) {
                p.Add(static_cast<long long>(pt.point));
                c.Add(static_cast<long long>(pt.code));
                l.Add(static_cast<long long>(pt.litres));
            }
            r = conn_->Run("central_points", kInsertCalPoints,
                           {Text(station), tank, seq, p.Param(), c.Param(), l.Param()});
            if (!r.ok)
                break;
        }
        return r;
    });
}

CentralOutcome PgCentralServer::SendBook(const std::string& station,
                                         const std::vector<CentralBookPart>& parts) {
    return InTransaction([&] {
        PgOutcome r;
        r.ok = true;
        for (const CentralBookPart& p : parts) {
            const PgParam adr = Num(static_cast<long long>(p.adr));
            const PgParam period = Num(static_cast<long long>(p.period));
            const PgParam seq = Num(static_cast<long long>(p.seq));
            r = conn_->Run("central_book_version", kInsertBookVersion,
                           {Text(station), Text(p.table), adr, period, seq,
                            Num(static_cast<long long>(p.Rows()))});
            if (r.ok && !p.meters.empty()) {
                ArrayText t, l, k;
                for (const MeterEntry& m : p.meters) {
                    t.Add(std::optional<double>(m.time));
                    l.Add(std::optional<double>(m.litres));
                    k.Add(static_cast<long long>(m.totaliser));
                }
                r = conn_->Run("central_meter_totals", kInsertMeterTotals,
                               {Text(station), adr, period, seq, t.Param(), l.Param(), k.Param()});
            }
            for (const DeliveryNote& n : p.notes) {
                if (!r.ok)
                    break;
                r = conn_->Run("central_delivery_note", kInsertDeliveryNote,
                               {Text(station), adr, period, seq, Num(std::optional<double>(n.time)),
                                Num(std::optional<double>(n.litres)), Num(n.tempC), Num(n.density),
                                Text(n.number), Text(n.supplier)});
            }
            if (r.ok && p.settings) {
                const ReconSettingsRow& s = *p.settings;
                r = conn_->Run("central_recon_settings", kInsertReconSettings,
                               {Text(station), adr, seq, Num(s.dailyShare), Num(s.dailyFloorLitres),
                                Num(s.monthlyShare), Num(s.monthlyLitres), Num(s.shortShare)});
            }
            if (!r.ok)
                break;
        }
        return r;
    });
}
