#include "LocalQueue.h"

#include "BoundSql.h"
#include "EventColumns.h"
#include "SQLiteDatabase.h"
#include "Schema.h"
#include "Statements.h"
#include "TItemNode.h"
#include "TextFormats.h"
#include "Transaction.h"

#include <cmath>
#include <cstring>
#include <map>
#include <tuple>

namespace {

constexpr const char* kSelectMark = "SELECT sent FROM CENTRAL_MARKS WHERE station = ? AND tbl = ?";
constexpr const char* kSaveMark =
    "INSERT OR REPLACE INTO CENTRAL_MARKS (station, tbl, sent) VALUES (?, ?, ?)";
constexpr const char* kReadingsAfter = "SELECT rowid, tstamp, adr, flevel, fcode, temp FROM DATA "
                                       "WHERE rowid > ? ORDER BY rowid LIMIT ?";
constexpr const char* kErrorsAfter =
    "SELECT rowid, tstamp, adr, code FROM ERROR WHERE rowid > ? ORDER BY rowid LIMIT ?";
constexpr const char* kEventsFrom =
    "SELECT " SQL_EVENT_COLUMNS " FROM EVENTS WHERE id >= ? ORDER BY id LIMIT ?";
constexpr const char* kCountData = "SELECT count(*) FROM DATA WHERE rowid > ?";
constexpr const char* kCountError = "SELECT count(*) FROM ERROR WHERE rowid > ?";
constexpr const char* kCountEvents = "SELECT count(*) FROM EVENTS WHERE id > ?";
constexpr const char* kSelectTanks =
    "SELECT id, name, capacity, ftype, act, lfuel, ofuel, memo, ftbl FROM TANKS ORDER BY id";
constexpr const char* kSelectSentTanks =
    "SELECT id, seq, state FROM CENTRAL_TANKS WHERE station = ?";
constexpr const char* kSaveTank =
    "INSERT OR REPLACE INTO CENTRAL_TANKS (station, id, seq, state) VALUES (?, ?, ?, ?)";

// What the book's parts were sent as, per station name.
constexpr const char* kCreateCentralBook =
    "CREATE TABLE IF NOT EXISTS CENTRAL_BOOK (station TEXT NOT NULL, tbl TEXT NOT NULL, adr "
    "INTEGER NOT NULL, period INTEGER NOT NULL, seq INTEGER NOT NULL, hash INTEGER NOT NULL, "
    "PRIMARY KEY (station, tbl, adr, period))";
constexpr const char* kSelectSentBook =
    "SELECT tbl, adr, period, seq, hash FROM CENTRAL_BOOK WHERE station = ?";
constexpr const char* kSaveBookPart =
    "INSERT OR REPLACE INTO CENTRAL_BOOK (station, tbl, adr, period, seq, hash) VALUES (?, ?, "
    "?, ?, ?, ?)";
// Every time a local day number can hold.
constexpr double kAllTime = 1e7;

// A stable 64-bit hash (FNV-1a) of a part's contents, kept between runs and builds.
class PartHash {
public:
    void Add(const void* data, std::size_t n) {
        const auto* p = static_cast<const unsigned char*>(data);
        for (std::size_t i = 0; i < n; ++i)
            h_ = (h_ ^ p[i]) * 1099511628211ULL;
    }
    void Add(double v) { Add(&v, sizeof v); }
    void Add(int64_t v) { Add(&v, sizeof v); }
    void Add(const std::optional<double>& v) {
        Add(int64_t(v.has_value()));
        if (v)
            Add(*v);
    }
    void Add(const std::string& s) {
        Add(int64_t(s.size()));
        Add(s.data(), s.size());
    }
    int64_t Value() const { return int64_t(h_); }

private:
    uint64_t h_ = 14695981039346656037ULL;
};

int64_t HashOf(const CentralBookPart& p) {
    PartHash h;
    for (const MeterEntry& m : p.meters) {
        h.Add(m.time);
        h.Add(m.litres);
        h.Add(int64_t(m.totaliser));
    }
    for (const DeliveryNote& n : p.notes) {
        h.Add(n.time);
        h.Add(n.litres);
        h.Add(n.tempC);
        h.Add(n.density);
        h.Add(n.number);
        h.Add(n.supplier);
    }
    if (p.settings) {
        h.Add(p.settings->dailyShare);
        h.Add(p.settings->dailyFloorLitres);
        h.Add(p.settings->monthlyShare);
        h.Add(p.settings->monthlyLitres);
        h.Add(p.settings->shortShare);
    }
    return h.Value();
}

int PeriodOf(double local) {
    const auto p = TextFormats::Split(std::floor(local));
    return p.year * 100 + p.month;
}

// Everything that is sent of a tank, as one text to compare with the last one sent.
std::string StateOf(const CentralTankChange& t) {
    std::string s;
    const auto add = [&](const std::string& part) {
        s += std::to_string(part.size()) + ":" + part + ";";
    };
    add(t.name);
    add(t.ftype);
    add(t.memo);
    add(t.capacity ? std::to_string(*t.capacity) : "-");
    add(t.lowFuel ? std::to_string(*t.lowFuel) : "-");
    add(t.overFuel ? std::to_string(*t.overFuel) : "-");
    add(t.active ? "1" : "0");
    for (const CentralCalPoint& p : t.points)
        add(std::to_string(p.point) + "/" + std::to_string(p.code) + "/" +
            std::to_string(p.litres));
    return s;
}

} // namespace

