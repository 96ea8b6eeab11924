// A data.db written by hand, with contents the station never writes itself: NULLs, blobs of
// every wrong length, texts full of quotes and format signs, ids that are no sensor address,
// too many rows, duplicate ids, odd column types, a DATA table missing or reshaped. The
// station must start, show what it can, report what it must, and never crash.
#include "Database.h"
#include "FaultTools.h"
#include "MainUnit.h"
#include "ProcessData.h"
#include "Statements.h"
#include "TileList.h"

#include <QTabWidget>
#include <QTemporaryDir>
#include <QtTest>

#include <cstring>

namespace {

constexpr const char* kPlainTanks =
    "CREATE TABLE TANKS (id INTEGER,name TEXT,capacity INTEGER,ftype TEXT,act INTEGER,"
    "lfuel INTEGER,ofuel INTEGER,memo TEXT,pict BLOB,ftbl BLOB,clb BLOB)";

std::string FloatBytes(float v, std::size_t count) {
    std::string out(count * 4, '\0');
    for (std::size_t i = 0; i < count; ++i)
        std::memcpy(&out[i * 4], &v, 4);
    return out;
}

// The header of a BMP file that claims a picture far too large to decode.
std::string HugeBmpHeader() {
    std::string b(54, '\0');
    b[0] = 'B';
    b[1] = 'M';
    auto put32 = [&](int at, uint32_t v) { std::memcpy(&b[at], &v, 4); };
    put32(10, 54);
    put32(14, 40);
    put32(18, 60000); // width
    put32(22, 60000); // height
    b[26] = 1;        // planes
    b[28] = 24;       // bits per pixel
    return b;
}

} // namespace

class OddDatabaseTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir;
    int files = 0;
    std::string file;

    // A fresh file holding what the statements make.
    void Write(const std::vector<std::string>& statements) {
        file = dir.filePath(QStringLiteral("odd-%1.db").arg(++files)).toStdString();
        OtherProgram hand(file);
        for (const std::string& s : statements)
            QVERIFY2(hand.Exec(s) == 0, s.c_str());
    }
    // Blobs are bound by the hand-writing program, byte for byte.
    void WriteBlobs(const std::string& sql, const std::vector<std::string>& blobs) {
        OtherProgram hand(file);
        QVERIFY2(hand.ExecBlobs(sql, blobs) == 0, sql.c_str());
    }

    // Everything of the start-up a headless window runs, then every tile painted and the
    // Reports tab shown once.
    struct Started {
        RecordingMessages messages;
        ManualClock clock{41248.5};
        std::unique_ptr<TForm1> w;
        explicit Started(const std::string& file) {
            w = std::make_unique<TForm1>(messages, clock, file);
            if (w->StartFailed())
                return;
            w->VT->resize(700, 71 * std::max(1, Tiles().TankCount()) + 10);
            w->VT->grab();
            w->PageControl1->setCurrentIndex(1);
            w->PageControl1->setCurrentIndex(0);
        }
        TTileModel& Tiles() { return w->VT->Model(); }
        // A data reply arriving for the address, handled as the receive path does.
        void Reading(unsigned address, uint16_t code, int8_t temp = 20) {
            const uint8_t payload[5] = {uint8_t(temp), uint8_t(code & 0xFF), uint8_t(code >> 8), 0,
                                        0};
            Guarded(messages,
                    [&] { ProcessData(Tiles(), w->Db(), clock, messages, address, payload, 5); });
        }
        std::string Name(int i) { return Tiles().Tank(i).Name; }
    };

