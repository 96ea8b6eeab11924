#pragma once
// Fourteen sensors behind a FakePort on manual time. Each request the station writes is
// answered a little later (now and then in two pieces, now and then with extra payload),
// withheld (the sensor is silent for a stretch) or spoilt (a wrong CRC), as a seeded die
// decides. The bank keeps the books that the station's rows are checked against.

#include "Frames.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

class FakePort;
class ManualTimeline;

// A small deterministic generator: the same seed gives the same week on every platform.
class Dice {
public:
    explicit Dice(uint64_t seed) : state_(seed) {}
    uint64_t Next();
    // Uniform in [from, to], both included.
    int64_t Between(int64_t from, int64_t to);
    // True with the given probability.
    bool Chance(double p);

private:
    uint64_t state_;
};

// What one sensor did with the requests it got.
struct SensorBooks {
    int dataAnswered = 0, configAnswered = 0;
    int dataSilent = 0, configSilent = 0; // withheld, or lost when the line went away
    int dataSpoilt = 0, configSpoilt = 0;
    // Of the spoilt ones: those with a start byte after their first, which the station reads
    // again from there and may drop as line noise, without a beep.
    int spoiltWithStart = 0;
    int unjudged = 0; // came after the books were closed: no cycle start has judged them
    int lost = 0;     // of the silent ones: a reply sent while the line went away
    std::vector<Frames::DataReading> answers; // every correct data reply, in order
    std::vector<int64_t> answeredAt;          // when its last byte reached the port (ms)

    // The requests the station must have logged as unanswered.
    int DataUnanswered() const { return dataSilent + dataSpoilt; }
    int ConfigUnanswered() const { return configSilent + configSpoilt; }
    int Unanswered() const { return DataUnanswered() + ConfigUnanswered(); }
};

class FakeSensorBank {
public:
    static constexpr unsigned kSensors = 14;

    // `horizonMs`: how long the run may last, over which the silent stretches are spread.
    // `expectedAnswers` reserves room for the books, so that they do not grow while the
    // station's memory is watched.
    FakeSensorBank(ManualTimeline& line, FakePort& port, uint64_t seed, int64_t horizonMs,
                   std::size_t expectedAnswers);

    // One request frame written by the station.
    void OnRequest(const std::vector<uint8_t>& request);
    // From now on requests are only counted, never answered.
    void CloseBooks() { closed_ = true; }

    const SensorBooks& Books(unsigned address) const { return books_.at(address); }
    int Requests() const { return requests_; }
    // Whether the last request is being answered (rightly or not) rather than withheld.
    bool Replying() const { return replying_; }
    int SpoiltDelivered() const;
    int SpoiltWithStartDelivered() const;
    // Which sensors fall silent when, and which ones spoil replies: for the run's report.
    std::string Describe() const;

private:
    struct Stretch {
        int64_t from, to;
        bool configOnly; // the sensor still answers data requests
    };
    struct Sensor {
        double code = 0;
        double fallPerAnswer = 0;
        int temp = 0;
        double spoilChance = 0;
        std::vector<Stretch> silence;
    };
    enum class Outcome { Answer, Withhold, Spoil };

    void PlanSensor(unsigned address);
    Outcome Decide(unsigned address, bool config, int64_t now);
    Frames::DataReading NextReading(unsigned address);
    std::vector<uint8_t> Reply(unsigned address, bool config, Frames::DataReading& reading);
    void Send(unsigned address, bool config, bool spoilt, std::vector<uint8_t> bytes,
              const Frames::DataReading& reading);
    void Settle(unsigned address, bool config, bool spoilt, bool lost,
                const Frames::DataReading& reading);

    ManualTimeline& line_;
    FakePort& port_;
    Dice dice_;
    std::array<Sensor, kSensors + 1> sensors_{};
    std::array<SensorBooks, kSensors + 1> books_{};
    int requests_ = 0;
    bool closed_ = false;
    bool replying_ = false;
};
