#include "ReconImport.h"

#include "DayNumbers.h"
#include "TextFormats.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <set>

namespace {

std::string Trim(const std::string& s) {
    const auto b = s.find_first_not_of(" \t\r\n");
    if (b == std::string::npos)
        return {};
    return s.substr(b, s.find_last_not_of(" \t\r\n") - b + 1);
}

// Splits text into records of fields by `sep`, quotes as RFC 4180 has them; each record
// with the 1-based line it starts on. Blank lines are left out.
struct Record {
    int line = 0;
    std::vector<std::string> fields;
};
std::vector<Record> Split(std::string_view text, char sep) {
    std::vector<Record> out;
    Record rec;
    std::string field;
    bool quoted = false, any = false;
    int line = 1;
    rec.line = 1;
    auto endRecord = [&] {
        rec.fields.push_back(field);
        field.clear();
        const bool blank = rec.fields.size() == 1 && Trim(rec.fields[0]).empty();
        if (!blank)
            out.push_back(std::move(rec));
        rec = Record{};
        any = false;
    };
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (quoted) {
            if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
                field += '"';
                ++i;
            } else if (c == '"') {
                quoted = false;
            } else {
                if (c == '\n')
                    ++line;
                field += c;
            }
            continue;
        }
        if (!any)
            rec.line = line;
        any = true;
        if (c == '"' && Trim(field).empty()) {
            field.clear();
            quoted = true;
        } else if (c == sep) {
            rec.fields.push_back(field);
            field.clear();
        } else if (c == '\n') {
            endRecord();
            ++line;
        } else if (c != '\r') {
            field += c;
        }
    }
    if (any)
        endRecord();
    return out;
}

bool ReadInt(const std::string& s, std::size_t& pos, std::size_t minDigits, std::size_t maxDigits,
             int& v) {
    std::size_t n = 0;
    v = 0;
    while (pos < s.size() && n < maxDigits && s[pos] >= '0' && s[pos] <= '9') {
        v = v * 10 + (s[pos++] - '0');
        ++n;
    }
    return n >= minDigits;
}

std::string Join(const std::vector<std::string>& parts, const char* sep) {
    std::string out;
    for (std::size_t i = 0; i < parts.size(); ++i)
        out += (i ? sep : "") + parts[i];
    return out;
}

} // namespace

std::vector<std::string> ImportFields(ImportKind kind) {
    if (kind == ImportKind::Meters)
        return {"tank", "date", "time", "litres"};
    return {"tank", "date", "time", "litres", "temperature", "density", "number", "supplier"};
}

bool FieldRequired(const std::string& field) {
    return field == "tank" || field == "date" || field == "litres";
}

std::string MappingText(const std::vector<std::string>& columns) {
    return Join(columns, "|");
}

std::vector<std::string> MappingFromText(const std::string& text) {
    std::vector<std::string> out;
    if (text.empty())
        return out;
    std::size_t pos = 0;
    while (true) {
        const std::size_t bar = text.find('|', pos);
        out.push_back(text.substr(pos, bar == std::string::npos ? std::string::npos : bar - pos));
        if (bar == std::string::npos)
            break;
        pos = bar + 1;
    }
    return out;
}

