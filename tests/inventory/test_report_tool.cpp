// The report tool through RunReport, as `main` runs it, on real data.db files: a two-day
// history with a delivery and a theft, and every kind of bad input, each of which must give
// its message and exit code and leave data.db as it was, byte for byte.
#include "Balance.h"
#include "Clock.h"
#include "Csv.h"
#include "InventoryData.h"
#include "ReportTool.h"
#include "SQLiteDatabase.h"
#include "Statements.h"
#include "TItemNode.h"
#include "TextFormats.h"
#include "TwoDayHistory.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>

#include <cerrno>
#include <csignal>
#include <sstream>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <system_error>
#include <unistd.h>

namespace {

const double kDay0 = TextFormats::Join(2026, 3, 2); // local
constexpr double kOffset = 2.0 / 24;

QByteArray Hash(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256);
}

struct Run {
    int code = 0;
    std::string out, err;
};

} // namespace

class ReportToolTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    QString db_;
    ManualClock clock_{kDay0 + 10, kOffset};

    Run Report(QStringList args) {
        std::vector<std::string> a;
        for (QString s : args)
            a.push_back(s.replace("$DIR", dir_.path()).toStdString());
        std::ostringstream out, err;
        Run r;
        r.code = RunReport(a, out, err, clock_);
        r.out = out.str();
        r.err = err.str();
        return r;
    }

private slots:
    void initTestCase();
    void dailyShowsTheDeliveryAndTheTheft();
    void readingsAndSummaryOfThePeriod();
    void summaryNamesThePeriodsLastDayAndCountsTanks_data();
    void summaryNamesThePeriodsLastDayAndCountsTanks();
    void helpIsUsageAndSuccess_data();
    void helpIsUsageAndSuccess();
    void badInput_data();
    void badInput();
    void outputThroughADeviceNode();
    void outputKeepsWhatTheUserCouldNotReplace();
    void fullDiskKeepsTheEarlierFile();
    void longPeriodAfterTodayCostsNothing();
    void hostileStoredRowsAreLeftOutAndCounted();
};

void ReportToolTest::initTestCase() {
    QVERIFY(dir_.isValid());
    db_ = dir_.filePath("data.db");
    {
        TSQLiteDatabase db(db_.toStdString());
        WriteTwoDayHistory(db, kDay0, kOffset, R"('North, "big"')", "Diesel");
    }
    // Other names of the same file: the output must never be any of them.
    QVERIFY(QFile::link(db_, dir_.filePath("link.db")));
    QVERIFY(::link(db_.toLocal8Bit().constData(),
                   dir_.filePath("hard.db").toLocal8Bit().constData()) == 0);
}

void ReportToolTest::dailyShowsTheDeliveryAndTheTheft() {
    const QByteArray before = Hash(db_);
    const Run r = Report({"--db", db_, "--what", "daily", "--tank", "1", "--from", "02/03/2026",
                          "--to", "03/03/2026", "-o", "-"});
    QCOMPARE(r.code, 0);
    QCOMPARE(r.err, std::string());
    QVERIFY(r.out.rfind(std::string(Csv::kBom), 0) == 0);
    const auto rec = Csv::Parse(r.out);
    QCOMPARE(rec.size(), std::size_t(3));
    const auto col = [&](const char* name) {
        const auto it = std::find(rec[0].begin(), rec[0].end(), std::string(name));
        return std::size_t(it - rec[0].begin());
    };
    const auto num = [&](int row, const char* name) { return std::stod(rec[row][col(name)]); };
    QCOMPARE(rec[1][1], std::string("North, \"big\""));
    QCOMPARE(rec[1][2], std::string("02/03/2026"));
    QCOMPARE(rec[2][2], std::string("03/03/2026"));
    QVERIFY2(std::abs(num(1, "Delivered net, l") - 8000) < 80,
             rec[1][col("Delivered net, l")].c_str());
    QCOMPARE(num(1, "Lost, l"), 0.0);
    QCOMPARE(num(2, "Delivered, l"), 0.0);
    QVERIFY2(std::abs(num(2, "Lost net, l") - 600) < 20, rec[2][col("Lost net, l")].c_str());
    for (int d = 1; d <= 2; ++d) {
        QCOMPARE(num(d, "Consumed, l"), num(d, "Opening gross, l") - num(d, "Closing gross, l") +
                                            num(d, "Delivered, l") - num(d, "Lost, l"));
        QVERIFY(std::abs(num(d, "Consumed net, l") - 24 * 40) < 40);
        QCOMPARE(rec[d][col("Complete")], std::string("yes"));
    }
    QCOMPARE(rec[2][col("Opening gross, l")], rec[1][col("Closing gross, l")]);
    QCOMPARE(Hash(db_), before);
}

