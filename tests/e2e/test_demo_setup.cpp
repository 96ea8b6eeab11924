// The demo folder: a data.db made by the station's own storage code with active,
// calibrated tanks, and settings the station itself reads back.
#include "DemoSetup.h"

#include "Config.h"
#include "Database.h"
#include "SQLiteDatabase.h"
#include "TItemNode.h"

#include <QImage>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>
#include <vector>

namespace {

std::vector<std::unique_ptr<TItemNode>> Load(const QString& path) {
    TSQLiteDatabase db(path.toStdString());
    std::vector<std::unique_ptr<TItemNode>> nodes;
    LoadTanks(db, [&]() -> TItemNode& { return *nodes.emplace_back(new TItemNode); });
    return nodes;
}

} // namespace

class TestDemoSetup : public QObject {
    Q_OBJECT
private slots:
    void calibrationRisesToCapacity();
    void createsActiveCalibratedTanks();
    void keepsAnExistingDatabase();
    void reportsAFolderItCannotUse();
    void stationReadsTheSettings();
};

void TestDemoSetup::calibrationRisesToCapacity() {
    for (const DemoTank& t : DemoTanks()) {
        auto rows = DemoCalibration(t.capacity);
        QVERIFY(rows.size() >= 5);
        for (std::size_t i = 1; i < rows.size(); ++i) {
            QVERIFY(rows[i].first > rows[i - 1].first);
            QVERIFY(rows[i].second > rows[i - 1].second);
        }
        QCOMPARE(rows.back().first, 4095);
        QCOMPARE(rows.back().second, t.capacity);
    }
}

void TestDemoSetup::createsActiveCalibratedTanks() {
    QTemporaryDir dir;
    QString path = dir.filePath("data.db");
    DemoResult r = SetUpDemoDatabase(path.toStdString());
    QVERIFY2(r.ok, r.error.c_str());
    QVERIFY(r.created);
    auto nodes = Load(path);
    QCOMPARE(nodes.size(), 14u); // the station's own seeding, then the demo's changes
    for (const auto& node : nodes) {
        bool demo = node->id <= DemoTanks().size();
        QCOMPARE(node->Act, demo);
        QImage picture = QImage::fromData(reinterpret_cast<const uchar*>(node->Img.data()),
                                          static_cast<int>(node->Img.size()), "BMP");
        QCOMPARE(picture.size(), QSize(64, 64));
        if (!demo) {
            QCOMPARE(node->Capacity, 0);
            continue;
        }
        const DemoTank& t = DemoTanks()[node->id - 1];
        QCOMPARE(node->Name, std::string(t.name));
        QCOMPARE(node->FType, std::string(t.fuelType));
        QCOMPARE(node->Capacity, t.capacity);
        QVERIFY(node->LowFuel > 0 && node->LowFuel < node->OverFuel);
        QVERIFY(node->OverFuel < t.capacity);
        // Codes the simulator sends give litres inside the tank.
        int32_t half = LitresForCode(*node, 2048);
        QVERIFY(half > t.capacity * 4 / 10 && half < t.capacity * 6 / 10);
        QVERIFY(LitresForCode(*node, 300) < LitresForCode(*node, 3900));
    }
}

void TestDemoSetup::keepsAnExistingDatabase() {
    QTemporaryDir dir;
    QString path = dir.filePath("data.db");
    QVERIFY(SetUpDemoDatabase(path.toStdString()).ok);
    int rows = 0;
    {
        TSQLiteDatabase db(path.toStdString());
        rows = db.GetTable("SELECT * FROM DATA").Count();
        db.ExecSQL("INSERT INTO DATA (tstamp, adr, flevel, fcode, temp) VALUES "
                   "(\"45000.5\", 1, 10, 20, 3)");
        db.ExecSQL("UPDATE TANKS SET name = \"Edited\" WHERE id = 2");
    }
    DemoResult again = SetUpDemoDatabase(path.toStdString());
    QVERIFY(again.ok);
    QVERIFY(!again.created);
    TSQLiteDatabase db(path.toStdString());
    QCOMPARE(db.GetTable("SELECT * FROM DATA").Count(), rows + 1);
    QCOMPARE(Load(path)[1]->Name, std::string("Edited"));
}

void TestDemoSetup::reportsAFolderItCannotUse() {
    QTemporaryDir dir;
    DemoResult r = SetUpDemoDatabase(dir.filePath("missing/folder/data.db").toStdString());
    QVERIFY(!r.ok);
    QVERIFY(!r.error.empty());
}

void TestDemoSetup::stationReadsTheSettings() {
    QTemporaryDir dir;
    // Spaces and commas would split an unquoted INI value into a list.
    const QString port = dir.path() + "/run, 1/tavrona-sim/ttySIM demo";
    QVERIFY(WriteDemoSettings((dir.path() + "/Dravo.ini").toStdString(), port.toStdString()));
    qputenv("XDG_CONFIG_HOME", dir.path().toLocal8Bit());
    TSetup read;
    RCfgData(read);
    QCOMPARE(read.PortNum, port);
    QCOMPARE(read.WrkMode, QString(kModeDirect));
}

QTEST_GUILESS_MAIN(TestDemoSetup)
#include "test_demo_setup.moc"
