#include "SimOptions.h"

#include "DayNumbers.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <functional>
#include <map>

AddressSet AllAddresses() {
    AddressSet s;
    for (int a = kFirstAddress; a <= kLastAddress; ++a)
        s.set(a);
    return s;
}

namespace {

bool ParseLong(const std::string& text, long& out) {
    if (text.empty())
        return false;
    char* end = nullptr;
    errno = 0;
    long v = std::strtol(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0')
        return false;
    out = v;
    return true;
}

bool ParseDouble(const std::string& text, double& out) {
    if (text.empty())
        return false;
    char* end = nullptr;
    errno = 0;
    double v = std::strtod(text.c_str(), &end);
    if (errno != 0 || *end != '\0' || v != v)
        return false;
    out = v;
    return true;
}

bool ParseAddress(const std::string& text, int& out) {
    long v = 0;
    if (!ParseLong(text, v) || v < kFirstAddress || v > kLastAddress)
        return false;
    out = static_cast<int>(v);
    return true;
}

bool ParseRange(const std::string& item, AddressSet& out) {
    std::size_t dash = item.find('-');
    int from = 0, to = 0;
    if (dash == std::string::npos) {
        if (!ParseAddress(item, from))
            return false;
        to = from;
    } else if (!ParseAddress(item.substr(0, dash), from) ||
               !ParseAddress(item.substr(dash + 1), to) || from > to) {
        return false;
    }
    for (int a = from; a <= to; ++a)
        out.set(a);
    return true;
}

using Setter = std::function<bool(SimOptions&, const std::string&)>;

Setter Addresses(AddressSet SimOptions::*field) {
    return [field](SimOptions& o, const std::string& v) { return ParseAddressList(v, o.*field); };
}

Setter Number(double SimOptions::*field, double min, double max) {
    return [=](SimOptions& o, const std::string& v) {
        double d = 0;
        if (!ParseDouble(v, d) || d < min || d > max)
            return false;
        o.*field = d;
        return true;
    };
}

Setter Count(int SimOptions::*field, long min, long max) {
    return [=](SimOptions& o, const std::string& v) {
        long n = 0;
        if (!ParseLong(v, n) || n < min || n > max)
            return false;
        o.*field = static_cast<int>(n);
        return true;
    };
}

const std::map<std::string, Setter>& ValueOptions() {
    static const std::map<std::string, Setter> options = {
        {"--answer", Addresses(&SimOptions::answer)},
        {"--silent", Addresses(&SimOptions::silent)},
        {"--silent-cfg", Addresses(&SimOptions::silentCfg)},
        {"--bad-crc", Addresses(&SimOptions::badCrc)},
        {"--bad-crc-prob", Number(&SimOptions::badCrcProb, 0, 1)},
        {"--join", Addresses(&SimOptions::join)},
        {"--join-prob", Number(&SimOptions::joinProb, 0, 1)},
        {"--split", Addresses(&SimOptions::split)},
        {"--split-at", Count(&SimOptions::splitAt, 1, 13)},
        {"--split-pause", Number(&SimOptions::splitPauseMs, 0, 60000)},
        {"--stray", Addresses(&SimOptions::stray)},
        {"--stray-prob", Number(&SimOptions::strayProb, 0, 1)},
        {"--stray-bytes", Count(&SimOptions::strayBytes, 1, 64)},
        {"--trail", Addresses(&SimOptions::trail)},
        {"--trail-prob", Number(&SimOptions::trailProb, 0, 1)},
        {"--trail-bytes", Count(&SimOptions::trailBytes, 1, 64)},
        {"--trail-pause", Number(&SimOptions::trailPauseMs, 0, 60000)},
        {"--late", Addresses(&SimOptions::late)},
        {"--late-ms", Number(&SimOptions::lateMs, 0, 600000)},
        {"--delay", Number(&SimOptions::delayMs, 0, 600000)},
        {"--fall", Number(&SimOptions::fallPerMinute, 0, 4000)},
        {"--scenario",
         [](SimOptions& o, const std::string& v) { return ParseScenarioList(v, o.scenarios); }},
        {"--scenario-start", Number(&SimOptions::scenarioStartS, 0, kSecondsPerDay)},
        {"--start",
         [](SimOptions& o, const std::string& v) { return ParseStartLevels(v, o.startLevels); }},
        {"--seed",
         [](SimOptions& o, const std::string& v) {
             long n = 0;
             if (!ParseLong(v, n) || n < 0 || n > 0xFFFFFFFFL)
                 return false;
             o.seed = static_cast<uint32_t>(n);
             return true;
         }},
        {"--link",
         [](SimOptions& o, const std::string& v) {
             // One file name inside the runtime folder, never a path.
             if (v.empty() || v == "." || v == ".." || v.find('/') != std::string::npos)
                 return false;
             o.linkName = v;
             return true;
         }},
    };
    return options;
}

} // namespace

bool ParseScenarioList(const std::string& text, ScenarioSet& out) {
    static const char* const names[kScenarioCount] = {"delivery", "theft", "dropout", "cooldown",
                                                      "noise"};
    ScenarioSet result;
    if (text == "all")
        result.set();
    else if (text != "none") {
        std::size_t start = 0;
        while (true) {
            const std::size_t comma = text.find(',', start);
            const std::string item = text.substr(start, comma - start);
            const auto* at = std::find(std::begin(names), std::end(names), item);
            if (at == std::end(names))
                return false;
            result.set(static_cast<std::size_t>(at - std::begin(names)));
            if (comma == std::string::npos)
                break;
            start = comma + 1;
        }
    }
    out = result;
    return true;
}

bool ParseStartLevels(const std::string& text, std::vector<StartLevel>& out) {
    std::vector<StartLevel> result;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t comma = std::min(text.find(',', start), text.size());
        const std::string item = text.substr(start, comma - start);
        const std::size_t eq = item.find('='), colon = item.find(':');
        long adr = 0, code = 0, temp = 0;
        if (eq == std::string::npos || colon == std::string::npos || colon < eq ||
            !ParseLong(item.substr(0, eq), adr) ||
            !ParseLong(item.substr(eq + 1, colon - eq - 1), code) ||
            !ParseLong(item.substr(colon + 1), temp) || adr < kFirstAddress || adr > kLastAddress ||
            code < 0 || code > 4095 || temp < -60 || temp > 100)
            return false;
        result.push_back({int(adr), int(code), int(temp)});
        start = comma + 1;
    }
    out = result;
    return true;
}

