#include "SummaryMail.h"

#include "DayNumbers.h"
#include "TextFormats.h"

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace {
// Day numbers of one minute differ by 1/kMinutesPerDay; anything closer than a second is the same.
constexpr double kSame = 1.0 / kSecondsPerDay;

std::string Litres(double v) {
    return TextFormats::Int(std::llround(v)) + " l";
}

// The summary's moments are whole minutes: no seconds in their texts.
std::string Minute(double local) {
    const TextFormats::DateTimeParts p = TextFormats::Split(local);
    char buf[40];
    std::snprintf(buf, sizeof buf, "%02d/%02d/%04d %02d:%02d", p.day, p.month, p.year, p.hour,
                  p.minute);
    return buf;
}
} // namespace

namespace Mail {
double SummaryMoment(double nowLocal, int minute) {
    const double m = double(minute) / kMinutesPerDay;
    // A clock read a hair before the minute (day numbers are not exact) is at the minute.
    return std::floor(nowLocal - m + 1e-9) + m;
}

Message SummaryMessage(const MailSettings& s, double moment, const std::vector<SummaryTank>& tanks,
                       const std::string& pdf, std::vector<std::string> to, int64_t unixTime) {
    const std::string period = Minute(moment - 1) + " to " + Minute(moment);
    std::string text = "Daily summary from " + period + "\n\n";
    if (tanks.empty())
        text += "No active tank.\n";
    for (const SummaryTank& t : tanks) {
        text += t.name + " (tank " + std::to_string(t.adr) + "): ";
        text += t.closing ? Litres(double(*t.closing)) + " at the end" : "no level at the end";
        if (t.opening)
            text += ", " + Litres(double(*t.opening)) + " at the start";
        text += "; delivered " + Litres(t.delivered) + ", lost " + Litres(t.lost) + "\n";
        for (const SummaryTank::Event& e : t.events)
            text += std::string("  ") + (e.delivery ? "Delivery" : "Loss") + " " +
                    TextFormats::DateTime(e.local) + ": " + Litres(double(e.litres)) + "\n";
    }
    text += pdf.empty()
                ? "\nThe inventory report could not be made; see the station's Errors log.\n"
                : "\nThe inventory report of the period is attached.\n";
    Message m = TestMessage(s, {}, std::move(to), unixTime);
    const std::string prefix = "[Tavrona " + s.station + "] ";
    m.subject = prefix + "Daily summary to " + Minute(moment);
    // The footer of every station mail stays; only the words before it are the summary's.
    m.text = text + m.text.substr(m.text.find("\nStation: "));
    if (!pdf.empty()) {
        const TextFormats::DateTimeParts p = TextFormats::Split(moment);
        char name[64];
        std::snprintf(name, sizeof name, "Inventory report %04d-%02d-%02d %02d%02d.pdf", p.year,
                      p.month, p.day, p.hour, p.minute);
        m.attachments.push_back({name, "application/pdf", pdf});
    }
    return m;
}
} // namespace Mail

std::optional<double> SummaryRecord::Due(double nowLocal, int minute) {
    std::lock_guard<std::mutex> lock(mutex_);
    const double moment = Mail::SummaryMoment(nowLocal, minute);
    const std::optional<double> last = ReadLocked();
    if (!last) {
        WriteLocked(moment);
        return std::nullopt;
    }
    if (moment <= *last + kSame)
        return std::nullopt;
    if (inHand_ && std::fabs(*inHand_ - moment) < kSame)
        return std::nullopt;
    return moment;
}

void SummaryRecord::Take(double moment) {
    std::lock_guard<std::mutex> lock(mutex_);
    inHand_ = moment;
}

void SummaryRecord::Release() {
    std::lock_guard<std::mutex> lock(mutex_);
    inHand_.reset();
}

bool SummaryRecord::Sent(double moment) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (inHand_ && std::fabs(*inHand_ - moment) < kSame)
        inHand_.reset();
    const std::optional<double> last = ReadLocked();
    if (last && *last >= moment)
        return true;
    return WriteLocked(moment);
}

std::optional<double> SummaryRecord::Last() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return ReadLocked();
}

std::optional<double> SummaryRecord::ReadLocked() const {
    std::ifstream in(std::filesystem::u8path(path_));
    std::string line;
    double v = 0;
    if (!in || !std::getline(in, line) || !TextFormats::ParseDouble(line, v) || !std::isfinite(v))
        return std::nullopt;
    return v;
}

// Whole or not at all: a station stopped while writing keeps the record it had.
bool SummaryRecord::WriteLocked(double moment) {
    const std::filesystem::path path = std::filesystem::u8path(path_);
    std::filesystem::path temp = path;
    temp += ".new";
    {
        std::ofstream out(temp, std::ios::trunc);
        out << TextFormats::Timestamp(moment) << "\n";
        out.flush();
        if (!out)
            return false;
    }
    std::error_code ec;
    std::filesystem::rename(temp, path, ec);
    if (!ec)
        return true;
    std::filesystem::remove(temp, ec);
    return false;
}