void ReportToolTest::readingsAndSummaryOfThePeriod() {
    const QString csv = dir_.filePath("readings.csv");
    Run r = Report({"--db", db_, "--what", "readings", "--tank", "2", "--from", "03/03/2026",
                    "--to", "03/03/2026", "-o", csv});
    QCOMPARE(r.code, 0);
    QFile f(csv);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const auto rec = Csv::Parse(f.readAll().toStdString());
    QVERIFY(rec.size() > 1100 && rec.size() < 1200); // one a 74 s cycle
    QCOMPARE(rec[1][0], std::string("03/03/2026 00:00:" + rec[1][0].substr(17)));
    QCOMPARE(rec.back()[0].substr(0, 13), std::string("03/03/2026 23"));

    r = Report({"--db", db_, "--what", "summary", "--tank", "all", "--from", "02/03/2026", "--to",
                "03/03/2026", "-o", "-"});
    QCOMPARE(r.code, 0);
    const auto sum = Csv::Parse(r.out);
    QCOMPARE(sum.size(), std::size_t(1 + 2 + 1)); // two active tanks, one fuel type
    QCOMPARE(sum[3][0], std::string("Total"));
    QCOMPARE(sum[3][2], std::string("Diesel"));

    r = Report({"--db", db_, "--what", "events", "--tank", "all", "--from", "02/03/2026", "--to",
                "03/03/2026", "-o", "-"});
    QCOMPARE(r.code, 0);
    const auto ev = Csv::Parse(r.out);
    QCOMPARE(ev.size(), std::size_t(3)); // found now: the file has no EVENTS table
    QCOMPARE(ev[1][2], std::string("delivery"));
    QCOMPARE(ev[2][2], std::string("loss"));
}

void ReportToolTest::summaryNamesThePeriodsLastDayAndCountsTanks_data() {
    QTest::addColumn<QString>("tank");
    QTest::addColumn<QString>("to");
    QTest::addColumn<QStringList>("shifts");
    QTest::addColumn<QString>("lastField");
    QTest::addColumn<QString>("count");
    QTest::newRow("two days, both tanks") << "all"
                                          << "03/03/2026" << QStringList() << "03/03/2026"
                                          << "2 tanks";
    QTest::newRow("one day, one tank") << "1"
                                       << "02/03/2026" << QStringList() << "02/03/2026"
                                       << "1 tank";
    // Shifts end the period at the next day's first shift: that moment is named as it is.
    QTest::newRow("shifts") << "2"
                            << "02/03/2026" << QStringList{"--shifts", "06:00,18:00"}
                            << "03/03/2026 06:00:00"
                            << "1 tank";
}

