// The simulator's decisions: options, levels, which reply for which request, and pacing.
#include "PacedLine.h"
#include "Responder.h"
#include "SensorBank.h"
#include "SimOptions.h"

#include "Frames.h"

#include <QtTest>

namespace {

std::vector<uint8_t> RequestBytes(uint8_t address, uint8_t command) {
    auto f = Frames::BuildRequest(address, command);
    return {f.begin(), f.end()};
}

SimOptions Parsed(const std::vector<std::string>& args) {
    OptionsResult r = ParseOptions(args);
    if (!r.ok)
        qFatal("options refused: %s", r.error.c_str());
    return r.options;
}

} // namespace

class TestSensorSim : public QObject {
    Q_OBJECT
private slots:
    void addressLists();
    void optionsAndRefusals();
    void levelsFallAndRefill();
    void stillLevelsAndSeeds();
    void parserCutsRequests();
    void dataAndConfigReplies();
    void silenceAndIgnoredRequests();
    void faultsShapeTheReply();
    void lineTimesBytes();
    void answersNeverInterleave();
    void dropoutAndNoise();
    void scenariosPlayOnTheirTanks_data();
    void scenariosPlayOnTheirTanks();
};

void TestSensorSim::addressLists() {
    AddressSet s;
    QVERIFY(ParseAddressList("2-4,9", s));
    QCOMPARE(s.count(), 4u);
    QVERIFY(s.test(2) && s.test(3) && s.test(4) && s.test(9));
    QVERIFY(ParseAddressList("all", s));
    QCOMPARE(s.count(), 14u);
    QVERIFY(!s.test(0));
    QVERIFY(ParseAddressList("none", s));
    QVERIFY(s.none());
    AddressSet kept;
    kept.set(5);
    for (const char* bad : {"0", "15", "3-1", "1,,2", "", "x", "1-", "2,14-15"}) {
        AddressSet t = kept;
        QVERIFY2(!ParseAddressList(bad, t), bad);
        QCOMPARE(t, kept); // a refused list changes nothing
    }
}

void TestSensorSim::optionsAndRefusals() {
    SimOptions o = Parsed({"--silent", "3", "--bad-crc=5,6", "--delay", "12.5", "--link", "x1",
                           "--split-at", "9", "--stats", "--seed", "4294967295"});
    QVERIFY(o.silent.test(3) && o.silent.count() == 1);
    QVERIFY(o.badCrc.test(5) && o.badCrc.test(6));
    QCOMPARE(o.delayMs, 12.5);
    QCOMPARE(o.linkName, std::string("x1"));
    QCOMPARE(o.splitAt, 9);
    QVERIFY(o.stats);
    QCOMPARE(o.seed, 4294967295u);
    QCOMPARE(o.answer.count(), 14u); // default: every address has a sensor
    QVERIFY(Parsed({"--help"}).help);
    const std::vector<std::vector<std::string>> refused = {
        {"--silent"},       {"--bogus"},        {"--bad-crc-prob", "1.5"}, {"--link", "../x"},
        {"--link", "a/b"},  {"--delay", "-1"},  {"--split-at", "0"},       {"--seed", "-3"},
        {"--fall", "fast"}, {"--stray-bytes=0"}};
    for (const auto& args : refused) {
        OptionsResult r = ParseOptions(args);
        QVERIFY2(!r.ok && !r.error.empty(), args[0].c_str());
    }
    QVERIFY(UsageText().find("--split-pause") != std::string::npos);
}

void TestSensorSim::levelsFallAndRefill() {
    SensorBank bank(7, 60); // about a code a second
    bank.AdvanceTo(1);
    uint16_t start = bank.Reading(1).flc;
    bank.AdvanceTo(61);
    uint16_t later = bank.Reading(1).flc;
    QVERIFY(later < start);
    QVERIFY(start - later >= 25 && start - later <= 95); // 0.5 to 1.5 times the rate
    // Run long enough to drain any tank: every one is refilled and none leaves the scale.
    int refills = 0;
    for (int minute = 2; minute < 60 * 24 * 3; ++minute) {
        bank.AdvanceTo(minute * 60.0);
        for (int a = 1; a <= 14; ++a) {
            auto r = bank.Reading(a);
            QVERIFY(r.flc >= SensorBank::kLowCode - 100 && r.flc <= SensorBank::kFullCode);
            QCOMPARE(r.flfr, static_cast<uint16_t>(20000 + 4 * r.flc));
        }
    }
    for (int a = 1; a <= 14; ++a)
        refills += bank.Refills(a) > 0;
    QCOMPARE(refills, 14);
}

