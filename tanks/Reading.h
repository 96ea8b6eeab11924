#pragma once
// One accepted sensor reading as it leaves the receive path, and the sinks it goes to: the
// DATA row first, then whatever else watches the readings (fuel events, alarms). Plain C++
// so that every layer can take readings without knowing where they come from.

#include <cstdint>

struct Reading {
    unsigned address = 0; // the answering sensor, the tank's id
    // One clock read gives both: rows carry UTC, texts and quiet hours local time.
    double utc = 0;
    double local = 0;
    int32_t litres = 0; // FL, gross litres from the calibration
    uint16_t code = 0;  // FLC
    int8_t temp = 0;    // °C
    // Its DATA row is in data.db. False while the row waits in the write queue, or when the
    // file refused it (the sinks still get the reading).
    bool stored = true;
};

class ReadingSink {
public:
    virtual ~ReadingSink() = default;
    // A reading that the tank's record and tile already show. May raise; see SensorLink for
    // what a raise does to the sinks after this one.
    virtual void TakeReading(const Reading& reading) = 0;
    // The sensor at this address left one request of a cycle unanswered (logged as silent).
    virtual void TakeSilence(unsigned address, double utc) {
        (void)address;
        (void)utc;
    }
};
