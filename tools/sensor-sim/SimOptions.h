#pragma once
// Command-line options of the simulated sensor line.

#include <bitset>
#include <cstdint>
#include <string>
#include <vector>

inline constexpr int kFirstAddress = 1;
inline constexpr int kLastAddress = 14;

// Bit i stands for sensor address i (1 to 14); bit 0 is never set.
using AddressSet = std::bitset<kLastAddress + 1>;
AddressSet AllAddresses();

// Scripted happenings for watching the station's fuel events, each on a tank of its own:
// a delivery (address 1), a theft (2), a sensor dropping out (4), a night's cool-down in
// twenty minutes (5) and a noisy sensor (6).
enum class Scenario { Delivery, Theft, Dropout, CoolDown, Noise };
inline constexpr int kScenarioCount = 5;
using ScenarioSet = std::bitset<kScenarioCount>;
// "delivery,theft,dropout,cooldown,noise", "all" or "none"; false for anything else.
bool ParseScenarioList(const std::string& text, ScenarioSet& out);

// Where a tank's sensor starts: its fuel code and temperature (a demo restarted goes on from
// the levels it last stored).
struct StartLevel {
    int address = 0;
    int code = 0;
    int temp = 0;
};
// "ADR=CODE:TEMP,..." (address 1 to 14, code 0 to 4095, temperature -60 to 100) or "";
// false for anything else.
bool ParseStartLevels(const std::string& text, std::vector<StartLevel>& out);

struct SimOptions {
    AddressSet answer = AllAddresses(); // addresses that have a sensor
    AddressSet silent;                  // never answer
    AddressSet silentCfg;               // answer data requests only
    AddressSet badCrc;
    double badCrcProb = 0;
    AddressSet join; // the reply is followed at once by a second one
    double joinProb = 0;
    AddressSet split; // the reply is cut by a pause
    int splitAt = 4;
    double splitPauseMs = 300;
    AddressSet stray; // a few noise bytes run in front of the reply
    double strayProb = 0;
    int strayBytes = 3;
    AddressSet trail; // noise bytes follow the reply after a pause, while nothing is asked
    double trailProb = 0;
    int trailBytes = 1;
    double trailPauseMs = 300;
    AddressSet late; // the reply comes lateMs after the request
    double lateMs = 1500;
    double delayMs = 5;        // a sensor's usual turnaround
    double fallPerMinute = 20; // fuel codes lost per minute, on average
    ScenarioSet scenarios;
    double scenarioStartS = 120; // seconds after the simulator started
    uint32_t seed = 1;
    std::vector<StartLevel> startLevels;
    std::string linkName = "ttySIM0";
    bool noLink = false;
    bool stats = false;    // print the counters at exit
    bool commands = false; // read line commands from standard input
    bool help = false;
};

struct OptionsResult {
    bool ok = false;
    std::string error; // what was wrong, when !ok
    SimOptions options;
};

// Parses the arguments after the program name.
OptionsResult ParseOptions(const std::vector<std::string>& args);

// "3", "1,4,7", "2-5,9", "all" or "none"; false for anything else or an address
// outside 1 to 14.
bool ParseAddressList(const std::string& text, AddressSet& out);

std::string UsageText();

// What a line of standard input asks for (with --commands): "unplug" takes the line away
// (the terminal closes and its link goes), "plug" gives it back under the same name,
// "mute" keeps it but no sensor answers, "unmute", "counts". Blanks around are ignored.
enum class LineCommand { None, Unplug, Plug, Mute, Unmute, Counts, Unknown };
LineCommand ParseLineCommand(const std::string& text);
