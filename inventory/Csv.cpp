#include "Csv.h"

#include "DayNumbers.h"
#include "NetVolume.h"
#include "StoredText.h"
#include "TextFormats.h"

#include <charconv>
#include <cmath>
#include <cstdint>

namespace Csv {
namespace {

constexpr const char* kEol = "\r\n";

void Two(std::string& out, int v) {
    out += char('0' + v / 10 % 10);
    out += char('0' + v % 10);
}

void Int(std::string& out, int64_t v) {
    char buf[24];
    auto [p, ec] = std::to_chars(buf, buf + sizeof buf, v);
    out.append(buf, p);
}

void Opt(std::string& out, const std::optional<int64_t>& v) {
    if (v)
        Int(out, *v);
}

void Litres(std::string& out, double v) {
    out += TextFormats::Fixed(v, 0);
}

void OptLitres(std::string& out, const std::optional<double>& v) {
    if (v)
        Litres(out, *v);
}

// Day and time parts of a local day number, to the second, with the dates of the last day
// kept: a year of readings has only 365 different dates.
class Stamp {
public:
    void Local(std::string& out, double day) {
        Set(day);
        out += dmy_;
        out += ' ';
        Time(out);
    }
    void Iso(std::string& out, double day, const std::string& zone) {
        Set(day);
        out += ymd_;
        out += 'T';
        Time(out);
        out += zone;
    }

private:
    int64_t day_ = INT64_MIN, sec_ = 0;
    std::string dmy_, ymd_;
    void Set(double dayNumber) {
        const int64_t total = std::llround(dayNumber * kSecondsPerDay);
        int64_t day = total / kSecondsPerDay;
        sec_ = total - day * kSecondsPerDay;
        if (sec_ < 0) {
            sec_ += kSecondsPerDay;
            --day;
        }
        if (day == day_)
            return;
        day_ = day;
        const auto p = TextFormats::Split(double(day));
        dmy_.clear();
        Two(dmy_, p.day);
        dmy_ += '/';
        Two(dmy_, p.month);
        dmy_ += '/';
        Int(dmy_, p.year);
        ymd_.clear();
        Int(ymd_, p.year);
        ymd_ += '-';
        Two(ymd_, p.month);
        ymd_ += '-';
        Two(ymd_, p.day);
    }
    void Time(std::string& out) const {
        Two(out, int(sec_ / 3600));
        out += ':';
        Two(out, int(sec_ / 60 % 60));
        out += ':';
        Two(out, int(sec_ % 60));
    }
};

std::string Zone(double offset) {
    const int64_t minutes = std::llround(offset * kMinutesPerDay);
    const int64_t a = minutes < 0 ? -minutes : minutes;
    std::string z(1, minutes < 0 ? '-' : '+');
    Two(z, int(a / 60));
    z += ':';
    Two(z, int(a % 60));
    return z;
}

void Header(std::string& out, std::initializer_list<const char*> names) {
    bool first = true;
    for (const char* n : names) {
        if (!first)
            out += ',';
        out += Field(n);
        first = false;
    }
    out += kEol;
}

void TankFields(std::string& out, const TankName& tank) {
    Int(out, tank.adr);
    out += ',';
    out += Field(StoredToUtf8(tank.name));
}

void Dates(std::string& out, double start, double stop) {
    out += TextFormats::DateTime(start);
    out += ',';
    out += TextFormats::DateTime(stop);
}

// A whole period's first and last moment as --from and --to name them: a period that ends at
// midnight ends on the day before, not on the day whose first moment closes it.
void PeriodDates(std::string& out, double start, double stop) {
    out += TextFormats::DateTime(start);
    out += ',';
    out += stop == std::floor(stop) && stop > start ? TextFormats::ShortDate(stop - 1)
                                                    : TextFormats::DateTime(stop);
}

void BalanceFields(std::string& out, const BalanceRow& r) {
    Opt(out, r.openGross);
    out += ',';
    Opt(out, r.closeGross);
    out += ',';
    Opt(out, r.openNet);
    out += ',';
    Opt(out, r.closeNet);
    out += ',';
    Litres(out, r.delivered);
    out += ',';
    OptLitres(out, r.deliveredNet);
    out += ',';
    Litres(out, r.lost);
    out += ',';
    OptLitres(out, r.lostNet);
    out += ',';
    OptLitres(out, r.consumed);
    out += ',';
    OptLitres(out, r.consumedNet);
    out += ',';
    Int(out, r.readings);
    out += ',';
    out += TextFormats::Fixed(r.completeness * 100, 1);
    out += ',';
    out += r.complete ? "yes" : "no";
}

const std::initializer_list<const char*> kBalanceColumns = {
    "Opening gross, l", "Closing gross, l", "Opening net, l", "Closing net, l", "Delivered, l",
    "Delivered net, l", "Lost, l",          "Lost net, l",    "Consumed, l",    "Consumed net, l",
    "Readings",         "Completeness, %",  "Complete"};

void HeaderWith(std::string& out, std::initializer_list<const char*> first) {
    std::vector<const char*> names(first);
    names.insert(names.end(), kBalanceColumns.begin(), kBalanceColumns.end());
    bool sep = false;
    for (const char* n : names) {
        if (sep)
            out += ',';
        out += Field(n);
        sep = true;
    }
    out += kEol;
}

} // namespace

std::string StoredToUtf8(std::string_view stored) {
    if (StoredText::IsUtf8(stored))
        return std::string(stored);
    return StoredText::FromStored(stored).toUtf8().toStdString();
}

std::string Field(std::string_view utf8) {
    const bool quote = utf8.find_first_of(",\"\r\n") != std::string_view::npos ||
                       (!utf8.empty() && (utf8.front() == ' ' || utf8.back() == ' '));
    if (!quote)
        return std::string(utf8);
    std::string out = "\"";
    for (char c : utf8) {
        if (c == '"')
            out += '"';
        out += c;
    }
    out += '"';
    return out;
}

std::vector<std::vector<std::string>> Parse(std::string_view text) {
    if (text.substr(0, kBom.size()) == kBom)
        text.remove_prefix(kBom.size());
    std::vector<std::vector<std::string>> records;
    std::vector<std::string> record;
    std::string field;
    bool quoted = false, any = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        any = true;
        if (quoted) {
            if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
                field += '"';
                ++i;
            } else if (c == '"') {
                quoted = false;
            } else {
                field += c;
            }
        } else if (c == '"') {
            quoted = true;
        } else if (c == ',') {
            record.push_back(std::move(field));
            field.clear();
        } else if (c == '\r' || c == '\n') {
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
            record.push_back(std::move(field));
            field.clear();
            records.push_back(std::move(record));
            record.clear();
            any = false;
        } else {
            field += c;
        }
    }
    if (any) {
        record.push_back(std::move(field));
        records.push_back(std::move(record));
    }
    return records;
}