LocalQueue::LocalQueue(TSQLiteDatabase& db, std::string station, StoredText::CodePage legacy)
    : db_(db), station_(std::move(station)), legacy_(legacy) {
    // The station brings the file up to date when it opens it; a file opened only here (a
    // test, another tool) gets the same steps. A failure shows at the first statement.
    MigrateSchema(db_);
    hasEvents_ = db_.TableExists("EVENTS");
}

std::string LocalQueue::Utf8(const std::string& stored) const {
    return StoredText::FromStored(stored, legacy_).toStdString();
}

int64_t LocalQueue::Mark(const std::string& table) {
    int64_t v = 0;
    Query(db_, kSelectMark, {station_, table}, [&](const Row& r) { v = r.Int(0); });
    return v;
}

void LocalQueue::SetMark(const std::string& table, int64_t value) {
    Exec(db_, kSaveMark, {station_, table, value});
}

void LocalQueue::SetMarks(const std::vector<std::pair<std::string, int64_t>>& marks) {
    InWriteTransaction(db_, [&] {
        for (const auto& [table, value] : marks)
            SetMark(table, value);
    });
}

std::vector<CentralReading> LocalQueue::ReadingsAfter(int64_t row, int limit) {
    std::vector<CentralReading> rows;
    Query(db_, kReadingsAfter, {row, int64_t(limit)}, [&](const Row& r) {
        rows.push_back(
            {r.Int(0), r.OptReal(1), r.OptInt(2), r.OptInt(3), r.OptInt(4), r.OptInt(5)});
    });
    return rows;
}

std::vector<CentralError> LocalQueue::ErrorsAfter(int64_t row, int limit) {
    std::vector<CentralError> rows;
    Query(db_, kErrorsAfter, {row, int64_t(limit)}, [&](const Row& r) {
        rows.push_back({r.Int(0), r.OptReal(1), r.OptInt(2), r.OptInt(3)});
    });
    return rows;
}

std::vector<CentralEvent> LocalQueue::EventsFrom(int64_t from, int limit) {
    std::vector<CentralEvent> rows;
    if (!hasEvents_)
        hasEvents_ = db_.TableExists("EVENTS");
    if (!hasEvents_)
        return rows;
    Query(db_, kEventsFrom, {from, int64_t(limit)}, [&](const Row& r) {
        CentralEvent e;
        ReadEventColumns(r, e); // NULLs kept: the server stores them as they are
        e.memo = Utf8(e.memo);
        rows.push_back(std::move(e));
    });
    return rows;
}

bool LocalQueue::EventOpen(const CentralEvent& e) {
    // A reconciliation alarm is a point in time with no end: only its acknowledgement comes.
    if (e.kind == "reconciliation")
        return !e.acked;
    return !e.tend || (!e.acked && e.kind != "delivery");
}