bool ParseAddressList(const std::string& text, AddressSet& out) {
    if (text == "all") {
        out = AllAddresses();
        return true;
    }
    AddressSet result;
    if (text != "none") {
        std::size_t start = 0;
        while (true) {
            std::size_t comma = text.find(',', start);
            if (!ParseRange(text.substr(start, comma - start), result))
                return false;
            if (comma == std::string::npos)
                break;
            start = comma + 1;
        }
    }
    out = result;
    return true;
}

OptionsResult ParseOptions(const std::vector<std::string>& args) {
    OptionsResult r;
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string name = args[i];
        if (name == "--help" || name == "-h") {
            r.options.help = true;
            continue;
        }
        if (name == "--stats") {
            r.options.stats = true;
            continue;
        }
        if (name == "--commands") {
            r.options.commands = true;
            continue;
        }
        if (name == "--no-link") {
            r.options.noLink = true;
            continue;
        }
        std::string value;
        bool inlineValue = false;
        if (std::size_t eq = name.find('='); eq != std::string::npos) {
            value = name.substr(eq + 1);
            name = name.substr(0, eq);
            inlineValue = true;
        }
        auto it = ValueOptions().find(name);
        if (it == ValueOptions().end()) {
            r.error = "unknown option " + name;
            return r;
        }
        if (!inlineValue) {
            if (i + 1 >= args.size()) {
                r.error = "option " + name + " needs a value";
                return r;
            }
            value = args[++i];
        }
        if (!it->second(r.options, value)) {
            r.error = "bad value for " + name + ": " + value;
            return r;
        }
    }
    r.ok = true;
    return r;
}