void ReportToolTest::summaryNamesThePeriodsLastDayAndCountsTanks() {
    QFETCH(QString, tank);
    QFETCH(QString, to);
    QFETCH(QStringList, shifts);
    QFETCH(QString, lastField);
    QFETCH(QString, count);
    const Run r = Report(QStringList{"--db", db_, "--what", "summary", "--tank", tank, "--from",
                                     "02/03/2026", "--to", to, "-o", "-"} +
                         shifts);
    QCOMPARE(r.code, 0);
    const auto rec = Csv::Parse(r.out);
    QVERIFY(rec.size() >= 3);
    const auto col = [&](const char* name) {
        return std::size_t(std::find(rec[0].begin(), rec[0].end(), std::string(name)) -
                           rec[0].begin());
    };
    for (std::size_t i = 1; i < rec.size(); ++i) {
        QCOMPARE(rec[i][col("To")], lastField.toStdString());
        QCOMPARE(rec[i][col("From")].substr(0, 10), std::string("02/03/2026"));
    }
    QCOMPARE(rec.back()[0], std::string("Total"));
    QCOMPARE(rec.back()[1], count.toStdString());
}

void ReportToolTest::helpIsUsageAndSuccess_data() {
    QTest::addColumn<QStringList>("args");
    QTest::newRow("--help") << QStringList{"--help"};
    QTest::newRow("-h") << QStringList{"-h"};
    QTest::newRow("among other arguments") << QStringList{"--what", "daily", "-h", "--tank"};
}

void ReportToolTest::helpIsUsageAndSuccess() {
    QFETCH(QStringList, args);
    const Run r = Report(args);
    QCOMPARE(r.code, 0);
    QCOMPARE(r.err, std::string());
    QVERIFY2(r.out.rfind("usage: tavrona-report", 0) == 0, r.out.c_str());
    QVERIFY(r.out.find("--what") != std::string::npos);
    QVERIFY(r.out.find("Exit codes") != std::string::npos);
    // Both forms name the book's reports, the central one too.
    const std::size_t central = r.out.find("--central CONNINFO [");
    QVERIFY(central != std::string::npos);
    QVERIFY(r.out.find("reconciliation|deliveries") < central);
    QVERIFY(r.out.find("reconciliation|deliveries", central) != std::string::npos);
}