std::vector<CentralTankChange> LocalQueue::ChangedTanks() {
    struct Sent {
        int64_t seq;
        std::string state;
    };
    std::map<int64_t, Sent> sent;
    Query(db_, kSelectSentTanks, {station_}, [&](const Row& r) {
        sent[r.Int(0)] = {r.Int(1), r.Text(2)};
    });
    std::vector<CentralTankChange> changed;
    if (!db_.TableExists("TANKS"))
        return changed;
    Query(db_, kSelectTanks, {}, [&](const Row& r) {
        CentralTankChange t;
        t.tank = r.Int(0);
        t.name = r.Text(1);
        t.nameText = Utf8(t.name);
        t.capacity = r.OptInt(2);
        t.ftype = Utf8(r.Text(3));
        t.active = r.Int(4) != 0;
        t.lowFuel = r.OptInt(5);
        t.overFuel = r.OptInt(6);
        t.memo = Utf8(r.Text(7));
        TFTable table{};
        OverlayFTable(table, r.Text(8));
        for (int i = 0; i < kCalPointCount; ++i)
            if (table[i].Code != 0 || table[i].Litres != 0)
                t.points.push_back({i + 1, table[i].Code, table[i].Litres});
        const auto it = sent.find(t.tank);
        if (it != sent.end() && it->second.state == StateOf(t))
            return;
        t.seq = it == sent.end() ? 1 : it->second.seq + 1;
        changed.push_back(std::move(t));
    });
    return changed;
}

void LocalQueue::TanksSent(const std::vector<CentralTankChange>& sent) {
    InWriteTransaction(db_, [&] {
        for (const CentralTankChange& t : sent)
            Exec(db_, kSaveTank, {station_, t.tank, t.seq, StateOf(t)});
    });
}

int64_t LocalQueue::Waiting() {
    int64_t n = 0;
    const auto count = [&](const char* sql, const char* mark) {
        Query(db_, sql, {Mark(mark)}, [&](const Row& r) { n += r.Int(0); });
    };
    count(kCountData, kMarkData);
    count(kCountError, kMarkError);
    if (hasEvents_ || db_.TableExists("EVENTS"))
        count(kCountEvents, kMarkEvents);
    return n;
}

std::vector<CentralBookPart> LocalQueue::ChangedBook() {
    std::vector<CentralBookPart> changed;
    if (!db_.TableExists("METER_TOTALS") || !db_.TableExists("DELIVERY_NOTES") ||
        !db_.TableExists("RECON_SETTINGS"))
        return changed;
    if (!db_.TableExists("CENTRAL_BOOK"))
        db_.ExecSQL(kCreateCentralBook);
    using Key = std::tuple<std::string, int, int>;
    std::map<Key, CentralBookPart> parts;
    const auto part = [&](const char* table, int adr, int period) -> CentralBookPart& {
        CentralBookPart& p = parts[Key(table, adr, period)];
        p.table = table;
        p.adr = adr;
        p.period = period;
        return p;
    };
    for (MeterEntry& m : LoadMeterEntries(db_, 0, -kAllTime, kAllTime))
        part(kBookMeters, m.adr, PeriodOf(m.time)).meters.push_back(m);
    for (DeliveryNote& n : LoadDeliveryNotes(db_, 0, -kAllTime, kAllTime)) {
        n.number = Utf8(n.number);
        n.supplier = Utf8(n.supplier);
        part(kBookNotes, n.adr, PeriodOf(n.time)).notes.push_back(std::move(n));
    }
    for (const ReconSettingsRow& s : LoadReconSettings(db_))
        part(kBookSettings, s.adr, 0).settings = s;

    struct Sent {
        int64_t seq, hash;
    };
    std::map<Key, Sent> sent;
    Query(db_, kSelectSentBook, {station_}, [&](const Row& r) {
        sent[Key(r.Text(0), int(r.Int(1)), int(r.Int(2)))] = {r.Int(3), r.Int(4)};
    });
    // A part sent before and empty now goes again without rows: its rows were removed.
    for (const auto& [key, s] : sent)
        if (!parts.count(key))
            part(std::get<0>(key).c_str(), std::get<1>(key), std::get<2>(key));
    for (auto& [key, p] : parts) {
        p.hash = HashOf(p);
        const auto it = sent.find(key);
        if (it != sent.end() && it->second.hash == p.hash)
            continue;
        p.seq = it == sent.end() ? 1 : it->second.seq + 1;
        changed.push_back(std::move(p));
    }
    return changed;
}

void LocalQueue::BookSent(const std::vector<CentralBookPart>& sent) {
    InWriteTransaction(db_, [&] {
        for (const CentralBookPart& p : sent)
            Exec(db_, kSaveBookPart,
                 {station_, p.table, int64_t(p.adr), int64_t(p.period), p.seq, p.hash});
    });
}