void TestSensorSim::stillLevelsAndSeeds() {
    SensorBank still(3, 0), twin(3, 0), other(4, 0);
    still.AdvanceTo(1e6);
    bool differs = false, belowZero = false;
    for (int a = 1; a <= 14; ++a) {
        QCOMPARE(still.Reading(a).flc, twin.Reading(a).flc);
        QCOMPARE(still.Reading(a).temp, twin.Reading(a).temp);
        differs |= still.Reading(a).flc != other.Reading(a).flc;
        belowZero |= still.Reading(a).temp < 0;
    }
    QVERIFY(differs);   // the seed chooses the levels
    QVERIFY(belowZero); // some tanks stand outside in frost
    QCOMPARE(still.Refills(1), 0);
}

void TestSensorSim::parserCutsRequests() {
    RequestParser p;
    Counters c;
    // The station's own data request to address 1.
    std::vector<uint8_t> first = {0x31, 0x01, 0x06, 0x6C};
    QCOMPARE(p.Feed(first.data(), 4, c), (std::vector<Request>{{1, 6}}));
    // Junk, a 0x31 frame with a wrong CRC, then a request split over two reads.
    std::vector<uint8_t> cfg14 = RequestBytes(14, Frames::kCmdConfig);
    QCOMPARE(cfg14, (std::vector<uint8_t>{0x31, 0x0E, 0x04, 0xC8}));
    std::vector<uint8_t> stream = {0x00, 0xFF, 0x31, 0x02, 0x06, 0x00};
    stream.insert(stream.end(), cfg14.begin(), cfg14.begin() + 2);
    QVERIFY(p.Feed(stream.data(), stream.size(), c).empty());
    QCOMPARE(p.Feed(cfg14.data() + 2, 2, c), (std::vector<Request>{{14, 4}}));
    QCOMPARE(c.requests, 2u);
    QVERIFY(c.badRequests >= 1);
    QVERIFY(c.junkBytes >= 2);
}

void TestSensorSim::dataAndConfigReplies() {
    SimOptions o;
    SensorBank bank(1, 0);
    Responder r(o, bank);
    auto data = r.Answer({5, Frames::kCmdData});
    QVERIFY(data);
    std::vector<uint8_t> bytes = data->Bytes();
    QCOMPARE(bytes.size(), 9u);
    QVERIFY(Frames::CheckReply(bytes));
    QCOMPARE(bytes[1], uint8_t(5));
    QCOMPARE(bytes[2], Frames::kCmdData);
    Frames::DataReading got;
    QVERIFY(Frames::DecodeData(bytes.data() + 3, bytes.size() - 4, got));
    QCOMPARE(got.flc, bank.Reading(5).flc);
    QCOMPARE(got.temp, bank.Reading(5).temp);
    QCOMPARE(got.flfr, bank.Reading(5).flfr);
    QCOMPARE(data->delayMs, o.delayMs);

    auto cfg = r.Answer({14, Frames::kCmdConfig});
    QVERIFY(cfg);
    bytes = cfg->Bytes();
    QCOMPARE(bytes.size(), Frames::kConfigReplyLength);
    QVERIFY(Frames::CheckReply(bytes));
    QCOMPARE(bytes[1], uint8_t(14));
    QCOMPARE(bytes[2], Frames::kCmdConfig);
    QCOMPARE(r.counters().data, 1u);
    QCOMPARE(r.counters().cfg, 1u);
}

void TestSensorSim::silenceAndIgnoredRequests() {
    SimOptions o = Parsed({"--answer", "1-6", "--silent", "2", "--silent-cfg", "3"});
    SensorBank bank(1, 0);
    Responder r(o, bank);
    QVERIFY(!r.Answer({2, Frames::kCmdData}));
    QVERIFY(!r.Answer({2, Frames::kCmdConfig}));
    QVERIFY(r.Answer({3, Frames::kCmdData}));
    QVERIFY(!r.Answer({3, Frames::kCmdConfig}));
    QCOMPARE(r.counters().withheld, 3u);
    QVERIFY(!r.Answer({7, Frames::kCmdData})); // no sensor there
    QVERIFY(!r.Answer({0, Frames::kCmdData})); // outside the line's addresses
    QVERIFY(!r.Answer({15, Frames::kCmdData}));
    QVERIFY(!r.Answer({1, 0x05})); // unknown command
    QCOMPARE(r.counters().ignored, 4u);
    QCOMPARE(r.counters().data, 1u);
}