// Without the tank's fields and the zone: two stamps of 19, four numbers of at most 11,
// 7 commas and CR LF.
constexpr std::size_t kLongestReadingLine = 19 + 19 + 4 * 11 + 7 + 2;

void AppendReadings(std::string& out, const TankName& tank, const std::vector<StoredReading>& r,
                    std::optional<double> density, double offset, bool header) {
    if (header)
        Header(out, {"Local time", "ISO 8601", "Tank", "Name", "Gross, l", "Net at 15 °C, l",
                     "Code", "Temperature, °C"});
    std::string prefix;
    TankFields(prefix, tank);
    const std::string zone = Zone(offset);
    // The factor depends on the whole degrees only: one per temperature seen, not per reading.
    int32_t lastTemp = INT32_MIN;
    std::optional<double> vcf;
    Stamp stamp;
    // Room for the longest lines, so that a year of readings is never copied into a buffer
    // twice its size halfway through (untouched room costs no memory).
    out.reserve(out.size() + r.size() * (kLongestReadingLine + prefix.size() + zone.size()));
    for (const StoredReading& s : r) {
        const double local = s.utc + offset;
        stamp.Local(out, local);
        out += ',';
        stamp.Iso(out, local, zone);
        out += ',';
        out += prefix;
        out += ',';
        Int(out, s.gross);
        out += ',';
        if (density) {
            if (s.temp != lastTemp) {
                vcf = NetVolume::Vcf(*density, s.temp);
                lastTemp = s.temp;
            }
            if (vcf) // as NetVolume::NetLitres rounds
                Int(out, std::lround(s.gross * *vcf));
        }
        out += ',';
        Int(out, s.code);
        out += ',';
        Int(out, s.temp);
        out += kEol;
    }
}

void AppendEvents(std::string& out, const TankName& tank, const std::vector<EventRow>& events,
                  double offset, bool header) {
    if (header)
        Header(out, {"Tank", "Name", "Kind", "Start", "End", "Gross before, l", "Gross after, l",
                     "Net before, l", "Net after, l", "°C before", "°C after", "Amount, l",
                     "Acknowledged"});
    for (const EventRow& e : events) {
        TankFields(out, tank);
        out += ',';
        out += Field(e.kind);
        out += ',';
        out += TextFormats::DateTime(e.tstart + offset);
        out += ',';
        if (e.tend)
            out += TextFormats::DateTime(*e.tend + offset);
        for (const auto* v :
             {&e.vbefore, &e.vafter, &e.nbefore, &e.nafter, &e.tbefore, &e.tafter}) {
            out += ',';
            Opt(out, *v);
        }
        out += ',';
        if ((e.kind == "delivery" || e.kind == "loss") && e.vbefore && e.vafter && e.tend)
            Int(out, std::abs(*e.vafter - *e.vbefore));
        out += ',';
        if (e.acked)
            out += TextFormats::DateTime(*e.acked + offset);
        out += kEol;
    }
}

void AppendBalance(std::string& out, const TankName& tank, const std::vector<BalanceRow>& rows,
                   bool header) {
    if (header)
        HeaderWith(out, {"Tank", "Name", "From", "To"});
    for (const BalanceRow& r : rows) {
        TankFields(out, tank);
        out += ',';
        Dates(out, r.start, r.stop);
        out += ',';
        BalanceFields(out, r);
        out += kEol;
    }
}

void AppendSummary(std::string& out, const std::vector<TankBalance>& tanks,
                   const std::vector<FuelTotal>& totals) {
    HeaderWith(out, {"Tank", "Name", "Fuel type", "From", "To", "Days to empty", "Empty on"});
    for (const TankBalance& t : tanks) {
        TankFields(out, {t.adr, t.name});
        out += ',';
        out += Field(StoredToUtf8(t.fuelType));
        out += ',';
        PeriodDates(out, t.total.start, t.total.stop);
        out += ',';
        if (t.toEmpty)
            out += TextFormats::Fixed(t.toEmpty->days, 1);
        out += ',';
        if (t.toEmpty)
            out += TextFormats::ShortDate(std::floor(t.toEmpty->date));
        out += ',';
        BalanceFields(out, t.total);
        out += kEol;
    }
    for (const FuelTotal& f : totals) {
        out += "Total,";
        Int(out, f.tanks);
        out += f.tanks == 1 ? " tank," : " tanks,";
        out += Field(StoredToUtf8(f.fuelType));
        out += ',';
        PeriodDates(out, f.total.start, f.total.stop);
        out += ",,,";
        BalanceFields(out, f.total);
        out += kEol;
    }
}

} // namespace Csv