private slots:
    void nullsEverywhere() {
        Write({Sql::kCreateTanks, Sql::kCreateData, Sql::kCreateError,
               "INSERT INTO TANKS (id) VALUES (1), (2), (3)"});
        Started s(file);
        QVERIFY(!s.w->StartFailed());
        QVERIFY(s.messages.shown.empty());
        QCOMPARE(s.Tiles().TankCount(), 3);
        const TItemNode& n = s.Tiles().Tank(1);
        QCOMPARE(int(n.id), 2);
        QVERIFY(n.Name.empty() && n.FType.empty() && n.Memo.empty() && n.Img.empty());
        QVERIFY(!n.Act);
        QCOMPARE(n.Capacity, 0);
        QCOMPARE(n.LowFuel, 0);
        s.Reading(2, 77);
        QVERIFY(s.messages.shown.empty());
        QCOMPARE(OtherProgram(file).StoredCodes(), std::vector<int>{77});
    }

    void blobsOfEveryWrongLength() {
        Write({Sql::kCreateTanks, Sql::kCreateData, Sql::kCreateError});
        const std::vector<std::size_t> ftbl = {0, 1, 239, 241, 1 << 20};
        const std::vector<std::size_t> clb = {0, 1, 16383, 16385, 8 << 20};
        const std::vector<std::string> pict = {std::string(),
                                               "B",
                                               "BM",
                                               std::string(53, 'B'),
                                               HugeBmpHeader(),
                                               std::string(3 << 20, 'M')};
        for (int i = 0; i < 6; ++i) {
            const std::size_t f = ftbl[i % ftbl.size()], c = clb[i % clb.size()];
            WriteBlobs("INSERT INTO TANKS (id, name, act, pict, ftbl, clb) VALUES (" +
                           std::to_string(i + 1) + ", 'odd', 1, ?1, ?2, ?3)",
                       {pict[i], std::string(f, '\x01'),
                        FloatBytes(1234.5f, c / 4) + std::string(c % 4, '\x7f')});
        }
        Started s(file);
        QVERIFY(!s.w->StartFailed());
        QVERIFY(s.messages.shown.empty());
        QCOMPARE(s.Tiles().TankCount(), 6);
        // Shorter images change only the bytes they have; longer ones are cut.
        QCOMPARE(s.Tiles().Tank(0).Capacity, 0);                        // no clb bytes
        QCOMPARE(s.Tiles().Tank(2).ClbArray[4094], 1234.5f);            // 16383 bytes
        QCOMPARE(s.Tiles().Tank(2).Capacity, 0);                        // entry 4095 incomplete
        QCOMPARE(s.Tiles().Tank(3).Capacity, 1234);                     // 16385 bytes, ties to even
        QCOMPARE(s.Tiles().Tank(4).Capacity, 1234);                     // 8 MB
        QCOMPARE(int(s.Tiles().Tank(2).FTable[29].Litres), 0x00010101); // 239 bytes
        QCOMPARE(int(s.Tiles().Tank(3).FTable[29].Code), 0x0101);
        for (int i = 0; i < 6; ++i)
            s.Reading(unsigned(i + 1), 4095);
        QVERIFY(s.messages.shown.empty());
        QCOMPARE(s.Tiles().Tank(4).FL, 1234);
        QCOMPARE(OtherProgram(file).StoredCodes().size(), std::size_t(6));
    }

    void textsWithQuotesAndPercents() {
        const std::string odd = "O'Brien \"50%\" %s %n %d %% \\ ; --";
        Write({Sql::kCreateTanks, Sql::kCreateData, Sql::kCreateError});
        WriteBlobs("INSERT INTO TANKS (id, name, ftype, memo, act) VALUES (1, CAST(?1 AS TEXT), "
                   "CAST(?1 AS TEXT), CAST(?1 AS TEXT), 1), (2, 'name', 'ftype', 'memo', 0)",
                   {odd});
        Started s(file);
        QVERIFY(s.messages.shown.empty());
        QCOMPARE(s.Name(0), odd);
        QCOMPARE(s.Tiles().Tank(0).Memo, odd);
        QCOMPARE(s.Tiles().data(s.Tiles().index(0), Qt::DisplayRole).toString(),
                 QString::fromLatin1(odd));
        // Saved back unchanged, and it touches no other row.
        SaveTank(s.w->Db(), s.Tiles().Tank(0), s.messages);
        QVERIFY(s.messages.shown.empty());
        OtherProgram check(file);
        QCOMPARE(check.Column("SELECT name FROM TANKS ORDER BY id"),
                 (std::vector<std::string>{odd, "name"}));
        QCOMPARE(check.Column("SELECT ftype || memo FROM TANKS WHERE id = 2"),
                 std::vector<std::string>{"ftypememo"});
    }

    // Rows whose id no 8-bit record can hold would alias another tank: saving one of them
    // would overwrite that tank's row. They are left out and reported, once.
    void idsOutsideTheAddressRange() {
        Write({Sql::kCreateTanks, Sql::kCreateData, Sql::kCreateError,
               "INSERT INTO TANKS (id, name) VALUES (0, 'zero'), (-1, 'minus'), (1, 'one'), "
               "(3, 'three'), (15, 'fifteen'), (259, 'alias of three'), "
               "(2147483648, 'two to the 31st'), (4294967297, 'alias of one')"});
        Started s(file);
        QVERIFY(!s.w->StartFailed());
        QCOMPARE(int(s.messages.shown.size()), 1);
        const QString report = QString::fromStdString(s.messages.shown[0]);
        QVERIFY2(report.contains("259") && report.contains("2147483648") && report.contains("-1") &&
                     report.contains("4294967297"),
                 s.messages.shown[0].c_str());
        std::vector<std::string> names;
        for (int i = 0; i < s.Tiles().TankCount(); ++i)
            names.push_back(s.Name(i));
        QCOMPARE(names, (std::vector<std::string>{"zero", "one", "three", "fifteen"}));
        // Saving every tank shown changes only its own row.
        for (int i = 0; i < s.Tiles().TankCount(); ++i)
            SaveTank(s.w->Db(), s.Tiles().Tank(i), s.messages);
        OtherProgram check(file);
        QCOMPARE(check.Column("SELECT name FROM TANKS ORDER BY id"),
                 (std::vector<std::string>{"minus", "zero", "one", "three", "fifteen",
                                           "alias of three", "two to the 31st", "alias of one"}));
        s.Reading(3, 333);
        s.Reading(15, 1515);
        QCOMPARE(int(s.Tiles().Tank(2).FLC), 333);
        QCOMPARE(check.StoredCodes(), (std::vector<int>{333, 1515}));
    }

    void thirtyRows() {
        std::vector<std::string> sql = {Sql::kCreateTanks, Sql::kCreateData, Sql::kCreateError};
        for (int i = 1; i <= 30; ++i)
            sql.push_back("INSERT INTO TANKS (id, name, act) VALUES (" + std::to_string(i) +
                          ", 'T" + std::to_string(i) + "', 1)");
        Write(sql);
        Started s(file);
        QVERIFY(s.messages.shown.empty());
        QCOMPARE(s.Tiles().TankCount(), 30);
        QCOMPARE(s.Name(29), std::string("T30"));
        s.Reading(30, 3030);
        QCOMPARE(int(s.Tiles().Tank(29).FLC), 3030);
    }

    // Without a key two rows may share an id; only the first can ever get readings.
    void duplicateIds() {
        Write({kPlainTanks, Sql::kCreateData, Sql::kCreateError,
               "INSERT INTO TANKS (id, name) VALUES (2, 'first two'), (2, 'second two'), "
               "(NULL, 'no id'), (5, 'five')"});
        Started s(file);
        QVERIFY(!s.w->StartFailed());
        QCOMPARE(int(s.messages.shown.size()), 1);
        QVERIFY2(QString::fromStdString(s.messages.shown[0]).contains("2"),
                 s.messages.shown[0].c_str());
        std::vector<std::string> names;
        for (int i = 0; i < s.Tiles().TankCount(); ++i)
            names.push_back(s.Name(i));
        QCOMPARE(names, (std::vector<std::string>{"first two", "no id", "five"}));
        s.Reading(2, 22);
        QCOMPARE(int(s.Tiles().Tank(0).FLC), 22);
    }

    void wrongColumnTypes() {
        Write({"CREATE TABLE TANKS (id TEXT,name BLOB,capacity TEXT,ftype REAL,act TEXT,"
               "lfuel REAL,ofuel BLOB,memo INTEGER,pict TEXT,ftbl INTEGER,clb TEXT)",
               Sql::kCreateData, Sql::kCreateError,
               "INSERT INTO TANKS VALUES ('1', X'41004243', 'lots', 3.25, 'yes', 1e300, "
               "X'FFFF', 'not a number', 'BM', 42, 'short')",
               "INSERT INTO TANKS VALUES ('seven', 12, NULL, 'x', 1, -1e300, 7, 8, 9, 10.5, "
               "X'')",
               "INSERT INTO TANKS VALUES (2.9, NULL, NULL, NULL, '1', NULL, NULL, NULL, NULL, "
               "NULL, NULL)"});
        Started s(file);
        QVERIFY(!s.w->StartFailed());
        QCOMPARE(s.Tiles().TankCount(), 3);
        QCOMPARE(std::string(s.Name(0)), std::string("A\0BC", 4));
        QVERIFY(!s.Tiles().Tank(0).Act);
        QVERIFY(s.Tiles().Tank(2).Act);
        s.Reading(1, 11);
        s.Reading(2, 22);
        QCOMPARE(OtherProgram(file).StoredCodes(), (std::vector<int>{11, 22}));
    }

    void dataTableMissing() {
        Write({Sql::kCreateTanks, "INSERT INTO TANKS (id, name) VALUES (1, 'one')"});
        Started s(file);
        QVERIFY(s.messages.shown.empty());
        s.Reading(1, 5);
        QVERIFY(s.messages.shown.empty());
        QCOMPARE(OtherProgram(file).StoredCodes(), std::vector<int>{5});
    }

    void dataTableWithExtraColumns() {
        Write({Sql::kCreateTanks, Sql::kCreateError,
               "CREATE TABLE DATA (id INTEGER PRIMARY KEY, tstamp REAL, adr INTEGER, note TEXT "
               "DEFAULT 'x', flevel INTEGER, fcode INTEGER, temp INTEGER, extra BLOB)",
               "INSERT INTO TANKS (id, name) VALUES (1, 'one')"});
        Started s(file);
        QVERIFY(s.messages.shown.empty());
        s.Reading(1, 6);
        s.Reading(1, 7);
        QVERIFY(s.messages.shown.empty());
        QCOMPARE(OtherProgram(file).StoredCodes(), (std::vector<int>{6, 7}));
    }

    // A DATA table without the columns a reading needs: each reading says what is missing.
    void dataTableMissingColumns() {
        Write({Sql::kCreateTanks, Sql::kCreateError,
               "CREATE TABLE DATA (tstamp REAL, adr INTEGER, fcode INTEGER)",
               "INSERT INTO TANKS (id, name) VALUES (1, 'one')"});
        Started s(file);
        QVERIFY(!s.w->StartFailed());
        QCOMPARE(s.Tiles().TankCount(), 1);
        const std::size_t atStart = s.messages.shown.size();
        QCOMPARE(atStart, std::size_t(0)); // an index that cannot be built is only logged
        s.Reading(1, 8);
        s.Reading(1, 9);
        QCOMPARE(s.messages.shown.size(), atStart + 2);
        QVERIFY2(QString::fromStdString(s.messages.shown.back()).contains("flevel"),
                 s.messages.shown.back().c_str());
        QCOMPARE(int(s.Tiles().Tank(0).FLC), 9);
    }

    // A TANKS table without a column the record needs is reported once; start-up goes on.
    void tanksTableMissingAColumn() {
        Write({"CREATE TABLE TANKS (id INTEGER PRIMARY KEY, name TEXT, act INTEGER)",
               Sql::kCreateData, Sql::kCreateError,
               "INSERT INTO TANKS VALUES (1, 'one', 1), (2, 'two', 0)"});
        Started s(file);
        QVERIFY(!s.w->StartFailed());
        QCOMPARE(int(s.messages.shown.size()), 1);
        QVERIFY2(QString::fromStdString(s.messages.shown[0]).contains("Field not found"),
                 s.messages.shown[0].c_str());
    }
};

QTEST_MAIN(OddDatabaseTest)
#include "test_odd_database.moc"
