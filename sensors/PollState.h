#pragma once
// The poll state of the sensor addresses 1 to 14: one character each, "0" to "7" without
// "4". Addresses outside 1..14 have no entry: they read as "0" and are never written.

#include <array>

class PollStateTable {
public:
    static constexpr unsigned kFirst = 1;
    static constexpr unsigned kLast = 14;

    static constexpr char kNotPolled = '0';
    static constexpr char kDataDue = '1';
    static constexpr char kDataSent = '2';
    static constexpr char kDataReceived = '3';
    static constexpr char kConfigDue = '5';
    static constexpr char kConfigSent = '6';
    static constexpr char kConfigReceived = '7';

    static bool Has(unsigned address) { return address >= kFirst && address <= kLast; }
    char Get(unsigned address) const {
        return Has(address) ? states_[address - kFirst] : kNotPolled;
    }
    void Set(unsigned address, char state) {
        if (Has(address))
            states_[address - kFirst] = state;
    }

private:
    std::array<char, kLast> states_{'0', '0', '0', '0', '0', '0', '0',
                                    '0', '0', '0', '0', '0', '0', '0'};
};