void TestSensorSim::faultsShapeTheReply() {
    SimOptions o = Parsed({"--bad-crc", "1", "--join", "2", "--stray", "3", "--stray-bytes", "3",
                           "--split", "4", "--split-at", "6", "--split-pause", "250", "--late", "5",
                           "--late-ms", "1200"});
    SensorBank bank(1, 0);
    Responder r(o, bank);
    std::vector<uint8_t> bad = r.Answer({1, Frames::kCmdData})->Bytes();
    QCOMPARE(bad.size(), 9u);
    QVERIFY(!Frames::CheckReply(bad));
    bad.back() ^= 0x5A;
    QVERIFY(Frames::CheckReply(bad)); // only the CRC was spoilt

    std::vector<uint8_t> joined = r.Answer({2, Frames::kCmdData})->Bytes();
    QCOMPARE(joined.size(), 18u);
    std::vector<uint8_t> one(joined.begin(), joined.begin() + 9);
    QVERIFY(Frames::CheckReply(one));
    QVERIFY(std::equal(one.begin(), one.end(), joined.begin() + 9));

    std::vector<uint8_t> stray = r.Answer({3, Frames::kCmdData})->Bytes();
    QCOMPARE(stray.size(), 12u);
    QVERIFY(stray[0] != Frames::kReplyStart);
    QVERIFY(Frames::CheckReply(std::vector<uint8_t>(stray.begin() + 3, stray.end())));

    Transmission split = *r.Answer({4, Frames::kCmdConfig});
    QCOMPARE(split.segments.size(), 2u);
    QCOMPARE(split.segments[0].bytes.size(), 6u);
    QCOMPARE(split.segments[1].bytes.size(), 6u);
    QCOMPARE(split.segments[1].pauseMs, 250.0);
    QVERIFY(Frames::CheckReply(split.Bytes()));

    Transmission late = *r.Answer({5, Frames::kCmdData});
    QCOMPARE(late.delayMs, 1200.0);
    QVERIFY(Frames::CheckReply(late.Bytes()));
    const Counters& c = r.counters();
    QCOMPARE(c.badCrc + c.joined + c.stray + c.split + c.late, 5u);
    QVERIFY(FormatCounters(c).find("bad-crc=1 joined=1 split=1 stray=1 late=1") !=
            std::string::npos);

    // By chance: a probability of 1 spoils every reply, 0 none.
    SimOptions always = Parsed({"--bad-crc-prob", "1"});
    Responder sure(always, bank);
    for (int a = 1; a <= 14; ++a)
        QVERIFY(!Frames::CheckReply(sure.Answer({uint8_t(a), Frames::kCmdData})->Bytes()));
}

void TestSensorSim::lineTimesBytes() {
    PacedLine line(1.0); // one byte a millisecond keeps the arithmetic plain
    QVERIFY(line.Idle());
    Transmission t{5, {Segment{0, {1, 2, 3}}, Segment{300, {4, 5}}}};
    line.Queue(100, t);
    QCOMPARE(*line.NextDueMs(), 106.0);
    QVERIFY(line.Take(105.9).empty());
    QCOMPARE(line.Take(107), (std::vector<uint8_t>{1, 2}));
    QCOMPARE(line.Take(108), (std::vector<uint8_t>{3}));
    // The pause follows the end of byte 3 at 108 ms.
    QCOMPARE(*line.NextDueMs(), 409.0);
    QVERIFY(line.Take(408).empty());
    QCOMPARE(line.Take(1000), (std::vector<uint8_t>{4, 5}));
    QVERIFY(line.Idle());
    QCOMPARE(kByteMs, 10000.0 / 19200); // 19200 baud, 10 bits a character
}