bool ParseDateText(const std::string& textIn, const std::string& format, double& day) {
    const std::string text = Trim(textIn);
    int d = 1, mo = 1, y = -1, h = 0, mi = 0, s = 0;
    bool haveDay = false, haveMonth = false;
    std::size_t p = 0, f = 0;
    auto token = [&](const char* t) {
        return format.compare(f, std::char_traits<char>::length(t), t) == 0;
    };
    while (f < format.size()) {
        bool ok = true;
        if (token("yyyy")) {
            ok = ReadInt(text, p, 4, 4, y);
            f += 4;
        } else if (token("yy")) {
            ok = ReadInt(text, p, 2, 2, y);
            y += 2000;
            f += 2;
        } else if (token("dd") || token("d")) {
            const bool two = token("dd");
            ok = ReadInt(text, p, two ? 2 : 1, 2, d);
            haveDay = true;
            f += two ? 2 : 1;
        } else if (token("MM") || token("M")) {
            const bool two = token("MM");
            ok = ReadInt(text, p, two ? 2 : 1, 2, mo);
            haveMonth = true;
            f += two ? 2 : 1;
        } else if (token("HH") || token("H")) {
            const bool two = token("HH");
            ok = ReadInt(text, p, two ? 2 : 1, 2, h);
            f += two ? 2 : 1;
        } else if (token("mm")) {
            ok = ReadInt(text, p, 2, 2, mi);
            f += 2;
        } else if (token("ss")) {
            ok = ReadInt(text, p, 2, 2, s);
            f += 2;
        } else {
            ok = p < text.size() && text[p] == format[f];
            ++p;
            ++f;
        }
        if (!ok)
            return false;
    }
    if (p != text.size() || h > 23 || mi > 59 || s > 59)
        return false;
    if (y < 0 && !haveDay && !haveMonth) { // a time alone
        day = double(h * 3600 + mi * 60 + s) / kSecondsPerDay;
        return true;
    }
    if (y < 1900 || mo < 1 || mo > 12 || d < 1 || d > 31)
        return false;
    day = TextFormats::Join(y, mo, d, h, mi, s);
    const auto back = TextFormats::Split(day);
    return back.day == d && back.month == mo && back.year == y;
}

bool ParseNumberText(const std::string& textIn, char decimal, double& value) {
    // Blanks between digit groups ("15 000,0", also the no-break space) are dropped.
    std::string text;
    const std::string trimmed = Trim(textIn);
    for (std::size_t i = 0; i < trimmed.size(); ++i) {
        if (trimmed[i] == ' ')
            continue;
        if (trimmed.compare(i, 2, "\xC2\xA0") == 0) {
            ++i;
            continue;
        }
        text += trimmed[i];
    }
    if (text.empty())
        return false;
    std::string c;
    bool point = false, digit = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char ch = text[i];
        if (ch >= '0' && ch <= '9') {
            c += ch;
            digit = true;
        } else if (ch == decimal && !point) {
            c += '.';
            point = true;
        } else if ((ch == '-' || ch == '+') && i == 0) {
            c += ch;
        } else {
            return false;
        }
    }
    if (!digit)
        return false;
    value = std::strtod(c.c_str(), nullptr);
    return std::isfinite(value);
}

