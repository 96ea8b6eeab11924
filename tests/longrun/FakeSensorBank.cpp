#include "FakeSensorBank.h"

#include "FakePort.h"
#include "LinkTimer.h"

#include <algorithm>
#include <memory>
#include <sstream>

uint64_t Dice::Next() {
    // splitmix64: tiny, fast and the same everywhere.
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

int64_t Dice::Between(int64_t from, int64_t to) {
    const uint64_t span = static_cast<uint64_t>(to - from) + 1;
    return from + static_cast<int64_t>(Next() % span);
}

bool Dice::Chance(double p) {
    return static_cast<double>(Next() >> 11) / 9007199254740992.0 < p;
}

namespace {

constexpr int64_t kMinute = 60000;
constexpr double kFullCode = 3900;
constexpr double kLowCode = 300;
constexpr double kOverfullCode = 4300; // past the calibration table's last code

} // namespace

FakeSensorBank::FakeSensorBank(ManualTimeline& line, FakePort& port, uint64_t seed,
                               int64_t horizonMs, std::size_t expectedAnswers)
    : line_(line), port_(port), dice_(seed) {
    for (unsigned a = 1; a <= kSensors; ++a) {
        PlanSensor(a);
        books_[a].answers.reserve(expectedAnswers);
        books_[a].answeredAt.reserve(expectedAnswers);
    }
    // A few sensors fall silent for stretches, one of them only to configuration
    // requests; a few others spoil a reply now and then; one reads past the table's end.
    for (int i = 0; i < 4; ++i) {
        Sensor& s = sensors_[dice_.Between(1, kSensors)];
        for (int n = static_cast<int>(dice_.Between(2, 6)); n > 0; --n) {
            const int64_t from = dice_.Between(0, horizonMs);
            s.silence.push_back({from, from + dice_.Between(2 * kMinute, 480 * kMinute), false});
        }
    }
    Sensor& deaf = sensors_[dice_.Between(1, kSensors)];
    for (int n = static_cast<int>(dice_.Between(2, 4)); n > 0; --n) {
        const int64_t from = dice_.Between(0, horizonMs);
        deaf.silence.push_back({from, from + dice_.Between(5 * kMinute, 120 * kMinute), true});
    }
    for (int i = 0; i < 3; ++i)
        sensors_[dice_.Between(1, kSensors)].spoilChance = 0.005 * double(dice_.Between(1, 4));
    Sensor& over = sensors_[dice_.Between(1, kSensors)];
    over.code = kOverfullCode - double(dice_.Between(0, 150));
}

void FakeSensorBank::PlanSensor(unsigned address) {
    Sensor& s = sensors_[address];
    s.code = double(dice_.Between(1500, int64_t(kFullCode)));
    s.fallPerAnswer = double(dice_.Between(5, 80)) / 100.0;
    s.temp = static_cast<int>(dice_.Between(-10, 30));
}

void FakeSensorBank::OnRequest(const std::vector<uint8_t>& request) {
    ++requests_;
    if (request.size() != 4 || request[0] != Frames::kRequestStart ||
        request[3] != Frames::GetCRC8(request.data(), 3) || request[1] < 1 || request[1] > kSensors)
        return; // no sensor answers a garbled request; the books then fail to match
    const unsigned address = request[1];
    const bool config = request[2] == Frames::kCmdConfig;
    replying_ = false;
    if (closed_) {
        ++books_[address].unjudged;
        return;
    }
    Frames::DataReading reading;
    const Outcome outcome = Decide(address, config, line_.NowMs());
    replying_ = outcome != Outcome::Withhold;
    switch (outcome) {
    case Outcome::Withhold:
        Settle(address, config, false, true, reading);
        return;
    case Outcome::Spoil: {
        std::vector<uint8_t> bytes = Reply(address, config, reading);
        bytes.back() ^= static_cast<uint8_t>(dice_.Between(1, 255));
        Send(address, config, true, std::move(bytes), reading);
        return;
    }
    case Outcome::Answer:
        Send(address, config, false, Reply(address, config, reading), reading);
        return;
    }
}

FakeSensorBank::Outcome FakeSensorBank::Decide(unsigned address, bool config, int64_t now) {
    const Sensor& s = sensors_[address];
    for (const Stretch& st : s.silence)
        if (now >= st.from && now < st.to && (config || !st.configOnly))
            return Outcome::Withhold;
    return dice_.Chance(s.spoilChance) ? Outcome::Spoil : Outcome::Answer;
}

Frames::DataReading FakeSensorBank::NextReading(unsigned address) {
    Sensor& s = sensors_[address];
    const bool overfull = s.code > kFullCode;
    s.code -= s.fallPerAnswer;
    if (s.code < kLowCode || (overfull && s.code <= 4000))
        s.code = overfull ? kOverfullCode : kFullCode - double(dice_.Between(0, 200));
    s.temp = std::clamp(s.temp + static_cast<int>(dice_.Between(-1, 1)), -40, 50);
    Frames::DataReading r;
    r.temp = static_cast<int8_t>(s.temp);
    r.flc = static_cast<uint16_t>(s.code);
    r.flfr = static_cast<uint16_t>(dice_.Next());
    return r;
}

std::vector<uint8_t> FakeSensorBank::Reply(unsigned address, bool config,
                                           Frames::DataReading& reading) {
    const auto a = static_cast<uint8_t>(address);
    if (config)
        return Frames::BuildReply(a, Frames::kCmdConfig, {1, 9, 2, 0, 1, 2, 1, 2});
    reading = NextReading(address);
    std::vector<uint8_t> bytes = Frames::BuildDataReply(a, reading);
    if (dice_.Chance(0.1)) {
        // A longer reply: the bytes after the fifth payload byte mean nothing to the station.
        std::vector<uint8_t> payload(bytes.begin() + 3, bytes.end() - 1);
        for (int n = static_cast<int>(dice_.Between(1, 5)); n > 0; --n)
            payload.push_back(static_cast<uint8_t>(dice_.Next()));
        bytes = Frames::BuildReply(a, Frames::kCmdData, payload);
    }
    return bytes;
}

// The reply leaves the sensor a little after the request, sometimes with a pause in the
// middle that is shorter than the station's receive gap, so it still reads as one frame.
void FakeSensorBank::Send(unsigned address, bool config, bool spoilt, std::vector<uint8_t> bytes,
                          const Frames::DataReading& reading) {
    int64_t at = line_.NowMs() + dice_.Between(5, 120);
    std::vector<std::vector<uint8_t>> parts{bytes};
    if (dice_.Chance(0.1)) {
        const auto cut = static_cast<std::ptrdiff_t>(dice_.Between(1, int64_t(bytes.size()) - 1));
        parts = {{bytes.begin(), bytes.begin() + cut}, {bytes.begin() + cut, bytes.end()}};
    }
    const bool startInside =
        spoilt && std::find(bytes.begin() + 1, bytes.end(), Frames::kReplyStart) != bytes.end();
    auto dropped = std::make_shared<bool>(false);
    for (std::size_t i = 0; i < parts.size(); ++i) {
        const bool last = i + 1 == parts.size();
        line_.At(at, [=, this, part = parts[i]] {
            if (!*dropped && port_.Connected())
                port_.Inject(part);
            else
                *dropped = true; // the line is gone: the rest of the reply goes nowhere
            if (!last)
                return;
            if (*dropped)
                ++books_[address].lost;
            else if (startInside)
                ++books_[address].spoiltWithStart;
            Settle(address, config, spoilt, *dropped, reading);
        });
        at += dice_.Between(10, 150);
    }
}

void FakeSensorBank::Settle(unsigned address, bool config, bool spoilt, bool lost,
                            const Frames::DataReading& reading) {
    SensorBooks& b = books_[address];
    if (lost)
        ++(config ? b.configSilent : b.dataSilent);
    else if (spoilt)
        ++(config ? b.configSpoilt : b.dataSpoilt);
    else if (config)
        ++b.configAnswered;
    else {
        ++b.dataAnswered;
        b.answers.push_back(reading);
        b.answeredAt.push_back(line_.NowMs());
    }
}

int FakeSensorBank::SpoiltDelivered() const {
    int n = 0;
    for (unsigned a = 1; a <= kSensors; ++a)
        n += books_[a].dataSpoilt + books_[a].configSpoilt;
    return n;
}

int FakeSensorBank::SpoiltWithStartDelivered() const {
    int n = 0;
    for (unsigned a = 1; a <= kSensors; ++a)
        n += books_[a].spoiltWithStart;
    return n;
}

std::string FakeSensorBank::Describe() const {
    std::ostringstream out;
    for (unsigned a = 1; a <= kSensors; ++a) {
        const Sensor& s = sensors_[a];
        if (s.silence.empty() && s.spoilChance == 0)
            continue;
        out << "  sensor " << a << ":";
        if (s.spoilChance > 0)
            out << " spoils " << s.spoilChance * 100 << "% of replies;";
        for (const Stretch& st : s.silence)
            out << " silent" << (st.configOnly ? " to CFG" : "") << " " << st.from / kMinute << "-"
                << st.to / kMinute << " min;";
        out << "\n";
    }
    return out.str();
}