void ReportToolTest::badInput_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("message");
    const QStringList period{"--from", "02/03/2026", "--to", "03/03/2026"};
    const QStringList ok =
        QStringList{"--db", "$DIR/data.db", "--what", "daily", "--tank", "1"} + period;
    QTest::newRow("missing file") << (QStringList{"--db", "$DIR/none.db", "--what", "daily",
                                                  "--tank", "1"} +
                                      period + QStringList{"-o", "-"})
                                  << 3 << "no such file: ";
    QTest::newRow("not a database")
        << (QStringList{"--db", "$DIR/junk.db", "--what", "daily", "--tank", "1"} + period +
            QStringList{"-o", "-"})
        << 3 << "cannot read ";
    QTest::newRow("unknown tank") << (QStringList{"--db", "$DIR/data.db", "--what", "daily",
                                                  "--tank", "15"} +
                                      period + QStringList{"-o", "-"})
                                  << 4 << "there is no tank 15";
    QTest::newRow("tank out of range")
        << (QStringList{"--db", "$DIR/data.db", "--what", "daily", "--tank", "256"} + period +
            QStringList{"-o", "-"})
        << 2 << "--tank must be";
    QTest::newRow("reversed period")
        << QStringList{"--db",   "$DIR/data.db", "--what", "daily",      "--tank", "1",
                       "--from", "03/03/2026",   "--to",   "02/03/2026", "-o",     "-"}
        << 2 << "the period is reversed";
    QTest::newRow("no such day") << QStringList{"--db",       "$DIR/data.db", "--what",
                                                "daily",      "--tank",       "1",
                                                "--from",     "30/02/2026",   "--to",
                                                "03/03/2026", "-o",           "-"}
                                 << 2 << "--from must be a date as dd/mm/yyyy";
    QTest::newRow("other date format")
        << QStringList{"--db",   "$DIR/data.db", "--what", "daily",      "--tank", "1",
                       "--from", "2026-03-02",   "--to",   "03/03/2026", "-o",     "-"}
        << 2 << "--from must be a date";
    QTest::newRow("unknown report") << QStringList{"--what", "totals"} << 2 << "--what must be";
    QTest::newRow("no output") << ok << 2 << "-o is missing";
    QTest::newRow("value missing") << (ok + QStringList{"-o"}) << 2 << "\"-o\" needs a value";
    // The system's reason follows the file's name.
    const auto reason = [](int code) {
        return "\": " + QString::fromStdString(std::generic_category().message(code));
    };
    QTest::newRow("unwritable output")
        << (ok + QStringList{"-o", "$DIR/no/such/dir/x.csv"}) << 5
        << "cannot write \"" + dir_.path() + "/no/such/dir/x.csv" + reason(ENOENT);
    QTest::newRow("output is a folder") << (ok + QStringList{"-o", "$DIR"}) << 5
                                        << "cannot write \"" + dir_.path() + "\": it is a folder";
    QTest::newRow("inactive tank")
        << (QStringList{"--db", "$DIR/data.db", "--what", "daily", "--tank", "9"} + period +
            QStringList{"-o", "-"})
        << 4 << "tank 9 is inactive";
    QTest::newRow("readings as a PDF")
        << (QStringList{"--db", "$DIR/data.db", "--what", "readings", "--tank", "1"} + period +
            QStringList{"--format", "pdf", "-o", "$DIR/r.pdf"})
        << 2 << "readings are written as CSV only";
    QTest::newRow("output is the database")
        << (ok + QStringList{"-o", "$DIR/data.db"}) << 2 << "is the database";
    QTest::newRow("output is the database by another path")
        << (ok + QStringList{"-o", "$DIR/./data.db"}) << 2 << "is the database";
    QTest::newRow("output is a link to the database")
        << (ok + QStringList{"-o", "$DIR/link.db"}) << 2 << "is the database";
    QTest::newRow("output is a hard link of the database")
        << (ok + QStringList{"-o", "$DIR/hard.db"}) << 2 << "is the database";
    QTest::newRow("the database through a link, the output the file")
        << (QStringList{"--db", "$DIR/link.db", "--what", "daily", "--tank", "1"} + period +
            QStringList{"-o", "$DIR/data.db"})
        << 2 << "is the database";
    QTest::newRow("an option twice")
        << (ok + QStringList{"--tank", "2", "-o", "-"}) << 2 << "\"--tank\" is given twice";
    QTest::newRow("output twice") << (ok + QStringList{"-o", "-", "-o", "$DIR/x.csv"}) << 2
                                  << "\"-o\" is given twice";
    QTest::newRow("a period of centuries")
        << QStringList{"--db",   "$DIR/data.db", "--what", "daily",      "--tank", "1",
                       "--from", "01/01/1900",   "--to",   "31/12/9999", "-o",     "-"}
        << 2 << "longer than 100 years";
}

void ReportToolTest::badInput() {
    QFETCH(QStringList, args);
    QFETCH(int, code);
    QFETCH(QString, message);
    QFile junk(dir_.filePath("junk.db"));
    QVERIFY(junk.open(QIODevice::WriteOnly));
    junk.write(QByteArray(4096, 'x'));
    junk.close();
    const QByteArray before = Hash(db_), junkBefore = Hash(junk.fileName());
    const Run r = Report(args);
    QCOMPARE(r.code, code);
    QVERIFY2(r.err.find(message.toStdString()) != std::string::npos, r.err.c_str());
    QCOMPARE(r.out, std::string());
    QCOMPARE(Hash(db_), before);
    QCOMPARE(Hash(junk.fileName()), junkBefore);
    QVERIFY(!QFile::exists(dir_.filePath("none.db")));
}