std::string UsageText() {
    return R"(Usage: sensor-sim [options]

Simulates up to 14 fuel-level sensors on a pseudo-terminal. Prints the terminal's device
path on the first line of its output and links it as
  $XDG_RUNTIME_DIR/tavrona-sim/NAME (else /tmp/tavrona-sim-UID/NAME)
so the station's Settings dialog can list it; that folder must be the user's own and
writable by no one else. Answers 4-byte requests (0x31, address,
command, CRC) with 9-byte data replies (command 0x06) and 12-byte configuration replies
(command 0x04), paced as on a 19200-baud line. Fuel levels fall slowly and are refilled
now and then.

LIST is an address list: 3, 1,4,7, 2-5,9, all or none. P is a probability from 0 to 1.
Options take their value as the next argument or as --option=value.

Line and sensors:
  --link NAME          name of the link in the runtime folder (default ttySIM0)
  --no-link            make no link; only print the device path
  --answer LIST        addresses that have a sensor (default all)
  --delay MS           time from a request to its reply (default 5)
  --fall CODES         fuel codes lost per minute, on average (default 20; 0 holds
                       every level still and stops the refills)
  --seed N             seed of every random choice (default 1)
  --start ADR=CODE:TEMP,...
                       the fuel code and temperature a sensor starts from (the demo
                       passes the levels its data.db last stored)

Fuel events to watch, each once, starting --scenario-start S seconds after the start
(default 120):
  --scenario NAMES     a comma list of: delivery (tank 1 gains 1500 codes over ten
                       minutes), theft (tank 2 loses 300 codes over five minutes, a
                       minute later), dropout (sensor 4 is silent for five minutes, two
                       minutes later), cooldown (tank 5 cools by 15 degrees over twenty
                       minutes, its fuel shrinking with it), noise (every reading of
                       tank 6 is off by up to 0.5 % of the scale); or all, or none

Faults, each for the addresses of a LIST and some also by chance:
  --silent LIST        never answer
  --silent-cfg LIST    answer data requests only, never configuration requests
  --bad-crc LIST       replies carry a wrong CRC
  --bad-crc-prob P     any reply carries a wrong CRC with probability P
  --join LIST          a reply is followed at once by a second one (two replies run
                       together)
  --join-prob P        the same for any reply, with probability P
  --split LIST         a reply is cut after --split-at bytes (default 4) by a pause of
                       --split-pause MS (default 300, longer than the 200 ms gap)
  --stray LIST         a few noise bytes run in front of the reply
  --stray-prob P       the same for any reply, with probability P
  --stray-bytes N      how many noise bytes (default 3)
  --trail LIST         noise bytes follow the reply after a pause of --trail-pause
                       MS (default 300), while nothing is asked
  --trail-prob P       the same for any reply, with probability P
  --trail-bytes N      how many noise bytes (default 1)
  --late LIST          replies come --late-ms MS after the request (default 1500)

Taking the line away and giving it back:
  --commands           read commands from standard input, one a line:
                         unplug   close the terminal and remove its link, as when
                                  the adapter is pulled out ("unplugged")
                         plug     a new terminal linked under the same name
                                  ("plugged PATH")
                         mute     keep the line but answer nothing ("muted")
                         unmute   answer again ("unmuted")
                         counts   print the counters
  SIGUSR2              unplug, or plug when the line is away

Counters:
  --stats              print the counters when the simulator ends
  SIGUSR1              prints the counters at once, as one line:
                       "counts requests=N data=N cfg=N withheld=N ..."
  SIGTERM, SIGINT      end the simulator and remove the link

  -h, --help           show this text
)";
}

LineCommand ParseLineCommand(const std::string& text) {
    const std::size_t first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos)
        return LineCommand::None;
    const std::size_t last = text.find_last_not_of(" \t\r");
    const std::string word = text.substr(first, last - first + 1);
    static const std::map<std::string, LineCommand> words = {{"unplug", LineCommand::Unplug},
                                                             {"plug", LineCommand::Plug},
                                                             {"mute", LineCommand::Mute},
                                                             {"unmute", LineCommand::Unmute},
                                                             {"counts", LineCommand::Counts}};
    const auto it = words.find(word);
    return it == words.end() ? LineCommand::Unknown : it->second;
}
