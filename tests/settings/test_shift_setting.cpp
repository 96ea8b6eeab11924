// The station's shift starts: what the field and the store accept, the round trip through
// the store (also as written by hand), and the Settings dialog's field. The rest of the
// dialog is test_settings_dialog.
#include "Config.h"
#include "FakePorts.h"
#include "OpenSettings.h"
#include "OperatorMessages.h"
#include "SettingsUnit.h"

#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QTest>

class TestShiftSetting : public QObject {
    Q_OBJECT
    // The station's settings, as the main window holds them.
    TSetup cfg;

private slots:
    void init() {
        QFile::remove(ConfigLocation());
        cfg = TSetup{};
    }

    void parsing_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<QList<int>>("starts");
        QTest::newRow("empty: calendar days") << "" << true << QList<int>{};
        QTest::newRow("blanks only") << "  " << true << QList<int>{};
        QTest::newRow("one") << "06:00" << true << QList<int>{360};
        QTest::newRow("two") << "06:00,18:00" << true << QList<int>{360, 1080};
        QTest::newRow("sorted, once each")
            << "22:00,06:00,14:00,06:00" << true << QList<int>{360, 840, 1320};
        QTest::newRow("blanks around") << " 06:00,18:00 " << true << QList<int>{360, 1080};
        QTest::newRow("midnight") << "00:00" << true << QList<int>{0};
        QTest::newRow("one digit hour") << "6:00" << false << QList<int>{};
        QTest::newRow("hour 24") << "24:00" << false << QList<int>{};
        QTest::newRow("minute 60") << "06:60" << false << QList<int>{};
        QTest::newRow("trailing comma") << "06:00," << false << QList<int>{};
        QTest::newRow("semicolon") << "06:00;18:00" << false << QList<int>{};
        QTest::newRow("words") << "morning" << false << QList<int>{};
    }
    void parsing() {
        QFETCH(QString, text);
        QFETCH(bool, valid);
        QFETCH(QList<int>, starts);
        std::vector<int> got{1, 2, 3};
        QCOMPARE(ParseShiftSetting(text, got), valid);
        QCOMPARE(QList<int>(got.begin(), got.end()), starts);
    }

    void savedAndLoaded_data() {
        QTest::addColumn<QString>("entered");
        QTest::addColumn<QString>("loaded");
        QTest::newRow("two shifts") << "18:00,06:00"
                                    << "06:00,18:00";
        QTest::newRow("calendar days") << ""
                                       << "";
        QTest::newRow("unreadable") << "6 o'clock"
                                    << "";
    }
    void savedAndLoaded() {
        QFETCH(QString, entered);
        QFETCH(QString, loaded);
        TSetup setup;
        setup.PortNum = "COM3";
        setup.ShiftStarts = entered;
        QVERIFY(WrCfgData(setup));
        TSetup back;
        RCfgData(back);
        QCOMPARE(back.ShiftStarts, loaded);
        QCOMPARE(back.PortNum, QString("COM3"));
    }

    // An ini file edited by hand holds the value without quotes, which the store reads as
    // a list; a text the parser refuses means calendar days.
    void handWrittenIniValues_data() {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QString>("loaded");
        QTest::newRow("unquoted") << QByteArray("ShiftStarts=06:00,18:00") << "06:00,18:00";
        QTest::newRow("quoted") << QByteArray("ShiftStarts=\"14:00\"") << "14:00";
        QTest::newRow("bad") << QByteArray("ShiftStarts=25:00") << "";
    }
    void handWrittenIniValues() {
        QFETCH(QByteArray, line);
        QFETCH(QString, loaded);
        QFile f(ConfigLocation());
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("[Setup]\nPortNum=COM1\n" + line + "\n");
        f.close();
        TSetup back;
        RCfgData(back);
        QCOMPARE(back.ShiftStarts, loaded);
        QCOMPARE(ShiftStartsOf(back).size(),
                 std::size_t(loaded.isEmpty() ? 0 : loaded.count(',') + 1));
    }

    // A malformed entry is told and stays in the open dialog to be mended; nothing is stored
    // until it reads. A shift change alone stores without reconnecting the line.
    void dialogFieldIsValidatedAndStored() {
        cfg.PortNum = "COM1";
        cfg.WrkMode = kModeDirect;
        QVERIFY(WrCfgData(cfg));
        auto ports = std::make_unique<FakePorts>();
        ports->names = {"COM1"};
        RecordingMessages messages;
        int reconnects = 0;
        OpenSettings form(
            messages, cfg, [&] { ++reconnects; }, std::move(ports));
        form.RequestShow();
        QCOMPARE(form.edShiftStarts->text(), QString());

        form.edShiftStarts->setText("6:00,18:00");
        QTest::mouseClick(form.Button1, Qt::LeftButton);
        QCOMPARE(messages.shown.size(), std::size_t(1));
        QVERIFY(form.isVisible());
        QCOMPARE(form.edShiftStarts->text(), QString("6:00,18:00"));
        TSetup stored;
        RCfgData(stored);
        QCOMPARE(stored.ShiftStarts, QString());

        form.edShiftStarts->setText("18:00,06:00");
        QTest::mouseClick(form.Button1, Qt::LeftButton);
        QVERIFY(!form.isVisible());
        QCOMPARE(messages.shown.size(), std::size_t(1));
        QCOMPARE(reconnects, 0);
        QCOMPARE(cfg.ShiftStarts, QString("06:00,18:00"));
        RCfgData(stored);
        QCOMPARE(stored.ShiftStarts, QString("06:00,18:00"));

        form.RequestShow();
        QCOMPARE(form.edShiftStarts->text(), QString("06:00,18:00"));
    }
};

QTEST_MAIN(TestShiftSetting)
#include "test_shift_setting.moc"