// A device node is written through and stays the node; one that cannot take the bytes is
// a failure, not a success.
void ReportToolTest::outputThroughADeviceNode() {
    const QStringList args{"--db",   db_,          "--what", "daily",      "--tank", "1",
                           "--from", "02/03/2026", "--to",   "03/03/2026", "-o"};
    QCOMPARE(Report(args + QStringList{"/dev/null"}).code, 0);
    struct stat st {};
    QCOMPARE(::stat("/dev/null", &st), 0);
    QVERIFY(S_ISCHR(st.st_mode));
    const Run full = Report(args + QStringList{"/dev/full"});
    QCOMPARE(full.code, 5);
    QVERIFY(full.err.find("cannot write \"/dev/full\"") != std::string::npos);
    QCOMPARE(::stat("/dev/full", &st), 0);
    QVERIFY(S_ISCHR(st.st_mode));
}

// A hard-linked report stays one file under both names; a read-only one is refused (unless
// the user may write it anyway, as root may), never replaced by a new file.
void ReportToolTest::outputKeepsWhatTheUserCouldNotReplace() {
    const QStringList args{"--db",   db_,          "--what", "daily",      "--tank", "1",
                           "--from", "02/03/2026", "--to",   "03/03/2026", "-o"};
    const QString a = dir_.filePath("a.csv"), b = dir_.filePath("b.csv");
    QFile::remove(a);
    QFile::remove(b);
    QVERIFY(QFile(a).open(QIODevice::WriteOnly));
    QCOMPARE(::link(a.toLocal8Bit().constData(), b.toLocal8Bit().constData()), 0);
    QCOMPARE(Report(args + QStringList{a}).code, 0);
    QVERIFY(QFileInfo(b).size() > 0);
    QCOMPARE(Hash(a), Hash(b));

    const QString ro = dir_.filePath("ro.csv");
    QFile::remove(ro);
    {
        QFile f(ro);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("earlier");
    }
    QVERIFY(QFile::setPermissions(ro, QFile::ReadOwner));
    struct stat before {};
    QCOMPARE(::stat(ro.toLocal8Bit().constData(), &before), 0);
    const Run r = Report(args + QStringList{ro});
    struct stat after {};
    QCOMPARE(::stat(ro.toLocal8Bit().constData(), &after), 0);
    QCOMPARE(after.st_ino, before.st_ino); // the same file, not a new one in its place
    QCOMPARE(after.st_mode, before.st_mode);
    if (::geteuid() != 0) {
        QCOMPARE(r.code, 5);
        QFile f(ro);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), QByteArray("earlier"));
    }
    QFile::setPermissions(ro, QFile::ReadOwner | QFile::WriteOwner);
}

// The disk fills while the report is written (a file size limit, in a child process): the
// earlier report stays whole, and nothing is left beside it.
void ReportToolTest::fullDiskKeepsTheEarlierFile() {
    const QString out = dir_.filePath("full.csv");
    const QByteArray earlier(300, 'e');
    {
        QFile f(out);
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(earlier);
    }
    // data.db is in write-ahead logging: a reader maps its shared-memory file, which the
    // size limit below would not let the report create; held open here, it is there.
    TSQLiteDatabase reader(db_.toStdString(), TSQLiteDatabase::Mode::ReadOnly);
    QVERIFY(reader.TableExists("DATA"));
    const QStringList before = QDir(dir_.path()).entryList(QDir::Files | QDir::Hidden);
    const pid_t child = ::fork();
    QVERIFY(child >= 0);
    if (child == 0) {
        ::signal(SIGXFSZ, SIG_IGN);
        rlimit limit{200, 200};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        const Run r = Report({"--db", db_, "--what", "readings", "--tank", "1", "--from",
                              "02/03/2026", "--to", "03/03/2026", "-o", out});
        ::_exit(r.code);
    }
    int status = 0;
    QCOMPARE(::waitpid(child, &status, 0), child);
    QVERIFY(WIFEXITED(status));
    QCOMPARE(WEXITSTATUS(status), 5);
    QFile f(out);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), earlier);
    QCOMPARE(QDir(dir_.path()).entryList(QDir::Files | QDir::Hidden), before);
}