ImportResult ParseReconCsv(std::string_view bytes, ImportKind kind, const ImportOptions& opt,
                           const std::vector<int>& tanks, const std::vector<int>& shiftStarts) {
    ImportResult res;
    if (bytes.substr(0, 3) == "\xEF\xBB\xBF")
        bytes.remove_prefix(3);
    const std::string text = StoredText::FromStored(bytes, opt.codePage).toUtf8().toStdString();

    std::map<std::string, std::size_t> column;
    for (std::size_t i = 0; i < opt.columns.size(); ++i)
        if (!opt.columns[i].empty())
            column.emplace(opt.columns[i], i);
    std::vector<std::string> missing;
    for (const std::string& f : ImportFields(kind))
        if (FieldRequired(f) && !column.count(f))
            missing.push_back(f);
    if (!missing.empty()) {
        res.problems.push_back({0, "no column is mapped to " + Join(missing, ", ")});
        return res;
    }

    char sep = opt.separator;
    if (!sep) {
        const std::string first = text.substr(0, text.find('\n'));
        sep = first.find(';') != std::string::npos    ? ';'
              : first.find('\t') != std::string::npos ? '\t'
                                                      : ',';
    }
    const std::vector<Record> records = Split(text, sep);
    const std::set<int> known(tanks.begin(), tanks.end());
    const int firstShift = shiftStarts.empty() ? 0 : shiftStarts.front();
    std::map<std::pair<int, double>, int> meterSeen;
    std::map<std::pair<int, std::string>, int> noteSeen;

    for (std::size_t r = opt.header ? 1 : 0; r < records.size(); ++r) {
        const Record& rec = records[r];
        ++res.rows;
        std::vector<std::string> why;
        auto value = [&](const std::string& field) -> std::optional<std::string> {
            const auto it = column.find(field);
            if (it == column.end())
                return std::nullopt;
            if (it->second >= rec.fields.size()) {
                why.push_back("no value for " + field);
                return std::nullopt;
            }
            return Trim(rec.fields[it->second]);
        };
        auto number = [&](const std::string& field, bool required) -> std::optional<double> {
            const auto v = value(field);
            if (!v || (v->empty() && !required))
                return std::nullopt;
            double x = 0;
            if (!ParseNumberText(*v, opt.decimal, x)) {
                why.push_back(field + " \"" + *v + "\" is not a number with a decimal " +
                              (opt.decimal == ',' ? "comma" : "point"));
                return std::nullopt;
            }
            return x;
        };

        int adr = 0;
        if (const auto t = value("tank")) {
            double x = 0;
            if (!ParseNumberText(*t, '.', x) || x != std::floor(x) || !known.count(int(x)))
                why.push_back("there is no tank \"" + *t + "\"");
            else
                adr = int(x);
        }
        double when = 0;
        bool dated = false, timed = false;
        if (const auto d = value("date")) {
            if (!ParseDateText(*d, opt.dateFormat, when))
                why.push_back("date \"" + *d + "\" does not match " + opt.dateFormat);
            else
                dated = true;
            timed = opt.dateFormat.find('H') != std::string::npos;
        }
        if (const auto t = value("time"); t && !t->empty()) {
            double tod = 0;
            if (!ParseDateText(*t, opt.timeFormat, tod) || tod >= 1)
                why.push_back("time \"" + *t + "\" does not match " + opt.timeFormat);
            else if (dated) {
                when = std::floor(when) + tod;
                timed = true;
            }
        }
        if (dated && !timed && kind == ImportKind::Meters)
            when = std::floor(when) + double(firstShift) / kMinutesPerDay;
        const auto litres = number("litres", true);
        if (litres && *litres < 0)
            why.push_back("litres must not be negative");
        if (litres && kind == ImportKind::Notes && *litres == 0)
            why.push_back("a note of 0 l");

        if (kind == ImportKind::Meters) {
            if (why.empty()) {
                const auto [it, fresh] = meterSeen.emplace(std::make_pair(adr, when), rec.line);
                if (!fresh)
                    why.push_back("tank " + std::to_string(adr) + " already has a figure for " +
                                  TextFormats::DateTime(when) + " on line " +
                                  std::to_string(it->second));
                else
                    res.meters.push_back({adr, when, *litres, opt.totaliser});
            }
        } else {
            DeliveryNote n;
            n.tempC = number("temperature", false);
            n.density = number("density", false);
            if (n.tempC && (*n.tempC < -50 || *n.tempC > 100))
                why.push_back("temperature out of range");
            if (n.density && (*n.density < 500 || *n.density > 1200))
                why.push_back("density out of range (kg/m³)");
            n.number = value("number").value_or("");
            n.supplier = value("supplier").value_or("");
            if (why.empty()) {
                n.adr = adr;
                n.time = when;
                n.litres = *litres;
                const std::string key = n.number.empty() ? TextFormats::DateTime(when) : n.number;
                const auto [it, fresh] = noteSeen.emplace(std::make_pair(adr, key), rec.line);
                if (!fresh)
                    why.push_back("note " + key + " of tank " + std::to_string(adr) +
                                  " is already on line " + std::to_string(it->second));
                else
                    res.notes.push_back(std::move(n));
            }
        }
        if (!why.empty())
            res.problems.push_back({rec.line, Join(why, "; ")});
    }
    if (res.rows == 0)
        res.problems.push_back({0, "the file has no rows"});
    if (!res.problems.empty()) {
        res.meters.clear();
        res.notes.clear();
    }
    auto byTime = [](const auto& a, const auto& b) { return a.time < b.time; };
    std::stable_sort(res.meters.begin(), res.meters.end(), byTime);
    std::stable_sort(res.notes.begin(), res.notes.end(), byTime);
    return res;
}