void TestSensorSim::answersNeverInterleave() {
    PacedLine line(1.0);
    // A late answer queued first but due later, and one due at once that is long.
    line.Queue(0, Transmission{10, {Segment{0, {0xA1, 0xA2}}}});
    line.Queue(0, Transmission{0, {Segment{0, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}}}});
    line.Queue(0, Transmission{3, {Segment{0, {}}}}); // nothing to send: dropped
    std::vector<uint8_t> all = line.Take(100);
    QCOMPARE(all, (std::vector<uint8_t>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 0xA1, 0xA2}));
    QVERIFY(line.Idle());
    // The late answer waited for the line: its first byte ended at 13 ms, not 11 ms.
    PacedLine again(1.0);
    again.Queue(0, Transmission{10, {Segment{0, {0xA1}}}});
    again.Queue(0, Transmission{0, {Segment{0, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}}}});
    QCOMPARE(again.Take(12).size(), 12u);
    QCOMPARE(*again.NextDueMs(), 13.0);
    QVERIFY(again.Take(12.9).empty());
    QCOMPARE(again.Take(13).size(), 1u);
    // Taken all at once, the line's time still runs as if each byte had its own moment.
    PacedLine batch(1.0);
    batch.Queue(0, Transmission{10, {Segment{0, {0xA1}}}});
    batch.Queue(0, Transmission{0, {Segment{0, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}}}});
    QCOMPARE(batch.Take(100).size(), 13u);
    batch.Queue(11.5, Transmission{0, {Segment{0, {7}}}});
    QCOMPARE(*batch.NextDueMs(), 14.0); // after the late byte's end at 13 ms
}

QTEST_APPLESS_MAIN(TestSensorSim)
#include "test_sensor_sim.moc"

// Each scenario, started at 100 s on still tanks, against the change it must make by the
// time it is over, and a tank it must leave alone.
// The dropped-out sensor is silent for five minutes, two minutes into the scenarios, and
// the noisy one strays by up to 0.5 % of the scale.
void TestSensorSim::dropoutAndNoise() {
    const SimOptions o = Parsed({"--scenario=dropout,noise", "--fall=0"});
    SensorBank bank(3, 0);
    bank.SetScenarios(o.scenarios, o.scenarioStartS);
    Responder r(o, bank);
    QVERIFY(r.Answer({4, Frames::kCmdData}));
    bank.AdvanceTo(o.scenarioStartS + 150);
    QVERIFY(!r.Answer({4, Frames::kCmdData}));
    QVERIFY(r.Answer({3, Frames::kCmdData}));
    bank.AdvanceTo(o.scenarioStartS + 430);
    QVERIFY(r.Answer({4, Frames::kCmdData}));
    int low = 4095, high = 0;
    for (int i = 0; i < 200; ++i) {
        const int flc = bank.Reading(6).flc;
        low = std::min(low, flc);
        high = std::max(high, flc);
    }
    QVERIFY(high - low > 10 && high - low <= 41);
    QVERIFY(!ParseOptions({"--scenario", "flood"}).ok);
}

void TestSensorSim::scenariosPlayOnTheirTanks_data() {
    QTest::addColumn<QString>("scenario");
    QTest::addColumn<int>("tank");
    QTest::addColumn<int>("codes"); // the change of the level, in codes
    QTest::addColumn<int>("degrees");
    QTest::newRow("delivery") << "delivery" << 1 << 1500 << 0;
    QTest::newRow("theft") << "theft" << 2 << -300 << 0;
    QTest::newRow("cooldown") << "cooldown" << 5 << -1 << -15;
}

void TestSensorSim::scenariosPlayOnTheirTanks() {
    QFETCH(QString, scenario);
    QFETCH(int, tank);
    QFETCH(int, codes);
    QFETCH(int, degrees);
    const SimOptions o =
        Parsed({"--scenario", scenario.toStdString(), "--scenario-start", "100", "--fall", "0"});
    SensorBank bank(3, 0), plain(3, 0);
    bank.SetScenarios(o.scenarios, o.scenarioStartS);
    const Frames::DataReading before = bank.Reading(tank);
    for (int s = 10; s <= 3000; s += 10)
        bank.AdvanceTo(s);
    const Frames::DataReading after = bank.Reading(tank);
    if (codes < 0 && degrees != 0)
        QVERIFY(after.flc < before.flc); // the cooled fuel takes less room
    else
        QVERIFY(std::abs(after.flc - before.flc - codes) <= 1);
    QCOMPARE(after.temp - before.temp, degrees);
    QCOMPARE(bank.Reading(7).flc, plain.Reading(7).flc);
}