// Decades of days after today hold no reading: the report of them has the same days to
// empty as the report that ends today, and its rows after today are empty.
void ReportToolTest::longPeriodAfterTodayCostsNothing() {
    const double today = kDay0 + 1;
    const std::vector<int> noShifts;
    TSQLiteDatabase db(db_.toStdString(), TSQLiteDatabase::Mode::ReadOnly);
    auto tanks = LoadReportTanks(db);
    QVERIFY(!tanks.empty());
    const auto near = LoadTankReport(db, tanks.front(), BalanceBoundaries(kDay0, today, noShifts),
                                     kOffset, today + 0.9);
    const auto far = LoadTankReport(
        db, tanks.front(), BalanceBoundaries(kDay0, today + 36000, noShifts), kOffset, today + 0.9);
    QCOMPARE(far.balance.size(), near.balance.size() + 36000);
    QCOMPARE(far.toEmpty.has_value(), near.toEmpty.has_value());
    const auto nearMeans = MeanConsumption(near.balance, 14, false);
    const auto farMeans = MeanConsumption(far.balance, 14, false);
    for (std::size_t i = 0; i < nearMeans.size(); ++i)
        QCOMPARE(farMeans[i], nearMeans[i]);
    QVERIFY(!far.balance.back().complete);
    QVERIFY(!far.balance.back().consumed || *far.balance.back().consumed == 0);
}

// Rows no sensor could have sent are left out of the balance and counted on stderr; a
// calibration no tank can have is named and its capacity not shown.
void ReportToolTest::hostileStoredRowsAreLeftOutAndCounted() {
    const QString copy = dir_.filePath("hostile.db");
    QFile::remove(copy);
    QVERIFY(QFile::copy(db_, copy));
    const QStringList args{"--db",   copy,         "--what", "daily",      "--tank", "1",
                           "--from", "02/03/2026", "--to",   "03/03/2026", "-o",     "-"};
    const Run clean = Report(args);
    QCOMPARE(clean.code, 0);
    {
        TSQLiteDatabase db(copy.toStdString());
        const double utc = kDay0 + 0.5 - kOffset;
        for (const char* flevel : {"NULL", "'lots'", "9e999", "-9e999", "1e12", "-1", "12.5"})
            db.ExecSQL("INSERT INTO DATA (tstamp, adr, flevel, fcode, temp) VALUES (" +
                       TextFormats::Timestamp(utc) + ", 1, " + flevel + ", 100, 15)");
        db.ExecSQL("INSERT INTO DATA (tstamp, adr, flevel, fcode, temp) VALUES "
                   "(NULL, 1, 10, 100, 15)");
    }
    const Run hostile = Report(args);
    QCOMPARE(hostile.code, 0);
    QVERIFY2(hostile.out == clean.out, (clean.out + "----\n" + hostile.out).c_str());
    QVERIFY2(hostile.err.find("tank 1: 7 stored rows") != std::string::npos, hostile.err.c_str());
    QVERIFY(hostile.err.find("tank 1: 1 stored rows have no time") != std::string::npos);
    QVERIFY(hostile.err.find("calibration") == std::string::npos);
    {
        TSQLiteDatabase db(copy.toStdString());
        TClbArray absurd{};
        for (int k = 0; k < kClbEntryCount; ++k)
            absurd[k] = k == 4095 ? 2.1e8f : float(k);
        db.UpdateBlob(Sql::UpdateClb(1), EncodeClbArray(absurd));
    }
    const Run corrupt = Report(args);
    QCOMPARE(corrupt.code, 0);
    QVERIFY(corrupt.err.find("tank 1: the calibration cannot be right") != std::string::npos);
}

QTEST_GUILESS_MAIN(ReportToolTest)
#include "test_report_tool.moc"
